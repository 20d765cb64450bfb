#include <quil/data/definition.h>

#include <cstdint>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace Quil::Data {
namespace {

DataDefinitionPtr Integer() { return DataDefinition::Create<std::int64_t>(); }
DataDefinitionPtr Text() { return DataDefinition::Create<std::string>(); }

struct RequiredForA {
  boost::tribool operator()(std::string_view tag) const { return tag == "A"; }
};
struct AllowedAlways {
  boost::tribool operator()(std::string_view) const { return boost::indeterminate; }
};

TEST(DefinitionTest, StructRefHoldsItsTargetWeakly) {
  // A structure that contains itself: node{next: optional<ref node>}. The reference does not
  // keep the node alive, so dropping the node frees the whole tree (checked by the leak checker).
  auto ref = StructRefDefinition::GetInstance("com.example.node");
  auto node = StructDefinition::GetInstance(
      "com.example.node", {{"next", OptionalDefinition::GetInstance(ref)}, {"id", Integer()}});
  ref->SetTarget(node);
  EXPECT_EQ(ref->GetTarget(), node);
  std::weak_ptr<const StructDefinition> watch = node;
  node.reset();
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(ref->GetTarget(), nullptr);
}

TEST(DefinitionTest, Equality) {
  auto make = [](std::string name, FieldDefinitions fields) {
    return StructDefinition::GetInstance(std::move(name), std::move(fields));
  };
  EXPECT_EQ(*make("s", {{"a", Integer()}, {"b", Text()}}),
            *make("s", {{"b", Text()}, {"a", Integer()}}));
  EXPECT_NE(*make("s", {{"a", Integer()}}), *make("t", {{"a", Integer()}}));
  EXPECT_NE(*make("s", {{"a", Integer()}}), *make("s", {{"a", Text()}}));
  EXPECT_NE(*make("s", {{"a", Integer()}}), *make("s", {{"a", Integer()}, {"b", Integer()}}));
  EXPECT_NE(*make("e", {}), *ErrorDefinition::GetInstance("e", {}));
  EXPECT_NE(*OptionalDefinition::GetInstance(Integer()), *ListDefinition::GetInstance(Integer()));
  EXPECT_NE(*PrimitiveDefinition::GetInstance(DataType::STRING),
            *PrimitiveDefinition::GetInstance(DataType::SECRET));

  // References compare by name and are never followed.
  auto first = StructRefDefinition::GetInstance("com.example.node");
  auto second = StructRefDefinition::GetInstance("com.example.node");
  auto target = make("com.example.node", {{"a", Integer()}});
  first->SetTarget(target);
  second->SetTarget(make("com.example.node", {{"b", Text()}}));
  EXPECT_EQ(*first, *second);
  EXPECT_NE(*first, *StructRefDefinition::GetInstance("com.example.other"));
  EXPECT_NE(*first, *target);

  // Union cases compare their element, tag field and predicate type.
  auto unionCase = [](DataDefinitionPtr element, std::string tag,
                      UnionCaseDefinition::Predicate p) {
    return UnionCaseDefinition::GetInstance(std::move(element), std::move(tag), std::move(p));
  };
  const auto reference = unionCase(Text(), "type", RequiredForA());
  EXPECT_EQ(*reference, *unionCase(Text(), "type", RequiredForA()));
  EXPECT_NE(*reference, *unionCase(Text(), "type", AllowedAlways()));
  EXPECT_NE(*reference, *unionCase(Text(), "kind", RequiredForA()));
  EXPECT_NE(*reference, *unionCase(Integer(), "type", RequiredForA()));
}

TEST(DefinitionTest, Text) {
  auto info = StructDefinition::GetInstance(
      "com.example.info",
      {{"count", Integer()},
       {"tags", ListDefinition::GetInstance(Text())},
       {"next",
        OptionalDefinition::GetInstance(StructRefDefinition::GetInstance("com.example.info"))},
       {"backing", UnionCaseDefinition::GetInstance(DataDefinition::Create<bool>(), "type",
                                                    AllowedAlways())}});
  EXPECT_EQ(ToText(info.get()),
            "structure com.example.info{backing: union_case(type)<boolean>, count: integer, "
            "next: optional<ref com.example.info>, tags: list<string>}");
  EXPECT_EQ(ToText(ErrorDefinition::GetInstance("com.example.e", {}).get()),
            "error com.example.e{}");
  EXPECT_EQ(ToText(static_cast<const DataDefinition*>(nullptr)), "null");
}

TEST(DefinitionTest, DestroyingAParentKeepsSharedChildrenWhole) {
  auto sharedList = ListDefinition::GetInstance(Text());
  auto shared = StructDefinition::GetInstance("com.example.shared", {{"items", sharedList}});
  OptionalDefinition::GetInstance(
      StructDefinition::GetInstance("com.example.owner", {{"s", shared}, {"t", Integer()}}));
  EXPECT_EQ(shared->GetField("items"), sharedList);
  ASSERT_NE(sharedList->GetElementType(), nullptr);
  EXPECT_EQ(sharedList->GetElementType()->GetType(), DataType::STRING);
}

}  // namespace
}  // namespace Quil::Data
