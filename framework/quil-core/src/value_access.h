// Internal access to the storage of values, for the framework's own sources only.
#pragma once

#include <string_view>
#include <utility>

#include <quil/data/value.h>

namespace Quil::Data {

struct ValueAccess {
  static DataValuePtr& Content(OptionalValue& value) { return value.content_; }
  static Detail::StableVector<DataValuePtr>& Elements(ListValue& value) { return value.elements_; }
  static Detail::StableVector<CompoundValue::Field>& Fields(CompoundValue& value) {
    return value.fields_;
  }
  // Appends a field known to be absent, skipping the search.
  static CompoundValue::Field& Append(CompoundValue& value, std::string_view name,
                                      DataValuePtr field) {
    return value.Append(name, std::move(field));
  }
};

}  // namespace Quil::Data
