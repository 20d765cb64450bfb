#include <quil/data/validator.h>

#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include <quil/message.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::string_view kLeaf = "::Com::Korvan::Tavo::Test::HandSvc::Leaf";
constexpr std::string_view kChoice = "::Com::Korvan::Tavo::Test::HandSvc::Choice";
constexpr std::string_view kInput = "::Com::Korvan::Tavo::Test::HandSvc::DoMethod::Input";
constexpr std::string_view kDo = "::Com::Korvan::Tavo::Test::HandSvc::Do";
constexpr std::string_view kChoiceWire = "com.korvan.tavo.test.hand.choice";
constexpr std::string_view kBackingWire = "com.korvan.tavo.test.sample.backing";
constexpr auto kLax = static_cast<Validator::Policy>(0);

std::string IsSet(std::string_view unionName, std::string_view member) {
  return "quil.data.union.invalid.case.state.isset.short(" + std::string(unionName) + ", " +
         std::string(member) + ")";
}
std::string IsNotSet(std::string_view unionName, std::string_view member) {
  return "quil.data.union.invalid.case.state.isnotset.short(" + std::string(unionName) + ", " +
         std::string(member) + ")";
}
std::string MissingTag(std::string_view tag) {
  return "quil.data.union.missing.tag.field(" + std::string(tag) + ")";
}
Hand::Choice MakeChoice(const char* tag, const char* name, const char* path) {
  Hand::Choice choice;
  choice.tag = Hand::Kind::FromText(tag);
  if (name != nullptr) choice.name = std::string(name);
  if (path != nullptr) choice.path = std::string(path);
  return choice;
}
Sample::Backing MakeBacking(const char* kind, const char* deviceName, const char* fileName) {
  Sample::Backing backing;
  backing.kind = Sample::BackingKind::FromText(kind);
  if (deviceName != nullptr) backing.deviceName = std::string(deviceName);
  if (fileName != nullptr) backing.fileName = std::string(fileName);
  return backing;
}

TEST(ValidatorTest, UnknownFieldsUnderTheStrictPolicy) {
  Hand::Leaf leaf;
  EXPECT_EQ(Check(leaf), Texts{});
  // Reported in ascending name order, appended after what the list held.
  leaf.unknownFields = UnknownStore({"b", "a", "B"});
  EXPECT_EQ(Check(leaf), (Texts{Extra(kLeaf, "B"), Extra(kLeaf, "a"), Extra(kLeaf, "b")}));
  MessageList messages{Message<CoreTag>("quil.invoke.invalid.input", std::string("earlier"))};
  EXPECT_FALSE(Validator::isValid(leaf, Validator::Strict, messages));
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[1], Message<CoreTag>("quil.data.compound.field.extra", std::string(kLeaf),
                                          std::string("B"), std::string()));

  // A store without a field is never made by decoding: invalid, silently.
  leaf.unknownFields = UnknownStore({});
  messages.clear();
  EXPECT_FALSE(Validator::isValid(leaf, Validator::Strict, messages));
  EXPECT_TRUE(messages.empty());

  // Any other policy skips the check.
  leaf.unknownFields = UnknownStore({"a"});
  EXPECT_EQ(Check(leaf, kLax), Texts{});
  EXPECT_EQ(Check(leaf, static_cast<Validator::Policy>(2)), Texts{});

  // Unknown fields end the check before the union rules; without the check the rules apply.
  Hand::Choice choice = MakeChoice("BETA", "n", nullptr);
  choice.unknownFields = UnknownStore({"z"});
  EXPECT_EQ(Check(choice), Texts{Extra(kChoice, "z")});
  EXPECT_EQ(Check(choice, kLax), Texts{IsSet(kChoiceWire, "name")});
}

