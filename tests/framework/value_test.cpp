#include <quil/data/value.h>

#include <cmath>
#include <cstdint>
#include <functional>
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

TEST(ValueTest, SlotsStayValidWhileValuesGrow) {
  auto structure = StructValue::GetInstance("com.example.wide");
  DataValuePtr* first = structure->FieldSlot("f0");
  for (int i = 1; i < 1000; ++i) *structure->FieldSlot("f" + std::to_string(i)) = Int(i);
  *first = Int(-1);
  EXPECT_EQ(structure->FieldSlot("f0"), first);  // an existing field's slot, not a new one
  EXPECT_EQ(structure->FieldCount(), 1000u);
  EXPECT_EQ(**structure->FindField("f0"), *Int(-1));
  EXPECT_EQ(structure->FindField("f1000"), nullptr);

  auto list = ListValue::GetInstance(ListValue::Kind::LIST);
  list->Reserve(2);
  std::vector<DataValuePtr*> slots;
  for (int i = 0; i < 1000; ++i) slots.push_back(list->AppendSlot());
  for (int i = 0; i < 1000; ++i) *slots[i] = Int(i);
  int expected = 0;
  for (const DataValuePtr& element : *list) EXPECT_EQ(*element, *Int(expected++));
  EXPECT_EQ(expected, 1000);

  MessageList messages;
  DataValuePtr found = Int(5);
  EXPECT_FALSE(structure->GetField("absent", found, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].id, "quil.data.field.missing");
  EXPECT_THAT(messages[0].args, ElementsAre("absent", "com.example.wide"));
}

TEST(ValueTest, ValueAndToPrimitiveSucceedOrReportOneMessage) {
  using Extract = std::function<bool(const DataValuePtr&, MessageList&)>;
  std::int64_t integer = 0;
  bool flag = false;
  const Extract toInteger = [&](auto& v, auto& m) { return DataValue::ToPrimitive(v, integer, m); };
  const Extract valueInteger = [&](auto& v, auto& m) { return DataValue::Value(v, integer, m); };
  const Extract toBoolean = [&](auto& v, auto& m) { return DataValue::ToPrimitive(v, flag, m); };
  const std::string parse = "quil.data.primitive.parse", wrong = "quil.data.value.wrong.type",
                    missing = "quil.data.value.missing";
  struct Case {
    Extract extract;
    DataValuePtr value;
    std::vector<std::string> failure;  // id then args; empty when the extraction succeeds
  };
  const std::vector<Case> cases = {
      {toInteger, Str("42"), {}},
      {toInteger, Str("-9223372036854775808"), {}},
      {toInteger, Str("4x"), {parse, "4x", "integer"}},
      {toInteger, Str(""), {parse, "", "integer"}},
      {toInteger, Str("9223372036854775808"), {parse, "9223372036854775808", "integer"}},
      {toInteger, Int(8), {}},
      {toInteger, DataValue::Create(true), {wrong, "integer", "boolean"}},
      {toInteger, nullptr, {missing, "integer"}},
      {valueInteger, Str("42"), {wrong, "integer", "string"}},  // Value does not parse
      {valueInteger, Int(-12), {}},
      {toBoolean, Str("true"), {}},
      {toBoolean, Str("True"), {parse, "True", "boolean"}},
      {toBoolean, Str("1"), {parse, "1", "boolean"}},
      {toBoolean, StructValue::GetInstance("s"), {wrong, "boolean", "structure"}},
  };
  for (const Case& c : cases) {
    const std::string label = ToText(c.value.get());
    integer = 99;
    flag = false;
    MessageList messages;
    EXPECT_EQ(c.extract(c.value, messages), c.failure.empty()) << label;
    if (c.failure.empty()) {
      EXPECT_TRUE(messages.empty()) << label;
      continue;
    }
    EXPECT_EQ(integer, 99) << label;  // untouched by failures
    ASSERT_EQ(messages.size(), 1u) << label;
    std::vector<std::string> got{messages[0].id};
    got.insert(got.end(), messages[0].args.begin(), messages[0].args.end());
    EXPECT_EQ(got, c.failure) << label;
  }
  MessageList messages;
  EXPECT_TRUE(DataValue::ToPrimitive(Str("-9223372036854775808"), integer, messages));
  EXPECT_EQ(integer, std::numeric_limits<std::int64_t>::min());
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
  EXPECT_NE(*make({{"a", Int(1)}}), *make({{"a", Int(1)}, {"b", Int(1)}}));
  EXPECT_NE(*make({{"a", nullptr}}), *make({{"a", Int(1)}}));
  EXPECT_NE(*ErrorValue::GetInstance("e"),
            *make({{"messages", ListValue::GetInstance(ListValue::Kind::LIST)}}, "e"));

  using Kind = ListValue::Kind;
  EXPECT_NE(*ListOf(Kind::LIST, {Int(1), Int(2)}), *ListOf(Kind::LIST, {Int(2), Int(1)}));
  EXPECT_NE(*ListOf(Kind::LIST, {Int(1)}), *ListOf(Kind::SET, {Int(1)}));
  EXPECT_NE(*OptionalValue::GetInstance(), *Holding(nullptr));
  EXPECT_EQ(*Holding(Int(1)), *Holding(Int(1)));
  EXPECT_NE(*StringValue::GetInstance("x"), *SecretValue::GetInstance("x"));
  EXPECT_NE(*IntegerValue::GetInstance(1), *DoubleValue::GetInstance(1.0));
  EXPECT_EQ(*DoubleValue::GetInstance(std::nan("")), *DoubleValue::GetInstance(std::nan("")));
  EXPECT_FALSE(Equals(Int(1).get(), nullptr));
}

TEST(ValueTest, ErrorValuesCarryTheirMessages) {
  const MessageList messages = {BaseMessage("m.id", "text {1}", {"a"}),
                                BaseMessage("quil.three", "{1} and {2}", {"b", "c"})};
  auto error = ErrorValue::Create("com.example.failed", messages);
  EXPECT_EQ(error->GetName(), "com.example.failed");
  EXPECT_EQ(error->GetMessages(), messages);
  EXPECT_EQ(static_cast<const ErrorValue&>(*DeepCopy(*error)).GetMessages(), messages);
  error->SetField("messages", Str("not a list"));
  EXPECT_TRUE(error->GetMessages().empty());
}

}  // namespace
}  // namespace Quil::Data
