#include <tavo/vm/compute/cpus.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/core/activation.h>
#include <quil/l10n/localizer.h>

#include "runtime/provider_recorders.h"

namespace Quil::ProviderTesting {
namespace {

namespace CpusSvc = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;

constexpr std::int64_t kCallers = 2;
constexpr std::int64_t kCallsPerCaller = 100000;
constexpr std::int64_t kCalls = kCallers * kCallsPerCaller;

// Call n is "get" when n / 2 is even, else "update"; its "vm" is the decimal n.
bool IsGet(std::int64_t number) { return number / 2 % 2 == 0; }

// Two threads that run posted tasks in posting order; Finish runs what is queued and joins.
class WorkerPool {
 public:
  void Post(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks_.push_back(std::move(task));
    }
    queued_.notify_one();
  }

  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finishing_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : threads_) worker.join();
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      queued_.wait(lock, [this] { return !tasks_.empty() || finishing_; });
      if (tasks_.empty()) return;
      std::function<void()> task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> tasks_;
  bool finishing_ = false;
  std::thread threads_[2] = {std::thread([this] { Work(); }), std::thread([this] { Work(); })};
};

// Answers "get" n with an Info whose count is n, "update" (whose spec carries count n) with Void;
// even calls inside the call, odd ones later from the pool's threads.
class NumberedCpus final : public CpusSvc::AsyncServiceInterface {
 public:
  NumberedCpus(WorkerPool& pool, std::shared_ptr<L10n::Localizer> localizer)
      : pool_(pool), localizer_(std::move(localizer)) {}

  void Get(const std::string& vm, std::shared_ptr<Core::AsyncActivation> activation,
           const CpusSvc::GetMethod::ResultCbType& result) override {
    const std::int64_t number = Receive(vm, *activation);
    auto info = std::make_shared<CpusSvc::Info>();
    info->count = number;
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
    if (activation.GetLocalizer() != localizer_) ++mismatches;
    return std::stoll(vm);
  }

  template <typename Deliver>
  void Answer(std::int64_t number, Deliver deliver) {
    if (number % 2 == 0) {
      deliver();
    } else {
      pool_.Post(std::move(deliver));
    }
  }

  WorkerPool& pool_;
  const std::shared_ptr<L10n::Localizer> localizer_;
};

// Whether `result` is the final answer call `number` should get.
bool IsOwnAnswer(const Core::MethodResultPtr& result, Progress progress, std::int64_t number) {
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

TEST(ConcurrencyTest, EveryCallIsAnsweredOnceWithItsOwnValue) {
  const auto localizer = std::make_shared<L10n::Localizer>();
  const std::unique_ptr<std::atomic<int>[]> answers(new std::atomic<int>[kCalls]());
  std::atomic<std::int64_t> wrong{0};
  std::shared_ptr<NumberedCpus> implementation;
  {
    WorkerPool pool;
    implementation = std::make_shared<NumberedCpus>(pool, localizer);
    const auto api = CpusSvc::AsyncServiceBinder::BindImplementation(implementation, localizer);
    std::vector<std::thread> callers;
    for (std::int64_t caller = 0; caller < kCallers; ++caller) {
      callers.emplace_back([&, caller] {
        for (std::int64_t n = caller * kCallsPerCaller; n < (caller + 1) * kCallsPerCaller; ++n) {
          auto input = Struct(TypeInfo<OperationInput>::name(), {{"vm", Str(std::to_string(n))}});
          if (!IsGet(n)) {
            input->SetField("update_spec", Struct("com.korvan.tavo.vm.compute.cpus.update_spec",
                                                  {{"count", Int(n)}}));
          }
          api->FindMethod(IsGet(n) ? "get" : "update")
              ->Invoke(input, std::make_shared<Core::AsyncActivation>(),
                       Core::AsyncApiResultCb(
                           [&, n](Core::MethodResultPtr result, Progress progress, auto) {
                             if (!IsOwnAnswer(result, progress, n)) ++wrong;
                             if (result != nullptr) ++answers[n];
                           }));
        }
      });
    }
    for (std::thread& caller : callers) caller.join();
    pool.Finish();  // delivers the answers still queued
  }
  EXPECT_EQ(implementation->calls, kCalls);
  EXPECT_EQ(implementation->mismatches, 0);
  EXPECT_EQ(wrong, 0);
  std::int64_t notOnce = 0;
  for (std::int64_t n = 0; n < kCalls; ++n) notOnce += answers[n] != 1 ? 1 : 0;
  EXPECT_EQ(notOnce, 0) << "calls not answered exactly once";
}

}  // namespace
}  // namespace Quil::ProviderTesting
