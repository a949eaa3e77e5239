// The BMP decoder's pixel stage: stored rows or run-length codes in, rows of
// red, green, blue out.
//
// Colours are prepared once per decode as packed 0x00BBGGRR words: the
// palette (zero-filled, so an index past the real entries is black) and, for
// 16-bit pixels, two 256-entry tables for the low and high byte. A channel is
// a mask followed by one shift, and shifts distribute over the disjoint bits
// of the two bytes, so the two halves can simply be or-ed together. 4- and
// 1-bit rows go a whole stored byte at a time through tables of the two or
// eight output pixels each byte value gives.
#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "runtime/image/bmp_format.h"

namespace bmp {
namespace {

struct Channel {
    uint32_t mask;
    int32_t shift;  // right shift when positive, left shift when negative
};

// Keeps a channel's top 8 bits; a narrower channel is widened by shifting
// left, so a 5-bit 31 becomes 248.
Channel channel_of(uint32_t mask) {
    if (!mask) return {0, 0};
    int32_t low = __builtin_ctz(mask);
    int32_t width = __builtin_popcount(mask);
    return {mask, low + width - 8};
}

uint32_t channel_value(const Channel& c, uint32_t pixel) {
    uint32_t v = pixel & c.mask;
    return c.shift >= 0 ? v >> c.shift : v << -c.shift;
}

struct Colours {
    uint32_t palette[256];
    uint32_t low[256];   // 16-bit pixels: colour bits of the low byte
    uint32_t high[256];  // and of the high byte
    Channel channels[3];
    uint64_t pairs[256];       // 4-bit pixels: the two output pixels of a byte
    uint8_t octets[256][24];   // 1-bit pixels: the eight output pixels of a byte
};

uint32_t pack(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

inline void put(uint8_t* out, uint32_t colour) {
    out[0] = static_cast<uint8_t>(colour);
    out[1] = static_cast<uint8_t>(colour >> 8);
    out[2] = static_cast<uint8_t>(colour >> 16);
}

uint32_t masked_colour(const Colours& c, uint32_t pixel) {
    return pack(channel_value(c.channels[0], pixel), channel_value(c.channels[1], pixel),
                channel_value(c.channels[2], pixel));
}

void prepare_colours(const Layout& l, Colours* c) {
    std::memset(c->palette, 0, sizeof c->palette);
    for (int32_t i = 0; i < l.palette_count; i++) {
        uint64_t at = l.palette_offset + uint64_t(i) * l.palette_entry;
        c->palette[i] = pack(l.bytes.u8(at + 2), l.bytes.u8(at + 1), l.bytes.u8(at));
    }
    for (int i = 0; i < 3; i++) c->channels[i] = channel_of(l.masks[i]);
    for (uint32_t v = 0; v < 256; v++) {
        if (l.kind == Pixels::MASKED16) {
            c->low[v] = masked_colour(*c, v);
            c->high[v] = masked_colour(*c, v << 8);
        } else if (l.kind == Pixels::PALETTE4) {
            c->pairs[v] = c->palette[v >> 4] | uint64_t(c->palette[v & 15]) << 24;
        } else if (l.kind == Pixels::PALETTE1) {
            for (int bit = 0; bit < 8; bit++) put(c->octets[v] + 3 * bit, c->palette[(v >> (7 - bit)) & 1]);
        }
    }
}

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Writes `count` pixels, colour_at(x) giving each. All but the last are
// stored as one 4-byte word whose spare byte the next pixel overwrites, which
// is the cheapest store; the last gets exactly 3 bytes so that nothing past
// the row is touched.
template <typename ColourAt>
inline void emit(uint8_t* out, int32_t count, ColourAt colour_at) {
    static_assert(std::endian::native == std::endian::little, "packed colours are stored little-endian");
    int32_t x = 0;
    for (; x + 1 < count; x++) {
        uint32_t colour = colour_at(x);
        std::memcpy(out + 3 * x, &colour, 4);
    }
    if (count > 0) put(out + 3 * x, colour_at(x));
}

// Blue, green, red in the low three bytes of a little-endian word become
// red, green, blue.
inline uint32_t from_bgr(uint32_t word) { return __builtin_bswap32(word) >> 8; }

// Row converters: `count` pixels from a stored row whose bytes all exist.
using RowConverter = void (*)(const Colours& c, const uint8_t* in, uint8_t* out, int32_t count);

// Whole bytes go through the byte tables; the pixels of a last partial
// byte one at a time.
void row_palette1(const Colours& c, const uint8_t* in, uint8_t* out, int32_t count) {
    int32_t bytes = count / 8;
    for (int32_t i = 0; i < bytes; i++) std::memcpy(out + 24 * i, c.octets[in[i]], 24);
    int32_t done = 8 * bytes;
    emit(out + 3 * done, count - done, [&](int32_t x) { return c.palette[(in[bytes] >> (7 - x)) & 1]; });
}

void row_palette4(const Colours& c, const uint8_t* in, uint8_t* out, int32_t count) {
    // An 8-byte store of a pair spills 2 bytes, so the last pair of the row
    // is left to the pixel loop.
    int32_t pairs = std::max(0, (count - 1) / 2);
    for (int32_t i = 0; i < pairs; i++) std::memcpy(out + 6 * i, &c.pairs[in[i]], 8);
    int32_t done = 2 * pairs;
    emit(out + 3 * done, count - done,
         [&](int32_t x) { return c.palette[(in[(done + x) >> 1] >> ((~(done + x) & 1) * 4)) & 15]; });
}

void row_palette8(const Colours& c, const uint8_t* in, uint8_t* out, int32_t count) {
    emit(out, count, [&](int32_t x) { return c.palette[in[x]]; });
}

void row_masked16(const Colours& c, const uint8_t* in, uint8_t* out, int32_t count) {
    emit(out, count, [&](int32_t x) { return c.low[in[2 * x]] | c.high[in[2 * x + 1]]; });
}

void row_rgb24(const Colours&, const uint8_t* in, uint8_t* out, int32_t count) {
    // A 4-byte load reaches one byte into the next pixel, so the last
    // pixel, whose next byte may lie past the data, is read bytewise.
    int32_t loads = count - 1;
    emit(out, count, [&](int32_t x) {
        return x < loads ? from_bgr(load32(in + 3 * x)) : uint32_t(in[3 * x + 2] | in[3 * x + 1] << 8 | in[3 * x] << 16);
    });
}

void row_rgb32(const Colours&, const uint8_t* in, uint8_t* out, int32_t count) {
    emit(out, count, [&](int32_t x) { return from_bgr(load32(in + 4 * x)); });
}

void row_masked32(const Colours& c, const uint8_t* in, uint8_t* out, int32_t count) {
    emit(out, count, [&](int32_t x) { return masked_colour(c, load32(in + 4 * x)); });
}

struct RowKind {
    Pixels kind;
    RowConverter convert;
};
constexpr RowKind ROW_KINDS[] = {
    {Pixels::PALETTE1, row_palette1}, {Pixels::PALETTE4, row_palette4},
    {Pixels::PALETTE8, row_palette8}, {Pixels::MASKED16, row_masked16},
    {Pixels::RGB24, row_rgb24},       {Pixels::RGB32, row_rgb32},
    {Pixels::MASKED32, row_masked32},
};

RowConverter row_converter(Pixels kind) {
    for (const RowKind& r : ROW_KINDS)
        if (r.kind == kind) return r.convert;
    return nullptr;
}

// Output row of the k-th stored row (or of run-length row k, counted from
// the first row in the data).
uint8_t* output_row(const Layout& l, const Destination& d, int64_t k) {
    int64_t row = l.top_down ? k : l.height - 1 - k;
    return d.base + row * d.pitch;
}

void decode_rows(const Layout& l, const Destination& d, const Colours& c, RowConverter convert) {
    for (int64_t k = 0; k < l.height; k++) {
        uint64_t at = l.pixel_offset + uint64_t(k) * l.stride;
        uint64_t bits_present = uint64_t(l.bytes.room(at)) * 8;
        int32_t count = static_cast<int32_t>(std::min<uint64_t>(l.width, bits_present / l.bits));
        if (count > 0) convert(c, l.bytes.data + at, output_row(l, d, k), count);
        if (count < l.width) return;  // the data ends in this row
    }
}

// Run-length codes. Positions run from the first row in the data; pixels
// that fall outside the image are consumed but not written, and decoding
// stops at the end-of-image code, below the last row, or where the data ends.
class RunDecoder {
public:
    RunDecoder(const Layout& l, const Destination& d, const Colours& c)
        : layout_(l), dest_(d), colours_(c), pos_(l.pixel_offset), nibbles_(l.kind == Pixels::RLE4) {}

    void run() {
        uint32_t count, value;
        while (y_ < layout_.height && next(&count) && next(&value)) {
            if (count > 0) {
                paint_repeat(count, value);
            } else if (value == 0) {
                x_ = 0;
                y_++;
            } else if (value == 1) {
                return;
            } else if (value == 2) {
                uint32_t dx, dy;
                if (!next(&dx) || !next(&dy)) return;
                x_ += dx;
                y_ += dy;
            } else if (!paint_literal(value)) {
                return;
            }
        }
    }

private:
    bool next(uint32_t* byte) {
        if (pos_ >= layout_.bytes.size) return false;
        *byte = layout_.bytes.data[pos_++];
        return true;
    }

    // Pixels of the current run that land inside the row.
    int64_t visible(uint32_t count) const { return std::clamp<int64_t>(layout_.width - x_, 0, count); }

    // Only called for a position inside the image.
    uint8_t* here() const { return output_row(layout_, dest_, y_) + 3 * x_; }

    // An encoded run: one index, or for 4-bit data two alternating ones.
    void paint_repeat(uint32_t count, uint32_t value) {
        uint32_t first = colours_.palette[nibbles_ ? value >> 4 : value];
        uint32_t second = colours_.palette[nibbles_ ? value & 15 : value];
        int32_t n = static_cast<int32_t>(visible(count));
        if (n > 0) emit(here(), n, [&](int32_t i) { return i & 1 ? second : first; });
        x_ += count;
    }

    // A literal run of `count` indices, padded to a 16-bit boundary. False
    // when the data ends inside it.
    bool paint_literal(uint32_t count) {
        uint64_t size = nibbles_ ? (uint64_t(count) + 1) / 2 : count;
        uint64_t padded = size + (size & 1);
        uint64_t present = std::min<uint64_t>(size, layout_.bytes.room(pos_));
        uint64_t indices = nibbles_ ? present * 2 : present;
        const uint8_t* in = layout_.bytes.data + pos_;
        int32_t n = static_cast<int32_t>(std::min<int64_t>(visible(count), indices));
        if (n > 0) {
            emit(here(), n, [&](int32_t i) {
                return colours_.palette[nibbles_ ? (in[i >> 1] >> ((~i & 1) * 4)) & 15 : in[i]];
            });
        }
        pos_ += padded;
        x_ += count;
        return present == size;
    }

    const Layout& layout_;
    const Destination& dest_;
    const Colours& colours_;
    uint64_t pos_;
    bool nibbles_;
    int64_t x_ = 0;
    int64_t y_ = 0;
};

// A freshly allocated destination costs one page fault per page touched, and
// for large images those faults take longer than the decoding. Asking the
// kernel to map the rows' pages in one call is cheaper; the contents do not
// change, and only whole pages inside the rows are named. Kernels without
// the request refuse it and the pages fault in as they are written.
void map_destination(const Layout& l, const Destination& d) {
    constexpr uint64_t WORTHWHILE = 1 << 20;
    constexpr uintptr_t PAGE = 4096;
    const uint64_t row_bytes = uint64_t(l.width) * 3;
    if (row_bytes * l.height < WORTHWHILE) return;
    uint8_t* first = output_row(l, d, 0);
    uint8_t* last = output_row(l, d, l.height - 1);
    uintptr_t low = reinterpret_cast<uintptr_t>(std::min(first, last));
    uintptr_t high = reinterpret_cast<uintptr_t>(std::max(first, last)) + row_bytes;
    uintptr_t start = (low + PAGE - 1) & ~(PAGE - 1), end = high & ~(PAGE - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

}  // namespace

void decode_pixels(const Layout& layout, const Destination& destination) {
    Colours colours;
    prepare_colours(layout, &colours);
    map_destination(layout, destination);
    if (RowConverter convert = row_converter(layout.kind)) {
        decode_rows(layout, destination, colours, convert);
        return;
    }
    RunDecoder(layout, destination, colours).run();
}

}  // namespace bmp
