#include <quil/stub/invoker.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/message.h>
#include <quil/type_info.h>
#include <tavo/test/sample.h>
#include <tavo/vm/compute/cpus.h>

#include "runtime/provider_recorders.h"

namespace ClientStubTest {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace Sample = ::Com::Korvan::Tavo::Test::SampleSvc;
using InfoPtr = std::shared_ptr<const Cpus::Info>;
using Quil::AsyncResult;
using Quil::kFinalProgress;
using Quil::Progress;
using Quil::Core::AsyncActivation;
using Quil::Core::AsyncApiResultCb;
using Quil::Core::MethodResult;
using Quil::Data::DataValue;
using Quil::Data::DataValuePtr;
using Quil::Data::ErrorValue;
using Quil::Data::ErrorValuePtr;
using Quil::Data::StructValue;
using Quil::ProviderTesting::Delivery;
using Quil::ProviderTesting::InfoValue;
using Quil::ProviderTesting::ResultRecorder;
using Quil::ProviderTesting::Text;
using Quil::Stub::AsyncApiStub;
using Quil::Stub::AsyncMethodInvoker;

// Records what it is invoked with and answers as the test says.
class RecordingProvider final : public Quil::Provider::ApiProvider {
 public:
  struct Call {
    std::shared_ptr<const Quil::Core::MethodIdentifier> method;
    DataValuePtr input;
    std::shared_ptr<AsyncActivation> activation;
    AsyncApiResultCb callback;  // a copy, for answers given after the call
  };

  void Invoke(std::shared_ptr<const Quil::Core::MethodIdentifier> method, DataValuePtr input,
              std::shared_ptr<AsyncActivation> activation,
              const AsyncApiResultCb& callback) override {
    calls.push_back({method, input, activation, callback});
    if (answer) answer(callback);
  }

  std::function<void(const AsyncApiResultCb&)> answer;
  std::vector<Call> calls;
};

void Reply(const AsyncApiResultCb& callback, DataValuePtr output, ErrorValuePtr error = nullptr) {
  callback(MethodResult::Create(std::move(output), std::move(error)), kFinalProgress, nullptr);
}

std::function<void(const AsyncApiResultCb&)> Answering(DataValuePtr output,
                                                       ErrorValuePtr error = nullptr) {
  return [output, error](const AsyncApiResultCb& callback) { Reply(callback, output, error); };
}

class StubTest : public ::testing::Test {
 protected:
  StubTest() {
    defaults_.GetExecutionContext().applicationData["tenant"] = "blue";
    defaults_.GetExecutionContext().securityContext["token"] = "t-1";
  }

  // Calls "get" of the cpus service for "vm-7".
  void Get(const AsyncResult<InfoPtr>& result,
           std::shared_ptr<AsyncActivation> activation = nullptr) {
    cpus_.Get("vm-7", std::move(activation), result);
  }

