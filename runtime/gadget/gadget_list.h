// The gadget context and gadget lists.
//
// Gadgets get no parent when they are made: each goes into the current
// gadget list, a container chosen beforehand with gadget_list_use. Every
// object that has ever been current carries a GadgetStackRecord under
// "ko_gadgetstack", so switching from one window to another and back
// restores the list exactly as it was left. The record dies with its owner;
// if the owner was current then, no gadget list is current afterwards.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

constexpr int32_t GADGET_LIST_STACK_MAX = 100;

struct GadgetContext {
    GtkWidget* current_list;  // where new gadgets go; null when none is current
    int32_t depth;            // meaningful elements of entries
    int32_t entries[GADGET_LIST_STACK_MAX];
    PangoFontDescription* default_font;  // applied to every new gadget; null for none
    GtkObject* current_object;  // last object passed to gadget_list_use
};

struct GadgetStackRecord {
    GtkObject* owner;
    GtkWidget* list;  // the owner's list when it last stopped being current
    int32_t entries[GADGET_LIST_STACK_MAX];
    int32_t depth;
};

// Makes the gadget layer's context block, with no gadget list current.
// Later calls keep the existing context.
void gadget_context_start();
// The context, or null before gadget_context_start.
GadgetContext* gadget_context();

// Makes a window (its "ko_gadgetlist") or any other container (itself) the
// current gadget list and returns the object that was current before, or
// null. A null object, or one that is not a container, changes nothing.
GtkObject* gadget_list_use(GtkObject* object);

// Release callback of every GadgetStackRecord; the toolkit calls it when the
// record's owner goes away.
void gadget_stack_release(void* record);
