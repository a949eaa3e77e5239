// The BMP decoder over small images built in memory: what each stored form
// decodes to, what check refuses, and that sources and destinations are only
// touched where they should be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"
#include "tests/image/bmp_builder.h"

namespace {

using namespace bmp_test;
using Rows = std::vector<std::vector<uint32_t>>;

constexpr uint32_t RED = 0xFF0000, GREEN = 0x00FF00, BLUE = 0x0000FF, WHITE = 0xFFFFFF, BLACK = 0;
constexpr uint32_t BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

class Bmp : public ::testing::Test {
protected:
    void SetUp() override {
        decoders_start();
        bmp_decoder_register();
    }
};

BmpLayout layout(int32_t width, int32_t height, uint16_t bits, Bytes pixels) {
    BmpLayout s;
    s.width = width;
    s.height = height;
    s.bits = bits;
    s.pixels = std::move(pixels);
    return s;
}

BmpLayout with(BmpLayout s, std::vector<uint32_t> palette, uint32_t compression = 0) {
    s.palette = std::move(palette);
    s.compression = compression;
    return s;
}

BmpLayout header(BmpLayout s, uint32_t header_size) {
    s.header_size = header_size;
    return s;
}

BmpLayout masked(BmpLayout s, std::vector<uint32_t> masks) {
    s.masks = std::move(masks);
    s.compression = BI_BITFIELDS;
    return s;
}

BmpLayout colours_used(BmpLayout s, uint32_t n) {
    s.colours_used = n;
    return s;
}

// The stored bytes minus their last `n`: data that ends early.
BmpLayout cut(BmpLayout s, size_t n) {
    s.pixels.resize(s.pixels.size() - n);
    return s;
}

std::vector<uint32_t> grey_palette(int n) {
    std::vector<uint32_t> p;
    for (int i = 0; i < n; i++) p.push_back(uint32_t(i) * 0x010101);
    return p;
}

struct PixelCase {
    std::string name;
    BmpLayout layout;
    Rows expected;  // top row first; UNSET where the data sets nothing
};

std::vector<PixelCase> pixel_cases() {
    const std::vector<uint32_t> rgbw = {RED, GREEN, BLUE, WHITE};
    const auto grey = grey_palette(256);
    return {
        {"rgb24 rows bottom up", layout(2, 2, 24, padded_rows({{255, 0, 0, 0, 255, 0}, {0, 0, 255, 255, 255, 255}})),
         {{RED, WHITE}, {BLUE, GREEN}}},
        {"rgb24 width 3 pads 3",
         layout(3, 2, 24, padded_rows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {9, 8, 7, 6, 5, 4, 3, 2, 1}})),
         {{0x070809, 0x040506, 0x010203}, {0x030201, 0x060504, 0x090807}}},
        {"rgb16 width 1 pads 2", layout(1, 2, 16, padded_rows({{0xFF, 0x7F}, {0x00, 0x80}})), {{BLACK}, {0xF8F8F8}}},
        {"rgb16 channels", layout(3, 1, 16, padded_rows({{0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00}})),
         {{0xF80000, 0x00F800, 0x0000F8}}},
        {"rgb16 565 masks",
         masked(layout(3, 1, 16, padded_rows({{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00}})), {0xF800, 0x07E0, 0x001F}),
         {{0xF80000, 0x00FC00, 0x0000F8}}},
        {"rgb16 empty blue mask",
         masked(layout(1, 1, 16, padded_rows({{0xFF, 0xFF}})), {0xFF00, 0x00FF, 0}), {{0xFFFF00}}},
        {"rgb32 bgrx", layout(2, 1, 32, {0x30, 0x20, 0x10, 0x99, 0xFF, 0, 0, 0x99}), {{0x102030, BLUE}}},
        {"rgb32 masks in unusual order",
         masked(layout(1, 1, 32, {0x00, 0xAB, 0x00, 0x12}), {0xFF000000, 0x00000FF0, 0x00FF0000}), {{0x12B000}}},
        {"rgb32 10-bit channels keep their top bits",
         masked(layout(1, 1, 32, {0xFF, 0xFF, 0xFF, 0x3F}), {0x3FF00000, 0x000FFC00, 0x000003FF}), {{WHITE}}},
        {"pal8 width 5 pads 3", with(layout(5, 2, 8, padded_rows({{0, 1, 2, 3, 0}, {3, 2, 1, 0, 3}})), rgbw),
         {{WHITE, BLUE, GREEN, RED, WHITE}, {RED, GREEN, BLUE, WHITE, RED}}},
        {"pal8 clr used 0 means 256", with(layout(2, 1, 8, padded_rows({{200, 255}})), grey),
         {{0xC8C8C8, WHITE}}},
        {"pal8 clr used 256", colours_used(with(layout(2, 1, 8, padded_rows({{200, 255}})), grey), 256),
         {{0xC8C8C8, WHITE}}},
        {"pal8 index past palette is black", with(layout(2, 1, 8, padded_rows({{1, 7}})), {RED, GREEN}),
         {{GREEN, BLACK}}},
        {"pal8 top down", with(layout(2, -2, 8, padded_rows({{0, 1}, {2, 3}})), rgbw), {{RED, GREEN}, {BLUE, WHITE}}},
        {"pal8 os2 header", header(with(layout(2, 1, 8, padded_rows({{1, 0}})), {RED, GREEN}), 12), {{GREEN, RED}}},
        {"pal8 v4 header", header(with(layout(2, 1, 8, padded_rows({{1, 0}})), {RED, GREEN}), 108), {{GREEN, RED}}},
        {"pal8 v5 header", header(with(layout(2, 1, 8, padded_rows({{1, 0}})), {RED, GREEN}), 124), {{GREEN, RED}}},
        {"pal4 width 3", with(layout(3, 1, 4, padded_rows({{0x01, 0x3F}})), rgbw), {{RED, GREEN, WHITE}}},
        {"pal1 width 10 through palette", with(layout(10, 1, 1, padded_rows({{0xA5, 0x40}})), {RED, BLUE}),
         {{BLUE, RED, BLUE, RED, RED, BLUE, RED, BLUE, RED, BLUE}}},
        {"pal1 black and white", with(layout(3, 1, 1, padded_rows({{0x5F}})), {BLACK, WHITE}),
         {{BLACK, WHITE, BLACK}}},
        {"rgb24 cut inside the second row", cut(layout(2, 2, 24, padded_rows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 1, 2, 3}})), 4),
         {{0x090807, UNSET}, {0x030201, 0x060504}}},
        {"rle8 run then end", with(layout(4, 2, 8, {3, 5, 0, 0, 0, 1}), grey_palette(6), BI_RLE8),
         {{UNSET, UNSET, UNSET, UNSET}, {0x050505, 0x050505, 0x050505, UNSET}}},
        {"rle8 literal skips its padding", with(layout(4, 1, 8, {0, 3, 1, 2, 3, 9, 2, 0, 0, 1}), rgbw, BI_RLE8),
         {{GREEN, BLUE, WHITE, RED}}},
        {"rle8 line end and delta",
         with(layout(3, 3, 8, {1, 0, 0, 0, 0, 2, 1, 1, 1, 1, 0, 1}), rgbw, BI_RLE8),
         {{UNSET, GREEN, UNSET}, {UNSET, UNSET, UNSET}, {RED, UNSET, UNSET}}},
        {"rle8 runs are clipped at the row end", with(layout(2, 2, 8, {5, 1, 0, 0, 1, 2, 0, 1}), rgbw, BI_RLE8),
         {{BLUE, UNSET}, {GREEN, GREEN}}},
        {"rle8 without end code stops with the data", with(layout(2, 1, 8, {1, 3}), rgbw, BI_RLE8), {{WHITE, UNSET}}},
        {"rle8 cut literal paints what is there", with(layout(4, 1, 8, {0, 4, 1, 2}), rgbw, BI_RLE8),
         {{GREEN, BLUE, UNSET, UNSET}}},
        {"rle4 run alternates nibbles", with(layout(4, 1, 4, {3, 0x12, 0, 1}), rgbw, BI_RLE4),
         {{GREEN, BLUE, GREEN, UNSET}}},
        {"rle4 literal", with(layout(4, 1, 4, {0, 3, 0x30, 0x10, 0, 1}), rgbw, BI_RLE4), {{WHITE, RED, GREEN, UNSET}}},
    };
}

