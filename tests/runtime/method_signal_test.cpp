#include <quil/provider/method_signal.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/vm/compute/cpus.h>

#include <quil/message.h>
#include <quil/provider/api_method_helper.h>
#include <quil/provider/method_definitions.h>
#include <quil/std/errors.h>

#include "runtime/provider_recorders.h"

namespace Quil::Provider {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using ProviderTesting::FrameworkReport;
using ProviderTesting::InfoValue;
using ProviderTesting::MessageIds;
using ProviderTesting::OperationInputValue;
using ProviderTesting::RecordFramework;
using ProviderTesting::Text;
using Wrapper = AsyncApiMethodSignal::ValidateResultWrapper;

constexpr std::string_view kInternalServerError = ApiMethodHelper::kInternalServerError;

// "get" of the cpus service: input {vm}, output Info, errors Error and NotFound.
std::shared_ptr<AsyncApiMethodSignal> MakeGetSignal(
    std::shared_ptr<L10n::Localizer> localizer = std::make_shared<L10n::Localizer>()) {
  return AsyncApiMethodSignal::GetInstance(
      "get", MethodDefinitions::Of<Cpus::GetMethod::Input>(),
      MethodDefinitions::Of<std::shared_ptr<const Cpus::Info>>(),
      MethodDefinitions::Errors<StdErrors::Error, StdErrors::NotFound>(), std::move(localizer));
}

Data::ErrorValuePtr NamedError(std::string_view name) {
  return Data::ErrorValue::Create(std::string(name),
                                  {BaseMessage("com.example.reason", "Reason.", {})});
}

// The single report of a call answered at once, final and without continuation.
const Core::MethodResultPtr& OnlyResult(const std::vector<FrameworkReport>& reports) {
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports.at(0).progress, kFinalProgress);
  EXPECT_FALSE(reports[0].continuation);
  EXPECT_NE(reports[0].result, nullptr);
  return reports[0].result;
}

TEST(MethodSignalTest, InvokeAnswersAtOnceWithoutHandlerOrWithMisfitInput) {
  const auto previous = std::make_shared<L10n::Localizer>();
  const auto activation = std::make_shared<Core::AsyncActivation>();
  activation->SetLocalizer(previous);

  // No handler: internal_server_error, whatever the input, and the activation is not touched.
  const auto unconnected = MakeGetSignal();
  for (const Data::DataValuePtr& input :
       {OperationInputValue({{"vm", Text("vm-1")}}), Data::DataValuePtr()}) {
    std::vector<FrameworkReport> reports;
    unconnected->Invoke(input, activation, RecordFramework(reports));
    const Core::MethodResultPtr& result = OnlyResult(reports);
    EXPECT_TRUE(result->isFinal);
    EXPECT_EQ(result->output, nullptr);
    ASSERT_NE(result->error, nullptr);
    EXPECT_EQ(result->error->GetName(), kInternalServerError);
    EXPECT_EQ(result->error->GetMessages(),
              MessageList{Message<CoreTag>("quil.provider.method.signal.not.connected")});
    EXPECT_EQ(activation->GetLocalizer(), previous);
  }

  // An input that does not fit: what ValidateInput says, and the handler is not called.
  const auto signal = MakeGetSignal();
  int handlerCalls = 0;
  signal->SetHandler([&](auto&&...) { ++handlerCalls; });
  const auto misfit = OperationInputValue({{"name", Text("vm-1")}});
  Core::MethodResultPtr expected;
  ASSERT_FALSE(ApiMethodHelper::ValidateInput("get", signal->inputDefinition(), misfit, expected));
  std::vector<FrameworkReport> reports;
  signal->Invoke(misfit, activation, RecordFramework(reports));
  EXPECT_EQ(handlerCalls, 0);
  const Core::MethodResultPtr& result = OnlyResult(reports);
  EXPECT_EQ(result->output, nullptr);
  ASSERT_NE(result->error, nullptr);
  EXPECT_EQ(*result->error, *expected->error);
  EXPECT_EQ(result->error->GetName(), ApiMethodHelper::kInvalidArgument);
  EXPECT_EQ(activation->GetLocalizer(), previous);

  // What the handler raises reaches the caller of Invoke.
  const auto throwing = MakeGetSignal();
  throwing->SetHandler([](auto&&...) { throw std::runtime_error("implementation failed"); });
  EXPECT_THROW(throwing->Invoke(OperationInputValue({{"vm", Text("vm-1")}}), activation,
                                RecordFramework(reports)),
               std::runtime_error);
}

