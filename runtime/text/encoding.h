// Converters between UTF-16 code units and bytes (UTF-8 or Latin-1), and the
// wrappers through which every text reaches the toolkit or the C library.
#pragma once

#include <cstdint>

#include "runtime/text/strings.h"

constexpr int32_t CODEPAGE_LATIN1 = 0;
constexpr int32_t CODEPAGE_UTF8 = 65001;

// A null dst counts instead of converting. src_len -1: the whole text and
// its terminator. Returns bytes written (or counted); 0 on failure. Only
// whole code points are written, never more than dst_len bytes.
int32_t wide_to_bytes(int32_t codepage, uint32_t flags, String16 src, int32_t src_len, char* dst,
                      int32_t dst_len, int32_t reserved1, int32_t reserved2);
// Returns units written (or counted); 0 on failure.
int32_t bytes_to_wide(int32_t codepage, uint32_t flags, const char* src, int32_t src_len, char16_t* dst,
                      int32_t dst_len);

// New UTF-8 text on the GLib heap, never null; toolkit_text_free releases it.
char* to_toolkit_text(String16 s);
void toolkit_text_free(char* text);
// New UTF-8 text on the C heap, never null; utf8_free releases it.
char* to_utf8_alloc(String16 s);
void utf8_free(char* text);
// UTF-8 from the toolkit into the scratch at `at` (result-position protocol).
// Text that does not decode to its end yields the units decoded before the
// stop, terminated.
void from_toolkit_text(const char* text, int32_t at);
// New String16 on the C heap, terminated like from_toolkit_text's result;
// the caller frees it. Null only when the heap is exhausted.
char16_t* utf8_to_string_alloc(const char* text);
// Through GLib's converter; results on the GLib heap.
char* utf8_to_iso8859_15(const char* text);
char* iso8859_15_to_utf8(const char* text);
