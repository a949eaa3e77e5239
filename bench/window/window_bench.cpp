// The event queue against a std::deque of the same records doing the same
// work: each iteration posts a burst (with the repeat check against the
// newest record) and takes it all back.
//
// The program has one queue, shared by toolkit handlers and the event wait,
// so it lives at namespace scope; post_pop:deque keeps its deque there too.
// post_pop_local:deque is a deque local to the loop, whose pointers the
// compiler may keep in registers throughout, a setting no real queue has.
#include <benchmark/benchmark.h>

#include <deque>

#include "runtime/window/events.h"

namespace {

void queue_papyro(benchmark::State& state) {
    events_start();
    const auto burst = static_cast<ObjectId>(state.range(0));
    ObjectId object = 0, window = 0;
    intptr_t data = 0, extra = 0;
    EventReleaseFn release = nullptr;
    for (auto _ : state) {
        for (ObjectId i = 0; i < burst; i++) event_post(EVENT_GADGET, i, 1, 0);
        while (int32_t code = event_pop(&object, &window, &data, &extra, &release)) benchmark::DoNotOptimize(code);
        benchmark::DoNotOptimize(object);
    }
    state.SetItemsProcessed(state.iterations() * burst);
}

std::deque<EventRecord> global_deque;

// The two deque settings differ only in where the deque lives; inlined, so
// that a local deque's pointers can stay in registers.
[[gnu::always_inline]] inline void deque_steps(benchmark::State& state, std::deque<EventRecord>& queue) {
    const auto burst = static_cast<ObjectId>(state.range(0));
    for (auto _ : state) {
        for (ObjectId i = 0; i < burst; i++) {
            if (!queue.empty()) {
                const EventRecord& t = queue.back();
                if (t.code == EVENT_GADGET && t.object == i && t.window == 1 && t.data == 0) continue;
            }
            queue.push_back(EventRecord{nullptr, EVENT_GADGET, i, 1, 0, 0, nullptr});
        }
        while (!queue.empty()) {
            EventRecord record = queue.front();
            queue.pop_front();
            benchmark::DoNotOptimize(record.code);
            benchmark::DoNotOptimize(record.object);
        }
    }
    state.SetItemsProcessed(state.iterations() * burst);
}

void queue_deque(benchmark::State& state) { deque_steps(state, global_deque); }

void queue_local_deque(benchmark::State& state) {
    std::deque<EventRecord> queue;
    deque_steps(state, queue);
}

void queue_papyro_local(benchmark::State& state) { queue_papyro(state); }

BENCHMARK(queue_papyro)->Name("post_pop:papyro")->Arg(1)->Arg(15)->Arg(100);
BENCHMARK(queue_deque)->Name("post_pop:deque")->Arg(1)->Arg(15)->Arg(100);
BENCHMARK(queue_papyro_local)->Name("post_pop_local:papyro")->Arg(1)->Arg(15)->Arg(100);
BENCHMARK(queue_local_deque)->Name("post_pop_local:deque")->Arg(1)->Arg(15)->Arg(100);

}  // namespace
