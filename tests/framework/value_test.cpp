#include <quil/data/value.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace Quil::Data {
namespace {

using ::testing::ElementsAre;

DataValuePtr Int(std::int64_t value) { return DataValue::Create(value); }
DataValuePtr Str(const std::string& value) { return DataValue::Create(value); }

std::shared_ptr<ListValue> ListOf(ListValue::Kind kind, std::vector<DataValuePtr> elements) {
  auto list = ListValue::GetInstance(kind);
  for (auto& element : elements) list->Append(std::move(element));
  return list;
}

std::shared_ptr<OptionalValue> Holding(DataValuePtr content) {
  auto optional = OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}

std::vector<std::string> FieldNames(const StructValue& structure) {
  std::vector<std::string> names;
  structure.ForEachField([&](const CompoundValue::Field& f) { names.push_back(f.name); });
  return names;
}

TEST(ValueTest, SlotsStayValidWhileValuesGrow) {
  auto structure = StructValue::GetInstance("com.example.wide");
  DataValuePtr* first = structure->FieldSlot("f0");
  for (int i = 1; i < 1000; ++i) *structure->FieldSlot("f" + std::to_string(i)) = Int(i);
  *first = Int(-1);
  EXPECT_EQ(structure->FieldSlot("f0"), first);  // an existing field's slot, not a new one
  EXPECT_EQ(structure->FieldCount(), 1000u);
  EXPECT_EQ(**structure->FindField("f0"), *Int(-1));
  for (int i = 1; i < 1000; ++i) {  // every field survives the index's growth
    const DataValuePtr* field = structure->FindField("f" + std::to_string(i));
    ASSERT_NE(field, nullptr) << i;
    EXPECT_EQ(static_cast<const IntegerValue&>(**field).GetValue(), i);
  }
  EXPECT_EQ(structure->FindField("f1000"), nullptr);
  // Insertion order survives the switch from linear search to the index.
  const auto names = FieldNames(*structure);
  ASSERT_EQ(names.size(), 1000u);
  EXPECT_EQ(names[9], "f9");
  EXPECT_EQ(names[999], "f999");

  auto list = ListValue::GetInstance(ListValue::Kind::LIST);
  list->Reserve(2);
  std::vector<DataValuePtr*> slots;
  for (int i = 0; i < 1000; ++i) slots.push_back(list->AppendSlot());
  for (int i = 0; i < 1000; ++i) *slots[i] = Int(i);
  ASSERT_EQ(list->Size(), 1000u);
  int expected = 0;
  for (const DataValuePtr& element : *list) EXPECT_EQ(*element, *Int(expected++));

  auto optional = OptionalValue::GetInstance();
  DataValuePtr* content = optional->value(nullptr);
  EXPECT_TRUE(optional->IsSet());
  *content = Str("late");
  EXPECT_EQ(*optional->GetValue(), *Str("late"));
}

TEST(ValueTest, FieldsAreFoundReplacedAndSorted) {
  auto structure = StructValue::GetInstance("com.example.info");
  for (const char* name : {"b", "B", "a", "\xc3\xa9", "ab", ""}) structure->SetField(name, Int(0));
  structure->SetField("B", Str("replaced"));
  EXPECT_THAT(FieldNames(*structure), ElementsAre("b", "B", "a", "\xc3\xa9", "ab", ""));
  EXPECT_EQ(**structure->FindField("B"), *Str("replaced"));
  std::vector<std::string> sorted;
  for (const auto* field : structure->SortedFields()) sorted.push_back(field->name);
  EXPECT_THAT(sorted, ElementsAre("", "B", "a", "ab", "b", "\xc3\xa9"));

  MessageList messages;
  DataValuePtr found = Int(5);
  EXPECT_FALSE(structure->GetField("absent", found, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.field.missing");
  EXPECT_THAT(messages[0].args, ElementsAre("absent", "com.example.info"));
  EXPECT_FALSE(messages[0].defaultMessage.empty());

  // A present field holding null is found, with its null.
  structure->FieldSlot("empty");
  messages.clear();
  EXPECT_TRUE(structure->GetField("empty", found, messages));
  EXPECT_EQ(found, nullptr);
  EXPECT_TRUE(messages.empty());
}

TEST(ValueTest, ValueExtractsOnlyTheMatchingKind) {
  MessageList messages;
  std::int64_t integer = 0;
  bool flag = false;
  std::string text;
  double number = 0;
  Void nothing;
  EXPECT_TRUE(DataValue::Value(Int(-12), integer, messages));
  EXPECT_EQ(integer, -12);
  EXPECT_TRUE(DataValue::Value(DataValue::Create(true), flag, messages));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(DataValue::Value(Str("abc"), text, messages));
  EXPECT_EQ(text, "abc");
  EXPECT_TRUE(DataValue::Value(DataValue::Create(0.25), number, messages));
  EXPECT_EQ(number, 0.25);
  EXPECT_TRUE(DataValue::Value(DataValue::Create(Void{}), nothing, messages));
  EXPECT_TRUE(messages.empty());

  integer = 9;
  EXPECT_FALSE(DataValue::Value(Str("42"), integer, messages));  // Value does not parse
  EXPECT_FALSE(DataValue::Value(SecretValue::GetInstance("pw"), text, messages));
  EXPECT_FALSE(DataValue::Value(StructValue::GetInstance("s"), flag, messages));
  EXPECT_FALSE(DataValue::Value(DataValuePtr(), number, messages));
  EXPECT_EQ(integer, 9);
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0].id, "quil.data.value.wrong.type");
  EXPECT_THAT(messages[0].args, ElementsAre("integer", "string"));
  EXPECT_THAT(messages[1].args, ElementsAre("string", "secret"));
  EXPECT_THAT(messages[2].args, ElementsAre("boolean", "structure"));
  EXPECT_EQ(messages[3].id, "quil.data.value.missing");
  EXPECT_THAT(messages[3].args, ElementsAre("double"));
}

TEST(ValueTest, ToPrimitiveParsesStrictly) {
  MessageList messages;
  std::int64_t integer = 0;
  const std::vector<std::pair<std::string, std::int64_t>> goodIntegers = {
      {"42", 42},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"+7", 7},
      {"-0", 0}};
  for (const auto& [text, expected] : goodIntegers) {
    EXPECT_TRUE(DataValue::ToPrimitive(Str(text), integer, messages)) << text;
    EXPECT_EQ(integer, expected);
  }
  EXPECT_TRUE(messages.empty());

