// What the binding-core and catalogue tests share: field lookups, validation and conversion calls,
// and the messages they repeat.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include <quil/data/native_to_value.h>
#include <quil/data/validator.h>
#include <quil/data/value_to_native.h>
#include <quil/l10n/localizer.h>

#include "support/values.h"

namespace Quil::Data::Testing {

using namespace ::TestSupport;

// An unknown-field store holding a text under each name.
inline std::shared_ptr<StructValue> UnknownStore(std::initializer_list<const char*> names) {
  auto store = StructValue::GetInstance("unknownFields");
  for (const char* name : names) store->SetField(name, Str("x"));
  return store;
}

inline DataValuePtr FieldOf(const DataValuePtr& value, std::string_view name) {
  const DataValuePtr* field = dynamic_cast<const CompoundValue&>(*value).FindField(name);
  return field != nullptr ? *field : nullptr;
}
inline Texts FieldNames(const DataValuePtr& value) {
  Texts names;
  dynamic_cast<const CompoundValue&>(*value).ForEachField(
      [&names](const CompoundValue::Field& field) { names.emplace_back(field.name); });
  return names;
}

inline std::string Extra(std::string_view type, std::string_view field) {
  return "quil.data.compound.field.extra(" + std::string(type) + ", " + std::string(field) + ", )";
}
inline std::string InvalidInput(std::string_view operation) {
  return "quil.invoke.invalid.input(" + std::string(operation) + ")";
}

// Validates `native`; messages must appear exactly when the check fails.
template <typename T>
Texts Check(const T& native, Validator::Policy policy = Validator::Strict) {
  MessageList messages;
  const bool valid = Validator::isValid(native, policy, messages);
  EXPECT_EQ(valid, messages.empty());
  return Describe(messages);
}

inline const L10n::RequestLocalizer& DefaultLocalizer() {
  static const L10n::RequestLocalizer localizer =
      L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return localizer;
}

template <typename T>
bool ToValue(const T& native, DataValuePtr& value, MessageList& messages) {
  return NativeToValueAdapter::Adapt(native, value, messages, DefaultLocalizer());
}
// The value of `native`, or null when it does not convert; `messages` receives the reports.
template <typename T>
DataValuePtr ToValue(const T& native, MessageList& messages) {
  DataValuePtr value;
  return ToValue(native, value, messages) ? value : nullptr;
}

}  // namespace Quil::Data::Testing
