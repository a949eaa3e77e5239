#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "runtime/core/memory.h"

namespace {

bool all_zero(const void* p, size_t from, size_t to) {
    auto* b = static_cast<const unsigned char*>(p);
    for (size_t i = from; i < to; i++)
        if (b[i]) return false;
    return true;
}

TEST(Memory, AllocIsZeroFilledAlignedAndSized) {
    for (int32_t size : {0, 1, 10, 4096}) {
        SCOPED_TRACE(size);
        void* b = mem_alloc(size);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
        EXPECT_EQ(mem_size(b), size);
        EXPECT_TRUE(all_zero(b, 0, static_cast<size_t>(size)));
        mem_free(b);
    }
    EXPECT_EQ(mem_alloc(-1), nullptr);
}

TEST(Memory, ResizeZeroFillsGrowthAndKeepsLeadingBytes) {
    EXPECT_EQ(mem_resize(nullptr, 8), nullptr);
    auto* b = static_cast<unsigned char*>(mem_alloc(10));
    std::memset(b, 0xAB, 10);
    b = static_cast<unsigned char*>(mem_resize(b, 20));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b[9], 0xAB);
    EXPECT_TRUE(all_zero(b, 10, 20));
    b = static_cast<unsigned char*>(mem_resize(b, 4));
    EXPECT_EQ(mem_size(b), 4);
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(b[3], 0xAB);
    // Shrinking then growing again zero-fills the regained bytes.
    b = static_cast<unsigned char*>(mem_resize(b, 12));
    EXPECT_TRUE(all_zero(b, 4, 12));
    mem_free(b);
    mem_free(nullptr);
}

TEST(Memory, ListFreeReleasesEveryNodeAndClearsTheHead) {
    void* head = nullptr;
    for (int i = 0; i < 3; i++) {
        void* node = mem_alloc(32);
        *static_cast<void**>(node) = head;
        head = node;
    }
    mem_list_free(&head);  // leaks would show under the sanitizers
    EXPECT_EQ(head, nullptr);
}

TEST(Memory, ContextBlockIsInitialisedOnceAndReturnedAsItIs) {
    static int init_calls = 0;
    void* block = context_block_new(64, [](void* b) {
        init_calls++;
        EXPECT_TRUE(all_zero(b, 0, 64));
        static_cast<int*>(b)[0] = 42;
    }, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(init_calls, 1);
    EXPECT_EQ(context_block_get(block), block);
    EXPECT_EQ(static_cast<int*>(context_block_get(block))[0], 42);
    mem_free(block);
}

}  // namespace
