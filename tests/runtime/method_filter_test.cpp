#include <quil/provider/method_filter.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/optional.hpp>
#include <boost/optional/optional_io.hpp>

#include <tavo/test/hand.h>
#include <tavo/vm/compute/cpus.h>

#include <quil/provider/api_method_helper.h>
#include <quil/std/errors.h>

#include "runtime/provider_recorders.h"
#include "runtime/service_mocks.h"

namespace Quil::Provider {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace Hand = ::Com::Korvan::Tavo::Test::HandSvc;
namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using Data::DataValuePtr;
using ProviderTesting::Fields;
using ProviderTesting::FrameworkReport;
using ProviderTesting::Integer;
using ProviderTesting::MessageIds;
using ProviderTesting::MethodReport;
using ProviderTesting::MockCpusService;
using ProviderTesting::MockHandService;
using ProviderTesting::OperationInputValue;
using ProviderTesting::RecordFramework;
using ProviderTesting::RecordMethod;
using ProviderTesting::Structure;
using ProviderTesting::Text;
using ::testing::_;
using ::testing::NiceMock;
using ::testing::StrictMock;
using ::testing::Throw;
using ::testing::WithArg;

DataValuePtr Choice(std::string tag, Fields more = {}) {
  more.emplace_back("tag", Text(std::move(tag)));
  return Structure("com.korvan.tavo.test.hand.choice", std::move(more));
}

DataValuePtr Leaf(Fields more = {}) {
  more.emplace_back("id", Text("leaf-1"));
  more.emplace_back("kind", Text("GAMMA"));
  more.emplace_back("size", Integer(3));
  return Structure("com.korvan.tavo.test.hand.leaf", std::move(more));
}

DataValuePtr UpdateInput(Fields spec) {
  return OperationInputValue(
      {{"vm", Text("vm-1")},
       {"update_spec", Structure("com.korvan.tavo.vm.compute.cpus.update_spec", std::move(spec))}});
}

TEST(MethodFilterTest, InputThatDoesNotDecodeOrValidateIsRejected) {
  int calls = 0;
  auto call = [&calls](const auto&, const auto&, const auto&) { ++calls; };
  const auto getFilter = MakeMethodFilter<Cpus::GetMethod>(call);
  const auto doFilter = MakeMethodFilter<Hand::DoMethod>(call);
  static_assert(
      std::is_same_v<decltype(getFilter),
                     const AsyncApiMethodFilter<decltype(call), std::shared_ptr<const Cpus::Info>,
                                                Cpus::GetMethod::Input, DirectFilterBinder>>);
  const auto activation = std::make_shared<Core::AsyncActivation>();

  struct Case {
    const char* what;
    std::function<void(const AsyncApiMethod::ResultCb&)> invoke;
    std::vector<std::string> ids;
  };
  const std::vector<Case> cases = {
      {"required field missing",
       [&](const auto& cb) { getFilter(OperationInputValue({}), activation, cb); },
       {"quil.data.field.missing"}},
      {"wrong kind",
       [&](const auto& cb) {
         getFilter(OperationInputValue({{"vm", Integer(7)}}), activation, cb);
       },
       {"quil.data.value.wrong.type"}},
      {"field the record does not declare",
       [&](const auto& cb) {
         getFilter(OperationInputValue({{"vm", Text("vm-1")}, {"colour", Text("red")}}), activation,
                   cb);
       },
       {"quil.data.compound.field.extra", "quil.invoke.invalid.input"}},
      {"required nested structure breaking its union rule",
       [&](const auto& cb) {
         doFilter(OperationInputValue({{"vm", Text("vm-1")}, {"choice", Choice("ALPHA")}}),
                  activation, cb);
       },
       {"quil.data.union.invalid.case.state.isnotset.short", "quil.invoke.invalid.input"}},
      {"optional nested structure with an unknown field",
       [&](const auto& cb) {
         doFilter(OperationInputValue({{"vm", Text("vm-1")},
                                       {"choice", Choice("BETA")},
                                       {"filter", Leaf({{"colour", Text("red")}})}}),
                  activation, cb);
       },
       {"quil.data.compound.field.extra", "quil.invoke.invalid.input"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<MethodReport> reports;
    c.invoke(RecordMethod(reports));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].output, nullptr);
    ASSERT_NE(reports[0].error, nullptr);
    EXPECT_EQ(reports[0].error->GetName(), "com.korvan.quil.std.errors.invalid_argument");
    EXPECT_EQ(MessageIds(reports[0].error), c.ids);
    EXPECT_EQ(reports[0].progress, kFinalProgress);
    EXPECT_FALSE(reports[0].continuation);
  }
  EXPECT_EQ(calls, 0);

  // The validator's messages name the record and the operation.
  std::vector<MethodReport> reports;
  getFilter(OperationInputValue({{"vm", Text("vm-1")}, {"colour", Text("red")}}), activation,
            RecordMethod(reports));
  const MessageList messages = reports.at(0).error->GetMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].args,
            (std::vector<std::string>{"::Com::Korvan::Tavo::Vm::Compute::CpusSvc::GetMethod::Input",
                                      "colour", ""}));
  EXPECT_EQ(messages[1].args,
            std::vector<std::string>{"::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Get"});

  EXPECT_THROW(getFilter(OperationInputValue({}), activation, AsyncApiMethod::ResultCb()),
               std::bad_function_call);
}

