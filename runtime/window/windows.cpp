// Windows: opening applies the flags word, connects the signals that feed the
// event queue, and makes the window the current gadget list; the "destroy"
// handler is the one place where a window's record and queued events go.
#include "runtime/window/windows.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "runtime/core/memory.h"
#include "runtime/gadget/gadget_list.h"
#include "runtime/text/encoding.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"

namespace {

ObjectRegistry* window_registry;

// X positions are 16-bit; larger values would wrap in the protocol. Sizes
// stop well below the protocol's limit: the toolkit paints a toplevel through
// a buffer as large as the whole window, and a bogus size from a settings
// file must not cost gigabytes and seconds.
constexpr int32_t X_MAX = 32767;
constexpr int32_t X_MIN = -32768;
constexpr int32_t MAX_WINDOW_SIZE = 16384;

ObjectId id_of(gpointer data) { return reinterpret_cast<ObjectId>(data); }
gpointer data_of(ObjectId id) { return reinterpret_cast<gpointer>(id); }

int32_t key_int(GtkWidget* widget, const char* key) {
    return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), key));
}
void set_key_int(GtkWidget* widget, const char* key, int32_t value) {
    g_object_set_data(G_OBJECT(widget), key, GINT_TO_POINTER(value));
}
bool disabled(GtkWidget* widget) {
    GtkWidget* toplevel = gtk_widget_get_toplevel(widget);
    return g_object_get_data(G_OBJECT(toplevel), "ko_disabled") != nullptr;
}

void post(int32_t code, gpointer id) { event_post(code, 0, id_of(id), 0); }

// Close, focus and motion events fall silent while "ko_disabled" is set;
// repaints do not.
template <int32_t Code, bool Suppressible, gboolean Result>
gboolean on_simple(GtkWidget* widget, GdkEvent*, gpointer id) {
    if (!(Suppressible && disabled(widget))) post(Code, id);
    return Result;
}

// A configure that changes the size reports only the size and keeps the old
// position, so the next configure still reports the move.
gboolean on_configure(GtkWidget* widget, GdkEventConfigure* event, gpointer id) {
    if (key_int(widget, "ko_previous_width") != event->width ||
        key_int(widget, "ko_previous_height") != event->height) {
        set_key_int(widget, "ko_previous_width", event->width);
        set_key_int(widget, "ko_previous_height", event->height);
        if (!disabled(widget)) post(EVENT_SIZE_WINDOW, id);
    } else if (key_int(widget, "ko_previous_x") != event->x || key_int(widget, "ko_previous_y") != event->y) {
        set_key_int(widget, "ko_previous_x", event->x);
        set_key_int(widget, "ko_previous_y", event->y);
        post(EVENT_MOVE_WINDOW, id);
    }
    return FALSE;
}

gboolean on_window_state(GtkWidget*, GdkEventWindowState* event, gpointer id) {
    const bool iconified = event->new_window_state & GDK_WINDOW_STATE_ICONIFIED;
    const bool maximized = event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED;
    if (event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) {
        post(iconified ? EVENT_MINIMIZE_WINDOW : maximized ? EVENT_MAXIMIZE_WINDOW : EVENT_RESTORE_WINDOW, id);
    } else if (event->changed_mask & GDK_WINDOW_STATE_MAXIMIZED) {
        post(maximized ? EVENT_MAXIMIZE_WINDOW : EVENT_RESTORE_WINDOW, id);
    }
    return FALSE;
}

void on_destroy(GtkObject* object, gpointer data) {
    const ObjectId id = id_of(data);
    WindowObject* record = window_object(id);
    if (!record || record->window != GTK_WIDGET(object)) return;
    g_object_unref(record->accel_group);
    for (WindowTimer* timer = record->timers; timer; timer = timer->next) g_source_remove(timer->source_id);
    mem_list_free(reinterpret_cast<void**>(&record->timers));
    gtk_widget_destroy(record->aux_fixed);
    g_object_unref(record->aux_fixed);
    event_purge_window(id);
    registry_free(window_registry, id);
}

void connect(GtkWidget* widget, const char* signal, GCallback handler, ObjectId id) {
    gtk_signal_connect_full(GTK_OBJECT(widget), signal, reinterpret_cast<GtkSignalFunc>(handler), nullptr,
                            data_of(id), nullptr, FALSE, FALSE);
}

struct SignalEntry {
    const char* signal;
    GCallback handler;
};

