// The wide fast paths must convert exactly as the baseline does: same
// results, same counts, same bytes in the destination, with any room. Their
// chunks are 16 to 64 units long and carry code points across chunk ends, so
// each odd sequence is put at every offset over several chunks of texts
// long enough for them, cut off there too, and converted with ample, exact
// and short room. The baseline itself is held to the rules by the tables of
// encoding_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/text/encoding.h"
#include "runtime/text/utf_kernels.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Units = std::u16string;

constexpr int32_t SLACK = 8;

// Count, convert result and the whole destination (room plus slack, filled
// with a sentinel beforehand) of one conversion under `level`.
struct Outcome {
    int32_t count;
    int32_t result;
    std::vector<uint16_t> dst;
    bool operator==(const Outcome&) const = default;
};

Outcome decode(KernelLevel level, const Bytes& src, int32_t room) {
    EXPECT_TRUE(utf_kernels_select(level));
    auto bytes = reinterpret_cast<const char*>(src.data());
    auto len = static_cast<int32_t>(src.size());
    std::vector<char16_t> dst(static_cast<size_t>(room + SLACK), 0xAAAA);
    Outcome o{bytes_to_wide(CODEPAGE_UTF8, 0, bytes, len, nullptr, 0),
              bytes_to_wide(CODEPAGE_UTF8, 0, bytes, len, dst.data(), room), {}};
    o.dst.assign(dst.begin(), dst.end());
    return o;
}

Outcome encode(KernelLevel level, const Units& src, int32_t room) {
    EXPECT_TRUE(utf_kernels_select(level));
    auto len = static_cast<int32_t>(src.size());
    std::vector<char> dst(static_cast<size_t>(room + SLACK), static_cast<char>(0xAA));
    Outcome o{wide_to_bytes(CODEPAGE_UTF8, 0, src.data(), len, nullptr, 0, 0, 0),
              wide_to_bytes(CODEPAGE_UTF8, 0, src.data(), len, dst.data(), room, 0, 0), {}};
    o.dst.assign(dst.begin(), dst.end());
    return o;
}

template <typename Text, typename Convert>
void expect_same(KernelLevel level, const Text& src, Convert convert) {
    Outcome ample = convert(KernelLevel::BASELINE, src, static_cast<int32_t>(src.size()) * 3 + 4);
    // Rooms that end a conversion early, often in the middle of a chunk.
    int32_t count = ample.count;
    for (int32_t room : {static_cast<int32_t>(src.size()) * 3 + 4, count, count - 1, count / 2 + 1}) {
        if (room < 0) continue;
        SCOPED_TRACE(testing::Message() << "room " << room);
        EXPECT_EQ(convert(level, src, room), convert(KernelLevel::BASELINE, src, room));
        if (testing::Test::HasFailure()) return;
    }
}

class KernelLevels : public testing::TestWithParam<KernelLevel> {
  protected:
    void SetUp() override {
        if (!utf_kernels_select(GetParam())) GTEST_SKIP() << "not supported by this processor";
    }
    void TearDown() override { utf_kernels_select(KernelLevel::BASELINE); }
};

template <typename Text>
Text repeat(const Text& piece, size_t size) {
    Text text;
    while (text.size() < size) text.insert(text.end(), piece.begin(), piece.end());
    return text;
}

