#include <quil/data/native_to_definition.h>

#include <memory>

#include <gtest/gtest.h>
#include <boost/logic/tribool.hpp>

#include "binding/test_types.h"

namespace Quil::Data {
namespace {

using Adapter = NativeToDefinitionAdapter;

const StructDefinition& AsStruct(const DataDefinitionPtr& definition) {
  return dynamic_cast<const StructDefinition&>(*definition);
}
const DataDefinitionPtr& ElementOf(const DataDefinitionPtr& definition) {
  if (definition->GetType() == DataType::OPTIONAL)
    return static_cast<const OptionalDefinition&>(*definition).GetElementType();
  return dynamic_cast<const ListDefinition&>(*definition).GetElementType();
}

TEST(NativeToDefinitionTest, UnionCasesAnswerForTheTagText) {
  DataDefinitionPtr choice = Adapter::DefinitionOf<Kinds::Choice>();
  ASSERT_EQ(AsStruct(choice).GetField("name")->GetType(), DataType::UNION_CASE);
  ASSERT_EQ(AsStruct(choice).GetField("path")->GetType(), DataType::UNION_CASE);
  const auto& name = static_cast<const UnionCaseDefinition&>(*AsStruct(choice).GetField("name"));
  const auto& path = static_cast<const UnionCaseDefinition&>(*AsStruct(choice).GetField("path"));
  EXPECT_EQ(name.GetTagField(), "tag");

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
  DataDefinitionPtr everything = Adapter::DefinitionOf<Kinds::Everything>();
  const DataDefinitionPtr& leaf = AsStruct(everything).GetField("leaf");
  EXPECT_EQ(leaf.get(), ElementOf(AsStruct(everything).GetField("leaves")).get());
  // Containers keep their kind; an enumeration is a string.
  EXPECT_EQ(ToText(AsStruct(everything).GetField("leaves").get()),
            "list<" + ToText(leaf.get()) + ">");
  EXPECT_EQ(ToText(AsStruct(everything).GetField("maybe_kinds").get()), "optional<set<string>>");
  EXPECT_NE(AsStruct(Adapter::DefinitionOf<Kinds::Everything>()).GetField("leaf").get(),
            leaf.get());  // every call builds its own

  DataDefinitionPtr node = Adapter::DefinitionOf<Kinds::Node>();
  const DataDefinitionPtr& child = ElementOf(AsStruct(node).GetField("children"));
  ASSERT_EQ(child->GetType(), DataType::STRUCT_REF);
  auto reference = std::static_pointer_cast<const StructRefDefinition>(child);
  EXPECT_EQ(reference->GetName(), "com.korvan.tavo.test.native_kinds.node");
  EXPECT_EQ(reference->GetTarget(), node);

  // Through another structure: the reference sits in the inner one and names the outer one.
  DataDefinitionPtr tree = Adapter::DefinitionOf<Kinds::Tree>();
  DataDefinitionPtr branch = AsStruct(tree).GetField("branch");
  ASSERT_EQ(branch->GetType(), DataType::STRUCTURE);
  DataDefinitionPtr back = ElementOf(AsStruct(branch).GetField("trees"));
  ASSERT_EQ(back->GetType(), DataType::STRUCT_REF);
  auto ref = std::static_pointer_cast<const StructRefDefinition>(back);
  EXPECT_EQ(ref->GetName(), "com.korvan.tavo.test.native_kinds.tree");
  EXPECT_EQ(ref->GetTarget(), tree);

  // The reference does not keep its target alive.
  node.reset();
  EXPECT_EQ(reference->GetTarget(), nullptr);
}

}  // namespace
}  // namespace Quil::Data
