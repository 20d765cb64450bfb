#include <quil/provider/method_signal.h>

#include <functional>
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

TEST(MethodSignalTest, AccessorsExposeWhatBindingStored) {
  const auto inputDef = MethodDefinitions::Of<Cpus::GetMethod::Input>();
  const auto outputDef = MethodDefinitions::Of<std::shared_ptr<const Cpus::Info>>();
  const auto errorDefs = MethodDefinitions::Errors<StdErrors::Error, StdErrors::NotFound>();
  const auto signal = AsyncApiMethodSignal::GetInstance("get", inputDef, outputDef, errorDefs,
                                                        std::make_shared<L10n::Localizer>());
  const AsyncApiMethod& method = *signal;

  EXPECT_EQ(method.methodName(), "get");
  EXPECT_EQ(&method.methodName(), &signal->methodName());
  EXPECT_EQ(method.inputDefinition(), inputDef);
  EXPECT_EQ(method.outputDefinition(), outputDef);

  const auto interfaceId =
      Core::InterfaceIdentifier::GetInstance("com.korvan.tavo.vm.compute.cpus");
  const auto first = method.definition(interfaceId);
  const auto second = method.definition(interfaceId);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);
  EXPECT_NE(first->GetIdentifier(), second->GetIdentifier());
  EXPECT_EQ(first->GetIdentifier()->GetInterface(), interfaceId);
  EXPECT_EQ(first->GetIdentifier()->GetName(), "get");
  EXPECT_EQ(first->GetInputDefinition(), inputDef);
  EXPECT_EQ(second->GetInputDefinition(), inputDef);
  EXPECT_EQ(first->GetOutputDefinition(), outputDef);
  EXPECT_EQ(second->GetOutputDefinition(), outputDef);

  const AsyncApiMethod::ErrorDefinitions& stored = method.errorDefinitions();
  EXPECT_EQ(&stored, &method.errorDefinitions());
  EXPECT_EQ(stored, errorDefs);  // the same definition objects, in order

  AsyncApiMethod::ErrorDefinitions copy = signal->errorDefinitions();
  EXPECT_EQ(copy, errorDefs);
  copy.clear();
  AsyncApiMethod::ErrorDefinitions other = signal->errorDefinitions();
  other[0] = nullptr;
  other.push_back(outputDef);
  EXPECT_EQ(method.errorDefinitions(), errorDefs);

  // A handler is connected once.
  int firstCalls = 0;
  int secondCalls = 0;
  EXPECT_TRUE(signal->SetHandler([&](auto&&...) { ++firstCalls; }));
  EXPECT_FALSE(signal->SetHandler([&](auto&&...) { ++secondCalls; }));
  std::vector<FrameworkReport> reports;
  signal->Invoke(OperationInputValue({{"vm", Text("vm-1")}}),
                 std::make_shared<Core::AsyncActivation>(), RecordFramework(reports));
  EXPECT_EQ(firstCalls, 1);
  EXPECT_EQ(secondCalls, 0);
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
    ASSERT_EQ(reports.size(), 1u);
    const Core::MethodResultPtr& result = reports[0].result;
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->isFinal);
    EXPECT_EQ(result->output, nullptr);
    ASSERT_NE(result->error, nullptr);
    EXPECT_EQ(result->error->GetName(), kInternalServerError);
    const BaseMessage expected = Message<CoreTag>("quil.provider.method.signal.not.connected");
    EXPECT_EQ(result->error->GetMessages(), MessageList{expected});
    EXPECT_FALSE(expected.defaultMessage.empty());
    EXPECT_TRUE(expected.args.empty());
    EXPECT_EQ(reports[0].progress, kFinalProgress);
    EXPECT_FALSE(reports[0].continuation);
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
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result, nullptr);
  EXPECT_EQ(reports[0].result->output, nullptr);
  ASSERT_NE(reports[0].result->error, nullptr);
  EXPECT_EQ(*reports[0].result->error, *expected->error);
  EXPECT_EQ(reports[0].result->error->GetName(), ApiMethodHelper::kInvalidArgument);
  EXPECT_EQ(reports[0].progress, kFinalProgress);
  EXPECT_FALSE(reports[0].continuation);
  EXPECT_EQ(activation->GetLocalizer(), previous);
}

