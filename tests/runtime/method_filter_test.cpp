#include <quil/provider/method_filter.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/optional.hpp>
#include <boost/optional/optional_io.hpp>

#include <tavo/test/hand.h>
#include <tavo/vm/compute/cpus.h>

#include "runtime/provider_recorders.h"
#include "runtime/service_mocks.h"

namespace Quil::ProviderTesting {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace Hand = ::Com::Korvan::Tavo::Test::HandSvc;
using Data::DataValuePtr;
using Provider::AsyncApiMethod;
using Provider::MakeMethodFilter;
using ::testing::_;

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
  const auto activation = std::make_shared<Core::AsyncActivation>();
  struct Case {
    const char* what;
    bool forDo;
    DataValuePtr input;
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"required field missing", false, OperationInputValue({}), {"quil.data.field.missing"}},
      {"wrong kind",
       false,
       OperationInputValue({{"vm", Integer(7)}}),
       {"quil.data.value.wrong.type"}},
      {"field the record does not declare",
       false,
       OperationInputValue({{"vm", Text("vm-1")}, {"colour", Text("red")}}),
       {"quil.data.compound.field.extra", "quil.invoke.invalid.input"}},
      {"required nested structure breaking its union rule",
       true,
       OperationInputValue({{"vm", Text("vm-1")}, {"choice", Choice("ALPHA")}}),
       {"quil.data.union.invalid.case.state.isnotset.short", "quil.invoke.invalid.input"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<MethodReport> reports;
    if (c.forDo) {
      doFilter(c.input, activation, RecordMethod(reports));
    } else {
      getFilter(c.input, activation, RecordMethod(reports));
    }
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
  getFilter(cases[2].input, activation, RecordMethod(reports));
  const MessageList messages = reports.at(0).error->GetMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].args,
            (std::vector<std::string>{"::Com::Korvan::Tavo::Vm::Compute::CpusSvc::GetMethod::Input",
                                      "colour", ""}));
  EXPECT_EQ(messages[1].args,
            std::vector<std::string>{"::Com::Korvan::Tavo::Vm::Compute::CpusSvc::Get"});
}

TEST(MethodFilterTest, ValidInputReachesTheImplementation) {
  const auto activation = std::make_shared<Core::AsyncActivation>();
  // "do" of a bound implementation: every parameter in record order, the optional one set.
  const auto service = std::make_shared<::testing::StrictMock<MockHandService>>();
  const auto api = Hand::AsyncServiceBinder::BindImplementation(service);
  EXPECT_CALL(*service, Do("vm-3", _, _, activation, _))
      .WillOnce([](const std::string&, std::shared_ptr<const Hand::Choice> choice,
                   const OptionalPtr<const Hand::Leaf>& leaf,
                   std::shared_ptr<Core::AsyncActivation>,
                   const Hand::DoMethod::ResultCbType& result) {
        ASSERT_NE(choice, nullptr);
        EXPECT_EQ(choice->tag, Hand::Kind::BETA);
        EXPECT_EQ(choice->path, boost::optional<std::string>("/p"));
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->id, "leaf-1");
        result(std::string("done"));
      });
  std::vector<FrameworkReport> answers;
  api->FindMethod("do")->Invoke(
      OperationInputValue({{"vm", Text("vm-3")},
                           {"choice", Choice("BETA", {{"path", Text("/p")}})},
                           {"filter", Leaf()}}),
      activation, RecordFramework(answers));
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(*answers[0].result->output, *Text("done"));
}

TEST(ServiceBinderTest, OneLocalizerPerBindingAndTheImplementationLivesWithTheInterface) {
  auto service = std::make_shared<::testing::NiceMock<MockCpusService>>();  // never answers
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
  ASSERT_NE(fromGet, nullptr);
  EXPECT_TRUE(fromGet->empty());
  EXPECT_EQ(localizerSeenBy(*api, "update", UpdateInput({})), fromGet);
  EXPECT_NE(localizerSeenBy(*other, "get", getInput), fromGet);
  const auto given = std::make_shared<L10n::Localizer>();
  auto withLocalizer = Cpus::AsyncServiceBinder::BindImplementation(service, given);
  EXPECT_EQ(localizerSeenBy(*withLocalizer, "update", UpdateInput({})), given);

  service.reset();
  api.reset();
  other.reset();
  EXPECT_FALSE(watch.expired());
  withLocalizer.reset();
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace Quil::ProviderTesting
