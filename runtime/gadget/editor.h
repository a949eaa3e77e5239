// The editor gadget: a multi-line text view in a scrolled window, placed in
// the current gadget list. Its text is the whole buffer and its items are
// the buffer's lines (numbered from 0, delimiters excluded; an empty buffer
// has one empty line). Every change of the buffer, whoever makes it, posts
// EVENT_GADGET with the gadget and its window.
#pragma once

#include <cstdint>

#include "runtime/core/registry.h"
#include "runtime/gadget/gadgets.h"

typedef struct _GtkTextBuffer GtkTextBuffer;

// Creation flag and attribute number alike.
constexpr int32_t EDITOR_READ_ONLY = 1;

// Creates editor `number` (destroying the gadget that held it) or, with
// OBJECT_ANY, a new one. Returns the text view for a number, the handle for
// OBJECT_ANY, 0 on failure: no current gadget list, a list that cannot place
// by position, or an id that is neither. A failure leaves any gadget of that
// number untouched.
intptr_t editor_create(ObjectId number, int32_t x, int32_t y, int32_t width, int32_t height, int32_t flags = 0);

// The buffer's "changed" handler; its user data is the text view.
void editor_on_changed(GtkTextBuffer* buffer, void* view);

// The editors' operations table, for the item operations that only the
// table reaches.
const GadgetOps& editor_ops();
