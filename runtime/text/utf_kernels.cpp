// The baseline kernels, built on the sixteen-unit blocks that every x86-64
// (and, unvectorised, every other processor) can run, and the choice of the
// kernels in use.
#include "runtime/text/utf_kernels.h"

#include "runtime/text/utf_blocks.h"

namespace {

// Counting takes any plain block; storing takes ASCII, and the ASCII run
// before the first byte that needs decoding.
void count_utf8_blocks(const uint8_t* src, size_t len, size_t& i, size_t& k) {
    while (len - i >= BLOCK) {
        uint32_t used = 0;
        int units = utf8_block_units(src + i, &used);
        if (units < 0) return;
        i += used;
        k += static_cast<size_t>(units);
    }
}

void decode_utf8_blocks(const uint8_t* src, size_t len, char16_t* dst, size_t room, size_t& i, size_t& k) {
    while (len - i >= BLOCK && room - k >= BLOCK) {
        uint32_t high = high_bytes_mask(src + i);
        if (high) {
            for (auto plain = static_cast<uint32_t>(__builtin_ctz(high)); plain > 0; plain--) dst[k++] = src[i++];
            return;
        }
        widen_ascii_block(src + i, dst + k);
        i += BLOCK;
        k += BLOCK;
    }
}

void count_utf16_blocks(const char16_t* src, size_t len, size_t& i, size_t& k) {
    while (len - i >= BLOCK) {
        uint32_t used = 0;
        int bytes = utf16_block_bytes(src + i, &used);
        if (bytes < 0) return;
        i += used;
        k += static_cast<size_t>(bytes);
    }
}

void encode_utf16_blocks(const char16_t* src, size_t len, uint8_t* dst, size_t room, size_t& i, size_t& k) {
    while (len - i >= BLOCK && room - k >= BLOCK) {
        uint32_t wide = non_ascii_units_mask(src + i);
        if (wide) {
            for (auto plain = static_cast<uint32_t>(__builtin_ctz(wide)); plain > 0; plain--)
                dst[k++] = static_cast<uint8_t>(src[i++]);
            return;
        }
        narrow_ascii_block(src + i, dst + k);
        i += BLOCK;
        k += BLOCK;
    }
}

const UtfKernels* best_kernels() {
#if defined(__x86_64__)
    if (avx512_kernels_supported()) return &AVX512_KERNELS;
    if (avx2_kernels_supported()) return &AVX2_KERNELS;
#endif
    return &BASELINE_KERNELS;
}

// Chosen on first use rather than at load time, so that a conversion made
// while other files' statics are initialised finds it set.
const UtfKernels* active = nullptr;

}  // namespace

// The storing block kernels stop at the first unit that needs the exact
// rules, so they are worth trying again after every code point.
const UtfKernels BASELINE_KERNELS = {count_utf8_blocks, decode_utf8_blocks, count_utf16_blocks, encode_utf16_blocks, 0};

const UtfKernels& utf_kernels() {
    if (!active) active = best_kernels();
    return *active;
}

bool utf_kernels_select(KernelLevel level) {
    const UtfKernels* chosen = level == KernelLevel::BASELINE ? &BASELINE_KERNELS : nullptr;
#if defined(__x86_64__)
    if (level == KernelLevel::AVX2 && avx2_kernels_supported()) chosen = &AVX2_KERNELS;
    if (level == KernelLevel::AVX512 && avx512_kernels_supported()) chosen = &AVX512_KERNELS;
#endif
    if (!chosen) return false;
    active = chosen;
    return true;
}
