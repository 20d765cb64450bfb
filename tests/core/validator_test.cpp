#include <quil/data/validator.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include <quil/data/definition_check.h>
#include <quil/data/native_to_definition.h>
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
Hand::Choice MakeChoice(Hand::Kind tag, const char* name, const char* path) {
  Hand::Choice choice;
  choice.tag = tag;
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

  // Reported in ascending name order, not in arrival order.
  leaf.unknownFields = UnknownStore({"b", "a", "B"});
  EXPECT_EQ(Check(leaf), (Texts{Extra(kLeaf, "B"), Extra(kLeaf, "a"), Extra(kLeaf, "b")}));
  MessageList messages;
  messages.push_back(Message<CoreTag>("quil.invoke.invalid.input", std::string("earlier")));
  EXPECT_FALSE(Validator::isValid(leaf, Validator::Strict, messages));
  ASSERT_EQ(messages.size(), 4u);  // appended after what the list held
  EXPECT_EQ(messages[1], Message<CoreTag>("quil.data.compound.field.extra", std::string(kLeaf),
                                          std::string("B"), std::string()));

  // A store without a field is never made by decoding: invalid, silently.
  leaf.unknownFields = UnknownStore({});
  messages.clear();
  EXPECT_FALSE(Validator::isValid(leaf, Validator::Strict, messages));
  EXPECT_TRUE(messages.empty());

  // Any other policy skips the check.
  leaf.unknownFields = UnknownStore({"a"});
  EXPECT_EQ(Check(leaf, static_cast<Validator::Policy>(0)), Texts{});
  EXPECT_EQ(Check(leaf, static_cast<Validator::Policy>(2)), Texts{});

  // Unknown fields end the check before the union rules; without the check the rules apply.
  Hand::Choice choice = MakeChoice(Hand::Kind::BETA, "n", nullptr);
  choice.unknownFields = UnknownStore({"z"});
  EXPECT_EQ(Check(choice), Texts{Extra(kChoice, "z")});
  EXPECT_EQ(Check(choice, static_cast<Validator::Policy>(0)), Texts{IsSet(kChoiceWire, "name")});
}

TEST(ValidatorTest, UnionRulesInMemberOrderThenTheTag) {
  using Kind = Hand::Kind;
  // "name" is required for ALPHA and GAMMA; "path" is allowed for BETA.
  EXPECT_EQ(Check(MakeChoice(Kind::ALPHA, "n", nullptr)), Texts{});
  EXPECT_EQ(Check(MakeChoice(Kind::GAMMA, "n", nullptr)), Texts{});
  EXPECT_EQ(Check(MakeChoice(Kind::BETA, nullptr, nullptr)), Texts{});
  EXPECT_EQ(Check(MakeChoice(Kind::BETA, nullptr, "p")), Texts{});

  EXPECT_EQ(Check(MakeChoice(Kind::ALPHA, nullptr, nullptr)), Texts{IsNotSet(kChoiceWire, "name")});
  EXPECT_EQ(Check(MakeChoice(Kind::BETA, "n", nullptr)), Texts{IsSet(kChoiceWire, "name")});
  EXPECT_EQ(Check(MakeChoice(Kind::GAMMA, "n", "p")), Texts{IsSet(kChoiceWire, "path")});
  // One union message: the first broken rule ends the check.
  EXPECT_EQ(Check(MakeChoice(Kind::ALPHA, nullptr, "p")), Texts{IsNotSet(kChoiceWire, "name")});

  // An unknown tag, received as such or as an unknown text, admits no member.
  for (const char* text : {"_UNKNOWN", "DELTA", "alpha", ""}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Check(MakeChoice(Kind::FromText(text), nullptr, nullptr)), Texts{MissingTag("tag")});
    EXPECT_EQ(Check(MakeChoice(Kind::FromText(text), "n", "p")), Texts{IsSet(kChoiceWire, "name")});
    EXPECT_EQ(Check(MakeChoice(Kind::FromText(text), nullptr, "p")),
              Texts{IsSet(kChoiceWire, "path")});
  }
  EXPECT_EQ(Check(Hand::Choice()), Texts{MissingTag("tag")});

  // Members are named natively, the union by its wire name. "device_name" is required for DEVICE
  // and PIPE; "file_name" is allowed for IMAGE.
  EXPECT_EQ(Check(MakeBacking("IMAGE", nullptr, nullptr)), Texts{});
  EXPECT_EQ(Check(MakeBacking("IMAGE", nullptr, "a.iso")), Texts{});
  EXPECT_EQ(Check(MakeBacking("DEVICE", "sr0", nullptr)), Texts{});
  EXPECT_EQ(Check(MakeBacking("IMAGE", "sr0", nullptr)), Texts{IsSet(kBackingWire, "deviceName")});
  EXPECT_EQ(Check(MakeBacking("DEVICE", nullptr, nullptr)),
            Texts{IsNotSet(kBackingWire, "deviceName")});
  EXPECT_EQ(Check(MakeBacking("DEVICE", "sr0", "a.iso")), Texts{IsSet(kBackingWire, "fileName")});
  EXPECT_EQ(Check(MakeBacking("PIPE", nullptr, "a.iso")),
            Texts{IsNotSet(kBackingWire, "deviceName")});
  EXPECT_EQ(Check(MakeBacking("cdrom", nullptr, nullptr)), Texts{MissingTag("kind")});
  EXPECT_EQ(Check(MakeBacking("cdrom", "sr0", nullptr)), Texts{IsSet(kBackingWire, "deviceName")});
}

