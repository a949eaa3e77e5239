// Element pools and the process-wide list of shared pools.
#include "runtime/core/pool.h"

#include <cstddef>
#include <cstring>

#include "runtime/core/memory.h"

namespace {

using pool_detail::BLOCK_HEADER;
using pool_detail::LINK;

char* slot_at(PoolBlock* block, int32_t index, int32_t stride) {
    return reinterpret_cast<char*>(block) + BLOCK_HEADER + static_cast<ptrdiff_t>(index) * stride;
}


void init_recursive(pthread_mutex_t* mutex) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

class PoolLock {
public:
    explicit PoolLock(ElementPool* pool) : pool_(pool) {
        if (pool_->locked) pthread_mutex_lock(&pool_->mutex);
    }
    ~PoolLock() {
        if (pool_->locked) pthread_mutex_unlock(&pool_->mutex);
    }
    PoolLock(const PoolLock&) = delete;
    PoolLock& operator=(const PoolLock&) = delete;

private:
    ElementPool* pool_;
};

pthread_once_t shared_once = PTHREAD_ONCE_INIT;
pthread_mutex_t shared_mutex;
SharedPoolEntry* shared_head = nullptr;

void init_shared() { init_recursive(&shared_mutex); }

ElementPool* new_plain_pool(int32_t stride, int32_t min_per_block, int32_t max_per_block, uint32_t flags) {
    auto* pool = static_cast<ElementPool*>(mem_alloc(sizeof(ElementPool)));
    if (!pool) return nullptr;
    pool->stride = stride;
    pool->min_per_block = min_per_block;
    pool->max_per_block = max_per_block;
    if ((flags & 3) == POOL_LOCKED) {
        pool->locked = 1;
        init_recursive(&pool->mutex);
    }
    return pool;
}

ElementPool* new_shared_pool(int32_t stride, int32_t min_per_block, int32_t max_per_block, uint32_t flags) {
    pthread_once(&shared_once, init_shared);
    pthread_mutex_lock(&shared_mutex);
    for (SharedPoolEntry* e = shared_head; e; e = e->next) {
        if (e->stride == stride && e->flags == flags) {
            e->ref_count++;
            pthread_mutex_unlock(&shared_mutex);
            return e->pool;
        }
    }
    ElementPool* pool = nullptr;
    auto* entry = static_cast<SharedPoolEntry*>(mem_alloc(sizeof(SharedPoolEntry)));
    if (entry) pool = new_plain_pool(stride, min_per_block, max_per_block, flags & ~POOL_SHARED);
    if (!pool) {
        mem_free(entry);
        pthread_mutex_unlock(&shared_mutex);
        return nullptr;
    }
    pool->shared_entry = entry;
    entry->pool = pool;
    entry->stride = stride;
    entry->flags = flags;
    entry->ref_count = 1;
    entry->next = shared_head;
    if (shared_head) shared_head->prev = entry;
    shared_head = entry;
    pthread_mutex_unlock(&shared_mutex);
    return pool;
}

PoolBlock* new_block(ElementPool* pool) {
    int32_t capacity = (pool->total_capacity >> 4) & ~15;
    if (capacity < pool->min_per_block) {
        capacity = pool->min_per_block;
    } else if (capacity > pool->max_per_block) {
        capacity = pool->max_per_block;
    }
    auto bytes = [&](int32_t n) { return static_cast<int64_t>(BLOCK_HEADER) + static_cast<int64_t>(n) * pool->stride; };
    auto alloc = [&](int32_t n) { return static_cast<PoolBlock*>(mem_alloc_uncleared(static_cast<int32_t>(bytes(n)))); };
    PoolBlock* block = bytes(capacity) <= INT32_MAX ? alloc(capacity) : nullptr;
    if (!block) {
        capacity = 1;
        block = alloc(1);
        if (!block) return nullptr;
    }
    *block = PoolBlock{};
    block->capacity = capacity;
    block->carved = 1;
    std::memset(slot_at(block, 0, pool->stride) + LINK, 0, static_cast<size_t>(pool->stride - LINK));
    pool->total_capacity += capacity;
    block->on_full = capacity == 1;  // a one-slot block is used up at once
    pool_detail::push(block->on_full ? &pool->full_blocks : &pool->open_blocks, block);
    return block;
}

void release_blocks(PoolBlock** head) {
    while (PoolBlock* block = *head) {
        *head = block->next;
        mem_free(block);
    }
}

}  // namespace

ElementPool* pool_new(int32_t element_size, int32_t min_per_block, int32_t max_per_block, uint32_t flags) {
    if (element_size < 1 || min_per_block < 1 || max_per_block < min_per_block) return nullptr;
    if (element_size > INT32_MAX - 2 * LINK) return nullptr;
    int32_t stride = (element_size + LINK + LINK - 1) & ~(LINK - 1);
    if (flags & POOL_SHARED) return new_shared_pool(stride, min_per_block, max_per_block, flags);
    return new_plain_pool(stride, min_per_block, max_per_block, flags);
}

void* pool_take_slow(ElementPool* pool) {
    PoolLock lock(pool);
    while (PoolBlock* head = pool->open_blocks) {
        if (void* element = pool_detail::take_from_open_head(pool)) return element;
        pool_detail::unlink(&pool->open_blocks, head);
        pool_detail::push(&pool->full_blocks, head);
        head->on_full = 1;
    }
    PoolBlock* block = new_block(pool);
    if (!block) return nullptr;
    char* slot = slot_at(block, 0, pool->stride);
    *reinterpret_cast<PoolBlock**>(slot) = block;
    return slot + LINK;
}

void* pool_take_zeroed(ElementPool* pool) {
    void* element = pool_take(pool);
    if (element) std::memset(element, 0, static_cast<size_t>(pool->stride - LINK));
    return element;
}

void pool_give_slow(ElementPool* pool, void* element) {
    PoolLock lock(pool);
    if (pool_detail::give_back(pool, element)) return;
    // Every element the block handed out is back.
    auto* block = *reinterpret_cast<PoolBlock**>(static_cast<char*>(element) - LINK);
    pool_detail::unlink(block->on_full ? &pool->full_blocks : &pool->open_blocks, block);
    pool->total_capacity -= block->capacity;
    mem_free(block);
}

void pool_clear(ElementPool* pool) {
    PoolLock lock(pool);
    release_blocks(&pool->open_blocks);
    release_blocks(&pool->full_blocks);
    pool->total_capacity = 0;
}

void pool_destroy(ElementPool* pool) {
    if (!pool) return;
    SharedPoolEntry* entry = pool->shared_entry;
    if (entry) {
        pthread_mutex_lock(&shared_mutex);
        if (--entry->ref_count > 0) {
            pthread_mutex_unlock(&shared_mutex);
            return;
        }
        pool->shared_entry = nullptr;
    }
    pool_clear(pool);
    if (pool->locked) pthread_mutex_destroy(&pool->mutex);
    mem_free(pool);
    if (entry) {
        if (entry->prev) {
            entry->prev->next = entry->next;
        } else {
            shared_head = entry->next;
        }
        if (entry->next) entry->next->prev = entry->prev;
        mem_free(entry);
        pthread_mutex_unlock(&shared_mutex);
    }
}
