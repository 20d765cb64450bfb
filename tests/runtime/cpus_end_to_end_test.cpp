#include <tavo/vm/compute/cpus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/client/future_result.h>
#include <quil/core/activation.h>
#include <quil/error_names.h>
#include <quil/provider/api_provider.h>
#include <quil/std/errors.h>
#include <quil/stub/invoker.h>

#include "runtime/provider_recorders.h"

namespace Quil::ProviderTesting {
namespace {

namespace CpusSvc = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using InfoPtr = std::shared_ptr<const CpusSvc::Info>;
using ::testing::_;
using ::testing::StrictMock;
using ::testing::WithArg;

class MockCpusService : public CpusSvc::AsyncServiceInterface {
 public:
  MOCK_METHOD(void, Get,
              (const std::string& vm, std::shared_ptr<Core::AsyncActivation> activation,
               const CpusSvc::GetMethod::ResultCbType& result),
              (override));
  MOCK_METHOD(void, Update,
              (const std::string& vm, std::shared_ptr<const CpusSvc::UpdateSpec> updateSpec,
               std::shared_ptr<Core::AsyncActivation> activation,
               const CpusSvc::UpdateMethod::ResultCbType& result),
              (override));
};

// A cpus implementation bound into an in-process provider, and a client's stub over that
// provider: both roads in one process.
struct CpusDeployment {
  explicit CpusDeployment(Provider::LocalApiProvider::Executor executor = {})
      : provider(std::move(executor)) {
    EXPECT_TRUE(provider.Register(CpusSvc::AsyncServiceBinder::BindImplementation(implementation)));
  }

  const std::shared_ptr<StrictMock<MockCpusService>> implementation =
      std::make_shared<StrictMock<MockCpusService>>();
  Provider::LocalApiProvider provider;
  Core::AsyncActivation defaults;
  CpusSvc::AsyncServiceStub cpus{std::make_shared<Stub::AsyncApiStub>(provider, defaults)};
};

// The catalogue table covers decoding on this road; here: the activation, the thread, the errors.
TEST(CpusEndToEndTest, AnExecutorAnswersLaterFromAnotherThreadOnACopyOfTheDefaults) {
  std::vector<std::function<void()>> tasks;  // the provider's executor: run later, elsewhere
  CpusDeployment road([&tasks](std::function<void()> task) { tasks.push_back(std::move(task)); });
  road.defaults.GetExecutionContext().applicationData["tenant"] = "blue";
  EXPECT_CALL(*road.implementation, Get("vm-1234", _, _))
      .WillOnce([&road](const std::string&, std::shared_ptr<Core::AsyncActivation> activation,
                        const CpusSvc::GetMethod::ResultCbType& result) {
        EXPECT_NE(activation.get(), &road.defaults);
        EXPECT_EQ(activation->GetExecutionContext(), road.defaults.GetExecutionContext());
        auto info = std::make_shared<CpusSvc::Info>();
        info->count = 7;
        result(info);
      });
  ResultRecorder<InfoPtr> got;
  road.cpus.Get("vm-1234", nullptr, got.Result());  // the caller's objects are gone at once
  ASSERT_EQ(tasks.size(), 1u);
  EXPECT_TRUE(got.deliveries().empty());
  std::thread worker(tasks[0]);
  const std::thread::id workerId = worker.get_id();
  worker.join();
  const std::vector<Delivery<InfoPtr>> gets = got.deliveries();
  ASSERT_EQ(gets.size(), 1u);
  ASSERT_TRUE(gets[0].value);
  EXPECT_EQ((*gets[0].value)->count, 7);
  EXPECT_EQ(gets[0].thread, workerId);
}

TEST(CpusEndToEndTest, FailuresAndDroppedResultsReachTheCaller) {
  CpusDeployment road;
  // The error of a "get" answered by `answer`, after checking it came once, final and valueless.
  const auto errorOf = [&road](
                           std::function<void(const CpusSvc::GetMethod::ResultCbType&)> answer) {
    EXPECT_CALL(*road.implementation, Get("vm-1", _, _)).WillOnce(WithArg<2>(std::move(answer)));
    ResultRecorder<InfoPtr> recorder;
    road.cpus.Get("vm-1", nullptr, recorder.Result());
    const std::vector<Delivery<InfoPtr>> deliveries = recorder.deliveries();
    EXPECT_TRUE(deliveries.size() == 1 && !deliveries[0].value &&
                deliveries[0].progress == kFinalProgress);
    return deliveries.empty() || !deliveries[0].error ? Data::ErrorValuePtr() : deliveries[0].error;
  };
  // A declared error passes unchanged; an undeclared one becomes an internal server error.
  const Data::ErrorValuePtr notFound = StdErrors::MakeErrorValue<StdErrors::NotFound>(
      "com.example.vm.missing", "The VM {1} is missing.", std::string("vm-1"));
  EXPECT_EQ(errorOf([&notFound](const auto& result) { result.error(notFound); }), notFound);
  Data::ErrorValuePtr error = errorOf([](const auto& result) {
    result.error(StdErrors::MakeErrorValue<StdErrors::AlreadyExists>("com.example.twice", "T."));
  });
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetName(), ErrorNames::kInternalServerError);
  EXPECT_EQ(error->GetMessages().back().id, "quil.provider.method.undeclared.error");
  // A null Info does not convert: an internal server error that tells the caller nothing more.
  error = errorOf([](const auto& result) { result(InfoPtr()); });
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetName(), ErrorNames::kInternalServerError);
  EXPECT_TRUE(error->GetMessages().empty());