TEST_F(Bmp, DecodesEachStoredForm) {
    for (const PixelCase& c : pixel_cases()) {
        SCOPED_TRACE(c.name);
        Decoded d = decode(make_bmp(c.layout));
        ASSERT_EQ(d.accepted, 1);
        EXPECT_EQ(as_rows(d), c.expected);
        EXPECT_TRUE(d.guards_intact);
    }
}

TEST_F(Bmp, CheckDescribesTheImage) {
    Decoded d = decode(make_bmp(with(layout(3, -2, 8, padded_rows({{0, 0, 0}, {0, 0, 0}})), {RED})));
    EXPECT_EQ(d.width, 3);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.depth, 24);
    EXPECT_EQ(d.source_depth, 8);
}

struct Refusal {
    std::string name;
    Bytes file;
};

Bytes patched(const Bytes& file, size_t at, uint32_t value, int width = 4) {
    Bytes b = file;
    if (width == 2) put16(b, at, value);
    else put32(b, at, value);
    return b;
}

std::vector<Refusal> refusals() {
    const Bytes rgb = make_bmp(layout(2, 2, 24, padded_rows({{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}})));
    const Bytes pal = make_bmp(with(layout(2, 1, 8, padded_rows({{0, 1}})), {RED, GREEN}));
    const Bytes os2v2 = patched(make_bmp(header(layout(2, 1, 24, padded_rows({{0, 0, 0, 0, 0, 0}})), 64)), 30,
                                BI_BITFIELDS);
    const Bytes bf16 = make_bmp(masked(layout(1, 1, 16, padded_rows({{0, 0}})), {0x7C00, 0x03E0, 0x001F}));
    Bytes not_bm = rgb;
    not_bm[1] = 'A';
    return {
        {"reserved 1 set", patched(rgb, 6, 1, 2)},
        {"reserved 2 set", patched(rgb, 8, 1, 2)},
        {"not BM", not_bm},
        {"bit count 2", patched(pal, 28, 2, 2)},
        {"bit count 64", patched(rgb, 28, 64, 2)},
        {"bit count 0 (embedded JPEG or PNG)", patched(rgb, 28, 0, 2)},
        {"JPEG compression", patched(rgb, 30, 4)},
        {"PNG compression", patched(rgb, 30, 5)},
        {"RLE8 on 24 bits", patched(rgb, 30, BI_RLE8)},
        {"RLE4 on 8 bits", patched(pal, 30, BI_RLE4)},
        {"bit fields on 24 bits", make_bmp(masked(layout(1, 1, 24, padded_rows({{0, 0, 0}})), {0xFF, 0xFF00, 0xFF0000}))},
        {"OS/2 Huffman", os2v2},
        {"unknown header size", patched(rgb, 14, 66)},
        {"header longer than the data", Bytes(pal.begin(), pal.begin() + 40)},
        {"width 0", patched(rgb, 18, 0)},
        {"negative width", patched(rgb, 18, uint32_t(-2))},
        {"height 0", patched(rgb, 22, 0)},
        {"lowest height", patched(rgb, 22, 0x80000000)},
        {"output above 1 GiB", patched(patched(rgb, 18, 20000), 22, 20000)},
        {"product overflows", patched(patched(rgb, 18, 0x7FFFFFFF), 22, 0x7FFFFFFF)},
        {"pixels inside the header", patched(rgb, 10, 40)},
        {"mask with a gap", make_bmp(masked(layout(1, 1, 16, padded_rows({{0, 0}})), {0xF00F, 0x07E0, 0x001F}))},
        {"mask wider than the pixel", make_bmp(masked(layout(1, 1, 16, padded_rows({{0, 0}})), {0x1F0000, 0x07E0, 0x1F}))},
        {"masks cut off", Bytes(bf16.begin(), bf16.begin() + 60)},
        {"file header only", Bytes(rgb.begin(), rgb.begin() + 14)},
    };
}

