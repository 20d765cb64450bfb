// Values as a tree, for the framework's own sources: the children of each kind of value and the
// internal access to their storage. A new kind of value with children is listed in
// `ValueChildren` and given its node behaviour in value_tree.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include <quil/data/value.h>

#include "tree_walk.h"

namespace Quil::Data {

struct ValueAccess {
  static const Detail::StableVector<DataValuePtr>& Elements(const ListValue& value) {
    return value.elements_;
  }
  static const CompoundValue::Fields& Fields(const CompoundValue& value) { return value.fields_; }
  // Appends a field known to be absent, skipping the search; `Name` is std::string_view or
  // StaticText.
  template <typename Name>
  static CompoundValue::Field& Append(CompoundValue& value, Name name, DataValuePtr field) {
    return value.Append(name, std::move(field));
  }
};

using ValueChild = Quil::Detail::TreeChild<DataValue>;

// The children of a value in order: an optional's content when it is set, a list's elements,
// a structure's or an error's fields labelled with their names.
class ValueChildren {
 public:
  using Elements = Detail::StableVector<DataValuePtr>;
  using Fields = CompoundValue::Fields;

  ValueChildren() = default;
  explicit ValueChildren(const DataValue& value) {
    switch (value.GetType().GetType()) {
      case DataType::OPTIONAL: {
        const auto& optional = static_cast<const OptionalValue&>(value);
        if (optional.IsSet()) *this = Of(optional.GetValue());
        break;
      }
      case DataType::LIST:
        *this = Of(ValueAccess::Elements(static_cast<const ListValue&>(value)));
        break;
      case DataType::STRUCTURE:
      case DataType::ERROR:
        *this = Of(ValueAccess::Fields(static_cast<const CompoundValue&>(value)));
        break;
      default:
        break;
    }
  }

  // From the storage itself, for the destructors, which cannot ask the value for its kind.
  static ValueChildren Of(const DataValuePtr& content) {
    ValueChildren children;
    children.source_ = Source::kContent;
    children.remaining_ = 1;
    children.content_ = &content;
    return children;
  }
  static ValueChildren Of(const Elements& elements) {
    ValueChildren children;
    children.source_ = Source::kElements;
    children.remaining_ = elements.Size();
    children.elements_ = Elements::Cursor(elements);
    return children;
  }
  static ValueChildren Of(const Fields& fields) {
    ValueChildren children;
    children.source_ = Source::kFields;
    children.remaining_ = fields.Size();
    children.fields_ = Fields::Cursor(fields);
    return children;
  }

  bool Done() const { return remaining_ == 0; }
  bool Next(ValueChild& child) {
    if (remaining_ == 0) return false;
    --remaining_;
    switch (source_) {
      case Source::kContent:
        child = {content_, {}};
        break;
      case Source::kElements:
        child = {&elements_.Next(), {}};
        break;
      case Source::kFields: {
        const CompoundValue::Field& field = fields_.Next();
        child = {&field.value, field.name};
        break;
      }
    }
    return true;
  }

 private:
  enum class Source : std::uint8_t { kContent, kElements, kFields };

  Source source_ = Source::kContent;
  std::size_t remaining_ = 0;
  const DataValuePtr* content_ = nullptr;
  Elements::Cursor elements_;
  Fields::Cursor fields_;
};

// Values are never held weakly.
struct ValueTree {
  using Node = DataValue;
  using Children = ValueChildren;
  static bool SameNode(const DataValue& a, const DataValue& b);
  static const DataValuePtr* FindChild(const DataValue& value, std::string_view label);
  static void Open(std::string& out, const DataValue& value);
  static void Close(std::string& out, const DataValue& value);
};

}  // namespace Quil::Data
