#include <quil/provider/binder.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tavo/vm/compute/cpus.h>

#include <quil/provider/method_definitions.h>
#include <quil/std/errors.h>

#include "runtime/provider_recorders.h"

namespace Quil::Provider {
namespace {

namespace Cpus = ::Com::Korvan::Tavo::Vm::Compute::CpusSvc;
namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using Data::DataDefinitionPtr;
using Data::DataType;
using ProviderTesting::FrameworkReport;
using ProviderTesting::OperationInputValue;
using ProviderTesting::RecordFramework;
using ProviderTesting::Text;

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

// A handler that counts its calls and holds a token, to see where it went.
struct CountingFilter {
  std::shared_ptr<int> calls = std::make_shared<int>(0);
  void operator()(const Data::DataValuePtr&, const std::shared_ptr<Core::AsyncActivation>&,
                  const AsyncApiMethod::ResultCb&) const {
    ++*calls;
  }
};

const std::string& NameOf(const DataDefinitionPtr& definition) {
  return static_cast<const Data::StructDefinition&>(*definition).GetName();
}

TEST(GetApiMethodInstanceTest, AsksTheMethodClassInOrderAndConnectsTheFilter) {
  CallLog().clear();
  CountingFilter filter;
  const std::shared_ptr<int> calls = filter.calls;
  const auto localizer = std::make_shared<L10n::Localizer>();
  const std::shared_ptr<AsyncApiMethodSignal> signal =
      GetApiMethodInstance<LoggingGetMethod>(std::move(filter), localizer);

  EXPECT_EQ(CallLog(),
            (std::vector<std::string>{"errorDefs", "outputDef", "inputDef", "methodName"}));
  ASSERT_NE(signal, nullptr);
  EXPECT_EQ(signal->methodName(), "get");
  EXPECT_EQ(*signal->inputDefinition(), *MethodDefinitions::Of<Cpus::GetMethod::Input>());
  EXPECT_EQ(*signal->outputDefinition(), *MethodDefinitions::Of<Cpus::Info>());
  const auto& errors = signal->errorDefinitions();
  const std::vector<std::string> declared = {"com.korvan.quil.std.errors.error",
                                             "com.korvan.quil.std.errors.not_found",
                                             "com.korvan.quil.std.errors.resource_inaccessible",
                                             "com.korvan.quil.std.errors.service_unavailable",
                                             "com.korvan.quil.std.errors.unauthenticated",
                                             "com.korvan.quil.std.errors.unauthorized"};
  ASSERT_EQ(errors.size(), declared.size());
  for (std::size_t i = 0; i < errors.size(); ++i) EXPECT_EQ(NameOf(errors[i]), declared[i]);

  // The filter was moved into the signal, which owns the only other share of its token.
  EXPECT_EQ(filter.calls, nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(calls.use_count(), 2);

  const auto activation = std::make_shared<Core::AsyncActivation>();
  std::vector<FrameworkReport> reports;
  signal->Invoke(OperationInputValue({{"vm", Text("vm-1")}}), activation, RecordFramework(reports));
  EXPECT_EQ(*calls, 1);
  EXPECT_EQ(activation->GetLocalizer(), localizer);
  EXPECT_FALSE(signal->SetHandler(CountingFilter{}));  // connected already
}

TEST(MethodDefinitionsTest, EveryCallBuildsNewDefinitions) {
  const DataDefinitionPtr input = MethodDefinitions::Of<Cpus::UpdateMethod::Input>();
  ASSERT_NE(input, nullptr);
  ASSERT_EQ(input->GetType(), DataType::STRUCTURE);
  const auto& record = static_cast<const Data::StructDefinition&>(*input);
  EXPECT_EQ(record.GetName(), TypeInfo<OperationInput>::name());
  ASSERT_EQ(record.GetFields().size(), 2u);
  EXPECT_EQ(*record.GetField("vm"), *Data::DataDefinition::Create<std::string>());
  EXPECT_EQ(*record.GetField("update_spec"), *MethodDefinitions::Of<Cpus::UpdateSpec>());

  const DataDefinitionPtr again = MethodDefinitions::Of<Cpus::UpdateMethod::Input>();
  EXPECT_NE(again, input);
  EXPECT_EQ(*again, *input);

  EXPECT_EQ(MethodDefinitions::Of<Void>()->GetType(), DataType::VOID);
  EXPECT_EQ(MethodDefinitions::Of<std::string>()->GetType(), DataType::STRING);
  const DataDefinitionPtr list =
      MethodDefinitions::Of<std::vector<std::shared_ptr<const Cpus::Info>>>();
  ASSERT_EQ(list->GetType(), DataType::LIST);
  EXPECT_EQ(*static_cast<const Data::ListDefinition&>(*list).GetElementType(),
            *MethodDefinitions::Of<Cpus::Info>());

  // Errors keep the given order, and each call gives distinct trees.
  const auto errors = MethodDefinitions::Errors<StdErrors::Unauthorized, StdErrors::Error,
                                                StdErrors::UnableToAllocateResource>();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(NameOf(errors[0]), "com.korvan.quil.std.errors.unauthorized");
  EXPECT_EQ(NameOf(errors[1]), "com.korvan.quil.std.errors.error");
  EXPECT_EQ(NameOf(errors[2]), "com.korvan.quil.std.errors.unable_to_allocate_resource");
  const auto secondErrors = MethodDefinitions::Errors<StdErrors::Unauthorized, StdErrors::Error,
                                                      StdErrors::UnableToAllocateResource>();
  ASSERT_EQ(secondErrors.size(), errors.size());
  for (std::size_t i = 0; i < errors.size(); ++i) {
    EXPECT_NE(secondErrors[i], errors[i]);
    EXPECT_EQ(*secondErrors[i], *errors[i]);
  }

  const auto single = MethodDefinitions::Errors<StdErrors::Error>();
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(NameOf(single[0]), "com.korvan.quil.std.errors.error");
  EXPECT_TRUE(MethodDefinitions::Errors<>().empty());
}

}  // namespace
}  // namespace Quil::Provider