TEST_F(Bmp, CheckRefusesWhatItCannotDecodeFaithfully) {
    for (const Refusal& r : refusals()) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(decoder_try_memory(r.file.data(), r.file.size()), 0);
        EXPECT_EQ(decoder_width(), 0);
    }
    EXPECT_EQ(decoder_try_memory(nullptr, 100), 0);
}

TEST_F(Bmp, ReadsOnlyTheGivenBytes) {
    Bytes file = make_bmp(layout(4, 4, 24, padded_rows(std::vector<Bytes>(4, Bytes(12, 0x40)))));
    // The header claims four rows, but the source given is cut to one and a
    // half; a heap copy of exactly that length lets the sanitizer see overreads.
    const size_t given = 54 + 12 + 6;
    std::vector<uint8_t> source(file.begin(), file.begin() + given);
    Decoded d = decode(source);
    ASSERT_EQ(d.accepted, 1);
    Rows rows = as_rows(d);
    EXPECT_EQ(rows[3], std::vector<uint32_t>(4, 0x404040));
    EXPECT_EQ(rows[2], (std::vector<uint32_t>{0x404040, 0x404040, UNSET, UNSET}));
    EXPECT_EQ(rows[0], std::vector<uint32_t>(4, UNSET));
}

TEST_F(Bmp, LeavesTheCallersPaletteAsItWas) {
    const Bytes file = make_bmp(with(layout(2, 1, 8, padded_rows({{0, 1}})), {0x112233, 0x445566}));
    const Bytes before = file;
    Decoded first = decode(file);
    Decoded second = decode(file);
    EXPECT_EQ(file, before);
    EXPECT_EQ(first.pixels, (std::vector<uint32_t>{0x112233, 0x445566}));
    EXPECT_EQ(second.pixels, first.pixels);
}

