#include <quil/data/value.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/values.h"

namespace Quil::Data {
namespace {

using ::testing::ElementsAre;
using namespace ::TestSupport;

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

// Names are static text or copies the fields hold; fields outgrow the room made with the value.
TEST(ValueTest, FieldNamesOutliveTheirSourceAndSurviveAMove) {
  auto structure = StructValue::GetInstance(StaticText("com.example.roomy"), 2);
  *structure->FieldSlot(StaticText("static")) = Int(0);
  for (int i = 1; i < 5; ++i) {
    std::string name = "a copied field name past the small buffer " + std::to_string(i);
    *structure->FieldSlot(name) = Int(i);
    name.assign(name.size(), 'x');
  }
  EXPECT_EQ(ToText(structure.get()),
            "com.example.roomy{static: 0, a copied field name past the small buffer 1: 1, "
            "a copied field name past the small buffer 2: 2, a copied field name past the small "
            "buffer 3: 3, a copied field name past the small buffer 4: 4}");

  CompoundValue::Field copied(std::string_view("a name held by the field itself"), Int(1));
  CompoundValue::Field moved(std::move(copied));
  EXPECT_EQ(moved.name, "a name held by the field itself");
  CompoundValue::Field fixed(StaticText("static"), Int(2));
  EXPECT_EQ(CompoundValue::Field(std::move(fixed)).name, "static");
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

// A structure of the usual name.
std::shared_ptr<StructValue> S(Fields fields) { return Struct("com.example.s", fields); }

TEST(ValueTest, EqualityComparesStructure) {
  struct Case {
    DataValuePtr a, b;
    bool equal;
  };
  const std::vector<Case> cases = {
      {S({{"a", Int(1)}, {"b", Str("x")}}), S({{"b", Str("x")}, {"a", Int(1)}}), true},
      {S({{"a", Int(1)}}), Struct("com.example.t", {{"a", Int(1)}}), false},
      {S({{"a", Int(1)}}), S({{"a", Int(1)}, {"b", Int(1)}}), false},
      {S({{"a", Int(1)}}), S({{"b", Int(1)}}), false},
      {S({{"a", nullptr}}), S({{"a", Int(1)}}), false},
      {ErrorValue::GetInstance("e"), Struct("e", {{"messages", List({})}}), false},
      {List({Int(1), Int(2)}), List({Int(2), Int(1)}), false},
      {List({Int(1)}), List({Int(1)}, ListValue::Kind::SET), false},
      {List({Int(1)}), List({Int(1), Int(1)}), false},
      {None(), Some(nullptr), false},
      {Some(Int(1)), Some(Int(1)), true},
      {Some(Int(1)), Some(Int(2)), false},
      {StringValue::GetInstance("x"), SecretValue::GetInstance("x"), false},
      {IntegerValue::GetInstance(1), DoubleValue::GetInstance(1.0), false},
      {DoubleValue::GetInstance(std::nan("")), DoubleValue::GetInstance(std::nan("")), true},
      {Int(1), nullptr, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Equals(c.a.get(), c.b.get()), c.equal)
        << ToText(c.a.get()) << " " << ToText(c.b.get());
    EXPECT_EQ(Equals(c.b.get(), c.a.get()), c.equal)
        << ToText(c.a.get()) << " " << ToText(c.b.get());
  }
}

TEST(ValueTest, TextFormAndDeepCopyOfEveryKind) {
  const std::vector<std::pair<DataValuePtr, std::string>> cases = {
      {nullptr, "null"},
      {VoidValue::GetInstance(), "void"},
      {Int(-5), "-5"},
      {DataValue::Create(2.5), "2.5"},
      {DataValue::Create(false), "false"},
      {Str("q\"\\\n\t\r\x01\x7f"), R"("q\"\\\n\t\r\x01\x7f")"},
      {BlobValue::GetInstance(std::string("\x00\xff", 2)), "blob:00ff"},
      {SecretValue::GetInstance("pw"), "<secret>"},
      {None(), "none"},
      {Some(Some(nullptr)), "some(some(null))"},
      {List({Str("a"), Int(1)}, ListValue::Kind::SET), R"(set["a", 1])"},
      {List({}), "[]"},
      {S({{"n", Int(4)}, {"tags", List({nullptr})}, {"e", S({})}}),
       "com.example.s{n: 4, tags: [null], e: com.example.s{}}"},
      {ErrorValue::Create("x.failed", {BaseMessage("m", "t", {"a"})}),
       R"(error x.failed{messages: [com.korvan.quil.std.localizable_message{id: "m", )"
       R"(default_message: "t", args: ["a"]}]})"},
  };
  for (const auto& [value, text] : cases) {
    EXPECT_EQ(ToText(value.get()), text);
    if (value == nullptr) continue;
    std::shared_ptr<const DataValue> copy = DeepCopy(*value);
    EXPECT_NE(copy, value);
    EXPECT_EQ(ToText(copy.get()), text);
    EXPECT_TRUE(Equals(copy.get(), value.get())) << text;
  }
}

// Creating and reading back well-formed messages is the standard errors' test.
TEST(ValueTest, ErrorMessagesOfAnotherShapeAreSkipped) {
  auto error = ErrorValue::Create("com.example.failed", {BaseMessage("m.id", "text", {})});
  error->SetField("messages", Str("not a list"));
  EXPECT_TRUE(error->GetMessages().empty());
}

}  // namespace
}  // namespace Quil::Data
