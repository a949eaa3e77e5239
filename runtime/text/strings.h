// Strings: 16-bit string values, the one string scratch in which string
// results are built, and the string functions.
//
// A String16 is a sequence of UTF-16 code units ended by a 0 unit; a null
// String16 reads as the empty string everywhere. A string variable is a
// String16 pointer that owns a plain-heap buffer of len * 2 + 10 bytes (the
// text, its terminator and 8 spare bytes), or null for the empty string.
//
// Result-position protocol: every operation that yields a string takes, as
// its last argument, the scratch byte offset `at` where its result must begin
// (callers pass scratch.pos). It writes the result there, terminated, and
// leaves scratch.pos on the terminator. An expression ends with
// scratch_assign, which moves [start, pos) into a variable and rewinds pos.
#pragma once

#include <cstdint>

using String16 = const char16_t*;
using StringVar = char16_t*;

struct StringScratch {
    char* base;
    int32_t capacity;  // bytes that growth decisions compare against
    int32_t pos;       // byte offset of the current result's terminator
};

extern StringScratch scratch;

// Sets up the scratch area in which string results are built.
void strings_start();

// Room for n units (plus a terminator) at byte offset `at`; pos becomes
// at + 2n. The area may move: pointers into it are stale afterwards. Never
// null: running out of heap here ends the process.
char16_t* scratch_reserve(int32_t n, int32_t at);
// Appends s at pos. Results of string functions are already in place and
// are not appended; a temporary that is appended anyway is re-found after
// the area moves.
void scratch_append(String16 s);
// Moves [start, pos) into *var and rewinds pos to start. When the heap
// cannot hold the value, *var keeps its old value.
void scratch_assign(StringVar* var, int32_t start);
// p - base + 1 when p lies in [base, base + pos], else 0.
intptr_t scratch_offset_of(const void* p);
char16_t* scratch_pointer_of(intptr_t offset);

// Copies n units and writes a terminator at dst[n]; reads no more than n
// units. dst and src may overlap.
void str_copy_units(char16_t* dst, String16 src, int32_t n);
// Returns the new value's byte size including its terminator, or 0 (old
// value kept) when the heap cannot hold it. s may lie in *var's own buffer.
int32_t str_assign(StringVar* var, String16 s);
// Gives *var a fresh copy of s without looking at its old value.
void str_init_copy(StringVar* var, String16 s);
int32_t str_len(String16 s);
void str_left(String16 s, int32_t n, int32_t at);
int32_t str_equal(String16 a, String16 b);
// Blanks, an optional sign, then decimal, $hex or %binary digits; wraps
// modulo 2^64.
int64_t str_to_number(String16 s);
// At most 12 bytes, terminated.
void int_to_decimal(int32_t value, char* out);