TEST(MethodSignalTest, InvokeStoresLocalizerAndCallsHandler) {
  const auto localizer = std::make_shared<L10n::Localizer>();
  const auto signal = MakeGetSignal(localizer);
  const auto input = OperationInputValue({{"vm", Text("vm-1")}});
  const auto activation = std::make_shared<Core::AsyncActivation>();
  activation->SetLocalizer(std::make_shared<L10n::Localizer>());

  int calls = 0;
  signal->SetHandler([&](const Data::DataValuePtr& received,
                         const std::shared_ptr<Core::AsyncActivation>& receivedActivation,
                         const AsyncApiMethod::ResultCb& callback) {
    ++calls;
    EXPECT_EQ(received, input);
    EXPECT_EQ(receivedActivation, activation);
    EXPECT_EQ(receivedActivation->GetLocalizer(), localizer);
    callback(InfoValue(2), nullptr, kFinalProgress, {});
  });
  std::vector<FrameworkReport> reports;
  signal->Invoke(input, activation, RecordFramework(reports));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(activation->GetLocalizer(), localizer);
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result, nullptr);
  EXPECT_EQ(*reports[0].result->output, *InfoValue(2));

  // What the handler raises reaches the caller of Invoke.
  const auto throwing = MakeGetSignal();
  throwing->SetHandler([](auto&&...) { throw std::runtime_error("implementation failed"); });
  EXPECT_THROW(throwing->Invoke(input, activation, RecordFramework(reports)), std::runtime_error);

  // A signal that no shared pointer owns cannot hand out the pointer its wrappers keep.
  AsyncApiMethodSignal unowned("get", signal->inputDefinition(), signal->outputDefinition(),
                               signal->errorDefinitions(), localizer);
  int unownedCalls = 0;
  unowned.SetHandler([&](auto&&...) { ++unownedCalls; });
  reports.clear();
  EXPECT_THROW(unowned.Invoke(input, activation, RecordFramework(reports)), std::bad_weak_ptr);
  EXPECT_EQ(unownedCalls, 0);
  EXPECT_TRUE(reports.empty());
}

TEST(ValidateResultWrapperTest, AnswersAreCheckedAgainstTheDefinitions) {
  const auto signal = MakeGetSignal();
  const auto output = InfoValue(4);

  const auto declared = NamedError(StdErrors::NotFound::kWireName);
  const auto undeclared = NamedError(StdErrors::ResourceBusy::kWireName);
  const auto invalidArgument = NamedError(ApiMethodHelper::kInvalidArgument);
  std::vector<std::vector<FrameworkReport>> reports(6);

  Wrapper(signal, RecordFramework(reports[0]))(nullptr, declared, kFinalProgress, {});
  Wrapper(signal, RecordFramework(reports[1]))(nullptr, undeclared, Progress{2, 5, 5}, {});
  Wrapper(signal, RecordFramework(reports[2]))(nullptr, invalidArgument, kFinalProgress, {});
  // An output given with an error is dropped; the error is checked.
  Wrapper(signal, RecordFramework(reports[3]))(output, undeclared, kFinalProgress,
                                               [](std::shared_ptr<AsyncApiMethod::ResultCb>) {});
  Wrapper(signal, RecordFramework(reports[4]))(output, nullptr, Progress{1, 2, 2}, {});
  Wrapper(signal, RecordFramework(reports[5]))(Text("not an info"), nullptr, kFinalProgress, {});

  for (const auto& caseReports : reports) {
    ASSERT_EQ(caseReports.size(), 1u);
    ASSERT_NE(caseReports[0].result, nullptr);
    EXPECT_FALSE(caseReports[0].continuation);
  }
  EXPECT_EQ(reports[0][0].result->error, declared);
  EXPECT_EQ(reports[0][0].result->output, nullptr);
  EXPECT_EQ(reports[0][0].progress, kFinalProgress);

  const Data::ErrorValuePtr& replaced = reports[1][0].result->error;
  ASSERT_NE(replaced, nullptr);
  EXPECT_EQ(replaced->GetName(), kInternalServerError);
  EXPECT_EQ(MessageIds(replaced).back(), "quil.provider.method.undeclared.error");
  EXPECT_EQ(reports[1][0].progress, (Progress{2, 5, 5}));

  EXPECT_EQ(reports[2][0].result->error, invalidArgument);

  EXPECT_EQ(reports[3][0].result->output, nullptr);
  EXPECT_EQ(*reports[3][0].result->error, *replaced);

  EXPECT_EQ(reports[4][0].result->output, output);
  EXPECT_EQ(reports[4][0].result->error, nullptr);
  EXPECT_EQ(reports[4][0].progress, (Progress{1, 2, 2}));

  const Data::ErrorValuePtr& misfit = reports[5][0].result->error;
  ASSERT_NE(misfit, nullptr);
  EXPECT_EQ(misfit->GetName(), kInternalServerError);
  EXPECT_EQ(MessageIds(misfit).back(), "quil.provider.method.invalid.output");
  EXPECT_EQ(reports[5][0].result->output, nullptr);
}

