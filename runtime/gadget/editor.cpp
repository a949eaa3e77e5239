// The editor gadget: creation, the change handler and the operations table.
//
// Item operations follow the buffer's own lines, so a line may end in "\n",
// "\r", "\r\n" or U+2029; where the editor adds a separator itself it adds
// "\n". A line number outside the buffer counts as past the last line: the
// operation does nothing (add_item appends), so no bad number can reach the
// buffer's clamping line positioning and delete the wrong line.
#include "runtime/gadget/editor.h"

#include <gtk/gtk.h>

#include "runtime/gadget/gadget_list.h"
#include "runtime/text/encoding.h"
#include "runtime/window/events.h"

namespace {

GtkTextBuffer* buffer_of(GadgetObject* gadget) { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(gadget->widget)); }

bool has_line(GtkTextBuffer* buffer, int32_t line) {
    return line >= 0 && line < gtk_text_buffer_get_line_count(buffer);
}

GtkTextIter line_start(GtkTextBuffer* buffer, int32_t line) {
    GtkTextIter iter;
    gtk_text_buffer_get_iter_at_line(buffer, &iter, line);
    return iter;
}

// Where the line's delimiter begins, or the buffer's end on the last line.
GtkTextIter line_end(GtkTextIter start) {
    if (!gtk_text_iter_ends_line(&start)) gtk_text_iter_forward_to_line_end(&start);
    return start;
}

// The buffer refuses invalid UTF-8 only after set_text has already cleared
// it, so text from a direct slot caller is checked before anything changes.
// Null reads as the empty text.
const char* usable_text(const char* utf8) {
    if (!utf8) return "";
    return g_utf8_validate(utf8, -1, nullptr) ? utf8 : nullptr;
}

void put_text(GtkTextIter start, GtkTextIter end, int32_t at) {
    char* text = gtk_text_iter_get_text(&start, &end);
    from_toolkit_text(text, at);
    g_free(text);
}

void editor_get_text(GadgetObject* gadget, int32_t at) {
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer_of(gadget), &start, &end);
    put_text(start, end, at);
}

void editor_set_text(GadgetObject* gadget, const char* utf8) {
    if ((utf8 = usable_text(utf8))) gtk_text_buffer_set_text(buffer_of(gadget), utf8, -1);
}

void editor_clear_items(GadgetObject* gadget) { editor_set_text(gadget, ""); }

int32_t editor_count_items(GadgetObject* gadget) { return gtk_text_buffer_get_line_count(buffer_of(gadget)); }

void editor_add_item(GadgetObject* gadget, int32_t position, const char* utf8) {
    if (!(utf8 = usable_text(utf8))) return;
    GtkTextBuffer* buffer = buffer_of(gadget);
    bool empty = gtk_text_buffer_get_char_count(buffer) == 0;
    bool append = !has_line(buffer, position);
    GtkTextIter where;
    if (append) {
        gtk_text_buffer_get_end_iter(buffer, &where);
    } else {
        where = line_start(buffer, position);
    }
    // One insertion, so the change is one step for the buffer and its handlers.
    const char* before = append && !empty ? "\n" : "";
    const char* after = !append && !empty ? "\n" : "";
    char* text = g_strconcat(before, utf8, after, nullptr);
    gtk_text_buffer_insert(buffer, &where, text, -1);
    g_free(text);
}

void editor_remove_item(GadgetObject* gadget, int32_t line) {
    GtkTextBuffer* buffer = buffer_of(gadget);
    if (!has_line(buffer, line)) return;
    GtkTextIter start, end;
    if (line + 1 < gtk_text_buffer_get_line_count(buffer)) {
        start = line_start(buffer, line);
        end = line_start(buffer, line + 1);
    } else {
        // The last line takes the delimiter before it along, all of it even
        // when that is "\r\n", so no stray line is left behind.
        start = line > 0 ? line_end(line_start(buffer, line - 1)) : line_start(buffer, line);
        gtk_text_buffer_get_end_iter(buffer, &end);
    }
    gtk_text_buffer_delete(buffer, &start, &end);
}

void editor_get_item_text(GadgetObject* gadget, int32_t line, int32_t, int32_t at) {
    GtkTextBuffer* buffer = buffer_of(gadget);
    if (!has_line(buffer, line)) {
        from_toolkit_text(nullptr, at);
        return;
    }
    GtkTextIter start = line_start(buffer, line);
    put_text(start, line_end(start), at);
}

