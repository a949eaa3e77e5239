// Element pools: fixed-size elements carved from larger blocks, so that
// records that come and go often cost no heap call each.
//
// Each element slot is a link word followed by the element. While the element
// is in use the link word names its block; while it is free it links the
// block's free list. A block is released as soon as every element it handed
// out is back, and new blocks grow with the pool (16 x total/256 slots, within
// the pool's bounds).
#pragma once

#include <pthread.h>

#include <cstdint>

constexpr uint32_t POOL_LOCKED = 1;  // own recursive mutex (only when bits 0-1 == 1)
constexpr uint32_t POOL_SHARED = 4;  // one reference-counted pool per (stride, flags)

struct SharedPoolEntry;

struct PoolBlock {
    PoolBlock* next;
    PoolBlock* prev;
    void** free_head;  // link word of the most recently given-back slot
    int32_t capacity;
    int32_t carved;    // slots handed out at least once
    int32_t free_count;
    int32_t on_full;   // which list holds the block
};

struct ElementPool {
    PoolBlock* full_blocks;
    PoolBlock* open_blocks;
    SharedPoolEntry* shared_entry;
    int32_t total_capacity;
    int32_t stride;  // element size plus the link word, rounded to the link word
    int32_t min_per_block;
    int32_t max_per_block;
    uint32_t locked;
    pthread_mutex_t mutex;
};

struct SharedPoolEntry {
    SharedPoolEntry* next;
    SharedPoolEntry* prev;
    ElementPool* pool;
    int32_t stride;
    uint32_t flags;
    int32_t ref_count;
};

// Null when memory runs out or the sizes are not positive.
ElementPool* pool_new(int32_t element_size, int32_t min_per_block, int32_t max_per_block, uint32_t flags);
// An element of the pool's size, or null when even a one-slot block cannot be had.
inline void* pool_take(ElementPool* pool);
void* pool_take_zeroed(ElementPool* pool);
// `element` must come from pool_take of this pool and not be given back yet.
inline void pool_give(ElementPool* pool, void* element);
// Releases every block; elements handed out become invalid.
void pool_clear(ElementPool* pool);
// Drops one reference of a shared pool, or releases the pool.
void pool_destroy(ElementPool* pool);

// Taking and giving back are inline: only a new block, a released block and
// locked pools go out of line.
void* pool_take_slow(ElementPool* pool);
void pool_give_slow(ElementPool* pool, void* element);

namespace pool_detail {

constexpr int LINK = sizeof(void*);
// Slots start after the block header, kept at 16 bytes so elements stay aligned.
constexpr int BLOCK_HEADER = (sizeof(PoolBlock) + 15) & ~15;

inline void unlink(PoolBlock** head, PoolBlock* block) {
    if (block->prev) {
        block->prev->next = block->next;
    } else {
        *head = block->next;
    }
    if (block->next) block->next->prev = block->prev;
    block->next = block->prev = nullptr;
}

inline void push(PoolBlock** head, PoolBlock* block) {
    block->prev = nullptr;
    block->next = *head;
    if (*head) (*head)->prev = block;
    *head = block;
}

// Hands out a slot of the head block of open_blocks, or null when that block
// has nothing left. A used-up block stays at the head until a take finds it
// so: a queue that hovers at a block's capacity then moves no block at all.
inline void* take_from_open_head(ElementPool* pool) {
    PoolBlock* block = pool->open_blocks;
    char* slot;
    if (block->free_count > 0) {
        slot = reinterpret_cast<char*>(block->free_head);
        block->free_head = static_cast<void**>(*block->free_head);
        block->free_count--;
    } else if (block->carved < block->capacity) {
        // Blocks are not cleared when made: each fresh slot is, as it is carved.
        slot = reinterpret_cast<char*>(block) + BLOCK_HEADER + static_cast<long>(block->carved++) * pool->stride;
        __builtin_memset(slot + LINK, 0, static_cast<unsigned long>(pool->stride - LINK));
    } else {
        return nullptr;
    }
    *reinterpret_cast<PoolBlock**>(slot) = block;
    return slot + LINK;
}

// Puts a slot back; false when its block is now entirely back and must go.
inline bool give_back(ElementPool* pool, void* element) {
    auto** link = reinterpret_cast<void**>(static_cast<char*>(element) - LINK);
    auto* block = static_cast<PoolBlock*>(*link);
    if (block->free_count + 1 == block->carved) return false;
    *link = block->free_head;
    block->free_head = link;
    block->free_count++;
    if (block->on_full) {
        block->on_full = 0;
        unlink(&pool->full_blocks, block);
        push(&pool->open_blocks, block);
    }
    return true;
}

}  // namespace pool_detail

inline void* pool_take(ElementPool* pool) {
    if (!pool->locked && pool->open_blocks)
        if (void* element = pool_detail::take_from_open_head(pool)) return element;
    return pool_take_slow(pool);
}

inline void pool_give(ElementPool* pool, void* element) {
    if (pool->locked || !pool_detail::give_back(pool, element)) pool_give_slow(pool, element);
}
