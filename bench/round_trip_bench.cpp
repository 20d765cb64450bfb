// The cost of one call of the cpus service through the whole round trip, beside a direct virtual
// call of the same implementation measured in the same run.
//
// Round trip: typed stub (input record to value) -> in-process provider (routing) -> method
// object (input checked against its definition) -> method filter (value to input record,
// validation) -> implementation -> result filter (answer to value) -> checking callback (output or
// error checked against the definitions) -> stub's result wrapper (value to native) -> caller's
// result object. The implementation answers at once from fixed settings, so what is measured is
// the way there and back. Calls pass no activation, as a client usually does: the stub copies its
// default activation for each.
//
// Every benchmark runs on one thread and on two (each thread calling on its own), and reports
//   ns_per_call      CPU time of one call: each thread's CPU time in its loop divided by its calls,
//                    averaged over the threads (on a shared machine, unlike wall time, it does not
//                    count the time other processes take; with two threads it does count the
//                    cost of the cache lines both threads write);
//   ratio_to_direct  ns_per_call over that of the direct call with as many threads (round trips
//                    only; the direct benchmarks run first);
//   allocs_per_call  heap allocations per call, counted by the replacement global operator new of
//                    this program over all threads;
//   calls_per_s      calls of all threads per second of wall time;
//   scaling          calls_per_s over that of the same benchmark on one thread (two threads only;
//                    the one-thread run comes first). Wall time counts what other processes take
//                    from the two cores, so compare with the direct call's scaling of the same run;
//   cpu_scaling      the same from CPU time: the calls per second that the threads would make
//                    with a core each to themselves over those of one thread. It leaves out
//                    what other processes take, and keeps what the threads cost each other.
//
// Each thread calls with objects of its own (answer, update spec, activation, allocation
// counter), so that the direct call scales and what the round trip shares between threads shows.
// The round trips named "Own" give each thread its own stub (with its own default activation)
// and pass an activation of the thread's own, as two independent clients of one provider would;
// the others share one stub and pass no activation, so the stub copies its default for each call.
// The round trips named "Private" give each thread, besides, a provider and a binding of its own:
// nothing the call reaches is shared between the threads, so their scaling is what this machine
// gives the round trip itself, and the gap from "Own" to "Private" is the cost of what "Own"
// shares (the provider's method objects, their definitions and the implementation).
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <time.h>

#include <benchmark/benchmark.h>
#include <boost/optional.hpp>

#include <tavo/vm/compute/cpus.h>

#include <quil/async_result.h>
#include <quil/core/activation.h>
#include <quil/data/native_error.h>
#include <quil/provider/api_provider.h>
#include <quil/std/errors.h>
#include <quil/stub/invoker.h>

#include "allocation_counter.h"

// The per-thread objects (allocation counter, answer, update spec, activation) sit in the slot of
// the calling thread: a cache line that two threads write at once costs more than a direct call.
using Bench::Allocations;
using Bench::kMaxThreads;
using Bench::threadSlot;

namespace {

namespace CpusSvc = Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace Errors = Com::Korvan::Quil::Std::Errors;
using InfoPtr = std::shared_ptr<const CpusSvc::Info>;
using Quil::Core::AsyncActivation;

const std::string kVm = "vm-1";

// A new T whose reference count shares no cache line with another object's.
template <typename T>
std::shared_ptr<T> MakeAligned() {
  struct alignas(128) Aligned : T {};
  return std::make_shared<Aligned>();
}

// Answers at once from fixed settings; read-only, so threads may call it together.
class FixedCpus final : public CpusSvc::AsyncServiceInterface {
 public:
  FixedCpus() {
    for (InfoPtr& answer : answers_) {
      auto info = MakeAligned<CpusSvc::Info>();
      info->count = 4;
      info->coresPerSocket = 2;
      info->hotAddEnabled = true;
      answer = std::move(info);
    }
  }

