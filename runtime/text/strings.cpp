// Strings: the one scratch area in which string expressions are built, string
// variables, and the string functions.
//
// An expression never allocates per operand: each operand is appended to the
// scratch and each string-yielding function writes its result in place at
// the position its caller hands it, so only the final assignment touches the
// variable's heap buffer. The scratch grows in large steps and never shrinks.
//
// Heap exhaustion: a variable whose buffer cannot be resized keeps its old
// value. The scratch cannot refuse a reservation, because every caller writes
// through the returned pointer at once; a half-built result could end up
// saved as the note, so running out of heap there ends the process instead.
#include "runtime/text/strings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

StringScratch scratch;

namespace {

constexpr int32_t SCRATCH_START_BYTES = 16;
constexpr int32_t SCRATCH_GROWTH = 16384;
// A variable's buffer holds its units, a terminator and this many spare bytes.
constexpr int32_t VARIABLE_SPARE = 8;
// The growth test keeps this many bytes free past a reservation, so the
// terminator always fits.
constexpr int32_t SCRATCH_SLACK = 4;

// The real size of the scratch area: capacity + 10 once it has grown.
size_t scratch_area_bytes = 0;

[[noreturn]] void scratch_exhausted() {
    std::fputs("papyro: out of memory for string results\n", stderr);
    std::abort();
}

bool lies_in_scratch(const void* p) {
    auto a = reinterpret_cast<uintptr_t>(p);
    auto b = reinterpret_cast<uintptr_t>(scratch.base);
    return scratch.base && a >= b && a < b + scratch_area_bytes;
}

size_t variable_bytes(int32_t len) { return static_cast<size_t>(len) * 2 + 2 + VARIABLE_SPARE; }

// Resizes *var for len units; on failure *var keeps its old buffer and value.
char16_t* resize_variable(StringVar* var, int32_t len) {
    void* grown = std::realloc(*var, variable_bytes(len));
    if (!grown) return nullptr;
    *var = static_cast<char16_t*>(grown);
    return *var;
}

}  // namespace

void strings_start() {
    std::free(scratch.base);  // a second start begins afresh rather than leaking
    scratch.base = static_cast<char*>(std::calloc(1, SCRATCH_START_BYTES));
    if (!scratch.base) scratch_exhausted();
    scratch.capacity = SCRATCH_START_BYTES;
    scratch.pos = 0;
    scratch_area_bytes = SCRATCH_START_BYTES;
}

char16_t* scratch_reserve(int32_t n, int32_t at) {
    if (n < 0) n = 0;
    // Growth is judged from the further of pos and at, so a result placed
    // beyond pos still fits; for the usual at <= pos this is pos alone.
    int64_t end = (at > scratch.pos ? at : scratch.pos) + int64_t{n} * 2;
    if (end >= scratch.capacity - SCRATCH_SLACK) {
        int64_t capacity = end + SCRATCH_GROWTH;
        if (capacity > INT32_MAX - 16) scratch_exhausted();
        size_t area = static_cast<size_t>(capacity) + 10;
        void* grown = std::realloc(scratch.base, area);
        if (!grown) scratch_exhausted();
        scratch.base = static_cast<char*>(grown);
        scratch.capacity = static_cast<int32_t>(capacity);
        scratch_area_bytes = area;
    }
    scratch.pos = at + n * 2;
    return reinterpret_cast<char16_t*>(scratch.base + at);
}

void scratch_append(String16 s) {
    if (!s) {
        *scratch_reserve(0, scratch.pos) = 0;
        return;
    }
    // Appending a temporary of the same expression is tolerated: it is
    // re-found after the area may have moved.
    intptr_t inside = lies_in_scratch(s) ? reinterpret_cast<const char*>(s) - scratch.base : -1;
    int32_t len = str_len(s);
    char16_t* d = scratch_reserve(len, scratch.pos);
    if (inside >= 0) s = reinterpret_cast<String16>(scratch.base + inside);
    str_copy_units(d, s, len);
}

