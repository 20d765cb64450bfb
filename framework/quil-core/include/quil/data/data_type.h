// The kind codes shared by dynamic values and data definitions.
#pragma once

#include <cstdint>

#include <quil/export.h>

namespace Quil::Data {

class QUIL_CORE_API DataType {
 public:
  // One code per kind. Values use every code but STRUCT_REF and UNION_CASE, which exist only as
  // definitions. Three codes denote structures: STRUCTURE (15), ERROR (6, an error value is a
  // structure named after the error) and STRUCT_REF (9, a reference to a structure definition,
  // whose values are structures).
  enum EnumType : std::int32_t {
    VOID = 1,
    INTEGER = 2,
    DOUBLE = 3,
    BOOLEAN = 4,
    STRING = 5,
    ERROR = 6,
    OPTIONAL = 7,
    LIST = 8,
    STRUCT_REF = 9,
    BLOB = 10,
    SECRET = 11,
    UNION_CASE = 12,
    STRUCTURE = 15,
  };

  constexpr DataType(EnumType type) : type_(type) {}  // NOLINT: implicit by design

  constexpr EnumType GetType() const { return type_; }
  constexpr bool IsStructure() const {
    return type_ == STRUCTURE || type_ == ERROR || type_ == STRUCT_REF;
  }
  // Lower-case name of the kind, for messages ("string", "structure", ...).
  const char* Name() const;

  friend constexpr bool operator==(DataType a, DataType b) { return a.type_ == b.type_; }
  friend constexpr bool operator!=(DataType a, DataType b) { return a.type_ != b.type_; }

 private:
  EnumType type_;
};

}  // namespace Quil::Data
