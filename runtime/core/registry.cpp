// Object registries: numbered slots, a list of dynamic records, and an
// open-addressing set of live handles that keeps handle lookups constant-time
// without ever dereferencing a stranger's value.
#include "runtime/core/registry.h"

#include <pthread.h>

#include <cstring>

#include "runtime/core/memory.h"

namespace {

struct DynamicNode {
    DynamicNode* next;  // towards older nodes
    DynamicNode* prev;  // towards newer nodes
    // the record follows, 16-byte aligned
};
static_assert(sizeof(DynamicNode) == 16);

void* record_of(DynamicNode* node) { return reinterpret_cast<char*>(node) + sizeof(DynamicNode); }
DynamicNode* node_of(ObjectId handle) {
    return reinterpret_cast<DynamicNode*>(static_cast<uintptr_t>(handle) - sizeof(DynamicNode));
}
bool first_word_set(const void* record) { return *static_cast<void* const*>(record) != nullptr; }

constexpr uintptr_t EMPTY = 0;
constexpr uintptr_t DELETED = 1;

uint32_t hash_index(uintptr_t key, int32_t capacity) {
    // Fibonacci hashing takes the product's top bits; records are 16-byte
    // aligned, so the key's low bits carry nothing.
    uint64_t h = (static_cast<uint64_t>(key) >> 4) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> (64 - __builtin_ctz(static_cast<uint32_t>(capacity))));
}

int32_t set_find(const HandleSet& set, uintptr_t key) {
    if (set.capacity == 0) return -1;
    uint32_t mask = static_cast<uint32_t>(set.capacity - 1);
    for (uint32_t i = hash_index(key, set.capacity);; i = (i + 1) & mask) {
        if (set.keys[i] == key) return static_cast<int32_t>(i);
        if (set.keys[i] == EMPTY) return -1;
    }
}

void set_place(HandleSet& set, uintptr_t key) {
    uint32_t mask = static_cast<uint32_t>(set.capacity - 1);
    uint32_t i = hash_index(key, set.capacity);
    while (set.keys[i] != EMPTY && set.keys[i] != DELETED) i = (i + 1) & mask;
    if (set.keys[i] == EMPTY) set.used++;
    set.keys[i] = key;
    set.live++;
}

// Makes room for one more key; false when the heap is exhausted.
bool set_reserve(HandleSet& set) {
    if (set.capacity != 0 && (set.used + 1) * 4 < set.capacity * 3) return true;
    int32_t capacity = set.capacity == 0 ? 16 : set.capacity;
    while ((set.live + 1) * 2 >= capacity) {
        if (capacity > (1 << 26)) return false;
        capacity *= 2;
    }
    auto* keys = static_cast<uintptr_t*>(mem_alloc(capacity * static_cast<int32_t>(sizeof(uintptr_t))));
    if (!keys) return false;
    HandleSet grown{keys, capacity, 0, 0};
    for (int32_t i = 0; i < set.capacity; i++)
        if (set.keys[i] != EMPTY && set.keys[i] != DELETED) set_place(grown, set.keys[i]);
    mem_free(set.keys);
    set = grown;
    return true;
}

bool is_handle(const ObjectRegistry* reg, ObjectId id) {
    return id > 1 && set_find(reg->handles, static_cast<uintptr_t>(id)) >= 0;
}

bool is_number(const ObjectRegistry* reg, ObjectId id) { return id >= 0 && id < reg->slot_count; }

void* alloc_dynamic(ObjectRegistry* reg) {
    if (!set_reserve(reg->handles)) return nullptr;
    auto* node = static_cast<DynamicNode*>(
        mem_alloc(static_cast<int32_t>(sizeof(DynamicNode)) + reg->record_size));
    if (!node) return nullptr;
    auto* head = static_cast<DynamicNode*>(reg->dynamic_head);
    node->next = head;
    if (head) head->prev = node;
    reg->dynamic_head = node;
    set_place(reg->handles, reinterpret_cast<uintptr_t>(record_of(node)));
    return record_of(node);
}

bool grow_slots(ObjectRegistry* reg, ObjectId id) {
    constexpr ObjectId max_slots = INT32_MAX / static_cast<ObjectId>(sizeof(void*));
    if (id > max_slots - reg->increment) return false;
    auto count = static_cast<int32_t>(id + reg->increment);
    auto* slots = static_cast<void**>(mem_resize(reg->slots, count * static_cast<int32_t>(sizeof(void*))));
    if (!slots) return false;
    reg->slots = slots;
    reg->slot_count = count;
    return true;
}