void scratch_assign(StringVar* var, int32_t start) {
    int32_t units = scratch.pos > start ? (scratch.pos - start) / 2 : 0;
    char16_t* buffer = resize_variable(var, units);
    if (buffer) str_copy_units(buffer, reinterpret_cast<String16>(scratch.base + start), units);
    scratch.pos = start;
}

intptr_t scratch_offset_of(const void* p) {
    auto a = reinterpret_cast<uintptr_t>(p);
    auto b = reinterpret_cast<uintptr_t>(scratch.base);
    if (!scratch.base || a < b || a > b + static_cast<uintptr_t>(scratch.pos)) return 0;
    return static_cast<intptr_t>(a - b) + 1;
}

char16_t* scratch_pointer_of(intptr_t offset) {
    return reinterpret_cast<char16_t*>(scratch.base + offset - 1);
}

void str_copy_units(char16_t* dst, String16 src, int32_t n) {
    if (n > 0) std::memmove(dst, src, static_cast<size_t>(n) * 2);
    dst[n > 0 ? n : 0] = 0;
}

int32_t str_assign(StringVar* var, String16 s) {
    if (!s) {
        std::free(*var);
        *var = nullptr;
        return 2;
    }
    int32_t len = str_len(s);
    // A source inside the variable's own buffer is a tail of its value, so
    // it is moved to the front before the buffer shrinks under it.
    auto from = reinterpret_cast<uintptr_t>(*var), at = reinterpret_cast<uintptr_t>(s);
    if (*var && at >= from && at <= from + static_cast<uintptr_t>(str_len(*var)) * 2) {
        str_copy_units(*var, s, len);
        resize_variable(var, len);
        return len * 2 + 2;
    }
    char16_t* buffer = resize_variable(var, len);
    if (!buffer) return 0;
    str_copy_units(buffer, s, len);
    return len * 2 + 2;
}

void str_init_copy(StringVar* var, String16 s) {
    if (!s) return;
    int32_t len = str_len(s);
    *var = static_cast<char16_t*>(std::malloc(variable_bytes(len)));
    if (*var) str_copy_units(*var, s, len);
}

int32_t str_len(String16 s) {
    if (!s) return 0;
    String16 p = s;
    while (*p) p++;
    return static_cast<int32_t>(p - s);
}

void str_left(String16 s, int32_t n, int32_t at) {
    int32_t len = str_len(s);
    if (n < 0) n = 0;
    if (len > n) len = n;
    // The source may be a temporary in the scratch, even one starting at at.
    intptr_t inside = lies_in_scratch(s) ? reinterpret_cast<const char*>(s) - scratch.base : -1;
    char16_t* d = scratch_reserve(len, at);
    if (inside >= 0) s = reinterpret_cast<String16>(scratch.base + inside);
    str_copy_units(d, s, len);
}

int32_t str_equal(String16 a, String16 b) {
    if (!a) a = u"";
    if (!b) b = u"";
    for (;; a++, b++) {
        if (*a != *b) return 0;
        if (!*a) return 1;
    }
}

namespace {

// Digit value of u in the given base, or -1.
int digit_of(char16_t u, int base) {
    int d = -1;
    if (u >= u'0' && u <= u'9') d = u - u'0';
    else if (u >= u'a' && u <= u'f') d = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F') d = u - u'A' + 10;
    return d < base ? d : -1;
}

}  // namespace

int64_t str_to_number(String16 s) {
    if (!s) return 0;
    while (*s == u' ' || *s == u'\t') s++;
    bool negative = *s == u'-';
    if (*s == u'-' || *s == u'+') s++;
    int base = 10;
    if (*s == u'$') base = 16;
    if (*s == u'%') base = 2;
    if (base != 10) s++;
    // Unsigned arithmetic gives the 64-bit wrap-around without overflow.
    uint64_t value = 0;
    for (int d; (d = digit_of(*s, base)) >= 0; s++) value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    if (negative) value = 0 - value;
    return static_cast<int64_t>(value);
}

void int_to_decimal(int32_t value, char* out) {
    // The magnitude is taken in 64 bits so that -2147483648 has one.
    int64_t magnitude = value;
    if (magnitude < 0) {
        *out++ = '-';
        magnitude = -magnitude;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    while (count) *out++ = digits[--count];
    *out = 0;
}
