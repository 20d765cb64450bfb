#include <quil/data/value_to_native.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional/optional_io.hpp>

#include <quil/message.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;
using Hand::Kind;

// The value with one field replaced (or added).
std::shared_ptr<StructValue> With(const std::shared_ptr<StructValue>& value, std::string_view name,
                                  DataValuePtr field) {
  auto copy = std::static_pointer_cast<StructValue>(DeepCopy(*value));
  copy->SetField(name, std::move(field));
  return copy;
}

std::shared_ptr<StructValue> LeafValue(std::string id, std::string kind, std::int64_t size) {
  return Struct("any.leaf",
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
                 {"maybe_texts", Some(List({Str("b"), Str("a")}, ListValue::Kind::SET))},
                 {"maybe_kinds", Some(List({Str("GAMMA"), Str("omega"), Str("ALPHA")}))},
                 {"leaf", LeafValue("disk", "GAMMA", 4096)},
                 {"leaves", List({LeafValue("z", "ALPHA", 1), LeafValue("a", "nope", 2)})},
                 {"texts", List({Str("y"), Str("x"), Str("y")})},
                 {"kinds", List({Str("GAMMA"), Str("_UNKNOWN"), Str("gamma")})},
                 {"choice", Struct("c", {{"tag", Str("ALPHA")}, {"path", Some(Str("/p"))}})}});
}

template <typename T>
bool FromValue(const DataValuePtr& value, T& native, MessageList& messages) {
  return ValueToNativeAdapter::Adapt(value, native, messages);
}

// Runs a conversion that must fail and returns its one message.
template <typename T = Hand::Everything>
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

void ExpectLeaf(const std::shared_ptr<const Hand::Leaf>& leaf, const std::string& id,
                const Kind& kind, std::int64_t size) {
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->id, id);
  EXPECT_EQ(leaf->kind, kind);
  EXPECT_EQ(leaf->size, size);
}

TEST(ValueToNativeTest, DecodesEveryKindOfMember) {
  Hand::Everything native;
  MessageList messages;
  ASSERT_TRUE(FromValue(EverythingValue(), native, messages));
  EXPECT_EQ(native.number, -3);
  EXPECT_EQ(native.kind, Kind(Kind::BETA));
  EXPECT_EQ(native.maybeNumber, boost::optional<std::int64_t>(8));
  EXPECT_FALSE(native.maybeFlag);
  EXPECT_EQ(native.maybeText, boost::optional<std::string>(""));
  EXPECT_TRUE(native.maybeTexts == boost::optional<std::set<std::string>>({"a", "b"}));
  EXPECT_TRUE(native.maybeKinds ==
              boost::optional<std::set<Kind>>({Kind::ALPHA, Kind::GAMMA, Kind::FromText("omega")}));
  ExpectLeaf(native.leaf, "disk", Kind::GAMMA, 4096);
  ASSERT_EQ(native.leaves.size(), 2u);
  ExpectLeaf(native.leaves[0], "z", Kind::ALPHA, 1);
  ExpectLeaf(native.leaves[1], "a", Kind::FromText("nope"), 2);
  EXPECT_EQ(native.leaves[1]->kind.unknownText(), "nope");
  EXPECT_EQ(native.texts, (std::set<std::string>{"x", "y"}));  // the repeated element once
  // "_UNKNOWN" itself keeps no text; a known text in another case is kept.
  EXPECT_EQ(native.kinds, (std::set<Kind>{Kind::GAMMA, Kind(), Kind::FromText("gamma")}));
  EXPECT_EQ(native.kinds.size(), 3u);
  // A union decodes whatever its tag says; its case rules are the validator's.
  EXPECT_EQ(native.choice->tag, Kind(Kind::ALPHA));
  EXPECT_FALSE(native.choice->name);
  EXPECT_EQ(native.choice->path, boost::optional<std::string>("/p"));
  EXPECT_EQ(native.unknownFields, nullptr);
  EXPECT_EQ(native.leaf->unknownFields, nullptr);

  // Top-level values of other shapes.
  std::vector<std::shared_ptr<const Hand::Leaf>> leaves;
  ASSERT_TRUE(
      FromValue(List({LeafValue("1", "BETA", 1), LeafValue("2", "", 2)}), leaves, messages));
  ASSERT_EQ(leaves.size(), 2u);
  ExpectLeaf(leaves[1], "2", Kind(), 2);
  Void nothing;
  ASSERT_TRUE(FromValue(VoidValue::GetInstance(), nothing, messages));
  ASSERT_TRUE(FromValue(Str(""), nothing, messages));
  EXPECT_TRUE(messages.empty());
}

