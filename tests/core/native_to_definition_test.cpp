#include <quil/data/native_to_definition.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include "core/test_types.h"

namespace Quil::Data {
namespace {

// A type whose definition is made outside the adapter, as the standard errors' are.
struct Plugged {};
DataDefinitionPtr MakePluggedDefinition() {
  return ErrorDefinition::GetInstance("com.example.errors.plugged", {});
}

}  // namespace

template <>
struct NativeToDefinitionAdapter::AdaptMethod<Plugged> {
  static Method Get() { return &FactoryMethod<&MakePluggedDefinition>; }
};

namespace {

using Adapter = NativeToDefinitionAdapter;

DataDefinitionPtr Integer() { return DataDefinition::Create<std::int64_t>(); }
DataDefinitionPtr Boolean() { return DataDefinition::Create<bool>(); }
DataDefinitionPtr Text() { return DataDefinition::Create<std::string>(); }
DataDefinitionPtr Optional(DataDefinitionPtr element) {
  return OptionalDefinition::GetInstance(std::move(element));
}
DataDefinitionPtr List(DataDefinitionPtr element) {
  return ListDefinition::GetInstance(std::move(element));
}

const StructDefinition& AsStruct(const DataDefinitionPtr& definition) {
  return dynamic_cast<const StructDefinition&>(*definition);
}
const DataDefinitionPtr& ElementOf(const DataDefinitionPtr& definition) {
  if (definition->GetType() == DataType::OPTIONAL)
    return static_cast<const OptionalDefinition&>(*definition).GetElementType();
  return dynamic_cast<const ListDefinition&>(*definition).GetElementType();
}

DataDefinitionPtr ExpectedLeaf() {
  return StructDefinition::GetInstance("com.korvan.tavo.test.hand.leaf",
                                       {{"id", Text()}, {"kind", Text()}, {"size", Integer()}});
}
DataDefinitionPtr ExpectedChoice() {
  using Annotations = Hand::ChoiceAnnotations;
  return StructDefinition::GetInstance(
      "com.korvan.tavo.test.hand.choice",
      {{"tag", Text()},
       {"name", UnionCaseDefinition::GetInstance(
                    Text(), "tag", UnionCaseAnyEnumValue<Annotations::NameUnionCases>())},
       {"path", UnionCaseDefinition::GetInstance(
                    Text(), "tag", OptUnionCaseAnyEnumValue<Annotations::PathUnionCases>())}});
}

TEST(NativeToDefinitionTest, PrimitivesEnumerationsAndResults) {
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<std::int64_t>().get(), Integer().get()));
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<bool>().get(), Boolean().get()));
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<std::string>().get(), Text().get()));
  EXPECT_EQ(Adapter::DefinitionOf<Void>()->GetType(), DataType::VOID);
  // An enumeration is a string, also inside containers.
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<Hand::Kind>().get(), Text().get()));
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<std::set<Hand::Kind>>().get(), List(Text()).get()));
  // The shapes of operation results.
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<std::shared_ptr<const Hand::Leaf>>().get(),
                     ExpectedLeaf().get()));
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<std::vector<std::shared_ptr<const Hand::Leaf>>>().get(),
                     List(ExpectedLeaf()).get()));

  // Adapt writes into the caller's variable and leaves the message list alone.
  DataDefinitionPtr result;
  const MessageList messages;
  Adapter::Adapt(Adapter::AdaptMethod<boost::optional<std::set<std::string>>>::Get(), &result,
                 messages);
  EXPECT_TRUE(Equals(result.get(), Optional(List(Text())).get()));
  EXPECT_TRUE(messages.empty());
}

TEST(NativeToDefinitionTest, StructuresDescribeEveryMember) {
  DataDefinitionPtr everything = Adapter::DefinitionOf<Hand::Everything>();
  DataDefinitionPtr expected = StructDefinition::GetInstance(
      "com.korvan.tavo.test.hand.everything", {{"number", Integer()},
                                               {"flag", Boolean()},
                                               {"text", Text()},
                                               {"kind", Text()},
                                               {"maybe_number", Optional(Integer())},
                                               {"maybe_flag", Optional(Boolean())},
                                               {"maybe_text", Optional(Text())},
                                               {"maybe_texts", Optional(List(Text()))},
                                               {"maybe_kinds", Optional(List(Text()))},
                                               {"leaf", ExpectedLeaf()},
                                               {"leaves", List(ExpectedLeaf())},
                                               {"texts", List(Text())},
                                               {"kinds", List(Text())},
                                               {"choice", ExpectedChoice()}});
  EXPECT_TRUE(Equals(everything.get(), expected.get())) << ToText(everything.get());

  // An input record is named as every operation input; an optional structure parameter is an
  // optional of the structure.
  DataDefinitionPtr input = Adapter::DefinitionOf<Hand::DoMethod::Input>();
  EXPECT_TRUE(Equals(
      input.get(),
      StructDefinition::GetInstance(
          TypeInfo<OperationInput>::name(),
          {{"vm", Text()}, {"choice", ExpectedChoice()}, {"filter", Optional(ExpectedLeaf())}})
          .get()))
      << ToText(input.get());

  // A definition made elsewhere plugs in through its own AdaptMethod, inside containers too.
  EXPECT_EQ(Adapter::DefinitionOf<Plugged>()->GetType(), DataType::ERROR);
  DataDefinitionPtr plugged = Adapter::DefinitionOf<std::vector<Plugged>>();
  EXPECT_EQ(ElementOf(plugged)->GetType(), DataType::ERROR);
  EXPECT_TRUE(Equals(ElementOf(plugged).get(), MakePluggedDefinition().get()));
}

