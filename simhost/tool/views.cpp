#include "views.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>
#include <vector>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/serialize.hpp>

namespace Tavo::Tool {
namespace {

namespace json = boost::json;

std::string Padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string Joined(const std::vector<std::string>& texts, const char* separator) {
  std::string joined;
  for (const std::string& text : texts) joined += (joined.empty() ? "" : separator) + text;
  return joined;
}

std::string InterfaceShortName(const Catalogue& catalogue, const Interface& interface) {
  if (interface.operations.empty()) return interface.name;
  const std::string name = catalogue.ShortName(interface.operations.front());
  return name.substr(0, name.rfind('.'));
}

// "add(backing, device, vm) -> string"; a parameter that may be left out ends in "?".
std::string Signature(const Operation& operation) {
  std::string text = operation.name + "(";
  for (std::size_t i = 0; i < operation.input.size(); ++i) {
    text +=
        (i == 0 ? "" : ", ") + operation.input[i].name + (operation.input[i].optional ? "?" : "");
  }
  return text + ") -> " + ShapeText(operation.output);
}

std::string CasesText(const UnionCases& cases) {
  std::string text;
  if (!cases.required.empty())
    text += "required when " + cases.tagField + " is " + Joined(cases.required, " or ");
  if (!cases.allowed.empty()) {
    text += (text.empty() ? "" : "; ") + std::string("allowed when ") + cases.tagField + " is " +
            Joined(cases.allowed, " or ");
  }
  return text + (text.empty() ? "" : "; ") + "absent otherwise";
}

void AppendMembers(std::string& text, const std::vector<Member>& members, const char* indent) {
  std::size_t width = 0;
  for (const Member& member : members) width = std::max(width, member.name.size());
  std::size_t typeWidth = 0;
  for (const Member& member : members)
    typeWidth = std::max(typeWidth, ShapeText(member.type).size());
  for (const Member& member : members) {
    text += indent + Padded(member.name, width + 2) + Padded(ShapeText(member.type), typeWidth + 2);
    text += member.cases      ? CasesText(*member.cases)
            : member.optional ? "may be left out"
                              : "required";
    text += "\n";
  }
}

// The structures and enumerations an operation's input and output name, in the order met.
void TypesOf(const Catalogue& catalogue, const Operation& operation,
             std::vector<const Structure*>& structures,
             std::vector<const Enumeration*>& enumerations) {
  std::vector<const TypeShape*> shapes;
  for (const Member& member : operation.input) shapes.push_back(&member.type);
  shapes.push_back(&operation.output);
  structures = catalogue.Reachable(shapes);
  for (const Structure* structure : structures) {
    for (const Member& member : structure->members) shapes.push_back(&member.type);
  }
  std::set<std::string> seen;
  for (const TypeShape* shape : shapes) {
    if (shape->base != TypeShape::Base::kString || shape->name.empty()) continue;
    const Enumeration* enumeration = catalogue.FindEnumeration(shape->name);
    if (enumeration != nullptr && seen.insert(enumeration->name).second) {
      enumerations.push_back(enumeration);
    }
  }
}

std::string OperationText(const Catalogue& catalogue, const Operation& operation) {
  std::string text = operation.FullName() + "  (" + catalogue.ShortName(operation) + ")\n";
  text += operation.input.empty() ? "  input: nothing\n" : "  input:\n";
  AppendMembers(text, operation.input, "    ");
  text += "  output: " + ShapeText(operation.output) + "\n";
  text += operation.errors.empty() ? "  errors: none declared\n" : "  errors, in declared order:\n";
  for (const std::string& error : operation.errors) text += "    " + error + "\n";
  std::vector<const Structure*> structures;
  std::vector<const Enumeration*> enumerations;
  TypesOf(catalogue, operation, structures, enumerations);
  for (const Structure* structure : structures) {
    std::string tag;
    for (const Member& member : structure->members) {
      if (member.cases) tag = member.cases->tagField;
    }
    text += "  " + structure->name + (tag.empty() ? "" : ", a union on \"" + tag + "\"") + ":\n";
    AppendMembers(text, structure->members, "    ");
  }
  for (const Enumeration* enumeration : enumerations) {
    text += "  " + enumeration->name + ": " + Joined(enumeration->values, ", ") + "\n";
  }
  return text;
}

std::string InterfaceText(const Catalogue& catalogue, const Interface& interface) {
  std::string text = interface.name + "  (" + InterfaceShortName(catalogue, interface) + ")\n";
  for (const Operation& operation : interface.operations)
    text += "  " + Signature(operation) + "\n";
  return text;
}

json::value ShapeJson(const TypeShape& shape) {
  json::object base;
  switch (shape.base) {
    case TypeShape::Base::kVoid:
      base["type"] = "void";
      break;
    case TypeShape::Base::kInteger:
      base["type"] = "integer";
      break;
    case TypeShape::Base::kDouble:
      base["type"] = "double";
      break;
    case TypeShape::Base::kBoolean:
      base["type"] = "boolean";
      break;
    case TypeShape::Base::kString:
      base["type"] = "string";
      if (!shape.name.empty()) base["enumeration"] = shape.name;
      break;
    case TypeShape::Base::kBlob:
      base["type"] = "blob";
      break;
    case TypeShape::Base::kSecret:
      base["type"] = "secret";
      break;
    case TypeShape::Base::kStructure:
      base["type"] = "structure";
      base["name"] = shape.name;
      break;
  }
  json::value built = std::move(base);
  for (auto wrapper = shape.wrappers.rbegin(); wrapper != shape.wrappers.rend(); ++wrapper) {
    json::object outer;
    outer["type"] = *wrapper == TypeShape::Wrapper::kOptional ? "optional"
                    : *wrapper == TypeShape::Wrapper::kList   ? "list"
                                                              : "set";
    outer["element"] = std::move(built);
    built = std::move(outer);
  }
  return built;
}

json::array Strings(const std::vector<std::string>& texts) {
  json::array array;
  for (const std::string& text : texts) array.emplace_back(text);
  return array;
}

json::array MembersJson(const std::vector<Member>& members) {
  json::array array;
  for (const Member& member : members) {
    json::object entry;
    entry["name"] = member.name;
    entry["type"] = ShapeJson(member.type);
    entry["optional"] = member.optional;
    if (member.cases) {
      entry["cases"] = json::object{{"tag_field", member.cases->tagField},
                                    {"required", Strings(member.cases->required)},
                                    {"allowed", Strings(member.cases->allowed)},
                                    {"absent", Strings(member.cases->absent)}};
    }
    array.push_back(std::move(entry));
  }
  return array;
}

json::object OperationJson(const Catalogue& catalogue, const Operation& operation) {
  return json::object{{"name", operation.name},
                      {"method", operation.FullName()},
                      {"short_name", catalogue.ShortName(operation)},
                      {"input", MembersJson(operation.input)},
                      {"output", ShapeJson(operation.output)},
                      {"errors", Strings(operation.errors)}};
}

// A placeholder of `shape` with its outermost `skip` wrappers taken off; null for what may be
// left out. A structure to be written out is returned as an empty object and queued.
struct Expansion {
  const Structure* structure;
  json::object* destination;
  std::vector<std::string> enclosing;  // names of the structures around it, to stop a cycle
};

json::value Placeholder(const Catalogue& catalogue, const TypeShape& shape, std::size_t skip,
                        bool expandOptionalStructure, const std::vector<std::string>& enclosing,
                        const Structure** expand) {
  *expand = nullptr;
  const std::size_t remaining = shape.wrappers.size() - std::min(skip, shape.wrappers.size());
  const TypeShape::Wrapper* outer = remaining > 0 ? &shape.wrappers[skip] : nullptr;
  const bool isStructure = shape.base == TypeShape::Base::kStructure;
  if (outer != nullptr && *outer == TypeShape::Wrapper::kOptional) {
    if (!(expandOptionalStructure && isStructure && remaining == 1)) return nullptr;
  } else if (outer != nullptr) {
    if (!(isStructure && remaining == 1)) return json::array();
  }
  switch (shape.base) {
    case TypeShape::Base::kVoid:
      return nullptr;
    case TypeShape::Base::kInteger:
      return 0;
    case TypeShape::Base::kDouble:
      return 0.0;
    case TypeShape::Base::kBoolean:
      return false;
    case TypeShape::Base::kString: {
      const Enumeration* enumeration = catalogue.FindEnumeration(shape.name);
      return enumeration != nullptr && !enumeration->values.empty()
                 ? json::value(enumeration->values.front())
                 : json::value("");
    }
    case TypeShape::Base::kBlob:
    case TypeShape::Base::kSecret:
      return "";
    case TypeShape::Base::kStructure:
      break;
  }
  const Structure* structure = catalogue.FindStructure(shape.name);
  if (structure == nullptr ||
      std::find(enclosing.begin(), enclosing.end(), shape.name) != enclosing.end()) {
    return nullptr;
  }
  *expand = structure;
  if (outer != nullptr && *outer != TypeShape::Wrapper::kOptional) {
    return json::array{json::object()};
  }
  return json::object();
}

// Fills `destination` with every member; returns the structures still to write out.
std::vector<Expansion> FillMembers(const Catalogue& catalogue, const std::vector<Member>& members,
                                   json::object& destination,
                                   const std::vector<std::string>& enclosing) {
  // The tag's value decides each union member; the tag takes its enumeration's first value.
  std::string tagValue;
  for (const Member& member : members) {
    if (!member.cases) continue;
    for (const Member& tag : members) {
      const Enumeration* enumeration =
          tag.name == member.cases->tagField ? catalogue.FindEnumeration(tag.type.name) : nullptr;
      if (enumeration != nullptr && !enumeration->values.empty()) {
        tagValue = enumeration->values.front();
      }
    }
  }
  std::vector<std::pair<std::string, const Structure*>> nested;
  for (const Member& member : members) {
    const Structure* expand = nullptr;
    json::value placeholder;
    if (member.cases) {
      const auto& absent = member.cases->absent;
      const bool present = std::find(absent.begin(), absent.end(), tagValue) == absent.end();
      if (present) {
        placeholder =
            Placeholder(catalogue, member.type, member.ContentSkip(), false, enclosing, &expand);
      }
    } else {
      placeholder = Placeholder(catalogue, member.type, 0, true, enclosing, &expand);
    }
    destination[member.name] = std::move(placeholder);
    if (expand != nullptr) nested.emplace_back(member.name, expand);
  }
  // Addresses are taken once the object has all its members, so that none moves afterwards.
  std::vector<Expansion> expansions;
  for (const auto& [name, structure] : nested) {
    json::value& slot = destination[name];
    json::object* object =
        slot.is_array() ? &slot.as_array().front().as_object() : &slot.as_object();
    std::vector<std::string> inside = enclosing;
    inside.push_back(structure->name);
    expansions.push_back({structure, object, std::move(inside)});
  }
  return expansions;
}

}  // namespace

std::string ServicesText(const Catalogue& catalogue) {
  std::size_t shortWidth = 0, nameWidth = 0;
  for (const Interface& interface : catalogue.Interfaces()) {
    shortWidth = std::max(shortWidth, InterfaceShortName(catalogue, interface).size());
    nameWidth = std::max(nameWidth, interface.name.size());
  }
  std::string text;
  for (const Interface& interface : catalogue.Interfaces()) {
    std::vector<std::string> names;
    for (const Operation& operation : interface.operations) names.push_back(operation.name);
    text += Padded(InterfaceShortName(catalogue, interface), shortWidth + 2) +
            Padded(interface.name, nameWidth + 2) + Joined(names, " ") + "\n";
  }
  return text;
}

json::value ServicesJson(const Catalogue& catalogue) {
  json::array services;
  for (const Interface& interface : catalogue.Interfaces()) {
    std::vector<std::string> names;
    for (const Operation& operation : interface.operations) names.push_back(operation.name);
    services.push_back(json::object{{"name", interface.name},
                                    {"short_name", InterfaceShortName(catalogue, interface)},
                                    {"operations", Strings(names)}});
  }
  return services;
}

std::string OperationNames(const Catalogue& catalogue) {
  std::string text;
  for (const Interface& interface : catalogue.Interfaces()) {
    for (const Operation& operation : interface.operations) {
      text += catalogue.ShortName(operation) + "\n";
    }
  }
  return text;
}

std::string DescribeText(const Catalogue& catalogue, const Interface* interface,
                         const Operation* operation) {
  if (operation != nullptr) return OperationText(catalogue, *operation);
  if (interface != nullptr) return InterfaceText(catalogue, *interface);
  std::string text;
  for (const Interface& each : catalogue.Interfaces()) text += InterfaceText(catalogue, each);
  return text +
         "(a name ending in \"?\" may be left out; tavo-vm describe INTERFACE.OPERATION "
         "for the fields)\n";
}

json::value DescribeJson(const Catalogue& catalogue, const Interface* interface,
                         const Operation* operation) {
  std::vector<const Operation*> operations;
  if (operation != nullptr) {
    operations.push_back(operation);
  } else {
    for (const Interface& each : catalogue.Interfaces()) {
      if (interface != nullptr && &each != interface) continue;
      for (const Operation& member : each.operations) operations.push_back(&member);
    }
  }
  json::array interfaces;
  json::object structures, enumerations;
  for (const Operation* current : operations) {
    if (interfaces.empty() ||
        interfaces.back().as_object()["name"].as_string() != current->interfaceName) {
      interfaces.push_back(
          json::object{{"name", current->interfaceName}, {"operations", json::array()}});
    }
    interfaces.back().as_object()["operations"].as_array().push_back(
        OperationJson(catalogue, *current));
    std::vector<const Structure*> reached;
    std::vector<const Enumeration*> named;
    TypesOf(catalogue, *current, reached, named);
    for (const Structure* structure : reached) {
      structures[structure->name] = json::object{{"fields", MembersJson(structure->members)}};
    }
    for (const Enumeration* enumeration : named) {
      enumerations[enumeration->name] = Strings(enumeration->values);
    }
  }
  return json::object{{"interfaces", std::move(interfaces)},
                      {"structures", std::move(structures)},
                      {"enumerations", std::move(enumerations)}};
}

json::value InputSkeleton(const Catalogue& catalogue, const Operation& operation) {
  json::value root = json::object();
  std::vector<Expansion> pending = FillMembers(catalogue, operation.input, root.as_object(), {});
  while (!pending.empty()) {
    Expansion expansion = std::move(pending.back());
    pending.pop_back();
    std::vector<Expansion> more = FillMembers(catalogue, expansion.structure->members,
                                              *expansion.destination, expansion.enclosing);
    for (Expansion& next : more) pending.push_back(std::move(next));
  }
  return root;
}

std::string JsonText(const json::value& value, bool indented) {
  const std::string compact = json::serialize(value);
  return indented ? IndentJson(compact) : compact;
}

std::string IndentJson(std::string_view compact) {
  std::string out;
  out.reserve(compact.size() * 2);
  std::size_t depth = 0;
  bool inString = false, escaped = false;
  const auto newline = [&out, &depth] { out += '\n' + std::string(depth * 2, ' '); };
  for (std::size_t i = 0; i < compact.size(); ++i) {
    const char c = compact[i];
    if (inString) {
      out += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    switch (c) {
      case '"':
        inString = true;
        out += c;
        break;
      case '{':
      case '[':
        out += c;
        if (i + 1 < compact.size() && (compact[i + 1] == '}' || compact[i + 1] == ']')) {
          out += compact[++i];
        } else {
          ++depth;
          newline();
        }
        break;
      case '}':
      case ']':
        depth = depth > 0 ? depth - 1 : 0;
        newline();
        out += c;
        break;
      case ',':
        out += c;
        newline();
        break;
      case ':':
        out += ": ";
        break;
      case ' ':
      case '\n':
      case '\t':
      case '\r':
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace Tavo::Tool
