// Values and definitions nested far deeper than any call stack could follow: building,
// comparing, copying, printing and destroying them must use heap memory only. The same runs on
// a thread whose stack is 256 KiB.
#include <quil/data/definition.h>
#include <quil/data/value.h>

#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <gtest/gtest.h>

namespace Quil::Data {
namespace {

constexpr std::size_t kDeep = 1'000'000;
constexpr std::size_t kDeepOnSmallStack = 100'000;
constexpr std::size_t kSmallStack = 256 * 1024;

// Nesting in three runs of equal length around an integer leaf: structures in structures
// innermost, then optionals in optionals, then lists in lists outermost.
struct Runs {
  std::size_t structures, optionals, lists;
  explicit Runs(std::size_t depth)
      : structures(depth / 3), optionals(depth / 3), lists(depth - 2 * (depth / 3)) {}
};

DataValuePtr Nest(const Runs& runs, std::int64_t leaf) {
  DataValuePtr inner = DataValue::Create(leaf);
  for (std::size_t level = 0; level < runs.structures; ++level) {
    auto structure = StructValue::GetInstance("n");
    structure->Reserve(1);
    structure->SetField("c", std::move(inner));
    inner = std::move(structure);
  }
  for (std::size_t level = 0; level < runs.optionals; ++level) {
    auto optional = OptionalValue::GetInstance();
    optional->value(std::move(inner));
    inner = std::move(optional);
  }
  for (std::size_t level = 0; level < runs.lists; ++level) {
    auto list = ListValue::GetInstance(ListValue::Kind::LIST);
    list->Reserve(1);
    list->Append(std::move(inner));
    inner = std::move(list);
  }
  return inner;
}

void CheckDeepValue(std::size_t depth) {
  const Runs runs(depth);
  DataValuePtr value = Nest(runs, 7);
  std::shared_ptr<DataValue> copy = DeepCopy(*value);
  EXPECT_TRUE(Equals(value.get(), copy.get()));
  DataValuePtr differing = Nest(runs, 8);
  EXPECT_FALSE(Equals(value.get(), differing.get()));
  differing.reset();

  // Each level prints an opening ("[", "some(", "n{c: ") and one closing character.
  std::string text = ToText(copy.get());
  const std::size_t opening = runs.lists * 1 + runs.optionals * 5 + runs.structures * 5;
  EXPECT_EQ(text.size(), opening + depth + 1);
  EXPECT_EQ(text.substr(runs.lists - 1, 6), "[some(");
  EXPECT_EQ(text.substr(runs.lists + runs.optionals * 5 - 5, 10), "some(n{c: ");
  EXPECT_EQ(text.substr(opening - 10, 12), "n{c: n{c: 7}");
  copy.reset();
  value.reset();
}

// A definition chain cycling through every kind with children, around a leaf.
DataDefinitionPtr Chain(std::size_t depth, DataDefinitionPtr leaf) {
  DataDefinitionPtr inner = std::move(leaf);
  auto anyTag = [](std::string_view) { return boost::tribool(boost::indeterminate); };
  for (std::size_t level = 0; level < depth; ++level) {
    switch (level % 5) {
      case 0:
        inner = OptionalDefinition::GetInstance(std::move(inner));
        break;
      case 1:
        inner = ListDefinition::GetInstance(std::move(inner));
        break;
      case 2:
        inner = StructDefinition::GetInstance("s", {{"f", std::move(inner)}});
        break;
      case 3:
        inner = ErrorDefinition::GetInstance("e", {{"f", std::move(inner)}});
        break;
      default:
        inner = UnionCaseDefinition::GetInstance(std::move(inner), "type", anyTag);
        break;
    }
  }
  return inner;
}

void CheckDeepDefinition(std::size_t depth) {
  DataDefinitionPtr chain = Chain(depth, DataDefinition::Create<std::int64_t>());
  DataDefinitionPtr same = Chain(depth, DataDefinition::Create<std::int64_t>());
  EXPECT_TRUE(Equals(chain.get(), same.get()));
  same.reset();
  DataDefinitionPtr differing = Chain(depth, DataDefinition::Create<std::string>());
  EXPECT_FALSE(Equals(chain.get(), differing.get()));
  differing.reset();
  std::string text = ToText(chain.get());
  EXPECT_NE(text.find("integer"), std::string::npos);
  EXPECT_GT(text.size(), depth * 5);
  chain.reset();
}

// Runs `body` on a thread with a small stack and waits for it.
void RunOnSmallStack(std::function<void()> body) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kSmallStack), 0);
  pthread_t thread;
  auto trampoline = [](void* argument) -> void* {
    (*static_cast<std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, trampoline, &body), 0);
  pthread_attr_destroy(&attributes);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

TEST(DeepNestingTest, ValueNestedAMillionLevels) { CheckDeepValue(kDeep); }

TEST(DeepNestingTest, DefinitionsNestedAMillionLevels) { CheckDeepDefinition(kDeep); }

TEST(DeepNestingTest, SmallThreadStack) {
  RunOnSmallStack([] {
    CheckDeepValue(kDeepOnSmallStack);
    CheckDeepDefinition(kDeepOnSmallStack);
  });
}

}  // namespace
}  // namespace Quil::Data
