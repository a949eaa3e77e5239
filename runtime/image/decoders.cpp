// The decoder chain. The table and the context are the layer's only state;
// the context lives in a runtime context block so that every try reuses it.
#include "runtime/image/decoders.h"

#include <cstring>

#include "runtime/core/memory.h"

namespace {

struct DecoderTable {
    const ImageDecoder* decoders[DECODER_CAPACITY];
    int32_t count;
};

DecoderTable DECODER_TABLE;
void* context_block;

DecoderContext* context() {
    return static_cast<DecoderContext*>(context_block_get(context_block));
}

// Runs the checks on a context whose source fields are set.
int32_t offer(DecoderContext* ctx) {
    for (int32_t i = 0; i < DECODER_TABLE.count; i++) {
        std::memset(ctx->private_words, 0, sizeof ctx->private_words);
        if (DECODER_TABLE.decoders[i]->check(ctx)) {
            ctx->decoder = DECODER_TABLE.decoders[i];
            return 1;
        }
    }
    return 0;
}

// Clears the context for a new source, ending an open load first so that its
// decoder memory and stream are not lost.
DecoderContext* fresh_context() {
    DecoderContext* ctx = context();
    if (!ctx) return nullptr;
    decoder_finish();
    std::memset(ctx, 0, sizeof *ctx);
    return ctx;
}

}  // namespace

void decoders_start() {
    DECODER_TABLE.count = 0;
    if (!context_block) {
        context_block = context_block_new(sizeof(DecoderContext), nullptr, 0);
        return;
    }
    decoder_finish();
    std::memset(context(), 0, sizeof(DecoderContext));
}

int32_t decoder_register(const ImageDecoder* decoder) {
    if (!decoder || DECODER_TABLE.count >= DECODER_CAPACITY) return 0;
    DECODER_TABLE.decoders[DECODER_TABLE.count++] = decoder;
    return DECODER_TABLE.count;
}

int32_t decoder_try_memory(const void* address, size_t size) {
    DecoderContext* ctx = fresh_context();
    if (!ctx) return 0;
    ctx->from_memory = 1;
    ctx->memory = address;
    ctx->memory_size = size;
    return offer(ctx);
}

int32_t decoder_try_stream(FILE* stream) {
    DecoderContext* ctx = fresh_context();
    if (!ctx || !stream) {
        if (stream) std::fclose(stream);
        return 0;
    }
    ctx->stream_source = stream;
    if (offer(ctx)) return 1;
    std::fclose(stream);
    ctx->stream_source = nullptr;
    return 0;
}

int32_t decoder_width() { return context() ? context()->width : 0; }
int32_t decoder_height() { return context() ? context()->height : 0; }
int32_t decoder_depth() { return context() ? context()->depth : 0; }
int32_t decoder_source_depth() { return context() ? context()->source_depth : 0; }

int32_t decoder_decode(uint8_t* destination, int32_t pitch, int32_t value) {
    DecoderContext* ctx = context();
    if (!ctx || !ctx->decoder) return 0;
    int32_t result = ctx->decoder->decode(ctx, destination, pitch, value);
    decoder_finish();
    return result;
}

void decoder_finish() {
    DecoderContext* ctx = context();
    if (!ctx || !ctx->decoder) return;
    ctx->decoder->cleanup(ctx);
    ctx->decoder = nullptr;
    if (!ctx->from_memory && ctx->stream_source) {
        std::fclose(ctx->stream_source);
        ctx->stream_source = nullptr;
    }
}
