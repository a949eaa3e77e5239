#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/text/encoding.h"
#include "runtime/text/utf_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Units = std::u16string;

constexpr char16_t UNIT_SENTINEL = 0xAAAA;
constexpr uint8_t BYTE_SENTINEL = 0xAA;

struct Decoded {
    int32_t result;
    Units stored;  // the units before the first untouched slot
};

// Converts into a sentinel-filled buffer with `room` units of room and some
// slack beyond it, and fails the test if anything lands past the room.
Decoded decode(int32_t codepage, const Bytes& src, int32_t room) {
    std::vector<char16_t> dst(static_cast<size_t>(room) + 8, UNIT_SENTINEL);
    int32_t result = bytes_to_wide(codepage, 0, reinterpret_cast<const char*>(src.data()),
                                   static_cast<int32_t>(src.size()), dst.data(), room);
    for (size_t i = static_cast<size_t>(room); i < dst.size(); i++) EXPECT_EQ(dst[i], UNIT_SENTINEL) << "past room at " << i;
    size_t n = 0;
    while (n < static_cast<size_t>(room) && dst[n] != UNIT_SENTINEL) n++;
    return {result, Units(dst.data(), n)};
}

int32_t count_units(int32_t codepage, const Bytes& src) {
    return bytes_to_wide(codepage, 0, reinterpret_cast<const char*>(src.data()), static_cast<int32_t>(src.size()),
                         nullptr, 0);
}

struct Encoded {
    int32_t result;
    Bytes stored;
};

Encoded encode(int32_t codepage, const Units& src, int32_t room) {
    std::vector<uint8_t> dst(static_cast<size_t>(room) + 8, BYTE_SENTINEL);
    int32_t result = wide_to_bytes(codepage, 0, src.data(), static_cast<int32_t>(src.size()),
                                   reinterpret_cast<char*>(dst.data()), room, 0, 0);
    for (size_t i = static_cast<size_t>(room); i < dst.size(); i++) EXPECT_EQ(dst[i], BYTE_SENTINEL) << "past room at " << i;
    size_t n = 0;
    while (n < static_cast<size_t>(room) && dst[n] != BYTE_SENTINEL) n++;
    return {result, Bytes(dst.begin(), dst.begin() + static_cast<ptrdiff_t>(n))};
}

int32_t count_bytes(int32_t codepage, const Units& src) {
    return wide_to_bytes(codepage, 0, src.data(), static_cast<int32_t>(src.size()), nullptr, 0, 0, 0);
}

// Every rule holds whichever fast paths the processor allows.
class Encoding : public testing::TestWithParam<KernelLevel> {
  protected:
    void SetUp() override {
        if (!utf_kernels_select(GetParam())) GTEST_SKIP() << "not supported by this processor";
    }
};

TEST_P(Encoding, BytesToWideUtf8Table) {
    struct Case {
        Bytes src;
        int32_t result;
        Units stored;
        int32_t count;
    };
    const Case cases[] = {
        {{0x61, 0x62, 0x63, 0x00}, 4, {0x61, 0x62, 0x63, 0x00}, 4},
        {{0xC3, 0xA9, 0x78}, 2, u"\x00E9x", 2},
        {{0xC3, 0x41, 0x78}, 2, u"\x0003x", 2},  // the 41 is consumed
        {{0x61, 0x80, 0x62}, 0, u"a", 1},
        {{0x61, 0xE2, 0x82}, 1, u"a", 1},
        {{0xF0, 0x9F, 0x98, 0x80, 0x7A}, 3, u"\xD83D\xDE00z", 3},
        {{0xF4, 0x90, 0x80, 0x80, 0x7A}, 0, u"", 0},
        {{0xC0, 0x80, 0x7A}, 2, {0x0000, 0x7A}, 2},
        {{0xED, 0xA0, 0x80}, 1, u"\xD800", 1},
        {{0xEF, 0xBB, 0xBF, 0x41}, 2, u"\xFEFF" u"A", 2},
        {{0x61, 0x62, 0xFF, 0x63}, 0, u"ab", 2},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        Decoded d = decode(CODEPAGE_UTF8, c.src, 16);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.stored, c.stored);
        EXPECT_EQ(count_units(CODEPAGE_UTF8, c.src), c.count);
    }
}

