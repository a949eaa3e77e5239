// Windows as the window manager sees them: hints, placement and size read
// back with the X tools, and the events that real window-manager actions
// produce.
#include <cstring>
#include <string>

#include "tests/window/window_support.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITH_WINDOW_MANAGER);

// "program specified minimum size: 200 by 150" -> {200, 150}
std::pair<int, int> size_hint(const std::string& hints, const char* which) {
    std::string label = std::string("program specified ") + which + " size: ";
    size_t at = hints.find(label);
    if (at == std::string::npos) return {-1, -1};
    int w = -1, h = -1;
    std::sscanf(hints.c_str() + at + label.size(), "%d by %d", &w, &h);
    return {w, h};
}

bool has_state(xtest::XWindow w, const char* state) {
    for (const auto& s : xtest::window_states(w))
        if (s == state) return true;
    return false;
}

// The server learns of a destroyed window when the toolkit's connection
// flushes, so the outside view is polled.
bool gone(xtest::XWindow w) {
    return xtest::wait_until([&] { return !xtest::window_viewable(w); }, 2000, [] { gdk_flush(); });
}

using WindowHints = WindowTest;

TEST_F(WindowHints, DecorationsFunctionsAndSizingFollowTheFlags) {
    const struct {
        uint32_t flags;
        long decorations, functions;
        bool resizable;
        const char* type;
    } cases[] = {
        {0, 10, 36, false, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {0x2 | 0x4 | 0x10 | 0x20, 126, 62, true, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {0x84, 0, 36, false, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {0x800 | 0x30, 10, 36, false, "_NET_WM_WINDOW_TYPE_UTILITY"},
    };
    ObjectId number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        ASSERT_NE(window_open(number, 40, 40, 200, 150, u"hints", c.flags), 0);
        xtest::XWindow w = xid_of(number++);
        std::vector<long> motif = xtest::window_property_numbers(w, "_MOTIF_WM_HINTS");
        ASSERT_EQ(motif.size(), 5u);
        EXPECT_EQ(motif[0], 3);
        EXPECT_EQ(motif[1], c.functions);
        EXPECT_EQ(motif[2], c.decorations);
        std::string hints = xtest::window_property(w, "WM_NORMAL_HINTS");
        auto min = size_hint(hints, "minimum");
        if (c.resizable) {
            EXPECT_EQ(min, std::make_pair(30, 30));
        } else {
            EXPECT_EQ(min, std::make_pair(200, 150));
            EXPECT_EQ(size_hint(hints, "maximum"), std::make_pair(200, 150));
        }
        EXPECT_EQ(xtest::window_property(w, "_NET_WM_WINDOW_TYPE"), c.type);
    }
}

TEST_F(WindowHints, NoteWindowIsPlacedSizedShownAndKeptAbove) {
    intptr_t result = window_open(2, 100, 120, 200, 150, u"note", WINDOW_NO_BORDER | WINDOW_TITLE_MENU);
    ASSERT_EQ(result, reinterpret_cast<intptr_t>(widget_of(2)));
    xtest::XWindow w = xid_of(2);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
    auto geometry = xtest::window_geometry(w);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->x, 100);
    EXPECT_EQ(geometry->y, 120);
    EXPECT_EQ(geometry->width, 200);
    EXPECT_EQ(geometry->height, 150);
    EXPECT_EQ(xtest::window_property(w, "WM_NAME"), "\"note\"");
    GtkWidget* list = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(widget_of(2)), "ko_gadgetlist"));
    EXPECT_EQ(gadget_context()->current_list, list);
    EXPECT_FALSE(has_state(w, "_NET_WM_STATE_ABOVE"));
    window_set_keep_above(2, 1);
    EXPECT_TRUE(xtest::wait_until([&] { return has_state(w, "_NET_WM_STATE_ABOVE"); }, 5000, pump));
    window_set_keep_above(2, 0);
    EXPECT_TRUE(xtest::wait_until([&] { return !has_state(w, "_NET_WM_STATE_ABOVE"); }, 5000, pump));
}