TEST_P(KernelLevels, DecodeOddBytesAtEveryOffset) {
    const Bytes texts[] = {
        repeat<Bytes>({'a', 'b', 'c'}, 160),
        repeat<Bytes>({'a', 0xC3, 0xA9, 'b', 0xDF, 0xBF}, 160),
        repeat<Bytes>({'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80, 0xE6, 0x98, 0xA5}, 160),
    };
    const Bytes odd_bytes[] = {
        {0x80},                   {0xBF, 0x41},             {0xF8},
        {0xFF},                   {0xC3},                   {0xE2, 0x82},
        {0xF0, 0x9F, 0x98},       {0xC3, 0x41},             {0xE2, 0x41, 0x42},
        {0xE2, 0x82, 0x41},       {0xF0, 0x9F, 0x41, 0x42}, {0xC0, 0x80},
        {0xE0, 0x80, 0x80},       {0xED, 0xA0, 0x80},       {0xF0, 0x80, 0x80, 0x80},
        {0xF0, 0x8F, 0xBF, 0xBF}, {0xF0, 0x90, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF},
        {0xF4, 0x90, 0x80, 0x80}, {0xF7, 0xBF, 0xBF, 0xBF}, {0x00},
    };
    for (const Bytes& text : texts) {
        for (const Bytes& odd : odd_bytes) {
            for (size_t at = 0; at < 140; at++) {
                SCOPED_TRACE(testing::Message() << "text " << text[1] << ", odd " << int{odd[0]} << " at " << at);
                Bytes src(text.begin(), text.begin() + static_cast<ptrdiff_t>(at));
                src.insert(src.end(), odd.begin(), odd.end());
                expect_same(GetParam(), src, decode);  // cut off right after it
                src.insert(src.end(), text.begin(), text.end());
                expect_same(GetParam(), src, decode);
                if (HasFailure()) return;
            }
        }
    }
}

TEST_P(KernelLevels, EncodeOddUnitsAtEveryOffset) {
    const Units texts[] = {
        repeat<Units>(u"abc", 100),
        repeat<Units>(u"a\x00E9" u"b\x07FF\x0080", 100),
        repeat<Units>(u"a\x00E9\x20AC\xD83D\xDE00\x4E2D", 100),
        repeat<Units>(u"\x4E2D\x6587\xD83D\xDE00", 100),
    };
    const Units odd_units[] = {
        u"\xD83D",        u"\xDE00",     u"\xDE00\xD83D", u"\xD83D\xD83D\xDE00", u"\xD83D" u"A",
        u"\xDBFF\xDFFF",  u"\xD800\xDC00", u"\xD7FF",     u"\xE000",             u"\xFFFF",
        u"\x07FF\x0800",  u"\x007F\x0080", Units(1, 0),
    };
    for (const Units& text : texts) {
        for (const Units& odd : odd_units) {
            for (size_t at = 0; at < 80; at++) {
                SCOPED_TRACE(testing::Message() << "text " << int{text[1]} << ", odd " << int{odd[0]} << " at " << at);
                Units src = text.substr(0, at) + odd;
                expect_same(GetParam(), src, encode);
                src += text;
                expect_same(GetParam(), src, encode);
                if (HasFailure()) return;
            }
        }
    }
}

// Every room from nothing to the whole text, so that the room runs out in
// each lane of the chunks.
TEST_P(KernelLevels, EveryRoom) {
    Bytes bytes = repeat<Bytes>({'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 'b', 0xF0, 0x9F, 0x98, 0x80}, 200);
    bytes.insert(bytes.begin(), 70, 'x');
    Units units = repeat<Units>(u"a\x00E9\x20AC" u"b\xD83D\xDE00", 130);
    units.insert(0, 40, u'x');
    units.insert(100, Units(32, u'\x00E9'));  // a run for the one- and two-byte path
    for (int32_t room = 0; room <= static_cast<int32_t>(bytes.size()) + 2; room++) {
        SCOPED_TRACE(room);
        EXPECT_EQ(decode(GetParam(), bytes, room), decode(KernelLevel::BASELINE, bytes, room));
    }
    for (int32_t room = 0; room <= static_cast<int32_t>(units.size()) * 3 + 2; room++) {
        SCOPED_TRACE(room);
        EXPECT_EQ(encode(GetParam(), units, room), encode(KernelLevel::BASELINE, units, room));
    }
}

INSTANTIATE_TEST_SUITE_P(Wide, KernelLevels, testing::Values(KernelLevel::AVX2, KernelLevel::AVX512));

}  // namespace