TEST_P(Encoding, WideToBytesUtf8Table) {
    struct Case {
        Units src;
        int32_t result;
        Bytes stored;
        int32_t count;
    };
    const Case cases[] = {
        {{0x41, 0x42, 0x00}, 3, {0x41, 0x42, 0x00}, 3},
        {{0xE9, 0x00}, 3, {0xC3, 0xA9, 0x00}, 3},
        {u"\x20AC" u"A", 4, {0xE2, 0x82, 0xAC, 0x41}, 4},
        {u"\xD83D\xDE00" u"A", 5, {0xF0, 0x9F, 0x98, 0x80, 0x41}, 5},
        {u"\xD83D" u"AB", 0, {}, 0},
        {u"A\xD83D", 1, {0x41}, 1},
        {u"\xDE00" u"A", 4, {0xED, 0xB8, 0x80, 0x41}, 4},
        {u"\xDBFF\xDFFF", 4, {0xF4, 0x8F, 0xBF, 0xBF}, 4},
        {u"\x07FF\x0800", 5, {0xDF, 0xBF, 0xE0, 0xA0, 0x80}, 5},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        const Case& c = cases[i];
        Encoded e = encode(CODEPAGE_UTF8, c.src, 16);
        EXPECT_EQ(e.result, c.result);
        EXPECT_EQ(e.stored, c.stored);
        EXPECT_EQ(count_bytes(CODEPAGE_UTF8, c.src), c.count);
    }
}

// Room limits: only whole code points are stored, never past the room.
TEST_P(Encoding, RoomTable) {
    struct Decode {
        Bytes src;
        int32_t room;
        int32_t result;
        Units stored;
    };
    const Decode decodes[] = {
        {{0xF0, 0x9F, 0x98, 0x80}, 1, 0, u""},
        {{0xF0, 0x9F, 0x98, 0x80}, 2, 2, u"\xD83D\xDE00"},
        {{0x61, 0x62, 0x63, 0x64}, 2, 2, u"ab"},
        {{0x61, 0x62}, 0, 0, u""},
    };
    for (const Decode& c : decodes) {
        Decoded d = decode(CODEPAGE_UTF8, c.src, c.room);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.stored, c.stored);
    }
    struct Encode {
        Units src;
        int32_t room;
        int32_t result;
        Bytes stored;
    };
    const Encode encodes[] = {
        {u"A\x20AC" u"B", 2, 1, {0x41}},
        {u"A\xD83D\xDE00", 1, 1, {0x41}},
        {u"A\xD83D\xDE00", 4, 1, {0x41}},
        {u"A\xD83D\xDE00", 0, 0, {}},
        {u"A\xD83D" u"B", 1, 1, {0x41}},  // full before the bad pair is looked at
    };
    for (const Encode& c : encodes) {
        Encoded e = encode(CODEPAGE_UTF8, c.src, c.room);
        EXPECT_EQ(e.result, c.result);
        EXPECT_EQ(e.stored, c.stored);
    }
}

TEST_P(Encoding, Latin1AndUnsupportedCodePages) {
    Units wide = {0x41, 0x100, 0xE9, 0x8000, 0xFFFF, 0x42, 0x00};
    Encoded e = encode(CODEPAGE_LATIN1, wide, 16);
    EXPECT_EQ(e.result, 4);
    EXPECT_EQ(e.stored, (Bytes{0x41, 0xE9, 0x42, 0x00}));
    EXPECT_EQ(count_bytes(CODEPAGE_LATIN1, wide), 4);
    e = encode(CODEPAGE_LATIN1, wide, 2);
    EXPECT_EQ(e.result, 2);
    EXPECT_EQ(e.stored, (Bytes{0x41, 0xE9}));

    Decoded d = decode(CODEPAGE_LATIN1, {0x41, 0xE9, 0xFF, 0x00}, 16);
    EXPECT_EQ(d.result, 4);
    EXPECT_EQ(d.stored, (Units{0x41, 0xE9, 0xFF, 0x00}));
    EXPECT_EQ(count_units(CODEPAGE_LATIN1, {0x41, 0xE9, 0xFF}), 3);
    d = decode(CODEPAGE_LATIN1, {0x41, 0x42, 0x43}, 2);
    EXPECT_EQ(d.result, 2);
    EXPECT_EQ(d.stored, u"AB");

    for (int32_t codepage : {1252, 1, -1}) {
        SCOPED_TRACE(codepage);
        EXPECT_EQ(encode(codepage, u"AB", 16).result, 0);
        EXPECT_TRUE(encode(codepage, u"AB", 16).stored.empty());
        EXPECT_EQ(count_bytes(codepage, u"AB"), 0);
        EXPECT_EQ(decode(codepage, {0x41, 0x42}, 16).result, 0);
        EXPECT_TRUE(decode(codepage, {0x41, 0x42}, 16).stored.empty());
        EXPECT_EQ(count_units(codepage, {0x41}), 0);
    }
}

