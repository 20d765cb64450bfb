#include <quil/data/value_to_native.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>

#include <quil/message.h>

#include "binding/test_support.h"
#include "binding/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;
using Kinds::Kind;
constexpr auto kSet = ListValue::Kind::SET;

// The value with one field replaced (or added).
std::shared_ptr<StructValue> With(const std::shared_ptr<StructValue>& value, std::string_view name,
                                  DataValuePtr field) {
  auto copy = std::static_pointer_cast<StructValue>(DeepCopy(*value));
  copy->SetField(name, std::move(field));
  return copy;
}

std::shared_ptr<StructValue> LeafValue(std::string id, std::string kind, std::int64_t size,
                                       std::string name = "any.leaf") {
  return Struct(std::move(name),
                {{"id", Str(std::move(id))}, {"kind", Str(std::move(kind))}, {"size", Int(size)}});
}

// A complete Everything value whose structure names differ from the native wire names.
std::shared_ptr<StructValue> EverythingValue() {
  return Struct("some.other.name",
                {{"number", Int(-3)},
                 {"flag", Bool(true)},
                 {"text", Str("hello")},
                 {"kind", Str("BETA")},
                 {"maybe_number", Some(Int(8))},
                 {"maybe_flag", None()},
                 {"maybe_text", Some(Str(""))},
                 {"maybe_texts", Some(List({Str("b"), Str("a")}, kSet))},
                 {"maybe_kinds", Some(List({Str("GAMMA")}))},
                 {"leaf", LeafValue("disk", "GAMMA", 4096)},
                 {"leaves", List({LeafValue("z", "ALPHA", 1)})},
                 {"texts", List({Str("y")})},
                 {"kinds", List({})},
                 {"choice", Struct("c", {{"tag", Str("ALPHA")}, {"path", Some(Str("/p"))}})}});
}

template <typename T>
bool FromValue(const DataValuePtr& value, T& native, MessageList& messages) {
  return ValueToNativeAdapter::Adapt(value, native, messages);
}

// Runs a conversion that must fail and returns its one message.
template <typename T = Kinds::Everything>
BaseMessage OnlyFailure(const DataValuePtr& value) {
  T native;
  MessageList messages;
  EXPECT_FALSE(FromValue(value, native, messages));
  EXPECT_EQ(messages.size(), 1u);
  return messages.empty() ? BaseMessage("none", "", {}) : messages.front();
}

// The message the framework appends for the same conversion of a primitive.
template <typename T>
BaseMessage FrameworkMessage(const DataValuePtr& value) {
  T out{};
  MessageList messages;
  if (value->GetType() == DataType::STRING) {
    DataValue::ToPrimitive(value, out, messages);
  } else {
    DataValue::Value(value, out, messages);
  }
  EXPECT_EQ(messages.size(), 1u);
  return messages.empty() ? BaseMessage("none", "", {}) : messages.front();
}

BaseMessage BadCast(std::string text) { return Message<CoreTag>("quil.data.bad.cast1", text); }

TEST(ValueToNativeTest, EnumerationTextsAndStringsStandingForOtherKinds) {
  std::set<Kind> kinds;  // "_UNKNOWN" keeps no text; a known text in another case is kept
  MessageList messages;
  ASSERT_TRUE(FromValue(List({Str("GAMMA"), Str("_UNKNOWN"), Str("gamma")}), kinds, messages));
  EXPECT_EQ(kinds, (std::set<Kind>{Kind::GAMMA, Kind(), Kind::FromText("gamma")}));

  const std::string leafName = "com.korvan.tavo.test.native_kinds.leaf";
  struct Case {
    const char* field;
    DataValuePtr given;
    DataValuePtr encodedBack;  // what the decoded member converts back to
  };
  const Case cases[] = {
      {"number", Str("42"), Int(42)},
      {"flag", Str("false"), Bool(false)},
      {"maybe_number", Str(""), None()},             // empty string: unset
      {"maybe_flag", Bool(true), Some(Bool(true))},  // a bare value: set
      {"maybe_text", Str("bare"), Some(Str("bare"))},
      {"maybe_texts", Str("only"), Some(List({Str("only")}, kSet))},
      {"maybe_kinds", Str("BETA"), Some(List({Str("BETA")}, kSet))},
      {"leaf", Str(""), LeafValue("", "_UNKNOWN", 0, leafName)},  // a structure of defaults
      {"leaves", Str(""), List({})},
      {"texts", Str("one"), List({Str("one")}, kSet)},
      {"kinds", Str(""), List({}, kSet)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " = " + ToText(c.given.get()));
    Kinds::Everything native;
    DataValuePtr back;
    ASSERT_TRUE(FromValue(With(EverythingValue(), c.field, c.given), native, messages));
    ASSERT_TRUE(ToValue(native, back, messages));
    EXPECT_TRUE(Equals(FieldOf(back, c.field).get(), c.encodedBack.get()))
        << ToText(FieldOf(back, c.field).get());
  }
  Kinds::Everything blank;  // nested required structures get defaults too
  ASSERT_TRUE(FromValue(Str(""), blank, messages));
  EXPECT_TRUE(blank.leaf != nullptr && blank.choice != nullptr);

  // An optional structure parameter: an empty string leaves it unset, a bare structure sets it.
  const auto input = Struct("in", {{"vm", Str("")}, {"choice", Struct("c", {{"tag", Str("")}})}});
  Kinds::DoMethod::Input decoded;
  ASSERT_TRUE(FromValue(With(input, "filter", Str("")), decoded, messages));
  EXPECT_FALSE(decoded.filter);
  ASSERT_TRUE(FromValue(With(input, "filter", LeafValue("f", "", 1)), decoded, messages));
  EXPECT_TRUE(decoded.filter);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(OnlyFailure<Kinds::DoMethod::Input>(With(input, "filter", Str("x"))), BadCast("x"));
}

