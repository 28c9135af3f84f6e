// Node churn on the process-wide pool (through KelMemPool's operators, mutex included) and
// on the C library's malloc: blocks of 8 to 64 bytes, a live set of 10^4 or 10^5 blocks, and
// per iteration 10^6 steps that each free a random live block and allocate a new one.
// The counter per_pair is the cost of one free plus one allocation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "sharedlib/mem_pool.h"

namespace {

constexpr int kPairsPerIteration = 1000000;

// The same pseudo-random sizes and victims for every allocator.
struct Workload {
  std::vector<std::uint32_t> sizes;    // 8..64 bytes, one per allocation
  std::vector<std::uint32_t> victims;  // live-set slot freed at each step
};

const Workload& MakeWorkload(int live) {
  static Workload cached[2];
  Workload& w = cached[live > 10000 ? 1 : 0];
  if (w.sizes.empty()) {
    std::mt19937 rng(20240601u);
    std::uniform_int_distribution<std::uint32_t> size(8, 64);
    std::uniform_int_distribution<std::uint32_t> slot(0, static_cast<std::uint32_t>(live - 1));
    w.sizes.resize(static_cast<std::size_t>(live + kPairsPerIteration));
    for (auto& s : w.sizes) s = size(rng);
    w.victims.resize(kPairsPerIteration);
    for (auto& v : w.victims) v = slot(rng);
  }
  return w;
}

struct PoolAlloc {
  static void* Get(std::size_t n) { return KelMemPool::operator new(n); }
  static void Put(void* p) { KelMemPool::operator delete(p); }
};

struct MallocAlloc {
  static void* Get(std::size_t n) { return std::malloc(n); }
  static void Put(void* p) { std::free(p); }
};

template <typename Alloc>
void BM_NodeChurn(benchmark::State& state) {
  const int live = static_cast<int>(state.range(0));
  const Workload& w = MakeWorkload(live);
  std::vector<void*> slots(static_cast<std::size_t>(live));
  for (int i = 0; i < live; ++i) {
    slots[i] = Alloc::Get(w.sizes[i]);
    *static_cast<char*>(slots[i]) = 1;
  }
  for (auto _ : state) {
    const std::uint32_t* size = &w.sizes[static_cast<std::size_t>(live)];
    for (int step = 0; step < kPairsPerIteration; ++step) {
      void*& slot = slots[w.victims[step]];
      Alloc::Put(slot);
      slot = Alloc::Get(size[step]);
      *static_cast<char*>(slot) = 1;  // a node is written as soon as it is made
    }
    benchmark::ClobberMemory();
  }
  for (void* p : slots) Alloc::Put(p);
  // Seconds per pair; the console shows it with an SI prefix ("25.3n" is 25.3 ns).
  state.counters["per_pair"] = benchmark::Counter(
      static_cast<double>(kPairsPerIteration) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK_TEMPLATE(BM_NodeChurn, PoolAlloc)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_NodeChurn, MallocAlloc)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
