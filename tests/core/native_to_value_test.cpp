#include <quil/data/native_to_value.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
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

  // Fields appear in declaration order.
  EXPECT_EQ(FieldNames(value),
            (Texts{"number", "flag", "text", "kind", "maybe_number", "maybe_flag", "maybe_text",
                   "maybe_texts", "maybe_kinds", "leaf", "leaves", "texts", "kinds", "choice"}));
  const auto& leaves = static_cast<const ListValue&>(*FieldOf(value, "leaves"));
  EXPECT_EQ(leaves.GetKind(), kList);
  EXPECT_EQ(static_cast<const ListValue&>(*FieldOf(value, "texts")).GetKind(), kSet);
}

TEST(NativeToValueTest, DefaultsAndEmptyContainers) {
  Hand::Everything native;  // every optional unset, every container empty
  native.leaf = std::make_shared<Hand::Leaf>();
  native.choice = std::make_shared<Hand::Choice>();
  native.kind = Hand::Kind::FromText("Gamma");  // unknown texts are written back unchanged

  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(native, value, messages));
  const DataValuePtr expected = Struct(
      kEverythingName,
      {{"number", Int(0)},
       {"flag", Bool(false)},
       {"text", Str("")},
       {"kind", Str("Gamma")},
       {"maybe_number", None()},
       {"maybe_flag", None()},
       {"maybe_text", None()},
       {"maybe_texts", None()},
       {"maybe_kinds", None()},
       {"leaf", LeafValue("", "_UNKNOWN", 0)},
       {"leaves", List({}, kList)},
       {"texts", List({}, kSet)},
       {"kinds", List({}, kSet)},
       {"choice",
        Struct(kChoiceName, {{"tag", Str("_UNKNOWN")}, {"name", None()}, {"path", None()}})}});
  EXPECT_TRUE(Equals(value.get(), expected.get())) << ToText(value.get());
  EXPECT_EQ(FieldNames(value).size(), 14u);
}

TEST(NativeToValueTest, ConvertsTopLevelValuesOfEveryShape) {
  MessageList messages;
  DataValuePtr value;

  ASSERT_TRUE(ToValue(Void(), value, messages));
  EXPECT_EQ(value->GetType(), DataType::VOID);
  ASSERT_TRUE(ToValue(std::string("text"), value, messages));
  EXPECT_TRUE(Equals(value.get(), Str("text").get()));
  ASSERT_TRUE(ToValue(std::int64_t{-1}, value, messages));
  EXPECT_TRUE(Equals(value.get(), Int(-1).get()));
  ASSERT_TRUE(ToValue(false, value, messages));
  EXPECT_TRUE(Equals(value.get(), Bool(false).get()));
  ASSERT_TRUE(ToValue(Hand::Kind(), value, messages));
  EXPECT_TRUE(Equals(value.get(), Str("_UNKNOWN").get()));
  ASSERT_TRUE(ToValue(Hand::Kind::FromText("_UNKNOWN"), value, messages));
  EXPECT_TRUE(Equals(value.get(), Str("_UNKNOWN").get()));

  const std::shared_ptr<const Hand::Leaf> leaf = MakeLeaf("x", Hand::Kind::BETA, 3);
  ASSERT_TRUE(ToValue(leaf, value, messages));
  EXPECT_TRUE(Equals(value.get(), LeafValue("x", "BETA", 3).get()));

  const std::vector<std::shared_ptr<const Hand::Leaf>> leaves = {leaf, MakeLeaf("y", {}, 4)};
  ASSERT_TRUE(ToValue(leaves, value, messages));
  EXPECT_TRUE(Equals(
      value.get(), List({LeafValue("x", "BETA", 3), LeafValue("y", "_UNKNOWN", 4)}, kList).get()));

  // An input record is named after operation inputs; an optional structure parameter converts
  // to an optional value.
  Hand::DoMethod::Input input;
  input.vm = "vm-1";
  input.choice = MakeChoice();
  ASSERT_TRUE(ToValue(input, value, messages));
  const auto& record = static_cast<const StructValue&>(*value);
  EXPECT_EQ(record.GetName(), TypeInfo<OperationInput>::name());
  EXPECT_TRUE(Equals(FieldOf(value, "filter").get(), None().get()));
  input.filter = MakeOptionalPtr<const Hand::Leaf>(*MakeLeaf("f", Hand::Kind::GAMMA, 9));
  ASSERT_TRUE(ToValue(input, value, messages));
  EXPECT_TRUE(Equals(FieldOf(value, "filter").get(), Some(LeafValue("f", "GAMMA", 9)).get()));
  EXPECT_EQ(FieldNames(value), (Texts{"vm", "choice", "filter"}));
  EXPECT_TRUE(messages.empty());
}

