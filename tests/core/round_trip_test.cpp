// Native to value to native, over many random values of the test types: whatever a native value
// holds (unset and set optionals, empty and filled containers, unknown enumeration texts, kept
// unknown fields of several kinds) survives the trip.
#include <quil/data/native_to_value.h>
#include <quil/data/value_to_native.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/test_support.h"
#include "core/test_types.h"

namespace Quil::Data {
namespace {

using namespace Testing;
using Hand::Kind;

// Random values of the hand-written service's types.
class Generator : public Testing::RandomValues {
 public:
  using RandomValues::RandomValues;

  Kind AnyKind() {
    // Known values, `_UNKNOWN` without text, and unknown texts (a known one in another case too).
    static const char* const texts[] = {"ALPHA", "BETA", "GAMMA", "_UNKNOWN", "delta", "alpha"};
    return Kind::FromText(texts[Uniform(0, 5)]);
  }
  std::set<Kind> Kinds() {
    std::set<Kind> kinds;
    for (int i = Uniform(0, 4); i > 0; --i) kinds.insert(AnyKind());
    return kinds;
  }

  std::shared_ptr<Hand::Leaf> Leaf() {
    auto leaf = std::make_shared<Hand::Leaf>();
    leaf->id = Text();
    leaf->kind = AnyKind();
    leaf->size = Number();
    leaf->unknownFields = UnknownFields();
    return leaf;
  }

  std::shared_ptr<Hand::Choice> Choice() {
    auto choice = std::make_shared<Hand::Choice>();
    choice->tag = AnyKind();
    if (Chance(50)) choice->name = Text();
    if (Chance(50)) choice->path = Text();
    choice->unknownFields = UnknownFields();
    return choice;
  }

  Hand::Everything Everything() {
    Hand::Everything e;
    e.number = Number();
    e.flag = Chance(50);
    e.text = Text();
    e.kind = AnyKind();
    if (Chance(50)) e.maybeNumber = Number();
    if (Chance(50)) e.maybeFlag = Chance(50);
    if (Chance(50)) e.maybeText = Text();
    if (Chance(50)) e.maybeTexts = TextSet();
    if (Chance(50)) e.maybeKinds = Kinds();
    e.leaf = Leaf();
    for (int i = Uniform(0, 3); i > 0; --i) e.leaves.push_back(Leaf());
    e.texts = TextSet();
    e.kinds = Kinds();
    e.choice = Choice();
    e.unknownFields = UnknownFields();
    return e;
  }