TEST_F(Bmp, DecodeRefusesADestinationThatCannotHoldARow) {
    const Bytes file = make_bmp(layout(2, 1, 24, padded_rows({{0, 0, 0, 0, 0, 0}})));
    std::vector<uint8_t> out(6, FILL);
    ASSERT_EQ(decoder_try_memory(file.data(), file.size()), 1);
    EXPECT_EQ(decoder_decode(out.data(), 5, 0), 0);
    ASSERT_EQ(decoder_try_memory(file.data(), file.size()), 1);
    EXPECT_EQ(decoder_decode(nullptr, 6, 0), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(6, FILL));
}

TEST_F(Bmp, NegativePitchLaysRowsUpwards) {
    const Bytes file = make_bmp(layout(1, 2, 24, padded_rows({{1, 2, 3}, {4, 5, 6}})));
    std::vector<uint8_t> out(6, FILL);
    ASSERT_EQ(decoder_try_memory(file.data(), file.size()), 1);
    ASSERT_EQ(decoder_decode(out.data() + 3, -3, 0), 1);
    EXPECT_EQ(out, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));  // bottom row lowest in memory
}

TEST_F(Bmp, StreamSourceDecodesAsMemoryDoes) {
    const Bytes file = make_bmp(with(layout(3, 2, 4, padded_rows({{0x01, 0x20}, {0x33, 0x10}})), {RED, GREEN, BLUE, WHITE}));
    FILE* stream = tmpfile();
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(fwrite(file.data(), 1, file.size(), stream), file.size());
    ASSERT_EQ(decoder_try_stream(stream), 1);  // the chain owns and closes it
    ASSERT_EQ(decoder_width(), 3);
    std::vector<uint8_t> from_stream(18, FILL);
    ASSERT_EQ(decoder_decode(from_stream.data(), 9, 0), 1);

    ASSERT_EQ(decoder_try_memory(file.data(), file.size()), 1);
    std::vector<uint8_t> from_memory(18, FILL);
    ASSERT_EQ(decoder_decode(from_memory.data(), 9, 0), 1);
    EXPECT_EQ(from_stream, from_memory);
}

TEST_F(Bmp, StreamsThatAreNotBmpAreClosedAndRefused) {
    for (const Bytes& content : {Bytes{}, Bytes(13, 'B'), Bytes{'B', 'M', 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}}) {
        FILE* stream = tmpfile();
        ASSERT_NE(stream, nullptr);
        fwrite(content.data(), 1, content.size(), stream);
        EXPECT_EQ(decoder_try_stream(stream), 0);
    }
    EXPECT_EQ(decoder_try_stream(nullptr), 0);
}

}  // namespace
