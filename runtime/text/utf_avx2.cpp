// Kernels for processors with 256-bit integer vectors (AVX2) but without the
// 512-bit compression instructions. Like the 512-bit kernels they decode or
// encode every lane of a chunk the way its class calls for; the lanes that
// yield nothing are squeezed out with byte shuffles looked up by the mask of
// lanes to keep, eight 16-bit lanes or four 32-bit lanes at a time.
//
// The shuffled stores are whole 16-byte stores, so each one writes a few
// lanes of rubbish past what it keeps. The next store covers them; the last
// one's are put back as they were, because the converters leave everything
// past their result untouched. A kernel therefore asks for some room beyond
// what a chunk yields and leaves the destination's last few units to the
// exact rules.
//
// Only these functions carry the wider instruction set; nothing here runs
// unless avx2_kernels_supported() said the processor has it.
#include "runtime/text/utf8_plain.h"
#include "runtime/text/utf_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <array>

#define AVX2_TARGET __attribute__((target("avx2,popcnt")))

namespace {

using utf8_plain::ByteClasses;
using utf8_plain::NOT_PLAIN;
using utf8_plain::plain_chunk;

// A shuffle that gathers the kept bytes of one 16-byte lane group to its
// front, and how many bytes it keeps.
struct Squeeze {
    alignas(16) uint8_t order[16];
    uint32_t kept;
};
using SqueezeTable = std::array<Squeeze, 256>;

// Index: bit j keeps the 16-bit lane j (decoding).
constexpr SqueezeTable make_unit_table() {
    SqueezeTable t{};
    for (unsigned m = 0; m < 256; m++) {
        unsigned n = 0;
        for (unsigned j = 0; j < 8; j++)
            if (m >> j & 1) {
                t[m].order[n++] = static_cast<uint8_t>(2 * j);
                t[m].order[n++] = static_cast<uint8_t>(2 * j + 1);
            }
        t[m].kept = n;
        while (n < 16) t[m].order[n++] = 0x80;
    }
    return t;
}

// Index: bit j says the 16-bit lane j holds two bytes, not one (encoding
// units below 0x800).
constexpr SqueezeTable make_short_table() {
    SqueezeTable t{};
    for (unsigned m = 0; m < 256; m++) {
        unsigned n = 0;
        for (unsigned j = 0; j < 8; j++) {
            t[m].order[n++] = static_cast<uint8_t>(2 * j);
            if (m >> j & 1) t[m].order[n++] = static_cast<uint8_t>(2 * j + 1);
        }
        t[m].kept = n;
        while (n < 16) t[m].order[n++] = 0x80;
    }
    return t;
}

// Index: bits 2j and 2j+1 give the bytes (0 to 3) that the 32-bit lane j
// holds (encoding any unit).
constexpr SqueezeTable make_long_table() {
    SqueezeTable t{};
    for (unsigned m = 0; m < 256; m++) {
        unsigned n = 0;
        for (unsigned j = 0; j < 4; j++)
            for (unsigned b = 0; b < (m >> (2 * j) & 3); b++) t[m].order[n++] = static_cast<uint8_t>(4 * j + b);
        t[m].kept = n;
        while (n < 16) t[m].order[n++] = 0x80;
    }
    return t;
}

constexpr SqueezeTable UNIT_TABLE = make_unit_table();
constexpr SqueezeTable SHORT_TABLE = make_short_table();
constexpr SqueezeTable LONG_TABLE = make_long_table();

// Stores the kept bytes of `lanes` at `at` and returns how many there were.
AVX2_TARGET size_t squeeze(uint8_t* at, __m128i lanes, const Squeeze& s) {
    __m128i order = _mm_load_si128(reinterpret_cast<const __m128i*>(s.order));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_shuffle_epi8(lanes, order));
    return s.kept;
}

