#include <quil/stub/invoker.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/error_names.h>
#include <tavo/vm/compute/cpus.h>

#include "runtime/provider_recorders.h"

namespace Quil::ProviderTesting {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
using InfoPtr = std::shared_ptr<const Cpus::Info>;
using Core::AsyncActivation;
using Core::AsyncApiResultCb;
using Data::DataValuePtr;
using Stub::AsyncApiStub;

// Counts what it is invoked with and answers as the test says.
class RecordingProvider final : public Provider::ApiProvider {
 public:
  void Invoke(std::shared_ptr<const Core::MethodIdentifier>, DataValuePtr,
              std::shared_ptr<AsyncActivation>, const AsyncApiResultCb& callback) override {
    ++calls;
    if (answer) answer(callback);
  }

  std::function<void(const AsyncApiResultCb&)> answer;
  int calls = 0;
};

void Reply(const AsyncApiResultCb& callback, DataValuePtr output) {
  callback(Core::MethodResult::Create(std::move(output), nullptr), kFinalProgress, nullptr);
}

std::function<void(const AsyncApiResultCb&)> Answering(DataValuePtr output) {
  return [output](const AsyncApiResultCb& callback) { Reply(callback, output); };
}

class StubTest : public ::testing::Test {
 protected:
  // Calls "get" of the cpus service for "vm-7"; returns what reached the caller.
  std::vector<Delivery<InfoPtr>> Get() {
    ResultRecorder<InfoPtr> recorder;
    cpus_.Get("vm-7", nullptr, recorder.Result());
    return recorder.deliveries();
  }

  RecordingProvider provider_;
  AsyncActivation defaults_;
  std::shared_ptr<AsyncApiStub> stub_ = std::make_shared<AsyncApiStub>(provider_, defaults_);
  Cpus::AsyncServiceStub cpus_{stub_};
};

TEST_F(StubTest, AnInputThatDoesNotConvertIsAnsweredAtOnceAndNothingIsSent) {
  ResultRecorder<Void> recorder;
  cpus_.Update("vm-7", nullptr, nullptr, recorder.Result());
  EXPECT_EQ(provider_.calls, 0);
  ASSERT_EQ(recorder.deliveries().size(), 1u);
  const auto delivery = recorder.deliveries().at(0);
  EXPECT_FALSE(delivery.value);
  EXPECT_EQ(delivery.progress, kFinalProgress);
  ASSERT_NE(delivery.error, nullptr);
  EXPECT_EQ(delivery.error->GetName(), ErrorNames::kInvalidArgument);
  const MessageList messages = delivery.error->GetMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.unset.non.optional.field");
  EXPECT_EQ(messages[0].args,
            std::vector<std::string>{"com.korvan.tavo.vm.compute.cpus.update_spec"});
}

TEST_F(StubTest, OutputsOfTheWrongShapeBecomeABareInvalidArgument) {
  const DataValuePtr incomplete =
      Struct("com.korvan.tavo.vm.compute.cpus.info", {{"count", Int(4)}});
  for (const DataValuePtr& wrong : {incomplete, Str("four"), Int(4)}) {
    SCOPED_TRACE(Data::ToText(wrong.get()));
    provider_.answer = Answering(wrong);
    const auto got = Get();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_FALSE(got[0].value);
    EXPECT_EQ(got[0].progress, kFinalProgress);
    ASSERT_NE(got[0].error, nullptr);
    EXPECT_EQ(got[0].error->GetName(), "invalid_argument");
    EXPECT_FALSE(got[0].error->GetMessages().empty());
  }
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
}

}  // namespace
}  // namespace Quil::ProviderTesting
