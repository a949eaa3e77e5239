// Small BMP files built in memory for the decoder tests, and a decode helper
// that checks the decoder stays inside the rows it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bmp_test {

using Bytes = std::vector<uint8_t>;

// Padding bytes carry this value so that a decoder which reads them as
// pixels shows it.
constexpr uint8_t PAD = 0xEE;

struct BmpLayout {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t header_size = 40;     // 12 writes the OS/2 header and 3-byte palette entries
    uint32_t colours_used = 0;
    std::vector<uint32_t> palette;  // 0xRRGGBB
    std::vector<uint32_t> masks;    // red, green, blue; written after a 40-byte header
    Bytes pixels;                   // stored pixel bytes, as the file holds them
};

// The stored rows, each padded to a multiple of 4 bytes with PAD.
Bytes padded_rows(const std::vector<Bytes>& rows);

// A complete BMP file for `layout`.
Bytes make_bmp(const BmpLayout& layout);

void put16(Bytes& b, size_t at, uint32_t v);
void put32(Bytes& b, size_t at, uint32_t v);

// What a decode through the chain gave.
struct Decoded {
    int32_t accepted = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    int32_t source_depth = 0;
    std::vector<uint32_t> pixels;  // 0xRRGGBB, top row first
    bool guards_intact = true;     // bytes past each row's width * 3 untouched
};

// Value the destination holds before decoding, per byte.
constexpr uint8_t FILL = 0x5A;
constexpr uint32_t UNSET = 0x5A5A5A;

// Tries `file` from memory and, when accepted, decodes into a destination
// prefilled with FILL whose pitch leaves guard bytes after each row.
Decoded decode(const Bytes& file);

// The pixels as rows of 0xRRGGBB for readable failure messages.
std::vector<std::vector<uint32_t>> as_rows(const Decoded& d);

}  // namespace bmp_test
