// UTF-8 <-> UTF-16 conversion speed against GLib, iconv and ICU on the same
// texts. The subject counts and then converts, as the runtime's wrappers do;
// the peers are used the way that suits each best (ICU and iconv convert in
// one pass into a buffer of worst-case size; GLib allocates its result).
#include <benchmark/benchmark.h>
#include <glib.h>
#include <iconv.h>
#include <unicode/ustring.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/text/encoding.h"
#include "runtime/text/utf_kernels.h"

namespace {

const char* const PROSE[] = {
    // plain ASCII prose
    "The quick brown fox jumps over the lazy dog, and then it sits down to write a long letter "
    "about the weather, the harvest and the state of the roads between the villages. ",
    // accented European prose
    "L'\xC3\xA9t\xC3\xA9 dernier, \xC3\xA0 Zurich, M\xC3\xBCller a go\xC3\xBBt\xC3\xA9 une cr\xC3\xA8me "
    "br\xC3\xBBl\xC3\xA9\x65 tr\xC3\xA8s sucr\xC3\xA9\x65; se\xC3\xB1or Pe\xC3\xB1\x61 pr\xC3\xA9\x66\xC3\xA9ra "
    "le g\xC3\xA2teau \xC3\xA0 la fran\xC3\xA7\x61ise, \xC3\xB8l og sm\xC3\xB8rrebr\xC3\xB8\x64. ",
    // CJK with emoji
    "\xE6\x98\xA5\xE7\x9C\xA0\xE4\xB8\x8D\xE8\xA6\xBA\xE6\x9A\x81\xE3\x80\x81\xE5\x87\xA6\xE5\x87\xA6"
    "\xE5\x95\xBC\xE9\xB3\xA5\xE3\x82\x92\xE8\x81\x9E\xE3\x81\x8F \xF0\x9F\x8C\xB8\xF0\x9F\x90\xA6 "
    "\xE5\xA4\x9C\xE6\x9D\xA5\xE9\xA2\xA8\xE9\x9B\xA8\xE3\x81\xAE\xE5\xA3\xB0 \xF0\x9F\x8C\xA7\xEF\xB8\x8F "
    "\xE8\x8A\xB1\xE8\x90\xBD\xE3\x81\xA4\xE3\x82\x8B\xE3\x81\x93\xE3\x81\xA8\xE7\x9F\xA5\xE3\x82\x8B"
    "\xE5\xA4\x9A\xE5\xB0\x91 \xF0\x9F\x98\x80\xE3\x80\x82",
};
const char* const KIND[] = {"ascii", "european", "cjk_emoji"};

// PAPYRO_TEXT_LEVEL=baseline|avx2|avx512 measures that kernel level instead
// of the best one the processor has, so that each level's figures can be
// taken on one machine.
[[maybe_unused]] const bool LEVEL_CHOSEN = [] {
    const char* name = std::getenv("PAPYRO_TEXT_LEVEL");
    if (!name) return false;
    static const struct {
        const char* name;
        KernelLevel level;
    } LEVELS[] = {{"baseline", KernelLevel::BASELINE}, {"avx2", KernelLevel::AVX2}, {"avx512", KernelLevel::AVX512}};
    for (const auto& l : LEVELS)
        if (!std::strcmp(name, l.name) && utf_kernels_select(l.level)) return true;
    std::fprintf(stderr, "PAPYRO_TEXT_LEVEL=%s: no such level on this processor\n", name);
    std::exit(2);
}();

// A text of about `size` bytes made of whole code points.
const std::string& utf8_text(int kind, size_t size) {
    static std::string cache[3][2];
    std::string& text = cache[kind][size > 65536];
    if (text.empty()) {
        while (text.size() < size) text += PROSE[kind];
        size_t cut = size;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut--;
        text.resize(cut);
    }
    return text;
}

const std::u16string& utf16_text(int kind, size_t size) {
    static std::u16string cache[3][2];
    std::u16string& text = cache[kind][size > 65536];
    if (text.empty()) {
        const std::string& utf8 = utf8_text(kind, size);
        text.resize(utf8.size());
        text.resize(static_cast<size_t>(bytes_to_wide(CODEPAGE_UTF8, 0, utf8.data(), static_cast<int32_t>(utf8.size()),
                                                      text.data(), static_cast<int32_t>(text.size()))));
    }
    return text;
}

int kind_of(const benchmark::State& state) { return static_cast<int>(state.range(0)); }
size_t size_of(const benchmark::State& state) { return static_cast<size_t>(state.range(1)); }

void label(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.SetLabel(KIND[kind_of(state)]);
}

void to_utf16_papyro(benchmark::State& state) {
    const std::string& src = utf8_text(kind_of(state), size_of(state));
    auto len = static_cast<int32_t>(src.size());
    std::vector<char16_t> dst(src.size() + 1);
    for (auto _ : state) {
        int32_t n = bytes_to_wide(CODEPAGE_UTF8, 0, src.data(), len, nullptr, 0);
        benchmark::DoNotOptimize(bytes_to_wide(CODEPAGE_UTF8, 0, src.data(), len, dst.data(), n));
        benchmark::ClobberMemory();
    }
    label(state, src.size());
}

void to_utf16_glib(benchmark::State& state) {
    const std::string& src = utf8_text(kind_of(state), size_of(state));
    for (auto _ : state) {
        gunichar2* out = g_utf8_to_utf16(src.data(), static_cast<glong>(src.size()), nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(out);
        g_free(out);
    }
    label(state, src.size());
}

void to_utf16_icu(benchmark::State& state) {
    const std::string& src = utf8_text(kind_of(state), size_of(state));
    std::vector<UChar> dst(src.size() + 1);
    for (auto _ : state) {
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = 0;
        u_strFromUTF8(dst.data(), static_cast<int32_t>(dst.size()), &n, src.data(), static_cast<int32_t>(src.size()),
                      &error);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    label(state, src.size());
}

// iconv into a buffer of worst-case size; the descriptor is opened once.
template <typename Unit>
void run_iconv(benchmark::State& state, const char* to, const char* from, const Unit* src, size_t bytes,
               size_t out_bytes) {
    iconv_t cd = iconv_open(to, from);
    std::vector<char> dst(out_bytes);
    for (auto _ : state) {
        char* in = const_cast<char*>(reinterpret_cast<const char*>(src));
        size_t in_left = bytes, out_left = dst.size();
        char* out = dst.data();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(iconv(cd, &in, &in_left, &out, &out_left));
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
}

void to_utf16_iconv(benchmark::State& state) {
    const std::string& src = utf8_text(kind_of(state), size_of(state));
    run_iconv(state, "UTF-16LE", "UTF-8", src.data(), src.size(), src.size() * 2 + 16);
    label(state, src.size());
}

void to_utf8_papyro(benchmark::State& state) {
    const std::u16string& src = utf16_text(kind_of(state), size_of(state));
    auto len = static_cast<int32_t>(src.size());
    std::vector<char> dst(src.size() * 3 + 1);
    for (auto _ : state) {
        int32_t n = wide_to_bytes(CODEPAGE_UTF8, 0, src.data(), len, nullptr, 0, 0, 0);
        benchmark::DoNotOptimize(wide_to_bytes(CODEPAGE_UTF8, 0, src.data(), len, dst.data(), n, 0, 0));
        benchmark::ClobberMemory();
    }
    label(state, src.size() * 2);
}

void to_utf8_glib(benchmark::State& state) {
    const std::u16string& src = utf16_text(kind_of(state), size_of(state));
    for (auto _ : state) {
        gchar* out = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(src.data()), static_cast<glong>(src.size()),
                                     nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(out);
        g_free(out);
    }
    label(state, src.size() * 2);
}

void to_utf8_icu(benchmark::State& state) {
    const std::u16string& src = utf16_text(kind_of(state), size_of(state));
    std::vector<char> dst(src.size() * 3 + 1);
    for (auto _ : state) {
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = 0;
        u_strToUTF8(dst.data(), static_cast<int32_t>(dst.size()), &n, src.data(), static_cast<int32_t>(src.size()),
                    &error);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    label(state, src.size() * 2);
}

void to_utf8_iconv(benchmark::State& state) {
    const std::u16string& src = utf16_text(kind_of(state), size_of(state));
    run_iconv(state, "UTF-8", "UTF-16LE", src.data(), src.size() * 2, src.size() * 3 + 16);
    label(state, src.size() * 2);
}

void texts(benchmark::internal::Benchmark* b) {
    for (int kind = 0; kind < 3; kind++)
        for (int64_t size : {65536, 1 << 20}) b->Args({kind, size});
}

}  // namespace

BENCHMARK(to_utf16_papyro)->Name("to_utf16:papyro")->Apply(texts);
BENCHMARK(to_utf16_glib)->Name("to_utf16:glib")->Apply(texts);
BENCHMARK(to_utf16_iconv)->Name("to_utf16:iconv")->Apply(texts);
BENCHMARK(to_utf16_icu)->Name("to_utf16:icu")->Apply(texts);
BENCHMARK(to_utf8_papyro)->Name("to_utf8:papyro")->Apply(texts);
BENCHMARK(to_utf8_glib)->Name("to_utf8:glib")->Apply(texts);
BENCHMARK(to_utf8_iconv)->Name("to_utf8:iconv")->Apply(texts);
BENCHMARK(to_utf8_icu)->Name("to_utf8:icu")->Apply(texts);
