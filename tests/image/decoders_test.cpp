// The decoder chain with recording decoders: the order of the offers, what
// each check sees, and how a load ends.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"
#include "tests/image/bmp_builder.h"

namespace {

struct Seen {
    const void* memory;
    size_t memory_size;
    bool private_clear;
};

std::vector<Seen> seen;
int32_t recognise = 0;
int cleanups = 0;
int decodes = 0;

int32_t recording_check(DecoderContext* c) {
    bool clear = true;
    for (uintptr_t word : c->private_words) clear = clear && word == 0;
    seen.push_back({c->memory, c->memory_size, clear});
    std::memset(c->private_words, 0xAB, sizeof c->private_words);  // dirt the next check must not see
    if (recognise) {
        c->width = 7;
        c->height = 3;
        c->depth = 24;
        c->source_depth = 2;
    }
    return recognise;
}

int32_t recording_decode(DecoderContext*, uint8_t*, int32_t, int32_t value) {
    decodes++;
    return value;
}

void recording_cleanup(DecoderContext*) { cleanups++; }

const ImageDecoder RECORDING = {recording_check, recording_decode, recording_cleanup};

class Chain : public ::testing::Test {
protected:
    void SetUp() override {
        decoders_start();
        seen.clear();
        recognise = cleanups = decodes = 0;
    }
};

TEST_F(Chain, RegisterCountsUpToCapacityAndRefusesBeyond) {
    EXPECT_EQ(bmp_decoder_register(), 1);
    for (int32_t n = 2; n <= DECODER_CAPACITY; n++) EXPECT_EQ(decoder_register(&RECORDING), n);
    EXPECT_EQ(decoder_register(&RECORDING), 0);
    EXPECT_EQ(decoder_register(nullptr), 0);
    decoders_start();
    EXPECT_EQ(decoder_register(&RECORDING), 1);
}

TEST_F(Chain, ARejectedSourceGoesToTheNextDecoderWithCleanPrivateWords) {
    bmp_decoder_register();
    ASSERT_EQ(decoder_register(&RECORDING), 2);
    decoder_register(&RECORDING);
    // Starts like a BMP, so the BMP check gets far enough to use its words.
    bmp_test::Bytes block = bmp_test::make_bmp({});
    bmp_test::put16(block, 28, 2);
    EXPECT_EQ(decoder_try_memory(block.data(), block.size()), 0);
    ASSERT_EQ(seen.size(), 2u);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.memory, block.data());
        EXPECT_EQ(s.memory_size, block.size());
        EXPECT_TRUE(s.private_clear);
    }
}

TEST_F(Chain, AccessorsFollowTheLastTry) {
    decoder_register(&RECORDING);
    uint8_t byte = 0;
    recognise = 1;
    ASSERT_EQ(decoder_try_memory(&byte, 1), 1);
    EXPECT_EQ(decoder_width(), 7);
    EXPECT_EQ(decoder_height(), 3);
    EXPECT_EQ(decoder_depth(), 24);
    EXPECT_EQ(decoder_source_depth(), 2);
    recognise = 0;
    EXPECT_EQ(decoder_try_memory(&byte, 1), 0);
    EXPECT_EQ(decoder_width(), 0);
    EXPECT_EQ(decoder_source_depth(), 0);
}

TEST_F(Chain, DecodeHandsOverTheValueAndFinishesOnce) {
    decoder_register(&RECORDING);
    uint8_t byte = 0;
    recognise = 1;
    ASSERT_EQ(decoder_try_memory(&byte, 1), 1);
    EXPECT_EQ(decoder_decode(&byte, 3, 42), 42);
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(decoder_decode(&byte, 3, 42), 0);  // nothing open any more
    decoder_finish();
    EXPECT_EQ(decodes, 1);
    EXPECT_EQ(cleanups, 1);
}

TEST_F(Chain, ANewTryEndsALoadLeftOpen) {
    decoder_register(&RECORDING);
    uint8_t byte = 0;
    recognise = 1;
    ASSERT_EQ(decoder_try_memory(&byte, 1), 1);
    ASSERT_EQ(decoder_try_memory(&byte, 1), 1);
    EXPECT_EQ(cleanups, 1);
    decoder_finish();
    EXPECT_EQ(cleanups, 2);
}

TEST_F(Chain, EmptyChainRecognisesNothing) {
    uint8_t byte = 0;
    EXPECT_EQ(decoder_try_memory(&byte, 1), 0);
    EXPECT_EQ(decoder_decode(&byte, 3, 1), 0);
    decoder_finish();
}

}  // namespace