TEST(NativeToValueTest, MissingRequiredStructureReportsOneFailure) {
  const auto expectOne = [](const MessageList& messages, const std::string& wireName) {
    ASSERT_EQ(messages.size(), 2u);  // the one already there, and the failure
    EXPECT_EQ(messages[1].id, "quil.data.unset.non.optional.field");
    EXPECT_EQ(messages[1].args, Texts{wireName});
    EXPECT_EQ(messages[1], Message<CoreTag>("quil.data.unset.non.optional.field", wireName));
  };
  const BaseMessage earlier("quil.test.earlier", "kept", {});

  Hand::Everything native;
  native.choice = MakeChoice();
  DataValuePtr value;
  MessageList messages{earlier};
  EXPECT_FALSE(ToValue(native, value, messages));
  expectOne(messages, kLeafName);

  // With two missing, the later declared is reached first and is the only one reported.
  native.choice = nullptr;
  messages = {earlier};
  EXPECT_FALSE(ToValue(native, value, messages));
  expectOne(messages, kChoiceName);

  // A nested structure is converted completely before the fields declared ahead of it.
  native.choice = MakeChoice();
  native.leaf = MakeLeaf("l", {}, 0);
  native.leaves = {nullptr};
  messages = {earlier};
  EXPECT_FALSE(ToValue(native, value, messages));
  expectOne(messages, kLeafName);

  // A null element of a list of structures, at top level too.
  std::vector<std::shared_ptr<const Hand::Leaf>> leaves = {MakeLeaf("a", {}, 1), nullptr};
  messages = {earlier};
  EXPECT_FALSE(ToValue(leaves, value, messages));
  expectOne(messages, kLeafName);

  Hand::DoMethod::Input input;
  messages = {earlier};
  EXPECT_FALSE(ToValue(input, value, messages));
  expectOne(messages, kChoiceName);

  // A Node whose grandchild list holds a null: the failure is found however deep it is.
  auto grandchild = std::make_shared<Hand::Node>();
  grandchild->children = {nullptr};
  auto child = std::make_shared<Hand::Node>();
  child->children = {grandchild};
  Hand::Node root;
  root.children = {child, child};
  messages = {earlier};
  EXPECT_FALSE(ToValue(root, value, messages));
  expectOne(messages, "com.korvan.tavo.test.hand.node");

  // Success is judged by growth of the list, not by its being empty.
  messages = {earlier};
  EXPECT_TRUE(ToValue(Hand::Leaf(), value, messages));
  EXPECT_EQ(messages.size(), 1u);
}

TEST(NativeToValueTest, KeptUnknownFieldsReappearAfterDeclaredFields) {
  auto leaf = MakeLeaf("id-1", Hand::Kind::ALPHA, 5);
  auto store = StructValue::GetInstance("unknownFields");
  const DataValuePtr extraList = List({Int(1), Str("two")}, kList);
  const DataValuePtr extraStruct = Struct("com.example.other", {{"a", Bool(true)}});
  store->SetField("zz_list", extraList);
  store->SetField("aa_struct", extraStruct);
  store->SetField("size", Int(999));  // shadowed by the declared field
  leaf->unknownFields = store;

  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(*leaf, value, messages));
  EXPECT_EQ(FieldNames(value), (Texts{"id", "kind", "size", "zz_list", "aa_struct"}));
  // Kept values are shared, not copied.
  EXPECT_EQ(FieldOf(value, "zz_list").get(), extraList.get());
  EXPECT_EQ(FieldOf(value, "aa_struct").get(), extraStruct.get());
  // The declared field's converted value wins over a kept field of the same name.
  EXPECT_TRUE(Equals(FieldOf(value, "size").get(), Int(5).get()));
  // The store itself is left as it was.
  EXPECT_EQ(store->FieldCount(), 3u);
  EXPECT_TRUE(Equals(store->FindField("size")->get(), Int(999).get()));
}

}  // namespace
}  // namespace Quil::Data
