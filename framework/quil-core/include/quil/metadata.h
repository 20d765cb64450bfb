// Structure metadata: a description of a native structure by a name and, per described field, the
// resource type of the identifiers that the field holds.
//
// `StructInfo::Create<T>()` exists only for the structures whose descriptions declare metadata;
// each call builds a new description, so two calls give distinct, equal objects:
//
//   auto info = Quil::Metadata::StructInfo::Create<CdromSvc::FilterSpec>();
//   info->name;                                // "com.korvan.tavo.vm.device.Cdrom.FilterSpec"
//   info->fields.at("cdroms")->resourceType;   // "Resources.VIRTUAL_CDROM"
//
// Descriptions are created mutable and then shared through pointers to const; they are never held
// by weak pointers. Comparing and destroying nested field descriptions never recurses on the call
// stack, however deep the nesting.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <boost/optional.hpp>

#include <quil/export.h>

namespace Quil::Metadata {

struct FieldInfo;

namespace Detail {
template <typename T>
inline constexpr bool kHasMetadata = false;  // dependent, so that only a use of Create fails
}  // namespace Detail

// Field descriptions by field wire name.
using FieldInfoMap = std::map<std::string, std::shared_ptr<const FieldInfo>>;

// The description of one field.
struct QUIL_CORE_API FieldInfo {
  std::int64_t number = 0;
  bool flag = false;
  // The resource type of the identifiers the field holds.
  std::string resourceType;
  FieldInfoMap fields;
  boost::optional<std::string> extra;

  FieldInfo() = default;
  FieldInfo(const FieldInfo&) = default;
  FieldInfo(FieldInfo&&) = default;
  FieldInfo& operator=(const FieldInfo&) = default;
  FieldInfo& operator=(FieldInfo&&) = default;
  // Takes apart nested descriptions that only this one refers to, without recursion.
  ~FieldInfo();
};

// The description of one structure.
struct QUIL_CORE_API StructInfo {
  std::int64_t number = 0;
  // The structure's metadata name.
  std::string name;
  boost::optional<std::string> extra;
  FieldInfoMap fields;

  StructInfo() = default;
  StructInfo(const StructInfo&) = default;
  StructInfo(StructInfo&&) = default;
  StructInfo& operator=(const StructInfo&) = default;
  StructInfo& operator=(StructInfo&&) = default;
  ~StructInfo();

  // The description of the structure T, built anew. Specialised (and exported) by the library
  // that defines T, for the structures that have metadata only.
  template <typename T>
  static std::shared_ptr<StructInfo> Create() {
    static_assert(Detail::kHasMetadata<T>, "the structure has no metadata");
    return nullptr;
  }
};

// Equal when every member is equal; field descriptions compare by content, so two separately
// built descriptions of the same structure are equal. A null field description equals only null.
QUIL_CORE_API bool operator==(const FieldInfo& a, const FieldInfo& b);
QUIL_CORE_API bool operator==(const StructInfo& a, const StructInfo& b);
inline bool operator!=(const FieldInfo& a, const FieldInfo& b) { return !(a == b); }
inline bool operator!=(const StructInfo& a, const StructInfo& b) { return !(a == b); }

}  // namespace Quil::Metadata
