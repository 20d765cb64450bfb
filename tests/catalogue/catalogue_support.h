// What the catalogue tests share: dynamic values written compactly, messages as short texts, a
// provider that records what it is invoked with, and native values converted both ways.
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
inline DataValuePtr Some(DataValuePtr content) {
  auto optional = Quil::Data::OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}
inline DataValuePtr List(std::initializer_list<DataValuePtr> elements) {
  auto list = Quil::Data::ListValue::GetInstance(Quil::Data::ListValue::Kind::LIST);
  for (const DataValuePtr& element : elements) list->Append(element);
  return list;
}
inline DataValuePtr Struct(std::string name, Fields fields) {
  auto value = Quil::Data::StructValue::GetInstance(std::move(name));
  for (const auto& [field, content] : fields) value->SetField(field, content);
  return value;
}
// A method input structure value.
inline DataValuePtr Input(Fields fields) {
  return Struct(Quil::TypeInfo<Quil::OperationInput>::name(), fields);
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

// Converts a native value; `messages` receives what the conversion reports. Null on failure.
template <typename T>
DataValuePtr ToValue(const T& native, Quil::MessageList& messages) {
  static const Quil::L10n::RequestLocalizer localizer =
      Quil::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  DataValuePtr value;
  return Quil::Data::NativeToValueAdapter::Adapt(native, value, messages, localizer) ? value
                                                                                     : nullptr;
}
// The messages of converting `native`, described.
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

}  // namespace Catalogue