// With either coordinate WINDOW_NO_POSITION the window manager places the
// window, and the other coordinate is not used either.
TEST_F(WindowHints, NoPositionLeavesPlacementToTheWindowManager) {
    ASSERT_NE(window_open(0, WINDOW_NO_POSITION, 500, 100, 80, u"a", WINDOW_NO_BORDER), 0);
    ASSERT_NE(window_open(1, 600, WINDOW_NO_POSITION, 100, 80, u"b", WINDOW_NO_BORDER), 0);
    ASSERT_NE(window_open(2, 600, 500, 100, 80, u"c", WINDOW_NO_BORDER), 0);
    auto wait_geometry = [&](ObjectId id) {
        xtest::wait_until([&] { return xtest::window_viewable(xid_of(id)); }, 5000, pump);
        return xtest::window_geometry(xid_of(id)).value_or(xtest::Geometry{-1, -1, -1, -1});
    };
    EXPECT_NE(wait_geometry(0).y, 500);
    EXPECT_NE(wait_geometry(1).x, 600);
    xtest::Geometry placed = wait_geometry(2);
    EXPECT_EQ(placed.x, 600);
    EXPECT_EQ(placed.y, 500);
}

TEST_F(WindowHints, StartStatesAndTheToolAdjustment) {
    const struct {
        uint32_t flags;
        bool maximized, hidden;
    } cases[] = {
        {WINDOW_START_MAXIMIZED | 0x30, true, false},
        {WINDOW_START_MAXIMIZED | WINDOW_START_MINIMIZED | 0x30, true, false},
        {WINDOW_TOOL | WINDOW_START_MAXIMIZED | 0x30, false, false},
        {WINDOW_START_MINIMIZED | 0x30, false, true},
        {WINDOW_HIDDEN, false, true},
    };
    ObjectId number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        ObjectId id = number++;
        ASSERT_NE(window_open(id, 10, 10, 120, 90, u"s", c.flags), 0);
        xtest::XWindow w = xid_of(id);
        EXPECT_EQ(window_object(id)->flags, c.flags & WINDOW_TOOL ? WINDOW_TOOL : c.flags);
        // Let the window manager settle before reading its view of the window.
        if (!c.hidden) {
            ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
        }
        bool maximized = xtest::wait_until([&] { return has_state(w, "_NET_WM_STATE_MAXIMIZED_VERT"); },
                                           c.maximized ? 5000 : 200, pump);
        EXPECT_EQ(maximized, c.maximized);
        EXPECT_EQ(xtest::window_viewable(w), !c.hidden);
    }
}

using WindowEvents = WindowTest;

TEST_F(WindowEvents, CloseRequestPostsAnEventAndLeavesTheWindowOpen) {
    ASSERT_NE(window_open(1, 50, 50, 160, 100, u"close me", 0), 0);
    xtest::XWindow w = xid_of(1);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
    ASSERT_TRUE(xtest::wm_close(w));
    EXPECT_TRUE(wait_event(EVENT_CLOSE_WINDOW, 1));
    ASSERT_TRUE(xtest::send_delete_request(w));
    EXPECT_TRUE(wait_event(EVENT_CLOSE_WINDOW, 1));
    toolkit_flush();
    EXPECT_NE(window_object(1), nullptr);
    EXPECT_TRUE(xtest::window_viewable(w));
    window_close(1);
    EXPECT_EQ(window_object(1), nullptr);
    EXPECT_TRUE(gone(w));
}

TEST_F(WindowEvents, MovesAndResizesThroughTheWindowManager) {
    ASSERT_NE(window_open(1, 50, 50, 160, 100, u"move", WINDOW_SIZEABLE | WINDOW_NO_BORDER), 0);
    xtest::XWindow w = xid_of(1);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
    std::string id = std::to_string(w);
    xtest::run_command({"wmctrl", "-i", "-r", id, "-e", "0,300,200,-1,-1"});
    EXPECT_TRUE(wait_event(EVENT_MOVE_WINDOW, 1));
    xtest::run_command({"wmctrl", "-i", "-r", id, "-e", "0,-1,-1,260,180"});
    EXPECT_TRUE(wait_event(EVENT_SIZE_WINDOW, 1));
    EXPECT_EQ(g_object_get_data(G_OBJECT(widget_of(1)), "ko_previous_width"), GINT_TO_POINTER(260));
}

