// Nesting costs the value adapters heap, not call stack: a chain of 100,000 nested nodes converts
// both ways on a thread whose whole stack is 256 KiB.
#include <quil/data/native_to_value.h>
#include <quil/data/value_to_native.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::size_t kDepth = 100000;

// Releases a chain or tree of nodes without recursion: each node's children are taken out of it
// before its last owner lets go, so no destructor ever has a child left to destroy.
void ReleaseNodes(std::shared_ptr<const Hand::Node> root) {
  std::vector<std::shared_ptr<const Hand::Node>> pending;
  pending.push_back(std::move(root));
  while (!pending.empty()) {
    std::shared_ptr<const Hand::Node> node = std::move(pending.back());
    pending.pop_back();
    if (node.use_count() != 1) continue;  // still owned elsewhere; released with its owner
    // Nodes are made mutable (make_shared<Node>) and only viewed as const.
    auto& children = const_cast<Hand::Node&>(*node).children;
    for (auto& child : children) pending.push_back(std::move(child));
    children.clear();
  }
}

// The chain root -> ... -> innermost, with labels counting down to 0 at the innermost node.
std::shared_ptr<Hand::Node> MakeChain(std::size_t depth) {
  auto node = std::make_shared<Hand::Node>();
  node->label = "0";
  for (std::size_t level = 1; level < depth; ++level) {
    auto parent = std::make_shared<Hand::Node>();
    parent->label = std::to_string(level);
    parent->children.push_back(std::move(node));
    node = std::move(parent);
  }
  return node;
}

// Walks the chain; true when it has `depth` levels with the labels MakeChain gives.
bool IsChain(const Hand::Node& root, std::size_t depth) {
  const Hand::Node* node = &root;
  for (std::size_t level = depth; level-- > 0;) {
    if (node->label != std::to_string(level)) return false;
    if (level == 0) return node->children.empty();
    if (node->children.size() != 1 || node->children.front() == nullptr) return false;
    node = node->children.front().get();
  }
  return false;
}

TEST(AdapterDepthTest, DeepNestingConvertsOnASmallStack) {
  std::shared_ptr<Hand::Node> chain = MakeChain(kDepth);
  bool toValue = false;
  bool toNative = false;
  bool sameShape = false;
  bool valuesEqual = false;
  bool missingFound = false;

  RunOnSmallStack([&] {
    MessageList messages;
    DataValuePtr value;
    toValue = ToValue(*chain, value, messages);

    auto decoded = std::make_shared<Hand::Node>();
    toNative = ValueToNativeAdapter::Adapt(value, *decoded, messages);
    sameShape = IsChain(*decoded, kDepth);

    DataValuePtr again;
    valuesEqual = ToValue(*decoded, again, messages) && Equals(value.get(), again.get());

    // The deepest failure is found and ends the conversion at once.
    auto innermost = const_cast<Hand::Node*>(decoded.get());
    while (!innermost->children.empty())
      innermost = const_cast<Hand::Node*>(innermost->children.front().get());
    innermost->children.push_back(nullptr);
    MessageList failure;
    missingFound = !ToValue(*decoded, again, failure) && failure.size() == 1 &&
                   failure.front().args.front() == "com.korvan.tavo.test.hand.node";

    // Values take themselves apart without recursion; native chains need help.
    value.reset();
    again.reset();
    ReleaseNodes(std::move(decoded));
  });

  EXPECT_TRUE(toValue);
  EXPECT_TRUE(toNative);
  EXPECT_TRUE(sameShape);
  EXPECT_TRUE(valuesEqual);
  EXPECT_TRUE(missingFound);
  ReleaseNodes(std::move(chain));
}

}  // namespace
}  // namespace Quil::Data
