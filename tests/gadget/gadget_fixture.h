// A started runtime with window 0 open and current, and the readers the
// gadget tests share. Needs the display environment of xtest.h.
#pragma once

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "runtime/gadget/editor.h"
#include "runtime/gadget/fonts.h"
#include "runtime/gadget/gadgets.h"
#include "runtime/text/strings.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"
#include "tests/support/xtest.h"

struct Event {
    int32_t code = 0;
    ObjectId object = 0;
    ObjectId window = 0;
    bool operator==(const Event&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << "{code " << e.code << ", object " << e.object << ", window " << e.window << "}";
}

class GadgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        static char name[] = "gadget_test";
        static char* arguments[] = {name, nullptr};
        static int count = 1;
        static char** vector = arguments;
        strings_start();
        toolkit_start(&count, &vector);
        events_start();
        windows_start();
        gadgets_start();
        fonts_start();
        ASSERT_NE(window_open(0, 0, 0, 300, 200, u"gadgets", 0), 0);
    }
    void TearDown() override {
        fonts_end();
        windows_end();
        EXPECT_EQ(log.problems(), "");
    }

    // An editor under `number` in the current list, or a failed test.
    static GadgetObject* make_editor(ObjectId number, int32_t flags = 0) {
        intptr_t made = editor_create(number, 0, 0, 200, 100, flags);
        EXPECT_NE(made, 0);
        return gadget_object(number == OBJECT_ANY ? made : number);
    }

    static GtkTextBuffer* buffer_of(GadgetObject* record) {
        return gtk_text_view_get_buffer(GTK_TEXT_VIEW(record->widget));
    }
    // Straight through the toolkit, independent of the editor's operations.
    static void set_buffer(GadgetObject* record, const char* utf8) {
        gtk_text_buffer_set_text(buffer_of(record), utf8, -1);
    }
    static std::string buffer_text(GadgetObject* record) {
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(buffer_of(record), &start, &end);
        char* text = gtk_text_buffer_get_text(buffer_of(record), &start, &end, TRUE);
        std::string copy = text;
        g_free(text);
        return copy;
    }

    // Reads a string result the way callers do: at scratch.pos, then rewound.
    static std::u16string take_scratch(int32_t start) {
        std::u16string text(reinterpret_cast<const char16_t*>(scratch.base + start));
        scratch.pos = start;
        return text;
    }
    static std::u16string text_of(ObjectId gadget) {
        int32_t start = scratch.pos;
        gadget_get_text(gadget, start);
        return take_scratch(start);
    }
    static std::u16string item_text(GadgetObject* record, int32_t line) {
        int32_t start = scratch.pos;
        record->ops->get_item_text(record, line, 0, start);
        return take_scratch(start);
    }

    // The next gadget event or close request; the window's own events
    // (repaint, focus, size) come and go with the toolkit and are skipped.
    static Event next_event() {
        Event e;
        do {
            e = Event{};
            e.code = event_pop(&e.object, &e.window, nullptr, nullptr, nullptr);
        } while (e.code && e.code != EVENT_GADGET && e.code != EVENT_CLOSE_WINDOW);
        return e;
    }
    // Takes every queued event; returns how many were gadget events.
    static int drain_gadget_events() {
        int gadget_events = 0;
        for (Event e = next_event(); e.code; e = next_event()) gadget_events += e.code == EVENT_GADGET;
        return gadget_events;
    }

    xtest::ToolkitLogWatch log;
};
