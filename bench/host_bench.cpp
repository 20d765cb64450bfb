// Throughput of the simulated host through the whole stack, beside the same calls made directly on
// its implementations in the same run.
//
// Through the stack: typed stub -> in-process provider -> method object (input checked) -> method
// filter (value to input record) -> the host's implementation (its lock, its inventory, its checks)
// -> result filter and checks of the answer -> the stub's result wrapper -> the caller's result
// object. Directly: a virtual call of the implementation (Host::Cpus(), Host::Memory()) with a
// result object, as a server-side caller would make it. The host answers at once (immediate
// delivery), so every call has its answer when it returns.
//
// Two operations: a read, cpus "get", and a write, memory "update" alternating between 2048 and
// 4096 MiB, so that the calls change the inventory and all succeed. Each thread works on a virtual
// machine of its own (as two clients managing their own machines would); the threads still share
// the host's one lock.
//
// Every benchmark runs on one thread and on two, timed on the wall clock, and reports
//   items_per_second  calls per second of all threads together;
//   ratio_to_direct   the stack's time per call over the direct call's with as many threads (how
//                     many times slower the full stack is; the direct benchmarks run first);
//   scaling           the calls per second of two threads over those of one (the direct calls
//                     show what the host's lock lets through, the stack's what remains of it).
// The machine is shared with other work: compare figures of the same run.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <boost/optional.hpp>

#include <tavo/simhost/host.h>

#include <quil/async_result.h>
#include <quil/core/activation.h>
#include <quil/data/native_error.h>
#include <quil/provider/api_provider.h>
#include <quil/stub/invoker.h>

namespace {

namespace Vm = Com::Korvan::Tavo::Vm;
namespace CpusSvc = Vm::Compute::CpusSvc;
namespace MemorySvc = Vm::Compute::MemorySvc;
using Quil::Core::AsyncActivation;

constexpr int kMaxThreads = 2;

// Built once before any measurement, so that no thread sets up while another measures.
struct World {
  Tavo::SimHost::Host host;  // immediate delivery
  Quil::Provider::LocalApiProvider provider;
  AsyncActivation defaults;
  std::shared_ptr<Quil::Stub::AsyncApiStub> api =
      std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults);
  CpusSvc::AsyncServiceStub cpusStub{api};
  MemorySvc::AsyncServiceStub memoryStub{api};
  std::shared_ptr<CpusSvc::AsyncServiceInterface> cpus = host.Cpus();
  std::shared_ptr<MemorySvc::AsyncServiceInterface> memory = host.Memory();

  // Per thread: its machine, the activation of its direct calls, its two memory sizes.
  std::string machines[kMaxThreads];
  std::shared_ptr<AsyncActivation> activations[kMaxThreads];
  std::shared_ptr<const MemorySvc::UpdateSpec> sizes[kMaxThreads][2];

  World() {
    if (!host.RegisterWith(provider)) std::abort();
    for (int thread = 0; thread < kMaxThreads; ++thread) {
      machines[thread] = "bench-vm-" + std::to_string(thread);
      activations[thread] = std::make_shared<AsyncActivation>();
      auto spec = std::make_shared<Vm::NaskSvc::CreateSpec>();
      spec->vm = machines[thread];
      spec->guestOS = "other_64";
      bool created = false;
      Vm::NaskSvc::CreateMethod::ResultCbType result(
          [&created](boost::optional<Quil::Void> value, Quil::Data::ErrorValuePtr,
                     boost::optional<Quil::Data::NativeError>,
                     Quil::Progress) { created = value.has_value(); });
      host.Nask()->Create(spec, activations[thread], result);
      if (!created) std::abort();
      for (int which = 0; which < 2; ++which) {
        auto size = std::make_shared<MemorySvc::UpdateSpec>();
        size->size = which == 0 ? 2048 : 4096;
        sizes[thread][which] = std::move(size);
      }
    }
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void BuildWorld(const benchmark::State& /*state*/) { TheWorld(); }

enum Operation { kGet, kUpdate };

// Wall seconds per call of the direct benchmarks, by operation and thread count; written by the
// direct benchmarks and read by the stack's, which run after them.
double directSecondsPerCall[2][kMaxThreads + 1] = {};

// Wall seconds per call of the last one-thread run, by operation and whether direct; read by the
// two-thread runs, which follow it.
double oneThreadSecondsPerCall[2][2] = {};

// Runs `call` once per iteration on every thread and sets the counters. The span that thread 0
// measures starts before and ends after the barriers that open and close the loop for all
// threads, so it covers the calls of every thread.
template <typename Call>
void Measure(benchmark::State& state, Operation operation, bool direct, Call call) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) call();
  const std::chrono::duration<double> span = std::chrono::steady_clock::now() - start;

