// The editor gadget and the common gadget operations on real widgets: item
// operations, change events, re-creation, colours, fonts, and operations on
// numbers that hold no gadget.
#include <gtest/gtest.h>

#include <string>

#include "runtime/gadget/editor.h"
#include "runtime/gadget/fonts.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/gadget/gadgets.h"
#include "runtime/text/encoding.h"
#include "runtime/text/strings.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"
#include "tests/gadget/gadget_fixture.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITHOUT_WINDOW_MANAGER);

using Editor = GadgetTest;

// ---- Items ------------------------------------------------------------------

enum class Op { Add, Remove, SetItem };

struct ItemCase {
    const char* before;
    Op op;
    int32_t line;
    const char* text;
    const char* after;
};

TEST_F(Editor, ItemOperationsChangeTheBufferLineByLine) {
    const ItemCase cases[] = {
        {"", Op::Add, -1, "x", "x"},
        {"a", Op::Add, -1, "x", "a\nx"},
        {"a\nb", Op::Add, 5, "x", "a\nb\nx"},
        {"a\nb", Op::Add, 0, "x", "x\na\nb"},
        {"a\nb", Op::Add, 1, "x", "a\nx\nb"},
        {"", Op::Add, 0, "x", "x"},
        {"a\n", Op::Add, -1, "x", "a\n\nx"},
        {"a\nb", Op::Add, -7, "x", "a\nb\nx"},
        {"a\nb", Op::Remove, 1, nullptr, "a"},
        {"a\nb", Op::Remove, 0, nullptr, "b"},
        {"a", Op::Remove, 0, nullptr, ""},
        {"a\nb", Op::Remove, 2, nullptr, "a\nb"},
        {"a\nb", Op::Remove, -1, nullptr, "a\nb"},
        // The whole delimiter goes with the last line, not half of it.
        {"a\r\nb", Op::Remove, 1, nullptr, "a"},
        {"a\n\nc", Op::Remove, 2, nullptr, "a\n"},
        {"a\xE2\x80\xA9" "b\rc", Op::Remove, 0, nullptr, "b\rc"},
        {"a\n\nc", Op::SetItem, 1, "x", "a\nx\nc"},
        {"a\n\nc", Op::SetItem, 3, "x", "a\n\nc"},
        {"a\r\nbb\nc", Op::SetItem, 1, "\xF0\x9D\x84\x9E", "a\r\n\xF0\x9D\x84\x9E\nc"},
        {"a\nb", Op::SetItem, -1, "x", "a\nb"},
        // Invalid UTF-8 from a direct caller changes nothing.
        {"a\nb", Op::SetItem, 0, "\xC3(", "a\nb"},
        {"a\nb", Op::Add, -1, "\xFF", "a\nb"},
    };
    GadgetObject* record = make_editor(0);
    const GadgetOps& ops = *record->ops;
    for (const ItemCase& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.before << "\" line " << c.line);
        set_buffer(record, c.before);
        switch (c.op) {
        case Op::Add: ops.add_item(record, c.line, c.text); break;
        case Op::Remove: ops.remove_item(record, c.line); break;
        case Op::SetItem: ops.set_item_text(record, c.line, c.text); break;
        }
        EXPECT_EQ(buffer_text(record), c.after);
    }
    EXPECT_EQ(log.problems(), "");
}

TEST_F(Editor, ItemQueriesReadLinesWithoutTheirDelimiters) {
    GadgetObject* record = make_editor(0);
    const GadgetOps& ops = *record->ops;
    EXPECT_EQ(ops.count_items(record), 1);
    EXPECT_EQ(item_text(record, 0), u"");
    EXPECT_EQ(text_of(0), u"");
    set_buffer(record, "a\r\n\nc\xF0\x9D\x84\x9E\xE2\x80\xA9" "d");
    EXPECT_EQ(ops.count_items(record), 4);
    const std::u16string lines[] = {u"a", u"", u"c\U0001D11E", u"d"};
    for (int32_t line = 0; line < 4; line++) EXPECT_EQ(item_text(record, line), lines[line]);
    EXPECT_EQ(item_text(record, 4), u"");
    EXPECT_EQ(item_text(record, -1), u"");
    ops.clear_items(record);
    EXPECT_EQ(buffer_text(record), "");
    EXPECT_EQ(ops.count_items(record), 1);
}

