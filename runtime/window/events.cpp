// The event queue: a singly linked list of pool records with head and tail.
#include "runtime/window/events.h"

namespace event_detail {

EventQueue queue;

void drop(intptr_t extra, EventReleaseFn release) {
    if (extra && release) release(extra);
}

}  // namespace event_detail

using event_detail::queue;

void events_start() {
    if (queue.pool) return;
    queue.pool = pool_new(sizeof(EventRecord), 16, 256, 2);
    if (queue.pool) queue.held = pool_take(queue.pool);
}

int32_t event_peek_code() { return queue.head ? queue.head->code : 0; }

int32_t event_peek(ObjectId* object, ObjectId* window, intptr_t* data) {
    const EventRecord* record = queue.head;
    if (!record) return 0;
    if (object) *object = record->object;
    if (window) *window = record->window;
    if (data) *data = record->data;
    return record->code;
}

void event_purge_window(ObjectId window) {
    EventRecord** link = &queue.head;
    EventRecord* last = nullptr;
    while (EventRecord* record = *link) {
        if (record->window == window) {
            *link = record->next;
            pool_give(queue.pool, record);
        } else {
            last = record;
            link = &record->next;
        }
    }
    queue.tail = last;
}