const SignalEntry window_signals[] = {
    {"destroy", G_CALLBACK(on_destroy)},
    {"configure-event", G_CALLBACK(on_configure)},
    {"window-state-event", G_CALLBACK(on_window_state)},
    {"delete-event", G_CALLBACK((on_simple<EVENT_CLOSE_WINDOW, true, TRUE>))},
    {"focus-in-event", G_CALLBACK((on_simple<EVENT_ACTIVATE_WINDOW, true, FALSE>))},
    {"focus-out-event", G_CALLBACK((on_simple<EVENT_DEACTIVATE_WINDOW, true, FALSE>))},
    {"motion-notify-event", G_CALLBACK((on_simple<EVENT_POINTER_MOTION, true, FALSE>))},
};

struct FlagBits {
    uint32_t flag;
    int decoration;
    int function;
};

// GDK's decoration and function bits are what the window manager reads.
const FlagBits flag_bits[] = {
    {WINDOW_SIZEABLE, GDK_DECOR_RESIZEH, GDK_FUNC_RESIZE},
    {WINDOW_TITLE_MENU, GDK_DECOR_MENU, 0},
    {WINDOW_MINIMIZE_BUTTON, GDK_DECOR_MINIMIZE, GDK_FUNC_MINIMIZE},
    {WINDOW_MAXIMIZE_BUTTON, GDK_DECOR_MAXIMIZE, GDK_FUNC_MAXIMIZE},
};

void set_decorations(GtkWidget* window, uint32_t flags) {
    int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    int functions = GDK_FUNC_MOVE | GDK_FUNC_CLOSE;
    for (const FlagBits& bits : flag_bits) {
        if (!(flags & bits.flag)) continue;
        decorations |= bits.decoration;
        functions |= bits.function;
    }
    if (flags & WINDOW_NO_BORDER) decorations = 0;
    GdkWindow* gdk_window = gtk_widget_get_window(window);
    gdk_window_set_decorations(gdk_window, static_cast<GdkWMDecoration>(decorations));
    gdk_window_set_functions(gdk_window, static_cast<GdkWMFunction>(functions));
}

void set_title(GtkWidget* window, String16 title) {
    char* text = to_toolkit_text(title);
    if (g_utf8_validate(text, -1, nullptr)) {
        gtk_window_set_title(GTK_WINDOW(window), text);
    } else {
        gchar* valid = g_utf8_make_valid(text, -1);
        gtk_window_set_title(GTK_WINDOW(window), valid);
        g_free(valid);
    }
    toolkit_text_free(text);
}

void center_on_parent(GtkWidget* window, GtkWindow* parent) {
    GdkWindow* parent_gdk = gtk_widget_get_window(GTK_WIDGET(parent));
    if (!parent_gdk) return;
    GdkRectangle p{}, w{};
    gdk_window_get_frame_extents(parent_gdk, &p);
    gdk_window_get_frame_extents(gtk_widget_get_window(window), &w);
    gtk_widget_set_uposition(window, std::clamp(p.x + p.width / 2 - w.width / 2, X_MIN, X_MAX),
                             std::clamp(p.y + p.height / 2 - w.height / 2, X_MIN, X_MAX));
}

// The box and the gadget container; a container that cannot be made leaves
// the window without gadget list and without repaint events.
void build_tree(GtkWidget* window, ObjectId id) {
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_object_set_data(G_OBJECT(window), "ko_vbox", box);
    if (GtkWidget* fixed = gtk_fixed_new()) {
        gtk_fixed_set_has_window(GTK_FIXED(fixed), TRUE);
        gtk_box_pack_start(GTK_BOX(box), fixed, TRUE, TRUE, 0);
        g_object_set_data(G_OBJECT(window), "ko_gadgetlist", fixed);
        connect(fixed, "expose-event", G_CALLBACK((on_simple<EVENT_REPAINT, false, FALSE>)), id);
    }
    gtk_widget_show_all(box);
}

// Placement, size and everything the window manager reads at map time.
uint32_t configure_toplevel(GtkWidget* window, int32_t x, int32_t y, int32_t width, int32_t height,
                            uint32_t flags, GtkWindow* parent) {
    if (!(flags & (WINDOW_CENTER_SCREEN | WINDOW_CENTER_PARENT))) gtk_widget_set_uposition(window, x, y);
    if (flags & WINDOW_SIZEABLE) {
        gtk_widget_set_usize(window, 30, 30);
    } else {
        gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
        gtk_widget_set_usize(window, width, height);
    }
    gtk_widget_realize(window);
    if (flags & WINDOW_TOOL) {
        flags &= ~(WINDOW_MAXIMIZE_BUTTON | WINDOW_MINIMIZE_BUTTON | WINDOW_START_MAXIMIZED | WINDOW_START_MINIMIZED);
        gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_UTILITY);
        gtk_window_set_skip_taskbar_hint(GTK_WINDOW(window), FALSE);
        gtk_window_set_skip_pager_hint(GTK_WINDOW(window), FALSE);
    }
    set_decorations(window, flags);
    if (flags & WINDOW_CENTER_SCREEN) gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    if ((flags & WINDOW_CENTER_PARENT) && parent) center_on_parent(window, parent);
    return flags;
}

