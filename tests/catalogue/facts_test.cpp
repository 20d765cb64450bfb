// The facts beside the definitions: every member they name is a string of the definitions the
// server checks against. (The union's cases they give are checked through tavo-vm describe.)
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <quil/data/definition.h>
#include <quil/provider/service_facts.h>
#include <tavo/vm/catalogue.h>

namespace Catalogue {
namespace {

using Quil::Data::DataDefinition;
using Quil::Data::DataDefinitionPtr;
using Quil::Data::DataType;
using Quil::Data::StructDefinition;

// The definition under optional, list, set and union-case wrappers.
const DataDefinition* Innermost(const DataDefinition* definition) {
  for (;;) {
    if (const auto* optional = dynamic_cast<const Quil::Data::OptionalDefinition*>(definition)) {
      definition = optional->GetElementType().get();
    } else if (const auto* list = dynamic_cast<const Quil::Data::ListDefinition*>(definition)) {
      definition = list->GetElementType().get();
    } else if (const auto* member =
                   dynamic_cast<const Quil::Data::UnionCaseDefinition*>(definition)) {
      definition = member->GetElementType().get();
    } else {
      return definition;
    }
  }
}

// Every structure reachable from `roots`, by name. Operation inputs all share one name, so an
// input counts by its members.
std::map<std::string, const StructDefinition*> Structures(std::vector<DataDefinitionPtr> roots) {
  std::map<std::string, const StructDefinition*> found;
  std::vector<const DataDefinition*> pending;
  for (const DataDefinitionPtr& root : roots) {
    const auto* input = dynamic_cast<const StructDefinition*>(root.get());
    if (input == nullptr || input->GetName() != "com.korvan.quil.operation_input") {
      pending.push_back(root.get());
      continue;
    }
    for (const auto& field : input->GetFields()) pending.push_back(field.second.get());
  }
  while (!pending.empty()) {
    const auto* structure = dynamic_cast<const StructDefinition*>(Innermost(pending.back()));
    pending.pop_back();
    if (structure == nullptr || !found.emplace(structure->GetName(), structure).second) continue;
    for (const auto& field : structure->GetFields()) pending.push_back(field.second.get());
  }
  return found;
}

bool IsString(const DataDefinition* definition) {
  return definition != nullptr && Innermost(definition)->GetType() == DataType::STRING;
}

TEST(FactsTest, EveryStatedMemberIsAStringOfTheCheckedDefinitions) {
  const auto catalogue = Com::Korvan::Tavo::Vm::DescribeServices();
  const auto facts = Com::Korvan::Tavo::Vm::DescribeServiceFacts();
  ASSERT_EQ(facts.size(), 10u);
  std::size_t enumerations = 0, members = 0;
  for (const Quil::Provider::ServiceFacts& service : facts) {
    SCOPED_TRACE(service.interfaceName);
    const auto api = catalogue->Find(service.interfaceName);
    ASSERT_NE(api, nullptr);
    std::vector<DataDefinitionPtr> roots;
    for (const auto& method : api->GetMethods()) {
      roots.push_back(method->inputDefinition());
      roots.push_back(method->outputDefinition());
    }
    const auto structures = Structures(roots);
    for (const auto& member : service.structureFields) {
      SCOPED_TRACE(member.owner + " " + member.member);
      ASSERT_EQ(structures.count(member.owner), 1u);
      EXPECT_TRUE(IsString(structures.at(member.owner)->GetField(member.member).get()));
      EXPECT_NE(service.FindEnumeration(member.enumeration), nullptr);
    }
    for (const auto& member : service.operationMembers) {
      SCOPED_TRACE(member.owner + " " + member.member);
      const auto method = api->FindMethod(member.owner);
      ASSERT_NE(method, nullptr);
      const auto* input = dynamic_cast<const StructDefinition*>(method->inputDefinition().get());
      ASSERT_NE(input, nullptr);
      EXPECT_TRUE(IsString(member.member.empty() ? method->outputDefinition().get()
                                                 : input->GetField(member.member).get()));
      EXPECT_NE(service.FindEnumeration(member.enumeration), nullptr);
    }
    for (const auto& enumeration : service.enumerations) {
      EXPECT_FALSE(enumeration.values.empty()) << enumeration.name;
    }
    enumerations += service.enumerations.size();
    members += service.structureFields.size() + service.operationMembers.size();
  }
  EXPECT_EQ(enumerations, 5u);
  EXPECT_GE(members, 8u);
  // What the facts say of power's "get" result is tavo-vm describe's test; its parameter has none.
  EXPECT_EQ(facts[8].OperationEnumeration("get", "vm_id"), nullptr);
}

}  // namespace
}  // namespace Catalogue