TEST(MethodFilterTest, ValidInputReachesTheCallWithAResultObject) {
  std::vector<Cpus::UpdateMethod::Input> received;
  std::vector<std::shared_ptr<Core::AsyncActivation>> activations;
  const auto filter = MakeMethodFilter<Cpus::UpdateMethod>(
      [&](const Cpus::UpdateMethod::Input& input,
          const std::shared_ptr<Core::AsyncActivation>& activation,
          const Cpus::UpdateMethod::ResultCbType& result) {
        received.push_back(input);
        activations.push_back(activation);
        result.progress(Progress{0, 2, 1});
        result();
      });
  const auto activation = std::make_shared<Core::AsyncActivation>();
  std::vector<MethodReport> reports;
  filter(UpdateInput({{"count", Integer(4)}}), activation, RecordMethod(reports));

  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].vm, "vm-1");
  ASSERT_NE(received[0].updateSpec, nullptr);
  EXPECT_EQ(received[0].updateSpec->count, boost::optional<std::int64_t>(4));
  EXPECT_FALSE(received[0].updateSpec->hotAddEnabled);
  EXPECT_EQ(activations.at(0), activation);

  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].output, nullptr);
  EXPECT_EQ(reports[0].error, nullptr);
  EXPECT_EQ(reports[0].progress, (Progress{0, 2, 1}));
  ASSERT_NE(reports[1].output, nullptr);
  EXPECT_EQ(reports[1].output->GetType(), Data::DataType::VOID);
  EXPECT_EQ(reports[1].error, nullptr);
  EXPECT_EQ(reports[1].progress, kFinalProgress);

  // Copies of a filter call the same lambda state.
  const auto copy = filter;
  copy(UpdateInput({}), activation, RecordMethod(reports));
  EXPECT_EQ(received.size(), 2u);
}

