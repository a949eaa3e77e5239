// The image decoder chain: an ordered table of decoders and the one context
// record that a try, its size queries and its decode share.
//
// A source is offered to each registered decoder in turn; the first whose
// check recognises it describes the image in the context and later writes its
// pixels as rows of 24-bit red, green, blue into the caller's buffer.
// Sequence for one load: decoder_try_memory (or decoder_try_stream); when it
// returns 1, the four accessors; then decoder_decode, or decoder_finish to
// abandon the source. One sequence must end before the next try starts; a try
// that finds one still open finishes it first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct DecoderContext;

// One decoder: three operations, called only by the chain.
struct ImageDecoder {
    // Non-zero when the decoder recognises the source and has set width,
    // height, depth and source_depth; on 0 it has freed all it allocated.
    int32_t (*check)(DecoderContext* context);
    // Writes height rows of width pixels, row r at destination + r * pitch.
    // `value` is passed through from the caller unchanged.
    int32_t (*decode)(DecoderContext* context, uint8_t* destination, int32_t pitch, int32_t value);
    // Frees what check allocated; called once after every successful check.
    void (*cleanup)(DecoderContext* context);
};

constexpr int32_t DECODER_PRIVATE_WORDS = 8;

struct DecoderContext {
    const ImageDecoder* decoder;  // the one that recognised the source
    FILE* stream_source;          // owned by the context until the load ends
    const void* memory;           // only read, never written
    size_t memory_size;
    int32_t from_memory;          // 1 memory source, 0 stream source
    int32_t width;
    int32_t height;
    int32_t depth;                // bits per pixel that decode writes
    uintptr_t private_words[DECODER_PRIVATE_WORDS];  // cleared before each check
    int32_t source_depth;
};

// Room in the decoder table; registering beyond it is refused.
constexpr int32_t DECODER_CAPACITY = 8;

// Empties the decoder chain and makes the decoder context block.
void decoders_start();

// Appends a decoder; returns the number now registered, or 0 when the table
// is full or the decoder is null.
int32_t decoder_register(const ImageDecoder* decoder);

// Offers `size` bytes at `address` to the chain: 1 when a decoder recognised
// them, else 0. The bytes must stay unchanged until the load ends.
int32_t decoder_try_memory(const void* address, size_t size);

// Offers an open stream to the chain, which takes it over: it is closed when
// the load ends, or at once when no decoder recognises it. 1 or 0 as above.
int32_t decoder_try_stream(FILE* stream);

// The recognised image's description; all 0 after a failed try.
int32_t decoder_width();
int32_t decoder_height();
int32_t decoder_depth();
int32_t decoder_source_depth();

// Decodes into `height` rows of `pitch` bytes, then finishes the load. Returns
// the decoder's result, or 0 when no source is open.
int32_t decoder_decode(uint8_t* destination, int32_t pitch, int32_t value);

// Ends the load without decoding.
void decoder_finish();
