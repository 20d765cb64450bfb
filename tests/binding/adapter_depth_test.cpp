// Nesting costs heap, not call stack: a chain of 100,000 nested nodes converts both ways, is
// validated and is checked against its definition on a thread whose whole stack is 256 KiB.
#include <quil/data/native_to_value.h>
#include <quil/data/value_to_native.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <quil/data/definition_check.h>
#include <quil/data/native_to_definition.h>

#include "binding/test_support.h"
#include "binding/test_types.h"
#include "support/small_stack.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::size_t kDepth = 100000;

// Native chains would be destroyed recursively: take each node's children out first.
void ReleaseNodes(std::shared_ptr<const Kinds::Node> root) {
  std::vector<std::shared_ptr<const Kinds::Node>> pending{std::move(root)};
  while (!pending.empty()) {
    std::shared_ptr<const Kinds::Node> node = std::move(pending.back());
    pending.pop_back();
    if (node.use_count() != 1) continue;  // still owned elsewhere; released with its owner
    auto& children = const_cast<Kinds::Node&>(*node).children;  // made mutable, viewed as const
    for (auto& child : children) pending.push_back(std::move(child));
    children.clear();
  }
}

TEST(AdapterDepthTest, DeepNestingOnASmallStack) {
  auto chain = std::make_shared<Kinds::Node>();
  for (std::size_t level = 1; level < kDepth; ++level) {
    auto parent = std::make_shared<Kinds::Node>();
    parent->label = std::to_string(level);
    parent->children.push_back(std::move(chain));
    chain = std::move(parent);
  }
  ASSERT_TRUE(TestSupport::RunOnSmallStack(256 * 1024, [&chain] {
    MessageList messages;
    DataValuePtr value;
    EXPECT_TRUE(ToValue(*chain, value, messages));
    auto decoded = std::make_shared<Kinds::Node>();
    EXPECT_TRUE(ValueToNativeAdapter::Adapt(value, *decoded, messages));
    DataValuePtr again;
    EXPECT_TRUE(ToValue(*decoded, again, messages) && Equals(value.get(), again.get()));

    // The definition's self reference carries the check down the whole value.
    const DataDefinitionPtr definition = NativeToDefinitionAdapter::DefinitionOf<Kinds::Node>();
    EXPECT_TRUE(CheckValue(*definition, value, CheckMode::Exact, messages));
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(Check(*decoded), Texts{});

    // The deepest failure is found and ends the conversion at once.
    auto innermost = decoded.get();
    while (!innermost->children.empty())
      innermost = const_cast<Kinds::Node*>(innermost->children.front().get());
    innermost->children.push_back(nullptr);
    MessageList failure;
    EXPECT_FALSE(ToValue(*decoded, again, failure));
    EXPECT_EQ(Describe(failure),
              Texts{"quil.data.unset.non.optional.field(com.korvan.tavo.test.native_kinds.node)"});

    value.reset();
    again.reset();
    ReleaseNodes(std::move(decoded));
  }));
  ReleaseNodes(std::move(chain));
}

}  // namespace
}  // namespace Quil::Data
