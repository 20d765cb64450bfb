#include <quil/data/definition.h>

#include <algorithm>
#include <cassert>
#include <string>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "iterative_release.h"

namespace Quil::Data {

struct DefinitionAccess {
  static DataDefinitionPtr& Element(OptionalDefinition& definition) { return definition.element_; }
  static DataDefinitionPtr& Element(ListDefinition& definition) { return definition.element_; }
  static DataDefinitionPtr& Element(UnionCaseDefinition& definition) { return definition.element_; }
  static FieldDefinitions& Fields(StructDefinition& definition) { return definition.fields_; }
};

namespace {

using ReleaseList = Quil::Detail::ReleaseList<DataDefinition>;

template <typename DefinitionClass>
const DefinitionClass& As(const DataDefinition& definition) {
  return static_cast<const DefinitionClass&>(definition);
}

bool HasChildren(DataType type) {
  switch (type.GetType()) {
    case DataType::OPTIONAL:
    case DataType::LIST:
    case DataType::STRUCTURE:
    case DataType::ERROR:
    case DataType::UNION_CASE:
      return true;
    default:
      return false;
  }
}

// Moves the children of a definition nobody else holds into `work`, so that its own destructor
// finds none and the depth of the tree never reaches the call stack.
void TakeChildren(DataDefinition& definition, ReleaseList& work) {
  auto take = [&work](DataDefinitionPtr& child) {
    if (child) work.push_back(std::move(child));
  };
  switch (definition.GetType().GetType()) {
    case DataType::OPTIONAL:
      take(DefinitionAccess::Element(static_cast<OptionalDefinition&>(definition)));
      break;
    case DataType::LIST:
      take(DefinitionAccess::Element(static_cast<ListDefinition&>(definition)));
      break;
    case DataType::UNION_CASE:
      take(DefinitionAccess::Element(static_cast<UnionCaseDefinition&>(definition)));
      break;
    case DataType::STRUCTURE:
    case DataType::ERROR:
      for (auto& field : DefinitionAccess::Fields(static_cast<StructDefinition&>(definition))) {
        take(field.second);
      }
      break;
    default:
      break;
  }
}

// The only weak references to definitions are structure references, whose targets their
// holders keep alive.
struct DefinitionTree {
  using Node = DataDefinition;
  static bool HasChildren(const DataDefinition& definition) {
    return Quil::Data::HasChildren(definition.GetType());
  }
  static void TakeChildren(DataDefinition& definition, ReleaseList& work) {
    Quil::Data::TakeChildren(definition, work);
  }
};

void ReleaseOne(DataDefinitionPtr& child) { Quil::Detail::ReleaseOne<DefinitionTree>(child); }

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
OptionalDefinition::~OptionalDefinition() { ReleaseOne(element_); }
DataType OptionalDefinition::GetType() const { return DataType::OPTIONAL; }

std::shared_ptr<const ListDefinition> ListDefinition::GetInstance(DataDefinitionPtr element,
                                                                  ListValue::Kind kind) {
  return std::make_shared<ListDefinition>(std::move(element), kind);
}
ListDefinition::~ListDefinition() { ReleaseOne(element_); }
DataType ListDefinition::GetType() const { return DataType::LIST; }

std::shared_ptr<const StructDefinition> StructDefinition::GetInstance(std::string name,
                                                                      FieldDefinitions fields) {
  return std::make_shared<StructDefinition>(std::move(name), std::move(fields));
}
StructDefinition::~StructDefinition() {
  for (auto& field : fields_) ReleaseOne(field.second);
}
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
UnionCaseDefinition::~UnionCaseDefinition() { ReleaseOne(element_); }
DataType UnionCaseDefinition::GetType() const { return DataType::UNION_CASE; }

bool Equals(const DataDefinition* a, const DataDefinition* b) {
  using Pair = std::pair<const DataDefinition*, const DataDefinition*>;
  boost::container::small_vector<Pair, 16> pending;
  pending.emplace_back(a, b);
  while (!pending.empty()) {
    auto [x, y] = pending.back();
    pending.pop_back();
    if (x == y) continue;  // the same object, or both null
    if (x == nullptr || y == nullptr) return false;
    DataType kind = x->GetType();
    if (kind != y->GetType()) return false;

    switch (kind.GetType()) {
      case DataType::OPTIONAL:
        pending.emplace_back(As<OptionalDefinition>(*x).GetElementType().get(),
                             As<OptionalDefinition>(*y).GetElementType().get());
        break;
      case DataType::LIST:
        if (As<ListDefinition>(*x).GetKind() != As<ListDefinition>(*y).GetKind()) return false;
        pending.emplace_back(As<ListDefinition>(*x).GetElementType().get(),
                             As<ListDefinition>(*y).GetElementType().get());
        break;
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& first = As<StructDefinition>(*x);
        const auto& second = As<StructDefinition>(*y);
        if (first.GetName() != second.GetName()) return false;
        const FieldDefinitions& fields = first.GetFields();
        const FieldDefinitions& others = second.GetFields();
        if (fields.size() != others.size()) return false;
        // Both maps are ordered by name, so equal field sets line up.
        for (auto field = fields.begin(), other = others.begin(); field != fields.end();
             ++field, ++other) {
          if (field->first != other->first) return false;
          pending.emplace_back(field->second.get(), other->second.get());
        }
        break;
      }
      case DataType::STRUCT_REF:
        // A reference stands for its structure by name; following it could loop.
        if (As<StructRefDefinition>(*x).GetName() != As<StructRefDefinition>(*y).GetName()) {
          return false;
        }
        break;
      case DataType::UNION_CASE: {
        const auto& first = As<UnionCaseDefinition>(*x);
        const auto& second = As<UnionCaseDefinition>(*y);
        if (first.GetTagField() != second.GetTagField() ||
            first.PredicateType() != second.PredicateType()) {
          return false;
        }
        pending.emplace_back(first.GetElementType().get(), second.GetElementType().get());
        break;
      }
      default:
        break;  // primitives: the kind is everything
    }
  }
  return true;
}

namespace {

struct PrintStep {
  const DataDefinition* definition;
  std::string_view text;
  bool isText;
};

}  // namespace

std::string ToText(const DataDefinition* root) {
  std::string out;
  std::vector<PrintStep> steps;
  steps.push_back({root, {}, false});
  auto text = [&steps](std::string_view piece) { steps.push_back({nullptr, piece, true}); };
  auto definition = [&steps](const DataDefinition* child) { steps.push_back({child, {}, false}); };

  while (!steps.empty()) {
    PrintStep step = steps.back();
    steps.pop_back();
    if (step.isText) {
      out += step.text;
      continue;
    }
    const DataDefinition* current = step.definition;
    if (current == nullptr) {
      out += "null";
      continue;
    }
    // Children are queued in reading order and then reversed, as the stack pops the last first.
    std::size_t queuedFrom = steps.size();
    DataType kind = current->GetType();
    switch (kind.GetType()) {
      case DataType::OPTIONAL:
        out += "optional<";
        definition(As<OptionalDefinition>(*current).GetElementType().get());
        text(">");
        break;
      case DataType::LIST:
        out += As<ListDefinition>(*current).GetKind() == ListValue::Kind::SET ? "set<" : "list<";
        definition(As<ListDefinition>(*current).GetElementType().get());
        text(">");
        break;
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& structure = As<StructDefinition>(*current);
        out += kind.Name();
        out += ' ';
        out += structure.GetName();
        out += '{';
        bool first = true;
        for (const auto& [name, field] : structure.GetFields()) {
          if (!first) text(", ");
          first = false;
          text(name);
          text(": ");
          definition(field.get());
        }
        text("}");
        break;
      }
      case DataType::STRUCT_REF:
        out += "ref ";
        out += As<StructRefDefinition>(*current).GetName();
        break;
      case DataType::UNION_CASE: {
        const auto& unionCase = As<UnionCaseDefinition>(*current);
        out += "union_case(";
        out += unionCase.GetTagField();
        out += ")<";
        definition(unionCase.GetElementType().get());
        text(">");
        break;
      }
      default:
        out += kind.Name();
    }
    std::reverse(steps.begin() + static_cast<std::ptrdiff_t>(queuedFrom), steps.end());
  }
  return out;
}

}  // namespace Quil::Data