void fill_record(WindowObject* record, GtkWidget* window, uint32_t flags) {
    *record = WindowObject{};
    record->window = window;
    record->accel_group = gtk_accel_group_new();
    // The spare container belongs to no parent, so the record holds it.
    record->aux_fixed = gtk_fixed_new();
    g_object_ref_sink(record->aux_fixed);
    record->flags = flags;
    record->aux_shorts[2] = record->aux_shorts[3] = 32767;
    g_object_set_data(G_OBJECT(window), "ko_accelerators", record->accel_group);
    gtk_fixed_set_has_window(GTK_FIXED(record->aux_fixed), TRUE);
    gtk_window_add_accel_group(GTK_WINDOW(window), record->accel_group);
}

}  // namespace

void windows_start() {
    if (!window_registry) window_registry = registry_new(sizeof(WindowObject), REGISTRY_INCREMENT, window_close);
}

void windows_end() { registry_free_all(window_registry); }

WindowObject* window_object(ObjectId window) {
    return static_cast<WindowObject*>(registry_get(window_registry, window));
}

intptr_t window_open(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, String16 title,
                     uint32_t flags, GtkWindow* parent) {
    if (x == WINDOW_NO_POSITION || y == WINDOW_NO_POSITION) x = y = -1;
    x = std::clamp(x, X_MIN, X_MAX);
    y = std::clamp(y, X_MIN, X_MAX);
    width = std::clamp(width, 1, MAX_WINDOW_SIZE);
    height = std::clamp(height, 1, MAX_WINDOW_SIZE);
    if (parent && !GTK_IS_WINDOW(parent)) parent = nullptr;
    auto* record = static_cast<WindowObject*>(registry_alloc(window_registry, number));
    if (!record) return 0;
    const ObjectId id = number == OBJECT_ANY ? reinterpret_cast<ObjectId>(record) : number;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!window) {
        if (number == OBJECT_ANY) registry_free(window_registry, id);
        return 0;
    }
    g_object_set_data(G_OBJECT(window), "Window", window);
    set_title(window, title);
    gtk_window_set_default_size(GTK_WINDOW(window), width, height);
    set_key_int(window, "ko_previous_width", width);
    set_key_int(window, "ko_previous_height", height);
    flags = configure_toplevel(window, x, y, width, height, flags, parent);
    build_tree(window, id);
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(window), parent);
    g_object_set_data(G_OBJECT(window), "ko_id", data_of(id));
    for (const SignalEntry& entry : window_signals) connect(window, entry.signal, entry.handler, id);
    fill_record(record, window, flags);
    if (flags & WINDOW_START_MAXIMIZED) {
        window_set_state(id, WINDOW_STATE_MAXIMIZED);
    } else if (flags & WINDOW_START_MINIMIZED) {
        window_set_state(id, WINDOW_STATE_MINIMIZED);
    }
    record->aux_value = -1;
    if (!(flags & WINDOW_HIDDEN)) gtk_widget_show(window);
    toolkit_flush();
    // The flush runs handlers: the window may be gone by now.
    if (window_object(id) != record || record->window != window) return 0;
    if (!(flags & WINDOW_NO_GADGET_LIST)) gadget_list_use(GTK_OBJECT(window));
    return number == OBJECT_ANY ? id : reinterpret_cast<intptr_t>(window);
}

void window_close(ObjectId window) {
    WindowObject* record = window_object(window);
    if (!record) return;
    gtk_widget_destroy(record->window);
    toolkit_flush();
}

void window_set_keep_above(ObjectId window, int32_t on) {
    if (WindowObject* record = window_object(window)) gtk_window_set_keep_above(GTK_WINDOW(record->window), on != 0);
}

void window_set_state(ObjectId window, int32_t state) {
    WindowObject* record = window_object(window);
    if (!record) return;
    auto* gtk_window = GTK_WINDOW(record->window);
    if (state == WINDOW_STATE_MAXIMIZED) {
        gtk_window_maximize(gtk_window);
        gtk_window_deiconify(gtk_window);
    } else if (state == WINDOW_STATE_MINIMIZED) {
        gtk_window_iconify(gtk_window);
    } else {
        gtk_window_unmaximize(gtk_window);
        gtk_window_deiconify(gtk_window);
    }
}