TEST(NativeToDefinitionTest, UnionCasesAnswerForTheTagText) {
  DataDefinitionPtr choice = Adapter::DefinitionOf<Hand::Choice>();
  using Annotations = Hand::ChoiceAnnotations;
  ASSERT_EQ(AsStruct(choice).GetField("name")->GetType(), DataType::UNION_CASE);
  ASSERT_EQ(AsStruct(choice).GetField("path")->GetType(), DataType::UNION_CASE);
  const auto& name = static_cast<const UnionCaseDefinition&>(*AsStruct(choice).GetField("name"));
  const auto& path = static_cast<const UnionCaseDefinition&>(*AsStruct(choice).GetField("path"));

  EXPECT_EQ(name.GetTagField(), "tag");
  EXPECT_EQ(path.GetTagField(), "tag");
  EXPECT_EQ(name.GetElementType()->GetType(), DataType::STRING);
  EXPECT_EQ(name.PredicateType(), typeid(UnionCaseAnyEnumValue<Annotations::NameUnionCases>));
  EXPECT_EQ(path.PredicateType(), typeid(OptUnionCaseAnyEnumValue<Annotations::PathUnionCases>));

  // Required in its cases: true there, false everywhere else.
  EXPECT_TRUE(name.Evaluate("ALPHA") == true);
  EXPECT_TRUE(name.Evaluate("GAMMA") == true);
  EXPECT_TRUE(name.Evaluate("BETA") == false);
  EXPECT_TRUE(name.Evaluate("_UNKNOWN") == false);
  EXPECT_TRUE(name.Evaluate("alpha") == false);
  EXPECT_TRUE(name.Evaluate("DELTA") == false);
  EXPECT_TRUE(name.Evaluate("") == false);
  // Allowed in its cases: indeterminate there, false everywhere else.
  EXPECT_TRUE(boost::indeterminate(path.Evaluate("BETA")));
  EXPECT_TRUE(path.Evaluate("ALPHA") == false);
  EXPECT_TRUE(path.Evaluate("_UNKNOWN") == false);
  EXPECT_TRUE(path.Evaluate("BETAX") == false);
}

TEST(NativeToDefinitionTest, EachStructureIsBuiltOncePerCall) {
  DataDefinitionPtr everything = Adapter::DefinitionOf<Hand::Everything>();
  const DataDefinitionPtr& leaf = AsStruct(everything).GetField("leaf");
  EXPECT_EQ(leaf.get(), ElementOf(AsStruct(everything).GetField("leaves")).get());

  // Every call builds its own tree.
  DataDefinitionPtr again = Adapter::DefinitionOf<Hand::Everything>();
  EXPECT_NE(again.get(), everything.get());
  EXPECT_NE(AsStruct(again).GetField("leaf").get(), leaf.get());
  EXPECT_TRUE(Equals(again.get(), everything.get()));

  // The work stack's record of structures met.
  N2D_internal::StackMapCnt stack;
  const auto key = Adapter::KeyOf<Hand::Leaf>();
  EXPECT_NE(key, Adapter::KeyOf<Hand::Node>());
  EXPECT_FALSE(stack.GetDef(key).second);
  stack.SetDef(key, nullptr);
  EXPECT_TRUE(stack.GetDef(key).second);
  EXPECT_EQ(stack.GetDef(key).first, nullptr);
  stack.SetDef(key, leaf);
  EXPECT_EQ(stack.GetDef(key).first, leaf);
}

TEST(NativeToDefinitionTest, SelfContainedStructuresReferToTheEnclosingDefinition) {
  DataDefinitionPtr node = Adapter::DefinitionOf<Hand::Node>();
  const DataDefinitionPtr& child = ElementOf(AsStruct(node).GetField("children"));
  ASSERT_EQ(child->GetType(), DataType::STRUCT_REF);
  auto reference = std::static_pointer_cast<const StructRefDefinition>(child);
  EXPECT_EQ(reference->GetName(), "com.korvan.tavo.test.hand.node");
  EXPECT_EQ(reference->GetTarget(), node);
  EXPECT_TRUE(Equals(
      node.get(),
      StructDefinition::GetInstance(
          "com.korvan.tavo.test.hand.node",
          {{"label", Text()},
           {"children", List(StructRefDefinition::GetInstance("com.korvan.tavo.test.hand.node"))}})
          .get()));

  // Through another structure: the reference sits in the inner one and names the outer one.
  for (bool fromTree : {true, false}) {
    DataDefinitionPtr outer =
        fromTree ? Adapter::DefinitionOf<Hand::Tree>() : Adapter::DefinitionOf<Hand::Branch>();
    DataDefinitionPtr inner = fromTree ? AsStruct(outer).GetField("branch")
                                       : ElementOf(AsStruct(outer).GetField("trees"));
    ASSERT_EQ(inner->GetType(), DataType::STRUCTURE);
    DataDefinitionPtr back = fromTree ? ElementOf(AsStruct(inner).GetField("trees"))
                                      : AsStruct(inner).GetField("branch");
    ASSERT_EQ(back->GetType(), DataType::STRUCT_REF);
    auto ref = std::static_pointer_cast<const StructRefDefinition>(back);
    EXPECT_EQ(ref->GetName(),
              fromTree ? "com.korvan.tavo.test.hand.tree" : "com.korvan.tavo.test.hand.branch");
    EXPECT_EQ(ref->GetTarget(), outer);
    const DataDefinitionPtr& branch = fromTree ? inner : outer;
    EXPECT_TRUE(Equals(AsStruct(branch).GetField("weight").get(), Optional(Integer()).get()));
  }

  // The reference does not keep its target alive.
  node.reset();
  EXPECT_EQ(reference->GetTarget(), nullptr);
}

}  // namespace
}  // namespace Quil::Data
