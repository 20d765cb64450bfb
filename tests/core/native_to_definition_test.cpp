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

TEST(NativeToDefinitionTest, DescribesEveryShape) {
  EXPECT_EQ(Adapter::DefinitionOf<Void>()->GetType(), DataType::VOID);
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<Hand::Kind>().get(), Text().get()));
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<boost::optional<std::set<Hand::Kind>>>().get(),
                     Optional(List(Text())).get()));
  EXPECT_TRUE(Equals(Adapter::DefinitionOf<std::vector<std::shared_ptr<const Hand::Leaf>>>().get(),
                     List(ExpectedLeaf()).get()));

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

  DataDefinitionPtr info = Adapter::DefinitionOf<Cpus::Info>();
  EXPECT_TRUE(
      Equals(info.get(), StructDefinition::GetInstance("com.korvan.tavo.vm.compute.cpus.info",
                                                       {{"count", Integer()},
                                                        {"cores_per_socket", Integer()},
                                                        {"hot_add_enabled", Boolean()},
                                                        {"hot_remove_enabled", Boolean()}})
                             .get()))
      << ToText(info.get());
}

TEST(NativeToDefinitionTest, UnionCasesAnswerForTheTagText) {
  DataDefinitionPtr choice = Adapter::DefinitionOf<Hand::Choice>();
  using Annotations = Hand::ChoiceAnnotations;
  ASSERT_EQ(AsStruct(choice).GetField("name")->GetType(), DataType::UNION_CASE);
  ASSERT_EQ(AsStruct(choice).GetField("path")->GetType(), DataType::UNION_CASE);
  const auto& name = static_cast<const UnionCaseDefinition&>(*AsStruct(choice).GetField("name"));
  const auto& path = static_cast<const UnionCaseDefinition&>(*AsStruct(choice).GetField("path"));
  EXPECT_EQ(name.GetTagField(), "tag");
  EXPECT_EQ(name.PredicateType(), typeid(UnionCaseAnyEnumValue<Annotations::NameUnionCases>));
  EXPECT_EQ(path.PredicateType(), typeid(OptUnionCaseAnyEnumValue<Annotations::PathUnionCases>));

  // Required in its cases: true there, false everywhere else.
  for (const char* text : {"ALPHA", "GAMMA"}) EXPECT_TRUE(name.Evaluate(text) == true) << text;
  for (const char* text : {"BETA", "_UNKNOWN", "alpha", "DELTA", ""})
    EXPECT_TRUE(name.Evaluate(text) == false) << text;
  // Allowed in its cases: indeterminate there, false everywhere else.
  EXPECT_TRUE(boost::indeterminate(path.Evaluate("BETA")));
  for (const char* text : {"ALPHA", "_UNKNOWN", "BETAX"})
    EXPECT_TRUE(path.Evaluate(text) == false) << text;
}

TEST(NativeToDefinitionTest, StructuresAreSharedWithinACallAndReferredToWhenNested) {
  DataDefinitionPtr everything = Adapter::DefinitionOf<Hand::Everything>();
  const DataDefinitionPtr& leaf = AsStruct(everything).GetField("leaf");
  EXPECT_EQ(leaf.get(), ElementOf(AsStruct(everything).GetField("leaves")).get());
  // Every call builds its own tree.
  DataDefinitionPtr again = Adapter::DefinitionOf<Hand::Everything>();
  EXPECT_NE(again.get(), everything.get());
  EXPECT_NE(AsStruct(again).GetField("leaf").get(), leaf.get());
  EXPECT_TRUE(Equals(again.get(), everything.get()));

  DataDefinitionPtr node = Adapter::DefinitionOf<Hand::Node>();
  const DataDefinitionPtr& child = ElementOf(AsStruct(node).GetField("children"));
  ASSERT_EQ(child->GetType(), DataType::STRUCT_REF);
  auto reference = std::static_pointer_cast<const StructRefDefinition>(child);
  EXPECT_EQ(reference->GetName(), "com.korvan.tavo.test.hand.node");
  EXPECT_EQ(reference->GetTarget(), node);

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
  }

  // The reference does not keep its target alive.
  node.reset();
  EXPECT_EQ(reference->GetTarget(), nullptr);
}

}  // namespace
}  // namespace Quil::Data
