// The gadget context and gadget lists.
#include "runtime/gadget/gadget_list.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/memory.h"

namespace {

void* context_block;

void init_context(void* block) {
    auto* ctx = static_cast<GadgetContext*>(block);
    ctx->current_list = nullptr;
    ctx->depth = 0;
    ctx->default_font = nullptr;
}

GadgetStackRecord* stack_record_of(GtkObject* object) {
    return static_cast<GadgetStackRecord*>(g_object_get_data(G_OBJECT(object), "ko_gadgetstack"));
}

// A depth from outside the layer is never trusted to index the entries.
int32_t copy_entries(int32_t* to, const int32_t* from, int32_t depth) {
    depth = std::clamp(depth, 0, GADGET_LIST_STACK_MAX);
    if (depth > 0) std::memcpy(to, from, static_cast<size_t>(depth) * sizeof(int32_t));
    return depth;
}

void last_child(GtkWidget* child, gpointer out) { *static_cast<GtkWidget**>(out) = child; }

// window_open always gives a window its list; this covers windows made by
// other code. The list goes into the window's box, or becomes the window's
// child when it has none; a window with any other child gets no list.
GtkWidget* make_window_list(GtkWidget* window) {
    GtkWidget* child = nullptr;
    gtk_container_foreach(GTK_CONTAINER(window), last_child, &child);
    if (child && !GTK_IS_BOX(child)) return nullptr;
    GtkWidget* fixed = gtk_fixed_new();
    if (!fixed) return nullptr;
    gtk_fixed_set_has_window(GTK_FIXED(fixed), TRUE);
    gtk_widget_show(fixed);
    if (child) {
        gtk_box_pack_start(GTK_BOX(child), fixed, TRUE, TRUE, 0);
    } else {
        gtk_container_add(GTK_CONTAINER(window), fixed);
    }
    g_object_set_data(G_OBJECT(window), "ko_gadgetlist", fixed);
    return fixed;
}

GtkWidget* list_of(GtkObject* object) {
    if (!GTK_IS_WINDOW(object)) return GTK_WIDGET(object);
    auto* list = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(object), "ko_gadgetlist"));
    return list ? list : make_window_list(GTK_WIDGET(object));
}

void save_into(GtkObject* previous, const GadgetContext* ctx) {
    GadgetStackRecord* record = stack_record_of(previous);
    if (!record) return;
    record->list = ctx->current_list;
    record->depth = copy_entries(record->entries, ctx->entries, ctx->depth);
}

}  // namespace

void gadget_context_start() {
    if (!context_block) context_block = context_block_new(sizeof(GadgetContext), init_context, 0);
}

GadgetContext* gadget_context() {
    return context_block ? static_cast<GadgetContext*>(context_block_get(context_block)) : nullptr;
}

GtkObject* gadget_list_use(GtkObject* object) {
    GadgetContext* ctx = gadget_context();
    if (!ctx) return nullptr;
    GtkObject* previous = ctx->current_object;
    // Only containers can hold gadgets; anything else changes nothing.
    if (!object || !GTK_IS_CONTAINER(object)) return previous;
    if (previous) save_into(previous, ctx);
    GtkWidget* list = list_of(object);
    if (GadgetStackRecord* record = stack_record_of(object)) {
        ctx->current_list = record->list;
        ctx->depth = copy_entries(ctx->entries, record->entries, record->depth);
    } else {
        record = static_cast<GadgetStackRecord*>(mem_alloc(sizeof(GadgetStackRecord)));
        // Without a record nothing would tell the context when the object
        // dies, so the object cannot become current.
        if (!record) {
            ctx->current_object = nullptr;
            ctx->current_list = nullptr;
            ctx->depth = 0;
            return previous;
        }
        ctx->depth = 0;
        ctx->current_list = list;
        record->owner = object;
        g_object_set_data_full(G_OBJECT(object), "ko_gadgetstack", record, gadget_stack_release);
    }
    ctx->current_object = object;
    return previous;
}

void gadget_stack_release(void* record) {
    auto* stack = static_cast<GadgetStackRecord*>(record);
    GadgetContext* ctx = gadget_context();
    if (ctx && ctx->current_object == stack->owner) {
        ctx->current_object = nullptr;
        ctx->current_list = nullptr;
        ctx->depth = 0;
    }
    mem_free(stack);
}
