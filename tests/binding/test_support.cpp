#include "binding/test_support.h"

#include <cstddef>

namespace Quil::Data::Testing {

DataValuePtr Str(std::string text) { return StringValue::GetInstance(std::move(text)); }
DataValuePtr Int(std::int64_t number) { return IntegerValue::GetInstance(number); }
DataValuePtr Bool(bool flag) { return BooleanValue::GetInstance(flag); }
DataValuePtr None() { return OptionalValue::GetInstance(); }
DataValuePtr Some(DataValuePtr content) {
  auto optional = OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}
DataValuePtr List(std::initializer_list<DataValuePtr> elements, ListValue::Kind kind) {
  auto list = ListValue::GetInstance(kind);
  for (const DataValuePtr& element : elements) list->Append(element);
  return list;
}
std::shared_ptr<StructValue> Struct(std::string name, Fields fields) {
  auto value = StructValue::GetInstance(std::move(name));
  for (const auto& [field, content] : fields) value->SetField(field, content);
  return value;
}
std::shared_ptr<StructValue> UnknownStore(std::initializer_list<const char*> names) {
  auto store = StructValue::GetInstance("unknownFields");
  for (const char* name : names) store->SetField(name, Str("x"));
  return store;
}

DataValuePtr FieldOf(const DataValuePtr& value, std::string_view name) {
  const DataValuePtr* field = dynamic_cast<const CompoundValue&>(*value).FindField(name);
  return field != nullptr ? *field : nullptr;
}
Texts FieldNames(const DataValuePtr& value) {
  Texts names;
  dynamic_cast<const CompoundValue&>(*value).ForEachField(
      [&names](const CompoundValue::Field& field) { names.push_back(field.name); });
  return names;
}

Texts Describe(const MessageList& messages) {
  Texts described;
  for (const BaseMessage& message : messages) {
    std::string text = message.id + "(";
    for (std::size_t i = 0; i < message.args.size(); ++i) text += (i ? ", " : "") + message.args[i];
    described.push_back(text + ")");
  }
  return described;
}
std::string Extra(std::string_view type, std::string_view field) {
  return "quil.data.compound.field.extra(" + std::string(type) + ", " + std::string(field) + ", )";
}
std::string InvalidInput(std::string_view operation) {
  return "quil.invoke.invalid.input(" + std::string(operation) + ")";
}

const L10n::RequestLocalizer& DefaultLocalizer() {
  static const L10n::RequestLocalizer localizer =
      L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return localizer;
}

}  // namespace Quil::Data::Testing
