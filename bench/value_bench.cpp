// The cost of a dynamic value against the native data it carries: a result structure holding a
// list of 1,000 structures (a text id, an integer, a boolean) is built, checked against its
// definition and destroyed, beside a baseline measured in the same run that builds and destroys
// the equivalent std::vector of native structures.
//
// Every benchmark reports `x_native`, its time per operation divided by the baseline's, and
// `ns_per_item`; both count the thread's CPU time, so that a busy machine skews them less.
// BM_BuildCheckDestroy is the whole round; BM_BuildDestroy and BM_Check split it.
#include <time.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <quil/data/definition.h>
#include <quil/data/definition_check.h>
#include <quil/data/value.h>

namespace {

using namespace Quil::Data;

constexpr std::size_t kItems = 1000;

struct NativeItem {
  std::string id;
  std::int64_t count;
  bool enabled;
};

// Ids past the small-string buffer, so that both sides allocate every text.
const std::vector<std::string>& Ids() {
  static const std::vector<std::string> ids = [] {
    std::vector<std::string> made;
    for (std::size_t i = 0; i < kItems; ++i) made.push_back("vm-device-item-" + std::to_string(i));
    return made;
  }();
  return ids;
}

std::vector<NativeItem> BuildNative() {
  const auto& ids = Ids();
  std::vector<NativeItem> items;
  items.reserve(kItems);
  for (std::size_t i = 0; i < kItems; ++i) {
    items.push_back({ids[i], static_cast<std::int64_t>(i), i % 2 == 0});
  }
  return items;
}

DataValuePtr BuildValue() {
  const auto& ids = Ids();
  auto items = ListValue::GetInstance(ListValue::Kind::LIST);
  items->Reserve(kItems);
  for (std::size_t i = 0; i < kItems; ++i) {
    auto item = StructValue::GetInstance("com.example.item");
    item->Reserve(3);
    item->SetField("id", StringValue::GetInstance(ids[i]));
    item->SetField("count", IntegerValue::GetInstance(static_cast<std::int64_t>(i)));
    item->SetField("enabled", BooleanValue::GetInstance(i % 2 == 0));
    items->Append(std::move(item));
  }
  auto result = StructValue::GetInstance("com.example.list_result");
  result->Reserve(1);
  result->SetField("items", std::move(items));
  return result;
}

const DataDefinitionPtr& Definition() {
  static const DataDefinitionPtr definition = [] {
    DataDefinitionPtr item = StructDefinition::GetInstance(
        "com.example.item", {{"id", DataDefinition::Create<std::string>()},
                             {"count", DataDefinition::Create<std::int64_t>()},
                             {"enabled", DataDefinition::Create<bool>()}});
    return StructDefinition::GetInstance("com.example.list_result",
                                         {{"items", ListDefinition::GetInstance(item)}});
  }();
  return definition;
}

void Check(const DataValuePtr& value) {
  Quil::MessageList messages;
  const bool fits = CheckValue(*Definition(), value, CheckMode::Exact, messages);
  benchmark::DoNotOptimize(fits);
  if (!fits) std::abort();
}

double ThreadNanos() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// The baseline's time per build and destroy, measured once per run for every benchmark.
double BaselineNanos() {
  static const double nanos = [] {
    for (int i = 0; i < 50; ++i) benchmark::DoNotOptimize(BuildNative());  // warm up
    std::size_t rounds = 0;
    const double start = ThreadNanos();
    do {
      for (int i = 0; i < 100; ++i, ++rounds) benchmark::DoNotOptimize(BuildNative());
    } while (ThreadNanos() - start < 2e8);
    return (ThreadNanos() - start) / static_cast<double>(rounds);
  }();
  return nanos;
}

template <typename Round>
void Measure(benchmark::State& state, Round round) {
  const double baseline = BaselineNanos();
  const double start = ThreadNanos();
  for (auto _ : state) round();
  const double perOperation = (ThreadNanos() - start) / static_cast<double>(state.iterations());
  state.counters["x_native"] = perOperation / baseline;
  state.counters["ns_per_item"] = perOperation / kItems;
}

void BM_NativeBaseline(benchmark::State& state) {
  Measure(state, [] { benchmark::DoNotOptimize(BuildNative()); });
}

void BM_BuildCheckDestroy(benchmark::State& state) {
  Measure(state, [] {
    DataValuePtr value = BuildValue();
    Check(value);
  });
}

void BM_BuildDestroy(benchmark::State& state) {
  Measure(state, [] { benchmark::DoNotOptimize(BuildValue()); });
}

void BM_Check(benchmark::State& state) {
  const DataValuePtr value = BuildValue();
  Measure(state, [&value] { Check(value); });
}

BENCHMARK(BM_NativeBaseline);
BENCHMARK(BM_BuildCheckDestroy);
BENCHMARK(BM_BuildDestroy);
BENCHMARK(BM_Check);

}  // namespace