TEST_F(Editor, TableHasTheFixedLayout) {
    const GadgetOps& ops = editor_ops();
    EXPECT_EQ(ops.table_size, static_cast<intptr_t>(GADGET_OPS_SLOTS * sizeof(void*)));
    EXPECT_EQ(ops.kind, GADGET_TYPE_EDITOR);
    // The editor leaves focus to the common fallback and has nothing to release.
    EXPECT_EQ(ops.activate, nullptr);
    EXPECT_EQ(ops.release, nullptr);
}

// ---- Text and events ----------------------------------------------------------

TEST_F(Editor, TextGoesInAndComesBackAsSixteenBitUnits) {
    make_editor(0);
    const std::u16string texts[] = {u"", u"one\ntwo\r\nthree", u"\u00e9\u20ac\U0001F600 tab\there", u"trailing\n"};
    for (const std::u16string& text : texts) {
        gadget_set_text(0, text.c_str());
        EXPECT_EQ(text_of(0), text);
    }
    gadget_set_text(0, nullptr);
    EXPECT_EQ(text_of(0), u"");
    // A broken surrogate reaches the buffer as the empty text, never as
    // anything the toolkit would refuse or complain about.
    const char16_t broken[][4] = {{0xD800, u'b', 0}, {u'a', 0xD800, u'b', 0}, {u'a', 0xDBFF, 0}};
    for (const char16_t* text : broken) {
        gadget_set_text(0, u"kept");
        gadget_set_text(0, text);
        EXPECT_EQ(buffer_text(gadget_object(0)), std::string());
    }
    EXPECT_EQ(text_of(0), u"");
    EXPECT_EQ(log.problems(), "");
}

TEST_F(Editor, EveryChangePostsOneGadgetEventWithGadgetAndWindow) {
    ASSERT_NE(window_open(3, 0, 0, 200, 100, u"w3", 0), 0);
    ASSERT_NE(editor_create(5, 0, 0, 100, 50), 0);
    // Creation itself posts nothing.
    EXPECT_EQ(drain_gadget_events(), 0);
    gadget_set_text(5, u"hello");  // a delete and an insert: one event survives
    EXPECT_EQ(next_event(), (Event{EVENT_GADGET, 5, 3}));
    EXPECT_EQ(next_event(), (Event{}));
    GadgetObject* record = gadget_object(5);
    record->ops->add_item(record, -1, "x");
    record->ops->remove_item(record, 0);
    EXPECT_EQ(drain_gadget_events(), 1);
    // Unlike other gadget activity, the editor reports even behind a close request.
    event_post(EVENT_CLOSE_WINDOW, 0, 3, 0);
    gadget_set_text(5, u"after");
    EXPECT_EQ(next_event().code, EVENT_CLOSE_WINDOW);
    EXPECT_EQ(next_event(), (Event{EVENT_GADGET, 5, 3}));
}

TEST_F(Editor, CommonEventHandlerHoldsBackBehindACloseRequest) {
    GadgetObject* record = make_editor(0);
    drain_gadget_events();
    gadget_post_event(record->widget, reinterpret_cast<void*>(7));
    EXPECT_EQ(next_event(), (Event{EVENT_GADGET, 7, 0}));
    event_post(EVENT_CLOSE_WINDOW, 0, 0, 0);
    gadget_post_event(record->widget, reinterpret_cast<void*>(7));
    EXPECT_EQ(next_event().code, EVENT_CLOSE_WINDOW);
    EXPECT_EQ(next_event(), (Event{}));
}

