// Kernels for processors with 512-bit vectors, byte and word masks and
// compression (the VBMI2 instructions). They decode or encode every lane of
// a chunk in the way its class calls for and then squeeze out the lanes
// that yield nothing, so mixed text costs about as much as plain ASCII.
//
// Only these functions carry the wider instruction sets; nothing here runs
// unless avx512_kernels_supported() said the processor has them.
#include "runtime/text/utf8_plain.h"
#include "runtime/text/utf_kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

// GCC 12 takes the vectors that its own intrinsic headers leave undefined on
// purpose (the unused lanes of a conversion) for uninitialised variables.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,popcnt,bmi,bmi2")))

namespace {

using utf8_plain::ByteClasses;
using utf8_plain::NOT_PLAIN;
using utf8_plain::plain_chunk;

AVX512_TARGET __m512i bytes_of(int x) { return _mm512_set1_epi8(static_cast<char>(x)); }
AVX512_TARGET __m512i words_of(int x) { return _mm512_set1_epi16(static_cast<short>(x)); }
AVX512_TARGET __m512i dwords_of(int x) { return _mm512_set1_epi32(x); }
AVX512_TARGET __m512i widen_bytes(const uint8_t* at) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
}
// The lowest n bits set (n up to 64).
AVX512_TARGET uint64_t first_bits(size_t n) { return _bzhi_u64(~uint64_t{0}, static_cast<unsigned>(n)); }

AVX512_TARGET ByteClasses classify(__m512i c) {
    uint64_t high = _mm512_movepi8_mask(c);
    uint64_t cont = _mm512_cmplt_epi8_mask(c, bytes_of(0xC0));  // signed: 0x80-0xBF are the lowest
    uint64_t is_f0 = _mm512_cmpeq_epi8_mask(c, bytes_of(0xF0));
    return {cont,
            high & ~cont,
            _mm512_cmpge_epu8_mask(c, bytes_of(0xE0)),
            _mm512_cmpge_epu8_mask(c, bytes_of(0xF0)),
            _mm512_cmpge_epu8_mask(c, bytes_of(0xF4)),
            is_f0 << 1 & _mm512_cmplt_epu8_mask(c, bytes_of(0x90))};
}

// Chunks advance by a fixed width whatever they hold, so that no load waits
// for the previous chunk's masks; a code point cut by a chunk's end is
// counted or stored whole with the chunk where it starts, and its remaining
// bytes are carried into the next. A kernel returns after them, at the start
// of a code point.
AVX512_TARGET void count_utf8(const uint8_t* src, size_t len, size_t& i, size_t& k) {
    constexpr unsigned WIDTH = 61;
    uint64_t carry = 0;
    while (len - i >= 64) {
        __m512i c = _mm512_loadu_si512(src + i);
        if (!carry && !_mm512_movepi8_mask(c)) {
            i += 64;
            k += 64;
            continue;
        }
        ByteClasses m = classify(c);
        uint64_t next = plain_chunk(m, WIDTH, carry);
        if (next == NOT_PLAIN) break;
        uint64_t inside = first_bits(WIDTH);
        // A four-byte form makes a surrogate pair: two units.
        k += static_cast<size_t>(_mm_popcnt_u64(~m.cont & inside) + _mm_popcnt_u64(m.from_f0 & inside));
        i += WIDTH;
        carry = next;
    }
    i += static_cast<size_t>(_mm_popcnt_u64(carry));
}

// The units of the code points that start in each lane of a 32-byte chunk
// at `at`. A four-byte form yields its high surrogate in the lead's lane and
// its low surrogate in the next lane.
AVX512_TARGET __m512i decode_lanes(const uint8_t* at, const ByteClasses& m) {
    __m512i a = widen_bytes(at);
    __m512i b = _mm512_and_si512(widen_bytes(at + 1), words_of(0x3F));
    __m512i d = _mm512_and_si512(widen_bytes(at + 2), words_of(0x3F));
    __m512i two = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(a, words_of(0x1F)), 6), b);
    // The shift by 12 drops the lead's marker bits out of the 16-bit lane.
    __m512i three = _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(a, 12), _mm512_slli_epi16(b, 6)), d);
    // High surrogate: 0xD800 + ((cp - 0x10000) >> 10) = 0xD7C0 + (cp >> 10).
    __m512i top = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(a, words_of(7)), 8),
                                  _mm512_or_si512(_mm512_slli_epi16(b, 2), _mm512_srli_epi16(d, 4)));
    __m512i high = _mm512_add_epi16(top, words_of(0xD7C0));
    // In the lane after the lead, b and d are the last two continuations.
    __m512i low = _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(b, words_of(0x0F)), 6), d);
    low = _mm512_or_si512(low, words_of(0xDC00));
    __m512i r = _mm512_mask_mov_epi16(a, static_cast<__mmask32>(m.lead), two);
    r = _mm512_mask_mov_epi16(r, static_cast<__mmask32>(m.from_e0), three);
    r = _mm512_mask_mov_epi16(r, static_cast<__mmask32>(m.from_f0), high);
    return _mm512_mask_mov_epi16(r, static_cast<__mmask32>(m.from_f0 << 1), low);
}