TEST(ServiceBinderTest, InvocationsReachTheImplementationAndAnswersAreChecked) {
  // One method object per operation, in the order of the interface, with its declared errors.
  const auto cpus =
      Cpus::AsyncServiceBinder::BindImplementation(std::make_shared<StrictMock<MockCpusService>>());
  ASSERT_NE(cpus, nullptr);
  EXPECT_EQ(cpus->GetIdentifier()->GetName(), "com.korvan.tavo.vm.compute.cpus");
  ASSERT_EQ(cpus->GetMethods().size(), 2u);
  EXPECT_EQ(cpus->GetMethods()[0]->methodName(), "get");
  EXPECT_EQ(cpus->GetMethods()[1]->methodName(), "update");
  EXPECT_EQ(cpus->GetMethods()[0]->errorDefinitions().size(), 6u);
  EXPECT_EQ(cpus->GetMethods()[1]->errorDefinitions().size(), 9u);

  const auto service = std::make_shared<StrictMock<MockHandService>>();
  const auto api = Hand::AsyncServiceBinder::BindImplementation(service);
  EXPECT_EQ(api->GetIdentifier()->GetName(), "com.korvan.tavo.test.hand");
  ASSERT_EQ(api->GetMethods().size(), 1u);
  EXPECT_EQ(api->GetMethods()[0]->errorDefinitions().size(), 1u);

  // "do": every parameter in record order; a text result.
  const auto activation = std::make_shared<Core::AsyncActivation>();
  EXPECT_CALL(*service, Do("vm-3", _, _, activation, _))
      .WillOnce([](const std::string&, std::shared_ptr<const Hand::Choice> choice,
                   const OptionalPtr<const Hand::Leaf>& filter,
                   std::shared_ptr<Core::AsyncActivation>,
                   const Hand::DoMethod::ResultCbType& result) {
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->tag, Hand::Kind::BETA);
        EXPECT_EQ(choice->path, boost::optional<std::string>("/p"));
        ASSERT_NE(filter, nullptr);
        EXPECT_EQ(filter->id, "leaf-1");
        result(std::string("done"));
      });
  std::vector<FrameworkReport> reports;
  api->FindMethod("do")->Invoke(
      OperationInputValue({{"vm", Text("vm-3")},
                           {"choice", Choice("BETA", {{"path", Text("/p")}})},
                           {"filter", Leaf()}}),
      activation, RecordFramework(reports));
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result, nullptr);
  EXPECT_EQ(*reports[0].result->output, *Text("done"));

  // An error the operation does not declare is replaced; the bindings' own pass.
  EXPECT_CALL(*service, Do("vm-3", _, _, _, _))
      .WillOnce(WithArg<4>([](const Hand::DoMethod::ResultCbType& result) {
        result.error(
            StdErrors::MakeErrorValue<StdErrors::ResourceBusy>("com.example.busy", "Busy."));
      }));
  reports.clear();
  api->FindMethod("do")->Invoke(
      OperationInputValue({{"vm", Text("vm-3")}, {"choice", Choice("BETA")}}), activation,
      RecordFramework(reports));
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result->error, nullptr);
  EXPECT_EQ(reports[0].result->error->GetName(), ApiMethodHelper::kInternalServerError);
  EXPECT_EQ(MessageIds(reports[0].result->error).back(), "quil.provider.method.undeclared.error");

  // Input that fits the definition but not the record (an unknown field): the validator's
  // invalid_argument passes although "do" declares only Error. The strict mock sees no call.
  reports.clear();
  api->FindMethod("do")->Invoke(
      OperationInputValue(
          {{"vm", Text("vm-3")}, {"choice", Choice("BETA")}, {"colour", Text("red")}}),
      activation, RecordFramework(reports));
  ASSERT_EQ(reports.size(), 1u);
  ASSERT_NE(reports[0].result->error, nullptr);
  EXPECT_EQ(reports[0].result->error->GetName(), ApiMethodHelper::kInvalidArgument);
  EXPECT_EQ(
      MessageIds(reports[0].result->error),
      (std::vector<std::string>{"quil.data.compound.field.extra", "quil.invoke.invalid.input"}));

  // What the implementation raises reaches the framework's caller.
  EXPECT_CALL(*service, Do("vm-4", _, _, _, _)).WillOnce(Throw(std::runtime_error("broken")));
  EXPECT_THROW(api->FindMethod("do")->Invoke(
                   OperationInputValue({{"vm", Text("vm-4")}, {"choice", Choice("BETA")}}),
                   activation, RecordFramework(reports)),
               std::runtime_error);
}

TEST(ServiceBinderTest, OneLocalizerPerBindingAndTheImplementationLivesWithTheInterface) {
  auto service = std::make_shared<NiceMock<MockCpusService>>();  // never answers
  const std::weak_ptr<MockCpusService> watch = service;
  auto api = Cpus::AsyncServiceBinder::BindImplementation(service);
  auto other = Cpus::AsyncServiceBinder::BindImplementation(service);

  const auto localizerSeenBy = [](const Provider::AsyncApiInterface& bound, std::string_view method,
                                  const DataValuePtr& input) {
    const auto activation = std::make_shared<Core::AsyncActivation>();
    std::vector<FrameworkReport> reports;
    bound.FindMethod(method)->Invoke(input, activation, RecordFramework(reports));
    return activation->GetLocalizer();
  };
  const DataValuePtr getInput = OperationInputValue({{"vm", Text("vm-1")}});
  const auto fromGet = localizerSeenBy(*api, "get", getInput);
  const auto fromUpdate = localizerSeenBy(*api, "update", UpdateInput({}));
  ASSERT_NE(fromGet, nullptr);
  EXPECT_TRUE(fromGet->empty());
  EXPECT_EQ(fromUpdate, fromGet);
  EXPECT_NE(localizerSeenBy(*other, "get", getInput), fromGet);

  const auto given = std::make_shared<L10n::Localizer>();
  ASSERT_TRUE(given->AddTemplate("de", "quil.invoke.invalid.input", "Falsch: {1}."));
  auto withLocalizer = Cpus::AsyncServiceBinder::BindImplementation(service, given);
  EXPECT_EQ(localizerSeenBy(*withLocalizer, "update", UpdateInput({})), given);

  service.reset();
  EXPECT_FALSE(watch.expired());
  api.reset();
  other.reset();
  EXPECT_FALSE(watch.expired());
  withLocalizer.reset();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace Quil::Provider
