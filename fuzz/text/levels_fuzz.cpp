// Every fast-path level must convert exactly as the baseline does: the same
// counts, results and destination contents, with the room the count asks
// for and with less. Arbitrary bytes rarely hold the long plain runs that
// the wide paths take, so the input is also read as a list of pieces (mostly
// whole code points of every length, now and then an odd one) that make
// such runs. Destinations are sized exactly for the sanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/text/encoding.h"
#include "runtime/text/utf_kernels.h"

namespace {

const char* const BYTE_PIECES[] = {
    "a", " ", "z", "\xC3\xA9", "\xDF\xBF", "\xE2\x82\xAC", "\xE6\x98\xA5", "\xEF\xBF\xBF", "\xF0\x9F\x98\x80",
    "\xF4\x8F\xBF\xBF",
    // odd: a stray continuation, cut and overlong forms, beyond U+10FFFF, no lead at all
    "\x80", "\xC3", "\xE2\x82", "\xC0\x80", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xFF"};
const char16_t* const UNIT_PIECES[] = {
    u"a", u" ", u"\x00E9", u"\x07FF", u"\x0800", u"\x20AC", u"\xFFFF", u"\xD83D\xDE00", u"\xDBFF\xDFFF",
    // odd: lone surrogates, and a terminator inside the text
    u"\xD83D", u"\xDE00", u"\x0000"};

// Odd pieces come up once in every 32 picks or so.
template <typename Piece, size_t N>
size_t pick(uint8_t b, const Piece (&)[N], size_t plain) {
    return b < 248 ? b % plain : plain + b % (N - plain);
}

std::string expand_bytes(const uint8_t* data, size_t size) {
    std::string text;
    for (size_t n = 0; n < size; n++) text += BYTE_PIECES[pick(data[n], BYTE_PIECES, 10)];
    return text;
}

std::u16string expand_units(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t n = 0; n < size; n++) {
        const char16_t* piece = UNIT_PIECES[pick(data[n], UNIT_PIECES, 9)];
        text.append(piece, *piece ? std::char_traits<char16_t>::length(piece) : 1);
    }
    return text;
}

struct Outcome {
    int32_t count;
    int32_t result;
    std::vector<uint8_t> dst;
};

Outcome decode(const std::string& src, int32_t room) {
    auto len = static_cast<int32_t>(src.size());
    std::vector<char16_t> dst(static_cast<size_t>(room), 0xAAAA);
    Outcome o{bytes_to_wide(CODEPAGE_UTF8, 0, src.data(), len, nullptr, 0),
              bytes_to_wide(CODEPAGE_UTF8, 0, src.data(), len, dst.data(), room), {}};
    auto bytes = reinterpret_cast<const uint8_t*>(dst.data());
    o.dst.assign(bytes, bytes + dst.size() * 2);
    return o;
}

Outcome encode(const std::u16string& src, int32_t room) {
    auto len = static_cast<int32_t>(src.size());
    std::vector<uint8_t> dst(static_cast<size_t>(room), 0xAA);
    Outcome o{wide_to_bytes(CODEPAGE_UTF8, 0, src.data(), len, nullptr, 0, 0, 0),
              wide_to_bytes(CODEPAGE_UTF8, 0, src.data(), len, reinterpret_cast<char*>(dst.data()), room, 0, 0),
              std::move(dst)};
    return o;
}

template <typename Text>
void expect_levels_agree(Outcome (*convert)(const Text&, int32_t), const Text& src, int32_t small_room) {
    utf_kernels_select(KernelLevel::BASELINE);
    int32_t count = convert(src, 0).count;
    for (int32_t room : {count, small_room < count ? small_room : count}) {
        utf_kernels_select(KernelLevel::BASELINE);
        Outcome base = convert(src, room);
        for (KernelLevel level : {KernelLevel::AVX2, KernelLevel::AVX512}) {
            if (!utf_kernels_select(level)) continue;
            Outcome fast = convert(src, room);
            if (fast.count != base.count || fast.result != base.result || fast.dst != base.dst) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 14) return 0;
    int32_t small_room = data[0] * 4;
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::u16string units((size - 1) / 2, 0);
    if (!units.empty()) std::memcpy(units.data(), data + 1, units.size() * 2);

    expect_levels_agree(decode, bytes, small_room);
    expect_levels_agree(decode, expand_bytes(data + 1, size - 1), small_room);
    expect_levels_agree(encode, units, small_room);
    expect_levels_agree(encode, expand_units(data + 1, size - 1), small_room);
    return 0;
}
