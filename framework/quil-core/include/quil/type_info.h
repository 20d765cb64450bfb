// Per-type facts of native types: `TypeInfo<T>` is specialised for every native structure,
// input record, enumeration and service interface.
#pragma once

#include <string>

#include <quil/export.h>
#include <quil/types.h>

namespace Quil {

template <typename T>
struct TypeInfo;

// The name that the framework gives every operation input.
template <>
struct QUIL_CORE_API TypeInfo<OperationInput> {
  static std::string name();
};

}  // namespace Quil
