// Builds BMP files for the decoder tests: the 14-byte file header, an info
// header of the chosen size, optional masks and palette, then the pixels.
#include "tests/image/bmp_builder.h"

#include "runtime/image/decoders.h"

namespace bmp_test {

void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(Bytes& b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

Bytes padded_rows(const std::vector<Bytes>& rows) {
    Bytes out;
    for (const Bytes& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize(out.size() + (-row.size() & 3), PAD);
    }
    return out;
}

Bytes make_bmp(const BmpLayout& s) {
    const bool os2 = s.header_size == 12;
    const size_t entry = os2 ? 3 : 4;
    const size_t masks_at = 14 + s.header_size;
    const size_t palette_at = masks_at + (s.header_size == 40 ? 4 * s.masks.size() : 0);
    const size_t pixels_at = palette_at + entry * s.palette.size();
    Bytes b(pixels_at, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<uint32_t>(pixels_at + s.pixels.size()));
    put32(b, 10, static_cast<uint32_t>(pixels_at));
    put32(b, 14, s.header_size);
    if (os2) {
        put16(b, 18, static_cast<uint32_t>(s.width));
        put16(b, 20, static_cast<uint32_t>(s.height));
        put16(b, 22, 1);
        put16(b, 24, s.bits);
    } else {
        put32(b, 18, static_cast<uint32_t>(s.width));
        put32(b, 22, static_cast<uint32_t>(s.height));
        put16(b, 26, 1);
        put16(b, 28, s.bits);
        put32(b, 30, s.compression);
        put32(b, 46, s.colours_used);
        for (size_t i = 0; i < s.masks.size(); i++) put32(b, 54 + 4 * i, s.masks[i]);
    }
    for (size_t i = 0; i < s.palette.size(); i++) {
        uint32_t rgb = s.palette[i];
        b[palette_at + entry * i] = static_cast<uint8_t>(rgb);
        b[palette_at + entry * i + 1] = static_cast<uint8_t>(rgb >> 8);
        b[palette_at + entry * i + 2] = static_cast<uint8_t>(rgb >> 16);
    }
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    return b;
}

Decoded decode(const Bytes& file) {
    Decoded d;
    d.accepted = decoder_try_memory(file.data(), file.size());
    d.width = decoder_width();
    d.height = decoder_height();
    d.depth = decoder_depth();
    d.source_depth = decoder_source_depth();
    if (!d.accepted) return d;
    constexpr int32_t GUARD = 5;
    const int32_t pitch = d.width * 3 + GUARD;
    std::vector<uint8_t> out(size_t(pitch) * d.height, FILL);
    d.accepted = decoder_decode(out.data(), pitch, 0);
    for (int32_t y = 0; y < d.height; y++) {
        const uint8_t* row = out.data() + size_t(y) * pitch;
        for (int32_t x = 0; x < d.width; x++)
            d.pixels.push_back(uint32_t(row[3 * x]) << 16 | row[3 * x + 1] << 8 | row[3 * x + 2]);
        for (int32_t g = 0; g < GUARD; g++)
            if (row[d.width * 3 + g] != FILL) d.guards_intact = false;
    }
    return d;
}

std::vector<std::vector<uint32_t>> as_rows(const Decoded& d) {
    std::vector<std::vector<uint32_t>> rows;
    for (int32_t y = 0; y < d.height; y++)
        rows.emplace_back(d.pixels.begin() + size_t(y) * d.width, d.pixels.begin() + size_t(y + 1) * d.width);
    return rows;
}

}  // namespace bmp_test