TEST(ValueToNativeTest, FirstFailureIsTheOnlyOneReported) {
  const auto everything = EverythingValue();
  const BaseMessage invalidType = Message<CoreTag>("quil.data.invalid.type");
  struct Case {
    const char* field;  // null: the whole value
    DataValuePtr value;
    BaseMessage expected;
  };
  const Case cases[] = {
      {nullptr, Int(1), invalidType},
      {nullptr, DataValuePtr(), invalidType},
      {nullptr, Str("not a structure"), BadCast("not a structure")},
      {"leaf", Some(LeafValue("a", "", 1)), invalidType},
      {"choice", Str("zz"), BadCast("zz")},
      {"leaves", List({LeafValue("a", "", 1), Str("x")}), BadCast("x")},
      {"texts", Struct("s", {}), invalidType},
      {"texts", List({Str("a"), Int(2)}), FrameworkMessage<std::string>(Int(2))},
      // Primitives and enumerations: the framework's messages, unchanged.
      {"number", Str("4x2"), FrameworkMessage<std::int64_t>(Str("4x2"))},
      {"flag", Int(1), FrameworkMessage<bool>(Int(1))},
      {"kind", Int(0), FrameworkMessage<std::string>(Int(0))},
      {"maybe_flag", Str("yes"), FrameworkMessage<bool>(Str("yes"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field ? c.field : "<whole>") + " = " + ToText(c.value.get()));
    EXPECT_EQ(OnlyFailure(c.field ? With(everything, c.field, c.value) : c.value), c.expected);
  }

  // Two broken fields: the later declared is converted first, fails and drops the other.
  EXPECT_EQ(OnlyFailure(With(With(everything, "number", Str("x")), "flag", Str("y"))),
            FrameworkMessage<bool>(Str("y")));

  // Two missing required fields: the first declared is reported, with the framework's message.
  auto missing = Struct("nameless", {{"flag", Bool(true)}});
  MessageList expected;
  DataValuePtr ignored;
  missing->GetField("number", ignored, expected);
  ASSERT_EQ(expected.size(), 1u);
  EXPECT_EQ(expected.front().args, (Texts{"number", "nameless"}));
  EXPECT_EQ(OnlyFailure(missing), expected.front());
}

TEST(ValueToNativeTest, KeepsUndeclaredFieldsInNameOrder) {
  const DataValuePtr shared = List({Int(1)});
  // Undeclared: the empty name, a proper prefix of a declared name, extensions and other cases.
  auto value = Struct("any.name", {{"zz", Str("last")},
                                   {"count", Int(2)},
                                   {"countx", shared},
                                   {"coun", Bool(true)},
                                   {"", Int(0)},
                                   {"cores_per_socket", Int(1)},
                                   {"hot_add_enabled", Bool(true)},
                                   {"hot_remove_enabled", Bool(false)},
                                   {"Count", None()}});
  Cpus::Info info;
  MessageList messages;
  ASSERT_TRUE(FromValue(value, info, messages));
  ASSERT_NE(info.unknownFields, nullptr);
  EXPECT_EQ(FieldNames(info.unknownFields), (Texts{"", "Count", "coun", "countx", "zz"}));
  EXPECT_EQ(info.unknownFields->FindField("countx")->get(), shared.get());  // shared, not copied

  // An existing store is added to, not replaced.
  Kinds::Leaf kept;
  auto store = Struct("unknownFields", {{"earlier", Int(5)}});
  kept.unknownFields = store;
  ASSERT_TRUE(FromValue(With(LeafValue("a", "", 1), "later", Int(6)), kept, messages));
  EXPECT_EQ(kept.unknownFields, store);
  EXPECT_EQ(FieldNames(store), (Texts{"earlier", "later"}));
  EXPECT_TRUE(messages.empty());

  // A failed field does not stop the collection.
  Kinds::Leaf failed;
  EXPECT_FALSE(FromValue(Struct("l", {{"id", Str("a")}, {"zz", Int(7)}}), failed, messages));
  ASSERT_NE(failed.unknownFields, nullptr);
  EXPECT_EQ(FieldNames(failed.unknownFields), Texts{"zz"});
}

}  // namespace
}  // namespace Quil::Data
