// Dynamic values written compactly, and messages as short texts, for the tests of every library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <quil/base_message.h>
#include <quil/data/value.h>

namespace TestSupport {

using Texts = std::vector<std::string>;
using Quil::Data::DataValuePtr;
using Fields = std::initializer_list<std::pair<std::string, DataValuePtr>>;

inline DataValuePtr Str(std::string text) {
  return Quil::Data::StringValue::GetInstance(std::move(text));
}
inline DataValuePtr Int(std::int64_t number) {
  return Quil::Data::IntegerValue::GetInstance(number);
}
inline DataValuePtr Bool(bool flag) { return Quil::Data::BooleanValue::GetInstance(flag); }
inline DataValuePtr None() { return Quil::Data::OptionalValue::GetInstance(); }
inline DataValuePtr Some(DataValuePtr content) {
  auto optional = Quil::Data::OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}
inline std::shared_ptr<Quil::Data::ListValue> List(
    std::initializer_list<DataValuePtr> elements,
    Quil::Data::ListValue::Kind kind = Quil::Data::ListValue::Kind::LIST) {
  auto list = Quil::Data::ListValue::GetInstance(kind);
  for (const DataValuePtr& element : elements) list->Append(element);
  return list;
}
inline std::shared_ptr<Quil::Data::StructValue> Struct(std::string name, Fields fields) {
  auto value = Quil::Data::StructValue::GetInstance(std::move(name));
  for (const auto& [field, content] : fields) value->SetField(field, content);
  return value;
}

// "id(arg, arg)" per message: readable when an expectation fails.
inline Texts Describe(const Quil::MessageList& messages) {
  Texts described;
  for (const Quil::BaseMessage& message : messages) {
    std::string text = message.id + "(";
    for (std::size_t i = 0; i < message.args.size(); ++i) text += (i ? ", " : "") + message.args[i];
    described.push_back(text + ")");
  }
  return described;
}

}  // namespace TestSupport
