#include <quil/provider/binder.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/vm/compute/cpus.h>

#include <quil/provider/method_definitions.h>

#include "runtime/provider_recorders.h"

namespace Quil::Provider {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
using Data::DataDefinitionPtr;

std::vector<std::string>& CallLog() {
  static std::vector<std::string> log;
  return log;
}

// The method class of cpus "get", logging the calls of its static functions.
struct LoggingGetMethod : Cpus::GetMethod {
  static std::string methodName() {
    CallLog().push_back("methodName");
    return Cpus::GetMethod::methodName();
  }
  static DataDefinitionPtr inputDef() {
    CallLog().push_back("inputDef");
    return Cpus::GetMethod::inputDef();
  }
  static DataDefinitionPtr outputDef() {
    CallLog().push_back("outputDef");
    return Cpus::GetMethod::outputDef();
  }
  static std::vector<DataDefinitionPtr> errorDefs() {
    CallLog().push_back("errorDefs");
    return Cpus::GetMethod::errorDefs();
  }
};

std::vector<std::string> NamesOf(const std::vector<DataDefinitionPtr>& definitions) {
  std::vector<std::string> names;
  for (const auto& definition : definitions) {
    names.push_back(static_cast<const Data::StructDefinition&>(*definition).GetName());
  }
  return names;
}

TEST(GetApiMethodInstanceTest, AsksTheMethodClassInOrderAndConnectsTheFilter) {
  CallLog().clear();
  int calls = 0;
  const auto localizer = std::make_shared<L10n::Localizer>();
  const std::shared_ptr<AsyncApiMethodSignal> signal = GetApiMethodInstance<LoggingGetMethod>(
      [&calls](const auto&, const auto&, const auto&) { ++calls; }, localizer);
  EXPECT_EQ(CallLog(),
            (std::vector<std::string>{"errorDefs", "outputDef", "inputDef", "methodName"}));
  ASSERT_NE(signal, nullptr);
  EXPECT_EQ(signal->methodName(), "get");
  EXPECT_EQ(*signal->inputDefinition(), *MethodDefinitions::Of<Cpus::GetMethod::Input>());
  EXPECT_EQ(*signal->outputDefinition(), *MethodDefinitions::Of<Cpus::Info>());
  EXPECT_EQ(NamesOf(signal->errorDefinitions()),
            (std::vector<std::string>{"com.korvan.quil.std.errors.error",
                                      "com.korvan.quil.std.errors.not_found",
                                      "com.korvan.quil.std.errors.resource_inaccessible",
                                      "com.korvan.quil.std.errors.service_unavailable",
                                      "com.korvan.quil.std.errors.unauthenticated",
                                      "com.korvan.quil.std.errors.unauthorized"}));

  // Every call builds its definitions anew: equal trees, distinct objects.
  const std::vector<DataDefinitionPtr> first = Cpus::GetMethod::errorDefs();
  const std::vector<DataDefinitionPtr> second = Cpus::GetMethod::errorDefs();
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) {
    EXPECT_NE(first[i], second[i]);
    EXPECT_EQ(*first[i], *second[i]);
  }
  EXPECT_NE(Cpus::GetMethod::inputDef(), Cpus::GetMethod::inputDef());

  const auto activation = std::make_shared<Core::AsyncActivation>();
  std::vector<ProviderTesting::FrameworkReport> reports;
  signal->Invoke(ProviderTesting::OperationInputValue({{"vm", ProviderTesting::Text("vm-1")}}),
                 activation, ProviderTesting::RecordFramework(reports));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(activation->GetLocalizer(), localizer);
  EXPECT_FALSE(signal->SetHandler([](auto&&...) {}));  // connected once only
}

}  // namespace
}  // namespace Quil::Provider
