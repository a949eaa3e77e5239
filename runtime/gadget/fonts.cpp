// Fonts: the font registry and the loading of font descriptions.
#include "runtime/gadget/fonts.h"

#include <pango/pango.h>

#include "runtime/text/encoding.h"

namespace {

ObjectRegistry* font_registry;

FontObject* live_font(ObjectId font) { return static_cast<FontObject*>(registry_get(font_registry, font)); }

// Sizes are whole points; the toolkit counts 1024ths of a point. A negative
// size would make the toolkit complain and keep its old size, so it counts
// as 0; the shift wraps as in 32-bit arithmetic rather than overflowing.
gint toolkit_size(int32_t points) {
    if (points < 0) return 0;
    return static_cast<gint>(static_cast<uint32_t>(points) << 10) & INT32_MAX;
}

PangoFontDescription* parse(String16 name, int32_t size, int32_t flags) {
    char* text = to_toolkit_text(name);
    PangoFontDescription* description = pango_font_description_from_string(text);
    toolkit_text_free(text);
    if (!description) return nullptr;
    pango_font_description_set_size(description, toolkit_size(size));
    if (flags & FONT_BOLD) pango_font_description_set_weight(description, PANGO_WEIGHT_BOLD);
    if (flags & FONT_ITALIC) pango_font_description_set_style(description, PANGO_STYLE_ITALIC);
    return description;
}

}  // namespace

void fonts_start() {
    if (!font_registry) font_registry = registry_new(sizeof(FontObject), REGISTRY_INCREMENT, font_free);
}

void fonts_end() { registry_free_all(font_registry); }

intptr_t font_load(ObjectId number, String16 name, int32_t size, int32_t flags) {
    if (!font_registry || number < OBJECT_ANY) return 0;
    PangoFontDescription* description = parse(name, size, flags);
    if (!description) return 0;
    auto* font = static_cast<FontObject*>(registry_alloc(font_registry, number));
    if (!font) {
        pango_font_description_free(description);
        return 0;
    }
    font->description = description;
    return number == OBJECT_ANY ? reinterpret_cast<intptr_t>(font) : reinterpret_cast<intptr_t>(description);
}

PangoFontDescription* font_handle(ObjectId font) {
    FontObject* record = live_font(font);
    return record ? record->description : nullptr;
}

void font_free(ObjectId font) {
    FontObject* record = live_font(font);
    if (!record) return;
    pango_font_description_free(record->description);
    registry_free(font_registry, font);
}
