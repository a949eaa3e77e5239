// Arbitrary 16-bit units into the UTF-8 encoder and to_toolkit_text. The
// destination is sized exactly, so a write past the room given is caught by
// the sanitizer. Well-formed UTF-16 must encode with count and convert
// agreeing, and decode back to the same units.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/text/encoding.h"

namespace {

bool well_formed(const char16_t* s, size_t n) {
    for (size_t i = 0; i < n; i++) {
        if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) return false;
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 == n || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
            i++;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 1 << 17) return 0;
    int32_t small_room = data[0] % 40;
    std::vector<char16_t> units((size - 1) / 2);
    if (!units.empty()) std::memcpy(units.data(), data + 1, units.size() * 2);
    auto n = static_cast<int32_t>(units.size());

    int32_t count = wide_to_bytes(CODEPAGE_UTF8, 0, units.data(), n, nullptr, 0, 0, 0);
    auto* exact = static_cast<char*>(std::malloc(static_cast<size_t>(count) + 1));
    int32_t stored = wide_to_bytes(CODEPAGE_UTF8, 0, units.data(), n, exact, count, 0, 0);
    auto* narrow = static_cast<char*>(std::malloc(static_cast<size_t>(small_room) + 1));
    if (wide_to_bytes(CODEPAGE_UTF8, 0, units.data(), n, narrow, small_room, 0, 0) > small_room) std::abort();
    if (wide_to_bytes(CODEPAGE_LATIN1, 0, units.data(), n, narrow, small_room, 0, 0) > small_room) std::abort();
    std::free(narrow);

    if (n > 0 && well_formed(units.data(), units.size())) {
        if (stored != count) std::abort();
        std::vector<char16_t> back(units.size());
        if (bytes_to_wide(CODEPAGE_UTF8, 0, exact, count, back.data(), n) != n || back != units) std::abort();
    }
    std::free(exact);

    // A lone low surrogate is written as its three bytes, which strict
    // UTF-8 rejects; every well-formed text must come out strictly valid.
    units.push_back(0);
    char* toolkit = to_toolkit_text(units.data());
    bool plain = well_formed(units.data(), static_cast<size_t>(str_len(units.data())));
    if (plain && !g_utf8_validate(toolkit, -1, nullptr)) std::abort();
    toolkit_text_free(toolkit);
    return 0;
}
