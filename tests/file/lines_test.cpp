// Reading lines as strings and writing strings in the three byte formats.
#include <cstring>
#include <string>
#include <vector>

#include "tests/file/file_fixture.h"

namespace {

using Lines = FileFolder;
using LineList = std::vector<std::u16string>;

class LinesBothPaths : public FileFolder, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        FileFolder::SetUp();
        file_force_unbuffered(GetParam() ? 1 : 0);
    }
    // Every line of a file holding `bytes`, read the way the note reads text.
    LineList all_lines(const std::string& bytes) {
        write_file("f", bytes);
        EXPECT_NE(file_open_read(0, name("f")), 0);
        LineList lines;
        while (!file_eof(0) && lines.size() <= bytes.size()) lines.push_back(read_line(0));
        EXPECT_EQ(read_line(0), u"");  // past the end stays empty
        file_close(0);
        return lines;
    }
};
INSTANTIATE_TEST_SUITE_P(File, LinesBothPaths, ::testing::Values(false, true), buffering_name);

std::u16string repeat(char16_t unit, size_t n) { return std::u16string(n, unit); }

TEST_P(LinesBothPaths, LineEnds) {
    const std::string x4095(4095, 'x');
    const std::u16string ux4095 = repeat(u'x', 4095);
    struct Case {
        std::string bytes;
        LineList lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"abc", {u"abc"}},
        {"a\nb\n", {u"a", u"b"}},
        {"a\r\nb", {u"a", u"b"}},
        {"a\r\r\nb", {u"a", u"", u"b"}},
        {"a\n\rb", {u"a", u"", u"b"}},
        {std::string("a\0b\n", 4), {u"a", u"b"}},
        {"a\r", {u"a"}},
        {"\n\n", {u"", u""}},
        // A CR as the buffer's last byte, with its LF (or not) after the refill.
        {x4095 + "\r\nb", {ux4095, u"b"}},
        {x4095 + "\rb", {ux4095, u"b"}},
        {x4095 + "\r", {ux4095}},
        // Lines that span refills.
        {"ab\n" + x4095 + "yz\nc", {u"ab", ux4095 + u"yz", u"c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes.substr(0, 16)) + " size " + std::to_string(c.bytes.size()));
        EXPECT_EQ(all_lines(c.bytes), c.lines);
    }
}

TEST_P(LinesBothPaths, BytesThatAreNotUtf8) {
    struct Case {
        std::string bytes;
        LineList lines;
    };
    const std::vector<Case> cases = {
        {"\x80\nnext", {u"", u"next"}},
        {"caf\xE9\nok", {u"caf", u"ok"}},
        {"caf\xE9 au", {u"caf\tau"}},  // the space is swallowed into the cut sequence
        {"ab\xFF" "cd\nz", {u"ab", u"z"}},
        {"a\xC3\nb", {u"a", u"b"}},  // cut off by the line end
        {"\xEF\xBB\xBF" "A", {u"\xFEFF" u"A"}},
        {"\xF0\x9F\x98\x80z\n\xC3\xA9", {u"\xD83D\xDE00z", u"\xE9"}},
        {"\xF4\x90\x80\x80z\nok", {u"", u"ok"}},  // above U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(all_lines(c.bytes), c.lines);
    }
}

TEST_P(LinesBothPaths, ALineOfSeveralMegabytes) {
    std::string big(5 << 20, 'm');
    for (size_t i = 0; i < big.size(); i += 1000) big[i] = static_cast<char>('a' + i % 26);
    std::u16string expected(big.begin(), big.end());
    EXPECT_EQ(all_lines(big + "\nend"), (LineList{expected, u"end"}));
}

TEST_P(LinesBothPaths, WriteAfterALineLandsRightBehindIt) {
    write_file("f", "one\r\ntwo\nthree\n");
    ASSERT_NE(file_open_update(0, name("f")), 0);
    EXPECT_EQ(read_line(0), u"one");
    EXPECT_EQ(file_write_string(0, u"TWO", TEXT_UTF8), 3);
    EXPECT_EQ(read_line(0), u"");  // the rest of the line that was overwritten
    EXPECT_EQ(read_line(0), u"three");
    EXPECT_EQ(file_eof(0), 1);
    file_close(0);
    EXPECT_EQ(read_file("f"), "one\r\nTWO\nthree\n");
}

TEST_F(Lines, ResultFollowsTheProtocolAtAnyPosition) {
    write_file("f", "line\n");
    ASSERT_NE(file_open_read(0, name("f")), 0);
    int32_t start = scratch.pos;
    scratch_append(u"<");
    file_read_line(0, scratch.pos);
    scratch_append(u">");
    file_read_line(7, scratch.pos);  // nothing open: an empty result
    StringVar joined = nullptr;
    scratch_assign(&joined, start);
    EXPECT_EQ(std::u16string(joined), u"<line>");
    EXPECT_EQ(scratch.pos, start);
    str_assign(&joined, nullptr);
}

TEST_F(Lines, WriteFormats) {
    struct Case {
        const char* what;
        std::u16string text;
        int32_t format;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"utf16", u"ab", TEXT_UTF16, std::string("a\0b\0", 4)},
        {"utf16 pair kept as units", u"\xD83D\xDE00", TEXT_UTF16, std::string("\x3D\xD8\x00\xDE", 4)},
        {"utf8", u"\xE9", TEXT_UTF8, "\xC3\xA9"},
        {"utf8 pair", u"a\xD83D\xDE00", TEXT_UTF8, "a\xF0\x9F\x98\x80"},
        {"utf8 broken pair stops", u"ab\xD83D" u"cd", TEXT_UTF8, "ab"},
        {"utf8 trailing high surrogate", u"x\xD83D", TEXT_UTF8, "x"},
        {"latin1", u"\xE9", 0, "\xE9"},
        {"latin1 drops units above 0xFF", u"a\x20AC" u"b", 5, "ab"},
        {"latin1 nothing left", u"\x20AC", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(file_create(0, name("f")), 0);
        EXPECT_EQ(file_write_string(0, c.text.c_str(), c.format), static_cast<int32_t>(c.bytes.size()));
        file_close(0);
        EXPECT_EQ(read_file("f"), c.bytes);
    }
}

TEST_F(Lines, WritingNothing) {
    ASSERT_NE(file_create(0, name("f")), 0);
    for (int32_t format : {TEXT_UTF8, TEXT_UTF16, 0}) {
        EXPECT_EQ(file_write_string(0, u"", format), 0);
        EXPECT_EQ(file_write_string(0, nullptr, format), 0);
    }
    EXPECT_EQ(file_write_string(9, u"abc", TEXT_UTF8), 0);
    file_close(0);
    EXPECT_EQ(read_file("f"), "");
}

TEST_F(Lines, LongTextsKeepEveryCharacter) {
    // Pairs placed so that some straddle any fixed piece size.
    std::u16string text;
    for (int i = 0; text.size() < 200000; i++) {
        text += (i % 3 == 0) ? u"\xD83D\xDE00" : (i % 3 == 1) ? u"\xE9x" : u"plain ";
    }
    char* expected = to_utf8_alloc(text.c_str());
    ASSERT_NE(file_create(0, name("f")), 0);
    EXPECT_EQ(file_write_string(0, text.c_str(), TEXT_UTF8), static_cast<int32_t>(strlen(expected)));
    file_close(0);
    EXPECT_EQ(read_file("f"), expected);
    utf8_free(expected);

    // A broken pair deep inside: what comes before it is written, and counted.
    text[150001] = u'!';
    text[150000] = u'\xD800';
    ASSERT_NE(file_create(0, name("g")), 0);
    int32_t written = file_write_string(0, text.c_str(), TEXT_UTF8);
    EXPECT_EQ(written, wide_to_bytes(CODEPAGE_UTF8, 0, text.c_str(), 150000, nullptr, 0, 0, 0));
    file_close(0);
    EXPECT_EQ(read_file("g").size(), static_cast<size_t>(written));
}

}  // namespace
