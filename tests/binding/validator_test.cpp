#include <quil/data/validator.h>

#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include <quil/message.h>

#include "binding/test_support.h"
#include "binding/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::string_view kLeaf = "::Com::Korvan::Tavo::Test::NativeKindsSvc::Leaf";
constexpr std::string_view kChoice = "::Com::Korvan::Tavo::Test::NativeKindsSvc::Choice";
constexpr std::string_view kInput = "::Com::Korvan::Tavo::Test::NativeKindsSvc::DoMethod::Input";
constexpr std::string_view kDo = "::Com::Korvan::Tavo::Test::NativeKindsSvc::Do";
const std::string kChoiceWire = "com.korvan.tavo.test.native_kinds.choice";
constexpr auto kLax = static_cast<Validator::Policy>(0);

std::string IsSet(const std::string& unionName, const std::string& member) {
  return "quil.data.union.invalid.case.state.isset.short(" + unionName + ", " + member + ")";
}
std::string IsNotSet(const std::string& unionName, const std::string& member) {
  return "quil.data.union.invalid.case.state.isnotset.short(" + unionName + ", " + member + ")";
}
std::string MissingTag(const std::string& tag) {
  return "quil.data.union.missing.tag.field(" + tag + ")";
}
Kinds::Choice MakeChoice(const char* tag, const char* name, const char* path) {
  Kinds::Choice choice;
  choice.tag = Kinds::Kind::FromText(tag);
  if (name != nullptr) choice.name = std::string(name);
  if (path != nullptr) choice.path = std::string(path);
  return choice;
}

TEST(ValidatorTest, UnknownFieldsUnderTheStrictPolicy) {
  Kinds::Leaf leaf;
  EXPECT_EQ(Check(leaf), Texts{});
  // Reported in ascending name order.
  leaf.unknownFields = UnknownStore({"b", "a", "B"});
  EXPECT_EQ(Check(leaf), (Texts{Extra(kLeaf, "B"), Extra(kLeaf, "a"), Extra(kLeaf, "b")}));
  // Any other policy skips the check.
  EXPECT_EQ(Check(leaf, kLax), Texts{});

  // Unknown fields end the check before the union rules; without the check the rules apply.
  Kinds::Choice choice = MakeChoice("BETA", "n", nullptr);
  choice.unknownFields = UnknownStore({"z"});
  EXPECT_EQ(Check(choice), Texts{Extra(kChoice, "z")});
  EXPECT_EQ(Check(choice, kLax), Texts{IsSet(kChoiceWire, "name")});
}

TEST(ValidatorTest, UnionRulesInMemberOrderThenTheTag) {
  // "name" is required for ALPHA and GAMMA, "path" allowed for BETA; members are named natively,
  // the union by its wire name. An unknown tag admits no member; the first broken rule ends the
  // check.
  struct Case {
    const char* tag;
    const char* name;
    const char* path;
    Texts expected;
  };
  const Case cases[] = {
      {"BETA", nullptr, "p", {}},
      {"GAMMA", "n", nullptr, {}},
      {"BETA", "n", nullptr, {IsSet(kChoiceWire, "name")}},
      {"ALPHA", nullptr, "p", {IsNotSet(kChoiceWire, "name")}},
      {"ALPHA", "n", "p", {IsSet(kChoiceWire, "path")}},
      {"_UNKNOWN", nullptr, nullptr, {MissingTag("tag")}},
      {"alpha", nullptr, nullptr, {MissingTag("tag")}},
      {"", "n", "p", {IsSet(kChoiceWire, "name")}},
      {"DELTA", nullptr, "p", {IsSet(kChoiceWire, "path")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + (c.name ? " name" : "") + (c.path ? " path" : ""));
    EXPECT_EQ(Check(MakeChoice(c.tag, c.name, c.path)), c.expected);
  }
}

TEST(ValidatorTest, InputRecordsCheckTheirNestedStructures) {
  Kinds::DoMethod::Input input;
  input.vm = "vm-1";
  input.choice = std::make_shared<const Kinds::Choice>(MakeChoice("ALPHA", "n", nullptr));
  EXPECT_EQ(Check(input), Texts{});  // an absent optional structure is valid

  // Its own unknown fields, sorted, then the invalid input; nested structures are not looked at.
  auto invalidChoice = std::make_shared<Kinds::Choice>(MakeChoice("BETA", "n", nullptr));
  invalidChoice->unknownFields = UnknownStore({"c"});
  Kinds::DoMethod::Input extra = input;
  extra.unknownFields = UnknownStore({"b", "a"});
  extra.choice = invalidChoice;
  EXPECT_EQ(Check(extra), (Texts{Extra(kInput, "a"), Extra(kInput, "b"), InvalidInput(kDo)}));

  // A missing required structure: only the invalid input.
  Kinds::DoMethod::Input missing = input;
  missing.choice = nullptr;
  EXPECT_EQ(Check(missing), Texts{InvalidInput(kDo)});

  // A nested structure's own messages come first; it is checked strictly whatever the policy.
  Kinds::DoMethod::Input broken = input;
  broken.choice = invalidChoice;
  broken.unknownFields = UnknownStore({"ignored"});
  EXPECT_EQ(Check(broken, kLax), (Texts{Extra(kChoice, "c"), InvalidInput(kDo)}));

  // A present optional structure must be valid.
  auto filter = std::make_shared<Kinds::Leaf>();
  filter->unknownFields = UnknownStore({"x"});
  input.filter = OptionalPtr<const Kinds::Leaf>(filter);
  EXPECT_EQ(Check(input), (Texts{Extra(kLeaf, "x"), InvalidInput(kDo)}));
}

}  // namespace
}  // namespace Quil::Data
