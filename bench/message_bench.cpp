// Cost of making a three-argument message (a literal, a text object, an empty literal), beside
// the same record built by string concatenation in the same run.
//
// Each benchmark's time is ns per op of the library path. After its loop, both the library path
// and the baseline run again for as many iterations: `ns_per_op` and `baseline_ns` are those
// times, `ratio` is library / baseline. BM_FormatBesideStringStream takes as its baseline the
// same rendering through a fresh std::ostringstream per call, which Format avoids.
#include <quil/message.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

constexpr const char* kId = "quil.data.bad.cast1";
constexpr const char* kTemplate = "Field {1} of {2} cannot be converted{3}.";
const std::string kType = "::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Info";

Quil::BaseMessage MakeWithFormatter() {
  return Quil::MakeMessage(kId, kTemplate, "cores", kType, "");
}

Quil::BaseMessage MakeByConcatenation() {
  const char* field = "cores";
  const char* empty = "";
  std::string text = "Field ";
  text += field;
  text += " of ";
  text += kType;
  text += " cannot be converted";
  text += empty;
  text += ".";
  std::vector<std::string> args;
  args.reserve(3);
  args.emplace_back(field);
  args.push_back(kType);
  args.emplace_back(empty);
  return Quil::BaseMessage(kId, std::move(text), std::move(args));
}

// Rendering as a fresh std::ostringstream would do it: stream, FormatTo, copy out.
std::string FormatWithStringStream(std::string_view pattern, const Quil::Detail::format_arg* args,
                                   std::size_t count, std::error_code& error) {
  std::ostringstream out;
  Quil::Detail::FormatTo(out, pattern, args, count, error);
  return out.str();
}

template <typename Make>
double NanosecondsPerOp(benchmark::IterationCount iterations, Make make) {
  const auto start = std::chrono::steady_clock::now();
  for (benchmark::IterationCount i = 0; i < iterations; ++i) {
    auto made = make();
    benchmark::DoNotOptimize(made);
  }
  const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
  return elapsed.count() / static_cast<double>(iterations);
}

template <typename Make, typename Baseline>
void RunBesideBaseline(benchmark::State& state, Make make, Baseline baseline) {
  for (auto _ : state) {
    auto made = make();
    benchmark::DoNotOptimize(made);
  }
  const double madeNs = NanosecondsPerOp(state.iterations(), make);
  const double baselineNs = NanosecondsPerOp(state.iterations(), baseline);
  state.counters["ns_per_op"] = madeNs;
  state.counters["baseline_ns"] = baselineNs;
  state.counters["ratio"] = madeNs / baselineNs;
}

void BM_MakeMessageThreeArgs(benchmark::State& state) {
  RunBesideBaseline(state, MakeWithFormatter, MakeByConcatenation);
}
BENCHMARK(BM_MakeMessageThreeArgs);

void BM_ConcatenationBaseline(benchmark::State& state) {
  for (auto _ : state) {
    Quil::BaseMessage made = MakeByConcatenation();
    benchmark::DoNotOptimize(made);
  }
}
BENCHMARK(BM_ConcatenationBaseline);

// The library's Format beside a per-call std::ostringstream, same template and arguments.
void BM_FormatBesideStringStream(benchmark::State& state) {
  const char* field = "cores";
  const char* empty = "";
  const Quil::Detail::format_arg args[] = {Quil::Detail::MakeFormatArg(field),
                                           Quil::Detail::MakeFormatArg(kType),
                                           Quil::Detail::MakeFormatArg(empty)};
  auto library = [&args] {
    std::error_code error;
    return Quil::Detail::Format(kTemplate, args, 3, error);
  };
  auto stringStream = [&args] {
    std::error_code error;
    return FormatWithStringStream(kTemplate, args, 3, error);
  };
  RunBesideBaseline(state, library, stringStream);
}
BENCHMARK(BM_FormatBesideStringStream);

}  // namespace