TEST_F(WindowEvents, FocusMovesBetweenWindows) {
    ASSERT_NE(window_open(1, 10, 10, 100, 80, u"one", 0), 0);
    ASSERT_NE(window_open(2, 300, 10, 100, 80, u"two", 0), 0);
    ASSERT_TRUE(xtest::focus_window(xid_of(1), 5000, pump));
    EXPECT_TRUE(wait_event(EVENT_ACTIVATE_WINDOW, 1));
    ASSERT_TRUE(xtest::focus_window(xid_of(2), 5000, pump));
    EXPECT_TRUE(wait_event(EVENT_DEACTIVATE_WINDOW, 1));
    EXPECT_TRUE(wait_event(EVENT_ACTIVATE_WINDOW, 2));
}

TEST_F(WindowEvents, IconifyMaximizeAndRestoreThroughTheWindowManager) {
    ASSERT_NE(window_open(1, 10, 10, 150, 100, u"states", WINDOW_SIZEABLE | 0x30), 0);
    xtest::XWindow w = xid_of(1);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
    std::string id = std::to_string(w);
    xtest::run_command({"wmctrl", "-i", "-r", id, "-b", "add,maximized_vert,maximized_horz"});
    EXPECT_TRUE(wait_event(EVENT_MAXIMIZE_WINDOW, 1));
    xtest::run_command({"wmctrl", "-i", "-r", id, "-b", "remove,maximized_vert,maximized_horz"});
    EXPECT_TRUE(wait_event(EVENT_RESTORE_WINDOW, 1));
    xtest::run_command({"xdotool", "windowminimize", id});
    EXPECT_TRUE(wait_event(EVENT_MINIMIZE_WINDOW, 1));
    window_set_state(1, WINDOW_STATE_MAXIMIZED);  // also de-iconifies
    EXPECT_TRUE(wait_event(EVENT_MAXIMIZE_WINDOW, 1));
}

// "ko_disabled" silences close, size and focus reports but not moves.
TEST_F(WindowEvents, DisabledWindowStillReportsMoves) {
    ASSERT_NE(window_open(1, 50, 50, 160, 100, u"off", WINDOW_SIZEABLE), 0);
    xtest::XWindow w = xid_of(1);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
    EXPECT_TRUE(saw_within(EVENT_ACTIVATE_WINDOW, 1, 2000));
    g_object_set_data(G_OBJECT(widget_of(1)), "ko_disabled", GINT_TO_POINTER(1));
    seen.clear();
    std::string id = std::to_string(w);
    xtest::wm_close(w);
    xtest::run_command({"wmctrl", "-i", "-r", id, "-e", "0,-1,-1,240,170"});
    xtest::run_command({"wmctrl", "-i", "-r", id, "-e", "0,320,220,-1,-1"});
    EXPECT_TRUE(wait_event(EVENT_MOVE_WINDOW, 1));
    for (const Seen& s : seen) {
        EXPECT_NE(s.code, EVENT_CLOSE_WINDOW);
        EXPECT_NE(s.code, EVENT_SIZE_WINDOW);
    }
}

