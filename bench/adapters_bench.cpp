// The cost of the value adapters on a structure holding a list of 10,000 small structures (a
// text id, an enumeration, a text device), beside a baseline measured in the same run: a deep
// copy of the native list.
//
// Every benchmark builds its result and destroys it inside the timed loop, and reports
//   time_per_element    time per operation divided by the number of listed structures;
//   allocs_per_element  heap allocations per listed structure, counted by the replacement
//                       global operator new of this program.
// BM_NativeToValueToNative converts the list to a value and back, and also reports
//   x_copy_of_copy      its CPU time over that of BM_BaselineCopyOfCopy (which runs first): a
//                       copy of a copy of the native list, two conversions as well.
// BM_Validate checks the list structure and then each listed structure: the validator looks one
// level deep only, so checking the list alone would not touch the elements.
#include <quil/data/native_to_value.h>
#include <quil/data/validator.h>
#include <quil/data/value_to_native.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <quil/l10n/localizer.h>

#include "allocation_counter.h"

// Types in the shape the generator emits.
namespace Com::Korvan::Tavo::Bench::ListSvc {

class State final : public Quil::Data::Enumeration<State> {
 public:
  enum Enum : std::int32_t { CONNECTED, DISCONNECTED, RECOVERING, _UNKNOWN };
  struct Strings {
    static constexpr const char* values[5] = {"CONNECTED", "DISCONNECTED", "RECOVERING", "_UNKNOWN",
                                              nullptr};
  };
  State(Enum value = _UNKNOWN) : Enumeration(value) {}  // NOLINT
};

struct Leaf : Quil::Data::BaseNative {
  std::string id;
  State state;
  std::string device;
  struct AdapterHelper {
    static constexpr Quil::Data::KnownName knownNames[] = {"device", "id", "state"};
    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.AddField("id", &Leaf::id);
      helper.AddField("state", &Leaf::state);
      helper.AddField("device", &Leaf::device);
      helper.AddUnknownFields(knownNames);
    }
  };
};

struct LeafList : Quil::Data::BaseNative {
  std::vector<std::shared_ptr<const Leaf>> leaves;
  struct AdapterHelper {
    static constexpr Quil::Data::KnownName knownNames[] = {"leaves"};
    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.AddField("leaves", &LeafList::leaves);
      helper.AddUnknownFields(knownNames);
    }
  };
};

}  // namespace Com::Korvan::Tavo::Bench::ListSvc

namespace Quil {
namespace Bench = Com::Korvan::Tavo::Bench::ListSvc;
template <>
struct TypeInfo<Bench::State> : Data::EnumTypeInfo<Bench::State> {
  static std::string name() { return "com.korvan.tavo.bench.list.state"; }
  static constexpr std::string_view qualifiedName = "::Com::Korvan::Tavo::Bench::ListSvc::State";
};
template <>
struct TypeInfo<Bench::Leaf> : Data::StructTypeInfo<Bench::Leaf> {
  static std::string name() { return "com.korvan.tavo.bench.list.leaf"; }
  static constexpr std::string_view qualifiedName = "::Com::Korvan::Tavo::Bench::ListSvc::Leaf";
};
template <>
struct TypeInfo<Bench::LeafList> : Data::StructTypeInfo<Bench::LeafList> {
  static std::string name() { return "com.korvan.tavo.bench.list.leaf_list"; }
  static constexpr std::string_view qualifiedName = "::Com::Korvan::Tavo::Bench::ListSvc::LeafList";
};
}  // namespace Quil

