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
  boost::tribool operator()(std::string_view tag) const {
    return tag == "A" ? boost::tribool(true) : boost::tribool(false);
  }
};
struct AllowedAlways {
  boost::tribool operator()(std::string_view) const { return boost::indeterminate; }
};

TEST(DefinitionTest, KindsAndAccessors) {
  EXPECT_EQ(DataDefinition::Create<std::int64_t>()->GetType(), DataType::INTEGER);
  EXPECT_EQ(DataDefinition::Create<bool>()->GetType(), DataType::BOOLEAN);
  EXPECT_EQ(DataDefinition::Create<std::string>()->GetType(), DataType::STRING);
  EXPECT_EQ(DataDefinition::Create<double>()->GetType(), DataType::DOUBLE);
  EXPECT_EQ(DataDefinition::Create<Void>()->GetType(), DataType::VOID);
  EXPECT_EQ(PrimitiveDefinition::GetInstance(DataType::SECRET)->GetType(), DataType::SECRET);
  EXPECT_EQ(PrimitiveDefinition::GetInstance(DataType::BLOB)->GetType(), DataType::BLOB);

  auto optional = OptionalDefinition::GetInstance(Text());
  EXPECT_EQ(optional->GetType(), DataType::OPTIONAL);
  EXPECT_EQ(optional->GetElementType()->GetType(), DataType::STRING);
  auto list = ListDefinition::GetInstance(Integer());
  EXPECT_EQ(list->GetType(), DataType::LIST);
  EXPECT_EQ(list->GetElementType()->GetType(), DataType::INTEGER);

  auto info =
      StructDefinition::GetInstance("com.example.info", {{"zeta", Integer()}, {"alpha", optional}});
  EXPECT_EQ(info->GetType(), DataType::STRUCTURE);
  EXPECT_EQ(info->GetName(), "com.example.info");
  EXPECT_EQ(info->GetField("alpha"), optional);
  EXPECT_EQ(info->GetField("beta"), nullptr);
  EXPECT_EQ(info->GetFields().begin()->first, "alpha");  // the map's own order

  auto error = ErrorDefinition::GetInstance("com.example.not_found", {});
  EXPECT_EQ(error->GetType(), DataType::ERROR);
  EXPECT_TRUE(error->GetType().IsStructure());

  auto unionCase = UnionCaseDefinition::GetInstance(Text(), "type", RequiredForA());
  EXPECT_EQ(unionCase->GetType(), DataType::UNION_CASE);
  EXPECT_EQ(unionCase->GetTagField(), "type");
  EXPECT_TRUE(unionCase->Evaluate("A") == true);
  EXPECT_TRUE(unionCase->Evaluate("B") == false);
  EXPECT_TRUE(boost::indeterminate(
      UnionCaseDefinition::GetInstance(Text(), "type", AllowedAlways())->Evaluate("A")));
  EXPECT_EQ(unionCase->PredicateType(), typeid(RequiredForA));
}

TEST(DefinitionTest, StructRefHoldsItsTargetWeakly) {
  auto ref = StructRefDefinition::GetInstance("com.example.node");
  EXPECT_EQ(ref->GetType(), DataType::STRUCT_REF);
  EXPECT_EQ(ref->GetTarget(), nullptr);

  // A structure that contains itself: node{next: optional<ref node>}. The reference does not
  // keep the node alive, so dropping the node frees the whole tree (checked by the leak checker).
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
  EXPECT_NE(*make("s", {{"a", Integer()}}), *make("s", {{"b", Integer()}}));
  EXPECT_NE(*make("s", {{"a", Integer()}}), *make("s", {{"a", Integer()}, {"b", Integer()}}));
  EXPECT_NE(*make("s", {{"a", nullptr}}), *make("s", {{"a", Integer()}}));
  EXPECT_NE(*make("e", {}), *ErrorDefinition::GetInstance("e", {}));
  EXPECT_EQ(*ErrorDefinition::GetInstance("e", {{"a", Integer()}}),
            *ErrorDefinition::GetInstance("e", {{"a", Integer()}}));

  EXPECT_EQ(*OptionalDefinition::GetInstance(Integer()),
            *OptionalDefinition::GetInstance(Integer()));
  EXPECT_NE(*OptionalDefinition::GetInstance(Integer()), *ListDefinition::GetInstance(Integer()));
  EXPECT_NE(*ListDefinition::GetInstance(Integer()), *ListDefinition::GetInstance(Text()));
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

  auto unionCase = [](DataDefinitionPtr element, std::string tag,
                      UnionCaseDefinition::Predicate p) {
    return UnionCaseDefinition::GetInstance(std::move(element), std::move(tag), std::move(p));
  };
  EXPECT_EQ(*unionCase(Text(), "type", RequiredForA()), *unionCase(Text(), "type", RequiredForA()));
  EXPECT_NE(*unionCase(Text(), "type", RequiredForA()),
            *unionCase(Text(), "type", AllowedAlways()));
  EXPECT_NE(*unionCase(Text(), "type", RequiredForA()), *unionCase(Text(), "kind", RequiredForA()));
  EXPECT_NE(*unionCase(Text(), "type", RequiredForA()),
            *unionCase(Integer(), "type", RequiredForA()));

  EXPECT_TRUE(Equals(static_cast<const DataDefinition*>(nullptr), nullptr));
  EXPECT_FALSE(Equals(Integer().get(), nullptr));
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
  EXPECT_EQ(ToText(DataDefinition::Create<Void>().get()), "void");
  EXPECT_EQ(ToText(static_cast<const DataDefinition*>(nullptr)), "null");
}

TEST(DefinitionTest, DestroyingAParentKeepsSharedChildrenWhole) {
  auto sharedList = ListDefinition::GetInstance(Text());
  auto shared = StructDefinition::GetInstance("com.example.shared", {{"items", sharedList}});
  {
    auto parent = OptionalDefinition::GetInstance(
        StructDefinition::GetInstance("com.example.owner", {{"s", shared}, {"t", Integer()}}));
  }
  ASSERT_NE(shared->GetField("items"), nullptr);
  EXPECT_EQ(shared->GetField("items"), sharedList);
  ASSERT_NE(sharedList->GetElementType(), nullptr);
  EXPECT_EQ(sharedList->GetElementType()->GetType(), DataType::STRING);
}

}  // namespace
}  // namespace Quil::Data