TEST_F(Editor, DynamicGadgetsAndWindowsAreNamedByTheirHandles) {
    intptr_t window = window_open(OBJECT_ANY, 0, 0, 200, 100, u"any", 0);
    ASSERT_NE(window, 0);
    intptr_t handle = editor_create(OBJECT_ANY, 0, 0, 100, 50);
    ASSERT_NE(handle, 0);
    GadgetObject* record = gadget_object(handle);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(handle, reinterpret_cast<intptr_t>(record->widget));
    EXPECT_EQ(g_object_get_data(G_OBJECT(record->widget), "ko_id"), reinterpret_cast<gpointer>(handle + 1));
    gadget_set_text(handle, u"x");
    EXPECT_EQ(next_event(), (Event{EVENT_GADGET, handle, window}));
    EXPECT_EQ(text_of(handle), u"x");
    window_close(window);
    EXPECT_EQ(gadget_object(handle), nullptr);
    EXPECT_EQ(text_of(handle), u"");
}

TEST_F(Editor, NumberedEditorReturnsItsViewInsideAScrolledWindowOfTheWindow) {
    intptr_t view = editor_create(0, 7, 9, 120, 80);
    GadgetObject* record = gadget_object(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(view, reinterpret_cast<intptr_t>(record->widget));
    EXPECT_TRUE(GTK_IS_TEXT_VIEW(record->widget));
    EXPECT_TRUE(GTK_IS_SCROLLED_WINDOW(record->outer));
    EXPECT_EQ(gtk_widget_get_parent(record->widget), record->outer);
    EXPECT_EQ(gtk_widget_get_parent(record->outer), gadget_context()->current_list);
    EXPECT_EQ(g_object_get_data(G_OBJECT(record->widget), "ko_id"), reinterpret_cast<gpointer>(1));
    EXPECT_EQ(window_number_of(record->widget), 0);
    EXPECT_TRUE(gtk_widget_get_realized(record->widget));
    GtkRequisition size;
    gtk_widget_size_request(record->outer, &size);
    EXPECT_EQ(size.width, 120);
    EXPECT_EQ(size.height, 80);
    gadget_activate(0);
    EXPECT_TRUE(gtk_widget_is_focus(record->widget));
}

TEST_F(Editor, RecreatingANumberDestroysTheOldWidgetsFirst) {
    GadgetObject* old_record = make_editor(2);
    GtkWidget* old_outer = old_record->outer;
    GtkWidget* old_view = old_record->widget;
    gadget_set_text(2, u"old");
    gadget_set_color(2, COLOR_FRONT, 0x123456);
    g_object_add_weak_pointer(G_OBJECT(old_outer), reinterpret_cast<gpointer*>(&old_outer));
    g_object_add_weak_pointer(G_OBJECT(old_view), reinterpret_cast<gpointer*>(&old_view));
    drain_gadget_events();
    ASSERT_NE(editor_create(2, 0, 0, 50, 50), 0);
    EXPECT_EQ(old_outer, nullptr);
    EXPECT_EQ(old_view, nullptr);
    GadgetObject* record = gadget_object(2);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(text_of(2), u"");
    EXPECT_EQ(record->ops->get_color(record, COLOR_FRONT), -1);
    gadget_set_text(2, u"new");
    EXPECT_EQ(next_event(), (Event{EVENT_GADGET, 2, 0}));
    EXPECT_EQ(next_event(), (Event{}));
}

TEST_F(Editor, ReadOnlyAttribute) {
    GadgetObject* read_only = gadget_object(editor_create(OBJECT_ANY, 0, 0, 50, 50, EDITOR_READ_ONLY));
    ASSERT_NE(read_only, nullptr);
    const GadgetOps& ops = *read_only->ops;
    EXPECT_EQ(ops.get_attribute(read_only, EDITOR_READ_ONLY), 1);
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(read_only->widget)));
    // The program may still set its text.
    gadget_set_text(reinterpret_cast<ObjectId>(read_only), u"shown");
    EXPECT_EQ(buffer_text(read_only), "shown");
    ops.set_attribute(read_only, EDITOR_READ_ONLY, 0);
    EXPECT_EQ(ops.get_attribute(read_only, EDITOR_READ_ONLY), 0);
    ops.set_attribute(read_only, EDITOR_READ_ONLY, 42);
    EXPECT_EQ(ops.get_attribute(read_only, EDITOR_READ_ONLY), 1);
    // Other attributes are neither stored nor read.
    ops.set_attribute(read_only, 2, 0);
    EXPECT_EQ(ops.get_attribute(read_only, 2), 0);
    EXPECT_EQ(ops.get_attribute(read_only, EDITOR_READ_ONLY), 1);
    // Other flag bits do nothing.
    GadgetObject* plain = gadget_object(editor_create(OBJECT_ANY, 0, 0, 50, 50, ~EDITOR_READ_ONLY));
    EXPECT_EQ(plain->ops->get_attribute(plain, EDITOR_READ_ONLY), 0);
}

