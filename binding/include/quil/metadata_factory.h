// What the generated `Quil::Metadata::StructInfo::Create<T>()` specialisations are made of: the
// structure's facts (its metadata name and its table of identifier fields with their resource
// types, `T::Metadata`) handed to one function that builds the description.
//
//   template <>
//   std::shared_ptr<StructInfo> StructInfo::Create<DiskSvc::AddSpec>() {
//     return MakeStructInfo(DiskSvc::AddSpec::Metadata::name,
//                           DiskSvc::AddSpec::Metadata::resourceTypes);
//   }
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include <quil/export.h>
#include <quil/metadata.h>

namespace Quil::Metadata {

// One described field: its wire name, then the resource type of the identifiers it holds.
using ResourceField = std::string_view[2];

// A new description named `name` with one field description per entry of `resources`, in table
// order (a later entry replaces an earlier one of the same field). Every other member is zero,
// false, unset or empty.
// Exported: generated code compiled outside the library (services of tests or of users) calls it.
TAVO_VM_API std::shared_ptr<StructInfo> MakeStructInfo(std::string_view name,
                                                       const ResourceField* resources,
                                                       std::size_t count);

template <std::size_t N>
std::shared_ptr<StructInfo> MakeStructInfo(std::string_view name,
                                           const ResourceField (&resources)[N]) {
  return MakeStructInfo(name, resources, N);
}

}  // namespace Quil::Metadata