  void Get(const std::string& vm, std::shared_ptr<AsyncActivation> /*activation*/,
           const CpusSvc::GetMethod::ResultCbType& result) override {
    if (vm != kVm) {
      result.error(Errors::MakeErrorValue<Errors::NotFound>(
          "bench.vm.not.found", "The virtual machine {1} does not exist.", vm));
      return;
    }
    result(answers_[threadSlot]);
  }

  void Update(const std::string& vm, std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
              std::shared_ptr<AsyncActivation> /*activation*/,
              const CpusSvc::UpdateMethod::ResultCbType& result) override {
    if (vm != kVm) {
      result.error(Errors::MakeErrorValue<Errors::NotFound>(
          "bench.vm.not.found", "The virtual machine {1} does not exist.", vm));
      return;
    }
    const CpusSvc::Info& current = *answers_[threadSlot];
    const std::int64_t count = updateSpec->count.value_or(current.count);
    const std::int64_t cores = updateSpec->coresPerSocket.value_or(current.coresPerSocket);
    if (count < 1 || cores < 1 || count % cores != 0) {
      result.error(Errors::MakeErrorValue<Errors::InvalidArgument>(
          "bench.cpus.uneven", "{1} CPUs do not fill sockets of {2} cores.", std::to_string(count),
          std::to_string(cores)));
      return;
    }
    result();
  }

 private:
  std::array<InfoPtr, kMaxThreads> answers_;
};

// Everything the calls use, built once before any measurement so that no thread allocates outside
// its calls while another measures.
struct World {
  std::shared_ptr<FixedCpus> implementation = std::make_shared<FixedCpus>();
  Quil::Provider::LocalApiProvider provider;
  AsyncActivation defaults;
  CpusSvc::AsyncServiceStub stub{std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults)};
  std::array<std::shared_ptr<const CpusSvc::UpdateSpec>, kMaxThreads> specs;
  std::array<std::shared_ptr<AsyncActivation>, kMaxThreads> directActivations;
  // Per thread, for the "Own" round trips: default activation, stub and activation.
  std::array<AsyncActivation, kMaxThreads> ownDefaults;
  std::array<std::unique_ptr<CpusSvc::AsyncServiceStub>, kMaxThreads> ownStubs;
  std::array<std::shared_ptr<AsyncActivation>, kMaxThreads> ownActivations;
  // Per thread, for the "Private" round trips: a provider and binding (which owns its
  // implementation) of its own besides.
  std::array<Quil::Provider::LocalApiProvider, kMaxThreads> privateProviders;
  std::array<std::unique_ptr<CpusSvc::AsyncServiceStub>, kMaxThreads> privateStubs;

  World() {
    if (!provider.Register(CpusSvc::AsyncServiceBinder::BindImplementation(implementation))) {
      std::abort();
    }
    for (auto& spec : specs) {
      auto made = MakeAligned<CpusSvc::UpdateSpec>();
      made->count = 8;
      spec = std::move(made);
    }
    for (auto& activation : directActivations) activation = MakeAligned<AsyncActivation>();
    for (int thread = 0; thread < kMaxThreads; ++thread) {
      ownStubs[thread] = std::make_unique<CpusSvc::AsyncServiceStub>(
          std::make_shared<Quil::Stub::AsyncApiStub>(provider, ownDefaults[thread]));
      ownActivations[thread] = MakeAligned<AsyncActivation>();
      if (!privateProviders[thread].Register(
              CpusSvc::AsyncServiceBinder::BindImplementation(std::make_shared<FixedCpus>()))) {
        std::abort();
      }
      privateStubs[thread] =
          std::make_unique<CpusSvc::AsyncServiceStub>(std::make_shared<Quil::Stub::AsyncApiStub>(
              privateProviders[thread], ownDefaults[thread]));
    }
  }
};

