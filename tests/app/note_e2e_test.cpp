// The built papyro, run as a user runs it: in a folder of its own, under a
// private X server and window manager, driven and checked from outside.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <string>

#include "tests/support/temp_folder.h"
#include "tests/support/xtest.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITH_WINDOW_MANAGER);

constexpr int FILE_TIMEOUT_MS = 3000;
constexpr int EXIT_TIMEOUT_MS = 5000;

class Note : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder_.path().empty()); }
    void TearDown() override {
        if (HasFailure()) std::cerr << "papyro's stderr:\n" << said() << "\n";
    }
    std::string path(const std::string& name) const { return folder_.path(name); }
    void write_file(const std::string& name, const std::string& bytes) const { folder_.write(name, bytes); }
    std::string read_file(const std::string& name) const { return folder_.read(name); }
    bool exists(const std::string& name) const { return folder_.exists(name); }
    void settings(const std::string& lines) { write_file("papyro.ini", lines); }

    // Starts the note and waits for its window and, when asked, the focus.
    xtest::XWindow start(bool focus = true) {
        xtest::SpawnOptions options;
        options.cwd = folder_.path();
        options.output_path = path("stderr.log");
        note_.emplace();  // a fresh process each start
        EXPECT_TRUE(note_->start({PAPYRO_BIN}, options));
        xtest::XWindow window = xtest::find_window(note_->pid());
        EXPECT_NE(window, 0u) << "no window appeared";
        if (window && focus) {
            EXPECT_TRUE(xtest::focus_window(window));
        }
        return window;
    }
    bool file_becomes(const std::string& name, const std::string& expected) {
        return xtest::wait_until([&] { return exists(name) && read_file(name) == expected; },
                                 FILE_TIMEOUT_MS);
    }
    std::optional<int> close_and_wait(xtest::XWindow window) {
        EXPECT_TRUE(xtest::wm_close(window));
        return note_->wait_exit(EXIT_TIMEOUT_MS);
    }
    std::string said() const { return read_file("stderr.log"); }

    std::optional<xtest::Process> note_;  // ended before the folder goes
    xtest::TempFolder folder_{"e2e"};
};

constexpr char DEFAULT_SETTINGS[] = "100\n80\n300\n200\nDejaVu Sans\n12\n0\n0\n000000\n";