  // A tree of up to `count` nodes, built bottom-up without recursion.
  std::shared_ptr<Hand::Node> Tree(int count) {
    std::vector<std::shared_ptr<const Hand::Node>> unattached;
    for (int i = 0; i < count; ++i) {
      auto node = std::make_shared<Hand::Node>();
      node->label = Text();
      node->unknownFields = UnknownFields();
      for (int take = Uniform(0, 3); take > 0 && !unattached.empty(); --take) {
        const auto pick =
            static_cast<std::size_t>(Uniform(0, static_cast<int>(unattached.size()) - 1));
        node->children.push_back(std::move(unattached[pick]));
        unattached.erase(unattached.begin() + static_cast<std::ptrdiff_t>(pick));
      }
      unattached.push_back(std::move(node));
    }
    auto root = std::make_shared<Hand::Node>();
    root->children = std::move(unattached);
    return root;
  }
};

bool SameLeaf(const Hand::Leaf* a, const Hand::Leaf* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->id == b->id && a->kind == b->kind && a->size == b->size &&
         SameStore(a->unknownFields, b->unknownFields);
}

bool SameChoice(const Hand::Choice* a, const Hand::Choice* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->tag == b->tag && a->name == b->name && a->path == b->path &&
         SameStore(a->unknownFields, b->unknownFields);
}

bool SameEverything(const Hand::Everything& a, const Hand::Everything& b) {
  if (a.leaves.size() != b.leaves.size()) return false;
  for (std::size_t i = 0; i < a.leaves.size(); ++i)
    if (!SameLeaf(a.leaves[i].get(), b.leaves[i].get())) return false;
  return a.number == b.number && a.flag == b.flag && a.text == b.text && a.kind == b.kind &&
         a.maybeNumber == b.maybeNumber && a.maybeFlag == b.maybeFlag &&
         a.maybeText == b.maybeText && a.maybeTexts == b.maybeTexts &&
         a.maybeKinds == b.maybeKinds && SameLeaf(a.leaf.get(), b.leaf.get()) &&
         a.texts == b.texts && a.kinds == b.kinds && SameChoice(a.choice.get(), b.choice.get()) &&
         SameStore(a.unknownFields, b.unknownFields);
}

bool SameTree(const Hand::Node& a, const Hand::Node& b) {
  std::vector<std::pair<const Hand::Node*, const Hand::Node*>> pending{{&a, &b}};
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (x == nullptr || y == nullptr) {
      if (x != y) return false;
      continue;
    }
    if (x->label != y->label || !SameStore(x->unknownFields, y->unknownFields) ||
        x->children.size() != y->children.size())
      return false;
    for (std::size_t i = 0; i < x->children.size(); ++i)
      pending.emplace_back(x->children[i].get(), y->children[i].get());
  }
  return true;
}

TEST(RoundTripTest, RandomValuesSurvive) {
  Generator generate(20240611);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    DataValuePtr first;
    DataValuePtr second;

    const Hand::Everything everything = generate.Everything();
    Hand::Everything everythingBack;
    RoundTrip(everything, everythingBack, first, second);
    EXPECT_TRUE(SameEverything(everything, everythingBack)) << ToText(first.get());

    const auto leaf = generate.Leaf();
    Hand::Leaf leafBack;
    RoundTrip(*leaf, leafBack, first, second);
    EXPECT_TRUE(SameLeaf(leaf.get(), &leafBack)) << ToText(first.get());

    const auto choice = generate.Choice();
    Hand::Choice choiceBack;
    RoundTrip(*choice, choiceBack, first, second);
    EXPECT_TRUE(SameChoice(choice.get(), &choiceBack)) << ToText(first.get());

    const auto tree = generate.Tree(generate.Uniform(0, 12));
    Hand::Node treeBack;
    RoundTrip(*tree, treeBack, first, second);
    EXPECT_TRUE(SameTree(*tree, treeBack)) << ToText(first.get());

    std::vector<std::shared_ptr<const Hand::Leaf>> leaves;
    for (int i = generate.Uniform(0, 4); i > 0; --i) leaves.push_back(generate.Leaf());
    std::vector<std::shared_ptr<const Hand::Leaf>> leavesBack;
    RoundTrip(leaves, leavesBack, first, second);
    ASSERT_EQ(leaves.size(), leavesBack.size());
    for (std::size_t i = 0; i < leaves.size(); ++i)
      EXPECT_TRUE(SameLeaf(leaves[i].get(), leavesBack[i].get()));

    Hand::DoMethod::Input input;
    input.vm = generate.Text();
    input.choice = generate.Choice();
    if (generate.Chance(50)) input.filter = OptionalPtr<const Hand::Leaf>(generate.Leaf());
    Hand::DoMethod::Input inputBack;
    RoundTrip(input, inputBack, first, second);
    EXPECT_EQ(input.vm, inputBack.vm);
    EXPECT_TRUE(SameChoice(input.choice.get(), inputBack.choice.get()));
    EXPECT_TRUE(SameLeaf(input.filter.get(), inputBack.filter.get()));
  }
}

// The kept fields come back in ascending name order; the trip keeps each value shared.
TEST(RoundTripTest, KeptFieldsAreSharedAndSorted) {
  Hand::Leaf leaf;
  leaf.id = "x";
  auto store = StructValue::GetInstance("unknownFields");
  const DataValuePtr late = IntegerValue::GetInstance(1);
  const DataValuePtr early = StringValue::GetInstance("e");
  store->SetField("zz", late);
  store->SetField("aa", early);
  leaf.unknownFields = store;

  DataValuePtr first;
  DataValuePtr second;
  Hand::Leaf back;
  RoundTrip(leaf, back, first, second);
  ASSERT_NE(back.unknownFields, nullptr);
  EXPECT_NE(back.unknownFields, store);
  EXPECT_EQ(FieldNames(back.unknownFields), (Texts{"aa", "zz"}));
  EXPECT_EQ(back.unknownFields->FindField("zz")->get(), late.get());
  EXPECT_EQ(back.unknownFields->FindField("aa")->get(), early.get());
}

}  // namespace
}  // namespace Quil::Data
