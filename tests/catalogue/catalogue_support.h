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
#include <quil/type_info.h>

namespace Catalogue {

using Texts = std::vector<std::string>;
using Quil::MessageList;
using Quil::Data::DataDefinitionPtr;
using Quil::Data::DataValuePtr;
using Fields = std::initializer_list<std::pair<std::string, DataValuePtr>>;

inline DataValuePtr Str(std::string text) {
  return Quil::Data::StringValue::GetInstance(std::move(text));
}
inline DataValuePtr Int(std::int64_t number) {
  return Quil::Data::IntegerValue::GetInstance(number);
}
inline DataValuePtr Bool(bool flag) { return Quil::Data::BooleanValue::GetInstance(flag); }
// An optional value holding none, and one holding `content`.
inline DataValuePtr None() { return Quil::Data::OptionalValue::GetInstance(); }
inline DataValuePtr Some(DataValuePtr content) {
  auto optional = Quil::Data::OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}
inline DataValuePtr Sequence(std::initializer_list<DataValuePtr> elements,
                             Quil::Data::ListValue::Kind kind) {
  auto list = Quil::Data::ListValue::GetInstance(kind);
  for (const DataValuePtr& element : elements) list->Append(element);
  return list;
}
inline DataValuePtr List(std::initializer_list<DataValuePtr> elements) {
  return Sequence(elements, Quil::Data::ListValue::Kind::LIST);
}
inline DataValuePtr Set(std::initializer_list<DataValuePtr> elements) {
  return Sequence(elements, Quil::Data::ListValue::Kind::SET);
}
inline std::shared_ptr<Quil::Data::StructValue> Struct(std::string name, Fields fields) {
  auto value = Quil::Data::StructValue::GetInstance(std::move(name));
  for (const auto& [field, content] : fields) value->SetField(field, content);
  return value;
}
// A method input structure value.
inline std::shared_ptr<Quil::Data::StructValue> Input(Fields fields) {
  return Struct(Quil::TypeInfo<Quil::OperationInput>::name(), fields);
}

// The field names of a structure value in insertion order.
inline Texts FieldNames(const DataValuePtr& value) {
  Texts names;
  if (const auto* compound = dynamic_cast<const Quil::Data::CompoundValue*>(value.get())) {
    compound->ForEachField([&names](const auto& field) { names.push_back(field.name); });
  }
  return names;
}
// The field of a structure value, null when it has none of that name.
inline DataValuePtr FieldOf(const DataValuePtr& value, std::string_view name) {
  DataValuePtr field;
  Quil::MessageList ignored;
  if (const auto* compound = dynamic_cast<const Quil::Data::CompoundValue*>(value.get())) {
    compound->GetField(name, field, ignored);
  }
  return field;
}

// "id(arg, arg)" per message.
inline Texts Describe(const Quil::MessageList& messages) {
  Texts described;
  for (const Quil::BaseMessage& message : messages) {
    std::string text = message.id + "(";
    for (std::size_t i = 0; i < message.args.size(); ++i) text += (i ? ", " : "") + message.args[i];
    described.push_back(text + ")");
  }
  return described;
}

// The top level of a definition: "structure <name>{<field>, ...}" (fields by name), "list<...>"
// around its element, "optional<...>" likewise, else the kind ("string", "void").
inline std::string Shape(const DataDefinitionPtr& definition) {
  std::string prefix, suffix;
  const Quil::Data::DataDefinition* current = definition.get();
  while (current != nullptr) {
    if (const auto* list = dynamic_cast<const Quil::Data::ListDefinition*>(current)) {
      prefix += "list<";
      current = list->GetElementType().get();
    } else if (const auto* optional =
                   dynamic_cast<const Quil::Data::OptionalDefinition*>(current)) {
      prefix += "optional<";
      current = optional->GetElementType().get();
    } else {
      break;
    }
    suffix += ">";
  }
  if (current == nullptr) return prefix + "null" + suffix;
  std::string text = current->GetType().Name();
  if (const auto* structure = dynamic_cast<const Quil::Data::StructDefinition*>(current)) {
    text += " " + structure->GetName() + "{";
    for (const auto& [name, field] : structure->GetFields()) {
      text += (text.back() == '{' ? "" : ", ") + name;
    }
    text += "}";
  }
  return prefix + text + suffix;
}

// The names of error definitions, in order.
inline Texts ErrorNames(const std::vector<DataDefinitionPtr>& definitions) {
  Texts names;
  for (const DataDefinitionPtr& definition : definitions) {
    const auto* structure = dynamic_cast<const Quil::Data::StructDefinition*>(definition.get());
    names.push_back(structure != nullptr ? structure->GetName() : "?");
  }
  return names;
}

inline const Quil::L10n::RequestLocalizer& DefaultLocalizer() {
  static const Quil::L10n::RequestLocalizer localizer =
      Quil::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return localizer;
}

// Answers every invocation with `answer` and keeps what it was invoked with.
class AnsweringProvider final : public Quil::Provider::ApiProvider {
 public:
  void Invoke(std::shared_ptr<const Quil::Core::MethodIdentifier> method, DataValuePtr input,
              std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
              const Quil::Core::AsyncApiResultCb& callback) override {
    methods.push_back(method->GetInterface()->GetName() + " " + method->GetName());
    inputs.push_back(std::move(input));
    callback(Quil::Core::MethodResult::Create(answer, nullptr), Quil::kFinalProgress, nullptr);
  }

  DataValuePtr answer;
  Texts methods;  // "<interface> <method>"
  std::vector<DataValuePtr> inputs;
};

// Invokes `method` of `interfaceName` on a provider that answers inside the call; null when no
// final answer came.
inline Quil::Core::MethodResultPtr InvokeNow(Quil::Provider::ApiProvider& provider,
                                             std::string interfaceName, std::string method,
                                             DataValuePtr input) {
  Quil::Core::MethodResultPtr answer;
  provider.Invoke(Quil::Core::MethodIdentifier::GetInstance(
                      Quil::Core::InterfaceIdentifier::GetInstance(std::move(interfaceName)),
                      std::move(method)),
                  std::move(input), std::make_shared<Quil::Core::AsyncActivation>(),
                  Quil::Core::AsyncApiResultCb(
                      [&answer](Quil::Core::MethodResultPtr result, Quil::Progress progress,
                                Quil::Core::AsyncApiResultCb::Continuation /*next*/) {
                        if (progress.IsComplete()) answer = std::move(result);
                      }));
  return answer;
}
// The name of an answer's error, empty when it has none.
inline std::string ErrorName(const Quil::Core::MethodResultPtr& result) {
  return result != nullptr && result->error != nullptr ? result->error->GetName() : "";
}

// Converts a native value; `messages` receives what the conversion reports.
template <typename T>
DataValuePtr ToValue(const T& native, Quil::MessageList& messages) {
  DataValuePtr value;
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
Texts FromValue(const DataValuePtr& value, T& native) {
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
inline std::string Extra(const std::string& type, const std::string& field) {
  return "quil.data.compound.field.extra(" + type + ", " + field + ", )";
}
inline std::string InvalidInput(const std::string& operation) {
  return "quil.invoke.invalid.input(" + operation + ")";
}
inline std::string Unset(const std::string& wireName) {
  return "quil.data.unset.non.optional.field(" + wireName + ")";
}

}  // namespace Catalogue
