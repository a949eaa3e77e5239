#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/text/encoding.h"

namespace {

std::u16string scratch_result(int32_t start) {
    EXPECT_EQ(*reinterpret_cast<const char16_t*>(scratch.base + scratch.pos), 0) << "unterminated";
    return std::u16string(reinterpret_cast<const char16_t*>(scratch.base + start),
                          static_cast<size_t>(scratch.pos - start) / 2);
}

std::string toolkit(String16 s) {
    char* text = to_toolkit_text(s);
    std::string copy = text;
    toolkit_text_free(text);
    return copy;
}

std::string c_heap(String16 s) {
    char* text = to_utf8_alloc(s);
    std::string copy = text;
    utf8_free(text);
    return copy;
}

std::u16string from_toolkit(const char* text) {
    strings_start();
    from_toolkit_text(text, 0);
    return scratch_result(0);
}

std::u16string string_alloc(const char* text) {
    char16_t* s = utf8_to_string_alloc(text);
    std::u16string copy = s;
    std::free(s);
    return copy;
}

class Wrappers : public ::testing::Test {
  protected:
    void SetUp() override { strings_start(); }
};

TEST_F(Wrappers, ValidTextRoundTrips) {
    const std::u16string texts[] = {
        u"",
        u"plain ASCII that runs well past one sixteen-unit block",
        u"caf\xE9 cr\xE8me br\xFBl\xE9\x65, \x20AC 12, \xDF",
        u"\x6F22\x5B57\x304B\x306A \xD83D\xDE00 \xD83C\xDF89 mixed",
        u"\xFEFF leading mark, U+FFFF \xFFFF and U+10FFFF \xDBFF\xDFFF",
    };
    for (const std::u16string& text : texts) {
        std::string utf8 = toolkit(text.c_str());
        EXPECT_EQ(c_heap(text.c_str()), utf8);
        EXPECT_EQ(from_toolkit(utf8.c_str()), text);
        EXPECT_EQ(string_alloc(utf8.c_str()), text);
    }
    EXPECT_EQ(toolkit(u"\x20AC\xD83D\xDE00"), "\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST_F(Wrappers, FailuresYieldEmptyText) {
    // A broken pair anywhere, even after good text or at the very end, gives
    // the empty text, never a silently cut one.
    for (String16 s : {static_cast<String16>(nullptr), u"", u"\xD83D" u"A", u"ok\xD83D" u"A", u"ok\xD83D"}) {
        EXPECT_EQ(toolkit(s), "");
        EXPECT_EQ(c_heap(s), "");
    }
    // A lone low surrogate is an ordinary unit to the encoder.
    EXPECT_EQ(toolkit(u"a\xDE00"), "a\xED\xB8\x80");
}

TEST_F(Wrappers, FromToolkitTextFollowsTheResultProtocol) {
    EXPECT_EQ(from_toolkit(nullptr), u"");
    EXPECT_EQ(from_toolkit(""), u"");

    // Into the middle of an expression, after an operand already in place.
    strings_start();
    scratch_append(u"note: ");
    int32_t at = scratch.pos;
    from_toolkit_text("d\xC3\xA9j\xC3\xA0 vu", at);
    EXPECT_EQ(scratch_result(0), u"note: d\xE9j\xE0 vu");
    StringVar v = nullptr;
    scratch_assign(&v, 0);
    EXPECT_EQ(std::u16string(v), u"note: d\xE9j\xE0 vu");
    EXPECT_EQ(scratch.pos, 0);
    std::free(v);

    // A long text makes the area grow under the call.
    std::string big(40000, 'x');
    EXPECT_EQ(from_toolkit(big.c_str()), std::u16string(40000, u'x'));
}

TEST_F(Wrappers, BadUtf8KeepsWhatDecodedAndIsTerminated) {
    struct Case {
        const char* text;
        std::u16string expected;
    };
    const Case cases[] = {
        {"ab\xFF" "cd", u"ab"},     // impossible lead byte
        {"ab\xE2\x82", u"ab"},      // cut by the end
        {"ab\xC3", u"ab"},          // a last lead byte does not eat the terminator
        {"a\xF4\x90\x80\x80z", u"a"},  // beyond U+10FFFF
        {"\xC3\x41x", u"\x0003x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(from_toolkit(c.text), c.expected);
        EXPECT_EQ(string_alloc(c.text), c.expected);
    }
    char16_t* empty = utf8_to_string_alloc(nullptr);
    EXPECT_EQ(empty[0], 0);
    std::free(empty);
}

TEST_F(Wrappers, Iso8859_15) {
    struct Case {
        const char* utf8;
        const char* latin9;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"\xE2\x82\xAC 5, \xC5\x93uvre, caf\xC3\xA9", "\xA4 5, \xBDuvre, caf\xE9"},
        {"", ""},
    };
    for (const Case& c : cases) {
        char* latin9 = utf8_to_iso8859_15(c.utf8);
        EXPECT_STREQ(latin9, c.latin9);
        char* back = iso8859_15_to_utf8(latin9);
        EXPECT_STREQ(back, c.utf8);
        toolkit_text_free(latin9);
        toolkit_text_free(back);
    }
    // What the converter cannot take comes back unchanged.
    for (const char* text : {"bad \xFF utf-8", "\xE4\xB8\xAD no such letter"}) {
        char* same = utf8_to_iso8859_15(text);
        EXPECT_STREQ(same, text);
        toolkit_text_free(same);
    }
    for (char* (*convert)(const char*) : {utf8_to_iso8859_15, iso8859_15_to_utf8}) {
        char* empty = convert(nullptr);
        EXPECT_STREQ(empty, "");
        toolkit_text_free(empty);
    }
}

}  // namespace
