#include <quil/data/native_to_value.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/message.h>

#include "binding/test_support.h"
#include "binding/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

const std::string kLeafName = "com.korvan.tavo.test.native_kinds.leaf";
const std::string kChoiceName = "com.korvan.tavo.test.native_kinds.choice";
constexpr auto kSet = ListValue::Kind::SET;

std::shared_ptr<Kinds::Leaf> MakeLeaf(std::string id, Kinds::Kind kind, std::int64_t size) {
  auto leaf = std::make_shared<Kinds::Leaf>();
  leaf->id = std::move(id);
  leaf->kind = kind;
  leaf->size = size;
  return leaf;
}

TEST(NativeToValueTest, WritesEveryMemberInDeclarationOrder) {
  Kinds::Everything native;
  native.kind = Kinds::Kind::FromText("Gamma");  // unknown texts are written back unchanged
  native.maybeText = std::string();
  native.maybeKinds = std::set<Kinds::Kind>{Kinds::Kind::FromText("delta"), Kinds::Kind::BETA,
                                            Kinds::Kind::FromText("beta")};
  auto leaf = MakeLeaf("disk-1", Kinds::Kind(), 512);
  // Kept unknown fields reappear after the declared ones, shared; a declared name shadows one.
  const DataValuePtr extraList = List({Int(1)});
  leaf->unknownFields = Struct("unknownFields", {{"zz_list", extraList}, {"size", Int(999)}});
  native.leaf = leaf;
  auto choice = std::make_shared<Kinds::Choice>();
  choice->path = "/a.iso";
  native.choice = choice;

  DataValuePtr value;
  MessageList messages;
  ASSERT_TRUE(ToValue(native, value, messages));
  EXPECT_TRUE(messages.empty());
  const DataValuePtr leafValue = Struct(kLeafName, {{"id", Str("disk-1")},
                                                    {"kind", Str("_UNKNOWN")},
                                                    {"size", Int(512)},
                                                    {"zz_list", extraList}});
  const DataValuePtr expected = Struct(
      "com.korvan.tavo.test.native_kinds.everything",
      {{"number", Int(0)},
       {"flag", Bool(false)},
       {"text", Str("")},
       {"kind", Str("Gamma")},
       {"maybe_number", None()},
       {"maybe_flag", None()},
       {"maybe_text", Some(Str(""))},
       {"maybe_texts", None()},
       // By code, unknown texts last and ordered among themselves.
       {"maybe_kinds", Some(List({Str("BETA"), Str("beta"), Str("delta")}, kSet))},
       {"leaf", leafValue},
       {"leaves", List({})},
       {"texts", List({}, kSet)},
       {"kinds", List({}, kSet)},
       {"choice",
        Struct(kChoiceName,
               {{"tag", Str("_UNKNOWN")}, {"name", None()}, {"path", Some(Str("/a.iso"))}})}});
  EXPECT_TRUE(Equals(value.get(), expected.get())) << ToText(value.get());
  EXPECT_EQ(FieldNames(value), FieldNames(expected));
  EXPECT_EQ(FieldNames(FieldOf(value, "leaf")), FieldNames(leafValue));
  EXPECT_EQ(FieldOf(FieldOf(value, "leaf"), "zz_list").get(), extraList.get());
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

  Kinds::Everything native;
  native.choice = std::make_shared<Kinds::Choice>();
  expectOne(native, kLeafName);
  // With two missing, the later declared is reached first and is the only one reported.
  native.choice = nullptr;
  expectOne(native, kChoiceName);
  native.choice = std::make_shared<Kinds::Choice>();
  native.leaf = MakeLeaf("l", {}, 0);
  native.leaves = {nullptr};
  expectOne(native, kLeafName);
  expectOne(Kinds::DoMethod::Input(), kChoiceName);
  expectOne(std::shared_ptr<const Kinds::Leaf>(), kLeafName);  // a result, say

  // Success is judged by growth of the list, not by its being empty.
  DataValuePtr value;
  MessageList messages{earlier};
  EXPECT_TRUE(ToValue(Kinds::Leaf(), value, messages));
  EXPECT_EQ(messages.size(), 1u);
}

}  // namespace
}  // namespace Quil::Data