// ---- Colours ------------------------------------------------------------------

struct Rgb {
    guint16 red, green, blue;
    bool operator==(const Rgb&) const = default;
};
Rgb rgb(const GdkColor& c) { return {c.red, c.green, c.blue}; }

const GtkStateType COLOURED[] = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE, GTK_STATE_PRELIGHT};

TEST_F(Editor, TextColourReachesTheViewsModifierStyleInThreeStates) {
    GadgetObject* record = make_editor(0);
    gadget_set_color(0, COLOR_FRONT, 0x0000FF);
    GtkRcStyle* style = gtk_widget_get_modifier_style(record->widget);
    for (GtkStateType state : COLOURED) {
        SCOPED_TRACE(state);
        EXPECT_EQ(style->color_flags[state] & (GTK_RC_FG | GTK_RC_TEXT), GTK_RC_FG | GTK_RC_TEXT);
        EXPECT_EQ(rgb(style->fg[state]), (Rgb{0xFF00, 0, 0}));
        EXPECT_EQ(rgb(style->text[state]), (Rgb{0xFF00, 0, 0}));
    }
    EXPECT_EQ(style->color_flags[GTK_STATE_SELECTED], 0);
    EXPECT_EQ(style->color_flags[GTK_STATE_INSENSITIVE], 0);
    // The widget's resolved style shows it; the background is the theme's.
    EXPECT_EQ(rgb(gtk_widget_get_style(record->widget)->text[GTK_STATE_NORMAL]), (Rgb{0xFF00, 0, 0}));
    EXPECT_EQ(gtk_widget_get_modifier_style(record->outer)->color_flags[GTK_STATE_NORMAL], 0);
    EXPECT_EQ(record->ops->get_color(record, COLOR_FRONT), 0x0000FF);
    EXPECT_EQ(record->ops->get_color(record, COLOR_BACK), -1);
    gadget_set_color(0, COLOR_FRONT, -1);
    style = gtk_widget_get_modifier_style(record->widget);
    for (GtkStateType state : COLOURED) EXPECT_EQ(style->color_flags[state] & (GTK_RC_FG | GTK_RC_TEXT), 0);
    EXPECT_EQ(record->ops->get_color(record, COLOR_FRONT), -1);
}

TEST_F(Editor, BackgroundColourGoesToViewAndScrolledWindow) {
    GadgetObject* record = make_editor(0);
    gadget_set_color(0, COLOR_BACK, 0x10FF80);
    for (GtkWidget* widget : {record->widget, record->outer}) {
        GtkRcStyle* style = gtk_widget_get_modifier_style(widget);
        for (GtkStateType state : COLOURED) {
            EXPECT_EQ(style->color_flags[state], GTK_RC_BG | GTK_RC_BASE);
            EXPECT_EQ(rgb(style->bg[state]), (Rgb{0x8000, 0xFF00, 0x1000}));
            EXPECT_EQ(rgb(style->base[state]), (Rgb{0x8000, 0xFF00, 0x1000}));
        }
    }
    EXPECT_EQ(record->ops->get_color(record, COLOR_BACK), 0x10FF80);
    gadget_set_color(0, COLOR_BACK, -1);
    EXPECT_EQ(gtk_widget_get_modifier_style(record->outer)->color_flags[GTK_STATE_NORMAL], 0);
    EXPECT_EQ(record->ops->get_color(record, COLOR_BACK), -1);
}

