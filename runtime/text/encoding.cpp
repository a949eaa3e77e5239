// Converters between UTF-16 code units and UTF-8 or Latin-1 bytes, and the
// wrappers through which texts reach the toolkit and the C library.
//
// Each direction has one walker, instantiated once for counting and once for
// storing, so the two modes cannot disagree about where a conversion stops.
// The UTF-8 decoder is deliberately lenient the way the rest of the runtime
// expects: overlong forms and encoded surrogates decode as they stand, and a
// sequence cut short by a foreign byte ends with the bits gathered so far.
// Only an impossible lead byte (or, encoding, a high surrogate followed by
// something else) is a failure. Each walker lets the fast kernels take the
// runs they can prove plain and applies the exact rules to the rest.
#include "runtime/text/encoding.h"

#include <glib.h>

#include <cstdlib>
#include <cstring>

#include "runtime/text/utf_kernels.h"

namespace {

// Why a walk ended; the callers turn this into the converters' results.
enum class Stop { END, FULL, MALFORMED, CUT };

struct Walk {
    size_t count;  // units (decoding) or bytes (encoding) stored or counted
    Stop stop;
};

// Continuation bytes announced by a lead byte, indexed by lead >> 3; -1
// marks a byte that cannot start a code point.
constexpr int8_t CONTINUATIONS[32] = {0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0, 0, 0, 0, 0, 0,
                                      -1, -1, -1, -1, -1, -1, -1, -1, 1,  1, 1, 1, 2, 2, 3, -1};
constexpr uint8_t LEAD_BITS[4] = {0x7F, 0x1F, 0x0F, 0x07};

// Decodes len bytes. Without Store only counts (room is not looked at).
template <bool Store>
Walk decode_utf8(const uint8_t* src, size_t len, char16_t* dst, size_t room) {
    const UtfKernels& fast = utf_kernels();
    size_t i = 0, k = 0, retry = 0;
    while (i < len) {
        if (i >= retry) {
            if (Store)
                fast.decode_utf8(src, len, dst, room, i, k);
            else
                fast.count_utf8(src, len, i, k);
            if (i == len) break;
            retry = i + fast.retry_after;
        }
        uint8_t lead = src[i];
        int extra = CONTINUATIONS[lead >> 3];
        if (extra < 0) return {k, Stop::MALFORMED};
        if (len - i - 1 < static_cast<size_t>(extra)) return {k, Stop::CUT};
        uint32_t cp = lead & LEAD_BITS[extra];
        i++;
        for (int n = 0; n < extra; n++) {
            uint8_t c = src[i++];
            if ((c & 0xC0) != 0x80) break;  // the foreign byte goes with the cut sequence
            cp = cp << 6 | (c & 0x3F);
        }
        if (cp <= 0xFFFF) {
            if (Store) {
                if (k >= room) return {k, Stop::FULL};
                dst[k] = static_cast<char16_t>(cp);
            }
            k++;
        } else if (cp > 0x10FFFF) {
            return {k, Stop::CUT};
        } else {
            if (Store) {
                if (room - k < 2) return {k, Stop::FULL};
                dst[k] = static_cast<char16_t>(0xD800 | ((cp - 0x10000) >> 10));
                dst[k + 1] = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
            }
            k += 2;
        }
    }
    return {k, Stop::END};
}

bool is_high_surrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low_surrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Writes cp as `size` bytes of UTF-8.
void put_utf8(uint8_t* out, uint32_t cp, size_t size) {
    static constexpr uint8_t LEAD_MARK[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    for (size_t n = size - 1; n > 0; n--) {
        out[n] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        cp >>= 6;
    }
    out[0] = static_cast<uint8_t>(LEAD_MARK[size] | cp);
}

// Encodes len units. Without Store only counts (room is not looked at). A
// code point that does not fit whole is not written at all.
template <bool Store>
Walk encode_utf8(const char16_t* src, size_t len, uint8_t* dst, size_t room) {
    const UtfKernels& fast = utf_kernels();
    size_t i = 0, k = 0, retry = 0;
    while (i < len) {
        if (i >= retry) {
            if (Store)
                fast.encode_utf16(src, len, dst, room, i, k);
            else
                fast.count_utf16(src, len, i, k);
            if (i == len || (Store && k >= room)) break;
            retry = i + fast.retry_after;
        }
        uint32_t cp = src[i++];
        size_t size = cp < 0x80 ? 1 : cp < 0x800 ? 2 : 3;
        if (is_high_surrogate(static_cast<char16_t>(cp))) {
            if (i == len) return {k, Stop::CUT};
            if (!is_low_surrogate(src[i])) return {k, Stop::MALFORMED};
            cp = 0x10000 + ((cp & 0x3FF) << 10 | (src[i++] & 0x3FF));
            size = 4;
        }
        if (Store) {
            if (room - k < size) return {k, Stop::FULL};
            put_utf8(dst + k, cp, size);
        }
        k += size;
        if (Store && k >= room) return {k, Stop::FULL};
    }
    return {k, Stop::END};
}

// -1 stands for the whole text with its terminator; any other negative
// length is read as empty.
size_t resolve_units(String16 src, int32_t src_len) {
    if (src_len == -1) return static_cast<size_t>(str_len(src)) + 1;
    return src_len > 0 ? static_cast<size_t>(src_len) : 0;
}

size_t resolve_bytes(const char* src, int32_t src_len) {
    if (src_len == -1) return std::strlen(src) + 1;
    return src_len > 0 ? static_cast<size_t>(src_len) : 0;
}

int32_t as_result(size_t count) { return count > INT32_MAX ? 0 : static_cast<int32_t>(count); }

int32_t wide_to_utf8(String16 src, size_t len, char* dst, int32_t dst_len) {
    if (!dst) {
        Walk w = encode_utf8<false>(src, len, nullptr, 0);
        return as_result(w.count);
    }
    if (len == 0 || dst_len <= 0) return 0;
    Walk w = encode_utf8<true>(src, len, reinterpret_cast<uint8_t*>(dst), static_cast<size_t>(dst_len));
    return w.stop == Stop::MALFORMED ? 0 : as_result(w.count);
}

int32_t wide_to_latin1(String16 src, size_t len, char* dst, int32_t dst_len) {
    size_t k = 0;
    if (!dst) {
        for (size_t i = 0; i < len; i++) k += src[i] <= 0xFF;
        return as_result(k);
    }
    auto room = static_cast<size_t>(dst_len > 0 ? dst_len : 0);
    for (size_t i = 0; i < len && k < room; i++)
        if (src[i] <= 0xFF) dst[k++] = static_cast<char>(src[i]);
    return as_result(k);
}

int32_t utf8_to_wide(const char* src, size_t len, char16_t* dst, int32_t dst_len) {
    auto bytes = reinterpret_cast<const uint8_t*>(src);
    if (!dst) return as_result(decode_utf8<false>(bytes, len, nullptr, 0).count);
    if (dst_len <= 0) return 0;
    Walk w = decode_utf8<true>(bytes, len, dst, static_cast<size_t>(dst_len));
    return w.stop == Stop::MALFORMED ? 0 : as_result(w.count);
}

int32_t latin1_to_wide(const char* src, size_t len, char16_t* dst, int32_t dst_len) {
    if (!dst) return as_result(len);
    size_t room = static_cast<size_t>(dst_len > 0 ? dst_len : 0);
    size_t n = room < len ? room : len;
    for (size_t i = 0; i < n; i++) dst[i] = static_cast<uint8_t>(src[i]);
    return as_result(n);
}

// Units that the UTF-8 text up to its terminator decodes to, and the units
// themselves at dst when dst is given (room for that many is assumed). The
// terminator itself is left out, so that a lead byte at the very end cannot
// swallow it as a continuation.
size_t decode_text(const char* text, char16_t* dst) {
    auto bytes = reinterpret_cast<const uint8_t*>(text);
    size_t len = std::strlen(text);
    if (!dst) return decode_utf8<false>(bytes, len, nullptr, 0).count;
    return decode_utf8<true>(bytes, len, dst, SIZE_MAX).count;
}

// Both UTF-8 wrappers size their buffer by counting first. Counting stops
// quietly before a broken surrogate pair, so the conversion is given one
// byte more than the count: it then reaches the broken pair and fails, and
// such a string becomes the empty text rather than a silently cut one.
template <void* (*Allocate)(size_t)>
char* utf8_copy(String16 s) {
    size_t units = static_cast<size_t>(str_len(s)) + 1;
    int32_t n = s ? wide_to_bytes(CODEPAGE_UTF8, 0, s, static_cast<int32_t>(units), nullptr, 0, 0, 0) : 0;
    auto* buffer = static_cast<char*>(Allocate(static_cast<size_t>(n > 0 ? n : 0) + 1));
    if (!buffer) return nullptr;
    int32_t k = n > 0 ? wide_to_bytes(CODEPAGE_UTF8, 0, s, static_cast<int32_t>(units), buffer, n + 1, 0, 0) : 0;
    buffer[k] = 0;
    return buffer;
}

void* glib_allocate(size_t size) { return g_try_malloc(size); }
void* heap_allocate(size_t size) { return std::malloc(size); }

}  // namespace

int32_t wide_to_bytes(int32_t codepage, uint32_t, String16 src, int32_t src_len, char* dst, int32_t dst_len,
                      int32_t, int32_t) {
    if (codepage != CODEPAGE_UTF8 && codepage != CODEPAGE_LATIN1) return 0;
    // A null string is the empty string: its terminator is all there is.
    static constexpr char16_t EMPTY[1] = {0};
    if (!src) {
        src = EMPTY;
        if (src_len > 1) src_len = 1;
    }
    size_t len = resolve_units(src, src_len);
    if (codepage == CODEPAGE_UTF8) return wide_to_utf8(src, len, dst, dst_len);
    return wide_to_latin1(src, len, dst, dst_len);
}

int32_t bytes_to_wide(int32_t codepage, uint32_t, const char* src, int32_t src_len, char16_t* dst, int32_t dst_len) {
    if (codepage != CODEPAGE_UTF8 && codepage != CODEPAGE_LATIN1) return 0;
    if (!src) return 0;
    size_t len = resolve_bytes(src, src_len);
    if (codepage == CODEPAGE_UTF8) return utf8_to_wide(src, len, dst, dst_len);
    return latin1_to_wide(src, len, dst, dst_len);
}

char* to_toolkit_text(String16 s) {
    char* text = utf8_copy<glib_allocate>(s);
    return text ? text : g_strdup("");
}

void toolkit_text_free(char* text) { g_free(text); }

char* to_utf8_alloc(String16 s) {
    char* text = utf8_copy<heap_allocate>(s);
    return text ? text : static_cast<char*>(std::calloc(1, 1));
}

void utf8_free(char* text) { std::free(text); }

void from_toolkit_text(const char* text, int32_t at) {
    if (!text) text = "";
    size_t n = decode_text(text, nullptr);
    // Units beyond what the scratch can address are not decoded at all.
    if (n > INT32_MAX / 4) n = 0;
    char16_t* d = scratch_reserve(static_cast<int32_t>(n), at);
    if (n) decode_text(text, d);
    d[n] = 0;
}

char16_t* utf8_to_string_alloc(const char* text) {
    if (!text) text = "";
    size_t n = decode_text(text, nullptr);
    auto* s = static_cast<char16_t*>(std::malloc((n + 1) * sizeof(char16_t)));
    if (!s) return nullptr;
    if (n) decode_text(text, s);
    s[n] = 0;
    return s;
}

namespace {

char* convert_or_copy(const char* text, const char* to, const char* from) {
    if (!text) return g_strdup("");
    gsize read = 0;
    char* converted = g_convert(text, -1, to, from, &read, nullptr, nullptr);
    return converted ? converted : g_strdup(text);
}

}  // namespace

char* utf8_to_iso8859_15(const char* text) { return convert_or_copy(text, "ISO-8859-15", "UTF-8"); }

char* iso8859_15_to_utf8(const char* text) { return convert_or_copy(text, "UTF-8", "ISO-8859-15"); }
