#include "catalogue_model.h"

#include <functional>
#include <utility>

#include <boost/logic/tribool.hpp>

#include <quil/data/definition.h>
#include <quil/provider/service_facts.h>
#include <tavo/vm/catalogue.h>

namespace Tavo::Tool {
namespace {

using Quil::Data::DataDefinition;
using Quil::Data::DataDefinitionPtr;
using Quil::Data::DataType;
using Quil::Data::StructDefinition;
using Quil::Provider::EnumerationFacts;

using Pending = std::vector<std::shared_ptr<const StructDefinition>>;
// The enumeration a member of the structure or operation being read holds, or null.
using EnumerationOf = std::function<const EnumerationFacts*(std::string_view member)>;

TypeShape::Base BaseOf(DataType type) {
  switch (type.GetType()) {
    case DataType::INTEGER:
      return TypeShape::Base::kInteger;
    case DataType::DOUBLE:
      return TypeShape::Base::kDouble;
    case DataType::BOOLEAN:
      return TypeShape::Base::kBoolean;
    case DataType::STRING:
      return TypeShape::Base::kString;
    case DataType::BLOB:
      return TypeShape::Base::kBlob;
    case DataType::SECRET:
      return TypeShape::Base::kSecret;
    default:
      return TypeShape::Base::kVoid;
  }
}

// Unwraps `definition` into a shape; a structure met is queued on `pending` to be read later.
TypeShape ShapeOf(const DataDefinitionPtr& definition, const EnumerationFacts* enumeration,
                  Pending& pending) {
  TypeShape shape;
  DataDefinitionPtr current = definition;
  while (current != nullptr) {
    if (const auto* optional = dynamic_cast<const Quil::Data::OptionalDefinition*>(current.get())) {
      shape.wrappers.push_back(TypeShape::Wrapper::kOptional);
      current = optional->GetElementType();
    } else if (const auto* list = dynamic_cast<const Quil::Data::ListDefinition*>(current.get())) {
      shape.wrappers.push_back(list->GetKind() == Quil::Data::ListValue::Kind::SET
                                   ? TypeShape::Wrapper::kSet
                                   : TypeShape::Wrapper::kList);
      current = list->GetElementType();
    } else if (const auto* member =
                   dynamic_cast<const Quil::Data::UnionCaseDefinition*>(current.get())) {
      current = member->GetElementType();
    } else if (const auto* ref =
                   dynamic_cast<const Quil::Data::StructRefDefinition*>(current.get())) {
      shape.base = TypeShape::Base::kStructure;
      shape.name = ref->GetName();
      break;
    } else if (auto structure = std::dynamic_pointer_cast<const StructDefinition>(current)) {
      shape.base = TypeShape::Base::kStructure;
      shape.name = structure->GetName();
      pending.push_back(std::move(structure));
      break;
    } else {
      shape.base = BaseOf(current->GetType());
      break;
    }
  }
  if (shape.base == TypeShape::Base::kString && enumeration != nullptr) {
    shape.name = enumeration->name;
  }
  return shape;
}

std::vector<Member> MembersOf(const StructDefinition& structure, const EnumerationOf& enumerationOf,
                              Pending& pending) {
  std::vector<Member> members;
  for (const auto& [name, definition] : structure.GetFields()) {
    Member member;
    member.name = name;
    member.type = ShapeOf(definition, enumerationOf(name), pending);
    member.optional = !member.type.wrappers.empty() &&
                      member.type.wrappers.front() == TypeShape::Wrapper::kOptional;
    if (const auto* unionMember =
            dynamic_cast<const Quil::Data::UnionCaseDefinition*>(definition.get())) {
      member.optional = true;
      UnionCases cases;
      cases.tagField = unionMember->GetTagField();
      if (const EnumerationFacts* tag = enumerationOf(cases.tagField)) {
        for (const std::string& value : tag->values) {
          const boost::tribool rule = unionMember->Evaluate(value);
          (rule ? cases.required : !rule ? cases.absent : cases.allowed).push_back(value);
        }
      }
      member.cases = std::move(cases);
    }
    members.push_back(std::move(member));
  }
  return members;
}

std::string_view TailAfterDots(std::string_view name, std::size_t dots) {
  std::size_t position = name.size();
  for (std::size_t i = 0; i <= dots; ++i) {
    position = name.rfind('.', position == 0 ? 0 : position - 1);
    if (position == std::string_view::npos) return name;
  }
  return name.substr(position + 1);
}

}  // namespace

Catalogue Catalogue::Load() {
  Catalogue catalogue;
  const auto registry = Com::Korvan::Tavo::Vm::DescribeServices();
  const std::vector<Quil::Provider::ServiceFacts> allFacts =
      Com::Korvan::Tavo::Vm::DescribeServiceFacts();
  for (const auto& facts : allFacts) {
    for (const EnumerationFacts& enumeration : facts.enumerations) {
      catalogue.enumerations_.emplace(enumeration.name,
                                      Enumeration{enumeration.name, enumeration.values});
    }
  }
  const Quil::Provider::ServiceFacts none;
  for (const auto& api : registry->List()) {
    Interface entry{api->GetIdentifier()->GetName(), {}};
    const Quil::Provider::ServiceFacts* facts = &none;
    for (const auto& candidate : allFacts) {
      if (candidate.interfaceName == entry.name) facts = &candidate;
    }
    Pending pending;
    for (const auto& method : api->GetMethods()) {
      Operation operation;
      operation.interfaceName = entry.name;
      operation.name = method->methodName();
      operation.method = method;
      const std::string& name = operation.name;
      if (const auto* input =
              dynamic_cast<const StructDefinition*>(method->inputDefinition().get())) {
        operation.input = MembersOf(
            *input,
            [facts, &name](std::string_view member) {
              return facts->OperationEnumeration(name, member);
            },
            pending);
      }
      operation.output =
          ShapeOf(method->outputDefinition(), facts->OperationEnumeration(name, ""), pending);
      for (const DataDefinitionPtr& error : method->errorDefinitions()) {
        auto structure = std::dynamic_pointer_cast<const StructDefinition>(error);
        if (structure == nullptr) continue;
        operation.errors.push_back(structure->GetName());
        pending.push_back(std::move(structure));
      }
      entry.operations.push_back(std::move(operation));
    }
    while (!pending.empty()) {
      const std::shared_ptr<const StructDefinition> definition = std::move(pending.back());
      pending.pop_back();
      if (catalogue.structures_.count(definition->GetName()) != 0) continue;
      Structure structure;
      structure.name = definition->GetName();
      structure.isError = definition->GetType() == DataType::ERROR;
      const std::string& owner = structure.name;
      structure.members = MembersOf(
          *definition,
          [facts, &owner](std::string_view member) {
            return facts->FieldEnumeration(owner, member);
          },
          pending);
      catalogue.structures_.emplace(structure.name, std::move(structure));
    }
    catalogue.interfaces_.push_back(std::move(entry));
  }
  return catalogue;
}

const Structure* Catalogue::FindStructure(std::string_view name) const {
  const auto found = structures_.find(name);
  return found != structures_.end() ? &found->second : nullptr;
}

const Enumeration* Catalogue::FindEnumeration(std::string_view name) const {
  const auto found = enumerations_.find(name);
  return found != enumerations_.end() ? &found->second : nullptr;
}

std::vector<const Interface*> Catalogue::Matching(std::string_view name) const {
  std::vector<const Interface*> found;
  for (const Interface& candidate : interfaces_) {
    const std::string_view full = candidate.name;
    if (full == name || (full.size() > name.size() && !name.empty() &&
                         full.substr(full.size() - name.size()) == name &&
                         full[full.size() - name.size() - 1] == '.')) {
      found.push_back(&candidate);
    }
  }
  return found;
}

const Interface* Catalogue::ResolveInterface(std::string_view name, std::string& error) const {
  const std::vector<const Interface*> found = Matching(name);
  if (found.size() == 1) return found.front();
  if (found.empty()) {
    error = "no interface is named \"" + std::string(name) + "\" (tavo-vm services lists them)";
  } else {
    error = "\"" + std::string(name) + "\" names several interfaces:";
    for (const Interface* candidate : found) error += " " + candidate->name;
  }
  return nullptr;
}

const Operation* Catalogue::ResolveOperation(std::string_view name, std::string& error) const {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) {
    error = "\"" + std::string(name) +
            "\" is not INTERFACE.OPERATION (for example cpus.get; tavo-vm services lists them)";
    return nullptr;
  }
  const Interface* found = ResolveInterface(name.substr(0, dot), error);
  if (found == nullptr) return nullptr;
  const std::string_view operationName = name.substr(dot + 1);
  for (const Operation& operation : found->operations) {
    if (operation.name == operationName) return &operation;
  }
  error = found->name + " has no operation \"" + std::string(operationName) + "\"; it has";
  for (const Operation& operation : found->operations) error += " " + operation.name;
  return nullptr;
}