void editor_set_item_text(GadgetObject* gadget, int32_t line, const char* utf8) {
    GtkTextBuffer* buffer = buffer_of(gadget);
    if (!has_line(buffer, line) || !(utf8 = usable_text(utf8))) return;
    GtkTextIter start = line_start(buffer, line);
    GtkTextIter end = line_end(start);
    gtk_text_buffer_delete(buffer, &start, &end);
    gtk_text_buffer_insert(buffer, &start, utf8, -1);
}

void editor_set_font(GadgetObject* gadget, const PangoFontDescription* font) { gadget_apply_font(gadget->widget, font); }

const PangoFontDescription* editor_get_font(GadgetObject* gadget) { return gadget_current_font(gadget->widget); }

intptr_t editor_get_attribute(GadgetObject* gadget, int32_t attribute) {
    if (attribute != EDITOR_READ_ONLY) return 0;
    return gtk_text_view_get_editable(GTK_TEXT_VIEW(gadget->widget)) ? 0 : 1;
}

void editor_set_attribute(GadgetObject* gadget, int32_t attribute, intptr_t value) {
    if (attribute == EDITOR_READ_ONLY) gtk_text_view_set_editable(GTK_TEXT_VIEW(gadget->widget), value == 0);
}

constexpr GadgetOps EDITOR_OPS = {
    .table_size = sizeof(GadgetOps),
    .kind = GADGET_TYPE_EDITOR,
    .get_text = editor_get_text,
    .set_text = editor_set_text,
    .add_item = editor_add_item,
    .remove_item = editor_remove_item,
    .clear_items = editor_clear_items,
    .count_items = editor_count_items,
    .get_item_text = editor_get_item_text,
    .set_item_text = editor_set_item_text,
    .set_font = editor_set_font,
    .get_attribute = editor_get_attribute,
    .set_attribute = editor_set_attribute,
    .set_color = gadget_apply_color,
    .get_color = gadget_stored_color,
    .get_font = editor_get_font,
};

// A list can only place a gadget by position when it is a fixed container.
GtkWidget* placing_list() {
    GadgetContext* ctx = gadget_context();
    return ctx && ctx->current_list && GTK_IS_FIXED(ctx->current_list) ? ctx->current_list : nullptr;
}

GtkWidget* scrolled_around(GtkWidget* view, int32_t width, int32_t height) {
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_ETCHED_IN);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    // Below -1 the toolkit refuses the request; -1 leaves the natural size.
    gtk_widget_set_size_request(scrolled, width < -1 ? -1 : width, height < -1 ? -1 : height);
    return scrolled;
}

}  // namespace

const GadgetOps& editor_ops() { return EDITOR_OPS; }

intptr_t editor_create(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags) {
    if (number < OBJECT_ANY || !placing_list()) return 0;
    GtkWidget* view = gtk_text_view_new();
    if (!view) return 0;
    // Held until a container owns it, so a failure below can drop it.
    g_object_ref_sink(view);
    auto* record = gadget_alloc(number);
    GtkWidget* list = placing_list();
    if (!record || !list) {
        gtk_widget_destroy(view);
        g_object_unref(view);
        return 0;
    }
    ObjectId id = number == OBJECT_ANY ? reinterpret_cast<ObjectId>(record) : number;
    GtkWidget* scrolled = scrolled_around(view, width, height);
    g_object_unref(view);
    gtk_fixed_put(GTK_FIXED(list), scrolled, x, y);
    gtk_widget_show_all(scrolled);
    *record = GadgetObject{view, scrolled, &EDITOR_OPS, 0, 0};
    gadget_register(record, id);
    // Handlers run while the toolkit settles; one of them may have ended
    // the gadget already.
    if (gadget_object(id) != record) return 0;
    if (flags & EDITOR_READ_ONLY) editor_set_attribute(record, EDITOR_READ_ONLY, 1);
    // Tied to the view's life, so a buffer that outlives its view never
    // hands the handler a dead view.
    g_signal_connect_object(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), "changed",
                            G_CALLBACK(editor_on_changed), view, GConnectFlags(0));
    return number == OBJECT_ANY ? id : reinterpret_cast<intptr_t>(view);
}

void editor_on_changed(GtkTextBuffer*, void* view) {
    auto* widget = static_cast<GtkWidget*>(view);
    auto id = reinterpret_cast<ObjectId>(g_object_get_data(G_OBJECT(widget), "ko_id"));
    event_post(EVENT_GADGET, id - 1, window_number_of(widget), 0);
}
