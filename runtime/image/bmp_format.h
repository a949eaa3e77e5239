// Inside the BMP decoder: the bounded view of the source bytes, the layout
// that the header parser derives from them, and the pixel stage that turns the
// layout into output rows. Not part of the layer's interface.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bmp {

// Every byte of the source is read through this view. Reads past the end
// yield 0 and `room` tells how much is left, so that truncated data decodes
// what is there and nothing beyond the source is ever touched.
struct Bytes {
    const uint8_t* data;
    size_t size;

    size_t room(uint64_t offset) const { return offset < size ? size - static_cast<size_t>(offset) : 0; }
    uint32_t u8(uint64_t offset) const { return offset < size ? data[offset] : 0; }
    uint32_t u16(uint64_t offset) const { return u8(offset) | u8(offset + 1) << 8; }
    uint32_t u32(uint64_t offset) const { return u16(offset) | u16(offset + 2) << 16; }
};

enum class Pixels { PALETTE1, PALETTE4, PALETTE8, RLE4, RLE8, MASKED16, RGB24, RGB32, MASKED32 };

// Output stays below this many bytes, so sizes fit 32-bit pitches and
// offsets computed in 64 bits cannot overflow.
constexpr uint64_t MAX_OUTPUT_BYTES = uint64_t{1} << 30;

struct Layout {
    Bytes bytes;
    int32_t width;
    int32_t height;         // positive; top_down tells the row order
    bool top_down;
    int32_t bits;
    Pixels kind;
    uint64_t pixel_offset;
    uint64_t stride;        // stored bytes per row, padding included
    uint64_t palette_offset;
    int32_t palette_entry;  // 3 under the OS/2 12-byte header, else 4
    int32_t palette_count;  // entries actually present before the pixels
    uint32_t masks[3];      // red, green, blue
};

// Fills `layout` and returns true when the bytes are a BMP image that the
// decoder can reproduce faithfully within MAX_OUTPUT_BYTES.
bool parse_layout(Bytes bytes, Layout* layout);

// Where the pixels go: row r (0 = top) starts at base + r * pitch.
struct Destination {
    uint8_t* base;
    int64_t pitch;
};

// Decodes every stored pixel the source holds into the destination.
void decode_pixels(const Layout& layout, const Destination& destination);

}  // namespace bmp