TEST(ValidateResultWrapperTest, OneFinalResultPerWrapper) {
  const auto signal = MakeGetSignal();
  const auto output = InfoValue(1);

  // Progress reports are forwarded; the first output is final and a second one is dropped.
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
    EXPECT_FALSE(reports[i].continuation);
  }
  ASSERT_NE(reports[5].result, nullptr);
  EXPECT_EQ(reports[5].result->output, output);
  EXPECT_EQ(reports[5].progress, kFinalProgress);

  // A copy made before the final delivery holds its own callback.
  copyBefore(InfoValue(9), nullptr, kFinalProgress, {});
  ASSERT_EQ(reports.size(), 7u);
  EXPECT_EQ(*reports[6].result->output, *InfoValue(9));

  // A complete progress without output or error is the final, empty result.
  reports.clear();
  Wrapper completed(signal, RecordFramework(reports));
  completed(nullptr, nullptr, Progress{0, 3, 3}, {});
  completed(output, nullptr, kFinalProgress, {});
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result, nullptr);
  EXPECT_EQ(reports[0].result->output, nullptr);
  EXPECT_EQ(reports[0].result->error, nullptr);
  EXPECT_TRUE(reports[0].result->isFinal);
  EXPECT_EQ(reports[0].progress, (Progress{0, 3, 3}));

  // The same through Invoke: a complete progress does not empty the method's result callback,
  // so the later output reaches the spent wrapper, which drops it.
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
  EXPECT_EQ(reports[1].result->output, nullptr);
  EXPECT_EQ(reports[1].progress, (Progress{0, 4, 4}));
}

TEST(ValidateResultWrapperTest, StreamContinuationChecksEveryOutput) {
  auto signal = MakeGetSignal();
  const std::weak_ptr<AsyncApiMethodSignal> watch = signal;
  std::vector<FrameworkReport> reports;
  Wrapper wrapper(signal, RecordFramework(reports));
  signal.reset();
  EXPECT_FALSE(watch.expired());  // outstanding wrappers keep their signal

  std::vector<std::shared_ptr<AsyncApiMethod::ResultCb>> nextCallbacks;
  wrapper(InfoValue(1), nullptr, Progress{0, 3, 1},
          [&](std::shared_ptr<AsyncApiMethod::ResultCb> next) {
            nextCallbacks.push_back(std::move(next));
          });
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_TRUE(reports[0].continuation);
  Core::AsyncApiResultCb::Continuation continuation = reports[0].continuation;

  // The framework's callback of the next output: a good output passes, a bad one is replaced.
  std::vector<FrameworkReport> second;
  std::vector<FrameworkReport> third;
  continuation(std::make_shared<Core::AsyncApiResultCb>(RecordFramework(second)));
  continuation(std::make_shared<Core::AsyncApiResultCb>(RecordFramework(third)));
  continuation(nullptr);
  ASSERT_EQ(nextCallbacks.size(), 3u);
  ASSERT_NE(nextCallbacks[0], nullptr);
  ASSERT_NE(nextCallbacks[1], nullptr);
  EXPECT_EQ(nextCallbacks[2], nullptr);

  (*nextCallbacks[0])(nullptr, nullptr, Progress{0, 3, 2}, {});
  (*nextCallbacks[0])(InfoValue(2), nullptr, kFinalProgress, {});
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].result, nullptr);
  EXPECT_EQ(*second[1].result->output, *InfoValue(2));
  EXPECT_FALSE(second[1].continuation);

  (*nextCallbacks[1])(Text("not an info"), nullptr, kFinalProgress, {});
  ASSERT_EQ(third.size(), 1u);
  ASSERT_NE(third[0].result->error, nullptr);
  EXPECT_EQ(third[0].result->error->GetName(), kInternalServerError);
  EXPECT_EQ(reports.size(), 1u);

  nextCallbacks.clear();
  continuation = nullptr;
  wrapper = Wrapper(nullptr, {});
  EXPECT_FALSE(watch.expired());  // the continuation of the first report
  reports.clear();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace Quil::Provider
