// The event queue: the one first-in, first-out list through which toolkit
// signal handlers hand window and gadget events to the program's main flow.
//
// Records come from an element pool that holds one record for good, so a
// queue that stays within the pool's first block never touches the heap
// after start-up. Taken records wait on a short spare list for the next post
// before they go back to the pool: a post and a take then cost a few pointer
// moves each. Posting drops an exact repeat of the newest queued event:
// toolkits tend to report the same state change several times in a row.
#pragma once

#include <cstdint>

#include "runtime/core/pool.h"
#include "runtime/core/registry.h"

using EventReleaseFn = void (*)(intptr_t extra);

struct EventRecord {
    EventRecord* next;  // the next newer event
    int32_t code;
    ObjectId object;    // the gadget for EVENT_GADGET, else 0
    ObjectId window;    // window number, or handle for OBJECT_ANY windows
    intptr_t data;
    intptr_t extra;     // handed to release once the event has been consumed
    EventReleaseFn release;
};

constexpr int32_t EVENT_CLOSE_WINDOW = 2;
constexpr int32_t EVENT_GADGET = 3;
constexpr int32_t EVENT_REPAINT = 4;
constexpr int32_t EVENT_MOVE_WINDOW = 5;
constexpr int32_t EVENT_SIZE_WINDOW = 6;
constexpr int32_t EVENT_ACTIVATE_WINDOW = 7;
constexpr int32_t EVENT_DEACTIVATE_WINDOW = 8;
constexpr int32_t EVENT_TRANSFER_A = 10;  // data is a TransferRecord (see toolkit.h)
constexpr int32_t EVENT_TRANSFER_B = 11;
constexpr int32_t EVENT_MINIMIZE_WINDOW = 12;
constexpr int32_t EVENT_MAXIMIZE_WINDOW = 13;
constexpr int32_t EVENT_RESTORE_WINDOW = 14;
constexpr int32_t EVENT_POINTER_MOTION = 24;

// Makes the queue's pool. Once, before any window opens.
void events_start();

// event_post_full with no extra and no release: the form producers use.
inline void event_post(int32_t code, ObjectId object, ObjectId window, intptr_t data);
// Appends an event unless it repeats the newest one in code, object, window
// and data (extra and release are not compared, and a dropped repeat's
// release is not called). Before events_start, or when the pool has no
// record left, the event is dropped and release(extra) is called at once so
// that what it carried is not lost.
inline void event_post_full(int32_t code, ObjectId object, ObjectId window, intptr_t data, intptr_t extra,
                            EventReleaseFn release);

// Takes the oldest event and returns its code; 0 on an empty queue, with the
// outputs untouched. Any output may be null.
inline int32_t event_pop(ObjectId* object, ObjectId* window, intptr_t* data, intptr_t* extra,
                         EventReleaseFn* release);
// The oldest event's code, or 0; takes nothing.
int32_t event_peek_code();
// As event_pop for the first three fields, but leaves the event queued.
int32_t event_peek(ObjectId* object, ObjectId* window, intptr_t* data);

// Drops every queued event of the window (gadget events carry their window
// too), keeping the others in order.
void event_purge_window(ObjectId window);

// Posting and taking are inline: a call each would cost more than the work.
namespace event_detail {

// Records kept for reuse; beyond this many they go back to the pool, so a
// burst does not pin its memory.
constexpr int32_t SPARE_MAX = 256;

struct EventQueue {
    EventRecord* head;   // oldest
    EventRecord* tail;   // newest
    EventRecord* spare;  // taken records, linked through next
    int32_t spare_count;
    ElementPool* pool;
    void* held;          // never given back: keeps the first block alive
};

extern EventQueue queue;

// Out of line: the event is dropped, its extra released.
void drop(intptr_t extra, EventReleaseFn release);

}  // namespace event_detail

inline void event_post_full(int32_t code, ObjectId object, ObjectId window, intptr_t data, intptr_t extra,
                            EventReleaseFn release) {
    event_detail::EventQueue& q = event_detail::queue;
    const EventRecord* t = q.tail;
    if (t && t->code == code && t->object == object && t->window == window && t->data == data) return;
    EventRecord* record = q.spare;
    if (record) {
        q.spare = record->next;
        q.spare_count--;
    } else {
        record = q.pool ? static_cast<EventRecord*>(pool_take(q.pool)) : nullptr;
        if (!record) {
            event_detail::drop(extra, release);
            return;
        }
    }
    *record = EventRecord{nullptr, code, object, window, data, extra, release};
    if (q.tail) {
        q.tail->next = record;
    } else {
        q.head = record;
    }
    q.tail = record;
}

inline void event_post(int32_t code, ObjectId object, ObjectId window, intptr_t data) {
    event_post_full(code, object, window, data, 0, nullptr);
}

inline int32_t event_pop(ObjectId* object, ObjectId* window, intptr_t* data, intptr_t* extra,
                         EventReleaseFn* release) {
    event_detail::EventQueue& q = event_detail::queue;
    EventRecord* record = q.head;
    if (!record) return 0;
    if (object) *object = record->object;
    if (window) *window = record->window;
    if (data) *data = record->data;
    if (extra) *extra = record->extra;
    if (release) *release = record->release;
    q.head = record->next;
    if (!q.head) q.tail = nullptr;
    const int32_t code = record->code;
    if (q.spare_count < event_detail::SPARE_MAX) {
        record->next = q.spare;
        q.spare = record;
        q.spare_count++;
    } else {
        pool_give(q.pool, record);
    }
    return code;
}
