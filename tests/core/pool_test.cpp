#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <deque>
#include <vector>

#include "runtime/core/pool.h"

namespace {

int count_blocks(const PoolBlock* head) {
    int n = 0;
    for (; head; head = head->next) n++;
    return n;
}

TEST(Pool, StrideIsElementPlusLinkWordRounded) {
    const struct { int32_t size; int32_t stride; } cases[] = {{1, 16}, {8, 16}, {9, 24}, {28, 40}, {48, 56}};
    for (auto c : cases) {
        SCOPED_TRACE(c.size);
        ElementPool* pool = pool_new(c.size, 16, 256, 2);
        ASSERT_NE(pool, nullptr);
        EXPECT_EQ(pool->stride, c.stride);
        EXPECT_EQ(pool->locked, 0u);
        pool_destroy(pool);
    }
    EXPECT_EQ(pool_new(0, 16, 256, 0), nullptr);
    EXPECT_EQ(pool_new(8, 0, 256, 0), nullptr);
}

TEST(Pool, BlocksAreMadeOnDemandAndReleasedWhenAllBack) {
    ElementPool* pool = pool_new(28, 16, 256, 2);
    void* one = pool_take(pool);
    EXPECT_EQ(pool->total_capacity, 16);
    EXPECT_EQ(pool->open_blocks->carved, 1);
    pool_give(pool, one);
    EXPECT_EQ(pool->total_capacity, 0);
    EXPECT_EQ(pool->open_blocks, nullptr);

    std::vector<void*> held;
    for (int i = 0; i < 16; i++) held.push_back(pool_take(pool));
    EXPECT_EQ(pool->total_capacity, 16);
    held.push_back(pool_take(pool));  // the 17th makes a second block of 16
    EXPECT_EQ(pool->total_capacity, 32);
    EXPECT_EQ(count_blocks(pool->full_blocks), 1);
    EXPECT_EQ(count_blocks(pool->open_blocks), 1);

    // A give-back to a used-up block reopens it at the head; the same slot comes back next.
    void* back = held[3];
    pool_give(pool, back);
    EXPECT_EQ(count_blocks(pool->full_blocks), 0);
    EXPECT_EQ(count_blocks(pool->open_blocks), 2);
    EXPECT_EQ(pool_take(pool), back);
    for (void* e : held) pool_give(pool, e);
    EXPECT_EQ(pool->total_capacity, 0);
    pool_destroy(pool);
}

TEST(Pool, FreshElementsAreZeroAndDistinct) {
    ElementPool* pool = pool_new(48, 16, 256, 0);
    std::vector<unsigned char*> held;
    for (int i = 0; i < 40; i++) {
        auto* e = static_cast<unsigned char*>(pool_take(pool));
        for (int b = 0; b < 48; b++) ASSERT_EQ(e[b], 0);
        std::memset(e, i + 1, 48);
        held.push_back(e);
    }
    for (int i = 0; i < 40; i++) EXPECT_EQ(held[i][47], i + 1);  // no overlaps
    pool_give(pool, held[39]);
    auto* z = static_cast<unsigned char*>(pool_take_zeroed(pool));
    EXPECT_EQ(z, held[39]);
    for (int b = 0; b < 48; b++) EXPECT_EQ(z[b], 0);
    pool_destroy(pool);  // releases the blocks still held
}

TEST(Pool, BlockCapacityFollowsThePoolSize) {
    ElementPool* pool = pool_new(8, 16, 256, 0);
    std::vector<void*> held;
    while (pool->total_capacity < 512) held.push_back(pool_take(pool));
    EXPECT_EQ(pool->total_capacity, 512);  // 32 blocks of 16
    while (static_cast<int>(held.size()) < pool->total_capacity) held.push_back(pool_take(pool));
    held.push_back(pool_take(pool));
    EXPECT_EQ(pool->total_capacity, 512 + 32);  // 16 x 512/256
    while (pool->total_capacity < 4096) held.push_back(pool_take(pool));
    while (static_cast<int>(held.size()) < pool->total_capacity) held.push_back(pool_take(pool));
    int32_t before = pool->total_capacity;
    held.push_back(pool_take(pool));
    EXPECT_EQ(pool->total_capacity - before, 256);  // capped by max_per_block
    pool_clear(pool);
    EXPECT_EQ(pool->total_capacity, 0);
    pool_destroy(pool);
}

TEST(Pool, OneSlotBlocksGoStraightToFullAndAreReleasedFromThere) {
    ElementPool* pool = pool_new(16, 1, 1, 0);
    void* a = pool_take(pool);
    void* b = pool_take(pool);
    EXPECT_EQ(count_blocks(pool->full_blocks), 2);
    pool_give(pool, b);  // b's block is the head of the full list
    pool_give(pool, a);
    EXPECT_EQ(pool->full_blocks, nullptr);
    EXPECT_EQ(pool->total_capacity, 0);
    pool_destroy(pool);
}

TEST(Pool, OneElementHeldForGoodKeepsTheFirstBlock) {
    ElementPool* pool = pool_new(32, 16, 256, 2);
    void* kept = pool_take(pool);
    std::deque<void*> fifo;
    for (int i = 0; i < 1000; i++) {
        fifo.push_back(pool_take(pool));
        if (fifo.size() > 15) {
            pool_give(pool, fifo.front());
            fifo.pop_front();
        }
    }
    EXPECT_GE(pool->total_capacity, 16);
    for (void* e : fifo) pool_give(pool, e);
    EXPECT_EQ(pool->total_capacity, 16);
    pool_give(pool, kept);
    EXPECT_EQ(pool->total_capacity, 0);
    pool_destroy(pool);
}

TEST(Pool, SharedPoolsAreCountedByStrideAndFlags) {
    ElementPool* a = pool_new(26, 16, 256, POOL_SHARED);
    ElementPool* b = pool_new(28, 16, 256, POOL_SHARED);
    ElementPool* c = pool_new(28, 16, 256, POOL_SHARED | POOL_LOCKED);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a->shared_entry->ref_count, 2);
    EXPECT_EQ(c->locked, 1u);
    pool_destroy(a);
    void* e = pool_take(b);  // still usable after the first destroy
    pool_give(b, e);
    pool_destroy(b);
    ElementPool* fresh = pool_new(28, 16, 256, POOL_SHARED);
    EXPECT_EQ(fresh->shared_entry->ref_count, 1);
    pool_destroy(fresh);
    pool_destroy(c);
}

TEST(Pool, LockedPoolServesSeveralThreads) {
    static ElementPool* pool = pool_new(24, 16, 256, POOL_LOCKED);
    std::vector<pthread_t> threads(4);
    for (auto& t : threads)
        pthread_create(&t, nullptr, [](void*) -> void* {
            std::vector<void*> mine;
            for (int round = 0; round < 200; round++) {
                for (int i = 0; i < 50; i++) mine.push_back(pool_take(pool));
                for (void* e : mine) pool_give(pool, e);
                mine.clear();
            }
            return nullptr;
        }, nullptr);
    for (auto& t : threads) pthread_join(t, nullptr);
    EXPECT_EQ(pool->total_capacity, 0);
    pool_destroy(pool);
}

}  // namespace
