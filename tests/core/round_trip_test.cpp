// Native to value to native, over many random values of the hand and cpus types, from a fixed seed.
#include <quil/data/native_to_value.h>
#include <quil/data/value_to_native.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
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

// Converts `native` to a value, back to a native, and that to a value again; the two values must
// be equal and no message may appear.
template <typename T>
void RoundTrip(const T& native, T& decoded, DataValuePtr& first, DataValuePtr& second) {
  MessageList messages;
  ASSERT_TRUE(ToValue(native, first, messages));
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(first, decoded, messages));
  ASSERT_TRUE(ToValue(decoded, second, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(Equals(first.get(), second.get())) << ToText(first.get()) << "\n"
                                                 << ToText(second.get());
}

bool SameStore(const std::shared_ptr<StructValue>& a, const std::shared_ptr<StructValue>& b) {
  return Equals(a.get(), b.get());
}

// Random native values, the same sequence for the same seed. Edge values come often: empty and
// non-ASCII texts, the extreme integers, unknown enumeration texts.
class Generator {
 public:
  explicit Generator(std::uint32_t seed) : random_(seed) {}

  bool Chance(int percent) { return Uniform(0, 99) < percent; }
  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  std::string Text() {
    static const char* const texts[] = {
        "", "a", "disk-0", "Ünïcödé", "with space", "a much longer text that needs the heap"};
    return texts[Uniform(0, 5)];
  }
  std::int64_t Number() {
    static const std::int64_t edges[] = {0, -1, 1, std::numeric_limits<std::int64_t>::min(),
                                         std::numeric_limits<std::int64_t>::max()};
    return Chance(30) ? edges[Uniform(0, 4)] : Uniform(-100000, 100000);
  }
  std::set<std::string> TextSet() {
    std::set<std::string> texts;
    for (int i = Uniform(0, 3); i > 0; --i) texts.insert(Text());
    return texts;
  }
  // Null, or a store of one to three fields whose names no test type declares.
  std::shared_ptr<StructValue> UnknownFields() {
    if (Chance(60)) return nullptr;
    static const char* const names[] = {"", "a", "zz_extra", "i", "lea", "x-y", "Number", "coun"};
    auto store = StructValue::GetInstance("unknownFields");
    for (int i = Uniform(1, 3); i > 0; --i) store->SetField(names[Uniform(0, 7)], AnyValue());
    return store;
  }
  // A value of any kind, nested ones included.
  DataValuePtr AnyValue() {
    const DataValuePtr values[] = {
        Int(Number()),
        Str(Text()),
        Bool(Chance(50)),
        DoubleValue::GetInstance(-0.25),
        None(),
        Some(Str(Text())),
        List({}, ListValue::Kind::SET),
        List({Int(Number()), Int(1)}),
        Struct("com.example.extra", {{"n", Int(Number())}, {"v", VoidValue::GetInstance()}})};
    return values[Uniform(0, 8)];
  }

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

  std::shared_ptr<Cpus::UpdateSpec> Spec() {
    auto spec = std::make_shared<Cpus::UpdateSpec>();
    if (Chance(50)) spec->count = Number();
    if (Chance(50)) spec->coresPerSocket = Number();
    if (Chance(50)) spec->hotAddEnabled = Chance(50);
    if (Chance(50)) spec->hotRemoveEnabled = Chance(50);
    spec->unknownFields = UnknownFields();
    return spec;
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

 private:
  std::mt19937 random_;
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

bool SameSpec(const Cpus::UpdateSpec* a, const Cpus::UpdateSpec* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return a->count == b->count && a->coresPerSocket == b->coresPerSocket &&
         a->hotAddEnabled == b->hotAddEnabled && a->hotRemoveEnabled == b->hotRemoveEnabled &&
         SameStore(a->unknownFields, b->unknownFields);
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

    const auto tree = generate.Tree(generate.Uniform(0, 12));
    Hand::Node treeBack;
    RoundTrip(*tree, treeBack, first, second);
    EXPECT_TRUE(SameTree(*tree, treeBack)) << ToText(first.get());

    Cpus::UpdateMethod::Input update;
    update.vm = generate.Text();
    update.updateSpec = generate.Spec();
    update.unknownFields = generate.UnknownFields();
    Cpus::UpdateMethod::Input updateBack;
    RoundTrip(update, updateBack, first, second);
    EXPECT_EQ(update.vm, updateBack.vm);
    EXPECT_TRUE(SameSpec(update.updateSpec.get(), updateBack.updateSpec.get()));
    EXPECT_TRUE(SameStore(update.unknownFields, updateBack.unknownFields));
  }
}

}  // namespace
}  // namespace Quil::Data
