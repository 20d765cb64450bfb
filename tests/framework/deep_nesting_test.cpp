// Nesting far deeper than any call stack could follow: building, comparing, copying, printing,
// checking and destroying values, definitions and structure metadata must use heap memory only,
// also on a thread with a 256 KiB stack.
#include <quil/data/definition_check.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/metadata.h>

#include "support/small_stack.h"

namespace Quil::Data {
namespace {

// Lists and optionals alternating around an integer, with the matching definition.
DataValuePtr Nest(std::size_t depth, std::int64_t leaf, DataDefinitionPtr& definition) {
  DataValuePtr value = DataValue::Create(leaf);
  definition = DataDefinition::Create<std::int64_t>();
  for (std::size_t level = 0; level < depth; ++level) {
    if (level % 2 == 0) {
      auto list = ListValue::GetInstance(ListValue::Kind::LIST);
      list->Reserve(1);
      list->Append(std::move(value));
      value = std::move(list);
      definition = ListDefinition::GetInstance(std::move(definition));
    } else {
      auto optional = OptionalValue::GetInstance();
      optional->value(std::move(value));
      value = std::move(optional);
      definition = OptionalDefinition::GetInstance(std::move(definition));
    }
  }
  return value;
}

// A definition chain through the kinds with children that the value nesting leaves out.
DataDefinitionPtr Chain(std::size_t depth, DataDefinitionPtr inner) {
  auto anyTag = [](std::string_view) { return boost::tribool(boost::indeterminate); };
  for (std::size_t level = 0; level < depth; ++level) {
    if (level % 3 == 0) {
      inner = StructDefinition::GetInstance("s", {{"f", std::move(inner)}});
    } else if (level % 3 == 1) {
      inner = ErrorDefinition::GetInstance("e", {{"f", std::move(inner)}});
    } else {
      inner = UnionCaseDefinition::GetInstance(std::move(inner), "type", anyTag);
    }
  }
  return inner;
}

std::shared_ptr<const Metadata::FieldInfo> InfoChain(std::size_t depth, std::int64_t leaf) {
  auto info = std::make_shared<Metadata::FieldInfo>();
  info->number = leaf;
  for (std::size_t level = 0; level < depth; ++level) {
    auto parent = std::make_shared<Metadata::FieldInfo>();
    parent->fields.emplace("f", std::move(info));
    info = std::move(parent);
  }
  return info;
}

void CheckDepth(std::size_t depth) {
  EXPECT_EQ(*InfoChain(depth, 1), *InfoChain(depth, 1));
  EXPECT_NE(*InfoChain(depth, 1), *InfoChain(depth, 2));

  DataDefinitionPtr definition, otherDefinition;
  DataValuePtr value = Nest(depth, 7, definition);
  DataValuePtr differing = Nest(depth, 8, otherDefinition);
  std::shared_ptr<DataValue> copy = DeepCopy(*value);
  EXPECT_TRUE(Equals(value.get(), copy.get()));
  EXPECT_FALSE(Equals(value.get(), differing.get()));
  EXPECT_TRUE(Equals(definition.get(), otherDefinition.get()));
  const std::string text = ToText(copy.get());
  EXPECT_EQ(text.substr(0, 6), "some([");
  EXPECT_NE(text.find("([7])"), std::string::npos);
  MessageList messages;
  EXPECT_TRUE(CheckValue(*definition, value, CheckMode::Exact, messages));
  EXPECT_TRUE(messages.empty());

  DataDefinitionPtr chain = Chain(depth, DataDefinition::Create<std::int64_t>());
  EXPECT_TRUE(Equals(chain.get(), Chain(depth, DataDefinition::Create<std::int64_t>()).get()));
  EXPECT_FALSE(Equals(chain.get(), Chain(depth, DataDefinition::Create<std::string>()).get()));
  EXPECT_GT(ToText(chain.get()).size(), depth * 5);

  // A self-referencing structure checked to the bottom; deep paths keep 16 segments each end.
  auto self = StructRefDefinition::GetInstance("node");
  DataDefinitionPtr node = StructDefinition::GetInstance(
      "node", {{"next", OptionalDefinition::GetInstance(self)},
               {"value", OptionalDefinition::GetInstance(DataDefinition::Create<std::int64_t>())}});
  self->SetTarget(std::static_pointer_cast<const StructDefinition>(node));
  auto bottom = StructValue::GetInstance("node");
  bottom->SetField("value", DataValue::Create(std::string("x")));
  DataValuePtr nodes = bottom;
  for (std::size_t level = 1; level < depth; ++level) {
    auto parent = StructValue::GetInstance("node");
    parent->Reserve(1);
    parent->SetField("next", std::move(nodes));
    nodes = std::move(parent);
  }
  EXPECT_FALSE(CheckValue(*node, nodes, CheckMode::Lenient, messages));
  ASSERT_EQ(messages.size(), 1u);
  std::string head = "next", tail;
  for (int i = 1; i < 16; ++i) head += ".next", tail += ".next";
  EXPECT_EQ(messages[0].args, (std::vector<std::string>{head + ".(" + std::to_string(depth - 32) +
                                                            " more)" + tail + ".value",
                                                        "integer", "x"}));
}

TEST(DeepNestingTest, AMillionLevels) { CheckDepth(1'000'000); }

TEST(DeepNestingTest, SmallThreadStack) {
  ASSERT_TRUE(TestSupport::RunOnSmallStack(256 * 1024, [] { CheckDepth(100'000); }));
}

}  // namespace
}  // namespace Quil::Data