namespace {

using namespace Quil::Data;
using Quil::Bench::Leaf;
using Quil::Bench::LeafList;
using Quil::Bench::State;

constexpr std::size_t kElements = 10000;

// Short ids fit the small-string buffer; device paths need the heap, on every side alike.
const LeafList& Natives() {
  static const LeafList list = [] {
    LeafList made;
    for (std::size_t i = 0; i < kElements; ++i) {
      auto leaf = std::make_shared<Leaf>();
      leaf->id = "leaf-" + std::to_string(i);
      leaf->state = static_cast<State::Enum>(i % 3);
      leaf->device = "/vmfs/volumes/datastore-1/disk-" + std::to_string(i) + ".vmdk";
      made.leaves.push_back(std::move(leaf));
    }
    return made;
  }();
  return list;
}

const Quil::L10n::RequestLocalizer& Localizer() {
  static const Quil::L10n::RequestLocalizer localizer =
      Quil::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return localizer;
}

const DataValuePtr& Value() {
  static const DataValuePtr value = [] {
    DataValuePtr made;
    Quil::MessageList messages;
    if (!NativeToValueAdapter::Adapt(Natives(), made, messages, Localizer())) std::abort();
    return made;
  }();
  return value;
}

// Runs `body` once per iteration and reports time and allocations per listed structure.
template <typename Body>
void Measure(benchmark::State& state, Body body) {
  const std::size_t before = Bench::Allocations();
  for (auto _ : state) body();
  const double elements = static_cast<double>(state.iterations()) * kElements;
  // An inverted rate: seconds per element, printed with its unit ("215ns").
  state.counters["time_per_element"] = benchmark::Counter(
      kElements, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["allocs_per_element"] =
      static_cast<double>(Bench::Allocations() - before) / elements;
}

LeafList DeepCopy(const LeafList& source) {
  LeafList copy;
  copy.leaves.reserve(source.leaves.size());
  for (const auto& leaf : source.leaves) copy.leaves.push_back(std::make_shared<Leaf>(*leaf));
  return copy;
}

void BM_BaselineDeepCopy(benchmark::State& state) {
  const LeafList& source = Natives();
  Measure(state, [&source] {
    LeafList copy = DeepCopy(source);
    benchmark::DoNotOptimize(copy.leaves.data());
  });
}

// CPU time of one copy of a copy, for the round trip's ratio.
double copyOfCopyCpuTime = 0;

void BM_BaselineCopyOfCopy(benchmark::State& state) {
  const LeafList& source = Natives();
  const std::clock_t start = std::clock();
  Measure(state, [&source] {
    LeafList copy = DeepCopy(DeepCopy(source));
    benchmark::DoNotOptimize(copy.leaves.data());
  });
  copyOfCopyCpuTime = static_cast<double>(std::clock() - start) / state.iterations();
}

void BM_NativeToValueToNative(benchmark::State& state) {
  const LeafList& source = Natives();
  const std::clock_t start = std::clock();
  Measure(state, [&source] {
    DataValuePtr value;
    LeafList native;
    Quil::MessageList messages;
    if (!NativeToValueAdapter::Adapt(source, value, messages, Localizer()) ||
        !ValueToNativeAdapter::Adapt(value, native, messages)) {
      std::abort();
    }
    benchmark::DoNotOptimize(native.leaves.data());
  });
  const double cpuTime = static_cast<double>(std::clock() - start) / state.iterations();
  if (copyOfCopyCpuTime > 0) state.counters["x_copy_of_copy"] = cpuTime / copyOfCopyCpuTime;
}

void BM_NativeToValue(benchmark::State& state) {
  const LeafList& source = Natives();
  Measure(state, [&source] {
    DataValuePtr value;
    Quil::MessageList messages;
    if (!NativeToValueAdapter::Adapt(source, value, messages, Localizer())) std::abort();
    benchmark::DoNotOptimize(value.get());
  });
}

void BM_ValueToNative(benchmark::State& state) {
  const DataValuePtr& value = Value();
  Measure(state, [&value] {
    LeafList native;
    Quil::MessageList messages;
    if (!ValueToNativeAdapter::Adapt(value, native, messages)) std::abort();
    benchmark::DoNotOptimize(native.leaves.data());
  });
}

void BM_Validate(benchmark::State& state) {
  const LeafList& source = Natives();
  Measure(state, [&source] {
    Quil::MessageList messages;
    bool valid = Validator::isValid(source, Validator::Strict, messages);
    for (const auto& leaf : source.leaves)
      valid = valid && Validator::isValid(*leaf, Validator::Strict, messages);
    if (!valid) std::abort();
  });
}

BENCHMARK(BM_BaselineDeepCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BaselineCopyOfCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NativeToValueToNative)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NativeToValue)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ValueToNative)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Validate)->Unit(benchmark::kMicrosecond);

}  // namespace
