#include <quil/stub/invoker.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/type_info.h>
#include <tavo/vm/compute/cpus.h>

#include "runtime/provider_recorders.h"

namespace Quil::ProviderTesting {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
using InfoPtr = std::shared_ptr<const Cpus::Info>;
using Core::AsyncActivation;
using Core::AsyncApiResultCb;
using Data::DataValue;
using Data::DataValuePtr;
using Data::ErrorValuePtr;
using Stub::AsyncApiStub;

// Records what it is invoked with and answers as the test says.
class RecordingProvider final : public Provider::ApiProvider {
 public:
  struct Call {
    std::shared_ptr<const Core::MethodIdentifier> method;
    DataValuePtr input;
    std::shared_ptr<AsyncActivation> activation;
    AsyncApiResultCb callback;  // a copy, for answers given after the call
  };

  void Invoke(std::shared_ptr<const Core::MethodIdentifier> method, DataValuePtr input,
              std::shared_ptr<AsyncActivation> activation,
              const AsyncApiResultCb& callback) override {
    calls.push_back({method, input, activation, callback});
    if (answer) answer(callback);
  }

  std::function<void(const AsyncApiResultCb&)> answer;
  std::vector<Call> calls;
};

void Reply(const AsyncApiResultCb& callback, DataValuePtr output, ErrorValuePtr error = nullptr) {
  callback(Core::MethodResult::Create(std::move(output), std::move(error)), kFinalProgress,
           nullptr);
}

std::function<void(const AsyncApiResultCb&)> Answering(DataValuePtr output,
                                                       ErrorValuePtr error = nullptr) {
  return [output, error](const AsyncApiResultCb& callback) { Reply(callback, output, error); };
}

class StubTest : public ::testing::Test {
 protected:
  StubTest() { defaults_.GetExecutionContext().applicationData["tenant"] = "blue"; }

  // Calls "get" of the cpus service for "vm-7"; returns what reached the caller.
  std::vector<Delivery<InfoPtr>> Get(std::shared_ptr<AsyncActivation> activation = nullptr) {
    ResultRecorder<InfoPtr> recorder;
    cpus_.Get("vm-7", std::move(activation), recorder.Result());
    return recorder.deliveries();
  }

  RecordingProvider provider_;
  AsyncActivation defaults_;
  std::shared_ptr<AsyncApiStub> stub_ = std::make_shared<AsyncApiStub>(provider_, defaults_);
  Cpus::AsyncServiceStub cpus_{stub_};
};

TEST_F(StubTest, SendsTheGivenActivationOrAFreshCopyOfTheDefault) {
  auto activation = std::make_shared<AsyncActivation>();
  EXPECT_TRUE(Get(activation).empty()) << "nothing arrives before the provider answers";
  Get();
  Get();
  ASSERT_EQ(provider_.calls.size(), 3u);
  EXPECT_EQ(provider_.calls[0].activation, activation) << "a given activation is sent as it is";

  // Without one, each call gets its own copy, which owns its maps.
  const auto& first = provider_.calls[1].activation;
  const auto& second = provider_.calls[2].activation;
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first.get(), &defaults_);
  EXPECT_NE(first, second);
  EXPECT_EQ(first->GetExecutionContext(), defaults_.GetExecutionContext());
  first->GetExecutionContext().applicationData["tenant"] = "red";
  first->SetLocalizer(std::make_shared<L10n::Localizer>());
  EXPECT_EQ(defaults_.GetExecutionContext().applicationData.at("tenant"), "blue");
  EXPECT_EQ(defaults_.GetLocalizer(), nullptr);
  EXPECT_EQ(second->GetExecutionContext(), defaults_.GetExecutionContext());
}

TEST_F(StubTest, AnInputThatDoesNotConvertIsAnsweredAtOnceAndNothingIsSent) {
  ResultRecorder<Void> recorder;
  cpus_.Update("vm-7", nullptr, nullptr, recorder.Result());
  EXPECT_TRUE(provider_.calls.empty());
  ASSERT_EQ(recorder.deliveries().size(), 1u);
  const auto delivery = recorder.deliveries().at(0);
  EXPECT_FALSE(delivery.value);
  EXPECT_EQ(delivery.progress, kFinalProgress);
  ASSERT_NE(delivery.error, nullptr);
  EXPECT_EQ(delivery.error->GetName(), "com.korvan.quil.std.errors.invalid_argument");
  const MessageList messages = delivery.error->GetMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.unset.non.optional.field");
  EXPECT_EQ(messages[0].args,
            std::vector<std::string>{"com.korvan.tavo.vm.compute.cpus.update_spec"});
}