  integer = 5;
  for (const char* bad : {"4x", "", "9223372036854775808", "99999999999999999999", " 4", "4 ", "+",
                          "-", "+-1", "0x10", "1.0", "--1"}) {
    messages.clear();
    EXPECT_FALSE(DataValue::ToPrimitive(Str(bad), integer, messages)) << bad;
    ASSERT_EQ(messages.size(), 1u) << bad;
    EXPECT_EQ(messages[0].id, "quil.data.primitive.parse");
    EXPECT_THAT(messages[0].args, ElementsAre(bad, "integer"));
  }
  EXPECT_EQ(integer, 5);  // untouched by failures

  messages.clear();
  bool flag = false;
  EXPECT_TRUE(DataValue::ToPrimitive(Str("true"), flag, messages));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(DataValue::ToPrimitive(Str("false"), flag, messages));
  EXPECT_FALSE(flag);
  for (const char* bad : {"True", "1", "", "false "}) {
    EXPECT_FALSE(DataValue::ToPrimitive(Str(bad), flag, messages)) << bad;
  }
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_THAT(messages[0].args, ElementsAre("True", "boolean"));

  messages.clear();
  double number = 0;
  EXPECT_TRUE(DataValue::ToPrimitive(Str("+.5"), number, messages));
  EXPECT_EQ(number, 0.5);
  Void nothing;
  EXPECT_TRUE(DataValue::ToPrimitive(Str(""), nothing, messages));
  EXPECT_TRUE(messages.empty());
  for (const char* bad : {"", "1.5x", " 1", "1e999", "1,5"}) {
    EXPECT_FALSE(DataValue::ToPrimitive(Str(bad), number, messages)) << bad;
  }
  EXPECT_FALSE(DataValue::ToPrimitive(Str("x"), nothing, messages));
  ASSERT_EQ(messages.size(), 6u);
  EXPECT_THAT(messages[5].args, ElementsAre("x", "void"));
  EXPECT_EQ(number, 0.5);

