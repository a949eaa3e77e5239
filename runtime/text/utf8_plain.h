// The rule every wide UTF-8 kernel uses to decide that a window of bytes is
// plain, that is, well-formed UTF-8 that the exact rules would decode the same
// way: scalar bit arithmetic on masks that each kernel fills with its own
// vector compares.
#pragma once

#include <cstdint>

namespace utf8_plain {

// Bit j of each mask describes byte j of a 64-byte window of UTF-8.
struct ByteClasses {
    uint64_t cont;     // 0x80-0xBF
    uint64_t lead;     // 0xC0 and up
    uint64_t from_e0;  // three- and four-byte leads
    uint64_t from_f0;  // four-byte leads
    uint64_t from_f4;  // may decode beyond U+10FFFF, or is no lead at all
    uint64_t f0_low;   // a byte below 0x90 after 0xF0: a four-byte form of a code point below U+10000
};

constexpr uint64_t NOT_PLAIN = ~uint64_t{0};

inline uint64_t low_bits(unsigned n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

// Checks the code points that start in the first `width` bytes of a window
// (width is at most 61, so the bytes they announce lie in the window too),
// given the bytes at the window's start that the previous chunk's last code
// point announced (`carry`): every byte a lead announces must be a
// continuation and every continuation must be announced. Returns the bytes
// past the chunk that its own last code point announces, or NOT_PLAIN.
inline uint64_t plain_chunk(const ByteClasses& m, unsigned width, uint64_t carry) {
    uint64_t inside = low_bits(width);
    uint64_t announced = (m.lead & inside) << 1 | (m.from_e0 & inside) << 2 | (m.from_f0 & inside) << 3 | carry;
    uint64_t odd = (announced & ~m.cont) | (m.cont & inside & ~announced);
    odd |= (m.from_f4 & inside) | (m.f0_low & inside << 1);
    return odd ? NOT_PLAIN : announced >> width;
}

}  // namespace utf8_plain
