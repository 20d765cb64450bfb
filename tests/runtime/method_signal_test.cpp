#include <quil/provider/method_signal.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/vm/compute/cpus.h>

#include <quil/error_names.h>
#include <quil/message.h>
#include <quil/provider/binder.h>
#include <quil/provider/method_definitions.h>
#include <quil/std/errors.h>

#include "runtime/provider_recorders.h"

namespace Quil::Provider {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using ProviderTesting::FrameworkReport;
using ProviderTesting::InfoValue;
using ProviderTesting::OperationInputValue;
using ProviderTesting::RecordFramework;
using ProviderTesting::Str;
using Wrapper = AsyncApiMethodSignal::ValidateResultWrapper;
using Data::DataDefinitionPtr;

// "get" of the cpus service: input {vm}, output Info, errors Error and NotFound.
std::shared_ptr<AsyncApiMethodSignal> MakeGetSignal(
    std::shared_ptr<L10n::Localizer> localizer = std::make_shared<L10n::Localizer>()) {
  return AsyncApiMethodSignal::GetInstance(
      "get", MethodDefinitions::Of<Cpus::GetMethod::Input>(),
      MethodDefinitions::Of<std::shared_ptr<const Cpus::Info>>(),
      MethodDefinitions::Errors<StdErrors::Error, StdErrors::NotFound>(), std::move(localizer));
}

// The single report of a call answered at once, final and without continuation.
const Core::MethodResultPtr& OnlyResult(const std::vector<FrameworkReport>& reports) {
  EXPECT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports.at(0).progress, kFinalProgress);
  EXPECT_FALSE(reports[0].continuation);
  EXPECT_NE(reports[0].result, nullptr);
  return reports[0].result;
}

std::vector<std::string> asked;  // what LoggingGetMethod was asked, in order

template <typename T>
T Logged(const char* what, T answer) {
  asked.push_back(what);
  return answer;
}

// The method class of cpus "get", logging the calls of its static functions.
struct LoggingGetMethod : Cpus::GetMethod {
  static std::string methodName() { return Logged("methodName", Cpus::GetMethod::methodName()); }
  static DataDefinitionPtr inputDef() { return Logged("inputDef", Cpus::GetMethod::inputDef()); }
  static DataDefinitionPtr outputDef() { return Logged("outputDef", Cpus::GetMethod::outputDef()); }
  static std::vector<DataDefinitionPtr> errorDefs() {
    return Logged("errorDefs", Cpus::GetMethod::errorDefs());
  }
};

// The catalogue table checks the definitions of every bound method; here: the order of asking,
// the handler, the localizer, and that a callback kept for later keeps the signal.
TEST(GetApiMethodInstanceTest, AsksTheMethodClassInOrderAndConnectsTheFilter) {
  std::vector<AsyncApiMethod::ResultCb> kept;
  const auto localizer = std::make_shared<L10n::Localizer>();
  std::shared_ptr<AsyncApiMethodSignal> signal = GetApiMethodInstance<LoggingGetMethod>(
      [&kept](const auto&, const auto&, const AsyncApiMethod::ResultCb& callback) {
        kept.push_back(callback);
      },
      localizer);
  EXPECT_EQ(asked, (std::vector<std::string>{"errorDefs", "outputDef", "inputDef", "methodName"}));
  const auto activation = std::make_shared<Core::AsyncActivation>();
  std::vector<FrameworkReport> reports;
  signal->Invoke(OperationInputValue({{"vm", Str("vm-1")}}), activation, RecordFramework(reports));
  EXPECT_EQ(activation->GetLocalizer(), localizer);
  EXPECT_FALSE(signal->SetHandler([](auto&&...) {}));  // connected once only
  const std::weak_ptr<const AsyncApiMethodSignal> watch = signal;
  signal.reset();
  ASSERT_EQ(kept.size(), 1u);
  kept[0](InfoValue(1), nullptr, kFinalProgress, {});
  EXPECT_EQ(*OnlyResult(reports)->output, *InfoValue(1));
  kept.clear();
  EXPECT_TRUE(watch.expired());
}