  // A value that is not a string is extracted as by Value.
  messages.clear();
  EXPECT_TRUE(DataValue::ToPrimitive(Int(8), integer, messages));
  EXPECT_EQ(integer, 8);
  EXPECT_FALSE(DataValue::ToPrimitive(DataValue::Create(true), integer, messages));
  EXPECT_FALSE(DataValue::ToPrimitive(DataValuePtr(), integer, messages));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, "quil.data.value.wrong.type");
  EXPECT_THAT(messages[0].args, ElementsAre("integer", "boolean"));
  EXPECT_EQ(messages[1].id, "quil.data.value.missing");
}

TEST(ValueTest, EqualityComparesStructure) {
  auto make = [](std::vector<std::pair<std::string, DataValuePtr>> fields,
                 const std::string& name = "com.example.s") {
    auto structure = StructValue::GetInstance(name);
    for (auto& [field, value] : fields) structure->SetField(field, value);
    return structure;
  };
  EXPECT_EQ(*make({{"a", Int(1)}, {"b", Str("x")}}), *make({{"b", Str("x")}, {"a", Int(1)}}));
  EXPECT_NE(*make({{"a", Int(1)}}), *make({{"a", Int(1)}}, "com.example.t"));
  EXPECT_NE(*make({{"a", Int(1)}}), *make({{"a", Int(2)}}));
  EXPECT_NE(*make({{"a", Int(1)}}), *make({{"b", Int(1)}}));
  EXPECT_NE(*make({{"a", Int(1)}}), *make({{"a", Int(1)}, {"b", Int(1)}}));
  EXPECT_NE(*make({{"a", Int(1)}}), *make({{"a", Str("1")}}));
  EXPECT_NE(*make({{"a", nullptr}}), *make({{"a", Int(1)}}));
  EXPECT_EQ(*make({{"a", nullptr}}), *make({{"a", nullptr}}));
  // An error and a structure of the same name and fields differ in kind.
  EXPECT_NE(*ErrorValue::GetInstance("e"),
            *make({{"messages", ListValue::GetInstance(ListValue::Kind::LIST)}}, "e"));

  using Kind = ListValue::Kind;
  EXPECT_EQ(*ListOf(Kind::LIST, {Int(1), Int(2)}), *ListOf(Kind::LIST, {Int(1), Int(2)}));
  EXPECT_NE(*ListOf(Kind::LIST, {Int(1), Int(2)}), *ListOf(Kind::LIST, {Int(2), Int(1)}));
  EXPECT_NE(*ListOf(Kind::LIST, {Int(1)}), *ListOf(Kind::SET, {Int(1)}));
  EXPECT_NE(*ListOf(Kind::LIST, {Int(1)}), *ListOf(Kind::LIST, {Int(1), Int(1)}));

  EXPECT_NE(*OptionalValue::GetInstance(), *Holding(nullptr));
  EXPECT_NE(*Holding(nullptr), *Holding(Int(1)));
  EXPECT_EQ(*Holding(Int(1)), *Holding(Int(1)));

  EXPECT_NE(*StringValue::GetInstance("x"), *SecretValue::GetInstance("x"));
  EXPECT_NE(*StringValue::GetInstance("x"), *BlobValue::GetInstance("x"));
  EXPECT_NE(*IntegerValue::GetInstance(1), *DoubleValue::GetInstance(1.0));
  EXPECT_EQ(*DoubleValue::GetInstance(std::nan("")), *DoubleValue::GetInstance(std::nan("")));
  EXPECT_TRUE(Equals(nullptr, nullptr));
  EXPECT_FALSE(Equals(Int(1).get(), nullptr));
}