// The handlers' rules, fed with made-up toolkit events so that every branch
// is reached without depending on what a window manager sends.
TEST_F(WindowEvents, ConfigureAndStateRules) {
    ASSERT_NE(window_open(1, 0, 0, 100, 80, u"rules", WINDOW_HIDDEN), 0);
    GtkWidget* widget = widget_of(1);
    auto configure = [&](int x, int y, int width, int height) {
        GdkEventConfigure e{};
        e.type = GDK_CONFIGURE;
        e.x = x, e.y = y, e.width = width, e.height = height;
        gboolean handled = FALSE;
        g_signal_emit_by_name(widget, "configure-event", &e, &handled);
        return event_pop(nullptr, nullptr, nullptr, nullptr, nullptr);
    };
    toolkit_flush();
    while (event_pop(nullptr, nullptr, nullptr, nullptr, nullptr)) {
    }
    EXPECT_EQ(configure(0, 0, 100, 80), 0);                    // nothing changed
    EXPECT_EQ(configure(5, 0, 100, 80), EVENT_MOVE_WINDOW);    // absent position reads as 0
    EXPECT_EQ(configure(9, 9, 120, 80), EVENT_SIZE_WINDOW);    // size wins; position kept at 5, 0
    EXPECT_EQ(configure(9, 9, 120, 80), EVENT_MOVE_WINDOW);

    constexpr auto I = GDK_WINDOW_STATE_ICONIFIED, M = GDK_WINDOW_STATE_MAXIMIZED, S = GDK_WINDOW_STATE_STICKY;
    const struct {
        int changed, state, code;
    } states[] = {
        {I, I | M, EVENT_MINIMIZE_WINDOW},  // iconifying a maximized window
        {I, M, EVENT_MAXIMIZE_WINDOW},      // de-iconified, still maximized
        {I, 0, EVENT_RESTORE_WINDOW},
        {M, I, EVENT_RESTORE_WINDOW},       // un-maximized while iconified
        {M, M, EVENT_MAXIMIZE_WINDOW},
        {S, S, 0},                          // other bits post nothing
    };
    for (const auto& s : states) {
        SCOPED_TRACE(s.changed * 100 + s.state);
        GdkEventWindowState e{};
        e.type = GDK_WINDOW_STATE;
        e.changed_mask = static_cast<GdkWindowState>(s.changed);
        e.new_window_state = static_cast<GdkWindowState>(s.state);
        gboolean handled = FALSE;
        g_signal_emit_by_name(widget, "window-state-event", &e, &handled);
        EXPECT_EQ(event_pop(nullptr, nullptr, nullptr, nullptr, nullptr), s.code);
    }
}

using WindowLife = WindowTest;

TEST_F(WindowLife, ReopeningANumberClosesTheOldWindowAndPurgesItsEvents) {
    auto* first = reinterpret_cast<GtkWidget*>(window_open(3, 10, 10, 100, 80, u"old", 0));
    ASSERT_NE(first, nullptr);
    xtest::XWindow old_xid = xid_of(3);
    ASSERT_NE(window_open(4, 200, 10, 100, 80, u"other", 0), 0);
    event_post(EVENT_GADGET, 99, 3, 0);
    event_post(EVENT_GADGET, 98, 4, 0);
    auto* second = reinterpret_cast<GtkWidget*>(window_open(3, 10, 10, 100, 80, u"new", 0));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(widget_of(3), second);
    bool other_kept = false;
    ObjectId object = 0, window = 0;
    for (int32_t code; (code = event_pop(&object, &window, nullptr, nullptr, nullptr)) != 0;) {
        EXPECT_FALSE(code == EVENT_GADGET && object == 99);
        other_kept |= code == EVENT_GADGET && object == 98;
    }
    EXPECT_TRUE(other_kept);
    EXPECT_TRUE(gone(old_xid));
}

TEST_F(WindowLife, AnyWindowIsNamedByItsHandle) {
    intptr_t handle = window_open(OBJECT_ANY, 20, 20, 120, 90, u"any", 0);
    ASSERT_NE(handle, 0);
    WindowObject* record = window_object(handle);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t>(record), handle);
    EXPECT_EQ(g_object_get_data(G_OBJECT(record->window), "ko_id"), reinterpret_cast<gpointer>(handle));
    xtest::XWindow w = xid_of(handle);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(w); }, 5000, pump));
    xtest::send_delete_request(w);
    EXPECT_TRUE(wait_event(EVENT_CLOSE_WINDOW, handle));
    window_close(handle);
    EXPECT_EQ(window_object(handle), nullptr);
    window_close(handle);  // a stale handle is never read through
    window_set_state(handle, WINDOW_STATE_MAXIMIZED);
}