  // No part of the road keeps a result the implementation dropped: the caller's future breaks.
  EXPECT_CALL(*road.implementation, Get("vm-1", _, _));  // answers nothing
  auto [result, answer] = Client::MakeFutureResult<InfoPtr>();
  road.cpus.Get("vm-1", nullptr, result);
  result = AsyncResult<InfoPtr>();  // the caller's own copy goes too
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(0)), std::future_status::ready);
  EXPECT_THROW(answer.get(), std::future_error);
}

// A provider that answers as the test says, without the checks of a bound implementation.
struct ScriptedProvider final : Provider::ApiProvider {
  void Invoke(std::shared_ptr<const Core::MethodIdentifier>, Data::DataValuePtr,
              std::shared_ptr<Core::AsyncActivation>,
              const Core::AsyncApiResultCb& callback) override {
    ++calls;
    answer(callback);
  }

  std::function<void(const Core::AsyncApiResultCb&)> answer;
  int calls = 0;
};

TEST(StubTest, TheCallerHearsOnceWhateverTheProviderAnswers) {
  ScriptedProvider provider;
  Core::AsyncActivation defaults;
  CpusSvc::AsyncServiceStub cpus{std::make_shared<Stub::AsyncApiStub>(provider, defaults)};
  // An input that does not convert is answered at once and nothing is sent.
  ResultRecorder<Void> updated;
  cpus.Update("vm-7", nullptr, nullptr, updated.Result());
  EXPECT_EQ(provider.calls, 0);
  ASSERT_EQ(updated.deliveries().size(), 1u);
  const Delivery<Void> refusal = updated.deliveries()[0];
  EXPECT_EQ(refusal.progress, kFinalProgress);
  ASSERT_NE(refusal.error, nullptr);
  EXPECT_EQ(refusal.error->GetName(), ErrorNames::kInvalidArgument);
  const MessageList messages = refusal.error->GetMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.unset.non.optional.field");
  EXPECT_EQ(messages[0].args,
            std::vector<std::string>{"com.korvan.tavo.vm.compute.cpus.update_spec"});

  // An output of the wrong shape becomes a bare invalid_argument; a second answer is refused.
  struct Case {
    Data::DataValuePtr output;
    const char* error;  // null: the Info of count 4
  };
  const Case cases[] = {
      {InfoValue(4), nullptr},
      {Struct("com.korvan.tavo.vm.compute.cpus.info", {{"count", Int(4)}}), "invalid_argument"},
      {Str("four"), "invalid_argument"},
      {Int(4), "invalid_argument"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Data::ToText(c.output.get()));
    int refused = 0;
    provider.answer = [&refused, &c](const Core::AsyncApiResultCb& callback) {
      const auto reply = [&](Core::MethodResultPtr result, Progress progress) {
        try {
          callback(std::move(result), progress, nullptr);
        } catch (const std::bad_function_call&) {
          ++refused;
        }
      };
      reply(Core::MethodResult::Create(c.output, nullptr), kFinalProgress);
      reply(Core::MethodResult::Create(InfoValue(5), nullptr), kFinalProgress);
      reply(nullptr, Progress{0, 1, 0});
    };
    ResultRecorder<InfoPtr> got;
    cpus.Get("vm-7", nullptr, got.Result());
    EXPECT_EQ(refused, 2);
    ASSERT_EQ(got.deliveries().size(), 1u);
    const Delivery<InfoPtr> delivery = got.deliveries()[0];
    EXPECT_EQ(delivery.progress, kFinalProgress);
    EXPECT_EQ(delivery.value ? (*delivery.value)->count : -1, c.error ? -1 : 4);
    EXPECT_EQ(delivery.error ? delivery.error->GetName() : "", c.error ? c.error : "");
    EXPECT_TRUE(!c.error || !delivery.error->GetMessages().empty());
  }
}

}  // namespace
}  // namespace Quil::ProviderTesting
