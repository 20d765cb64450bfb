#include <tavo/vm/compute/cpus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/optional.hpp>
#include <boost/optional/optional_io.hpp>

#include <quil/core/activation.h>
#include <quil/error_names.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_provider.h>
#include <quil/std/errors.h>
#include <quil/stub/invoker.h>

#include "runtime/provider_recorders.h"
#include "runtime/service_mocks.h"

namespace Quil::ProviderTesting {
namespace {

namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using InfoPtr = std::shared_ptr<const CpusSvc::Info>;
using ::testing::_;
using ::testing::DoAll;
using ::testing::InvokeArgument;
using ::testing::SaveArg;
using ::testing::StrictMock;
using ::testing::WithArg;

InfoPtr MakeInfo(std::int64_t count) {
  auto info = std::make_shared<CpusSvc::Info>();
  info->count = count;
  return info;
}

// A cpus implementation bound into an in-process provider, and a client's stub over that
// provider: both roads in one process.
struct CpusDeployment {
  explicit CpusDeployment(
      Provider::LocalApiProvider::Executor executor = {},
      std::shared_ptr<L10n::Localizer> localizer = std::make_shared<L10n::Localizer>())
      : provider(std::move(executor)) {
    EXPECT_TRUE(provider.Register(
        CpusSvc::AsyncServiceBinder::BindImplementation(implementation, std::move(localizer))));
  }

