#include <quil/data/value_to_native.h>

#include <cstdint>
#include <initializer_list>
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
  if (value && value->GetType() == DataType::STRING) {
    DataValue::ToPrimitive(value, out, messages);
  } else {
    DataValue::Value(value, out, messages);
  }
  EXPECT_EQ(messages.size(), 1u);
  return messages.empty() ? BaseMessage("none", "", {}) : messages.front();
}

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
  EXPECT_TRUE(messages.empty());

  EXPECT_EQ(native.number, -3);
  EXPECT_TRUE(native.flag);
  EXPECT_EQ(native.text, "hello");
  EXPECT_EQ(native.kind, Kind(Kind::BETA));
  EXPECT_EQ(native.maybeNumber, boost::optional<std::int64_t>(8));
  EXPECT_FALSE(native.maybeFlag);
  EXPECT_EQ(native.maybeText, boost::optional<std::string>(""));
  ASSERT_TRUE(native.maybeTexts);
  EXPECT_EQ(*native.maybeTexts, (std::set<std::string>{"a", "b"}));
  ASSERT_TRUE(native.maybeKinds);
  EXPECT_EQ(*native.maybeKinds,
            (std::set<Kind>{Kind::ALPHA, Kind::GAMMA, Kind::FromText("omega")}));
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
  ASSERT_NE(native.choice, nullptr);
  EXPECT_EQ(native.choice->tag, Kind(Kind::ALPHA));
  EXPECT_FALSE(native.choice->name);
  EXPECT_EQ(native.choice->path, boost::optional<std::string>("/p"));
  // Exactly the declared fields: no store.
  EXPECT_EQ(native.unknownFields, nullptr);
  EXPECT_EQ(native.leaf->unknownFields, nullptr);
  EXPECT_EQ(native.choice->unknownFields, nullptr);

  // Top-level values of other shapes.
  std::vector<std::shared_ptr<const Hand::Leaf>> leaves;
  ASSERT_TRUE(
      FromValue(List({LeafValue("1", "BETA", 1), LeafValue("2", "", 2)}), leaves, messages));
  ASSERT_EQ(leaves.size(), 2u);
  ExpectLeaf(leaves[0], "1", Kind::BETA, 1);
  ExpectLeaf(leaves[1], "2", Kind(), 2);
  std::shared_ptr<const Hand::Leaf> leaf;
  ASSERT_TRUE(FromValue(LeafValue("p", "ALPHA", 3), leaf, messages));
  ExpectLeaf(leaf, "p", Kind::ALPHA, 3);
  Kind kind;
  ASSERT_TRUE(FromValue(Str("GAMMA"), kind, messages));
  EXPECT_EQ(kind, Kind(Kind::GAMMA));
  Void nothing;
  ASSERT_TRUE(FromValue(VoidValue::GetInstance(), nothing, messages));
  ASSERT_TRUE(FromValue(Str(""), nothing, messages));
  std::string text;
  ASSERT_TRUE(FromValue(Str("t"), text, messages));
  EXPECT_EQ(text, "t");
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
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(native.number, 42);
  EXPECT_FALSE(native.flag);
  EXPECT_FALSE(native.maybeNumber);
  EXPECT_EQ(native.maybeFlag, boost::optional<bool>(true));
  EXPECT_EQ(native.maybeText, boost::optional<std::string>("bare"));
  ASSERT_TRUE(native.maybeTexts && native.maybeKinds);
  EXPECT_EQ(*native.maybeTexts, (std::set<std::string>{"only"}));
  EXPECT_EQ(*native.maybeKinds, (std::set<Kind>{Kind::BETA}));
  ExpectLeaf(native.leaf, "", Kind(), 0);
  EXPECT_TRUE(native.leaves.empty());
  EXPECT_EQ(native.texts, (std::set<std::string>{"one"}));
  EXPECT_TRUE(native.kinds.empty());

  // A whole structure from an empty string: members keep their defaults, nested required
  // structures become default structures decoded the same way.
  Hand::Everything blank;
  ASSERT_TRUE(FromValue(Str(""), blank, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(blank.number, 0);
  EXPECT_FALSE(blank.flag);
  EXPECT_EQ(blank.text, "");
  EXPECT_EQ(blank.kind, Kind());
  EXPECT_EQ(blank.kind.unknownText(), "");
  EXPECT_FALSE(blank.maybeNumber || blank.maybeFlag || blank.maybeText || blank.maybeTexts ||
               blank.maybeKinds);
  ExpectLeaf(blank.leaf, "", Kind(), 0);
  ASSERT_NE(blank.choice, nullptr);
  EXPECT_EQ(blank.choice->tag, Kind());
  EXPECT_FALSE(blank.choice->name || blank.choice->path);
  EXPECT_TRUE(blank.leaves.empty() && blank.texts.empty() && blank.kinds.empty());
  EXPECT_EQ(blank.unknownFields, nullptr);

  // Optional structure parameters: absent, empty string and none leave it unset; a wrapped or
  // bare structure sets it; a non-empty string stands for a structure and fails as one.
  const auto input =
      Struct("in", {{"vm", Str("vm-7")}, {"choice", Struct("c", {{"tag", Str("")}})}});
  for (const DataValuePtr& filter : {DataValuePtr(), Str(""), None()}) {
    Hand::DoMethod::Input decoded;
    ASSERT_TRUE(FromValue(filter ? With(input, "filter", filter) : input, decoded, messages));
    EXPECT_EQ(decoded.vm, "vm-7");
    EXPECT_EQ(decoded.filter, nullptr);
  }
  for (const DataValuePtr& filter :
       {Some(LeafValue("f", "ALPHA", 1)), DataValuePtr(LeafValue("f", "ALPHA", 1))}) {
    Hand::DoMethod::Input decoded;
    ASSERT_TRUE(FromValue(With(input, "filter", filter), decoded, messages));
    ExpectLeaf(decoded.filter, "f", Kind::ALPHA, 1);
  }
  EXPECT_TRUE(messages.empty());
  const BaseMessage badFilter = OnlyFailure<Hand::DoMethod::Input>(With(input, "filter", Str("x")));
  EXPECT_EQ(badFilter, Message<CoreTag>("quil.data.bad.cast1", std::string("x")));
}

TEST(ValueToNativeTest, FirstFailureIsTheOnlyOneReported) {
  const auto everything = EverythingValue();
  const BaseMessage invalidType = Message<CoreTag>("quil.data.invalid.type");
  EXPECT_EQ(invalidType.args, Texts{});

  // Structures.
  EXPECT_EQ(OnlyFailure(Int(1)), invalidType);
  EXPECT_EQ(OnlyFailure(DataValuePtr()), invalidType);
  EXPECT_EQ(OnlyFailure(List({})), invalidType);
  const BaseMessage badCast = OnlyFailure(Str("not a structure"));
  EXPECT_EQ(badCast.id, "quil.data.bad.cast1");
  EXPECT_EQ(badCast.args, Texts{"not a structure"});
  EXPECT_EQ(badCast, Message<CoreTag>("quil.data.bad.cast1", std::string("not a structure")));
  EXPECT_EQ(OnlyFailure(With(everything, "leaf", Some(LeafValue("a", "", 1)))), invalidType);
  EXPECT_EQ(OnlyFailure(With(everything, "choice", Str("zz"))),
            Message<CoreTag>("quil.data.bad.cast1", std::string("zz")));

  // Lists and sets.
  EXPECT_EQ(OnlyFailure(With(everything, "leaves", Int(3))), invalidType);
  EXPECT_EQ(OnlyFailure(With(everything, "leaves", List({LeafValue("a", "", 1), Str("x")}))),
            Message<CoreTag>("quil.data.bad.cast1", std::string("x")));
  EXPECT_EQ(OnlyFailure(With(everything, "leaves", Str("lone"))),
            Message<CoreTag>("quil.data.bad.cast1", std::string("lone")));
  EXPECT_EQ(OnlyFailure(With(everything, "texts", Struct("s", {}))), invalidType);
  EXPECT_EQ(OnlyFailure(With(everything, "maybe_texts", Some(Int(1)))), invalidType);
  EXPECT_EQ(OnlyFailure(With(everything, "texts", List({Str("a"), Int(2)}))),
            FrameworkMessage<std::string>(Int(2)));
  EXPECT_EQ(OnlyFailure(With(everything, "kinds", List({Bool(true)}))),
            FrameworkMessage<std::string>(Bool(true)));

  // Primitives and enumerations: the framework's messages, unchanged.
  EXPECT_EQ(OnlyFailure(With(everything, "number", Str("4x2"))),
            FrameworkMessage<std::int64_t>(Str("4x2")));
  EXPECT_EQ(OnlyFailure(With(everything, "flag", Int(1))), FrameworkMessage<bool>(Int(1)));
  EXPECT_EQ(OnlyFailure(With(everything, "text", Bool(false))),
            FrameworkMessage<std::string>(Bool(false)));
  EXPECT_EQ(OnlyFailure(With(everything, "kind", Int(0))), FrameworkMessage<std::string>(Int(0)));
  EXPECT_EQ(OnlyFailure(With(everything, "maybe_number", Some(Str("ten")))),
            FrameworkMessage<std::int64_t>(Str("ten")));
  EXPECT_EQ(OnlyFailure(With(everything, "maybe_flag", Str("yes"))),
            FrameworkMessage<bool>(Str("yes")));

  // Two broken fields: queued in declaration order and taken from the back, so the later one
  // is converted, fails and drops the other.
  auto twoBad = With(With(everything, "number", Str("x")), "flag", Str("y"));
  EXPECT_EQ(OnlyFailure(twoBad), FrameworkMessage<bool>(Str("y")));

  // Missing required fields are found while the structure's fields are declared, in order: the
  // first declared is the one reported, with the framework's message.
  auto missing = Struct("nameless", {{"flag", Bool(true)}});
  MessageList expected;
  DataValuePtr ignored;
  missing->GetField("number", ignored, expected);
  ASSERT_EQ(expected.size(), 1u);
  EXPECT_EQ(OnlyFailure(missing), expected.front());
  EXPECT_EQ(expected.front().args, (Texts{"number", "nameless"}));

  // A missing field inside a list element fails the whole conversion.
  MessageList leafMissing;
  auto partialLeaf = Struct("any.leaf", {{"id", Str("a")}, {"size", Int(1)}});
  partialLeaf->GetField("kind", ignored, leafMissing);
  EXPECT_EQ(OnlyFailure(With(everything, "leaves", List({LeafValue("b", "", 1), partialLeaf}))),
            leafMissing.front());

  // Messages already in the list are kept; only growth counts.
  Hand::Leaf leaf;
  MessageList messages{invalidType};
  EXPECT_TRUE(FromValue(LeafValue("a", "ALPHA", 1), leaf, messages));
  EXPECT_FALSE(FromValue(Str("x"), leaf, messages));
  EXPECT_EQ(messages.size(), 2u);
}

TEST(ValueToNativeTest, KeepsUndeclaredFieldsInNameOrder) {
  const DataValuePtr shared = List({Int(1)});
  // Undeclared: the empty name, a proper prefix of a declared name, an extension of one.
  auto value = Struct("leaf", {{"zz", Str("last")},
                               {"size", Int(1)},
                               {"idx", shared},
                               {"kind", Str("ALPHA")},
                               {"i", Bool(true)},
                               {"", Int(0)},
                               {"id", Str("x")},
                               {"Kind", None()}});
  Hand::Leaf leaf;
  MessageList messages;
  ASSERT_TRUE(FromValue(value, leaf, messages));
  ASSERT_NE(leaf.unknownFields, nullptr);
  EXPECT_EQ(leaf.unknownFields->GetName(), "unknownFields");
  EXPECT_EQ(FieldNames(leaf.unknownFields), (Texts{"", "Kind", "i", "idx", "zz"}));
  EXPECT_EQ(leaf.unknownFields->FindField("idx")->get(), shared.get());  // shared, not copied
  EXPECT_EQ(leaf.id, "x");

  // An existing store is added to, not replaced.
  Hand::Leaf kept;
  auto store = StructValue::GetInstance("unknownFields");
  store->SetField("earlier", Int(5));
  kept.unknownFields = store;
  ASSERT_TRUE(FromValue(With(LeafValue("a", "", 1), "later", Int(6)), kept, messages));
  EXPECT_EQ(kept.unknownFields, store);
  EXPECT_EQ(store->FieldCount(), 2u);
  EXPECT_NE(store->FindField("later"), nullptr);

  // Only names past the end of the table, and a structure with a nested unknown field.
  Hand::Everything everything;
  auto nested = With(EverythingValue(), "zzz", Int(1));
  nested = With(nested, "leaf", With(LeafValue("a", "", 1), "aaa", Int(2)));
  ASSERT_TRUE(FromValue(nested, everything, messages));
  ASSERT_NE(everything.unknownFields, nullptr);
  EXPECT_EQ(everything.unknownFields->FieldCount(), 1u);
  EXPECT_NE(everything.unknownFields->FindField("zzz"), nullptr);
  ASSERT_NE(everything.leaf->unknownFields, nullptr);
  EXPECT_NE(everything.leaf->unknownFields->FindField("aaa"), nullptr);
  EXPECT_EQ(everything.choice->unknownFields, nullptr);
  EXPECT_TRUE(messages.empty());
}

TEST(ValueToNativeTest, UnknownFieldsMergeAgainstTheKnownNames) {
  // The merge on its own, with a table whose names share prefixes.
  static constexpr KnownName known[] = {"a", "ab", "abc", "b"};
  auto incoming = Struct("s", {{"abc", Int(1)},
                               {"aa", Int(2)},
                               {"abd", Int(3)},
                               {"a", Int(4)},
                               {"c", Int(5)},
                               {"b", Int(6)},
                               {"A", Int(7)}});
  std::shared_ptr<StructValue> store;
  BaseNative::AdapterHelper::AddUnknownFields(known, incoming.get(), store);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(FieldNames(store), (Texts{"A", "aa", "abd", "c"}));

  std::shared_ptr<StructValue> none;
  BaseNative::AdapterHelper::AddUnknownFields(known, nullptr, none);
  BaseNative::AdapterHelper::AddUnknownFields(known, Struct("s", {{"ab", Int(1)}}).get(), none);
  BaseNative::AdapterHelper::AddUnknownFields(known, Struct("s", {}).get(), none);
  EXPECT_EQ(none, nullptr);
  BaseNative::AdapterHelper::AddUnknownFields(KnownNames(), Struct("s", {{"x", Int(1)}}).get(),
                                              none);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->FieldCount(), 1u);
}

}  // namespace
}  // namespace Quil::Data