TEST_F(StubTest, RepliesAreConvertedOrPassedOnAsErrors) {
  // A structure output, after progress reports passed on unchanged.
  provider_.answer = [](const AsyncApiResultCb& callback) {
    callback(nullptr, Progress{0, 10, 3}, nullptr);
    callback(nullptr, Progress{2, 10, 7}, nullptr);
    Reply(callback, InfoValue(4));
  };
  auto got = Get();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].progress, (Progress{0, 10, 3}));
  EXPECT_EQ(got[1].progress, (Progress{2, 10, 7}));
  EXPECT_FALSE(got[1].value);
  ASSERT_TRUE(got[2].value);
  EXPECT_EQ((*got[2].value)->count, 4);
  EXPECT_EQ((*got[2].value)->coresPerSocket, 2);
  EXPECT_EQ(got[2].error, nullptr);
  EXPECT_EQ(got[2].progress, kFinalProgress);

  // Outputs of the wrong shape: one error named just "invalid_argument" with the messages.
  const auto expectBadReply = [](const auto& deliveries) {
    ASSERT_EQ(deliveries.size(), 1u);
    EXPECT_FALSE(deliveries[0].value);
    EXPECT_EQ(deliveries[0].progress, kFinalProgress);
    ASSERT_NE(deliveries[0].error, nullptr);
    EXPECT_EQ(deliveries[0].error->GetName(), "invalid_argument");
    EXPECT_FALSE(deliveries[0].error->GetMessages().empty());
  };
  const DataValuePtr incomplete =
      Structure("com.korvan.tavo.vm.compute.cpus.info", {{"count", Integer(4)}});
  for (const DataValuePtr& wrong : {incomplete, Text("four"), Integer(4)}) {
    SCOPED_TRACE(Data::ToText(wrong.get()));
    provider_.answer = Answering(wrong);
    expectBadReply(Get());
  }

  // An error value passes unchanged, also when an output comes with it.
  const ErrorValuePtr notFound =
      Data::ErrorValue::GetInstance("com.korvan.quil.std.errors.not_found");
  for (const DataValuePtr& output : {DataValuePtr(), InfoValue(4)}) {
    provider_.answer = Answering(output, notFound);
    got = Get();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].value);
    EXPECT_EQ(got[0].error, notFound) << "the very error value";
  }

  // Neither output nor error: a final delivery of a null error.
  provider_.answer = Answering(nullptr, nullptr);
  got = Get();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].value);
  EXPECT_EQ(got[0].error, nullptr);
  EXPECT_EQ(got[0].progress, kFinalProgress);

  // What the provider raises reaches the caller.
  provider_.answer = [](const AsyncApiResultCb&) { throw std::runtime_error("transport down"); };
  EXPECT_THROW(Get(), std::runtime_error);
}

TEST_F(StubTest, AProviderThatAnswersTwiceIsStoppedAndTheCallerHearsOnce) {
  ResultRecorder<InfoPtr> recorder;
  int refused = 0;
  provider_.answer = [&refused](const AsyncApiResultCb& callback) {
    Reply(callback, InfoValue(4));
    try {
      Reply(callback, InfoValue(5));
    } catch (const std::bad_function_call&) {
      ++refused;
    }
    try {
      callback(nullptr, Progress{0, 1, 0}, nullptr);
    } catch (const std::bad_function_call&) {
      ++refused;
    }
  };
  const auto result = recorder.Result();
  cpus_.Get("vm-7", nullptr, result);
  EXPECT_EQ(refused, 2);
  ASSERT_EQ(recorder.deliveries().size(), 1u);
  EXPECT_EQ((*recorder.deliveries()[0].value)->count, 4);

  // The reply went through a copy: the caller's own object is still open and serves a new call.
  provider_.answer = Answering(InfoValue(6));
  cpus_.Get("vm-7", nullptr, result);
  ASSERT_EQ(recorder.deliveries().size(), 2u);
  EXPECT_EQ((*recorder.deliveries()[1].value)->count, 6);
}

}  // namespace
}  // namespace Quil::ProviderTesting
