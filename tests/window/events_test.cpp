// The event queue on its own: posting with repeat suppression, taking,
// peeking and purging, checked by draining the queue.
#include <gtest/gtest.h>

#include <vector>

#include "runtime/window/events.h"

namespace {

struct Event {
    int32_t code;
    ObjectId object;
    ObjectId window;
    intptr_t data;
    bool operator==(const Event&) const = default;
};

std::vector<Event> drain() {
    std::vector<Event> out;
    Event e{};
    intptr_t extra = 0;
    EventReleaseFn release = nullptr;
    while ((e.code = event_pop(&e.object, &e.window, &e.data, &extra, &release)) != 0) out.push_back(e);
    return out;
}

void post(const Event& e) { event_post(e.code, e.object, e.window, e.data); }

// One step of a queue script: post an event, take one, or purge a window.
struct Step {
    enum Kind { POST, POP, PURGE } kind;
    Event event;
};
Step P(int32_t code, ObjectId window, ObjectId object = 0, intptr_t data = 0) {
    return {Step::POST, {code, object, window, data}};
}
Step pop() { return {Step::POP, {}}; }
Step purge(ObjectId window) { return {Step::PURGE, {0, 0, window, 0}}; }

struct QueueCase {
    const char* name;
    std::vector<Step> steps;
    std::vector<Event> left;
};

TEST(EventQueue, PostTakeAndPurgeScripts) {
    const Event a{EVENT_REPAINT, 0, 1, 0}, b{EVENT_SIZE_WINDOW, 0, 1, 0};
    const QueueCase cases[] = {
        {"repeat of newest dropped", {P(4, 1), P(4, 1)}, {a}},
        {"only newest compared", {P(4, 1), P(6, 1), P(4, 1)}, {a, b, a}},
        {"taken event may come again", {P(4, 1), pop(), P(4, 1)}, {a}},
        {"object, window and data each count",
         {P(3, 1, 7), P(3, 1, 8), P(3, 2, 8), P(3, 2, 8, 5)},
         {{3, 7, 1, 0}, {3, 8, 1, 0}, {3, 8, 2, 0}, {3, 8, 2, 5}}},
        {"purge keeps the others in order",
         {P(4, 1), P(5, 2), P(6, 1), P(7, 2), purge(1), P(8, 3)},
         {{5, 0, 2, 0}, {7, 0, 2, 0}, {8, 0, 3, 0}}},
        {"purging the newest moves the tail", {P(4, 2), P(5, 1), purge(1), P(6, 3)}, {{4, 0, 2, 0}, {6, 0, 3, 0}}},
        {"purging everything empties the queue", {P(4, 1), P(5, 1), purge(1), P(6, 2)}, {{6, 0, 2, 0}}},
        {"purging an absent window changes nothing", {P(4, 1), purge(9)}, {a}},
        {"gadget events go with their window", {P(EVENT_GADGET, 1, 5), P(4, 2), purge(1)}, {{4, 0, 2, 0}}},
    };
    events_start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const Step& s : c.steps) {
            if (s.kind == Step::POST) post(s.event);
            if (s.kind == Step::POP) event_pop(nullptr, nullptr, nullptr, nullptr, nullptr);
            if (s.kind == Step::PURGE) event_purge_window(s.event.window);
        }
        EXPECT_EQ(drain(), c.left);
    }
}

int released_count;
intptr_t released_value;
void count_release(intptr_t value) {
    released_count++;
    released_value = value;
}

TEST(EventQueue, RepeatDiffersOnlyInExtraIsDroppedWhole) {
    events_start();
    released_count = 0;
    event_post_full(EVENT_GADGET, 2, 1, 0, 0, nullptr);
    event_post_full(EVENT_GADGET, 2, 1, 0, 99, count_release);
    intptr_t extra = -1;
    EventReleaseFn release = count_release;
    EXPECT_EQ(event_pop(nullptr, nullptr, nullptr, &extra, &release), EVENT_GADGET);
    EXPECT_EQ(extra, 0);
    EXPECT_EQ(release, nullptr);
    EXPECT_EQ(event_pop(nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(released_count, 0);
}

TEST(EventQueue, EmptyQueueReturnsZeroAndLeavesOutputs) {
    events_start();
    ObjectId object = 11, window = 12;
    intptr_t data = 13, extra = 14;
    EventReleaseFn release = count_release;
    EXPECT_EQ(event_pop(&object, &window, &data, &extra, &release), 0);
    EXPECT_EQ(event_peek(&object, &window, &data), 0);
    EXPECT_EQ(event_peek_code(), 0);
    EXPECT_EQ(object, 11);
    EXPECT_EQ(window, 12);
    EXPECT_EQ(data, 13);
    EXPECT_EQ(extra, 14);
    EXPECT_EQ(release, count_release);
}

TEST(EventQueue, PeekLeavesTheOldestQueued) {
    events_start();
    event_post(EVENT_CLOSE_WINDOW, 0, 3, 0);
    event_post(EVENT_GADGET, 4, 3, 0);
    ObjectId object = -1, window = -1;
    intptr_t data = -1;
    EXPECT_EQ(event_peek_code(), EVENT_CLOSE_WINDOW);
    EXPECT_EQ(event_peek(&object, &window, &data), EVENT_CLOSE_WINDOW);
    EXPECT_EQ(object, 0);
    EXPECT_EQ(window, 3);
    EXPECT_EQ(data, 0);
    EXPECT_EQ(drain().size(), 2u);
}

// Without a pool there is nowhere to keep the event; what it carried must not
// be lost with it.
TEST(EventQueue, PostBeforeStartDropsTheEventButReleasesItsExtra) {
    released_count = 0;
    event_post_full(EVENT_GADGET, 1, 1, 0, 42, count_release);
    EXPECT_EQ(event_peek_code(), 0);
    EXPECT_EQ(released_count, 1);
    EXPECT_EQ(released_value, 42);
}

TEST(EventQueue, LongQueuesGrowBeyondTheFirstBlock) {
    events_start();
    for (int i = 1; i <= 1000; i++) event_post(EVENT_GADGET, i, 1, 0);
    std::vector<Event> all = drain();
    ASSERT_EQ(all.size(), 1000u);
    for (int i = 0; i < 1000; i++) ASSERT_EQ(all[static_cast<size_t>(i)].object, i + 1);
}

}  // namespace