AVX512_TARGET void decode_utf8(const uint8_t* src, size_t len, char16_t* dst, size_t room, size_t& i, size_t& k) {
    // A four-byte form at byte 30 puts its low surrogate in the last lane.
    constexpr unsigned WIDTH = 31;
    uint64_t carry = 0;
    while (len - i >= 64) {
        __m512i window = _mm512_loadu_si512(src + i);
        uint64_t high = _mm512_movepi8_mask(window);
        if (!carry && !static_cast<uint32_t>(high)) {
            if (room - k < 32) break;
            _mm512_storeu_si512(dst + k, _mm512_cvtepu8_epi16(_mm512_castsi512_si256(window)));
            i += 32;
            k += 32;
            continue;
        }
        ByteClasses m = classify(window);
        uint64_t next = plain_chunk(m, WIDTH, carry);
        if (next == NOT_PLAIN) break;
        uint64_t inside = first_bits(WIDTH);
        auto units = static_cast<__mmask32>((~m.cont & inside) | (m.from_f0 & inside) << 1);
        auto n = static_cast<size_t>(_mm_popcnt_u32(units));
        if (room - k < n) break;
        __m512i packed = _mm512_maskz_compress_epi16(units, decode_lanes(src + i, m));
        _mm512_mask_storeu_epi16(dst + k, static_cast<__mmask32>(first_bits(n)), packed);
        i += WIDTH;
        k += n;
        carry = next;
    }
    i += static_cast<size_t>(_mm_popcnt_u64(carry));
}

// Bit j of each mask describes unit j of a chunk of UTF-16.
struct UnitClasses {
    uint32_t from_80;   // two bytes or more
    uint32_t from_800;  // three bytes (or a surrogate: two bytes of a pair)
    uint32_t high;      // high surrogates, each followed by a low one
    uint32_t take;      // units taken: a pair cut by the chunk's end waits
};

// False when a high surrogate is not followed by a low one; a low surrogate
// without a high one before it is encoded like any other unit.
AVX512_TARGET bool classify_units(uint32_t from_80, uint32_t from_800, uint32_t high, uint32_t low, unsigned width,
                                  UnitClasses& u) {
    uint32_t last = uint32_t{1} << (width - 1);
    u = {from_80, from_800, high, width};
    if (high & last) {
        u.take = width - 1;
        u.from_80 &= last - 1;
        u.from_800 &= last - 1;
        u.high &= last - 1;
    }
    return !(u.high << 1 & ~low);
}

AVX512_TARGET void count_utf16(const char16_t* src, size_t len, size_t& i, size_t& k) {
    while (len - i >= 32) {
        __m512i v = _mm512_loadu_si512(src + i);
        uint32_t from_80 = _mm512_cmpge_epu16_mask(v, words_of(0x80));
        if (!from_80) {
            i += 32;
            k += 32;
            continue;
        }
        __m512i top = _mm512_and_si512(v, words_of(0xFC00));
        UnitClasses u;
        if (!classify_units(from_80, _mm512_cmpge_epu16_mask(v, words_of(0x800)),
                            _mm512_cmpeq_epi16_mask(top, words_of(0xD800)),
                            _mm512_cmpeq_epi16_mask(top, words_of(0xDC00)), 32, u))
            return;
        // 1 + (>= 0x80) + (>= 0x800) per unit; a pair's two units make 4.
        k += u.take + static_cast<size_t>(_mm_popcnt_u32(u.from_80) + _mm_popcnt_u32(u.from_800)) -
             2 * static_cast<size_t>(_mm_popcnt_u32(u.high));
        i += u.take;
    }
}

// The UTF-8 bytes of each of 16 units, one 32-bit lane each (first byte
// lowest). A pair gives the first two bytes of its code point in the high
// surrogate's lane and the last two in the low surrogate's.
AVX512_TARGET __m512i encode_lanes(__m512i u, const UnitClasses& c) {
    __m512i six = dwords_of(0x3F);
    __m512i tail = _mm512_or_si512(dwords_of(0x80), _mm512_and_si512(u, six));
    __m512i middle = _mm512_or_si512(dwords_of(0x80), _mm512_and_si512(_mm512_srli_epi32(u, 6), six));
    __m512i two =
        _mm512_or_si512(_mm512_or_si512(dwords_of(0xC0), _mm512_srli_epi32(u, 6)), _mm512_slli_epi32(tail, 8));
    __m512i three = _mm512_or_si512(_mm512_or_si512(dwords_of(0xE0), _mm512_srli_epi32(u, 12)),
                                    _mm512_or_si512(_mm512_slli_epi32(middle, 8), _mm512_slli_epi32(tail, 16)));
    // (cp >> 10) of the pair's code point is (high & 0x3FF) + 0x40.
    __m512i plane = _mm512_add_epi32(_mm512_and_si512(u, dwords_of(0x3FF)), dwords_of(0x40));
    __m512i plane_middle = _mm512_or_si512(dwords_of(0x80), _mm512_and_si512(_mm512_srli_epi32(plane, 2), six));
    __m512i first = _mm512_or_si512(_mm512_or_si512(dwords_of(0xF0), _mm512_srli_epi32(plane, 8)),
                                    _mm512_slli_epi32(plane_middle, 8));
    // The low surrogate's lane needs the high one's two lowest bits.
    __m512i before = _mm512_alignr_epi32(u, _mm512_setzero_si512(), 15);
    __m512i third = _mm512_or_si512(_mm512_slli_epi32(_mm512_and_si512(before, dwords_of(3)), 4),
                                    _mm512_and_si512(_mm512_srli_epi32(u, 6), dwords_of(0x0F)));
    third = _mm512_or_si512(third, dwords_of(0x80));
    __m512i second = _mm512_or_si512(third, _mm512_slli_epi32(tail, 8));
    __m512i r = _mm512_mask_mov_epi32(u, static_cast<__mmask16>(c.from_80), two);
    r = _mm512_mask_mov_epi32(r, static_cast<__mmask16>(c.from_800), three);
    r = _mm512_mask_mov_epi32(r, static_cast<__mmask16>(c.high), first);
    return _mm512_mask_mov_epi32(r, static_cast<__mmask16>(c.high << 1), second);
}

