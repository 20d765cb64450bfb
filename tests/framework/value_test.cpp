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

std::vector<std::string> Args(const MessageList& messages, std::size_t index = 0) {
  return messages.at(index).args;
}

DataValuePtr Int(std::int64_t value) { return DataValue::Create(value); }
DataValuePtr Str(const std::string& value) { return DataValue::Create(value); }

std::shared_ptr<ListValue> ListOf(ListValue::Kind kind, std::vector<DataValuePtr> elements) {
  auto list = ListValue::GetInstance(kind);
  for (auto& element : elements) list->Append(std::move(element));
  return list;
}

// Records which visitor slot a value lands in.
struct KindRecorder final : ValueVisitor {
  std::string seen;
  void VisitVoid(const VoidValue&) override { seen = "void"; }
  void VisitInteger(const IntegerValue&) override { seen = "integer"; }
  void VisitDouble(const DoubleValue&) override { seen = "double"; }
  void VisitBoolean(const BooleanValue&) override { seen = "boolean"; }
  void VisitBlob(const BlobValue&) override { seen = "blob"; }
  void VisitString(const StringValue&) override { seen = "string"; }
  void VisitSecret(const SecretValue&) override { seen = "secret"; }
  void VisitError(const ErrorValue&) override { seen = "error"; }
  void VisitOptional(const OptionalValue&) override { seen = "optional"; }
  void VisitList(const ListValue&) override { seen = "list"; }
  void VisitStruct(const StructValue&) override { seen = "struct"; }
};

std::string VisitedAs(const DataValuePtr& value) {
  KindRecorder recorder;
  value->Accept(recorder);
  return recorder.seen;
}

TEST(ValueTest, KindsDispatchToTheirVisitorSlot) {
  const std::vector<std::pair<DataValuePtr, std::string>> cases = {
      {VoidValue::GetInstance(), "void"},
      {IntegerValue::GetInstance(1), "integer"},
      {DoubleValue::GetInstance(1.5), "double"},
      {BooleanValue::GetInstance(true), "boolean"},
      {BlobValue::GetInstance("\x01"), "blob"},
      {StringValue::GetInstance("s"), "string"},
      {SecretValue::GetInstance("pw"), "secret"},
      {ErrorValue::GetInstance("com.example.err"), "error"},
      {OptionalValue::GetInstance(), "optional"},
      {ListValue::GetInstance(ListValue::Kind::SET), "list"},
      {StructValue::GetInstance("com.example.s"), "struct"},
  };
  for (const auto& [value, slot] : cases) EXPECT_EQ(VisitedAs(value), slot) << slot;

  EXPECT_EQ(StringValue::GetInstance("")->GetType(), DataType::STRING);
  EXPECT_EQ(ListValue::GetInstance(ListValue::Kind::LIST)->GetType().GetType(), 8);
  EXPECT_EQ(StructValue::GetInstance("s")->GetType().GetType(), 15);
  EXPECT_EQ(ErrorValue::GetInstance("e")->GetType().GetType(), 6);
  EXPECT_TRUE(ErrorValue::GetInstance("e")->GetType().IsStructure());
  EXPECT_FALSE(OptionalValue::GetInstance()->GetType().IsStructure());

  EXPECT_EQ(VisitedAs(DataValue::Create<std::int64_t>(3)), "integer");
  EXPECT_EQ(VisitedAs(DataValue::Create(true)), "boolean");
  EXPECT_EQ(VisitedAs(DataValue::Create(std::string("x"))), "string");
  EXPECT_EQ(VisitedAs(DataValue::Create(2.5)), "double");
  EXPECT_EQ(VisitedAs(DataValue::Create(Void{})), "void");
}

