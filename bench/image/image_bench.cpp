// Decoding BMP data from memory to 24-bit rows, against the peers a program
// would otherwise use, on the same bytes: the single-header decoder and the
// toolkit's pixbuf loader. The peers allocate their output, so the fair
// comparison (who "papyro") decodes into a fresh allocation too;
// "papyro_reused" decodes into one buffer kept across iterations, and
// "memcpy" of the output size is the ceiling for any decoder.
#include <benchmark/benchmark.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <stb_image.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Format {
    const char* name;
    uint16_t bits;
    uint32_t compression;
};

constexpr Format FORMATS[] = {
    {"rgb24", 24, 0}, {"rgb32", 32, 0}, {"pal8", 8, 0}, {"rle8", 8, 1},
    {"pal4", 4, 0},   {"pal1", 1, 0},   {"rgb16", 16, 0},
};

struct Size {
    int32_t width;
    int32_t height;
};
constexpr Size SIZES[] = {{1024, 768}, {4096, 4096}};

void put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t next_random(uint32_t* state) {
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

// Run-length rows of mixed encoded runs and literal runs, as a paint
// program's output tends to be.
Bytes rle8_pixels(int32_t width, int32_t height, uint32_t* seed) {
    Bytes out;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width;) {
            uint32_t r = next_random(seed);
            int32_t n = std::min<int32_t>(width - x, 3 + r % 40);
            if (r & 0x100000 || n < 3) {  // literal runs are 3 or more: 0 1 and 0 2 are codes
                out.insert(out.end(), {uint8_t(n), uint8_t(r >> 8)});
            } else {
                out.insert(out.end(), {0, uint8_t(n)});
                for (int32_t i = 0; i < n; i++) out.push_back(uint8_t(next_random(seed)));
                if (n & 1) out.push_back(0);
            }
            x += n;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

Bytes make_bmp(const Format& f, const Size& s) {
    const uint32_t palette = f.bits <= 8 ? 4u << f.bits : 0;
    const uint32_t offset = 54 + palette;
    uint32_t seed = 12345;
    Bytes pixels;
    if (f.compression == 1) {
        pixels = rle8_pixels(s.width, s.height, &seed);
    } else {
        size_t stride = (size_t(s.width) * f.bits + 31) / 32 * 4;
        pixels.resize(stride * s.height);
        for (uint8_t& byte : pixels) byte = uint8_t(next_random(&seed));
    }
    Bytes b(offset, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, uint32_t(offset + pixels.size()));
    put32(b, 10, offset);
    put32(b, 14, 40);
    put32(b, 18, uint32_t(s.width));
    put32(b, 22, uint32_t(s.height));
    b[26] = 1;
    b[28] = uint8_t(f.bits);
    put32(b, 30, f.compression);
    put32(b, 34, uint32_t(pixels.size()));
    for (uint32_t i = 54; i < offset; i++) b[i] = uint8_t(next_random(&seed));
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

const Bytes& image_for(const Format& f, const Size& s) {
    static std::map<std::string, Bytes> cache;
    std::string key = std::string(f.name) + std::to_string(s.width);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, make_bmp(f, s)).first;
    return it->second;
}

void count_pixels(benchmark::State& state, const Size& s) {
    state.SetItemsProcessed(int64_t(state.iterations()) * s.width * s.height);
}

void decode_into(const Bytes& bmp, uint8_t* rows) {
    decoder_try_memory(bmp.data(), bmp.size());
    decoder_decode(rows, decoder_width() * 3, 0);
}

void papyro_fresh(benchmark::State& state, Format f, Size s) {
    const Bytes& bmp = image_for(f, s);
    for (auto _ : state) {
        if (!decoder_try_memory(bmp.data(), bmp.size())) state.SkipWithError("refused");
        auto* rows = static_cast<uint8_t*>(std::malloc(size_t(decoder_width()) * 3 * decoder_height()));
        decoder_decode(rows, decoder_width() * 3, 0);
        benchmark::DoNotOptimize(rows);
        std::free(rows);
    }
    count_pixels(state, s);
}

void papyro_reused(benchmark::State& state, Format f, Size s) {
    const Bytes& bmp = image_for(f, s);
    std::vector<uint8_t> rows(size_t(s.width) * 3 * s.height);
    for (auto _ : state) {
        decode_into(bmp, rows.data());
        benchmark::DoNotOptimize(rows.data());
    }
    count_pixels(state, s);
}

void stb(benchmark::State& state, Format f, Size s) {
    const Bytes& bmp = image_for(f, s);
    for (auto _ : state) {
        int w, h, n;
        stbi_uc* rows = stbi_load_from_memory(bmp.data(), int(bmp.size()), &w, &h, &n, 3);
        if (!rows) {
            state.SkipWithError("not decoded by this peer");
            break;
        }
        benchmark::DoNotOptimize(rows);
        stbi_image_free(rows);
    }
    count_pixels(state, s);
}

void pixbuf(benchmark::State& state, Format f, Size s) {
    const Bytes& bmp = image_for(f, s);
    for (auto _ : state) {
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("bmp", nullptr);
        bool ok = gdk_pixbuf_loader_write(loader, bmp.data(), bmp.size(), nullptr) &&
                  gdk_pixbuf_loader_close(loader, nullptr) && gdk_pixbuf_loader_get_pixbuf(loader);
        g_object_unref(loader);
        if (!ok) {
            state.SkipWithError("not decoded by this peer");
            break;
        }
    }
    count_pixels(state, s);
}

void copy_ceiling(benchmark::State& state, Format, Size s) {
    std::vector<uint8_t> from(size_t(s.width) * 3 * s.height, 1), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
    count_pixels(state, s);
}

struct Who {
    const char* name;
    void (*run)(benchmark::State&, Format, Size);
};
constexpr Who WHO[] = {{"papyro", papyro_fresh},
                       {"papyro_reused", papyro_reused},
                       {"stb_image", stb},
                       {"gdk_pixbuf", pixbuf},
                       {"memcpy", copy_ceiling}};

const bool registered = [] {
    decoders_start();
    bmp_decoder_register();
    for (const Size& s : SIZES)
        for (const Format& f : FORMATS)
            for (const Who& w : WHO) {
                std::string name = std::string("decode_") + f.name + "_" + std::to_string(s.width) + "x" +
                                   std::to_string(s.height) + ":" + w.name;
                benchmark::RegisterBenchmark(name.c_str(), w.run, f, s)->Unit(benchmark::kMicrosecond);
            }
    return true;
}();

}  // namespace
