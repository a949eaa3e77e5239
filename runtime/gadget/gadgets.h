// Gadgets: the gadget registry, the per-kind operations tables and the
// common operations that dispatch through them.
//
// A gadget is a numbered runtime object (or a handle, when created with
// OBJECT_ANY) whose record ties the number to its widgets and to its kind's
// GadgetOps table. A kind supports an operation by filling the slot; every
// common operation looks the gadget up first and does nothing for a number
// that names no live gadget or for an empty slot. Gadgets end with their
// widgets: the main widget's "destroy" handler clears the record.
//
// Ownership: the registry owns the records, the toolkit owns the widgets.
// A gadget and the default of new gadgets keep their own copies of the font
// descriptions they are given, so the font layer may free or reload a font
// at any time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/core/registry.h"
#include "runtime/text/strings.h"

typedef struct _GtkObject GtkObject;
typedef struct _GtkWidget GtkWidget;
typedef struct _PangoFontDescription PangoFontDescription;

constexpr intptr_t GADGET_TYPE_EDITOR = 22;

// Colour slots; colours are packed 0xBBGGRR and -1 removes a colour.
constexpr int32_t COLOR_FRONT = 1;
constexpr int32_t COLOR_BACK = 2;

struct GadgetOps;

struct GadgetObject {
    GtkWidget* widget;     // main widget; non-null exactly while the gadget lives
    GtkWidget* outer;      // the widget placed in the gadget list, or null when widget is
    const GadgetOps* ops;  // the kind's table
    int32_t front_color;   // text colour + 1; 0 when none is set
    int32_t back_color;    // background colour + 1; 0 when none is set
};

// One table per gadget kind, shared by all its gadgets. Every slot is one
// pointer wide and every position is fixed, so kinds fill only what they
// support. Text entering a slot is valid UTF-8 (the common operations
// convert it); string results follow the scratch result-position protocol.
struct GadgetOps {
    intptr_t table_size = 0;  // sizeof(GadgetOps)
    intptr_t kind = 0;        // GADGET_TYPE_*
    // Gives the gadget the keyboard focus; when null the main widget grabs it.
    void (*activate)(GadgetObject* gadget) = nullptr;
    // Frees what the kind attached to the record; called from the destroy
    // handler while the widgets still exist.
    void (*release)(GadgetObject* gadget) = nullptr;
    void* unused_4_5[2] = {};
    void (*get_text)(GadgetObject* gadget, int32_t at) = nullptr;
    void (*set_text)(GadgetObject* gadget, const char* utf8) = nullptr;
    // position -1 appends.
    void (*add_item)(GadgetObject* gadget, int32_t position, const char* utf8) = nullptr;
    void* unused_9 = nullptr;
    void (*remove_item)(GadgetObject* gadget, int32_t item) = nullptr;
    void (*clear_items)(GadgetObject* gadget) = nullptr;
    void* unused_12 = nullptr;
    int32_t (*count_items)(GadgetObject* gadget) = nullptr;
    void* unused_14_15[2] = {};
    void (*get_item_text)(GadgetObject* gadget, int32_t item, int32_t further, int32_t at) = nullptr;
    void (*set_item_text)(GadgetObject* gadget, int32_t item, const char* utf8) = nullptr;
    // Null gives the widget back the font of its style.
    void (*set_font)(GadgetObject* gadget, const PangoFontDescription* font) = nullptr;
    void* unused_19_20[2] = {};
    intptr_t (*get_attribute)(GadgetObject* gadget, int32_t attribute) = nullptr;
    void (*set_attribute)(GadgetObject* gadget, int32_t attribute, intptr_t value) = nullptr;
    void* unused_23_25[3] = {};
    void (*set_color)(GadgetObject* gadget, int32_t slot, int32_t colour) = nullptr;
    int32_t (*get_color)(GadgetObject* gadget, int32_t slot) = nullptr;
    void* unused_28_31[4] = {};
    const PangoFontDescription* (*get_font)(GadgetObject* gadget) = nullptr;
};

constexpr int32_t GADGET_OPS_SLOTS = 33;
static_assert(sizeof(GadgetOps) == GADGET_OPS_SLOTS * sizeof(void*));
static_assert(offsetof(GadgetOps, get_text) == 6 * sizeof(void*));
static_assert(offsetof(GadgetOps, count_items) == 13 * sizeof(void*));
static_assert(offsetof(GadgetOps, set_font) == 18 * sizeof(void*));
static_assert(offsetof(GadgetOps, set_color) == 26 * sizeof(void*));
static_assert(offsetof(GadgetOps, get_font) == 32 * sizeof(void*));

// Creates the gadget registry and the gadget context. Once, before any
// window opens; later calls keep what exists.
void gadgets_start();

// The live gadget of a number or handle, else null. Never reads through a
// value that is not one of the registry's handles.
GadgetObject* gadget_object(ObjectId gadget);

// The record for a new gadget under a number (after the gadget that held it
// is destroyed) or, with OBJECT_ANY, a new handle; null on failure.
GadgetObject* gadget_alloc(ObjectId number);

// The last step of every create operation, once widget, outer and ops are
// stored and the widgets sit in the gadget list: realizes the main widget,
// applies the default font, ties the record to the widget's "destroy", sets
// "ko_id" to number + 1 and lets the toolkit settle.
void gadget_register(GadgetObject* gadget, ObjectId number);

void gadget_activate(ObjectId gadget);
// A null text sets the empty text.
void gadget_set_text(ObjectId gadget, String16 text);
// The empty string when the gadget does not exist or has no text.
void gadget_get_text(ObjectId gadget, int32_t at);
// Gadget -1 sets the default font of gadgets created from then on. A font of
// null or -1 means none: the default is cleared, or the gadget gets its
// style's font back.
void gadget_set_font(ObjectId gadget, const PangoFontDescription* font);
void gadget_set_color(ObjectId gadget, int32_t slot, int32_t colour);

// The number (or handle) of the window holding the widget, -1 when the
// widget sits in no window, 0 when that window carries no number.
ObjectId window_number_of(GtkWidget* widget);
// Signal handler a kind can connect with the gadget number as user data:
// posts EVENT_GADGET unless a close request heads the queue.
void gadget_post_event(GtkWidget* widget, void* gadget);

// Release callback of the registry: destroys the gadget's widgets, whose
// destroy handler then clears the record.
void gadget_free(ObjectId gadget);
// "destroy" handler of every main widget; user data is the gadget number.
void gadget_on_destroy(GtkObject* object, void* gadget);

// Shared slot implementations.
void gadget_apply_font(GtkWidget* widget, const PangoFontDescription* font);
// The font last applied with gadget_apply_font, else the style's; null when
// the widget has no style.
const PangoFontDescription* gadget_current_font(GtkWidget* widget);
// The text colour goes to the main widget, the background also to outer.
// Only the normal, active and prelight states change, so selections keep
// the theme's colours.
void gadget_apply_color(GadgetObject* gadget, int32_t slot, int32_t colour);
// The colour last set in the slot, or -1.
int32_t gadget_stored_color(GadgetObject* gadget, int32_t slot);