TEST(ValueToNativeTest, StringsStandForOtherKinds) {
  Hand::Everything native;
  MessageList messages;
  auto value = EverythingValue();
  value = With(value, "number", Str("42"));
  value = With(value, "flag", Str("false"));
  value = With(value, "maybe_number", Str(""));     // empty string: unset
  value = With(value, "maybe_flag", Bool(true));    // a bare value: set
  value = With(value, "maybe_text", Str("bare"));   // a bare string: set
  value = With(value, "maybe_texts", Str("only"));  // one-element set
  value = With(value, "maybe_kinds", Str("BETA"));
  value = With(value, "leaf", Str(""));    // a structure of defaults
  value = With(value, "leaves", Str(""));  // an empty list
  value = With(value, "texts", Str("one"));
  value = With(value, "kinds", Str(""));
  ASSERT_TRUE(FromValue(value, native, messages));
  EXPECT_EQ(native.number, 42);
  EXPECT_FALSE(native.flag);
  EXPECT_FALSE(native.maybeNumber);
  EXPECT_EQ(native.maybeFlag, boost::optional<bool>(true));
  EXPECT_EQ(native.maybeText, boost::optional<std::string>("bare"));
  EXPECT_TRUE(native.maybeTexts == boost::optional<std::set<std::string>>({"only"}));
  EXPECT_TRUE(native.maybeKinds == boost::optional<std::set<Kind>>({Kind::BETA}));
  ExpectLeaf(native.leaf, "", Kind(), 0);
  EXPECT_TRUE(native.leaves.empty() && native.kinds.empty());
  EXPECT_EQ(native.texts, (std::set<std::string>{"one"}));
  Hand::Everything withNone;
  ASSERT_TRUE(FromValue(With(EverythingValue(), "maybe_text", None()), withNone, messages));
  EXPECT_FALSE(withNone.maybeText);

  // A whole structure from an empty string: defaults, nested required structures included.
  Hand::Everything blank;
  ASSERT_TRUE(FromValue(Str(""), blank, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(blank.number == 0 && blank.text.empty() && blank.kind == Kind());
  EXPECT_FALSE(blank.maybeNumber || blank.maybeText || blank.maybeTexts || blank.maybeKinds);
  ExpectLeaf(blank.leaf, "", Kind(), 0);
  ASSERT_NE(blank.choice, nullptr);
  EXPECT_FALSE(blank.choice->name || blank.choice->path);
  EXPECT_TRUE(blank.leaves.empty() && blank.texts.empty() && blank.kinds.empty());

  // Optional structure parameters: absent, empty string and none leave it unset; a wrapped or
  // bare structure sets it; a non-empty string stands for a structure and fails as one.
  const auto input =
      Struct("in", {{"vm", Str("vm-7")}, {"choice", Struct("c", {{"tag", Str("")}})}});
  const std::pair<DataValuePtr, bool> filters[] = {{nullptr, false},
                                                   {Str(""), false},
                                                   {None(), false},
                                                   {Some(LeafValue("f", "", 1)), true},
                                                   {LeafValue("f", "", 1), true}};
  for (const auto& [filter, set] : filters) {
    SCOPED_TRACE(ToText(filter.get()));
    Hand::DoMethod::Input decoded;
    ASSERT_TRUE(FromValue(filter ? With(input, "filter", filter) : input, decoded, messages));
    EXPECT_EQ(decoded.filter != nullptr, set);
  }
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(OnlyFailure<Hand::DoMethod::Input>(With(input, "filter", Str("x"))), BadCast("x"));
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
      {nullptr, List({}), invalidType},
      {nullptr, Str("not a structure"), BadCast("not a structure")},
      {"leaf", Some(LeafValue("a", "", 1)), invalidType},
      {"choice", Str("zz"), BadCast("zz")},
      {"leaves", Int(3), invalidType},
      {"leaves", List({LeafValue("a", "", 1), Str("x")}), BadCast("x")},
      {"leaves", Str("lone"), BadCast("lone")},
      {"texts", Struct("s", {}), invalidType},
      {"maybe_texts", Some(Int(1)), invalidType},
      {"texts", List({Str("a"), Int(2)}), FrameworkMessage<std::string>(Int(2))},
      {"kinds", List({Bool(true)}), FrameworkMessage<std::string>(Bool(true))},
      // Primitives and enumerations: the framework's messages, unchanged.
      {"number", Str("4x2"), FrameworkMessage<std::int64_t>(Str("4x2"))},
      {"flag", Int(1), FrameworkMessage<bool>(Int(1))},
      {"text", Bool(false), FrameworkMessage<std::string>(Bool(false))},
      {"kind", Int(0), FrameworkMessage<std::string>(Int(0))},
      {"maybe_number", Some(Str("ten")), FrameworkMessage<std::int64_t>(Str("ten"))},
      {"maybe_flag", Str("yes"), FrameworkMessage<bool>(Str("yes"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field ? c.field : "<whole>") + " = " + ToText(c.value.get()));
    EXPECT_EQ(OnlyFailure(c.field ? With(everything, c.field, c.value) : c.value), c.expected);
  }
  EXPECT_EQ(BadCast("x").args, Texts{"x"});

  // Two broken fields: queued in declaration order and taken from the back, so the later one
  // is converted, fails and drops the other.
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

  // Messages already in the list are kept; only growth counts.
  Hand::Leaf leaf;
  MessageList messages{invalidType};
  EXPECT_TRUE(FromValue(LeafValue("a", "ALPHA", 1), leaf, messages));
  EXPECT_FALSE(FromValue(Str("x"), leaf, messages));
  EXPECT_EQ(messages.size(), 2u);
}

TEST(ValueToNativeTest, KeepsUndeclaredFieldsInNameOrder) {
  const DataValuePtr shared = List({Int(1)});
  // Undeclared: the empty name, a proper prefix of a declared name, extensions and other cases.
  auto value = Struct("any.name", {{"zz", Str("last")},
                                   {"count", Int(2)},
                                   {"countx", shared},
                                   {"hot_add_enabled", Bool(true)},
                                   {"coun", Bool(true)},
                                   {"", Int(0)},
                                   {"cores_per_socket", Int(1)},
                                   {"hot_remove_enabled", Bool(false)},
                                   {"Count", None()}});
  Cpus::Info info;
  MessageList messages;
  ASSERT_TRUE(FromValue(value, info, messages));
  EXPECT_EQ(info.count, 2);
  ASSERT_NE(info.unknownFields, nullptr);
  EXPECT_EQ(info.unknownFields->GetName(), "unknownFields");
  EXPECT_EQ(FieldNames(info.unknownFields), (Texts{"", "Count", "coun", "countx", "zz"}));
  EXPECT_EQ(info.unknownFields->FindField("countx")->get(), shared.get());  // shared, not copied

  // An existing store is added to, not replaced.
  Hand::Leaf kept;
  auto store = Struct("unknownFields", {{"earlier", Int(5)}});
  kept.unknownFields = store;
  ASSERT_TRUE(FromValue(With(LeafValue("a", "", 1), "later", Int(6)), kept, messages));
  EXPECT_EQ(kept.unknownFields, store);
  EXPECT_EQ(FieldNames(store), (Texts{"earlier", "later"}));

  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace Quil::Data
