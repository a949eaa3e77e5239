#include <gtest/gtest.h>

#include <pthread.h>

#include <cstdint>
#include <vector>

#include "runtime/core/memory.h"
#include "runtime/core/registry.h"

namespace {

struct Record {
    void* handle;  // first word: non-zero while live
    int value;
};

ObjectRegistry* current = nullptr;
std::vector<ObjectId> released;

// A release callback as every object kind writes it: it frees its object.
void release_record(ObjectId id) {
    released.push_back(id);
    registry_free(current, id);
}

// Registries live for the whole process in the runtime; tests give theirs back
// so that leak checking stays meaningful.
void destroy(ObjectRegistry* reg) {
    while (reg->dynamic_head) {
        void* node = reg->dynamic_head;
        reg->dynamic_head = *static_cast<void**>(node);
        mem_free(node);
    }
    for (int32_t i = 0; i < reg->slot_count; i++) mem_free(reg->slots[i]);
    mem_free(reg->slots);
    mem_free(reg->handles.keys);
    mem_free(reg);
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        released.clear();
        reg = current = registry_new(sizeof(Record), REGISTRY_INCREMENT, release_record);
        ASSERT_NE(reg, nullptr);
    }
    void TearDown() override { destroy(reg); }
    Record* open(ObjectId id) {
        auto* r = static_cast<Record*>(registry_alloc(reg, id));
        if (r) r->handle = r;
        return r;
    }
    ObjectRegistry* reg = nullptr;
};

TEST_F(RegistryTest, SlotsGrowToNumberPlusIncrement) {
    EXPECT_EQ(reg->slot_count, 16);
    ASSERT_NE(open(15), nullptr);
    EXPECT_EQ(reg->slot_count, 16);
    ASSERT_NE(open(16), nullptr);
    EXPECT_EQ(reg->slot_count, 32);
    for (int i = 17; i < 32; i++) EXPECT_EQ(reg->slots[i], nullptr);
    ASSERT_NE(open(100), nullptr);
    EXPECT_EQ(reg->slot_count, 116);
}

TEST_F(RegistryTest, NumberedRecordIsReusedAfterReleaseAndRealloc) {
    Record* first = open(3);
    first->value = 9;
    // Opening a live number again releases the old object first.
    auto* again = static_cast<Record*>(registry_alloc(reg, 3));
    EXPECT_EQ(again, first);
    EXPECT_EQ(released, std::vector<ObjectId>{3});
    EXPECT_EQ(again->value, 0);
    registry_free(reg, 3);
    EXPECT_EQ(registry_get(reg, 3), nullptr);
    EXPECT_EQ(registry_alloc(reg, 3), first);
}

TEST_F(RegistryTest, WithoutReleaseCallbackReallocKeepsOldContents) {
    ObjectRegistry* plain = registry_new(sizeof(Record), 16, nullptr);
    auto* r = static_cast<Record*>(registry_alloc(plain, 2));
    r->handle = r;
    r->value = 5;
    EXPECT_EQ(registry_alloc(plain, 2), r);
    EXPECT_EQ(r->value, 5);
    registry_free_all(plain);  // no callback: nothing happens
    EXPECT_EQ(registry_get(plain, 2), r);
    destroy(plain);
}

TEST_F(RegistryTest, FirstWordDecidesLiveness) {
    auto* r = static_cast<Record*>(registry_alloc(reg, 4));
    r->value = 1;
    EXPECT_EQ(registry_get(reg, 4), nullptr);
    EXPECT_EQ(registry_get_verified(reg, 4), nullptr);
    r->handle = r;
    EXPECT_EQ(registry_get(reg, 4), r);
    EXPECT_EQ(registry_get(reg, 5), nullptr);  // never used
}