TEST_F(Editor, ColourValuesAndSlotsOutsideTheUsualRange) {
    GadgetObject* record = make_editor(0);
    // Bits above the low 24 reach no channel but are stored as given.
    gadget_set_color(0, COLOR_FRONT, 0x7F0000FF);
    EXPECT_EQ(rgb(gtk_widget_get_modifier_style(record->widget)->fg[GTK_STATE_NORMAL]), (Rgb{0xFF00, 0, 0}));
    EXPECT_EQ(record->ops->get_color(record, COLOR_FRONT), 0x7F0000FF);
    gadget_set_color(0, COLOR_FRONT, INT32_MIN);
    EXPECT_EQ(record->ops->get_color(record, COLOR_FRONT), INT32_MIN);
    // Any other slot stores and changes nothing.
    for (int32_t slot : {0, 3, -1}) {
        gadget_set_color(0, slot, 0x00FF00);
        EXPECT_EQ(record->ops->get_color(record, slot), -1);
        EXPECT_EQ(gtk_widget_get_modifier_style(record->widget)->color_flags[GTK_STATE_NORMAL], GTK_RC_FG | GTK_RC_TEXT);
        EXPECT_EQ(record->ops->get_color(record, COLOR_BACK), -1);
    }
}

// ---- Fonts --------------------------------------------------------------------

const PangoFontDescription* font_of(GadgetObject* record) { return record->ops->get_font(record); }

TEST_F(Editor, GadgetFontIsTheLoadedDescription) {
    GadgetObject* record = make_editor(0);
    const PangoFontDescription* style_font = font_of(record);
    ASSERT_NE(style_font, nullptr);
    ASSERT_NE(font_load(0, u"Serif", 12, FONT_BOLD | FONT_ITALIC), 0);
    gadget_set_font(0, font_handle(0));
    const PangoFontDescription* font = font_of(record);
    EXPECT_STREQ(pango_font_description_get_family(font), "Serif");
    EXPECT_EQ(pango_font_description_get_size(font), 12288);
    EXPECT_EQ(pango_font_description_get_weight(font), PANGO_WEIGHT_BOLD);
    EXPECT_EQ(pango_font_description_get_style(font), PANGO_STYLE_ITALIC);
    EXPECT_EQ(pango_font_description_get_size(gtk_widget_get_style(record->widget)->font_desc), 12288);
    // Loading another font under the number leaves the gadget's font intact.
    font_load(0, u"Monospace", 20);
    EXPECT_EQ(pango_font_description_get_size(font_of(record)), 12288);
    // Null and -1 both give the style's font back.
    for (auto none : {static_cast<PangoFontDescription*>(nullptr), reinterpret_cast<PangoFontDescription*>(-1)}) {
        gadget_set_font(0, font_handle(0));
        gadget_set_font(0, none);
        EXPECT_EQ(g_object_get_data(G_OBJECT(record->widget), "ko_gadget_font"), nullptr);
        EXPECT_TRUE(pango_font_description_equal(font_of(record), gtk_widget_get_style(record->widget)->font_desc));
        EXPECT_NE(pango_font_description_get_size(font_of(record)), 20480);
    }
}

