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
  EXPECT_EQ(signal->errorDefinitions().size(), 6u);

  const auto activation = std::make_shared<Core::AsyncActivation>();
  std::vector<ProviderTesting::FrameworkReport> reports;
  signal->Invoke(ProviderTesting::OperationInputValue({{"vm", ProviderTesting::Str("vm-1")}}),
                 activation, ProviderTesting::RecordFramework(reports));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(activation->GetLocalizer(), localizer);
  EXPECT_FALSE(signal->SetHandler([](auto&&...) {}));  // connected once only
}

}  // namespace
}  // namespace Quil::Provider
