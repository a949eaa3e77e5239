// Top-level windows whose signals feed the event queue.
//
// A window is a numbered runtime object (or a handle, when opened with
// OBJECT_ANY); that id names it in every operation and is the `window` of its
// events. Its widget tree is toplevel -> vertical box -> a fixed container,
// the window's gadget list. A close request from the user only posts
// EVENT_CLOSE_WINDOW: the window goes away when the program calls
// window_close, and its record and queued events go with it.
#pragma once

#include <cstdint>

#include "runtime/core/registry.h"
#include "runtime/text/strings.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;
typedef struct _GtkAccelGroup GtkAccelGroup;

struct WindowTimer {
    WindowTimer* next;
    uint32_t source_id;  // a GLib source that belongs to the window
};

struct WindowObject {
    GtkWidget* window;  // non-null exactly while the window exists
    GtkAccelGroup* accel_group;  // the record owns one reference
    GtkWidget* aux_fixed;  // a spare container with its own GdkWindow, in no parent
    WindowTimer* timers;
    int32_t aux_value;
    uint32_t flags;  // creation flags after the WINDOW_TOOL adjustment
    int16_t aux_shorts[4];
};

constexpr uint32_t WINDOW_HIDDEN = 0x1;
constexpr uint32_t WINDOW_SIZEABLE = 0x2;
constexpr uint32_t WINDOW_TITLE_MENU = 0x4;
constexpr uint32_t WINDOW_MAXIMIZE_BUTTON = 0x10;
constexpr uint32_t WINDOW_MINIMIZE_BUTTON = 0x20;
constexpr uint32_t WINDOW_CENTER_SCREEN = 0x40;
constexpr uint32_t WINDOW_NO_BORDER = 0x80;
constexpr uint32_t WINDOW_CENTER_PARENT = 0x100;
constexpr uint32_t WINDOW_START_MAXIMIZED = 0x200;
constexpr uint32_t WINDOW_START_MINIMIZED = 0x400;
constexpr uint32_t WINDOW_TOOL = 0x800;
constexpr uint32_t WINDOW_NO_GADGET_LIST = 0x1000;

constexpr int32_t WINDOW_STATE_MAXIMIZED = 512;
constexpr int32_t WINDOW_STATE_MINIMIZED = 1024;

// As x or y: leave the window's position to the window manager.
constexpr int32_t WINDOW_NO_POSITION = -65535;

// Creates the window registry. Once, after events_start.
void windows_start();
// Closes every open window, and with it the window's gadgets.
void windows_end();

// Opens a window under `number` (closing the window that held it) or, with
// OBJECT_ANY, under a new handle. Returns the GtkWindow for a number, the
// handle for OBJECT_ANY, 0 on failure. Sizes are kept within 1..16384 and
// coordinates within what X can place. Unless WINDOW_NO_GADGET_LIST
// is given, the window becomes the current gadget list.
intptr_t window_open(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, String16 title,
                     uint32_t flags = 0, GtkWindow* parent = nullptr);

// Each does nothing when the id names no open window.
void window_close(ObjectId window);
void window_set_keep_above(ObjectId window, int32_t on);
// WINDOW_STATE_MAXIMIZED, WINDOW_STATE_MINIMIZED, or anything else for normal.
void window_set_state(ObjectId window, int32_t state);

// The window's record, or null when the id names no open window.
WindowObject* window_object(ObjectId window);