AVX2_TARGET __m256i bytes_of(int x) { return _mm256_set1_epi8(static_cast<char>(x)); }
AVX2_TARGET __m256i words_of(int x) { return _mm256_set1_epi16(static_cast<short>(x)); }
AVX2_TARGET __m256i dwords_of(int x) { return _mm256_set1_epi32(x); }
AVX2_TARGET uint32_t mask_of(__m256i m) { return static_cast<uint32_t>(_mm256_movemask_epi8(m)); }
AVX2_TARGET __m256i load(const void* at) { return _mm256_loadu_si256(static_cast<const __m256i*>(at)); }
AVX2_TARGET __m256i widen_bytes(const uint8_t* at) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
}
AVX2_TARGET __m128i low_half(__m256i v) { return _mm256_castsi256_si128(v); }
AVX2_TARGET __m128i high_half(__m256i v) { return _mm256_extracti128_si256(v, 1); }

// Signed compares see 0x80 as -128, 0xC0 as -64, 0xE0 as -32 and 0xF0 as
// -16; ASCII bytes compare above all of them, hence the masks with high.
// For one half of the window; f0_low still lacks the 0xF0 before it.
AVX2_TARGET ByteClasses classify_half(__m256i c) {
    uint32_t high = mask_of(c);
    uint32_t cont = mask_of(_mm256_cmpgt_epi8(bytes_of(0xC0), c));
    return {cont,
            high & ~cont,
            mask_of(_mm256_cmpgt_epi8(c, bytes_of(0xDF))) & high,
            mask_of(_mm256_cmpgt_epi8(c, bytes_of(0xEF))) & high,
            mask_of(_mm256_cmpgt_epi8(c, bytes_of(0xF3))) & high,
            mask_of(_mm256_cmpgt_epi8(bytes_of(0x90), c))};
}

AVX2_TARGET ByteClasses classify(__m256i first, __m256i second) {
    ByteClasses a = classify_half(first), b = classify_half(second);
    auto join = [](uint32_t lo, uint32_t hi) { return uint64_t{lo} | uint64_t{hi} << 32; };
    uint64_t is_f0 = join(mask_of(_mm256_cmpeq_epi8(first, bytes_of(0xF0))),
                          mask_of(_mm256_cmpeq_epi8(second, bytes_of(0xF0))));
    return {join(static_cast<uint32_t>(a.cont), static_cast<uint32_t>(b.cont)),
            join(static_cast<uint32_t>(a.lead), static_cast<uint32_t>(b.lead)),
            join(static_cast<uint32_t>(a.from_e0), static_cast<uint32_t>(b.from_e0)),
            join(static_cast<uint32_t>(a.from_f0), static_cast<uint32_t>(b.from_f0)),
            join(static_cast<uint32_t>(a.from_f4), static_cast<uint32_t>(b.from_f4)),
            is_f0 << 1 & join(static_cast<uint32_t>(a.f0_low), static_cast<uint32_t>(b.f0_low))};
}

// Chunks advance by a fixed width whatever they hold; a code point cut by a
// chunk's end is counted or stored whole with the chunk where it starts, and
// its remaining bytes are carried into the next. A kernel returns after
// them, at the start of a code point.
AVX2_TARGET void count_utf8(const uint8_t* src, size_t len, size_t& i, size_t& k) {
    constexpr unsigned WIDTH = 61;
    uint64_t carry = 0;
    while (len - i >= 64) {
        __m256i first = load(src + i), second = load(src + i + 32);
        if (!carry && !mask_of(_mm256_or_si256(first, second))) {
            i += 64;
            k += 64;
            continue;
        }
        ByteClasses m = classify(first, second);
        uint64_t next = plain_chunk(m, WIDTH, carry);
        if (next == NOT_PLAIN) break;
        uint64_t inside = utf8_plain::low_bits(WIDTH);
        // A four-byte form makes a surrogate pair: two units.
        k += static_cast<size_t>(_mm_popcnt_u64(~m.cont & inside) + _mm_popcnt_u64(m.from_f0 & inside));
        i += WIDTH;
        carry = next;
    }
    i += static_cast<size_t>(_mm_popcnt_u64(carry));
}