std::string Catalogue::ShortName(const Operation& operation) const {
  const std::string_view full = operation.interfaceName;
  for (std::size_t dots = 0;; ++dots) {
    const std::string_view tail = TailAfterDots(full, dots);
    if (tail.size() == full.size() || Matching(tail).size() == 1) {
      return std::string(tail) + "." + operation.name;
    }
  }
}

std::vector<const Structure*> Catalogue::Reachable(
    const std::vector<const TypeShape*>& shapes) const {
  std::vector<const Structure*> found;
  std::vector<const TypeShape*> pending(shapes.rbegin(), shapes.rend());
  while (!pending.empty()) {
    const TypeShape* shape = pending.back();
    pending.pop_back();
    if (shape->base != TypeShape::Base::kStructure) continue;
    const Structure* structure = FindStructure(shape->name);
    if (structure == nullptr) continue;
    bool seen = false;
    for (const Structure* known : found) seen = seen || known == structure;
    if (seen) continue;
    found.push_back(structure);
    for (auto member = structure->members.rbegin(); member != structure->members.rend(); ++member) {
      pending.push_back(&member->type);
    }
  }
  return found;
}

std::string ShapeText(const TypeShape& shape) {
  std::string text;
  for (TypeShape::Wrapper wrapper : shape.wrappers) {
    text += wrapper == TypeShape::Wrapper::kOptional ? "optional<"
            : wrapper == TypeShape::Wrapper::kList   ? "list<"
                                                     : "set<";
  }
  switch (shape.base) {
    case TypeShape::Base::kVoid:
      text += "void";
      break;
    case TypeShape::Base::kInteger:
      text += "integer";
      break;
    case TypeShape::Base::kDouble:
      text += "double";
      break;
    case TypeShape::Base::kBoolean:
      text += "boolean";
      break;
    case TypeShape::Base::kString:
      text += shape.name.empty() ? "string" : shape.name;
      break;
    case TypeShape::Base::kBlob:
      text += "blob";
      break;
    case TypeShape::Base::kSecret:
      text += "secret";
      break;
    case TypeShape::Base::kStructure:
      text += shape.name;
      break;
  }
  text.append(shape.wrappers.size(), '>');
  return text;
}

}  // namespace Tavo::Tool
