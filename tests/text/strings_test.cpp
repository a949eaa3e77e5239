#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/text/strings.h"

namespace {

std::u16string scratch_text(int32_t start) {
    return std::u16string(reinterpret_cast<const char16_t*>(scratch.base + start),
                          static_cast<size_t>(scratch.pos - start) / 2);
}

// The result at `start` is terminated where pos says it ends.
void expect_result(int32_t start, const std::u16string& expected) {
    EXPECT_EQ(scratch_text(start), expected);
    EXPECT_EQ(*reinterpret_cast<const char16_t*>(scratch.base + scratch.pos), 0);
}

class Strings : public ::testing::Test {
  protected:
    void SetUp() override { strings_start(); }
};

TEST_F(Strings, StrToNumberTable) {
    struct Case {
        const char16_t* text;
        int64_t value;
    };
    const Case cases[] = {
        {u" \t-$fF", -255},
        {u"  +$a", 10},
        {u"%102", 2},
        {u"-%101", -5},
        {u"12abc", 12},
        {u"12.9", 12},
        {u"1 2", 1},
        {u"0x10", 0},
        {u"+-5", 0},
        {u"- 5", 0},
        {u"$", 0},
        {u"%2", 0},
        {u"", 0},
        {nullptr, 0},
        {u"\t\t 42", 42},
        {u"18446744073709551617", 1},
        {u"-9223372036854775808", INT64_MIN},
        {u"$100000000", 4294967296},
        {u"$FFFFFFFFFFFFFFFF", -1},
        {u"\x0661", 0},  // only ASCII digits count
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? std::string(c.text, c.text + str_len(c.text)) : "null");
        EXPECT_EQ(str_to_number(c.text), c.value);
    }
}

TEST_F(Strings, StrLeftTable) {
    struct Case {
        const char16_t* text;
        int32_t n;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"abc", 5, u"abc"}, {u"abc", 0, u""}, {u"abc", -3, u""}, {u"abc", 2, u"ab"}, {nullptr, 2, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        int32_t start = scratch.pos;
        str_left(c.text, c.n, start);
        expect_result(start, c.expected);
        scratch.pos = start;
    }
}

TEST_F(Strings, StrEqualAndLen) {
    EXPECT_EQ(str_equal(nullptr, u""), 1);
    EXPECT_EQ(str_equal(u"", nullptr), 1);
    EXPECT_EQ(str_equal(u"a", u"A"), 0);
    EXPECT_EQ(str_equal(u"ab", u"abc"), 0);
    EXPECT_EQ(str_equal(u"abc", u"ab"), 0);
    EXPECT_EQ(str_equal(u"\xD83D\xDE00", u"\xD83D\xDE00"), 1);
    EXPECT_EQ(str_len(nullptr), 0);
    EXPECT_EQ(str_len(u"a\xD83D\xDE00"), 3);  // a pair counts two units
}

TEST_F(Strings, IntToDecimalTable) {
    struct Case {
        int32_t value;
        const char* text;
    };
    const Case cases[] = {{INT_MIN, "-2147483648"}, {0, "0"}, {7, "7"}, {-1, "-1"}, {INT_MAX, "2147483647"}, {100, "100"}};
    for (const Case& c : cases) {
        char out[13];
        std::memset(out, 'x', sizeof out);
        int_to_decimal(c.value, out);
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(out[12], 'x');  // at most 12 bytes
    }
}

TEST_F(Strings, StrAssignSizesAndRelease) {
    StringVar v = nullptr;
    EXPECT_EQ(str_assign(&v, u"abc"), 8);
    EXPECT_TRUE(str_equal(v, u"abc"));
    v[4] = u'!';  // the 8 spare bytes are the variable's own (ASan checks)
    v[7] = u'!';
    EXPECT_EQ(str_assign(&v, u"a much longer value"), 40);
    EXPECT_TRUE(str_equal(v, u"a much longer value"));
    EXPECT_EQ(str_assign(&v, v + 7), 26);  // a tail of itself
    EXPECT_TRUE(str_equal(v, u"longer value"));
    EXPECT_EQ(str_assign(&v, nullptr), 2);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(str_assign(&v, u""), 2);
    EXPECT_NE(v, nullptr);
    std::free(v);
}

TEST_F(Strings, StrInitCopyIgnoresOldValue) {
    StringVar v = reinterpret_cast<StringVar>(uintptr_t{0x10});  // garbage, never read
    str_init_copy(&v, nullptr);
    EXPECT_EQ(v, reinterpret_cast<StringVar>(uintptr_t{0x10}));
    str_init_copy(&v, u"xyz");
    EXPECT_TRUE(str_equal(v, u"xyz"));
    std::free(v);
}

