// The converters' fast paths, one set per instruction-set level, chosen
// once from what the processor offers.
//
// A kernel advances the source position i and the output count k over whole
// code points that it can prove the exact rules treat plainly, and returns
// at the start of a code point as soon as it cannot prove that (odd input, a
// cut at the end of the source, too little room left). It never stores past
// `room` nor reads past `len`. Whatever it leaves is the exact rules' work,
// so a kernel changes only the speed of a conversion, never its result.
#pragma once

#include <cstddef>
#include <cstdint>

struct UtfKernels {
    // UTF-8 bytes to UTF-16 units: count only, or store.
    void (*count_utf8)(const uint8_t* src, size_t len, size_t& i, size_t& k);
    void (*decode_utf8)(const uint8_t* src, size_t len, char16_t* dst, size_t room, size_t& i, size_t& k);
    // UTF-16 units to UTF-8 bytes: count only, or store.
    void (*count_utf16)(const char16_t* src, size_t len, size_t& i, size_t& k);
    void (*encode_utf16)(const char16_t* src, size_t len, uint8_t* dst, size_t room, size_t& i, size_t& k);
    // Source units the exact rules handle after a kernel returns before the
    // kernel is tried again. Wide kernels look at whole chunks, so calling
    // them again right after the code point that stopped them would only
    // stop them again at the same chunk.
    size_t retry_after;
};

enum class KernelLevel { BASELINE, AVX2, AVX512 };

// The kernels in use; the best level the processor supports unless a test
// has picked another.
const UtfKernels& utf_kernels();
// Makes `level` the one in use; false (and no change) when the processor
// lacks it. Lets tests and fuzzers hold every level to the same results.
bool utf_kernels_select(KernelLevel level);

extern const UtfKernels BASELINE_KERNELS;
#if defined(__x86_64__)
extern const UtfKernels AVX2_KERNELS;
bool avx2_kernels_supported();
extern const UtfKernels AVX512_KERNELS;
bool avx512_kernels_supported();
#endif
