#include <quil/data/native_to_value.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/message.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

const std::string kLeafName = "com.korvan.tavo.test.hand.leaf";
const std::string kChoiceName = "com.korvan.tavo.test.hand.choice";
const std::string kEverythingName = "com.korvan.tavo.test.hand.everything";
constexpr auto kList = ListValue::Kind::LIST;
constexpr auto kSet = ListValue::Kind::SET;

std::shared_ptr<Hand::Leaf> MakeLeaf(std::string id, Hand::Kind kind, std::int64_t size) {
  auto leaf = std::make_shared<Hand::Leaf>();
  leaf->id = std::move(id);
  leaf->kind = kind;
  leaf->size = size;
  return leaf;
}

DataValuePtr LeafValue(std::string id, std::string kind, std::int64_t size) {
  return Struct(kLeafName,
                {{"id", Str(std::move(id))}, {"kind", Str(std::move(kind))}, {"size", Int(size)}});
}

std::shared_ptr<Hand::Choice> MakeChoice() {
  auto choice = std::make_shared<Hand::Choice>();
  choice->tag = Hand::Kind::BETA;
  choice->path = "/images/a.iso";
  return choice;
}

TEST(NativeToValueTest, ConvertsEveryKindOfMember) {
  Hand::Everything native;
  native.number = -7;
  native.flag = true;
  native.text = "hello";
  native.kind = Hand::Kind::GAMMA;
  native.maybeNumber = 42;
  native.maybeText = std::string();
  native.maybeTexts = std::set<std::string>{"b", "a"};
  native.maybeKinds = std::set<Hand::Kind>{Hand::Kind::FromText("delta"), Hand::Kind::BETA,
                                           Hand::Kind::ALPHA, Hand::Kind::FromText("beta")};
  native.leaf = MakeLeaf("disk-1", Hand::Kind::ALPHA, 512);
  native.leaves = {MakeLeaf("z", Hand::Kind::BETA, 2), MakeLeaf("a", Hand::Kind(), 1)};
  native.texts = {"zeta", "alpha", "Mu"};
  native.kinds = {Hand::Kind::GAMMA, Hand::Kind::ALPHA};
  native.choice = MakeChoice();

  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(native, value, messages));
  EXPECT_TRUE(messages.empty());
  const DataValuePtr expected = Struct(
      kEverythingName,
      {{"number", Int(-7)},
       {"flag", Bool(true)},
       {"text", Str("hello")},
       {"kind", Str("GAMMA")},
       {"maybe_number", Some(Int(42))},
       {"maybe_flag", None()},
       {"maybe_text", Some(Str(""))},
       {"maybe_texts", Some(List({Str("a"), Str("b")}, kSet))},
       // By code, unknown texts last and ordered among themselves.
       {"maybe_kinds", Some(List({Str("ALPHA"), Str("BETA"), Str("beta"), Str("delta")}, kSet))},
       {"leaf", LeafValue("disk-1", "ALPHA", 512)},
       {"leaves", List({LeafValue("z", "BETA", 2), LeafValue("a", "_UNKNOWN", 1)}, kList)},
       {"texts", List({Str("Mu"), Str("alpha"), Str("zeta")}, kSet)},
       {"kinds", List({Str("ALPHA"), Str("GAMMA")}, kSet)},
       {"choice",
        Struct(kChoiceName,
               {{"tag", Str("BETA")}, {"name", None()}, {"path", Some(Str("/images/a.iso"))}})}});
  EXPECT_TRUE(Equals(value.get(), expected.get())) << ToText(value.get());
  EXPECT_EQ(FieldNames(value),
            (Texts{"number", "flag", "text", "kind", "maybe_number", "maybe_flag", "maybe_text",
                   "maybe_texts", "maybe_kinds", "leaf", "leaves", "texts", "kinds", "choice"}));

  // Every optional unset, every container empty: all still present.
  Hand::Everything empty;
  empty.leaf = std::make_shared<Hand::Leaf>();
  empty.choice = std::make_shared<Hand::Choice>();
  empty.kind = Hand::Kind::FromText("Gamma");  // unknown texts are written back unchanged
  ASSERT_TRUE(ToValue(empty, value, messages));
  EXPECT_EQ(FieldNames(value).size(), 14u);
  for (const char* optional :
       {"maybe_number", "maybe_flag", "maybe_text", "maybe_texts", "maybe_kinds"})
    EXPECT_TRUE(Equals(FieldOf(value, optional).get(), None().get())) << optional;
  EXPECT_TRUE(Equals(FieldOf(value, "kind").get(), Str("Gamma").get()));
  EXPECT_TRUE(Equals(
      FieldOf(value, "choice").get(),
      Struct(kChoiceName, {{"tag", Str("_UNKNOWN")}, {"name", None()}, {"path", None()}}).get()));
  // Empty containers keep their kinds: a list is kind 1, a set kind 2.
  for (const char* name : {"leaves", "texts", "kinds"}) {
    const auto& list = static_cast<const ListValue&>(*FieldOf(value, name));
    EXPECT_EQ(list.Size(), 0u) << name;
    EXPECT_EQ(static_cast<int>(list.GetKind()), name == std::string("leaves") ? 1 : 2) << name;
  }
}

