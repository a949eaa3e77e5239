// Fuzzes the decoder chain from memory: any bytes may be tried, and an
// accepted image is decoded into a buffer of exactly its rows, so a write
// outside them or a read past the input is reported by the sanitizers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"

namespace {

// Large images are valid but make each run slow; they teach nothing that a
// small one does not.
constexpr int64_t MAX_FUZZ_PIXELS = 1 << 20;

bool start_chain() {
    decoders_start();
    bmp_decoder_register();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = start_chain();
    (void)started;
    if (!decoder_try_memory(data, size)) return 0;
    int64_t width = decoder_width(), height = decoder_height();
    if (width * height > MAX_FUZZ_PIXELS) {
        decoder_finish();
        return 0;
    }
    int32_t pitch = static_cast<int32_t>(width * 3);
    auto* rows = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(pitch * height)));
    if (rows) decoder_decode(rows, pitch, 0);
    else decoder_finish();
    std::free(rows);
    return 0;
}
