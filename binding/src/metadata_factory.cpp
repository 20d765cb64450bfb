#include <quil/metadata_factory.h>

#include <string>

namespace Quil::Metadata {

std::shared_ptr<StructInfo> MakeStructInfo(std::string_view name, const ResourceField* resources,
                                           std::size_t count) {
  FieldInfoMap fields;
  for (std::size_t i = 0; i < count; ++i) {
    auto field = std::make_shared<FieldInfo>();
    field->resourceType = std::string(resources[i][1]);
    fields[std::string(resources[i][0])] = std::move(field);
  }
  auto info = std::make_shared<StructInfo>();
  info->name = std::string(name);
  info->fields = std::move(fields);
  return info;
}

}  // namespace Quil::Metadata