TEST_F(Editor, DefaultFontGoesToNewGadgetsOnly) {
    GadgetObject* before = make_editor(0);
    font_load(1, u"Monospace", 15);
    gadget_set_font(-1, font_handle(1));
    EXPECT_EQ(g_object_get_data(G_OBJECT(before->widget), "ko_gadget_font"), nullptr);
    GadgetObject* after = make_editor(1);
    EXPECT_EQ(pango_font_description_get_size(font_of(after)), 15360);
    // The default outlives the font it came from.
    font_free(1);
    GadgetObject* later = make_editor(2);
    EXPECT_EQ(pango_font_description_get_size(font_of(later)), 15360);
    for (auto none : {static_cast<PangoFontDescription*>(nullptr), reinterpret_cast<PangoFontDescription*>(-1)}) {
        font_load(1, u"Monospace", 15);
        gadget_set_font(-1, font_handle(1));
        gadget_set_font(-1, none);
        EXPECT_EQ(gadget_context()->default_font, nullptr);
        GadgetObject* plain = make_editor(3);
        EXPECT_EQ(g_object_get_data(G_OBJECT(plain->widget), "ko_gadget_font"), nullptr);
    }
}

// ---- Absent gadgets and failures -------------------------------------------------

TEST_F(Editor, OperationsOnNumbersWithoutAGadgetDoNothing) {
    make_editor(0);
    gadget_set_text(0, u"keep");
    drain_gadget_events();
    int local = 0;
    ObjectId strangers[] = {1, 16, 1000, -2, INTPTR_MAX, reinterpret_cast<ObjectId>(&local)};
    for (ObjectId id : strangers) {
        SCOPED_TRACE(id);
        EXPECT_EQ(gadget_object(id), nullptr);
        gadget_set_text(id, u"x");
        EXPECT_EQ(text_of(id), u"");
        gadget_set_color(id, COLOR_FRONT, 0xFF);
        gadget_set_font(id, nullptr);
        gadget_activate(id);
        gadget_free(id);
    }
    EXPECT_EQ(text_of(0), u"keep");
    EXPECT_EQ(next_event(), (Event{}));
    EXPECT_EQ(local, 0);
    EXPECT_EQ(log.problems(), "");
}

TEST_F(Editor, ClosingTheWindowClearsItsGadgets) {
    GadgetObject* record = make_editor(0);
    ASSERT_NE(record, nullptr);
    window_close(0);
    EXPECT_EQ(gadget_object(0), nullptr);
    EXPECT_EQ(text_of(0), u"");
    // Nothing is current now, so nothing can be placed, and a failed create
    // leaves no record behind.
    EXPECT_EQ(editor_create(0, 0, 0, 10, 10), 0);
    EXPECT_EQ(editor_create(OBJECT_ANY, 0, 0, 10, 10), 0);
    EXPECT_EQ(gadget_object(0), nullptr);
    EXPECT_EQ(log.problems(), "");
}

TEST_F(Editor, FailedCreateLeavesTheExistingGadget) {
    make_editor(4);
    gadget_set_text(4, u"still here");
    // A window that is not made current gives no list; neither do ids that
    // are no number.
    ASSERT_NE(window_open(1, 0, 0, 50, 50, u"other", WINDOW_NO_GADGET_LIST), 0);
    int local = 0;
    for (ObjectId id : {ObjectId{-2}, reinterpret_cast<ObjectId>(&local)}) EXPECT_EQ(editor_create(id, 0, 0, 10, 10), 0);
    // A container that cannot place by position is refused.
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    g_object_ref_sink(box);
    GtkObject* previous = gadget_list_use(GTK_OBJECT(box));
    EXPECT_EQ(editor_create(4, 0, 0, 10, 10), 0);
    gadget_list_use(previous);
    EXPECT_EQ(text_of(4), u"still here");
    gtk_widget_destroy(box);
    g_object_unref(box);
    EXPECT_EQ(log.problems(), "");
}

TEST_F(Editor, WindowNumberOfAWidgetOutsideAnyWindow) {
    GtkWidget* loose = gtk_text_view_new();
    g_object_ref_sink(loose);
    EXPECT_EQ(window_number_of(loose), -1);
    EXPECT_EQ(window_number_of(nullptr), -1);
    gtk_widget_destroy(loose);
    g_object_unref(loose);
}

}  // namespace
