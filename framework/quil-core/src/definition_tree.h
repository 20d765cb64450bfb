// Definitions as a tree, for the framework's own sources. A new kind of definition with
// children is listed in `DefinitionChildren` and given its node behaviour in definition.cpp.
#pragma once

#include <string>
#include <string_view>

#include <quil/data/definition.h>

#include "tree_walk.h"

namespace Quil::Data {

using DefinitionChild = Quil::Detail::TreeChild<DataDefinition>;

// The children of a definition in order: the element of an optional, a list or a union case,
// the fields of a structure or an error labelled with their names. A reference has none: it is
// never followed.
class DefinitionChildren {
 public:
  DefinitionChildren() = default;
  explicit DefinitionChildren(const DataDefinition& definition) {
    switch (definition.GetType().GetType()) {
      case DataType::OPTIONAL:
        element_ = &static_cast<const OptionalDefinition&>(definition).GetElementType();
        break;
      case DataType::LIST:
        element_ = &static_cast<const ListDefinition&>(definition).GetElementType();
        break;
      case DataType::UNION_CASE:
        element_ = &static_cast<const UnionCaseDefinition&>(definition).GetElementType();
        break;
      case DataType::STRUCTURE:
      case DataType::ERROR:
        *this = Of(static_cast<const StructDefinition&>(definition).GetFields());
        break;
      default:
        break;
    }
  }

  // From the storage itself, for the destructors, which cannot ask the definition for its kind.
  static DefinitionChildren Of(const DataDefinitionPtr& element) {
    DefinitionChildren children;
    children.element_ = &element;
    return children;
  }
  static DefinitionChildren Of(const FieldDefinitions& fields) {
    DefinitionChildren children;
    children.field_ = fields.begin();
    children.end_ = fields.end();
    return children;
  }

  bool Done() const { return element_ == nullptr && field_ == end_; }
  bool Next(DefinitionChild& child) {
    if (element_ != nullptr) {
      child = {element_, {}};
      element_ = nullptr;
      return true;
    }
    if (field_ == end_) return false;
    child = {&field_->second, field_->first};
    ++field_;
    return true;
  }

 private:
  const DataDefinitionPtr* element_ = nullptr;
  FieldDefinitions::const_iterator field_{}, end_{};
};

// The only weak references to definitions are structure references, whose targets their
// holders keep alive.
struct DefinitionTree {
  using Node = DataDefinition;
  using Children = DefinitionChildren;
  static bool SameNode(const DataDefinition& a, const DataDefinition& b);
  static const DataDefinitionPtr* FindChild(const DataDefinition& definition,
                                            std::string_view label);
  static void Open(std::string& out, const DataDefinition& definition);
  static void Close(std::string& out, const DataDefinition& definition);
};

}  // namespace Quil::Data