TEST(NativeToValueTest, ConvertsTopLevelValuesOfEveryShape) {
  MessageList messages;
  DataValuePtr value;
  ASSERT_TRUE(ToValue(Void(), value, messages));
  EXPECT_EQ(value->GetType(), DataType::VOID);
  ASSERT_TRUE(ToValue(Hand::Kind::FromText("_UNKNOWN"), value, messages));
  EXPECT_TRUE(Equals(value.get(), Str("_UNKNOWN").get()));

  const std::vector<std::shared_ptr<const Hand::Leaf>> leaves = {MakeLeaf("x", Hand::Kind::BETA, 3),
                                                                 MakeLeaf("y", {}, 4)};
  ASSERT_TRUE(ToValue(leaves, value, messages));
  EXPECT_TRUE(Equals(
      value.get(), List({LeafValue("x", "BETA", 3), LeafValue("y", "_UNKNOWN", 4)}, kList).get()));

  // An input record is named after operation inputs; an optional structure parameter converts
  // to an optional value.
  Hand::DoMethod::Input input;
  input.vm = "vm-1";
  input.choice = MakeChoice();
  ASSERT_TRUE(ToValue(input, value, messages));
  EXPECT_EQ(static_cast<const StructValue&>(*value).GetName(), TypeInfo<OperationInput>::name());
  EXPECT_TRUE(Equals(FieldOf(value, "filter").get(), None().get()));
  input.filter = MakeOptionalPtr<const Hand::Leaf>(*MakeLeaf("f", Hand::Kind::GAMMA, 9));
  ASSERT_TRUE(ToValue(input, value, messages));
  EXPECT_TRUE(Equals(FieldOf(value, "filter").get(), Some(LeafValue("f", "GAMMA", 9)).get()));
  EXPECT_EQ(FieldNames(value), (Texts{"vm", "choice", "filter"}));
  EXPECT_TRUE(messages.empty());
}

TEST(NativeToValueTest, MissingRequiredStructureReportsOneFailure) {
  const BaseMessage earlier("quil.test.earlier", "kept", {});
  // Converts and expects failure with exactly one message after the one already there.
  const auto expectOne = [&earlier](const auto& native, const std::string& wireName) {
    DataValuePtr value;
    MessageList messages{earlier};
    EXPECT_FALSE(ToValue(native, value, messages));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], Message<CoreTag>("quil.data.unset.non.optional.field", wireName));
    EXPECT_EQ(messages[1].args, Texts{wireName});
  };

  Hand::Everything native;
  native.choice = MakeChoice();
  expectOne(native, kLeafName);
  // With two missing, the later declared is reached first and is the only one reported.
  native.choice = nullptr;
  expectOne(native, kChoiceName);
  // A nested structure is converted completely before the fields declared ahead of it.
  native.choice = MakeChoice();
  native.leaf = MakeLeaf("l", {}, 0);
  native.leaves = {nullptr};
  expectOne(native, kLeafName);
  expectOne(std::vector<std::shared_ptr<const Hand::Leaf>>{MakeLeaf("a", {}, 1), nullptr},
            kLeafName);
  expectOne(Hand::DoMethod::Input(), kChoiceName);

  // However deep the null is.
  auto grandchild = std::make_shared<Hand::Node>();
  grandchild->children = {nullptr};
  auto child = std::make_shared<Hand::Node>();
  child->children = {grandchild};
  Hand::Node root;
  root.children = {child, child};
  expectOne(root, "com.korvan.tavo.test.hand.node");

  // Success is judged by growth of the list, not by its being empty.
  DataValuePtr value;
  MessageList messages{earlier};
  EXPECT_TRUE(ToValue(Hand::Leaf(), value, messages));
  EXPECT_EQ(messages.size(), 1u);
}

TEST(NativeToValueTest, KeptUnknownFieldsReappearAfterDeclaredFields) {
  auto leaf = MakeLeaf("id-1", Hand::Kind::ALPHA, 5);
  const DataValuePtr extraList = List({Int(1), Str("two")}, kList);
  auto store = Struct("unknownFields", {{"zz_list", extraList},
                                        {"aa_struct", Struct("o", {{"a", Bool(true)}})},
                                        {"size", Int(999)}});  // shadowed by the declared field
  leaf->unknownFields = store;

  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(*leaf, value, messages));
  EXPECT_EQ(FieldNames(value), (Texts{"id", "kind", "size", "zz_list", "aa_struct"}));
  EXPECT_EQ(FieldOf(value, "zz_list").get(), extraList.get());  // shared, not copied
  EXPECT_TRUE(Equals(FieldOf(value, "size").get(), Int(5).get()));
  EXPECT_EQ(store->FieldCount(), 3u);  // the store is left as it was
  EXPECT_TRUE(Equals(store->FindField("size")->get(), Int(999).get()));
}

}  // namespace
}  // namespace Quil::Data
