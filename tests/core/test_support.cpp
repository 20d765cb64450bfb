#include "core/test_support.h"

#include <pthread.h>

#include <cstddef>
#include <limits>

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

bool SameStore(const std::shared_ptr<StructValue>& a, const std::shared_ptr<StructValue>& b) {
  return Equals(a.get(), b.get());
}

const L10n::RequestLocalizer& DefaultLocalizer() {
  static const L10n::RequestLocalizer localizer =
      L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return localizer;
}

void RunOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
  pthread_t thread;
  const auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
            0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

bool RandomValues::Chance(int percent) { return Uniform(0, 99) < percent; }

int RandomValues::Uniform(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random_);
}

std::string RandomValues::Text() {
  static const char* const texts[] = {
      "", "a", "disk-0", "Ünïcödé", "with space", "a much longer text that needs the heap"};
  return texts[Uniform(0, 5)];
}

std::int64_t RandomValues::Number() {
  static const std::int64_t edges[] = {0, -1, 1, std::numeric_limits<std::int64_t>::min(),
                                       std::numeric_limits<std::int64_t>::max()};
  return Chance(30) ? edges[Uniform(0, 4)] : Uniform(-100000, 100000);
}

std::set<std::string> RandomValues::TextSet() {
  std::set<std::string> texts;
  for (int i = Uniform(0, 3); i > 0; --i) texts.insert(Text());
  return texts;
}

std::shared_ptr<StructValue> RandomValues::UnknownFields() {
  if (Chance(60)) return nullptr;
  static const char* const names[] = {"", "a", "zz_extra", "i", "lea", "x-y", "Number", "coun"};
  auto store = StructValue::GetInstance("unknownFields");
  for (int i = Uniform(1, 3); i > 0; --i) store->SetField(names[Uniform(0, 7)], AnyValue());
  return store;
}

DataValuePtr RandomValues::AnyValue() {
  switch (Uniform(0, 7)) {
    case 0:
      return Int(Number());
    case 1:
      return Str(Text());
    case 2:
      return Bool(Chance(50));
    case 3:
      return DoubleValue::GetInstance(0.25 * Uniform(-8, 8));
    case 4:
      return None();
    case 5:
      return Some(Str(Text()));
    case 6: {
      auto list = ListValue::GetInstance(Chance(50) ? ListValue::Kind::LIST : ListValue::Kind::SET);
      for (int i = Uniform(0, 3); i > 0; --i) list->Append(Int(i));
      return list;
    }
    default:
      return Struct("com.example.extra", {{"n", Int(Number())}, {"v", VoidValue::GetInstance()}});
  }
}

}  // namespace Quil::Data::Testing
