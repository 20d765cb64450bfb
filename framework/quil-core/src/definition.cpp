#include <quil/data/definition.h>

#include <cassert>
#include <string>
#include <utility>

#include "definition_tree.h"

namespace Quil::Data {

namespace {

template <typename DefinitionClass>
const DefinitionClass& As(const DataDefinition& definition) {
  return static_cast<const DefinitionClass&>(definition);
}

template <typename Storage>
void ReleaseChildren(const Storage& children) {
  Quil::Detail::ReleaseChildren<DefinitionTree>(DefinitionChildren::Of(children));
}

[[maybe_unused]] bool IsPrimitive(DataType type) {
  switch (type.GetType()) {
    case DataType::VOID:
    case DataType::INTEGER:
    case DataType::DOUBLE:
    case DataType::BOOLEAN:
    case DataType::STRING:
    case DataType::BLOB:
    case DataType::SECRET:
      return true;
    default:
      return false;
  }
}

}  // namespace

DataDefinition::~DataDefinition() = default;

template <>
DataDefinitionPtr DataDefinition::Create<std::int64_t>() {
  return PrimitiveDefinition::GetInstance(DataType::INTEGER);
}
template <>
DataDefinitionPtr DataDefinition::Create<bool>() {
  return PrimitiveDefinition::GetInstance(DataType::BOOLEAN);
}
template <>
DataDefinitionPtr DataDefinition::Create<std::string>() {
  return PrimitiveDefinition::GetInstance(DataType::STRING);
}
template <>
DataDefinitionPtr DataDefinition::Create<double>() {
  return PrimitiveDefinition::GetInstance(DataType::DOUBLE);
}
template <>
DataDefinitionPtr DataDefinition::Create<Void>() {
  return PrimitiveDefinition::GetInstance(DataType::VOID);
}

std::shared_ptr<const PrimitiveDefinition> PrimitiveDefinition::GetInstance(DataType type) {
  assert(IsPrimitive(type) && "a primitive definition needs a primitive kind");
  return std::make_shared<PrimitiveDefinition>(type);
}

std::shared_ptr<const OptionalDefinition> OptionalDefinition::GetInstance(
    DataDefinitionPtr element) {
  return std::make_shared<OptionalDefinition>(std::move(element));
}
OptionalDefinition::~OptionalDefinition() { ReleaseChildren(element_); }
DataType OptionalDefinition::GetType() const { return DataType::OPTIONAL; }

std::shared_ptr<const ListDefinition> ListDefinition::GetInstance(DataDefinitionPtr element,
                                                                  ListValue::Kind kind) {
  return std::make_shared<ListDefinition>(std::move(element), kind);
}
ListDefinition::~ListDefinition() { ReleaseChildren(element_); }
DataType ListDefinition::GetType() const { return DataType::LIST; }

std::shared_ptr<const StructDefinition> StructDefinition::GetInstance(std::string name,
                                                                      FieldDefinitions fields) {
  return std::make_shared<StructDefinition>(std::move(name), std::move(fields));
}
StructDefinition::~StructDefinition() { ReleaseChildren(fields_); }
DataDefinitionPtr StructDefinition::GetField(std::string_view name) const {
  auto found = fields_.find(name);
  return found == fields_.end() ? nullptr : found->second;
}
DataType StructDefinition::GetType() const { return DataType::STRUCTURE; }

std::shared_ptr<const ErrorDefinition> ErrorDefinition::GetInstance(std::string name,
                                                                    FieldDefinitions fields) {
  return std::make_shared<ErrorDefinition>(std::move(name), std::move(fields));
}
DataType ErrorDefinition::GetType() const { return DataType::ERROR; }

std::shared_ptr<StructRefDefinition> StructRefDefinition::GetInstance(std::string name) {
  return std::make_shared<StructRefDefinition>(std::move(name));
}
DataType StructRefDefinition::GetType() const { return DataType::STRUCT_REF; }

std::shared_ptr<const UnionCaseDefinition> UnionCaseDefinition::GetInstance(
    DataDefinitionPtr element, std::string tagField, Predicate predicate) {
  return std::make_shared<UnionCaseDefinition>(std::move(element), std::move(tagField),
                                               std::move(predicate));
}
UnionCaseDefinition::~UnionCaseDefinition() { ReleaseChildren(element_); }
DataType UnionCaseDefinition::GetType() const { return DataType::UNION_CASE; }

bool DefinitionTree::SameNode(const DataDefinition& a, const DataDefinition& b) {
  const DataType kind = a.GetType();
  if (kind != b.GetType()) return false;
  switch (kind.GetType()) {
    case DataType::LIST:
      return As<ListDefinition>(a).GetKind() == As<ListDefinition>(b).GetKind();
    case DataType::STRUCTURE:
    case DataType::ERROR:
      return As<StructDefinition>(a).GetName() == As<StructDefinition>(b).GetName() &&
             As<StructDefinition>(a).GetFields().size() ==
                 As<StructDefinition>(b).GetFields().size();
    case DataType::STRUCT_REF:
      // A reference stands for its structure by name; following it could loop.
      return As<StructRefDefinition>(a).GetName() == As<StructRefDefinition>(b).GetName();
    case DataType::UNION_CASE:
      return As<UnionCaseDefinition>(a).GetTagField() == As<UnionCaseDefinition>(b).GetTagField() &&
             As<UnionCaseDefinition>(a).PredicateType() ==
                 As<UnionCaseDefinition>(b).PredicateType();
    default:
      return true;  // optionals: the element is everything; primitives: the kind is
  }
}

const DataDefinitionPtr* DefinitionTree::FindChild(const DataDefinition& definition,
                                                   std::string_view label) {
  const FieldDefinitions& fields = As<StructDefinition>(definition).GetFields();
  auto found = fields.find(label);
  return found == fields.end() ? nullptr : &found->second;
}

void DefinitionTree::Open(std::string& out, const DataDefinition& definition) {
  const DataType kind = definition.GetType();
  switch (kind.GetType()) {
    case DataType::OPTIONAL:
      out += "optional<";
      break;
    case DataType::LIST:
      out += As<ListDefinition>(definition).GetKind() == ListValue::Kind::SET ? "set<" : "list<";
      break;
    case DataType::STRUCTURE:
    case DataType::ERROR:
      out += kind.Name();
      out += ' ';
      out += As<StructDefinition>(definition).GetName();
      out += '{';
      break;
    case DataType::STRUCT_REF:
      out += "ref ";
      out += As<StructRefDefinition>(definition).GetName();
      break;
    case DataType::UNION_CASE:
      out += "union_case(";
      out += As<UnionCaseDefinition>(definition).GetTagField();
      out += ")<";
      break;
    default:
      out += kind.Name();
  }
}

void DefinitionTree::Close(std::string& out, const DataDefinition& definition) {
  switch (definition.GetType().GetType()) {
    case DataType::OPTIONAL:
    case DataType::LIST:
    case DataType::UNION_CASE:
      out += '>';
      break;
    case DataType::STRUCTURE:
    case DataType::ERROR:
      out += '}';
      break;
    default:
      break;
  }
}

bool Equals(const DataDefinition* a, const DataDefinition* b) {
  return Quil::Detail::SameTrees<DefinitionTree>(a, b);
}

std::string ToText(const DataDefinition* definition) {
  return Quil::Detail::TreeText<DefinitionTree>(definition);
}

}  // namespace Quil::Data
