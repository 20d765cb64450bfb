#include <quil/provider/std_error_definitions.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <quil/data/definition_check.h>
#include <quil/provider/api_method_helper.h>
#include <quil/provider/method_definitions.h>

namespace Quil::Provider {
namespace {

namespace StdErrors = ::Com::Korvan::Quil::Std::Errors;
using Data::DataDefinition;
using Data::DataDefinitionPtr;
using Data::ErrorValue;

// The shape of every standard error, spelled out.
DataDefinitionPtr ExpectedDefinition(std::string_view name) {
  auto text = DataDefinition::Create<std::string>();
  auto message = Data::StructDefinition::GetInstance(
      "com.korvan.quil.std.localizable_message",
      {{"id", text}, {"default_message", text}, {"args", Data::ListDefinition::GetInstance(text)}});
  return Data::ErrorDefinition::GetInstance(
      std::string(name), {{"messages", Data::ListDefinition::GetInstance(message)}});
}

template <typename E>
void ExpectDescribesItsErrorValues() {
  const std::string name(E::kWireName);
  SCOPED_TRACE(name);
  const DataDefinitionPtr definition = MethodDefinitions::Of<E>();
  ASSERT_NE(definition, nullptr);
  EXPECT_EQ(definition->GetType(), Data::DataType::ERROR);
  EXPECT_EQ(*definition, *ExpectedDefinition(name));
  const DataDefinitionPtr direct = StdErrors::MakeErrorDefinition<E>();
  EXPECT_NE(direct, definition);
  EXPECT_EQ(*direct, *definition);

  // What ErrorValue::Create and ToErrorValue make passes the method's error check unchanged.
  const std::vector<DataDefinitionPtr> declared{definition};
  const auto withMessages =
      ErrorValue::Create(name, {BaseMessage("com.example.first", "First {1}.", {"x"}),
                                BaseMessage("com.example.second", "Second.", {})});
  EXPECT_EQ(ApiMethodHelper::ValidateError("op", declared, withMessages)->error, withMessages);
  const auto empty = ErrorValue::Create(name, {});
  EXPECT_EQ(ApiMethodHelper::ValidateError("op", declared, empty)->error, empty);
  const auto native = StdErrors::ToErrorValue(
      StdErrors::MakeError<E>("com.example.native", "Native {1} {2}.", "a", "b"));
  EXPECT_EQ(ApiMethodHelper::ValidateError("op", declared, native)->error, native);

  // It is not a definition that anything fits.
  MessageList messages;
  auto malformed = std::make_shared<ErrorValue>(name);
  malformed->SetField("messages", Data::DataValue::Create(std::string("text")));
  EXPECT_FALSE(Data::CheckValue(*definition, malformed, Data::CheckMode::Exact, messages));
  auto noArgs = Data::StructValue::GetInstance("com.korvan.quil.std.localizable_message");
  noArgs->SetField("id", Data::DataValue::Create(std::string("com.example.id")));
  noArgs->SetField("default_message", Data::DataValue::Create(std::string("Text.")));
  auto list = Data::ListValue::GetInstance(Data::ListValue::Kind::LIST);
  list->Append(noArgs);
  auto missingArgs = std::make_shared<ErrorValue>(name);
  missingArgs->SetField("messages", list);
  EXPECT_FALSE(Data::CheckValue(*definition, missingArgs, Data::CheckMode::Exact, messages));
}

TEST(StdErrorDefinitionsTest, EveryStandardErrorDescribesItsErrorValues) {
#define QUIL_TEST_STD_ERROR(Type, wireName) ExpectDescribesItsErrorValues<StdErrors::Type>();
  QUIL_STD_ERRORS(QUIL_TEST_STD_ERROR)
#undef QUIL_TEST_STD_ERROR

  // A declared error of another name does not cover it.
  const auto notFound = StdErrors::ToErrorValue(StdErrors::NotFound{});
  const auto result =
      ApiMethodHelper::ValidateError("op", MethodDefinitions::Errors<StdErrors::Error>(), notFound);
  ASSERT_NE(result->error, nullptr);
  EXPECT_EQ(result->error->GetName(), ApiMethodHelper::kInternalServerError);
}

}  // namespace
}  // namespace Quil::Provider