// The units of the code points that start in each of the 16 lanes at `at`.
// A four-byte form yields its high surrogate in the lead's lane and its low
// surrogate in the next lane; every continuation lane gets the low-surrogate
// form, which is kept only where it is one.
AVX2_TARGET __m256i decode_lanes(const uint8_t* at) {
    __m256i a = widen_bytes(at);
    __m256i b = _mm256_and_si256(widen_bytes(at + 1), words_of(0x3F));
    __m256i d = _mm256_and_si256(widen_bytes(at + 2), words_of(0x3F));
    __m256i two = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(a, words_of(0x1F)), 6), b);
    // The shift by 12 drops the lead's marker bits out of the 16-bit lane.
    __m256i three = _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(a, 12), _mm256_slli_epi16(b, 6)), d);
    // High surrogate: 0xD800 + ((cp - 0x10000) >> 10) = 0xD7C0 + (cp >> 10).
    __m256i top = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(a, words_of(7)), 8),
                                  _mm256_or_si256(_mm256_slli_epi16(b, 2), _mm256_srli_epi16(d, 4)));
    __m256i high = _mm256_add_epi16(top, words_of(0xD7C0));
    // In the lane after the lead, b and d are the last two continuations.
    __m256i low = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b, words_of(0x0F)), 6), d);
    __m256i r = _mm256_or_si256(low, words_of(0xDC00));
    r = _mm256_blendv_epi8(r, a, _mm256_cmpgt_epi16(words_of(0x80), a));
    r = _mm256_blendv_epi8(r, two, _mm256_cmpgt_epi16(a, words_of(0xBF)));
    r = _mm256_blendv_epi8(r, three, _mm256_cmpgt_epi16(a, words_of(0xDF)));
    return _mm256_blendv_epi8(r, high, _mm256_cmpgt_epi16(a, words_of(0xEF)));
}

// Stores the kept lanes (bit j of `keep` for lane j) of 16 units at `at`;
// returns the bytes stored.
AVX2_TARGET size_t squeeze_units(uint8_t* at, __m256i lanes, uint32_t keep) {
    size_t n = squeeze(at, low_half(lanes), UNIT_TABLE[keep & 0xFF]);
    return n + squeeze(at + n, high_half(lanes), UNIT_TABLE[keep >> 8 & 0xFF]);
}

AVX2_TARGET void decode_utf8(const uint8_t* src, size_t len, char16_t* dst, size_t room, size_t& i, size_t& k) {
    // A four-byte form at byte 30 puts its low surrogate in the last lane.
    constexpr unsigned WIDTH = 31;
    // The squeezed stores reach up to 8 units past what a chunk yields.
    constexpr size_t ROOM = 32 + 8;
    uint64_t carry = 0;
    while (len - i >= 64 && room - k >= ROOM) {
        __m256i first = load(src + i), second = load(src + i + 32);
        if (!carry && !mask_of(first)) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + k), _mm256_cvtepu8_epi16(low_half(first)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + k + 16), _mm256_cvtepu8_epi16(high_half(first)));
            i += 32;
            k += 32;
            continue;
        }
        ByteClasses m = classify(first, second);
        uint64_t next = plain_chunk(m, WIDTH, carry);
        if (next == NOT_PLAIN) break;
        uint64_t inside = utf8_plain::low_bits(WIDTH);
        auto units = static_cast<uint32_t>((~m.cont & inside) | (m.from_f0 & inside) << 1);
        auto n = static_cast<size_t>(_mm_popcnt_u32(units));
        auto out = reinterpret_cast<uint8_t*>(dst + k);
        __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + k + n));
        size_t stored = squeeze_units(out, decode_lanes(src + i), units);
        squeeze_units(out + stored, decode_lanes(src + i + 16), units >> 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k + n), after);
        i += WIDTH;
        k += n;
        carry = next;
    }
    i += static_cast<size_t>(_mm_popcnt_u64(carry));
}

// Bit pairs 2j, 2j+1 of each mask describe unit j of a 16-unit chunk (as
// the byte masks of 16-bit lanes come).
struct UnitClasses {
    uint32_t from_80;   // two bytes or more
    uint32_t from_800;  // three bytes (or a surrogate: two bytes of a pair)
    uint32_t high;      // high surrogates, each followed by a low one
    uint32_t take;      // units taken: a pair cut by the chunk's end waits
};

