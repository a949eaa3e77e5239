// Shared set-up of the window tests: the toolkit and the runtime layers a
// window needs, a toolkit log watch, and event collection by pumping the
// event wait.
#pragma once

// gtest comes before the X headers, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>
// clang-format off
#include <gtk/gtk.h>
#include <gdk/gdkx.h>
// clang-format on

#include <vector>

#include "runtime/gadget/gadget_list.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"
#include "tests/support/xtest.h"

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        static char name[] = "window_test";
        static char* arguments[] = {name, nullptr};
        static int count = 1;
        static char** vector = arguments;
        toolkit_start(&count, &vector);
        events_start();
        windows_start();
        gadget_context_start();
    }
    void TearDown() override {
        windows_end();
        EXPECT_EQ(log.problems(), "");
    }

    struct Seen {
        int32_t code;
        ObjectId window;
    };

    // Runs the event wait until `code` arrives for `window`, keeping every
    // event seen in `seen`.
    bool wait_event(int32_t code, ObjectId window, int timeout_ms = 5000) {
        return xtest::wait_until(
            [&] {
                for (int32_t c; (c = event_wait(0)) != EVENT_NONE;) {
                    if (c <= 0) continue;
                    seen.push_back({c, event_window()});
                    if (c == code && event_window() == window) return true;
                }
                return false;
            },
            timeout_ms);
    }
    // Pumps for a short while and tells whether `code` came for `window`.
    bool saw_within(int32_t code, ObjectId window, int ms) { return wait_event(code, window, ms); }

    static GtkWidget* widget_of(ObjectId id) { return window_object(id)->window; }
    static xtest::XWindow xid_of(ObjectId id) { return GDK_WINDOW_XID(gtk_widget_get_window(widget_of(id))); }
    static void pump() { toolkit_flush(); }

    std::vector<Seen> seen;
    xtest::ToolkitLogWatch log;
};