pthread_once_t once_guard = PTHREAD_ONCE_INIT;
pthread_mutex_t once_mutex;

void init_once_mutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&once_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

}  // namespace

ObjectRegistry* registry_new(int32_t record_size, int32_t increment, ObjectReleaseFn release) {
    if (record_size < static_cast<int32_t>(sizeof(void*)) || increment < 1) return nullptr;
    auto* reg = static_cast<ObjectRegistry*>(mem_alloc(sizeof(ObjectRegistry)));
    if (!reg) return nullptr;
    reg->slots = static_cast<void**>(mem_alloc(increment * static_cast<int32_t>(sizeof(void*))));
    if (!reg->slots) {
        mem_free(reg);
        return nullptr;
    }
    reg->record_size = record_size;
    reg->increment = increment;
    reg->slot_count = increment;
    reg->release = release;
    return reg;
}

void registry_new_once(ObjectRegistry** target, int32_t record_size, int32_t increment,
                       ObjectReleaseFn release) {
    pthread_once(&once_guard, init_once_mutex);
    pthread_mutex_lock(&once_mutex);
    if (!*target) *target = registry_new(record_size, increment, release);
    pthread_mutex_unlock(&once_mutex);
}

void* registry_alloc(ObjectRegistry* reg, ObjectId id) {
    if (!reg) return nullptr;
    if (id == OBJECT_ANY) return alloc_dynamic(reg);
    if (id < 0) return nullptr;
    if (id >= reg->slot_count && !grow_slots(reg, id)) return nullptr;
    void*& slot = reg->slots[id];
    if (!slot) {
        slot = mem_alloc(reg->record_size);
        return slot;
    }
    if (reg->release) reg->release(id);
    return reg->slots[id];
}

void* registry_get(ObjectRegistry* reg, ObjectId id) {
    if (!reg) return nullptr;
    void* record = nullptr;
    if (is_number(reg, id)) {
        record = reg->slots[id];
    } else if (is_handle(reg, id)) {
        record = reinterpret_cast<void*>(id);
    }
    return record && first_word_set(record) ? record : nullptr;
}

void* registry_get_verified(ObjectRegistry* reg, ObjectId id) {
    if (!reg) return nullptr;
    if (is_number(reg, id)) {
        void* record = reg->slots[id];
        return record && first_word_set(record) ? record : nullptr;
    }
    return is_handle(reg, id) ? reinterpret_cast<void*>(id) : nullptr;
}

void registry_free(ObjectRegistry* reg, ObjectId id) {
    if (!reg) return;
    if (is_number(reg, id)) {
        if (reg->slots[id]) std::memset(reg->slots[id], 0, static_cast<size_t>(reg->record_size));
        return;
    }
    int32_t at = id > 1 ? set_find(reg->handles, static_cast<uintptr_t>(id)) : -1;
    if (at < 0) return;
    reg->handles.keys[at] = DELETED;
    reg->handles.live--;
    DynamicNode* node = node_of(id);
    if (node->prev) {
        node->prev->next = node->next;
    } else {
        reg->dynamic_head = node->next;
    }
    if (node->next) node->next->prev = node->prev;
    mem_free(node);
}

void registry_iterate_begin(ObjectRegistry* reg) {
    if (!reg) return;
    reg->iter_index = 0;
    auto* node = static_cast<DynamicNode*>(reg->dynamic_head);
    while (node && node->next) node = node->next;
    reg->iter_node = node;
}

void* registry_iterate_next(ObjectRegistry* reg, ObjectId* out_id) {
    if (!reg) return nullptr;
    while (reg->iter_index >= 0 && reg->iter_index < reg->slot_count) {
        int32_t number = reg->iter_index++;
        void* record = reg->slots[number];
        if (record && first_word_set(record)) {
            *out_id = number;
            return record;
        }
    }
    auto* node = static_cast<DynamicNode*>(reg->iter_node);
    if (!node) return nullptr;
    reg->iter_node = node->prev;
    *out_id = reinterpret_cast<ObjectId>(record_of(node));
    return record_of(node);
}

void registry_free_all(ObjectRegistry* reg) {
    if (!reg || !reg->release) return;
    registry_iterate_begin(reg);
    ObjectId id = 0;
    while (registry_iterate_next(reg, &id)) reg->release(id);
}