  RecordingProvider provider_;
  AsyncActivation defaults_;
  std::shared_ptr<AsyncApiStub> stub_ = std::make_shared<AsyncApiStub>(provider_, defaults_);
  Cpus::AsyncServiceStub cpus_{stub_};
};

TEST_F(StubTest, SendsTheInputRecordUnderTheOperationsIdentifiers) {
  ResultRecorder<InfoPtr> recorder;
  auto activation = std::make_shared<AsyncActivation>();
  Get(recorder.Result(), activation);

  ASSERT_EQ(provider_.calls.size(), 1u);
  const RecordingProvider::Call call = provider_.calls[0];  // a copy: more calls follow
  ASSERT_NE(call.method, nullptr);
  ASSERT_NE(call.method->GetInterface(), nullptr);
  EXPECT_EQ(call.method->GetInterface()->GetName(), "com.korvan.tavo.vm.compute.cpus");
  EXPECT_EQ(call.method->GetName(), "get");
  auto expected = StructValue::GetInstance(Quil::TypeInfo<Quil::OperationInput>::name());
  expected->SetField("vm", Text("vm-7"));
  ASSERT_NE(call.input, nullptr);
  EXPECT_EQ(*call.input, *expected) << Quil::Data::ToText(call.input.get());
  EXPECT_EQ(call.activation, activation) << "a given activation is sent as that very object";
  EXPECT_TRUE(recorder.deliveries().empty()) << "nothing arrives before the provider answers";

  // Every call makes its own identifiers.
  Get(recorder.Result(), activation);
  ASSERT_EQ(provider_.calls.size(), 2u);
  EXPECT_NE(provider_.calls[1].method, call.method);
  EXPECT_NE(provider_.calls[1].method->GetInterface(), call.method->GetInterface());
  EXPECT_EQ(*provider_.calls[1].method, *call.method);

  // A valid update sends its specification as a nested structure.
  ResultRecorder<Quil::Void> updated;
  auto spec = std::make_shared<Cpus::UpdateSpec>();
  spec->count = 8;
  cpus_.Update("vm-7", spec, nullptr, updated.Result());
  ASSERT_EQ(provider_.calls.size(), 3u);
  EXPECT_EQ(provider_.calls[2].method->GetName(), "update");
  const auto& input = static_cast<const StructValue&>(*provider_.calls[2].input);
  const DataValuePtr* sent = input.FindField("update_spec");
  ASSERT_NE(sent, nullptr);
  ASSERT_NE(*sent, nullptr);
  EXPECT_EQ(static_cast<const StructValue&>(**sent).GetName(),
            "com.korvan.tavo.vm.compute.cpus.update_spec");
}

TEST_F(StubTest, ACallWithoutActivationSendsAFreshCopyOfTheDefault) {
  ResultRecorder<InfoPtr> recorder;
  Get(recorder.Result());
  Get(recorder.Result());

  ASSERT_EQ(provider_.calls.size(), 2u);
  const auto& first = provider_.calls[0].activation;
  const auto& second = provider_.calls[1].activation;
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first.get(), &defaults_);
  EXPECT_NE(first, second) << "each call gets its own copy";
  EXPECT_EQ(first->GetExecutionContext(), defaults_.GetExecutionContext());

  // The copy owns its maps: what the provider writes stays with the call.
  first->GetExecutionContext().applicationData["tenant"] = "red";
  first->GetExecutionContext().securityContext.clear();
  first->SetLocalizer(std::make_shared<Quil::L10n::Localizer>());
  EXPECT_EQ(defaults_.GetExecutionContext().applicationData.at("tenant"), "blue");
  EXPECT_EQ(defaults_.GetExecutionContext().securityContext.size(), 1u);
  EXPECT_EQ(defaults_.GetLocalizer(), nullptr);
  EXPECT_EQ(second->GetExecutionContext(), defaults_.GetExecutionContext());
}

TEST_F(StubTest, AnInputThatDoesNotConvertIsAnsweredAtOnceAndNothingIsSent) {
  ResultRecorder<Quil::Void> recorder;
  cpus_.Update("vm-7", nullptr, nullptr, recorder.Result());

  EXPECT_TRUE(provider_.calls.empty());
  ASSERT_EQ(recorder.deliveries().size(), 1u);
  const auto delivery = recorder.deliveries().at(0);
  EXPECT_FALSE(delivery.value);
  EXPECT_EQ(delivery.progress, kFinalProgress);
  ASSERT_NE(delivery.error, nullptr);
  EXPECT_EQ(delivery.error->GetName(), "com.korvan.quil.std.errors.invalid_argument");
  const Quil::MessageList messages = delivery.error->GetMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.unset.non.optional.field");
  EXPECT_EQ(messages[0].args,
            std::vector<std::string>{"com.korvan.tavo.vm.compute.cpus.update_spec"});
}