TEST(ValidateResultWrapperTest, AnswersAreCheckedAgainstTheDefinitions) {
  const auto signal = MakeGetSignal();
  const auto output = InfoValue(4);
  const auto declared = NamedError(StdErrors::NotFound::kWireName);
  const auto undeclared = NamedError(StdErrors::ResourceBusy::kWireName);
  const auto invalidArgument = NamedError(ApiMethodHelper::kInvalidArgument);
  const auto answer = [&signal](Data::DataValuePtr out, Data::ErrorValuePtr error,
                                Progress progress,
                                AsyncApiMethod::ResultCb::Continuation next = {}) {
    std::vector<FrameworkReport> reports;
    Wrapper(signal, RecordFramework(reports))(std::move(out), std::move(error), progress,
                                              std::move(next));
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_FALSE(reports.at(0).continuation);
    return reports.at(0);
  };

  EXPECT_EQ(answer(nullptr, declared, kFinalProgress).result->error, declared);
  EXPECT_EQ(answer(nullptr, invalidArgument, kFinalProgress).result->error, invalidArgument);
  const FrameworkReport replaced = answer(nullptr, undeclared, Progress{2, 5, 5});
  ASSERT_NE(replaced.result->error, nullptr);
  EXPECT_EQ(replaced.result->error->GetName(), kInternalServerError);
  EXPECT_EQ(MessageIds(replaced.result->error).back(), "quil.provider.method.undeclared.error");
  EXPECT_EQ(replaced.progress, (Progress{2, 5, 5}));
  // An output given with an error is dropped; the error is checked.
  const FrameworkReport both =
      answer(output, undeclared, kFinalProgress, [](std::shared_ptr<AsyncApiMethod::ResultCb>) {});
  EXPECT_EQ(both.result->output, nullptr);
  EXPECT_EQ(*both.result->error, *replaced.result->error);

  const FrameworkReport good = answer(output, nullptr, Progress{1, 2, 2});
  EXPECT_EQ(good.result->output, output);
  EXPECT_EQ(good.result->error, nullptr);
  EXPECT_EQ(good.progress, (Progress{1, 2, 2}));
  const FrameworkReport misfit = answer(Text("not an info"), nullptr, kFinalProgress);
  EXPECT_EQ(misfit.result->output, nullptr);
  ASSERT_NE(misfit.result->error, nullptr);
  EXPECT_EQ(misfit.result->error->GetName(), kInternalServerError);
  EXPECT_EQ(MessageIds(misfit.result->error).back(), "quil.provider.method.invalid.output");
}