TEST_F(WindowLife, WindowsEndClosesNumberedAndHandleWindows) {
    ASSERT_NE(window_open(0, 10, 10, 100, 80, u"a", 0), 0);
    ASSERT_NE(window_open(20, 10, 10, 100, 80, u"b", 0), 0);
    intptr_t handle = window_open(OBJECT_ANY, 10, 10, 100, 80, u"c", 0);
    xtest::XWindow xids[] = {xid_of(0), xid_of(20), xid_of(handle)};
    windows_end();
    EXPECT_EQ(window_object(0), nullptr);
    EXPECT_EQ(window_object(20), nullptr);
    EXPECT_EQ(window_object(handle), nullptr);
    for (auto w : xids) EXPECT_TRUE(gone(w));
}

TEST_F(WindowLife, IdsThatNameNoWindowDoNothing) {
    const ObjectId ids[] = {0, 5, 100000, -7, OBJECT_ANY, 0x12345670, reinterpret_cast<ObjectId>(&ids)};
    for (ObjectId id : ids) {
        window_close(id);
        window_set_keep_above(id, 1);
        window_set_state(id, WINDOW_STATE_MINIMIZED);
        EXPECT_EQ(window_object(id), nullptr);
    }
    EXPECT_EQ(window_open(-7, 0, 0, 10, 10, u"bad number", 0), 0);
}

TEST_F(WindowLife, OddSizesPositionsAndTitlesOpenCleanly) {
    const char16_t broken_title[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    const struct {
        int32_t x, y, width, height;
        String16 title;
    } cases[] = {
        {10, 10, 0, 0, u"zero"},
        {10, 10, -50, -1, u"negative"},
        {2000000000, -2000000000, 100, 100, u"far off"},
        {-5, -5, 100000, 100000, u"huge"},
        {10, 10, 100, 100, broken_title},
        {10, 10, 100, 100, nullptr},
    };
    ObjectId number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(number);
        ObjectId id = number++;
        EXPECT_NE(window_open(id, c.x, c.y, c.width, c.height, c.title, WINDOW_SIZEABLE), 0);
        EXPECT_NE(window_open(id, c.x, c.y, c.width, c.height, c.title, 0), 0);
    }
    toolkit_flush();
    const char* title = gtk_window_get_title(GTK_WINDOW(widget_of(4)));
    EXPECT_TRUE(g_utf8_validate(title, -1, nullptr));
}

TEST_F(WindowLife, CentredOnScreenOrOnTheParent) {
    ASSERT_NE(window_open(0, 0, 0, 200, 100, u"screen", WINDOW_NO_BORDER | WINDOW_CENTER_SCREEN), 0);
    ASSERT_NE(window_open(1, 100, 100, 400, 300, u"parent", WINDOW_NO_BORDER), 0);
    ASSERT_TRUE(xtest::wait_until([&] { return xtest::window_viewable(xid_of(1)); }, 5000, pump));
    ASSERT_NE(window_open(2, 0, 0, 100, 50, u"child", WINDOW_NO_BORDER | WINDOW_CENTER_PARENT,
                          GTK_WINDOW(widget_of(1))),
              0);
    auto placed = [&](ObjectId id, int x, int y) {
        return xtest::wait_until(
            [&] {
                auto g = xtest::window_geometry(xid_of(id));
                return g && g->x == x && g->y == y;
            },
            5000, pump);
    };
    EXPECT_TRUE(placed(0, (1024 - 200) / 2, (768 - 100) / 2));
    EXPECT_TRUE(placed(2, 100 + 200 - 50, 100 + 150 - 25));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(widget_of(2))), GTK_WINDOW(widget_of(1)));
}

}  // namespace