  const std::shared_ptr<StrictMock<MockCpusService>> implementation =
      std::make_shared<StrictMock<MockCpusService>>();
  Provider::LocalApiProvider provider;
  Core::AsyncActivation defaults;
  CpusSvc::AsyncServiceStub cpus{std::make_shared<Stub::AsyncApiStub>(provider, defaults)};
};

TEST(CpusEndToEndTest, ServerRoadOfOneInvocation) {
  const auto implementation = std::make_shared<StrictMock<MockCpusService>>();
  const auto localizer = std::make_shared<L10n::Localizer>();
  const auto api = CpusSvc::AsyncServiceBinder::BindImplementation(implementation, localizer);
  const auto activation = std::make_shared<Core::AsyncActivation>();

  std::shared_ptr<const CpusSvc::UpdateSpec> spec;
  EXPECT_CALL(*implementation, Update("vm-1", _, activation, _))
      .WillOnce(DoAll(SaveArg<1>(&spec), InvokeArgument<3>()));
  std::vector<FrameworkReport> reports;
  api->FindMethod("update")->Invoke(
      OperationInputValue(
          {{"vm", Text("vm-1")},
           {"update_spec", Structure("com.korvan.tavo.vm.compute.cpus.update_spec",
                                     {{"count", Integer(4)},
                                      {"hot_add_enabled", Data::DataValue::Create(true)}})}}),
      activation, RecordFramework(reports));
  ASSERT_NE(spec, nullptr);
  EXPECT_EQ(spec->count, boost::optional<std::int64_t>(4));
  EXPECT_EQ(spec->coresPerSocket, boost::none);
  EXPECT_EQ(spec->hotAddEnabled, boost::optional<bool>(true));
  EXPECT_EQ(activation->GetLocalizer(), localizer);
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result->output, nullptr);
  EXPECT_EQ(reports[0].result->output->GetType(), Data::DataType::VOID);
  EXPECT_EQ(reports[0].result->error, nullptr);
  EXPECT_EQ(reports[0].progress, kFinalProgress);
}

TEST(CpusEndToEndTest, ClientRoadOfOneCall) {
  CpusDeployment road;
  road.defaults.GetExecutionContext().applicationData["tenant"] = "blue";

  // Without an activation the implementation works on a copy of the defaults.
  const InfoPtr answered = MakeInfo(4);
  EXPECT_CALL(*road.implementation, Get("vm-1", _, _))
      .WillOnce([&road, &answered](const std::string&,
                                   std::shared_ptr<Core::AsyncActivation> activation,
                                   const CpusSvc::GetMethod::ResultCbType& result) {
        EXPECT_NE(activation.get(), &road.defaults);
        EXPECT_EQ(activation->GetExecutionContext(), road.defaults.GetExecutionContext());
        result(answered);
      });
  ResultRecorder<InfoPtr> got;
  road.cpus.Get("vm-1", nullptr, got.Result());
  const std::vector<Delivery<InfoPtr>> gets = got.deliveries();
  ASSERT_EQ(gets.size(), 1u);
  ASSERT_TRUE(gets[0].value && *gets[0].value);
  EXPECT_NE(*gets[0].value, answered);  // decoded from the reply
  EXPECT_EQ((*gets[0].value)->count, 4);
  EXPECT_EQ(gets[0].progress, kFinalProgress);
  EXPECT_EQ(gets[0].thread, std::this_thread::get_id());

  const auto activation = std::make_shared<Core::AsyncActivation>();
  auto spec = std::make_shared<CpusSvc::UpdateSpec>();
  spec->count = 6;
  std::shared_ptr<const CpusSvc::UpdateSpec> received;
  EXPECT_CALL(*road.implementation, Update("vm-1", _, activation, _))
      .WillOnce(DoAll(SaveArg<1>(&received), InvokeArgument<3>()));
  ResultRecorder<Void> updated;
  road.cpus.Update("vm-1", spec, activation, updated.Result());
  ASSERT_NE(received, nullptr);
  EXPECT_NE(received, spec);
  EXPECT_EQ(received->count, boost::optional<std::int64_t>(6));
  const std::vector<Delivery<Void>> updates = updated.deliveries();
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_TRUE(updates[0].value);
  EXPECT_EQ(updates[0].progress, kFinalProgress);
}

TEST(CpusEndToEndTest, AnExecutorAnswersLaterFromAnotherThread) {
  std::vector<std::function<void()>> tasks;  // the provider's executor: run later, elsewhere
  CpusDeployment road([&tasks](std::function<void()> task) { tasks.push_back(std::move(task)); });
  EXPECT_CALL(*road.implementation, Get("vm-1234", _, _)).WillOnce(InvokeArgument<2>(MakeInfo(7)));
  ResultRecorder<InfoPtr> got;
  road.cpus.Get("vm-1234", nullptr, got.Result());  // the caller's objects are gone at once
  EXPECT_EQ(tasks.size(), 1u);
  EXPECT_TRUE(got.deliveries().empty());
  std::thread worker([&tasks] {
    for (const auto& task : tasks) task();
  });
  const std::thread::id workerId = worker.get_id();
  worker.join();
  const std::vector<Delivery<InfoPtr>> gets = got.deliveries();
  ASSERT_EQ(gets.size(), 1u);
  ASSERT_TRUE(gets[0].value);
  EXPECT_EQ((*gets[0].value)->count, 7);
  EXPECT_EQ(gets[0].thread, workerId);
}

TEST(CpusEndToEndTest, FailuresReachTheCallerAsErrors) {
  const auto localizer = std::make_shared<L10n::Localizer>();
  ASSERT_TRUE(localizer->AddTemplate("de", "com.example.vm.missing", "Die VM {1} fehlt."));
  CpusDeployment road({}, localizer);

  // The error of a "get" answered by `answer` with one final delivery inside the call.
  const auto errorOfGet = [&road](
                              std::function<void(const CpusSvc::GetMethod::ResultCbType&)> answer,
                              std::shared_ptr<Core::AsyncActivation> activation = nullptr) {
    EXPECT_CALL(*road.implementation, Get("vm-1", _, _)).WillOnce(WithArg<2>(std::move(answer)));
    ResultRecorder<InfoPtr> recorder;
    road.cpus.Get("vm-1", std::move(activation), recorder.Result());
    const std::vector<Delivery<InfoPtr>> deliveries = recorder.deliveries();
    EXPECT_EQ(deliveries.size(), 1u);
    if (deliveries.empty()) return Data::ErrorValuePtr();
    EXPECT_FALSE(deliveries[0].value);
    EXPECT_EQ(deliveries[0].progress, kFinalProgress);
    return deliveries[0].error;
  };

  // A declared error passes unchanged; an undeclared one becomes an internal server error.
  const Data::ErrorValuePtr notFound = StdErrors::MakeErrorValue<StdErrors::NotFound>(
      "com.example.vm.missing", "The VM {1} is missing.", std::string("vm-1"));
  EXPECT_EQ(errorOfGet([&notFound](const auto& result) { result.error(notFound); }), notFound);
  Data::ErrorValuePtr error = errorOfGet([](const auto& result) {
    result.error(
        StdErrors::MakeErrorValue<StdErrors::AlreadyExists>("com.example.twice", "Twice."));
  });
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetName(), ErrorNames::kInternalServerError);
  EXPECT_EQ(MessageIds(error).back(), "quil.provider.method.undeclared.error");