TEST(ValidatorTest, InputRecordsCheckTheirNestedStructures) {
  auto validChoice =
      std::make_shared<const Hand::Choice>(MakeChoice(Hand::Kind::ALPHA, "n", nullptr));
  Hand::DoMethod::Input input;
  input.vm = "vm-1";
  input.choice = validChoice;
  EXPECT_EQ(Check(input), Texts{});  // an absent optional structure is valid

  // Its own unknown fields, then the invalid input; nested structures are not looked at.
  Hand::DoMethod::Input extra = input;
  extra.unknownFields = UnknownStore({"b", "a"});
  auto invalidChoice = std::make_shared<Hand::Choice>(MakeChoice(Hand::Kind::BETA, "n", nullptr));
  invalidChoice->unknownFields = UnknownStore({"c"});
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
  EXPECT_EQ(Check(broken, static_cast<Validator::Policy>(0)),
            (Texts{Extra(kChoice, "c"), InvalidInput(kDo)}));
  broken.choice = std::make_shared<const Hand::Choice>(MakeChoice(Hand::Kind::BETA, "n", nullptr));
  EXPECT_EQ(Check(broken, static_cast<Validator::Policy>(0)),
            (Texts{IsSet(kChoiceWire, "name"), InvalidInput(kDo)}));

  // A present optional structure must be valid.
  Hand::DoMethod::Input filtered = input;
  auto filter = std::make_shared<Hand::Leaf>();
  filtered.filter = MakeOptionalPtr<const Hand::Leaf>(*filter);
  EXPECT_EQ(Check(filtered), Texts{});
  filter->unknownFields = UnknownStore({"x"});
  filtered.filter = OptionalPtr<const Hand::Leaf>(filter);
  EXPECT_EQ(Check(filtered), (Texts{Extra(kLeaf, "x"), InvalidInput(kDo)}));

  // The first failing structure ends the check.
  filtered.choice = nullptr;
  EXPECT_EQ(Check(filtered), Texts{InvalidInput(kDo)});

  // Lists of structures are not examined.
  Hand::Everything everything;
  everything.leaves.push_back(filter);
  everything.leaf = filter;
  EXPECT_EQ(Check(everything), Texts{});
}

TEST(ValidatorTest, DeepNodesOnASmallStack) {
  constexpr std::size_t kDepth = 100'000;
  RunOnSmallStack([] {
    DataDefinitionPtr definition = NativeToDefinitionAdapter::DefinitionOf<Hand::Node>();

    // A native chain of nodes and the structure value of the same shape.
    std::shared_ptr<const Hand::Node> root;
    DataValuePtr value;
    for (std::size_t level = 0; level < kDepth; ++level) {
      auto node = std::make_shared<Hand::Node>();
      node->label = std::to_string(level);
      auto children = ListValue::GetInstance(ListValue::Kind::LIST);
      if (root != nullptr) {
        node->children.push_back(std::move(root));
        children->Append(std::move(value));
      }
      auto structure = StructValue::GetInstance("com.korvan.tavo.test.hand.node");
      structure->SetField("label", DataValue::Create(node->label));
      structure->SetField("children", std::move(children));
      root = std::move(node);
      value = std::move(structure);
    }

    EXPECT_EQ(Check(*root), Texts{});
    auto withExtra = std::make_shared<Hand::Node>(*root);
    withExtra->unknownFields = UnknownStore({"x"});
    EXPECT_EQ(Check(*withExtra), Texts{Extra("::Com::Korvan::Tavo::Test::HandSvc::Node", "x")});
    withExtra.reset();

    // The definition's self reference carries the check down the whole value.
    MessageList messages;
    EXPECT_TRUE(CheckValue(*definition, value, CheckMode::Exact, messages)) << messages.size();
    value.reset();

    // Taken apart from the top, one node at a time.
    while (root != nullptr) {
      std::shared_ptr<const Hand::Node> next =
          root->children.empty() ? nullptr : root->children.front();
      std::const_pointer_cast<Hand::Node>(root)->children.clear();
      root = std::move(next);
    }
  });
}

}  // namespace
}  // namespace Quil::Data