  state.SetItemsProcessed(state.iterations());
  if (state.thread_index() != 0) return;
  // Counters are summed over the threads: only thread 0 sets this one.
  const double secondsPerCall =
      span.count() / (static_cast<double>(state.iterations()) * state.threads());
  if (state.threads() == 1) {
    oneThreadSecondsPerCall[operation][direct] = secondsPerCall;
  } else {
    state.counters["scaling"] = oneThreadSecondsPerCall[operation][direct] / secondsPerCall;
  }
  if (direct) {
    directSecondsPerCall[operation][state.threads()] = secondsPerCall;
  } else if (directSecondsPerCall[operation][state.threads()] > 0) {
    state.counters["ratio_to_direct"] =
        secondsPerCall / directSecondsPerCall[operation][state.threads()];
  }
}

void CallGet(CpusSvc::AsyncServiceInterface& target, const std::string& vm,
             const std::shared_ptr<AsyncActivation>& activation) {
  std::shared_ptr<const CpusSvc::Info> answer;
  CpusSvc::GetMethod::ResultCbType result(
      [&answer](boost::optional<std::shared_ptr<const CpusSvc::Info>> value,
                Quil::Data::ErrorValuePtr, boost::optional<Quil::Data::NativeError>,
                Quil::Progress) {
        if (value) answer = std::move(*value);
      });
  target.Get(vm, activation, result);
  if (answer == nullptr || answer->count != 1) std::abort();
}

void CallUpdate(MemorySvc::AsyncServiceInterface& target, const std::string& vm,
                const std::shared_ptr<const MemorySvc::UpdateSpec>& spec,
                const std::shared_ptr<AsyncActivation>& activation) {
  bool done = false;
  MemorySvc::UpdateMethod::ResultCbType result(
      [&done](boost::optional<Quil::Void> value, Quil::Data::ErrorValuePtr,
              boost::optional<Quil::Data::NativeError>,
              Quil::Progress) { done = value.has_value(); });
  target.Update(vm, spec, activation, result);
  if (!done) std::abort();
}

void BM_DirectCpusGet(benchmark::State& state) {
  World& world = TheWorld();
  const int thread = state.thread_index();
  Measure(state, kGet, true,
          [&] { CallGet(*world.cpus, world.machines[thread], world.activations[thread]); });
}

void BM_StackCpusGet(benchmark::State& state) {
  World& world = TheWorld();
  const int thread = state.thread_index();
  Measure(state, kGet, false, [&] { CallGet(world.cpusStub, world.machines[thread], nullptr); });
}

void BM_DirectMemoryUpdate(benchmark::State& state) {
  World& world = TheWorld();
  const int thread = state.thread_index();
  int which = 0;
  Measure(state, kUpdate, true, [&] {
    CallUpdate(*world.memory, world.machines[thread], world.sizes[thread][which],
               world.activations[thread]);
    which ^= 1;
  });
}

void BM_StackMemoryUpdate(benchmark::State& state) {
  World& world = TheWorld();
  const int thread = state.thread_index();
  int which = 0;
  Measure(state, kUpdate, false, [&] {
    CallUpdate(world.memoryStub, world.machines[thread], world.sizes[thread][which], nullptr);
    which ^= 1;
  });
}

// The direct calls first: the stack's benchmarks compare themselves with them.
BENCHMARK(BM_DirectCpusGet)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_DirectMemoryUpdate)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_StackCpusGet)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads)->UseRealTime();
BENCHMARK(BM_StackMemoryUpdate)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads)->UseRealTime();

}  // namespace