TEST_F(StubTest, RepliesAreConvertedOrPassedOnAsErrors) {
  // A structure output, after progress reports passed on unchanged.
  {
    ResultRecorder<InfoPtr> recorder;
    provider_.answer = [](const AsyncApiResultCb& callback) {
      callback(nullptr, Progress{0, 10, 3}, nullptr);
      callback(nullptr, Progress{2, 10, 7}, nullptr);
      Reply(callback, InfoValue(4));
    };
    Get(recorder.Result());
    const auto& got = recorder.deliveries();
    ASSERT_EQ(got.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_FALSE(got[i].value);
      EXPECT_EQ(got[i].error, nullptr);
    }
    EXPECT_EQ(got[0].progress, (Progress{0, 10, 3}));
    EXPECT_EQ(got[1].progress, (Progress{2, 10, 7}));
    ASSERT_TRUE(got[2].value);
    ASSERT_NE(*got[2].value, nullptr);
    EXPECT_EQ((*got[2].value)->count, 4);
    EXPECT_EQ((*got[2].value)->coresPerSocket, 2);
    EXPECT_TRUE((*got[2].value)->hotAddEnabled);
    EXPECT_FALSE((*got[2].value)->hotRemoveEnabled);
    EXPECT_EQ(got[2].error, nullptr);
    EXPECT_EQ(got[2].progress, kFinalProgress);
  }

  // Outputs of the wrong shape: one error named just "invalid_argument".
  auto incomplete = StructValue::GetInstance("com.korvan.tavo.vm.compute.cpus.info");
  incomplete->SetField("count", DataValue::Create<std::int64_t>(4));
  for (const DataValuePtr& wrong :
       {DataValuePtr(incomplete), Text("four"), DataValue::Create<std::int64_t>(4)}) {
    SCOPED_TRACE(Quil::Data::ToText(wrong.get()));
    ResultRecorder<InfoPtr> recorder;
    provider_.answer = Answering(wrong);
    Get(recorder.Result());
    ASSERT_EQ(recorder.deliveries().size(), 1u);
    const auto delivery = recorder.deliveries().at(0);
    EXPECT_FALSE(delivery.value);
    EXPECT_EQ(delivery.progress, kFinalProgress);
    ASSERT_NE(delivery.error, nullptr);
    EXPECT_EQ(delivery.error->GetName(), "invalid_argument");
    EXPECT_FALSE(delivery.error->GetMessages().empty());
  }

  // An error value passes unchanged, also when an output comes with it.
  const ErrorValuePtr notFound = ErrorValue::GetInstance("com.korvan.quil.std.errors.not_found");
  for (const DataValuePtr& output : {DataValuePtr(), InfoValue(4)}) {
    ResultRecorder<InfoPtr> recorder;
    provider_.answer = Answering(output, notFound);
    Get(recorder.Result());
    ASSERT_EQ(recorder.deliveries().size(), 1u);
    EXPECT_FALSE(recorder.deliveries()[0].value);
    EXPECT_EQ(recorder.deliveries()[0].error, notFound) << "the very error value";
    EXPECT_EQ(recorder.deliveries()[0].progress, kFinalProgress);
  }

  // Neither output nor error: a final delivery of a null error.
  {
    ResultRecorder<InfoPtr> recorder;
    provider_.answer = Answering(nullptr, nullptr);
    Get(recorder.Result());
    ASSERT_EQ(recorder.deliveries().size(), 1u);
    EXPECT_FALSE(recorder.deliveries()[0].value);
    EXPECT_EQ(recorder.deliveries()[0].error, nullptr);
    EXPECT_EQ(recorder.deliveries()[0].progress, kFinalProgress);
  }
}

// An input record of M that converts.
template <typename M>
typename M::Input ValidInput() {
  typename M::Input input;
  if constexpr (std::is_same_v<M, Sample::ListNodesMethod>) {
    input.root = std::make_shared<const Sample::Node>();
  } else if constexpr (std::is_same_v<M, Sample::AddMethod>) {
    input.backing = std::make_shared<const Sample::Backing>();
  }
  return input;
}

// Calls M through the stub; the provider answers `output`.
template <typename M>
std::vector<Delivery<typename M::ResultType>> Call(RecordingProvider& provider,
                                                   const std::shared_ptr<AsyncApiStub>& stub,
                                                   DataValuePtr output) {
  ResultRecorder<typename M::ResultType> recorder;
  provider.answer = Answering(std::move(output));
  const std::size_t callsBefore = provider.calls.size();
  AsyncMethodInvoker::Invoke<M>(ValidInput<M>(), nullptr, recorder.Result(), stub);
  EXPECT_EQ(provider.calls.size(), callsBefore + 1);
  return recorder.deliveries();
}

