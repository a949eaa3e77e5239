// The harness itself: commands and processes, finding a window by pid, and
// typing non-ASCII text into a text view of this process.
// clang-format off
#include "tests/support/xtest.h"
#include <gtk/gtk.h>
#include <gdk/gdkx.h>
// clang-format on

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITH_WINDOW_MANAGER);

TEST(Harness, CommandsGetTheCleanedEnvironmentAndTimeOut) {
    setenv("GTK_MODULES", "bogus", 1);
    xtest::CommandResult r = xtest::run_command({"sh", "-c", "echo \"$DISPLAY $LANG [$GTK_MODULES]\"; echo err >&2; exit 4"});
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.out, xtest::display_name() + " C.UTF-8 []\n");
    EXPECT_EQ(r.err, "err\n");
    xtest::CommandResult slow = xtest::run_command({"sleep", "5"}, 100);
    EXPECT_TRUE(slow.timed_out);
    EXPECT_EQ(slow.status, -1);
    EXPECT_EQ(xtest::run_command({"/nonexistent/program"}).status, 127);
}

TEST(Harness, ProcessesRunInTheirFolderAndReportHowTheyEnded) {
    char folder[] = "/tmp/papyro-harness-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string output = std::string(folder) + "/out.txt";
    xtest::Process p;
    xtest::SpawnOptions options{folder, {"NOTE=here"}, output};
    ASSERT_TRUE(p.start({"sh", "-c", "echo \"$NOTE $(pwd)\"; exit 3"}, options));
    EXPECT_EQ(p.wait_exit(5000), 3);
    std::ifstream in(output);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), std::string("here ") + folder + "\n");
    unlink(output.c_str());
    rmdir(folder);

    xtest::Process sleeper;
    ASSERT_TRUE(sleeper.start({"sleep", "30"}));
    EXPECT_EQ(sleeper.wait_exit(50), std::nullopt);
    EXPECT_TRUE(sleeper.signal(SIGTERM));
    EXPECT_EQ(sleeper.wait_exit(5000), 128 + SIGTERM);
}

gboolean deleted(GtkWidget*, GdkEvent*, gpointer count) {
    ++*static_cast<int*>(count);
    return TRUE;
}

// The way widget tests drive a text view: find, focus, type, pump, read.
TEST(Harness, TypesNonAsciiTextIntoATextView) {
    int argc = 1;
    char name[] = "xtest_test";
    char* args[] = {name, nullptr};
    char** argv = args;
    gtk_init(&argc, &argv);
    xtest::ToolkitLogWatch log;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* view = gtk_text_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_window_set_default_size(GTK_WINDOW(window), 300, 200);
    int delete_requests = 0;
    g_signal_connect(window, "delete-event", G_CALLBACK(deleted), &delete_requests);
    gtk_widget_show_all(window);
    auto pump = [] {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    };
    xtest::XWindow w = xtest::find_window(getpid(), xtest::START_TIMEOUT_MS, pump);
    ASSERT_EQ(w, GDK_WINDOW_XID(gtk_widget_get_window(window)));
    ASSERT_TRUE(xtest::focus_window(w, xtest::FOCUS_TIMEOUT_MS, pump));
    const std::string text = "h\u00e9llo \u2713 \U0001F600\nzw\u00f6lf";
    ASSERT_TRUE(xtest::type_text(text, pump));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    auto content = [&] {
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(buffer, &start, &end);
        gchar* utf8 = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
        std::string s(utf8);
        g_free(utf8);
        return s;
    };
    EXPECT_TRUE(xtest::wait_until([&] { return content() == text; }, 3000, pump)) << content();

    ASSERT_TRUE(xtest::send_delete_request(w));
    EXPECT_TRUE(xtest::wait_until([&] { return delete_requests == 1; }, 3000, pump));
    ASSERT_TRUE(xtest::wm_close(w, pump));
    EXPECT_TRUE(xtest::wait_until([&] { return delete_requests == 2; }, 3000, pump));
    gtk_widget_destroy(window);
    EXPECT_EQ(log.problems(), "");
}

TEST(Harness, ErrorTrapCountsInsteadOfExiting) {
    EXPECT_FALSE(xtest::window_viewable(0x7fffff));  // no such window
    EXPECT_EQ(xtest::window_property(0x7fffff, "WM_NAME"), "");
    xtest::XErrorTrap trap;
    XWindowAttributes attributes;
    XGetWindowAttributes(xtest::x_display(), 0x7fffff, &attributes);
    EXPECT_EQ(trap.errors(), 1);
}

}  // namespace
