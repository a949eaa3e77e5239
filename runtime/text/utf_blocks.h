// Sixteen-unit blocks for the converters' fast paths.
//
// A block helper takes a block only when it can prove that the exact
// per-code-point rules would treat it plainly; otherwise it reports that it
// did nothing and the caller applies those rules. So the fast paths change
// only the speed of the converters, never what they produce.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

constexpr size_t BLOCK = 16;

// Bit i set for each byte i >= 0x80 of the 16 bytes at src.
inline uint32_t high_bytes_mask(const uint8_t* src) {
#if defined(__SSE2__)
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))));
#else
    uint32_t mask = 0;
    for (size_t i = 0; i < BLOCK; i++) mask |= uint32_t{src[i] >> 7} << i;
    return mask;
#endif
}

// Widens 16 ASCII bytes at src to 16 units at dst.
inline void widen_ascii_block(const uint8_t* src, char16_t* dst) {
#if defined(__SSE2__)
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(bytes, zero));
#else
    for (size_t i = 0; i < BLOCK; i++) dst[i] = src[i];
#endif
}

// Bit i set for each unit i >= 0x80 of the 16 units at src.
inline uint32_t non_ascii_units_mask(const char16_t* src) {
#if defined(__SSE2__)
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
    __m128i limit = _mm_set1_epi16(0x7F);
    __m128i zero = _mm_setzero_si128();
    // A unit above 0x7F leaves something after a saturating subtraction.
    __m128i ascii = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_subs_epu16(low, limit), zero),
                                    _mm_cmpeq_epi16(_mm_subs_epu16(high, limit), zero));
    return ~static_cast<uint32_t>(_mm_movemask_epi8(ascii)) & 0xFFFF;
#else
    uint32_t mask = 0;
    for (size_t i = 0; i < BLOCK; i++) mask |= uint32_t{src[i] >= 0x80} << i;
    return mask;
#endif
}

// Narrows 16 ASCII units at src to 16 bytes at dst.
inline void narrow_ascii_block(const char16_t* src, uint8_t* dst) {
#if defined(__SSE2__)
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(low, high));
#else
    for (size_t i = 0; i < BLOCK; i++) dst[i] = static_cast<uint8_t>(src[i]);
#endif
}

// Set bits of a 16-bit mask, without relying on a population-count
// instruction that the baseline x86-64 lacks.
inline int bit_count(uint32_t x) {
    x = x - ((x >> 1) & 0x5555);
    x = (x & 0x3333) + ((x >> 2) & 0x3333);
    x = (x + (x >> 4)) & 0x0F0F;
    return static_cast<int>((x + (x >> 8)) & 0x1F);
}

// Units that the UTF-8 sequences starting in the 16 bytes at src decode to,
// taking only whole sequences that end inside the block; *used gets the
// bytes they span. -1 when the block holds anything the exact rules treat
// specially (a stray continuation, a cut sequence, a lead byte from 0xF4 up,
// a four-byte form below U+10000).
inline int utf8_block_units(const uint8_t* src, uint32_t* used) {
#if defined(__SSE2__)
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    auto mask_of = [](__m128i m) { return static_cast<uint32_t>(_mm_movemask_epi8(m)); };
    uint32_t high = mask_of(b);
    if (!high) {
        *used = 16;
        return 16;
    }
    // Signed compares see 0x80 as -128, 0xC0 as -64, 0xE0 as -32 and 0xF0 as
    // -16; ASCII bytes compare above all of them, hence the masks with high.
    uint32_t cont = mask_of(_mm_cmplt_epi8(b, _mm_set1_epi8(-64)));
    uint32_t from_e0 = mask_of(_mm_cmpgt_epi8(b, _mm_set1_epi8(-33))) & high;
    uint32_t from_f0 = mask_of(_mm_cmpgt_epi8(b, _mm_set1_epi8(-17))) & high;
    uint32_t from_f4 = mask_of(_mm_cmpgt_epi8(b, _mm_set1_epi8(-13))) & high;
    uint32_t is_f0 = mask_of(_mm_cmpeq_epi8(b, _mm_set1_epi8(-16)));
    uint32_t from_90 = mask_of(_mm_cmpgt_epi8(b, _mm_set1_epi8(-113))) & high;
    if (from_f4) return -1;
    uint32_t lead = high & ~cont;
    // The first lead whose sequence would reach past the block ends it.
    uint32_t spill = (lead & 0x8000) | (from_e0 & 0xC000) | (from_f0 & 0xE000);
    uint32_t take = spill ? static_cast<uint32_t>(__builtin_ctz(spill)) : 16;
    uint32_t keep = (1u << take) - 1;
    lead &= keep;
    uint32_t expected = lead << 1 | (from_e0 & keep) << 2 | (from_f0 & keep) << 3;
    if (expected != (cont & keep)) return -1;
    if ((is_f0 & keep) << 1 & ~from_90) return -1;
    *used = take;
    return static_cast<int>(take) - bit_count(cont & keep) + bit_count(from_f0 & keep);
#else
    (void)src;
    (void)used;
    return -1;
#endif
}

// UTF-8 bytes that the 16 units at src encode to, taking whole surrogate
// pairs only; *used gets the units taken. -1 when the block holds a
// surrogate that is not part of a pair.
inline int utf16_block_bytes(const char16_t* src, uint32_t* used) {
#if defined(__SSE2__)
    if (!non_ascii_units_mask(src)) {
        *used = 16;
        return 16;
    }
    __m128i zero = _mm_setzero_si128();
    __m128i counts[2];
    uint32_t high_mask = 0, low_mask = 0;
    for (int half = 0; half < 2; half++) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + half * 8));
        // Bytes per unit: 3, less one below 0x800, less one more below 0x80,
        // less one for a surrogate (a pair makes four bytes, not six).
        __m128i below_80 = _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(0x7F)), zero);
        __m128i below_800 = _mm_cmpeq_epi16(_mm_subs_epu16(v, _mm_set1_epi16(0x7FF)), zero);
        __m128i top = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFC00)));
        __m128i hi = _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800)));
        __m128i lo = _mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xDC00)));
        __m128i surrogate = _mm_or_si128(hi, lo);
        counts[half] = _mm_add_epi16(_mm_add_epi16(_mm_set1_epi16(3), below_80), _mm_add_epi16(below_800, surrogate));
        // One bit per unit: pack the 16-bit lane masks down to bytes.
        high_mask |= static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(hi, zero))) << (half * 8);
        low_mask |= static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(lo, zero))) << (half * 8);
    }
    __m128i sums = _mm_sad_epu8(_mm_packus_epi16(counts[0], counts[1]), zero);
    int bytes = _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
    uint32_t take = 16;
    if (high_mask & 0x8000) {  // the pair continues in the next block
        take = 15;
        high_mask &= 0x7FFF;
        bytes -= 2;
    }
    if (low_mask != high_mask << 1) return -1;
    *used = take;
    return bytes;
#else
    (void)src;
    (void)used;
    return -1;
#endif
}