// One bit per byte of encode_lanes' result that belongs to the output.
AVX512_TARGET uint64_t encoded_bytes(const UnitClasses& c) {
    __m512i r = _mm512_maskz_mov_epi32(static_cast<__mmask16>(_bzhi_u32(0xFFFF, c.take)), dwords_of(0xFF));
    r = _mm512_mask_mov_epi32(r, static_cast<__mmask16>(c.from_80), dwords_of(0xFFFF));
    r = _mm512_mask_mov_epi32(r, static_cast<__mmask16>(c.from_800), dwords_of(0xFFFFFF));
    r = _mm512_mask_mov_epi32(r, static_cast<__mmask16>(c.high | c.high << 1), dwords_of(0xFFFF));
    return _mm512_movepi8_mask(r);
}

// The UTF-8 form of 32 units below 0x800 (`wide` marks those from 0x80):
// one or two bytes in each 16-bit lane, squeezed together. *n gets the bytes.
AVX512_TARGET __m512i encode_short_units(__m512i v, uint32_t wide, size_t* n) {
    __m512i two = _mm512_or_si512(_mm512_or_si512(words_of(0x80C0), _mm512_srli_epi16(v, 6)),
                                  _mm512_slli_epi16(_mm512_and_si512(v, words_of(0x3F)), 8));
    // Every lane's first byte, and the second byte of the two-byte lanes.
    uint64_t bytes = _pdep_u64(wide, 0xAAAAAAAAAAAAAAAA) | 0x5555555555555555;
    *n = 32 + static_cast<size_t>(_mm_popcnt_u32(wide));
    return _mm512_maskz_compress_epi8(bytes, _mm512_mask_mov_epi16(v, wide, two));
}

AVX512_TARGET void encode_utf16(const char16_t* src, size_t len, uint8_t* dst, size_t room, size_t& i, size_t& k) {
    while (len - i >= 32) {
        __m512i v = _mm512_loadu_si512(src + i);
        uint32_t from_80 = _mm512_cmpge_epu16_mask(v, words_of(0x80));
        uint32_t from_800 = _mm512_cmpge_epu16_mask(v, words_of(0x800));
        if (!from_800) {
            size_t n = 32;
            __m512i packed = from_80 ? encode_short_units(v, from_80, &n) : v;
            if (room - k < n) return;
            if (from_80)
                _mm512_mask_storeu_epi8(dst + k, first_bits(n), packed);
            else
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + k), _mm512_cvtepi16_epi8(v));
            i += 32;
            k += n;
            continue;
        }
        // Units from 0x800 up take 16 at a time, three or four bytes each in
        // a 32-bit lane.
        __m512i top = _mm512_and_si512(v, words_of(0xFC00));
        UnitClasses c;
        if (!classify_units(from_80 & 0xFFFF, from_800 & 0xFFFF,
                            _mm512_cmpeq_epi16_mask(top, words_of(0xD800)) & 0xFFFF,
                            _mm512_cmpeq_epi16_mask(top, words_of(0xDC00)) & 0xFFFF, 16, c))
            return;
        uint64_t bytes = encoded_bytes(c);
        auto n = static_cast<size_t>(_mm_popcnt_u64(bytes));
        if (room - k < n) return;
        __m512i lanes = encode_lanes(_mm512_cvtepu16_epi32(_mm512_castsi512_si256(v)), c);
        _mm512_mask_storeu_epi8(dst + k, first_bits(n), _mm512_maskz_compress_epi8(bytes, lanes));
        i += c.take;
        k += n;
    }
}

}  // namespace

// Chunks span up to 64 units, so once a kernel has declined one, the exact
// rules take that many units before the kernels are tried again.
const UtfKernels AVX512_KERNELS = {count_utf8, decode_utf8, count_utf16, encode_utf16, 64};

bool avx512_kernels_supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("popcnt") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
}

#endif