TEST_F(StubTest, EveryKindOfResultConverts) {
  // An ordered list of structures.
  {
    auto root = StructValue::GetInstance("com.korvan.tavo.test.sample.node");
    auto rootChildren = Quil::Data::ListValue::GetInstance(Quil::Data::ListValue::Kind::LIST);
    auto leaf = StructValue::GetInstance("com.korvan.tavo.test.sample.node");
    leaf->SetField("name", Text("leaf"));
    leaf->SetField("children",
                   Quil::Data::ListValue::GetInstance(Quil::Data::ListValue::Kind::LIST));
    rootChildren->Append(leaf);
    root->SetField("name", Text("root"));
    root->SetField("children", rootChildren);
    auto list = Quil::Data::ListValue::GetInstance(Quil::Data::ListValue::Kind::LIST);
    list->Append(root);
    list->Append(leaf);

    auto got = Call<Sample::ListNodesMethod>(provider_, stub_, list);
    ASSERT_EQ(got.size(), 1u);
    ASSERT_TRUE(got[0].value);
    const auto& nodes = *got[0].value;
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0]->name, "root");
    ASSERT_EQ(nodes[0]->children.size(), 1u);
    EXPECT_EQ(nodes[0]->children[0]->name, "leaf");
    EXPECT_EQ(nodes[1]->name, "leaf");

    auto bad = Call<Sample::ListNodesMethod>(provider_, stub_, root);  // a structure, not a list
    ASSERT_EQ(bad.size(), 1u);
    ASSERT_NE(bad[0].error, nullptr);
    EXPECT_EQ(bad[0].error->GetName(), "invalid_argument");
  }

  // An enumeration held by value; an unknown text is no error.
  {
    auto blue = Call<Sample::SwitchOnMethod>(provider_, stub_, Text("BLUE"));
    ASSERT_EQ(blue.size(), 1u);
    ASSERT_TRUE(blue[0].value);
    EXPECT_EQ(*blue[0].value, Sample::Color::BLUE);

    auto unknown = Call<Sample::SwitchOnMethod>(provider_, stub_, Text("MAUVE"));
    ASSERT_TRUE(unknown.at(0).value);
    EXPECT_EQ(unknown[0].value->value(), Sample::Color::_UNKNOWN);
    EXPECT_EQ(unknown[0].value->unknownText(), "MAUVE");

    auto bad = Call<Sample::SwitchOnMethod>(provider_, stub_, DataValue::Create<std::int64_t>(2));
    ASSERT_NE(bad.at(0).error, nullptr);
    EXPECT_EQ(bad[0].error->GetName(), "invalid_argument");
  }

  // Text, by the primitive rule: a string value as it is, any other kind refused.
  {
    auto added = Call<Sample::AddMethod>(provider_, stub_, Text("cdrom-3"));
    ASSERT_TRUE(added.at(0).value);
    EXPECT_EQ(*added[0].value, "cdrom-3");

    auto bad = Call<Sample::AddMethod>(provider_, stub_, DataValue::Create(true));
    ASSERT_NE(bad.at(0).error, nullptr);
    EXPECT_EQ(bad[0].error->GetName(), "invalid_argument");
  }

  // Void: the void value, or a string standing for it when empty.
  {
    for (const DataValuePtr& empty : {DataValue::Create(Quil::Void{}), Text("")}) {
      auto pinged = Call<Sample::PingMethod>(provider_, stub_, empty);
      ASSERT_EQ(pinged.size(), 1u);
      EXPECT_TRUE(pinged[0].value);
      EXPECT_EQ(pinged[0].error, nullptr);
    }
    auto bad = Call<Sample::PingMethod>(provider_, stub_, Text("x"));
    ASSERT_NE(bad.at(0).error, nullptr);
    EXPECT_EQ(bad[0].error->GetName(), "invalid_argument");
    EXPECT_EQ(bad[0].error->GetMessages().at(0).id, "quil.data.primitive.parse");
  }
}

