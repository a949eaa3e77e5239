// Fonts: what font_load makes of names, sizes and flags, numbered and
// dynamic fonts, replacing and freeing. No display is needed: font
// descriptions are plain values.
#include <gtest/gtest.h>
#include <pango/pango.h>

#include <string>

#include "runtime/gadget/fonts.h"
#include "runtime/text/strings.h"
#include "tests/support/xtest.h"

namespace {

class Fonts : public ::testing::Test {
protected:
    void SetUp() override {
        strings_start();
        fonts_start();
    }
    void TearDown() override {
        fonts_end();
        EXPECT_EQ(log.problems(), "");
    }
    xtest::ToolkitLogWatch log;
};

PangoFontDescription* description_of(intptr_t result) { return reinterpret_cast<PangoFontDescription*>(result); }

std::string family_of(const PangoFontDescription* font) {
    const char* family = pango_font_description_get_family(font);
    return family ? family : "<none>";
}

TEST_F(Fonts, NumberedLoadAppliesSizeAndFlagsAndIsWhatFontHandleReturns) {
    struct Case {
        const char16_t* name;
        int32_t size, flags;
        std::string family;
        int pango_size;
        PangoWeight weight;
        PangoStyle style;
    };
    const Case cases[] = {
        {u"Serif", 12, FONT_BOLD | FONT_ITALIC, "Serif", 12288, PANGO_WEIGHT_BOLD, PANGO_STYLE_ITALIC},
        // The size argument replaces a size given in the name.
        {u"Monospace 20", 10, 0, "Monospace", 10240, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL},
        // Style words in the name count when the flag is not given...
        {u"Sans Bold Italic", 9, 0, "Sans", 9216, PANGO_WEIGHT_BOLD, PANGO_STYLE_ITALIC},
        // ...and bits other than the two flags do nothing.
        {u"Sans", 8, 0x7C, "Sans", 8192, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL},
        // No family: the toolkit's default family at the given size.
        {u"", 11, FONT_ITALIC, "<none>", 11264, PANGO_WEIGHT_NORMAL, PANGO_STYLE_ITALIC},
        {nullptr, 11, 0, "<none>", 11264, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL},
        {u"Sans", 0, 0, "Sans", 0, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL},
        // Outside the contract, but it must neither warn nor keep the name's size.
        {u"Sans 14", -3, 0, "Sans", 0, PANGO_WEIGHT_NORMAL, PANGO_STYLE_NORMAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)) : "null");
        intptr_t loaded = font_load(0, c.name, c.size, c.flags);
        ASSERT_NE(loaded, 0);
        PangoFontDescription* font = font_handle(0);
        EXPECT_EQ(description_of(loaded), font);
        EXPECT_EQ(family_of(font), c.family);
        EXPECT_EQ(pango_font_description_get_size(font), c.pango_size);
        EXPECT_EQ(pango_font_description_get_weight(font), c.weight);
        EXPECT_EQ(pango_font_description_get_style(font), c.style);
    }
}

TEST_F(Fonts, OddNamesStillLoadWithoutComplaint) {
    // The parser takes unknown words as family names; none of these may
    // crash or make the toolkit log anything.
    const char16_t broken[] = {u'S', 0xD800, u'x', 0};
    const char16_t* names[] = {u",,,", u"  ", u"Sans -5", u"Sans 999999999999999999", u"@#$%^&*()",
                               u"Bold", u"Sans\u00e9\U0001F600", broken, u"Sans,Serif 12px"};
    for (const char16_t* name : names) EXPECT_NE(font_load(1, name, 12), 0);
    EXPECT_EQ(pango_font_description_get_size(font_handle(1)), 12288);
}

TEST_F(Fonts, DynamicFontsAreReachedThroughTheirHandle) {
    intptr_t handle = font_load(OBJECT_ANY, u"Serif", 7);
    ASSERT_NE(handle, 0);
    PangoFontDescription* font = font_handle(handle);
    ASSERT_NE(font, nullptr);
    EXPECT_NE(description_of(handle), font);
    EXPECT_EQ(pango_font_description_get_size(font), 7168);
    font_free(handle);
    EXPECT_EQ(font_handle(handle), nullptr);
    // A freed handle, or one never given out, cannot be reloaded or freed.
    EXPECT_EQ(font_load(handle, u"Serif", 7), 0);
    font_free(handle);
}

TEST_F(Fonts, ReloadingReplacesTheFontAndFailuresChangeNothing) {
    font_load(0, u"Serif", 12);
    font_load(0, u"Monospace", 14);  // the first description is freed (the sanitizer build checks)
    EXPECT_EQ(family_of(font_handle(0)), "Monospace");
    int local = 0;
    ObjectId strangers[] = {-2, INTPTR_MIN, reinterpret_cast<ObjectId>(&local)};
    for (ObjectId id : strangers) {
        EXPECT_EQ(font_load(id, u"Sans", 10), 0);
        EXPECT_EQ(font_handle(id), nullptr);
        font_free(id);
    }
    EXPECT_EQ(font_handle(5), nullptr);
    font_free(5);
    EXPECT_EQ(family_of(font_handle(0)), "Monospace");
}

TEST_F(Fonts, EndFreesEveryFontOnce) {
    font_load(0, u"Serif", 12);
    font_load(3, u"Sans", 12);
    intptr_t handle = font_load(OBJECT_ANY, u"Monospace", 12);
    font_free(3);
    fonts_end();
    EXPECT_EQ(font_handle(0), nullptr);
    EXPECT_EQ(font_handle(handle), nullptr);
    // Numbers stay usable after the end step.
    EXPECT_NE(font_load(0, u"Serif", 12), 0);
}

}  // namespace
