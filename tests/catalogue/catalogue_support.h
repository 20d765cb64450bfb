// What the catalogue tests share: dynamic values written compactly, messages and definitions as
// short readable texts, and native values converted to dynamic ones.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/base_message.h>
#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/core/method_result.h>
#include <quil/data/definition.h>
#include <quil/data/native_to_value.h>
#include <quil/data/validator.h>
#include <quil/data/value.h>
#include <quil/data/value_to_native.h>
#include <quil/l10n/localizer.h>
#include <quil/provider/api_provider.h>

namespace Catalogue {

using Texts = std::vector<std::string>;
using Quil::MessageList;
using Quil::Data::DataDefinitionPtr;
using Quil::Data::DataValuePtr;

Quil::Data::DataValuePtr Str(std::string text);
Quil::Data::DataValuePtr Int(std::int64_t number);
Quil::Data::DataValuePtr Bool(bool flag);
// An optional value holding none, and one holding `content`.
Quil::Data::DataValuePtr None();
Quil::Data::DataValuePtr Some(Quil::Data::DataValuePtr content);
Quil::Data::DataValuePtr List(std::initializer_list<Quil::Data::DataValuePtr> elements);
Quil::Data::DataValuePtr Set(std::initializer_list<Quil::Data::DataValuePtr> elements);
using Fields = std::initializer_list<std::pair<std::string, Quil::Data::DataValuePtr>>;
std::shared_ptr<Quil::Data::StructValue> Struct(std::string name, Fields fields);
// A method input structure value.
std::shared_ptr<Quil::Data::StructValue> Input(Fields fields);

// The field names of a structure value in insertion order.
Texts FieldNames(const Quil::Data::DataValuePtr& value);
// The field of a structure value, null when it has none of that name.
Quil::Data::DataValuePtr FieldOf(const Quil::Data::DataValuePtr& value, std::string_view name);

// "id(arg, arg)" per message.
Texts Describe(const Quil::MessageList& messages);

// The top level of a definition: "structure <name>{<field>, ...}" (fields by name), "list<...>"
// around its element, "optional<...>" likewise, else the kind ("string", "void").
std::string Shape(const Quil::Data::DataDefinitionPtr& definition);
// The names of error definitions, in order.
Texts ErrorNames(const std::vector<Quil::Data::DataDefinitionPtr>& definitions);

const Quil::L10n::RequestLocalizer& DefaultLocalizer();

// Answers every invocation with `answer` and keeps what it was invoked with.
class AnsweringProvider final : public Quil::Provider::ApiProvider {
 public:
  void Invoke(std::shared_ptr<const Quil::Core::MethodIdentifier> method,
              Quil::Data::DataValuePtr input,
              std::shared_ptr<Quil::Core::AsyncActivation> activation,
              const Quil::Core::AsyncApiResultCb& callback) override;

  Quil::Data::DataValuePtr answer;
  Texts methods;  // "<interface> <method>"
  std::vector<Quil::Data::DataValuePtr> inputs;
};

// Invokes `method` of `interfaceName` on a provider that answers inside the call; null when no
// final answer came.
Quil::Core::MethodResultPtr InvokeNow(Quil::Provider::ApiProvider& provider,
                                      std::string interfaceName, std::string method,
                                      Quil::Data::DataValuePtr input);
// The name of an answer's error, empty when it has none.
std::string ErrorName(const Quil::Core::MethodResultPtr& result);

// Converts a native value; `messages` receives what the conversion reports.
template <typename T>
Quil::Data::DataValuePtr ToValue(const T& native, Quil::MessageList& messages) {
  Quil::Data::DataValuePtr value;
  if (!Quil::Data::NativeToValueAdapter::Adapt(native, value, messages, DefaultLocalizer())) {
    return nullptr;
  }
  return value;
}

// The messages of converting `native`, described; none when it converts.
template <typename T>
Texts ToValueMessages(const T& native) {
  Quil::MessageList messages;
  ToValue(native, messages);
  return Describe(messages);
}

// Decodes `value` into `native`, describing what the conversion reports.
template <typename T>
Texts FromValue(const Quil::Data::DataValuePtr& value, T& native) {
  Quil::MessageList messages;
  const bool converted = Quil::Data::ValueToNativeAdapter::Adapt(value, native, messages);
  EXPECT_EQ(converted, messages.empty());
  return Describe(messages);
}

// Validates `native` under the strict policy and describes the messages.
template <typename T>
Texts Check(const T& native) {
  Quil::MessageList messages;
  const bool valid =
      Quil::Data::Validator::isValid(native, Quil::Data::Validator::Strict, messages);
  EXPECT_EQ(valid, messages.empty()) << "messages appear exactly when the check fails";
  return Describe(messages);
}

// What Describe gives for the usual validation messages.
std::string Extra(std::string_view type, std::string_view field);
std::string InvalidInput(std::string_view operation);
std::string Unset(std::string_view wireName);

}  // namespace Catalogue
