// Heap calls of the event queue after start-up. The binary is linked with
// --wrap for the C heap functions, so every heap call made by the runtime's
// code (not by the C++ library or the test framework) is counted here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/window/events.h"

namespace {
long heap_calls;
}

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);

void* __wrap_malloc(size_t size) {
    heap_calls++;
    return __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
    heap_calls++;
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size) {
    heap_calls++;
    return __real_realloc(block, size);
}
void __wrap_free(void* block) {
    heap_calls++;
    __real_free(block);
}
}

namespace {

void burst(int depth, int rounds) {
    for (int r = 0; r < rounds; r++) {
        for (int i = 0; i < depth; i++) event_post(EVENT_GADGET, i, 1, 0);
        while (event_pop(nullptr, nullptr, nullptr, nullptr, nullptr)) {
        }
    }
}

TEST(EventQueueHeap, FifteenQueuedEventsNeverTouchTheHeap) {
    events_start();
    heap_calls = 0;
    burst(15, 1000);
    burst(1, 1000);
    EXPECT_EQ(heap_calls, 0);
}

// The counter itself works, and bursts do not pin their memory: records
// beyond the few kept for reuse go back to the pool, which releases and
// allocates blocks again as the queue fills and empties.
TEST(EventQueueHeap, LongBurstsGiveTheirBlocksBack) {
    events_start();
    heap_calls = 0;
    burst(2000, 10);
    EXPECT_GE(heap_calls, 20);
}

}  // namespace