TEST(ValueTest, TextAndDeepCopy) {
  auto info = StructValue::GetInstance("com.example.info");
  info->SetField("count", Int(4));
  info->SetField("tags", ListOf(ListValue::Kind::SET, {Str("a\"b")}));
  info->SetField("note", OptionalValue::GetInstance());
  info->SetField("flag", Holding(DataValue::Create(false)));
  info->SetField("pw", SecretValue::GetInstance("hunter2"));
  info->SetField("raw", BlobValue::GetInstance(std::string("\x00\xff", 2)));
  info->SetField("ratio", DataValue::Create(0.5));
  info->SetField("missing", nullptr);
  EXPECT_EQ(ToText(info.get()),
            "com.example.info{count: 4, tags: set[\"a\\\"b\"], note: none, flag: some(false), "
            "pw: <secret>, raw: blob:00ff, ratio: 0.5, missing: null}");

  auto copy = DeepCopy(*info);
  EXPECT_EQ(*copy, *info);
  const auto& copied = static_cast<const StructValue&>(*copy);
  EXPECT_NE(copied.FindField("tags")->get(), info->FindField("tags")->get());  // shares nothing
}

TEST(ValueTest, ErrorValuesCarryTheirMessages) {
  const MessageList messages = {BaseMessage("m.id", "text {1}", {"a"}),
                                BaseMessage("quil.three", "{1} and {2}", {"b", "c"})};
  auto error = ErrorValue::Create("com.example.failed", messages);
  EXPECT_EQ(error->GetName(), "com.example.failed");
  EXPECT_EQ(error->GetMessages(), messages);
  EXPECT_EQ(ToText(error.get()),
            "error com.example.failed{messages: [com.korvan.quil.std.localizable_message{id: "
            "\"m.id\", default_message: \"text {1}\", args: [\"a\"]}, "
            "com.korvan.quil.std.localizable_message{id: \"quil.three\", default_message: "
            "\"{1} and {2}\", args: [\"b\", \"c\"]}]}");
  auto errorCopy = DeepCopy(*error);
  EXPECT_EQ(errorCopy->GetType(), DataType::ERROR);
  EXPECT_EQ(static_cast<const ErrorValue&>(*errorCopy).GetMessages(), messages);
  EXPECT_EQ(**ErrorValue::GetInstance("e")->FindField("messages"),
            *ListValue::GetInstance(ListValue::Kind::LIST));

  // Entries of another shape are skipped; the well-formed ones still come back.
  auto good = StructValue::GetInstance("com.korvan.quil.std.localizable_message");
  good->SetField("args", ListValue::GetInstance(ListValue::Kind::LIST));
  good->SetField("default_message", Str("ok"));
  good->SetField("id", Str("quil.ok"));
  auto badArg = DeepCopy(*good);
  static_cast<StructValue&>(*badArg).SetField("args", ListOf(ListValue::Kind::LIST, {Int(1)}));
  auto noId = DeepCopy(*good);
  static_cast<StructValue&>(*noId).SetField("id", nullptr);
  auto mixed = ErrorValue::GetInstance("com.example.e");
  mixed->SetField("messages", ListOf(ListValue::Kind::LIST, {Int(3), noId, badArg, good, nullptr}));
  EXPECT_EQ(mixed->GetMessages(), MessageList({BaseMessage("quil.ok", "ok", {})}));
  mixed->SetField("messages", Str("not a list"));
  EXPECT_TRUE(mixed->GetMessages().empty());
}

TEST(ValueTest, DestroyingAParentKeepsSharedChildrenWhole) {
  auto grandchild = ListOf(ListValue::Kind::LIST, {Int(1), Str("two")});
  auto shared = StructValue::GetInstance("com.example.shared");
  shared->SetField("items", grandchild);
  auto optional = Holding(shared);
  {
    auto parent = ListValue::GetInstance(ListValue::Kind::LIST);
    auto uniquelyOwned = StructValue::GetInstance("com.example.owner");
    uniquelyOwned->SetField("shared", optional);
    parent->Append(std::move(uniquelyOwned));
  }
  EXPECT_EQ(optional->GetValue(), shared);
  EXPECT_EQ(shared->FindField("items")->get(), grandchild.get());
  EXPECT_EQ(*grandchild, *ListOf(ListValue::Kind::LIST, {Int(1), Str("two")}));
}

}  // namespace
}  // namespace Quil::Data