AVX2_TARGET __m256i at_least(__m256i v, int x) { return _mm256_cmpeq_epi16(_mm256_max_epu16(v, words_of(x)), v); }

// False when a high surrogate is not followed by a low one; a low surrogate
// without a high one before it is encoded like any other unit.
AVX2_TARGET bool classify_units(__m256i v, uint32_t from_80, uint32_t from_800, UnitClasses& u) {
    __m256i top = _mm256_and_si256(v, words_of(0xFC00));
    uint32_t high = mask_of(_mm256_cmpeq_epi16(top, words_of(0xD800)));
    uint32_t low = mask_of(_mm256_cmpeq_epi16(top, words_of(0xDC00)));
    u = {from_80, from_800, high, 16};
    if (high >> 30) {
        u.take = 15;
        u.from_80 &= 0x3FFFFFFF;
        u.from_800 &= 0x3FFFFFFF;
        u.high &= 0x3FFFFFFF;
    }
    return !(u.high << 2 & ~low);
}

// Bytes the units described by `u` encode to.
AVX2_TARGET size_t encoded_size(const UnitClasses& u) {
    return u.take + static_cast<size_t>((_mm_popcnt_u32(u.from_80) + _mm_popcnt_u32(u.from_800)) / 2) -
           static_cast<size_t>(_mm_popcnt_u32(u.high));
}

AVX2_TARGET void count_utf16(const char16_t* src, size_t len, size_t& i, size_t& k) {
    while (len - i >= 16) {
        __m256i v = load(src + i);
        uint32_t from_80 = mask_of(at_least(v, 0x80));
        if (!from_80) {
            i += 16;
            k += 16;
            continue;
        }
        UnitClasses u;
        if (!classify_units(v, from_80, mask_of(at_least(v, 0x800)), u)) return;
        k += encoded_size(u);
        i += u.take;
    }
}

// The UTF-8 bytes of 8 units `u` (the unit before each in `before`), one
// 32-bit lane each, first byte lowest. A pair gives the first two bytes of
// its code point in the high surrogate's lane and the last two in the low
// surrogate's.
AVX2_TARGET __m256i encode_lanes(__m256i u, __m256i before) {
    __m256i six = dwords_of(0x3F);
    __m256i tail = _mm256_or_si256(dwords_of(0x80), _mm256_and_si256(u, six));
    __m256i middle = _mm256_or_si256(dwords_of(0x80), _mm256_and_si256(_mm256_srli_epi32(u, 6), six));
    __m256i two =
        _mm256_or_si256(_mm256_or_si256(dwords_of(0xC0), _mm256_srli_epi32(u, 6)), _mm256_slli_epi32(tail, 8));
    __m256i three = _mm256_or_si256(_mm256_or_si256(dwords_of(0xE0), _mm256_srli_epi32(u, 12)),
                                    _mm256_or_si256(_mm256_slli_epi32(middle, 8), _mm256_slli_epi32(tail, 16)));
    // (cp >> 10) of the pair's code point is (high & 0x3FF) + 0x40.
    __m256i plane = _mm256_add_epi32(_mm256_and_si256(u, dwords_of(0x3FF)), dwords_of(0x40));
    __m256i plane_middle = _mm256_or_si256(dwords_of(0x80), _mm256_and_si256(_mm256_srli_epi32(plane, 2), six));
    __m256i first = _mm256_or_si256(_mm256_or_si256(dwords_of(0xF0), _mm256_srli_epi32(plane, 8)),
                                    _mm256_slli_epi32(plane_middle, 8));
    // The low surrogate's lane needs the high one's two lowest bits.
    __m256i third = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(before, dwords_of(3)), 4),
                                    _mm256_and_si256(_mm256_srli_epi32(u, 6), dwords_of(0x0F)));
    __m256i second = _mm256_or_si256(_mm256_or_si256(third, dwords_of(0x80)), _mm256_slli_epi32(tail, 8));
    __m256i top = _mm256_and_si256(u, dwords_of(0xFC00));
    __m256i is_high = _mm256_cmpeq_epi32(top, dwords_of(0xD800));
    __m256i pair_low = _mm256_and_si256(_mm256_cmpeq_epi32(top, dwords_of(0xDC00)),
                                        _mm256_cmpeq_epi32(_mm256_and_si256(before, dwords_of(0xFC00)), dwords_of(0xD800)));
    __m256i r = _mm256_blendv_epi8(u, two, _mm256_cmpgt_epi32(u, dwords_of(0x7F)));
    r = _mm256_blendv_epi8(r, three, _mm256_cmpgt_epi32(u, dwords_of(0x7FF)));
    r = _mm256_blendv_epi8(r, first, is_high);
    return _mm256_blendv_epi8(r, second, pair_low);
}