TEST(ValidateResultWrapperTest, OneFinalResultPerWrapper) {
  const auto signal = MakeGetSignal();
  const auto output = InfoValue(1);
  // Progress reports are forwarded; the first output is final and what follows is dropped.
  std::vector<FrameworkReport> reports;
  Wrapper wrapper(signal, RecordFramework(reports));
  for (std::int64_t done = 0; done < 5; ++done) {
    wrapper(nullptr, nullptr, Progress{0, 5, done}, {});
  }
  Wrapper copyBefore = wrapper;
  wrapper(output, nullptr, kFinalProgress, {});
  Wrapper copyAfter = wrapper;
  wrapper(InfoValue(2), nullptr, kFinalProgress, {});
  wrapper(nullptr, NamedError(StdErrors::NotFound::kWireName), kFinalProgress, {});
  wrapper(nullptr, nullptr, Progress{0, 2, 1}, {});
  copyAfter(InfoValue(3), nullptr, kFinalProgress, {});
  ASSERT_EQ(reports.size(), 6u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(reports[i].result, nullptr);
    EXPECT_EQ(reports[i].progress, (Progress{0, 5, static_cast<std::int64_t>(i)}));
  }
  ASSERT_NE(reports[5].result, nullptr);
  EXPECT_EQ(reports[5].result->output, output);
  EXPECT_EQ(reports[5].progress, kFinalProgress);
  // A copy made before the final delivery holds its own callback.
  copyBefore(InfoValue(9), nullptr, kFinalProgress, {});
  ASSERT_EQ(reports.size(), 7u);
  EXPECT_EQ(*reports[6].result->output, *InfoValue(9));

  // Through Invoke: a complete progress without output or error is the final, empty result,
  // and the later output reaches the spent wrapper, which drops it.
  reports.clear();
  signal->SetHandler([&](auto&&, auto&&, const AsyncApiMethod::ResultCb& callback) {
    callback(nullptr, nullptr, Progress{0, 4, 2}, {});
    callback(nullptr, nullptr, Progress{0, 4, 4}, {});
    callback(output, nullptr, kFinalProgress, {});
  });
  signal->Invoke(OperationInputValue({{"vm", Text("vm-1")}}),
                 std::make_shared<Core::AsyncActivation>(), RecordFramework(reports));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].result, nullptr);
  ASSERT_NE(reports[1].result, nullptr);
  EXPECT_TRUE(reports[1].result->isFinal);
  EXPECT_EQ(reports[1].result->output, nullptr);
  EXPECT_EQ(reports[1].result->error, nullptr);
  EXPECT_EQ(reports[1].progress, (Progress{0, 4, 4}));
}

TEST(ValidateResultWrapperTest, StreamContinuationChecksEveryOutput) {
  auto signal = MakeGetSignal();
  const std::weak_ptr<AsyncApiMethodSignal> watch = signal;
  std::vector<FrameworkReport> reports;
  Wrapper wrapper(signal, RecordFramework(reports));
  signal.reset();
  std::vector<std::shared_ptr<AsyncApiMethod::ResultCb>> nextCallbacks;
  wrapper(InfoValue(1), nullptr, Progress{0, 3, 1},
          [&](std::shared_ptr<AsyncApiMethod::ResultCb> next) {
            nextCallbacks.push_back(std::move(next));
          });
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_TRUE(reports[0].continuation);

  // The framework's callback of the next output: a good output passes, a bad one is replaced.
  std::vector<FrameworkReport> second;
  std::vector<FrameworkReport> third;
  reports[0].continuation(std::make_shared<Core::AsyncApiResultCb>(RecordFramework(second)));
  reports[0].continuation(std::make_shared<Core::AsyncApiResultCb>(RecordFramework(third)));
  reports[0].continuation(nullptr);
  ASSERT_EQ(nextCallbacks.size(), 3u);
  ASSERT_NE(nextCallbacks[0], nullptr);
  ASSERT_NE(nextCallbacks[1], nullptr);
  EXPECT_EQ(nextCallbacks[2], nullptr);
  (*nextCallbacks[0])(nullptr, nullptr, Progress{0, 3, 2}, {});
  (*nextCallbacks[0])(InfoValue(2), nullptr, kFinalProgress, {});
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].result, nullptr);
  EXPECT_EQ(*second[1].result->output, *InfoValue(2));
  (*nextCallbacks[1])(Text("not an info"), nullptr, kFinalProgress, {});
  EXPECT_EQ(OnlyResult(third)->error->GetName(), kInternalServerError);
  EXPECT_EQ(reports.size(), 1u);

  // Outstanding wrappers and continuations keep their signal, and only they.
  EXPECT_FALSE(watch.expired());
  nextCallbacks.clear();
  wrapper = Wrapper(nullptr, {});
  reports.clear();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace Quil::Provider
