// Arbitrary bytes into the UTF-8 decoder and from_toolkit_text. Buffers are
// sized exactly, so any write past the room given is caught by the sanitizer.
// Well-formed UTF-8 must decode with count and convert agreeing, and encode
// back to the same bytes.
#include <glib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "runtime/text/encoding.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    strings_start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    // The first byte picks a room smaller than the input needs.
    int32_t small_room = size ? data[0] % 32 : 0;
    const char* src = reinterpret_cast<const char*>(data);
    auto len = static_cast<int32_t>(size);

    int32_t count = bytes_to_wide(CODEPAGE_UTF8, 0, src, len, nullptr, 0);
    std::vector<char16_t> exact(static_cast<size_t>(count));
    int32_t stored = bytes_to_wide(CODEPAGE_UTF8, 0, src, len, exact.data(), count);
    auto* narrow = static_cast<char16_t*>(std::malloc(static_cast<size_t>(small_room) * 2 + 1));
    int32_t partial = bytes_to_wide(CODEPAGE_UTF8, 0, src, len, narrow, small_room);
    if (partial > small_room) std::abort();
    std::free(narrow);
    std::vector<char16_t> latin1(size);
    if (bytes_to_wide(CODEPAGE_LATIN1, 0, src, len, latin1.data(), len) != (size ? len : 0)) std::abort();

    if (count > 0 && g_utf8_validate(src, len, nullptr)) {
        if (stored != count) std::abort();
        int32_t bytes = wide_to_bytes(CODEPAGE_UTF8, 0, exact.data(), count, nullptr, 0, 0, 0);
        std::vector<char> back(static_cast<size_t>(bytes));
        if (bytes != len || wide_to_bytes(CODEPAGE_UTF8, 0, exact.data(), count, back.data(), bytes, 0, 0) != len)
            std::abort();
        if (std::memcmp(back.data(), data, size) != 0) std::abort();
    }

    // The toolkit hands over terminated text.
    std::vector<char> text(data, data + size);
    text.push_back(0);
    int32_t at = scratch.pos;
    from_toolkit_text(text.data(), at);
    char16_t* copy = utf8_to_string_alloc(text.data());
    // Both stop at the same place; the text may decode to 0 units inside.
    size_t units = static_cast<size_t>(scratch.pos - at) / 2;
    if (std::memcmp(scratch.base + at, copy, (units + 1) * 2) != 0 || copy[units] != 0) std::abort();
    std::free(copy);
    scratch.pos = at;
    return 0;
}
