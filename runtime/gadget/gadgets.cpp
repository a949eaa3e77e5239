// The gadget registry and the common operations: each looks the gadget up,
// converts text at the boundary and dispatches through the kind's table.
#include "runtime/gadget/gadgets.h"

#include <gtk/gtk.h>

#include "runtime/gadget/gadget_list.h"
#include "runtime/text/encoding.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"

namespace {

ObjectRegistry* gadget_registry;

// Callers say "no font" with null or with the value -1.
const PangoFontDescription* font_or_null(const PangoFontDescription* font) {
    return reinterpret_cast<intptr_t>(font) == -1 ? nullptr : font;
}

// The default font is a private copy, so freeing or reloading the font it
// came from cannot leave new gadgets a dangling description.
void set_default_font(const PangoFontDescription* font) {
    GadgetContext* ctx = gadget_context();
    if (!ctx) return;
    PangoFontDescription* old = ctx->default_font;
    ctx->default_font = font ? pango_font_description_copy(font) : nullptr;
    if (old) pango_font_description_free(old);
}

}  // namespace

void gadgets_start() {
    if (!gadget_registry) gadget_registry = registry_new(sizeof(GadgetObject), REGISTRY_INCREMENT, gadget_free);
    gadget_context_start();
}

GadgetObject* gadget_object(ObjectId gadget) {
    auto* record = static_cast<GadgetObject*>(registry_get(gadget_registry, gadget));
    return record && record->ops ? record : nullptr;
}

GadgetObject* gadget_alloc(ObjectId number) {
    return static_cast<GadgetObject*>(registry_alloc(gadget_registry, number));
}

void gadget_register(GadgetObject* gadget, ObjectId number) {
    GtkWidget* widget = gadget->widget;
    // Realizing outside a window would only make the toolkit complain; such
    // a gadget is realized when its container joins one.
    if (gtk_widget_is_toplevel(gtk_widget_get_toplevel(widget))) gtk_widget_realize(widget);
    if (GadgetContext* ctx = gadget_context(); ctx && ctx->default_font) gadget_set_font(number, ctx->default_font);
    g_signal_connect(widget, "destroy", G_CALLBACK(gadget_on_destroy), reinterpret_cast<gpointer>(number));
    g_object_set_data(G_OBJECT(widget), "ko_id", reinterpret_cast<gpointer>(number + 1));
    toolkit_flush();
}

void gadget_on_destroy(GtkObject* object, void* gadget) {
    auto number = reinterpret_cast<ObjectId>(gadget);
    GadgetObject* record = gadget_object(number);
    // A record that already holds another widget belongs to a newer gadget.
    if (record && record->widget != GTK_WIDGET(object)) return;
    if (record && record->ops->release) record->ops->release(record);
    registry_free(gadget_registry, number);
}

void gadget_free(ObjectId gadget) {
    GadgetObject* record = gadget_object(gadget);
    if (!record) return;
    gtk_widget_destroy(record->outer ? record->outer : record->widget);
}

void gadget_activate(ObjectId gadget) {
    GadgetObject* record = gadget_object(gadget);
    if (!record) return;
    if (record->ops->activate) {
        record->ops->activate(record);
    } else {
        gtk_widget_grab_focus(record->widget);
    }
}

void gadget_set_text(ObjectId gadget, String16 text) {
    GadgetObject* record = gadget_object(gadget);
    if (!record || !record->ops->set_text) return;
    char* utf8 = to_toolkit_text(text);
    record->ops->set_text(record, utf8);
    toolkit_text_free(utf8);
}

void gadget_get_text(ObjectId gadget, int32_t at) {
    GadgetObject* record = gadget_object(gadget);
    if (record && record->ops->get_text) {
        record->ops->get_text(record, at);
    } else {
        from_toolkit_text(nullptr, at);
    }
}

void gadget_set_font(ObjectId gadget, const PangoFontDescription* font) {
    font = font_or_null(font);
    if (gadget == -1) {
        set_default_font(font);
        return;
    }
    GadgetObject* record = gadget_object(gadget);
    if (record && record->ops->set_font) record->ops->set_font(record, font);
}

void gadget_set_color(ObjectId gadget, int32_t slot, int32_t colour) {
    GadgetObject* record = gadget_object(gadget);
    if (record && record->ops->set_color) record->ops->set_color(record, slot, colour);
}

ObjectId window_number_of(GtkWidget* widget) {
    if (!widget) return -1;
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    // The topmost ancestor of a widget outside any window is no window.
    if (!top || !gtk_widget_is_toplevel(top)) return -1;
    return reinterpret_cast<ObjectId>(g_object_get_data(G_OBJECT(top), "ko_id"));
}

void gadget_post_event(GtkWidget* widget, void* gadget) {
    // A close request heading the queue is about to end the window; gadget
    // activity after it would only be purged with the window.
    if (event_peek_code() == EVENT_CLOSE_WINDOW) return;
    event_post(EVENT_GADGET, reinterpret_cast<ObjectId>(gadget), window_number_of(widget), 0);
}
