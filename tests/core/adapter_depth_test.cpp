// Nesting costs heap, not call stack: a chain of 100,000 nested nodes converts both ways, is
// validated and is checked against its definition on a thread whose whole stack is 256 KiB.
#include <quil/data/native_to_value.h>
#include <quil/data/value_to_native.h>

#include <pthread.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <quil/data/definition_check.h>
#include <quil/data/native_to_definition.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;

constexpr std::size_t kDepth = 100000;

// Runs `body` on a new thread whose whole stack is 256 KiB, and waits for it.
void RunOnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
  pthread_t thread;
  const auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&body)),
            0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
}

// Releases a chain of nodes without recursion: each node's children are taken out of it before
// its last owner lets go.
void ReleaseNodes(std::shared_ptr<const Hand::Node> root) {
  std::vector<std::shared_ptr<const Hand::Node>> pending{std::move(root)};
  while (!pending.empty()) {
    std::shared_ptr<const Hand::Node> node = std::move(pending.back());
    pending.pop_back();
    if (node.use_count() != 1) continue;  // still owned elsewhere; released with its owner
    auto& children = const_cast<Hand::Node&>(*node).children;  // made mutable, viewed as const
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

TEST(AdapterDepthTest, DeepNestingOnASmallStack) {
  std::shared_ptr<Hand::Node> chain = MakeChain(kDepth);
  RunOnSmallStack([&chain] {
    MessageList messages;
    DataValuePtr value;
    EXPECT_TRUE(ToValue(*chain, value, messages));
    auto decoded = std::make_shared<Hand::Node>();
    EXPECT_TRUE(ValueToNativeAdapter::Adapt(value, *decoded, messages));
    DataValuePtr again;
    // What comes back converts to the same value: nothing was lost on the way.
    EXPECT_TRUE(ToValue(*decoded, again, messages) && Equals(value.get(), again.get()));

    // The definition's self reference carries the check down the whole value.
    const DataDefinitionPtr definition = NativeToDefinitionAdapter::DefinitionOf<Hand::Node>();
    EXPECT_TRUE(CheckValue(*definition, value, CheckMode::Exact, messages));
    EXPECT_TRUE(messages.empty());

    EXPECT_EQ(Check(*decoded), Texts{});
    decoded->unknownFields = UnknownStore({"x"});
    EXPECT_EQ(Check(*decoded), Texts{Extra("::Com::Korvan::Tavo::Test::HandSvc::Node", "x")});

    // The deepest failure is found and ends the conversion at once.
    auto innermost = decoded.get();
    while (!innermost->children.empty())
      innermost = const_cast<Hand::Node*>(innermost->children.front().get());
    innermost->children.push_back(nullptr);
    MessageList failure;
    EXPECT_FALSE(ToValue(*decoded, again, failure));
    EXPECT_EQ(Describe(failure),
              Texts{"quil.data.unset.non.optional.field(com.korvan.tavo.test.hand.node)"});

    // Values take themselves apart without recursion; native chains need help.
    value.reset();
    again.reset();
    ReleaseNodes(std::move(decoded));
  });
  ReleaseNodes(std::move(chain));
}

}  // namespace
}  // namespace Quil::Data