TEST(MethodSignalTest, WithoutHandlerInvokeAnswersNotConnected) {
  const auto previous = std::make_shared<L10n::Localizer>();
  const auto activation = std::make_shared<Core::AsyncActivation>();
  activation->SetLocalizer(previous);

  const auto unconnected = MakeGetSignal();
  for (const Data::DataValuePtr& input :
       {OperationInputValue({{"vm", Str("vm-1")}}), Data::DataValuePtr()}) {
    std::vector<FrameworkReport> reports;
    unconnected->Invoke(input, activation, RecordFramework(reports));
    const Core::MethodResultPtr& result = OnlyResult(reports);
    EXPECT_TRUE(result->isFinal);
    EXPECT_EQ(result->output, nullptr);
    ASSERT_NE(result->error, nullptr);
    EXPECT_EQ(result->error->GetName(), ErrorNames::kInternalServerError);
    EXPECT_EQ(result->error->GetMessages(),
              MessageList{Message<CoreTag>("quil.provider.method.signal.not.connected")});
    EXPECT_EQ(activation->GetLocalizer(), previous);
  }
}

// One wrapper: progress passes, the first output is final and checked, what follows is dropped,
// and each next output of the stream gets a checking wrapper of its own.
TEST(ValidateResultWrapperTest, OneFinalResultPerWrapperAndEveryStreamOutputChecked) {
  auto signal = MakeGetSignal();
  std::vector<FrameworkReport> reports;
  Wrapper wrapper(signal, RecordFramework(reports));
  signal.reset();  // the wrapper keeps it
  for (std::int64_t done = 0; done < 5; ++done) {
    wrapper(nullptr, nullptr, Progress{0, 5, done}, {});
  }
  const auto output = InfoValue(1);
  std::vector<std::shared_ptr<AsyncApiMethod::ResultCb>> nextCallbacks;
  wrapper(output, nullptr, kFinalProgress, [&](std::shared_ptr<AsyncApiMethod::ResultCb> next) {
    nextCallbacks.push_back(std::move(next));
  });
  wrapper(InfoValue(2), nullptr, kFinalProgress, {});
  wrapper(nullptr, Data::ErrorValue::GetInstance(std::string(ErrorNames::kNotFound)),
          kFinalProgress, {});
  wrapper(nullptr, nullptr, Progress{0, 2, 1}, {});
  ASSERT_EQ(reports.size(), 6u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(reports[i].result, nullptr);
    EXPECT_EQ(reports[i].progress, (Progress{0, 5, static_cast<std::int64_t>(i)}));
  }
  ASSERT_NE(reports[5].result, nullptr);
  EXPECT_EQ(reports[5].result->output, output);
  EXPECT_EQ(reports[5].progress, kFinalProgress);
  ASSERT_TRUE(reports[5].continuation);

  // The framework's callback of the next output: a good output passes, a bad one is replaced.
  std::vector<FrameworkReport> second;
  std::vector<FrameworkReport> third;
  reports[5].continuation(std::make_shared<Core::AsyncApiResultCb>(RecordFramework(second)));
  reports[5].continuation(std::make_shared<Core::AsyncApiResultCb>(RecordFramework(third)));
  reports[5].continuation(nullptr);
  ASSERT_EQ(nextCallbacks.size(), 3u);
  ASSERT_NE(nextCallbacks[0], nullptr);
  ASSERT_NE(nextCallbacks[1], nullptr);
  EXPECT_EQ(nextCallbacks[2], nullptr);
  (*nextCallbacks[0])(nullptr, nullptr, Progress{0, 3, 2}, {});
  (*nextCallbacks[0])(InfoValue(2), nullptr, kFinalProgress, {});
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].result, nullptr);
  EXPECT_EQ(*second[1].result->output, *InfoValue(2));
  (*nextCallbacks[1])(Str("not an info"), nullptr, kFinalProgress, {});
  EXPECT_EQ(OnlyResult(third)->error->GetName(), ErrorNames::kInternalServerError);
  EXPECT_EQ(reports.size(), 6u);
}

}  // namespace
}  // namespace Quil::Provider
