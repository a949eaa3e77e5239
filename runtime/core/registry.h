// Object registries: one table per object kind (files, fonts, windows,
// gadgets, images).
//
// Users address an object by a number they choose (0, 1, 2, ...) or, when they
// pass OBJECT_ANY, by the handle the registry hands back: the address of a
// dynamic record. A record is a live object while its first pointer-sized word
// is non-zero; each kind stores its principal handle there.
//
// Numbered records are allocated on first use and kept for the registry's
// life; releasing zeroes them in place. Dynamic records live in a doubly linked
// list, newest first, and in a set of live handles so that a value that is not
// one of them is never read or written through.
#pragma once

#include <cstdint>

using ObjectId = intptr_t;
constexpr ObjectId OBJECT_ANY = -1;

using ObjectReleaseFn = void (*)(ObjectId id);

struct HandleSet {
    uintptr_t* keys;  // MemoryBlock of `capacity` keys; 0 empty, 1 deleted
    int32_t capacity;
    int32_t used;     // live keys plus deleted markers
    int32_t live;
};

struct ObjectRegistry {
    int32_t record_size;
    int32_t increment;
    int32_t slot_count;
    void** slots;            // MemoryBlock of slot_count record pointers
    void* dynamic_head;      // newest dynamic node
    ObjectReleaseFn release;
    int32_t iter_index;
    void* iter_node;
    HandleSet handles;
};

// All registries of the runtime use this increment.
constexpr int32_t REGISTRY_INCREMENT = 16;

ObjectRegistry* registry_new(int32_t record_size, int32_t increment, ObjectReleaseFn release);

// Creates the registry at *target unless one is there already; safe to call
// from several threads at once.
void registry_new_once(ObjectRegistry** target, int32_t record_size, int32_t increment,
                       ObjectReleaseFn release);

// Number >= 0: the number's record, after releasing a live object held there
// (the record is not cleared otherwise). OBJECT_ANY: a new zeroed dynamic
// record whose address is its handle. Null on heap exhaustion or any other id.
void* registry_alloc(ObjectRegistry* reg, ObjectId id);

// The live record for a number or handle, else null.
void* registry_get(ObjectRegistry* reg, ObjectId id);

// As registry_get, but a dynamic record is returned even when its first word
// is still zero.
void* registry_get_verified(ObjectRegistry* reg, ObjectId id);

// Number: zero its record (memory stays with the slot). Handle: unlink and
// free its node. Anything else: nothing.
void registry_free(ObjectRegistry* reg, ObjectId id);

// Calls the release callback for every live object: numbers ascending, then
// dynamic objects oldest first. The callback may free the object it is given.
void registry_free_all(ObjectRegistry* reg);

void registry_iterate_begin(ObjectRegistry* reg);
// Next live record, its id stored in *out_id; null at the end.
void* registry_iterate_next(ObjectRegistry* reg, ObjectId* out_id);