TEST(ValueTest, SlotsStayValidWhileValuesGrow) {
  auto structure = StructValue::GetInstance("com.example.wide");
  DataValuePtr* first = structure->FieldSlot("f0");
  for (int i = 1; i < 1000; ++i) *structure->FieldSlot("f" + std::to_string(i)) = Int(i);
  *first = Int(-1);
  EXPECT_EQ(structure->FieldSlot("f0"), first);  // an existing field's slot, not a new one
  EXPECT_EQ(structure->FieldCount(), 1000u);
  DataValuePtr found;
  MessageList messages;
  ASSERT_TRUE(structure->GetField("f0", found, messages));
  EXPECT_EQ(*found, *Int(-1));
  EXPECT_TRUE(messages.empty());
  for (int i = 1; i < 1000; ++i) {  // every field survives the index's growth
    const DataValuePtr* field = structure->FindField("f" + std::to_string(i));
    ASSERT_NE(field, nullptr) << i;
    EXPECT_EQ(static_cast<const IntegerValue&>(**field).GetValue(), i);
  }
  EXPECT_EQ(structure->FindField("f1000"), nullptr);

  // Fields keep insertion order across the switch from linear search to the index.
  std::vector<std::string> names;
  structure->ForEachField([&](const CompoundValue::Field& f) { names.push_back(f.name); });
  ASSERT_EQ(names.size(), 1000u);
  EXPECT_EQ(names[0], "f0");
  EXPECT_EQ(names[8], "f8");
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
  EXPECT_EQ(expected, 1000);
  EXPECT_EQ(*list->At(777), *Int(777));

  auto optional = OptionalValue::GetInstance();
  EXPECT_FALSE(optional->IsSet());
  DataValuePtr* content = optional->value(nullptr);
  EXPECT_TRUE(optional->IsSet());
  *content = Str("late");
  EXPECT_EQ(*optional->GetValue(), *Str("late"));
}