TEST_F(RegistryTest, DynamicHandlesAreLookedUpAndFreed) {
    Record* a = open(OBJECT_ANY);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
    auto h = reinterpret_cast<ObjectId>(a);
    EXPECT_EQ(registry_get(reg, h), a);
    a->handle = nullptr;
    EXPECT_EQ(registry_get(reg, h), nullptr);       // zero first word: not live
    EXPECT_EQ(registry_get_verified(reg, h), a);    // but still one of ours
    registry_free(reg, h);
    EXPECT_EQ(registry_get(reg, h), nullptr);
    EXPECT_EQ(registry_get_verified(reg, h), nullptr);
    EXPECT_EQ(reg->dynamic_head, nullptr);
}

TEST_F(RegistryTest, ForeignValuesAreNeverReadOrWrittenThrough) {
    Record outsider{&outsider, 77};
    ObjectRegistry* other = registry_new(sizeof(Record), 16, nullptr);
    auto* theirs = static_cast<Record*>(registry_alloc(other, OBJECT_ANY));
    theirs->handle = theirs;
    const ObjectId bad[] = {reinterpret_cast<ObjectId>(&outsider), reinterpret_cast<ObjectId>(theirs),
                            -2, INTPTR_MIN, 1000000, 0x10, 1};
    for (ObjectId id : bad) {
        SCOPED_TRACE(id);
        EXPECT_EQ(registry_get(reg, id), nullptr);
        EXPECT_EQ(registry_get_verified(reg, id), nullptr);
        registry_free(reg, id);
    }
    EXPECT_EQ(outsider.value, 77);
    EXPECT_EQ(registry_get(other, reinterpret_cast<ObjectId>(theirs)), theirs);
    EXPECT_EQ(registry_alloc(reg, -5), nullptr);
    EXPECT_EQ(registry_alloc(reg, INT32_MAX), nullptr);  // the slot array cannot grow that far
    destroy(other);
}

TEST_F(RegistryTest, IterationAndFreeAllVisitNumbersThenDynamicOldestFirst) {
    Record* a = open(OBJECT_ANY);
    Record* b = open(OBJECT_ANY);
    open(2);
    Record* c = open(OBJECT_ANY);
    open(0);
    registry_alloc(reg, 1);  // allocated but never made live: passed over
    auto id = [](Record* r) { return reinterpret_cast<ObjectId>(r); };
    const std::vector<ObjectId> order = {0, 2, id(a), id(b), id(c)};

    std::vector<ObjectId> seen;
    registry_iterate_begin(reg);
    ObjectId out = 0;
    while (registry_iterate_next(reg, &out)) seen.push_back(out);
    EXPECT_EQ(seen, order);

    registry_free_all(reg);  // each callback frees the object it is given
    EXPECT_EQ(released, order);
    EXPECT_EQ(reg->dynamic_head, nullptr);
    EXPECT_EQ(registry_get(reg, 0), nullptr);
}

TEST_F(RegistryTest, ManyHandlesSurviveGrowthAndRemoval) {
    std::vector<Record*> live;
    for (int i = 0; i < 5000; i++) live.push_back(open(OBJECT_ANY));
    for (size_t i = 0; i < live.size(); i += 2) registry_free(reg, reinterpret_cast<ObjectId>(live[i]));
    for (size_t i = 0; i < live.size(); i++) {
        bool kept = i % 2 == 1;
        ASSERT_EQ(registry_get(reg, reinterpret_cast<ObjectId>(live[i])) != nullptr, kept) << i;
    }
    registry_free_all(reg);
    EXPECT_EQ(released.size(), 2500u);
}

TEST(RegistryOnce, ConcurrentCallersShareOneRegistry) {
    static ObjectRegistry* target = nullptr;
    std::vector<pthread_t> threads(8);
    for (auto& t : threads)
        pthread_create(&t, nullptr, [](void*) -> void* {
            registry_new_once(&target, sizeof(Record), 16, nullptr);
            return target;
        }, nullptr);
    for (auto& t : threads) {
        void* result = nullptr;
        pthread_join(t, &result);
        EXPECT_EQ(result, target);
    }
    ObjectRegistry* first = target;
    registry_new_once(&target, sizeof(Record), 16, nullptr);
    EXPECT_EQ(target, first);
}

}  // namespace