TEST_P(Encoding, WholeTextLengthAndNullSources) {
    EXPECT_EQ(wide_to_bytes(CODEPAGE_UTF8, 0, u"h\xE9", -1, nullptr, 0, 0, 0), 4);
    EXPECT_EQ(wide_to_bytes(CODEPAGE_UTF8, 0, nullptr, -1, nullptr, 0, 0, 0), 1);
    EXPECT_EQ(wide_to_bytes(CODEPAGE_UTF8, 0, nullptr, 5, nullptr, 0, 0, 0), 1);  // null is only its terminator
    EXPECT_EQ(wide_to_bytes(CODEPAGE_UTF8, 0, u"abc", 0, nullptr, 0, 0, 0), 0);
    EXPECT_EQ(bytes_to_wide(CODEPAGE_UTF8, 0, "h\xC3\xA9", -1, nullptr, 0), 3);
    EXPECT_EQ(bytes_to_wide(CODEPAGE_UTF8, 0, nullptr, -1, nullptr, 0), 0);
    EXPECT_EQ(bytes_to_wide(CODEPAGE_LATIN1, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(bytes_to_wide(CODEPAGE_UTF8, 0, "abc", -7, nullptr, 0), 0);
}

// Surrogates and multi-byte sequences at every position, so that each one
// lands on, before and after the boundaries of the 16-unit fast path.
TEST_P(Encoding, SurrogatesAtEveryPosition) {
    for (size_t at = 0; at < 40; at++) {
        SCOPED_TRACE(at);
        Units ascii(at, u'a');
        Bytes ascii_bytes(at, 'a');
        Units tail(20, u'z');
        Bytes tail_bytes(20, 'z');
        auto join = [](Bytes a, const Bytes& b, const Bytes& c) {
            a.insert(a.end(), b.begin(), b.end());
            a.insert(a.end(), c.begin(), c.end());
            return a;
        };
        Bytes pair_bytes = join(ascii_bytes, {0xF0, 0x9F, 0x98, 0x80}, tail_bytes);
        Units pair = ascii + u"\xD83D\xDE00" + tail;
        Encoded e = encode(CODEPAGE_UTF8, pair, 64);
        EXPECT_EQ(e.result, static_cast<int32_t>(pair_bytes.size()));
        EXPECT_EQ(e.stored, pair_bytes);
        Decoded d = decode(CODEPAGE_UTF8, pair_bytes, 64);
        EXPECT_EQ(d.result, static_cast<int32_t>(pair.size()));
        EXPECT_EQ(d.stored, pair);

        Units lone_high = ascii + u"\xD83D" + tail;  // fails wherever it lies
        EXPECT_EQ(encode(CODEPAGE_UTF8, lone_high, 64).result, 0);
        EXPECT_EQ(count_bytes(CODEPAGE_UTF8, lone_high), static_cast<int32_t>(at));
        Units last_high = ascii + u"\xD83D";  // cut off: quietly ends
        EXPECT_EQ(encode(CODEPAGE_UTF8, last_high, 64).result, static_cast<int32_t>(at));
        Units lone_low = ascii + u"\xDE00" + tail;
        EXPECT_EQ(encode(CODEPAGE_UTF8, lone_low, 64).stored, join(ascii_bytes, {0xED, 0xB8, 0x80}, tail_bytes));

        Bytes bad_lead = join(ascii_bytes, {0x80}, tail_bytes);
        Decoded bad = decode(CODEPAGE_UTF8, bad_lead, 64);
        EXPECT_EQ(bad.result, 0);
        EXPECT_EQ(bad.stored, ascii);
        EXPECT_EQ(count_units(CODEPAGE_UTF8, bad_lead), static_cast<int32_t>(at));
        Decoded cut = decode(CODEPAGE_UTF8, join(ascii_bytes, {0xF0, 0x9F, 0x98}, {}), 64);
        EXPECT_EQ(cut.result, static_cast<int32_t>(at));
        EXPECT_EQ(cut.stored, ascii);
    }
}

// Every room from 0 to the whole text stores the longest prefix of whole
// code points that fits, in both directions.
TEST_P(Encoding, EveryRoomStoresWholeCodePoints) {
    Units text = Units(17, u'a') + u"\xE9\x20AC\xD83D\xDE00" + Units(18, u'b') + u"\xD83D\xDE00";
    Bytes bytes(17, 'a');
    for (uint8_t b : {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}) bytes.push_back(b);
    bytes.insert(bytes.end(), 18, 'b');
    for (uint8_t b : {0xF0, 0x9F, 0x98, 0x80}) bytes.push_back(b);
    // Where each code point ends, in bytes and in units.
    std::vector<size_t> byte_ends, unit_ends;
    for (size_t i = 1; i <= 17; i++) byte_ends.push_back(i), unit_ends.push_back(i);
    for (size_t i : {19, 22, 26}) byte_ends.push_back(i);
    for (size_t i : {18, 19, 21}) unit_ends.push_back(i);
    for (size_t i = 1; i <= 18; i++) byte_ends.push_back(26 + i), unit_ends.push_back(21 + i);
    byte_ends.push_back(48);
    unit_ends.push_back(41);

    for (int32_t room = 0; room <= 48; room++) {
        SCOPED_TRACE(room);
        size_t fits = 0, fits_units = 0;
        for (size_t k = 0; k < byte_ends.size(); k++)
            if (byte_ends[k] <= static_cast<size_t>(room)) fits = byte_ends[k];
        Encoded e = encode(CODEPAGE_UTF8, text, room);
        EXPECT_EQ(e.result, static_cast<int32_t>(fits));
        EXPECT_EQ(e.stored, Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(fits)));
        for (size_t k = 0; k < unit_ends.size(); k++)
            if (unit_ends[k] <= static_cast<size_t>(room)) fits_units = unit_ends[k];
        if (room <= 41) {
            Decoded d = decode(CODEPAGE_UTF8, bytes, room);
            EXPECT_EQ(d.result, static_cast<int32_t>(fits_units));
            EXPECT_EQ(d.stored, text.substr(0, fits_units));
        }
    }
}

// Counting takes whole blocks at once while storing decides code point by
// code point, so each odd sequence is placed at every offset around the block
// boundaries: the count must always be what a store with ample room keeps.
TEST_P(Encoding, CountMatchesStoredUnitsAtEveryOffset) {
    const Bytes odd_bytes[] = {
        {0xF0, 0x80, 0x80, 0x80}, {0xF0, 0x90, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF}, {0xF4, 0x90, 0x80, 0x80},
        {0xED, 0xA0, 0x80},       {0xC0, 0x80},             {0xC3, 0x41},             {0xE2, 0x82, 0xAC},
        {0xE2, 0x41, 0x42},       {0x80},                   {0xF8},                   {0xC3, 0xA9, 0xC3},
    };
    for (const Bytes& odd : odd_bytes) {
        for (size_t at = 0; at < 36; at++) {
            SCOPED_TRACE(testing::Message() << "byte " << int{odd[0]} << " at " << at);
            Bytes src(at, 'a');
            src.insert(src.end(), odd.begin(), odd.end());
            src.insert(src.end(), {0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'b', 'c'});
            for (int tail = 0; tail < 3; tail++) {
                src.pop_back();
                EXPECT_EQ(count_units(CODEPAGE_UTF8, src), static_cast<int32_t>(decode(CODEPAGE_UTF8, src, 64).stored.size()));
            }
        }
    }
    const Units odd_units[] = {u"\xD83D\xDE00", u"\xDE00", u"\xD83D", u"\xDE00\xD83D", u"\x07FF\x0800\xFFFF"};
    for (const Units& odd : odd_units) {
        for (size_t at = 0; at < 36; at++) {
            SCOPED_TRACE(at);
            Units src = Units(at, u'a') + odd + u"\xE9\x20AC" + Units(20, u'z');
            EXPECT_EQ(count_bytes(CODEPAGE_UTF8, src), static_cast<int32_t>(encode(CODEPAGE_UTF8, src, 160).stored.size()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, Encoding, testing::Values(KernelLevel::BASELINE, KernelLevel::AVX2, KernelLevel::AVX512));

}  // namespace
