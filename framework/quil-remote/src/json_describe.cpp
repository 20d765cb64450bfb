#include <quil/remote/json.h>

#include <utility>
#include <vector>

namespace Quil::Remote::Json {

namespace {

using Data::DataDefinition;
using Data::DataType;

const DataDefinition* ElementOf(const DataDefinition& definition) {
  switch (definition.GetType().GetType()) {
    case DataType::OPTIONAL:
      return static_cast<const Data::OptionalDefinition&>(definition).GetElementType().get();
    case DataType::LIST:
      return static_cast<const Data::ListDefinition&>(definition).GetElementType().get();
    default:
      return static_cast<const Data::UnionCaseDefinition&>(definition).GetElementType().get();
  }
}

}  // namespace

boost::json::value DescribeDefinition(const Data::DataDefinition& definition) {
  return DescribeDefinition(definition, {});
}

boost::json::value DescribeDefinition(const Data::DataDefinition& definition,
                                      boost::json::storage_ptr storage) {
  boost::json::value root(std::move(storage));
  // Each node's object gets all its members before any child is described, so that the slots
  // queued for its children never move.
  std::vector<std::pair<const DataDefinition*, boost::json::value*>> work{{&definition, &root}};
  while (!work.empty()) {
    const auto [current, slot] = work.back();
    work.pop_back();
    if (current == nullptr) continue;  // the slot stays null
    boost::json::object& object = slot->emplace_object();
    const DataType kind = current->GetType();
    switch (kind.GetType()) {
      case DataType::OPTIONAL:
      case DataType::LIST:
      case DataType::UNION_CASE: {
        const bool set = kind == DataType::LIST &&
                         static_cast<const Data::ListDefinition&>(*current).GetKind() ==
                             Data::ListValue::Kind::SET;
        object["type"] = kind == DataType::OPTIONAL     ? "optional"
                         : kind == DataType::UNION_CASE ? "union_case"
                         : set                          ? "set"
                                                        : "list";
        if (kind == DataType::UNION_CASE) {
          object["tag_field"] =
              static_cast<const Data::UnionCaseDefinition&>(*current).GetTagField();
        }
        object["element"] = nullptr;
        work.emplace_back(ElementOf(*current), &object["element"]);
        break;
      }
      case DataType::STRUCTURE:
      case DataType::ERROR: {
        const auto& structure = static_cast<const Data::StructDefinition&>(*current);
        object["type"] = kind == DataType::ERROR ? "error" : "structure";
        object["name"] = structure.GetName();
        boost::json::object& fields = object["fields"].emplace_object();
        fields.reserve(structure.GetFields().size());
        for (const auto& field : structure.GetFields()) fields[field.first] = nullptr;
        for (const auto& field : structure.GetFields()) {
          work.emplace_back(field.second.get(), &fields[field.first]);
        }
        break;
      }
      case DataType::STRUCT_REF:
        object["type"] = "structure_ref";
        object["name"] = static_cast<const Data::StructRefDefinition&>(*current).GetName();
        break;
      default:
        object["type"] = kind.Name();
    }
  }
  return root;
}

}  // namespace Quil::Remote::Json
