// Memory blocks: the runtime's own zero-filled heap allocations.
//
// A block carries its requested size in a header just before the payload.
// The header is 16 bytes wide so that every payload keeps the heap's 16-byte
// alignment; only the 32-bit size in it is ever read. Callers hold the payload
// address, and a null payload stands for "no block" in every operation.
#pragma once

#include <cstdint>

// New zero-filled block of `size` bytes, or null when the heap is exhausted or
// the size is negative.
void* mem_alloc(int32_t size);

// As mem_alloc, but the payload is left as the heap gives it: for owners
// that clear each part themselves just before its first use.
void* mem_alloc_uncleared(int32_t size);

// Resizes a block, zero-filling any bytes added at the end. Null yields null.
// On failure the old block is left intact and null is returned.
void* mem_resize(void* block, int32_t size);

// Releases a block; null is ignored.
void mem_free(void* block);

// The size last asked for, as the header records it; 0 for null.
int32_t mem_size(const void* block);

// Frees a singly linked chain of blocks whose first word is the next node,
// then sets *head to null.
void mem_list_free(void** head);

// Context blocks: one zero-filled block per layer, fetched only through
// context_block_get so that callers never depend on where it is kept.
using ContextInitFn = void (*)(void* block);
void* context_block_new(int32_t size, ContextInitFn init, int32_t reserved);
void* context_block_get(void* block);