TEST_F(StubTest, AProviderThatAnswersTwiceIsStoppedAndTheCallerHearsOnce) {
  ResultRecorder<InfoPtr> recorder;
  bool secondRefused = false;
  bool progressRefused = false;
  provider_.answer = [&](const AsyncApiResultCb& callback) {
    Reply(callback, InfoValue(4));
    try {
      Reply(callback, InfoValue(5));
    } catch (const std::bad_function_call&) {
      secondRefused = true;
    }
    try {
      callback(nullptr, Progress{0, 1, 0}, nullptr);
    } catch (const std::bad_function_call&) {
      progressRefused = true;
    }
  };
  const auto result = recorder.Result();
  Get(result);
  EXPECT_TRUE(secondRefused);
  EXPECT_TRUE(progressRefused);
  ASSERT_EQ(recorder.deliveries().size(), 1u);
  EXPECT_EQ((*recorder.deliveries()[0].value)->count, 4);

  // The reply went through a copy: the caller's own object is still open and serves a new call.
  provider_.answer = Answering(InfoValue(6));
  Get(result);
  ASSERT_EQ(recorder.deliveries().size(), 2u);
  EXPECT_EQ((*recorder.deliveries()[1].value)->count, 6);
}

TEST_F(StubTest, ALateReplyFromAnotherThreadNeedsNothingOfTheCall) {
  ResultRecorder<InfoPtr> recorder;
  {
    auto result = recorder.Result();
    Get(result);
  }  // the input record and the caller's AsyncResult are gone
  ASSERT_EQ(provider_.calls.size(), 1u);
  AsyncApiResultCb callback = provider_.calls[0].callback;
  provider_.calls.clear();
  std::thread answering([callback] {
    callback(nullptr, Progress{0, 2, 1}, nullptr);
    Reply(callback, InfoValue(3));
  });
  answering.join();
  ASSERT_EQ(recorder.deliveries().size(), 2u);
  EXPECT_EQ(recorder.deliveries()[0].progress, (Progress{0, 2, 1}));
  EXPECT_EQ((*recorder.deliveries()[1].value)->count, 3);
}

TEST_F(StubTest, FailuresOfTheProviderAndOfTheCallerPropagate) {
  ResultRecorder<InfoPtr> recorder;
  provider_.answer = [](const AsyncApiResultCb&) { throw std::runtime_error("transport down"); };
  EXPECT_THROW(Get(recorder.Result()), std::runtime_error);
  EXPECT_TRUE(recorder.deliveries().empty());

  provider_.answer = Answering(InfoValue(1));
  AsyncResult<InfoPtr> throwing([](boost::optional<InfoPtr>, ErrorValuePtr,
                                   boost::optional<Quil::Data::NativeError>,
                                   Progress) { throw std::logic_error("caller"); });
  EXPECT_THROW(Get(throwing), std::logic_error);
}

TEST(StubHelpersTest, TheClientLocalizesWithItsOwnDefaults) {
  const Quil::L10n::RequestLocalizer localizer = AsyncMethodInvoker::MakeRequestLocalizer();
  ASSERT_NE(localizer.GetLocalizer(), nullptr);
  EXPECT_TRUE(localizer.GetLocalizer()->empty());
  ASSERT_NE(localizer.GetLocale(), nullptr);
  EXPECT_EQ(localizer.GetLocale()->GetLanguagePreference().ToString(), "en_US");
  EXPECT_EQ(localizer.GetLocale()->GetFormatPreference().ToString(), "C");
  EXPECT_EQ(localizer.GetLocale()->GetTimezone().GetName(), "Etc/UTC");
  EXPECT_NE(AsyncMethodInvoker::MakeRequestLocalizer().GetLocalizer(), localizer.GetLocalizer());

  auto method = AsyncMethodInvoker::MakeMethodIdentifier("com.example.svc", "switch_on");
  EXPECT_EQ(method->GetInterface()->GetName(), "com.example.svc");
  EXPECT_EQ(method->GetName(), "switch_on");

  Quil::MessageList messages{Quil::Message<Quil::CoreTag>("quil.data.invalid.type")};
  ErrorValuePtr error = Quil::Stub::AsyncResultWrapper::MakeOutputError(messages);
  EXPECT_EQ(error->GetName(), "invalid_argument");
  EXPECT_EQ(error->GetMessages(), messages);
}

}  // namespace
}  // namespace ClientStubTest