  // A native error is localised with the binding's localizer for a caller that asks for a locale
  // it knows, and with the defaults for one that asks for none.
  const auto answerNative = [](const CpusSvc::GetMethod::ResultCbType& result) {
    result.callbacks()(
        boost::none, nullptr,
        StdErrors::ToNativeError(StdErrors::MakeError<StdErrors::NotFound>(
            "com.example.vm.missing", "The VM {1} is missing.", std::string("vm-1"))),
        kFinalProgress);
  };
  std::error_code code;
  const auto german = std::make_shared<const L10n::LocaleSpec>(
      L10n::LocaleHelpers::MakeLanguagePreference("de_CH", code),
      L10n::LocaleHelpers::MakeLanguagePreference("C", code), L10n::TimezoneSpec("Europe/Zurich"));
  ASSERT_FALSE(code);
  for (const bool inGerman : {true, false}) {
    error =
        errorOfGet(answerNative,
                   inGerman ? std::make_shared<Core::AsyncActivation>(nullptr, german) : nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->GetName(), StdErrors::NotFound::kWireName);
    ASSERT_EQ(error->GetMessages().size(), 1u);
    EXPECT_EQ(error->GetMessages()[0].id, "com.example.vm.missing");
    EXPECT_EQ(error->GetMessages()[0].defaultMessage,
              inGerman ? "Die VM vm-1 fehlt." : "The VM vm-1 is missing.");
  }

  // A null Info does not convert: an internal server error that tells the caller nothing more.
  error = errorOfGet([](const auto& result) { result(InfoPtr()); });
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->GetName(), ErrorNames::kInternalServerError);
  EXPECT_TRUE(error->GetMessages().empty());

  // An update spec carrying a field the server does not know is sent, and rejected by the
  // server's validation before the implementation (a strict mock) is called.
  auto extended = std::make_shared<CpusSvc::UpdateSpec>();
  extended->count = 2;
  extended->unknownFields =
      Data::StructValue::GetInstance("com.korvan.tavo.vm.compute.cpus.update_spec");
  extended->unknownFields->SetField("threads_per_core", Integer(2));
  ResultRecorder<Void> rejected;
  road.cpus.Update("vm-1", extended, nullptr, rejected.Result());
  const std::vector<Delivery<Void>> rejections = rejected.deliveries();
  ASSERT_EQ(rejections.size(), 1u);
  ASSERT_NE(rejections[0].error, nullptr);
  EXPECT_EQ(rejections[0].error->GetName(), ErrorNames::kInvalidArgument);
  EXPECT_EQ(
      MessageIds(rejections[0].error),
      (std::vector<std::string>{"quil.data.compound.field.extra", "quil.invoke.invalid.input"}));
}

}  // namespace
}  // namespace Quil::ProviderTesting
