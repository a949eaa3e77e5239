// The BMP decoder of the image decoder chain.
//
// Reads 1-, 4- and 8-bit palette images (4- and 8-bit also run-length
// encoded), 16- and 32-bit images with default or explicit channel masks, and
// 24-bit images, under the 12-byte OS/2 header and the 16- to 124-byte ones.
// What it cannot decode faithfully it does not recognise, so the chain can
// offer it to the next decoder.
#pragma once

#include <cstdint>

#include "runtime/image/decoders.h"

// Registers the BMP decoder in the chain; returns the chain's result.
int32_t bmp_decoder_register();

// 1 when the source is a BMP image this decoder can decode, else 0.
int32_t bmp_check(DecoderContext* context);
// Writes the rows as 24-bit red, green, blue, top row first. Pixels that the
// data never sets (skipped by run-length codes, or cut off by the end of the
// data) keep what the destination held. 0 when the destination is null or its
// pitch cannot hold a row; 1 otherwise.
int32_t bmp_decode(DecoderContext* context, uint8_t* destination, int32_t pitch, int32_t value);
// Frees the copy of a stream source that bmp_check made.
void bmp_cleanup(DecoderContext* context);
