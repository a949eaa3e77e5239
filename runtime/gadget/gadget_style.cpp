// Fonts and colours of gadget widgets: the shared implementations that kinds
// put into their set_font, get_font, set_color and get_color slots.
//
// Colours go through the widget's modifier style, so they outlive theme
// changes, and only the normal, active and prelight states are touched: a
// selection keeps the theme's colours and stays readable whatever the text
// colour is.
#include "runtime/gadget/gadgets.h"

#include <gtk/gtk.h>

namespace {

constexpr const char* GADGET_FONT_KEY = "ko_gadget_font";

// The states a gadget colour applies to; selected and insensitive are the
// theme's.
constexpr GtkStateType COLOURED_STATES[] = {GTK_STATE_NORMAL, GTK_STATE_ACTIVE, GTK_STATE_PRELIGHT};

using StateColours = GdkColor (GtkRcStyle::*)[5];

// Each slot sets two colour kinds of the style: the text colour is the
// foreground of labels and the text of entries, the background is the
// window background and the base behind text.
struct ColourSlot {
    int32_t slot;
    GtkRcFlags flags;
    StateColours first;
    StateColours second;
    int32_t GadgetObject::*stored;
};

constexpr ColourSlot COLOUR_SLOTS[] = {
    {COLOR_FRONT, GtkRcFlags(GTK_RC_FG | GTK_RC_TEXT), &GtkRcStyle::fg, &GtkRcStyle::text, &GadgetObject::front_color},
    {COLOR_BACK, GtkRcFlags(GTK_RC_BG | GTK_RC_BASE), &GtkRcStyle::bg, &GtkRcStyle::base, &GadgetObject::back_color},
};

const ColourSlot* colour_slot(int32_t slot) {
    for (const ColourSlot& entry : COLOUR_SLOTS)
        if (entry.slot == slot) return &entry;
    return nullptr;
}

// Each 8-bit channel c becomes c * 256; bits above the low 24 are ignored.
GdkColor toolkit_colour(int32_t colour) {
    auto packed = static_cast<uint32_t>(colour);
    GdkColor c{};
    c.red = static_cast<guint16>((packed & 0xFF) << 8);
    c.green = static_cast<guint16>(packed & 0xFF00);
    c.blue = static_cast<guint16>(((packed >> 16) & 0xFF) << 8);
    return c;
}

void restyle(GtkWidget* widget, const ColourSlot* entry, int32_t colour) {
    GtkRcStyle* style = gtk_widget_get_modifier_style(widget);
    if (entry) {
        GdkColor c = toolkit_colour(colour);
        for (GtkStateType state : COLOURED_STATES) {
            if (colour == -1) {
                style->color_flags[state] = GtkRcFlags(style->color_flags[state] & ~entry->flags);
                continue;
            }
            style->color_flags[state] = GtkRcFlags(style->color_flags[state] | entry->flags);
            (style->*entry->first)[state] = c;
            (style->*entry->second)[state] = c;
        }
    }
    gtk_widget_modify_style(widget, style);
}

}  // namespace

void gadget_apply_font(GtkWidget* widget, const PangoFontDescription* font) {
    // The widget keeps its own copy: the font layer may free or reload the
    // description it came from while the widget lives on.
    PangoFontDescription* copy = font ? pango_font_description_copy(font) : nullptr;
    g_object_set_data_full(G_OBJECT(widget), GADGET_FONT_KEY, copy,
                           reinterpret_cast<GDestroyNotify>(pango_font_description_free));
    gtk_widget_modify_font(widget, copy);
}

const PangoFontDescription* gadget_current_font(GtkWidget* widget) {
    GtkStyle* style = gtk_widget_get_style(widget);
    if (!style) return nullptr;
    auto* font = static_cast<const PangoFontDescription*>(g_object_get_data(G_OBJECT(widget), GADGET_FONT_KEY));
    return font ? font : style->font_desc;
}

void gadget_apply_color(GadgetObject* gadget, int32_t slot, int32_t colour) {
    const ColourSlot* entry = colour_slot(slot);
    // Unsigned arithmetic: only -1 may read back as "none", and no colour
    // value can overflow on the way in.
    if (entry) gadget->*entry->stored = colour == -1 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(colour) + 1);
    restyle(gadget->widget, entry, colour);
    if (slot == COLOR_BACK && gadget->outer) restyle(gadget->outer, entry, colour);
}

int32_t gadget_stored_color(GadgetObject* gadget, int32_t slot) {
    const ColourSlot* entry = colour_slot(slot);
    if (!entry) return -1;
    return static_cast<int32_t>(static_cast<uint32_t>(gadget->*entry->stored) - 1);
}