TEST_F(Strings, CopyUnitsReadsOnlyItsUnitsAndMayOverlap) {
    // An odd count from a source with no terminator: nothing past it is read.
    auto* src = static_cast<char16_t*>(std::malloc(3 * sizeof(char16_t)));
    std::memcpy(src, u"abc", 3 * sizeof(char16_t));
    char16_t dst[4] = {9, 9, 9, 9};
    str_copy_units(dst, src, 3);
    EXPECT_EQ(std::u16string(dst), u"abc");
    std::free(src);

    char16_t down[8] = u"0123456";
    str_copy_units(down, down + 2, 4);
    EXPECT_EQ(std::u16string(down), u"2345");
    char16_t up[8] = u"0123456";
    str_copy_units(up + 2, up, 3);
    EXPECT_EQ(std::u16string(up), u"01012");
}

TEST_F(Strings, ScratchGrowthRule) {
    EXPECT_EQ(scratch.capacity, 16);
    char* before = scratch.base;
    scratch_reserve(5, 0);  // 10 < 12: fits
    EXPECT_EQ(scratch.capacity, 16);
    EXPECT_EQ(scratch.base, before);
    EXPECT_EQ(scratch.pos, 10);
    scratch.pos = 0;
    scratch_reserve(6, 0);
    EXPECT_EQ(scratch.capacity, 16396);
    scratch.base[16405] = 1;  // the area is capacity + 10 bytes (ASan checks)
    EXPECT_EQ(scratch.pos, 12);
}

TEST_F(Strings, ExpressionProtocol) {
    StringVar line = nullptr;
    str_assign(&line, u"ff8800");
    int32_t start = scratch.pos;
    scratch_append(u"$");
    scratch_append(line);
    scratch_append(nullptr);  // null leaves pos and the terminator as they are
    expect_result(start, u"$ff8800");
    scratch_assign(&line, start);
    EXPECT_EQ(scratch.pos, start);
    EXPECT_TRUE(str_equal(line, u"$ff8800"));
    EXPECT_EQ(str_to_number(line), 0xff8800);

    scratch_append(nullptr);
    scratch_assign(&line, start);  // an empty result still yields a value
    EXPECT_TRUE(str_equal(line, u""));
    std::free(line);
}

TEST_F(Strings, LongExpressionGrowsAcrossAppends) {
    std::u16string piece(1000, u'x');
    std::u16string expected;
    int32_t start = scratch.pos;
    for (int i = 0; i < 40; i++) {
        piece[0] = static_cast<char16_t>(u'a' + i % 26);
        scratch_append(piece.c_str());
        expected += piece;
    }
    expect_result(start, expected);
    StringVar v = nullptr;
    scratch_assign(&v, start);
    EXPECT_EQ(std::u16string(v), expected);
    std::free(v);
}

// A temporary in the scratch stays a valid source while the area grows under
// it, including when the result overwrites the temporary in place.
TEST_F(Strings, StrLeftOfScratchTemporaryAcrossGrowth) {
    int32_t start = scratch.pos;
    scratch_append(u"hello");  // 10 bytes: no growth yet
    ASSERT_EQ(scratch.capacity, 16);
    const char16_t* temp = reinterpret_cast<const char16_t*>(scratch.base + start);
    str_left(temp, 4, scratch.pos);  // needs growth; temp moves with the area
    EXPECT_GT(scratch.capacity, 16);
    expect_result(10, u"hell");

    strings_start();
    start = scratch.pos;
    scratch_append(u"hello");
    temp = reinterpret_cast<const char16_t*>(scratch.base + start);
    str_left(temp, str_len(temp) - 1, start);  // dropping the last unit in place
    expect_result(start, u"hell");

    // Appending a temporary is tolerated the same way.
    strings_start();
    scratch_append(u"abcd");
    scratch_append(reinterpret_cast<const char16_t*>(scratch.base));
    expect_result(0, u"abcdabcd");
}

TEST_F(Strings, ScratchOffsets) {
    scratch_append(u"abc");
    EXPECT_EQ(scratch_offset_of(scratch.base), 1);
    EXPECT_EQ(scratch_offset_of(scratch.base + scratch.pos), scratch.pos + 1);
    EXPECT_EQ(scratch_offset_of(scratch.base + scratch.pos + 2), 0);
    EXPECT_EQ(scratch_offset_of(u"abc"), 0);
    EXPECT_EQ(reinterpret_cast<char*>(scratch_pointer_of(scratch_offset_of(scratch.base + 4))), scratch.base + 4);
}

}  // namespace