// Built by a thread of its own that stays parked for the rest of the program, as a server binds
// on one thread and serves on others. glibc gives every thread its own heap, except that a new
// thread takes over the heap of one that has ended: were the world built by the first benchmark
// thread (the main thread, which also calls), that thread's per-call allocations would sit next to
// the objects both threads read, and each call would pull those lines away from the other thread;
// were it built by a thread that ended, the second calling thread would inherit its heap. Both
// made the two-thread figures depend on where the allocator happened to put things.
// Starting that thread also matters: until a process has started a thread, libstdc++ counts
// shared pointers' references with plain instructions instead of locked ones, so the world is
// built with threads running, as every benchmark, the first one-thread run included, then counts.
World& TheWorld() {
  static World* const world = [] {
    std::promise<World*> built;
    std::thread([&built] {
      built.set_value(new World());
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }).detach();
    return built.get_future().get();
  }();
  return *world;
}

void BuildWorld(const benchmark::State& /*state*/) { TheWorld(); }

enum Operation { kGet, kUpdate };

// What a benchmark measures, for the scaling of its two-thread run over its one-thread run.
enum Kind {
  kDirectGet,
  kDirectUpdate,
  kRoundTripGet,
  kRoundTripUpdate,
  kOwnGet,
  kOwnUpdate,
  kPrivateGet,
  kPrivateUpdate,
  kKinds
};

// ns_per_call of the direct benchmarks, by operation, thread count and thread; written by the
// direct benchmarks and read by the round trips, which run after them.
double directNs[2][kMaxThreads + 1][kMaxThreads] = {};

// calls_per_s and ns_per_call of each kind's last one-thread run, read by its two-thread runs.
double oneThreadCallsPerSecond[kKinds] = {};
double oneThreadNs[kKinds] = {};

double ThreadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// Runs `call` once per iteration and sets the counters.
template <typename Call>
void Measure(benchmark::State& state, Kind kind, Call call) {
  const Operation operation =
      kind == kDirectGet || kind == kRoundTripGet || kind == kOwnGet || kind == kPrivateGet
          ? kGet
          : kUpdate;
  const bool direct = kind == kDirectGet || kind == kDirectUpdate;
  threadSlot = state.thread_index();
  const std::size_t allocationsBefore = Allocations();
  const auto wallStart = std::chrono::steady_clock::now();
  const double start = ThreadCpuNs();
  for (auto _ : state) call();
  const double elapsed = ThreadCpuNs() - start;
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
  // Every thread has left its loop here, so the count covers the calls of all threads.
  const std::size_t made = Allocations() - allocationsBefore;

  // Counters without flags are summed over the threads: the rates add up to the throughput.
  const double ns = elapsed / static_cast<double>(state.iterations());
  const double callsPerSecond = static_cast<double>(state.iterations()) / wall.count();
  state.counters["calls_per_s"] = callsPerSecond;
  if (state.threads() == 1) {
    oneThreadCallsPerSecond[kind] = callsPerSecond;
    oneThreadNs[kind] = ns;
  } else if (oneThreadCallsPerSecond[kind] > 0) {
    state.counters["scaling"] = callsPerSecond / oneThreadCallsPerSecond[kind];
    state.counters["cpu_scaling"] = oneThreadNs[kind] / ns;
  }

  state.counters["ns_per_call"] = benchmark::Counter(ns, benchmark::Counter::kAvgThreads);
  const int threads = state.threads();
  const int thread = state.thread_index();
  if (direct) {
    directNs[operation][threads][thread] = ns;
  } else {
    double directAverage = 0;
    for (int i = 0; i < threads; ++i) directAverage += directNs[operation][threads][i] / threads;
    if (directAverage > 0) {
      state.counters["ratio_to_direct"] =
          benchmark::Counter(ns / directAverage, benchmark::Counter::kAvgThreads);
    }
  }
  if (thread == 0) {
    state.counters["allocs_per_call"] =
        static_cast<double>(made) / (static_cast<double>(state.iterations()) * threads);
  }
}

// One call of "get" through `target`, with a result object as a caller builds it.
void CallGet(CpusSvc::AsyncServiceInterface& target,
             const std::shared_ptr<AsyncActivation>& activation) {
  InfoPtr answer;
  CpusSvc::GetMethod::ResultCbType result(
      [&answer](boost::optional<InfoPtr> value, Quil::Data::ErrorValuePtr /*error*/,
                boost::optional<Quil::Data::NativeError> /*nativeError*/, Quil::Progress) {
        if (value) answer = std::move(*value);
      });
  target.Get(kVm, activation, result);
  if (answer == nullptr || answer->count != 4) std::abort();
}

