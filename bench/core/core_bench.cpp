// Element pools against the heap, and handle lookups at two registry sizes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "runtime/core/pool.h"
#include "runtime/core/registry.h"

namespace {

constexpr int ELEMENT = 48;

// A FIFO of `held` elements: each step takes a new element and gives back
// the oldest, as a queue of records does.
template <typename Take, typename Give>
void fifo_steps(benchmark::State& state, Take take, Give give) {
    const auto held = static_cast<size_t>(state.range(0));
    std::vector<void*> ring(held);
    for (auto& slot : ring) slot = take();
    size_t oldest = 0;
    for (auto _ : state) {
        void* fresh = take();
        benchmark::DoNotOptimize(fresh);
        give(ring[oldest]);
        ring[oldest] = fresh;
        if (++oldest == held) oldest = 0;
    }
    for (void* e : ring) give(e);
    state.SetItemsProcessed(state.iterations());
}

void pool_fifo(benchmark::State& state) {
    ElementPool* pool = pool_new(ELEMENT, 16, 256, 2);
    fifo_steps(state, [&] { return pool_take(pool); }, [&](void* e) { pool_give(pool, e); });
    pool_destroy(pool);
}

void malloc_fifo(benchmark::State& state) {
    fifo_steps(state, [] { return std::malloc(ELEMENT); }, [](void* e) { std::free(e); });
}

BENCHMARK(pool_fifo)->Name("take_give_48B:papyro")->Arg(1)->Arg(8)->Arg(15)->Arg(10000);
BENCHMARK(malloc_fifo)->Name("take_give_48B:malloc_free")->Arg(1)->Arg(8)->Arg(15)->Arg(10000);

struct Record {
    void* handle;
    int value;
};

// Looks up the same ten handles while the registry holds `live` dynamic
// objects, so that only the registry's own cost varies.
void handle_lookup(benchmark::State& state, int live) {
    ObjectRegistry* reg = registry_new(sizeof(Record), REGISTRY_INCREMENT, nullptr);
    std::vector<ObjectId> probe;
    for (int i = 0; i < live; i++) {
        auto* r = static_cast<Record*>(registry_alloc(reg, OBJECT_ANY));
        r->handle = r;
        if (i % (live / 10) == 0) probe.push_back(reinterpret_cast<ObjectId>(r));
    }
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(registry_get(reg, probe[i]));
        if (++i == probe.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(handle_lookup, many, 100000)->Name("registry_get_handle:papyro");
BENCHMARK_CAPTURE(handle_lookup, few, 10)->Name("registry_get_handle:10_live");

}  // namespace