// Encodes 16 units below 0x800 (`wide` has bit j for unit j from 0x80), one
// or two bytes in each 16-bit lane; returns the bytes stored.
AVX2_TARGET size_t encode_short_units(__m256i v, __m256i wide, uint8_t* at) {
    __m256i two = _mm256_or_si256(_mm256_or_si256(words_of(0x80C0), _mm256_srli_epi16(v, 6)),
                                  _mm256_slli_epi16(_mm256_and_si256(v, words_of(0x3F)), 8));
    __m256i lanes = _mm256_blendv_epi8(v, two, wide);
    auto bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low_half(wide), high_half(wide))));
    size_t n = squeeze(at, low_half(lanes), SHORT_TABLE[bits & 0xFF]);
    return n + squeeze(at + n, high_half(lanes), SHORT_TABLE[bits >> 8]);
}

// Encodes 16 units of any kind, four 32-bit lanes at a time; returns the
// bytes stored.
AVX2_TARGET size_t encode_long_units(__m256i v, const UnitClasses& u, uint8_t* at) {
    // Each unit before its own: shift the chunk up by one lane.
    __m256i before = _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, v, 0x08), 14);
    // Bytes per unit in bit pairs: 1 when taken, one more from 0x80, one
    // more from 0x800 unless it is half of a pair.
    constexpr uint32_t EVEN = 0x55555555;
    uint32_t taken = u.take == 16 ? EVEN : EVEN >> 2;
    uint32_t pair = u.high | u.high << 2;
    uint32_t sizes = taken + (u.from_80 & EVEN) + (u.from_800 & ~pair & EVEN);
    size_t n = 0;
    for (int half = 0; half < 2; half++) {
        __m128i units = half ? high_half(v) : low_half(v);
        __m128i units_before = half ? high_half(before) : low_half(before);
        __m256i lanes = encode_lanes(_mm256_cvtepu16_epi32(units), _mm256_cvtepu16_epi32(units_before));
        uint32_t key = sizes >> (16 * half);
        n += squeeze(at + n, low_half(lanes), LONG_TABLE[key & 0xFF]);
        n += squeeze(at + n, high_half(lanes), LONG_TABLE[key >> 8 & 0xFF]);
    }
    return n;
}

AVX2_TARGET void encode_utf16(const char16_t* src, size_t len, uint8_t* dst, size_t room, size_t& i, size_t& k) {
    // At most 48 bytes per chunk, and the squeezed stores reach 16 past them.
    constexpr size_t ROOM = 48 + 16;
    while (len - i >= 16 && room - k >= ROOM) {
        __m256i v = load(src + i);
        __m256i wide = at_least(v, 0x80);
        uint32_t from_80 = mask_of(wide);
        if (!from_80) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k), _mm_packus_epi16(low_half(v), high_half(v)));
            i += 16;
            k += 16;
            continue;
        }
        UnitClasses u;
        if (!classify_units(v, from_80, mask_of(at_least(v, 0x800)), u)) return;
        size_t n = encoded_size(u);
        __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + k + n));
        if (u.from_800 || u.take < 16)
            encode_long_units(v, u, dst + k);
        else
            encode_short_units(v, wide, dst + k);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + k + n), after);
        i += u.take;
        k += n;
    }
}

}  // namespace

// Chunks span up to 64 units, so once a kernel has declined one, the exact
// rules take that many units before the kernels are tried again.
const UtfKernels AVX2_KERNELS = {count_utf8, decode_utf8, count_utf16, encode_utf16, 64};

bool avx2_kernels_supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}

#endif
