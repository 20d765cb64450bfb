#include <tavo/vm/compute/cpus.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/method_result.h>
#include <quil/data/value.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_method.h>

#include "runtime/executors.h"
#include "runtime/provider_recorders.h"

// Inside the helpers' namespace, so that the helpers and the framework's names need no
// declarations.
namespace Quil::ProviderTesting {
namespace {

namespace CpusSvc = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;

constexpr std::int64_t kCallers = 2;
constexpr std::int64_t kCallsPerCaller = 100000;
constexpr std::int64_t kCalls = kCallers * kCallsPerCaller;

// Call n is "get" when n / 2 is even, else "update"; either way its "vm" is the decimal n.
bool IsGet(std::int64_t number) { return number / 2 % 2 == 0; }

// Answers call n with what only that call should get: "get" with an Info whose count is n,
// "update" (whose specification carries count n) with Void. Even calls are answered inside the
// call, odd ones later from the pool's threads.
class NumberedCpus final : public CpusSvc::AsyncServiceInterface {
 public:
  NumberedCpus(WorkerPool& pool, std::shared_ptr<L10n::Localizer> bindingLocalizer)
      : pool_(pool), bindingLocalizer_(std::move(bindingLocalizer)) {}

  void Get(const std::string& vm, std::shared_ptr<Core::AsyncActivation> activation,
           const CpusSvc::GetMethod::ResultCbType& result) override {
    const std::int64_t number = Receive(vm, *activation);
    auto info = std::make_shared<CpusSvc::Info>();
    info->count = number;
    info->coresPerSocket = number % 7 + 1;
    info->hotAddEnabled = number % 3 == 0;
    Answer(number, [result, info = std::shared_ptr<const CpusSvc::Info>(std::move(info))] {
      result(info);
    });
  }

  void Update(const std::string& vm, std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
              std::shared_ptr<Core::AsyncActivation> activation,
              const CpusSvc::UpdateMethod::ResultCbType& result) override {
    const std::int64_t number = Receive(vm, *activation);
    if (updateSpec->count != number) ++mismatches;
    Answer(number, [result] { result(); });
  }

  std::atomic<std::int64_t> calls{0};
  std::atomic<std::int64_t> mismatches{0};  // arguments that are not those of their call

 private:
  std::int64_t Receive(const std::string& vm, const Core::AsyncActivation& activation) {
    ++calls;
    if (activation.GetLocalizer() != bindingLocalizer_) ++mismatches;
    return std::stoll(vm);
  }

  template <typename Delivery>
  void Answer(std::int64_t number, Delivery deliver) {
    if (number % 2 == 0) {
      deliver();
    } else {
      pool_.Post(std::move(deliver));
    }
  }

  WorkerPool& pool_;
  const std::shared_ptr<L10n::Localizer> bindingLocalizer_;
};

// Counts, per call, the final answers reaching the framework, and every answer that is not the
// one its call should get.
class Tally {
 public:
  Tally() : answers_(new std::atomic<int>[kCalls]()) {}

  Core::AsyncApiResultCb Callback(std::int64_t number) {
    return Core::AsyncApiResultCb(
        [this, number](Core::MethodResultPtr result, Progress progress, auto) {
          if (!IsExpected(result, progress, number)) ++wrong_;
          if (result != nullptr) answers_[number].fetch_add(1, std::memory_order_relaxed);
        });
  }

  std::int64_t wrong() const { return wrong_; }
  // The calls answered other than exactly once.
  std::vector<std::int64_t> NotAnsweredOnce() const {
    std::vector<std::int64_t> calls;
    for (std::int64_t n = 0; n < kCalls; ++n) {
      if (answers_[n].load() != 1) calls.push_back(n);
    }
    return calls;
  }

 private:
  static bool IsExpected(const Core::MethodResultPtr& result, Progress progress,
                         std::int64_t number) {
    if (result == nullptr || result->error != nullptr || result->output == nullptr ||
        progress != kFinalProgress) {
      return false;
    }
    if (!IsGet(number)) return result->output->GetType() == Data::DataType::VOID;
    if (result->output->GetType() != Data::DataType::STRUCTURE) return false;
    Data::DataValuePtr count;
    std::int64_t value = -1;
    MessageList messages;
    return static_cast<const Data::StructValue&>(*result->output)
               .GetField("count", count, messages) &&
           Data::DataValue::Value(count, value, messages) && value == number;
  }

  std::unique_ptr<std::atomic<int>[]> answers_;
  std::atomic<std::int64_t> wrong_{0};
};

// Invokes calls first .. first + count - 1, each with its own activation.
void InvokeCalls(const Provider::AsyncApiInterface& api, std::int64_t first, std::int64_t count,
                 Tally& tally) {
  const auto get = api.FindMethod("get");
  const auto update = api.FindMethod("update");
  for (std::int64_t number = first; number < first + count; ++number) {
    const Data::DataValuePtr vm = Text(std::to_string(number));
    if (IsGet(number)) {
      get->Invoke(OperationInputValue({{"vm", vm}}), std::make_shared<Core::AsyncActivation>(),
                  tally.Callback(number));
    } else {
      const Data::DataValuePtr spec =
          Structure("com.korvan.tavo.vm.compute.cpus.update_spec", {{"count", Integer(number)}});
      update->Invoke(OperationInputValue({{"vm", vm}, {"update_spec", spec}}),
                     std::make_shared<Core::AsyncActivation>(), tally.Callback(number));
    }
  }
}

TEST(ConcurrencyTest, EveryCallIsAnsweredOnceWithItsOwnValue) {
  const auto localizer = std::make_shared<L10n::Localizer>();
  Tally tally;
  std::shared_ptr<NumberedCpus> implementation;
  {
    WorkerPool pool(2);
    implementation = std::make_shared<NumberedCpus>(pool, localizer);
    const auto api = CpusSvc::AsyncServiceBinder::BindImplementation(implementation, localizer);
    std::vector<std::thread> callers;
    for (std::int64_t caller = 0; caller < kCallers; ++caller) {
      callers.emplace_back([&api, &tally, caller] {
        InvokeCalls(*api, caller * kCallsPerCaller, kCallsPerCaller, tally);
      });
    }
    for (std::thread& caller : callers) caller.join();
    pool.Finish();  // delivers the answers still queued
  }
  EXPECT_EQ(implementation->calls, kCalls);
  EXPECT_EQ(implementation->mismatches, 0);
  EXPECT_EQ(tally.wrong(), 0);
  const std::vector<std::int64_t> notOnce = tally.NotAnsweredOnce();
  EXPECT_TRUE(notOnce.empty()) << notOnce.size() << " calls not answered exactly once, the first "
                               << (notOnce.empty() ? -1 : notOnce.front());
}

}  // namespace
}  // namespace Quil::ProviderTesting
