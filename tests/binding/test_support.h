// What the binding-core tests share: compact dynamic values, readable messages, and the
// validation and conversion calls they repeat.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/base_message.h>
#include <quil/data/native_to_value.h>
#include <quil/data/validator.h>
#include <quil/data/value.h>
#include <quil/data/value_to_native.h>
#include <quil/l10n/localizer.h>

namespace Quil::Data::Testing {

using Texts = std::vector<std::string>;

DataValuePtr Str(std::string text);
DataValuePtr Int(std::int64_t number);
DataValuePtr Bool(bool flag);
DataValuePtr None();
DataValuePtr Some(DataValuePtr content);
DataValuePtr List(std::initializer_list<DataValuePtr> elements,
                  ListValue::Kind kind = ListValue::Kind::LIST);
using Fields = std::initializer_list<std::pair<std::string, DataValuePtr>>;
std::shared_ptr<StructValue> Struct(std::string name, Fields fields);
// An unknown-field store holding a text under each name.
std::shared_ptr<StructValue> UnknownStore(std::initializer_list<const char*> names);

DataValuePtr FieldOf(const DataValuePtr& value, std::string_view name);
Texts FieldNames(const DataValuePtr& value);

// "id(arg, arg)" per message: readable when an expectation fails.
Texts Describe(const MessageList& messages);
std::string Extra(std::string_view type, std::string_view field);
std::string InvalidInput(std::string_view operation);

// Validates `native`; messages must appear exactly when the check fails.
template <typename T>
Texts Check(const T& native, Validator::Policy policy = Validator::Strict) {
  MessageList messages;
  const bool valid = Validator::isValid(native, policy, messages);
  EXPECT_EQ(valid, messages.empty());
  return Describe(messages);
}

const L10n::RequestLocalizer& DefaultLocalizer();

template <typename T>
bool ToValue(const T& native, DataValuePtr& value, MessageList& messages) {
  return NativeToValueAdapter::Adapt(native, value, messages, DefaultLocalizer());
}

}  // namespace Quil::Data::Testing
