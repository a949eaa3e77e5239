// Fonts: numbered font objects loaded by name, point size and style, each
// owning one toolkit font description.
//
// A numbered load returns the description itself, ready for
// gadget_set_font; a load with OBJECT_ANY returns a handle, which
// font_handle turns into the description. Gadgets copy what they are given,
// so a font may be freed or loaded again at any time.
#pragma once

#include <cstdint>

#include "runtime/core/registry.h"
#include "runtime/text/strings.h"

typedef struct _PangoFontDescription PangoFontDescription;

constexpr int32_t FONT_BOLD = 1;
constexpr int32_t FONT_ITALIC = 2;

struct FontObject {
    PangoFontDescription* description;  // non-null exactly while the font lives
};

// Creates the font registry. Once, at start-up.
void fonts_start();
// Frees every loaded font.
void fonts_end();

// Parses `name` (family list, style words, size; null reads as empty, which
// leaves the family to the toolkit) and sets the size to `size` points,
// replacing any size in the name. FONT_BOLD and FONT_ITALIC force the
// weight and style; without them the name's style words count. Replaces the
// font held by `number`. Returns the description for a number, the handle
// for OBJECT_ANY, 0 on failure, which leaves any font of that number as it
// was.
intptr_t font_load(ObjectId number, String16 name, int32_t size, int32_t flags = 0);
// The description of a live font, else null.
PangoFontDescription* font_handle(ObjectId font);
// Release callback of the registry; a number without a live font is left
// alone.
void font_free(ObjectId font);