void CallUpdate(CpusSvc::AsyncServiceInterface& target,
                const std::shared_ptr<AsyncActivation>& activation,
                const std::shared_ptr<const CpusSvc::UpdateSpec>& spec) {
  bool done = false;
  CpusSvc::UpdateMethod::ResultCbType result(
      [&done](boost::optional<Quil::Void> value, Quil::Data::ErrorValuePtr /*error*/,
              boost::optional<Quil::Data::NativeError> /*nativeError*/,
              Quil::Progress) { done = value.has_value(); });
  target.Update(kVm, spec, activation, result);
  if (!done) std::abort();
}

void BM_DirectGet(benchmark::State& state) {
  CpusSvc::AsyncServiceInterface* target = TheWorld().implementation.get();
  const auto& activation = TheWorld().directActivations[state.thread_index()];
  Measure(state, kDirectGet, [&] {
    benchmark::DoNotOptimize(target);  // a virtual call, as the filter makes it
    CallGet(*target, activation);
  });
}

void BM_RoundTripGet(benchmark::State& state) {
  CpusSvc::AsyncServiceStub& stub = TheWorld().stub;
  Measure(state, kRoundTripGet, [&] { CallGet(stub, nullptr); });
}

void BM_RoundTripGetOwn(benchmark::State& state) {
  CpusSvc::AsyncServiceStub& stub = *TheWorld().ownStubs[state.thread_index()];
  const auto& activation = TheWorld().ownActivations[state.thread_index()];
  Measure(state, kOwnGet, [&] { CallGet(stub, activation); });
}

void BM_DirectUpdate(benchmark::State& state) {
  CpusSvc::AsyncServiceInterface* target = TheWorld().implementation.get();
  const auto& activation = TheWorld().directActivations[state.thread_index()];
  const auto& spec = TheWorld().specs[state.thread_index()];
  Measure(state, kDirectUpdate, [&] {
    benchmark::DoNotOptimize(target);
    CallUpdate(*target, activation, spec);
  });
}

void BM_RoundTripUpdate(benchmark::State& state) {
  CpusSvc::AsyncServiceStub& stub = TheWorld().stub;
  const auto& spec = TheWorld().specs[state.thread_index()];
  Measure(state, kRoundTripUpdate, [&] { CallUpdate(stub, nullptr, spec); });
}

void BM_RoundTripUpdateOwn(benchmark::State& state) {
  CpusSvc::AsyncServiceStub& stub = *TheWorld().ownStubs[state.thread_index()];
  const auto& activation = TheWorld().ownActivations[state.thread_index()];
  const auto& spec = TheWorld().specs[state.thread_index()];
  Measure(state, kOwnUpdate, [&] { CallUpdate(stub, activation, spec); });
}

void BM_RoundTripGetPrivate(benchmark::State& state) {
  CpusSvc::AsyncServiceStub& stub = *TheWorld().privateStubs[state.thread_index()];
  const auto& activation = TheWorld().ownActivations[state.thread_index()];
  Measure(state, kPrivateGet, [&] { CallGet(stub, activation); });
}

void BM_RoundTripUpdatePrivate(benchmark::State& state) {
  CpusSvc::AsyncServiceStub& stub = *TheWorld().privateStubs[state.thread_index()];
  const auto& activation = TheWorld().ownActivations[state.thread_index()];
  const auto& spec = TheWorld().specs[state.thread_index()];
  Measure(state, kPrivateUpdate, [&] { CallUpdate(stub, activation, spec); });
}

// The direct calls first: the round trips compare themselves with them.
BENCHMARK(BM_DirectGet)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_DirectUpdate)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_RoundTripGet)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_RoundTripUpdate)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_RoundTripGetOwn)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_RoundTripUpdateOwn)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_RoundTripGetPrivate)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);
BENCHMARK(BM_RoundTripUpdatePrivate)->Setup(BuildWorld)->ThreadRange(1, kMaxThreads);

}  // namespace