TEST_F(Note, WindowIsBorderlessAboveOthersAndPlacedBySettings) {
    settings(DEFAULT_SETTINGS);
    xtest::XWindow window = start(false);
    ASSERT_NE(window, 0u);
    auto states = xtest::window_states(window);
    EXPECT_NE(std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE"), states.end());
    EXPECT_EQ(xtest::window_property(window, "_MOTIF_WM_HINTS"), "0x3, 0x24, 0x0, 0x0, 0x0");
    auto geometry = xtest::window_geometry(window);
    ASSERT_TRUE(geometry.has_value());
    EXPECT_EQ(geometry->x, 100);
    EXPECT_EQ(geometry->y, 80);
    EXPECT_EQ(geometry->width, 300);
    EXPECT_EQ(geometry->height, 200);
    EXPECT_EQ(close_and_wait(window), 0);
    EXPECT_FALSE(exists("text.txt"));  // nothing typed, nothing loaded: nothing written
    EXPECT_EQ(said(), "");
}

TEST_F(Note, TypedTextArrivesAsUtf8WithoutMark) {
    settings(DEFAULT_SETTINGS);
    xtest::XWindow window = start();
    const std::string typed = "Grüße, café à 5 €\nline two 😀";
    ASSERT_TRUE(xtest::type_text(typed));
    EXPECT_TRUE(file_becomes("text.txt", typed)) << read_file("text.txt");
    EXPECT_EQ(close_and_wait(window), 0);
}

TEST_F(Note, FirstPassRewritesTheLoadedText) {
    settings(DEFAULT_SETTINGS);
    write_file("text.txt", "a\nb\n");
    xtest::XWindow window = start(false);
    EXPECT_TRUE(file_becomes("text.txt", "a\nb"));  // three bytes, though nothing was typed
    EXPECT_EQ(close_and_wait(window), 0);
}

TEST_F(Note, DeletingAllTextLeavesAnEmptyFile) {
    settings(DEFAULT_SETTINGS);
    write_file("text.txt", "some words");
    xtest::XWindow window = start();
    ASSERT_TRUE(xtest::press_keys("ctrl+a"));
    ASSERT_TRUE(xtest::press_keys("BackSpace"));
    EXPECT_TRUE(file_becomes("text.txt", ""));
    EXPECT_EQ(close_and_wait(window), 0);
    EXPECT_TRUE(exists("text.txt"));
}

TEST_F(Note, CloseRequestSavesTextTypedJustBefore) {
    settings(DEFAULT_SETTINGS);
    write_file("text.txt", "start");
    xtest::XWindow window = start();
    ASSERT_TRUE(xtest::press_keys("ctrl+End"));
    ASSERT_TRUE(xtest::type_text(" and the end"));
    EXPECT_EQ(close_and_wait(window), 0);
    EXPECT_EQ(read_file("text.txt"), "start and the end");
}

TEST_F(Note, EndOfSessionSignalsSaveAndExitZero) {
    for (int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(signal_number);
        settings(DEFAULT_SETTINGS);
        write_file("text.txt", "");
        xtest::XWindow window = start();
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(xtest::type_text("bye"));
        ASSERT_TRUE(note_->signal(signal_number));
        EXPECT_EQ(note_->wait_exit(EXIT_TIMEOUT_MS), 0);
        EXPECT_EQ(read_file("text.txt"), "bye");
    }
}

TEST_F(Note, MissingSettingsAndTextStillMakeAWorkingNote) {
    xtest::XWindow window = start(false);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(note_->running());
    EXPECT_EQ(close_and_wait(window), 0);
    EXPECT_FALSE(exists("text.txt"));

    settings(DEFAULT_SETTINGS);  // settings, but still no text.txt
    window = start();
    ASSERT_TRUE(xtest::type_text("new"));
    EXPECT_TRUE(file_becomes("text.txt", "new"));
    EXPECT_EQ(close_and_wait(window), 0);
}

TEST_F(Note, FailedSavesAreRetriedAndReported) {
    settings(DEFAULT_SETTINGS);
    ASSERT_EQ(mkdir(path("text.txt").c_str(), 0755), 0);  // a file nothing can replace
    xtest::XWindow window = start();
    ASSERT_TRUE(xtest::type_text("kept"));
    ASSERT_TRUE(xtest::wait_until([&] { return said().find("text.txt") != std::string::npos; }, FILE_TIMEOUT_MS));
    ASSERT_TRUE(xtest::type_text(" safe"));
    ASSERT_EQ(rmdir(path("text.txt").c_str()), 0);
    ASSERT_TRUE(xtest::type_text("!"));
    EXPECT_TRUE(file_becomes("text.txt", "kept safe!"));
    EXPECT_EQ(close_and_wait(window), 0);
    std::string log = said();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;  // one line for the run of failures
}

TEST_F(Note, UndecodableTextIsKeptAsBackup) {
    settings(DEFAULT_SETTINGS);
    const std::string original = "caf\xE9\n";
    write_file("text.txt", original);
    xtest::XWindow window = start(false);
    EXPECT_TRUE(xtest::wait_until([&] { return read_file("text.txt.bak") == original; }, FILE_TIMEOUT_MS));
    EXPECT_TRUE(file_becomes("text.txt", "caf"));
    EXPECT_EQ(close_and_wait(window), 0);
    EXPECT_NE(said().find("text.txt.bak"), std::string::npos);
}

// Whatever moment the process dies, text.txt holds one whole text: the one
// before or the one after some keystroke, never a torn or empty file.
TEST_F(Note, KillAtAnyMomentLeavesOneWholeText) {
    settings(DEFAULT_SETTINGS);
    std::string text(200000, 'x');  // large enough that a save takes a while
    for (size_t i = 80; i < text.size(); i += 80) text[i] = '\n';
    write_file("text.txt", text);
    std::mt19937 random(12345);
    const std::string typed = "abcdefghij";
    for (int round = 0; round < 12; round++) {
        SCOPED_TRACE(round);
        xtest::XWindow window = start();
        ASSERT_NE(window, 0u);
        ASSERT_TRUE(xtest::press_keys("ctrl+End"));
        xtest::Process typist;
        ASSERT_TRUE(typist.start({"xdotool", "type", "--delay", "5", typed}));
        usleep(static_cast<useconds_t>(random() % 60000));
        ASSERT_TRUE(note_->signal(SIGKILL));
        note_->wait_exit(EXIT_TIMEOUT_MS);
        typist.wait_exit(EXIT_TIMEOUT_MS);

        // The only texts ever saved are the old one plus some of the keys.
        std::string now = read_file("text.txt");
        ASSERT_GE(now.size(), text.size()) << "torn or emptied";
        EXPECT_EQ(now.compare(0, text.size(), text), 0) << "the old text changed";
        std::string added = now.substr(text.size());
        EXPECT_EQ(added, typed.substr(0, added.size()));
        text = now;
    }
}

}  // namespace
