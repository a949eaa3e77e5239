// Memory blocks and context blocks.
#include "runtime/core/memory.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t HEADER = 16;

int32_t& header_of(void* block) {
    return *reinterpret_cast<int32_t*>(static_cast<char*>(block) - HEADER);
}

}  // namespace

void* mem_alloc(int32_t size) {
    if (size < 0) return nullptr;
    auto* raw = static_cast<char*>(std::calloc(1, HEADER + static_cast<size_t>(size)));
    if (!raw) return nullptr;
    *reinterpret_cast<int32_t*>(raw) = size;
    return raw + HEADER;
}

void* mem_alloc_uncleared(int32_t size) {
    if (size < 0) return nullptr;
    auto* raw = static_cast<char*>(std::malloc(HEADER + static_cast<size_t>(size)));
    if (!raw) return nullptr;
    *reinterpret_cast<int32_t*>(raw) = size;
    return raw + HEADER;
}

void* mem_resize(void* block, int32_t size) {
    if (!block || size < 0) return nullptr;
    int32_t old = header_of(block);
    auto* raw = static_cast<char*>(
        std::realloc(static_cast<char*>(block) - HEADER, HEADER + static_cast<size_t>(size)));
    if (!raw) return nullptr;
    if (size > old) std::memset(raw + HEADER + old, 0, static_cast<size_t>(size - old));
    *reinterpret_cast<int32_t*>(raw) = size;
    return raw + HEADER;
}

void mem_free(void* block) {
    if (block) std::free(static_cast<char*>(block) - HEADER);
}

int32_t mem_size(const void* block) {
    return block ? header_of(const_cast<void*>(block)) : 0;
}

void mem_list_free(void** head) {
    void* node = *head;
    while (node) {
        void* next = *static_cast<void**>(node);
        mem_free(node);
        node = next;
    }
    *head = nullptr;
}

void* context_block_new(int32_t size, ContextInitFn init, int32_t /*reserved*/) {
    void* block = mem_alloc(size);
    if (block && init) init(block);
    return block;
}

void* context_block_get(void* block) { return block; }