TEST(ValidatorTest, UnionRulesInMemberOrderThenTheTag) {
  struct Case {
    const char* tag;
    const char* first;   // the required-case member: Choice "name", Backing "deviceName"
    const char* second;  // the allowed-case member: Choice "path", Backing "fileName"
    Texts expected;
  };
  // "name" is required for ALPHA and GAMMA; "path" is allowed for BETA. An unknown tag, received
  // as such or as an unknown text, admits no member. The first broken rule ends the check.
  const Case choices[] = {
      {"GAMMA", "n", nullptr, {}},
      {"BETA", nullptr, "p", {}},
      {"BETA", "n", nullptr, {IsSet(kChoiceWire, "name")}},
      {"ALPHA", nullptr, "p", {IsNotSet(kChoiceWire, "name")}},
      {"_UNKNOWN", nullptr, nullptr, {MissingTag("tag")}},
      {"DELTA", nullptr, nullptr, {MissingTag("tag")}},
      {"alpha", nullptr, nullptr, {MissingTag("tag")}},
      {"", "n", "p", {IsSet(kChoiceWire, "name")}},
      {"DELTA", nullptr, "p", {IsSet(kChoiceWire, "path")}},
  };
  for (const Case& c : choices) {
    SCOPED_TRACE(std::string(c.tag) + (c.first ? " first" : "") + (c.second ? " second" : ""));
    EXPECT_EQ(Check(MakeChoice(c.tag, c.first, c.second)), c.expected);
  }
  EXPECT_EQ(Check(Hand::Choice()), Texts{MissingTag("tag")});

  // Members are named natively, the union by its wire name. "device_name" is required for DEVICE
  // and PIPE; "file_name" is allowed for IMAGE.
  const Case backings[] = {
      {"IMAGE", nullptr, nullptr, {}},
      {"IMAGE", nullptr, "a.iso", {}},
      {"DEVICE", "sr0", nullptr, {}},
      {"IMAGE", "sr0", nullptr, {IsSet(kBackingWire, "deviceName")}},
      {"DEVICE", nullptr, nullptr, {IsNotSet(kBackingWire, "deviceName")}},
      {"DEVICE", "sr0", "a.iso", {IsSet(kBackingWire, "fileName")}},
      {"PIPE", nullptr, "a.iso", {IsNotSet(kBackingWire, "deviceName")}},
      {"cdrom", nullptr, nullptr, {MissingTag("kind")}},
      {"cdrom", "sr0", nullptr, {IsSet(kBackingWire, "deviceName")}},
  };
  for (const Case& c : backings) {
    SCOPED_TRACE(std::string(c.tag) + (c.first ? " first" : "") + (c.second ? " second" : ""));
    EXPECT_EQ(Check(MakeBacking(c.tag, c.first, c.second)), c.expected);
  }
}

TEST(ValidatorTest, InputRecordsCheckTheirNestedStructures) {
  Hand::DoMethod::Input input;
  input.vm = "vm-1";
  input.choice = std::make_shared<const Hand::Choice>(MakeChoice("ALPHA", "n", nullptr));
  EXPECT_EQ(Check(input), Texts{});  // an absent optional structure is valid

  // Its own unknown fields, sorted, then the invalid input; nested structures are not looked at.
  auto invalidChoice = std::make_shared<Hand::Choice>(MakeChoice("BETA", "n", nullptr));
  invalidChoice->unknownFields = UnknownStore({"c"});
  Hand::DoMethod::Input extra = input;
  extra.unknownFields = UnknownStore({"b", "a"});
  extra.choice = invalidChoice;
  EXPECT_EQ(Check(extra), (Texts{Extra(kInput, "a"), Extra(kInput, "b"), InvalidInput(kDo)}));

  // A missing required structure: only the invalid input.
  Hand::DoMethod::Input missing = input;
  missing.choice = nullptr;
  EXPECT_EQ(Check(missing), Texts{InvalidInput(kDo)});

  // A nested structure's own messages come first; it is checked strictly whatever the policy.
  Hand::DoMethod::Input broken = input;
  broken.choice = invalidChoice;
  EXPECT_EQ(Check(broken), (Texts{Extra(kChoice, "c"), InvalidInput(kDo)}));
  broken.unknownFields = UnknownStore({"ignored"});
  EXPECT_EQ(Check(broken, kLax), (Texts{Extra(kChoice, "c"), InvalidInput(kDo)}));

  // A present optional structure must be valid.
  Hand::DoMethod::Input filtered = input;
  auto filter = std::make_shared<Hand::Leaf>();
  filtered.filter = OptionalPtr<const Hand::Leaf>(filter);
  EXPECT_EQ(Check(filtered), Texts{});
  filter->unknownFields = UnknownStore({"x"});
  EXPECT_EQ(Check(filtered), (Texts{Extra(kLeaf, "x"), InvalidInput(kDo)}));

  // Lists of structures are not examined.
  Hand::Everything everything;
  everything.leaves.push_back(filter);
  everything.leaf = filter;
  EXPECT_EQ(Check(everything), Texts{});
}

}  // namespace
}  // namespace Quil::Data