TEST(ValueTest, FieldsAreFoundReplacedAndSorted) {
  for (int count : {3, 20}) {  // linear search and hashed lookup
    auto structure = StructValue::GetInstance("com.example.info");
    for (int i = 0; i < count; ++i) structure->SetField("k" + std::to_string(i), Int(i));
    structure->SetField("k1", Str("replaced"));
    EXPECT_EQ(structure->FieldCount(), static_cast<std::size_t>(count));
    std::vector<std::string> names;
    structure->ForEachField([&](const CompoundValue::Field& f) { names.push_back(f.name); });
    EXPECT_EQ(names[1], "k1");  // replaced in place
    ASSERT_NE(structure->FindField("k1"), nullptr);
    EXPECT_EQ(**structure->FindField("k1"), *Str("replaced"));
    EXPECT_TRUE(structure->HasField("k0"));
    EXPECT_FALSE(structure->HasField("k"));

    MessageList messages;
    DataValuePtr found = Int(5);
    EXPECT_FALSE(structure->GetField("absent", found, messages));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, "quil.data.field.missing");
    EXPECT_THAT(messages[0].args, ElementsAre("absent", "com.example.info"));
    EXPECT_FALSE(messages[0].defaultMessage.empty());
  }

  auto structure = StructValue::GetInstance("s");
  for (const char* name : {"b", "B", "a", "\xc3\xa9", "ab", ""}) structure->SetField(name, Int(0));
  std::vector<std::string> sorted;
  for (const auto* field : structure->SortedFields()) sorted.push_back(field->name);
  EXPECT_THAT(sorted, ElementsAre("", "B", "a", "ab", "b", "\xc3\xa9"));

  // A present field holding null is found, with its null.
  structure->FieldSlot("empty");
  MessageList messages;
  DataValuePtr found = Int(1);
  EXPECT_TRUE(structure->GetField("empty", found, messages));
  EXPECT_EQ(found, nullptr);
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
  EXPECT_EQ(integer, 9);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.value.wrong.type");
  EXPECT_THAT(Args(messages), ElementsAre("integer", "string"));

  messages.clear();
  EXPECT_FALSE(DataValue::Value(SecretValue::GetInstance("pw"), text, messages));
  EXPECT_THAT(Args(messages), ElementsAre("string", "secret"));

  messages.clear();
  EXPECT_FALSE(DataValue::Value(StructValue::GetInstance("s"), flag, messages));
  EXPECT_THAT(Args(messages), ElementsAre("boolean", "structure"));

  messages.clear();
  EXPECT_FALSE(DataValue::Value(DataValuePtr(), number, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.value.missing");
  EXPECT_THAT(Args(messages), ElementsAre("double"));
}

TEST(ValueTest, ToPrimitiveParsesStrictly) {
  auto integerFrom = [](const std::string& text, std::int64_t& out, MessageList& messages) {
    return DataValue::ToPrimitive(Str(text), out, messages);
  };
  MessageList messages;
  std::int64_t integer = 0;
  EXPECT_TRUE(integerFrom("42", integer, messages));
  EXPECT_EQ(integer, 42);
  EXPECT_TRUE(integerFrom("-9223372036854775808", integer, messages));
  EXPECT_EQ(integer, std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(integerFrom("9223372036854775807", integer, messages));
  EXPECT_EQ(integer, std::numeric_limits<std::int64_t>::max());
  EXPECT_TRUE(integerFrom("+7", integer, messages));
  EXPECT_EQ(integer, 7);
  EXPECT_TRUE(integerFrom("-0", integer, messages));
  EXPECT_EQ(integer, 0);
  EXPECT_TRUE(messages.empty());

  integer = 5;
  for (const char* bad : {"4x", "", "9223372036854775808", "99999999999999999999", " 4", "4 ", "+",
                          "-", "+-1", "0x10", "1.0", "--1"}) {
    messages.clear();
    EXPECT_FALSE(integerFrom(bad, integer, messages)) << bad;
    ASSERT_EQ(messages.size(), 1u) << bad;
    EXPECT_EQ(messages[0].id, "quil.data.primitive.parse");
    EXPECT_THAT(Args(messages), ElementsAre(bad, "integer"));
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
  EXPECT_THAT(Args(messages, 0), ElementsAre("True", "boolean"));

  messages.clear();
  double number = 0;
  EXPECT_TRUE(DataValue::ToPrimitive(Str("-2.5e3"), number, messages));
  EXPECT_EQ(number, -2500.0);
  EXPECT_TRUE(DataValue::ToPrimitive(Str("+.5"), number, messages));
  EXPECT_EQ(number, 0.5);
  EXPECT_TRUE(messages.empty());
  for (const char* bad : {"", "1.5x", " 1", "1e999", "1,5"}) {
    EXPECT_FALSE(DataValue::ToPrimitive(Str(bad), number, messages)) << bad;
  }
  EXPECT_EQ(messages.size(), 5u);
  EXPECT_EQ(number, 0.5);

  messages.clear();
  std::string text;
  EXPECT_TRUE(DataValue::ToPrimitive(Str(" any text "), text, messages));
  EXPECT_EQ(text, " any text ");
  Void nothing;
  EXPECT_TRUE(DataValue::ToPrimitive(Str(""), nothing, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(DataValue::ToPrimitive(Str("x"), nothing, messages));
  EXPECT_THAT(Args(messages), ElementsAre("x", "void"));

  // A value that is not a string is extracted as by Value.
  messages.clear();
  EXPECT_TRUE(DataValue::ToPrimitive(Int(8), integer, messages));
  EXPECT_EQ(integer, 8);
  EXPECT_FALSE(DataValue::ToPrimitive(DataValue::Create(true), integer, messages));
  EXPECT_FALSE(DataValue::ToPrimitive(DataValuePtr(), integer, messages));
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].id, "quil.data.value.wrong.type");
  EXPECT_THAT(Args(messages, 0), ElementsAre("integer", "boolean"));
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
  EXPECT_EQ(*ListOf(Kind::SET, {}), *ListOf(Kind::SET, {}));

  auto unset = OptionalValue::GetInstance();
  auto setToNull = OptionalValue::GetInstance();
  setToNull->value(nullptr);
  auto setToOne = OptionalValue::GetInstance();
  setToOne->value(Int(1));
  EXPECT_EQ(*unset, *OptionalValue::GetInstance());
  EXPECT_NE(*unset, *setToNull);
  EXPECT_NE(*setToNull, *setToOne);
  auto alsoOne = OptionalValue::GetInstance();
  alsoOne->value(Int(1));
  EXPECT_EQ(*setToOne, *alsoOne);

  EXPECT_EQ(*StringValue::GetInstance("x"), *StringValue::GetInstance("x"));
  EXPECT_NE(*StringValue::GetInstance("x"), *SecretValue::GetInstance("x"));
  EXPECT_NE(*StringValue::GetInstance("x"), *BlobValue::GetInstance("x"));
  EXPECT_NE(*IntegerValue::GetInstance(1), *DoubleValue::GetInstance(1.0));
  EXPECT_EQ(*DoubleValue::GetInstance(std::nan("")), *DoubleValue::GetInstance(std::nan("")));
  EXPECT_EQ(*VoidValue::GetInstance(), *VoidValue::GetInstance());
  EXPECT_TRUE(Equals(nullptr, nullptr));
  EXPECT_FALSE(Equals(Int(1).get(), nullptr));
}

TEST(ValueTest, TextAndDeepCopy) {
  auto info = StructValue::GetInstance("com.example.info");
  info->SetField("count", Int(4));
  info->SetField("tags", ListOf(ListValue::Kind::SET, {Str("a\"b")}));
  info->SetField("note", OptionalValue::GetInstance());
  auto some = OptionalValue::GetInstance();
  some->value(DataValue::Create(false));
  info->SetField("flag", some);
  info->SetField("pw", SecretValue::GetInstance("hunter2"));
  info->SetField("raw", BlobValue::GetInstance(std::string("\x00\xff", 2)));
  info->SetField("ratio", DataValue::Create(0.5));
  info->SetField("nothing", VoidValue::GetInstance());
  info->SetField("missing", nullptr);
  EXPECT_EQ(ToText(info.get()),
            "com.example.info{count: 4, tags: set[\"a\\\"b\"], note: none, flag: some(false), "
            "pw: <secret>, raw: blob:00ff, ratio: 0.5, nothing: void, missing: null}");
  EXPECT_EQ(ToText(ListOf(ListValue::Kind::LIST, {Int(-1), Int(2)}).get()), "[-1, 2]");
  EXPECT_EQ(ToText(nullptr), "null");

  auto copy = DeepCopy(*info);
  EXPECT_EQ(*copy, *info);
  EXPECT_EQ(ToText(copy.get()), ToText(info.get()));
  const auto& copied = static_cast<const StructValue&>(*copy);
  EXPECT_NE(copied.FindField("tags")->get(), info->FindField("tags")->get());  // shares nothing
  EXPECT_NE(copied.FindField("count")->get(), info->FindField("count")->get());

  auto error = ErrorValue::Create("com.example.failed", {BaseMessage("m.id", "text", {"a"})});
  auto errorCopy = DeepCopy(*error);
  EXPECT_EQ(errorCopy->GetType(), DataType::ERROR);
  EXPECT_EQ(*errorCopy, *error);
  EXPECT_EQ(ToText(error.get()),
            "error com.example.failed{messages: [com.korvan.quil.std.localizable_message{id: "
            "\"m.id\", default_message: \"text\", args: [\"a\"]}]}");
}

TEST(ValueTest, ErrorValuesCarryTheirMessages) {
  MessageList messages = {BaseMessage("quil.one", "First {1}", {"x"}),
                          BaseMessage("quil.two", "Second", {}),
                          BaseMessage("quil.three", "{1} and {2}", {"a", "b"})};
  auto error = ErrorValue::Create("com.korvan.quil.std.errors.not_found", messages);
  EXPECT_EQ(error->GetName(), "com.korvan.quil.std.errors.not_found");
  EXPECT_EQ(error->GetMessages(), messages);
  EXPECT_EQ(error->FieldCount(), 1u);

  // The wire shape: a list of localizable message structures.
  const DataValuePtr* field = error->FindField("messages");
  ASSERT_NE(field, nullptr);
  ASSERT_EQ((*field)->GetType(), DataType::LIST);
  const auto& list = static_cast<const ListValue&>(**field);
  EXPECT_EQ(list.GetKind(), ListValue::Kind::LIST);
  ASSERT_EQ(list.Size(), 3u);
  const auto& first = static_cast<const StructValue&>(*list.At(0));
  EXPECT_EQ(first.GetName(), "com.korvan.quil.std.localizable_message");
  EXPECT_EQ(**first.FindField("id"), *Str("quil.one"));
  EXPECT_EQ(**first.FindField("default_message"), *Str("First {1}"));
  EXPECT_EQ(**first.FindField("args"), *ListOf(ListValue::Kind::LIST, {Str("x")}));

  auto empty = ErrorValue::GetInstance("com.example.e");
  EXPECT_TRUE(empty->GetMessages().empty());
  ASSERT_NE(empty->FindField("messages"), nullptr);
  EXPECT_EQ(**empty->FindField("messages"), *ListValue::GetInstance(ListValue::Kind::LIST));

  // Entries of another shape are skipped; the well-formed ones still come back.
  auto mixed = ErrorValue::GetInstance("com.example.e");
  auto good = StructValue::GetInstance("com.korvan.quil.std.localizable_message");
  good->SetField("args", ListValue::GetInstance(ListValue::Kind::LIST));
  good->SetField("default_message", Str("ok"));
  good->SetField("id", Str("quil.ok"));
  auto badArg = DeepCopy(*good);
  static_cast<StructValue&>(*badArg).SetField("args", ListOf(ListValue::Kind::LIST, {Int(1)}));
  auto noId = StructValue::GetInstance("com.korvan.quil.std.localizable_message");
  noId->SetField("default_message", Str("x"));
  noId->SetField("args", ListValue::GetInstance(ListValue::Kind::LIST));
  mixed->SetField("messages", ListOf(ListValue::Kind::LIST, {Int(3), noId, badArg, good, nullptr}));
  EXPECT_EQ(mixed->GetMessages(), MessageList({BaseMessage("quil.ok", "ok", {})}));
  mixed->SetField("messages", Str("not a list"));
  EXPECT_TRUE(mixed->GetMessages().empty());
}

TEST(ValueTest, DestroyingAParentKeepsSharedChildrenWhole) {
  // A child still held elsewhere must keep its own children when its parent goes.
  auto grandchild = ListOf(ListValue::Kind::LIST, {Int(1), Str("two")});
  auto shared = StructValue::GetInstance("com.example.shared");
  shared->SetField("items", grandchild);
  auto optional = OptionalValue::GetInstance();
  optional->value(shared);
  {
    auto parent = ListValue::GetInstance(ListValue::Kind::LIST);
    auto uniquelyOwned = StructValue::GetInstance("com.example.owner");
    uniquelyOwned->SetField("shared", optional);
    parent->Append(std::move(uniquelyOwned));
  }
  ASSERT_TRUE(optional->IsSet());
  EXPECT_EQ(optional->GetValue(), shared);
  EXPECT_EQ(*shared->FindField("items")->get(),
            *ListOf(ListValue::Kind::LIST, {Int(1), Str("two")}));
  EXPECT_EQ(grandchild->Size(), 2u);
}

}  // namespace
}  // namespace Quil::Data
