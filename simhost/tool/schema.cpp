#include "schema.h"

#include <cstdint>
#include <string>
#include <utility>

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>

namespace Tavo::Tool {
namespace {

namespace json = boost::json;

constexpr const char* kDialect = "https://json-schema.org/draft/2020-12/schema";

json::object Null() { return json::object{{"type", "null"}}; }

json::value BaseSchema(const Catalogue& catalogue, const TypeShape& shape,
                       const std::string& refPrefix) {
  switch (shape.base) {
    case TypeShape::Base::kVoid:
      return Null();
    case TypeShape::Base::kInteger:
      return json::object{{"type", "integer"}, {"minimum", INT64_MIN}, {"maximum", INT64_MAX}};
    case TypeShape::Base::kDouble:
      return json::object{{"type", "number"}};
    case TypeShape::Base::kBoolean:
      return json::object{{"type", "boolean"}};
    case TypeShape::Base::kString: {
      json::object schema{{"type", "string"}};
      if (const Enumeration* enumeration = catalogue.FindEnumeration(shape.name)) {
        json::array values;
        for (const std::string& value : enumeration->values) values.emplace_back(value);
        schema["enum"] = std::move(values);
        schema["title"] = enumeration->name;
      }
      return schema;
    }
    case TypeShape::Base::kBlob:
      return json::object{{"type", "string"}, {"contentEncoding", "base64"}};
    case TypeShape::Base::kSecret:
      return json::object{{"type", "string"}, {"writeOnly", true}};
    case TypeShape::Base::kStructure:
      break;
  }
  return json::object{{"$ref", refPrefix + shape.name}};
}

// The schema of `shape` without its outermost `skip` wrappers, built from the inside out.
json::value ShapeSchema(const Catalogue& catalogue, const TypeShape& shape, std::size_t skip,
                        const std::string& refPrefix) {
  json::value schema = BaseSchema(catalogue, shape, refPrefix);
  for (std::size_t i = shape.wrappers.size(); i > skip; --i) {
    switch (shape.wrappers[i - 1]) {
      case TypeShape::Wrapper::kOptional:
        schema = json::object{{"anyOf", json::array{std::move(schema), Null()}}};
        break;
      case TypeShape::Wrapper::kList:
        schema = json::object{{"type", "array"}, {"items", std::move(schema)}};
        break;
      case TypeShape::Wrapper::kSet:
        schema =
            json::object{{"type", "array"}, {"items", std::move(schema)}, {"uniqueItems", true}};
        break;
    }
  }
  return schema;
}

// For a union: one rule per tag value, requiring, allowing or excluding each member.
json::array UnionRules(const Catalogue& catalogue, const std::vector<Member>& members,
                       const std::string& refPrefix) {
  json::array rules;
  std::string tagField;
  for (const Member& member : members) {
    if (member.cases) tagField = member.cases->tagField;
  }
  if (tagField.empty()) return rules;
  const Enumeration* tag = nullptr;
  for (const Member& member : members) {
    if (member.name == tagField) tag = catalogue.FindEnumeration(member.type.name);
  }
  if (tag == nullptr) return rules;
  for (const std::string& value : tag->values) {
    json::array required;
    json::object properties;
    for (const Member& member : members) {
      if (!member.cases) continue;
      const UnionCases& cases = *member.cases;
      const auto in = [&value](const std::vector<std::string>& values) {
        for (const std::string& each : values) {
          if (each == value) return true;
        }
        return false;
      };
      if (in(cases.required)) {
        required.emplace_back(member.name);
        properties[member.name] =
            ShapeSchema(catalogue, member.type, member.ContentSkip(), refPrefix);
      } else if (in(cases.absent)) {
        properties[member.name] = Null();
      }
    }
    json::object then{{"properties", std::move(properties)}};
    if (!required.empty()) then["required"] = std::move(required);
    rules.push_back(json::object{
        {"if",
         json::object{{"properties", json::object{{tagField, json::object{{"const", value}}}}},
                      {"required", json::array{json::value(tagField)}}}},
        {"then", std::move(then)}});
  }
  return rules;
}

json::object ObjectSchema(const Catalogue& catalogue, const std::string& title,
                          const std::vector<Member>& members, bool closed,
                          const std::string& refPrefix) {
  json::object properties;
  json::array required;
  for (const Member& member : members) {
    if (member.cases) {
      properties[member.name] = json::object{
          {"anyOf",
           json::array{ShapeSchema(catalogue, member.type, member.ContentSkip(), refPrefix),
                       Null()}}};
    } else {
      properties[member.name] = ShapeSchema(catalogue, member.type, 0, refPrefix);
    }
    if (!member.optional) required.emplace_back(member.name);
  }
  json::object schema{{"title", title}, {"type", "object"}, {"properties", std::move(properties)}};
  if (!required.empty()) schema["required"] = std::move(required);
  if (closed) schema["additionalProperties"] = false;
  json::array rules = UnionRules(catalogue, members, refPrefix);
  if (!rules.empty()) schema["allOf"] = std::move(rules);
  return schema;
}

// Every schema of the operations, by name: their parts and the structures they reach.
json::object Definitions(const Catalogue& catalogue, const std::vector<const Operation*>& chosen,
                         const std::string& refPrefix) {
  std::vector<const Operation*> operations = chosen;
  if (operations.empty()) {
    for (const Interface& interface : catalogue.Interfaces()) {
      for (const Operation& operation : interface.operations) operations.push_back(&operation);
    }
  }
  json::object definitions;
  std::vector<TypeShape> inputStructures;  // inputs refuse undeclared fields all the way down
  std::vector<const TypeShape*> inputShapes, otherShapes;
  std::vector<TypeShape> errorShapes;
  for (const Operation* operation : operations) {
    const std::string name = operation->FullName();
    definitions[name + ".input"] =
        ObjectSchema(catalogue, name + " input", operation->input, true, refPrefix);
    json::value output = ShapeSchema(catalogue, operation->output, 0, refPrefix);
    output.as_object()["title"] = name + " output";
    definitions[name + ".output"] = std::move(output);
    json::array errors;
    for (const std::string& error : operation->errors) {
      errors.push_back(json::object{{"$ref", refPrefix + error}});
      TypeShape shape;
      shape.base = TypeShape::Base::kStructure;
      shape.name = error;
      errorShapes.push_back(std::move(shape));
    }
    definitions[name + ".errors"] =
        json::object{{"title", name + " errors"},
                     {"description", "the declared errors, in declared order"},
                     {"anyOf", std::move(errors)}};
    for (const Member& member : operation->input) inputShapes.push_back(&member.type);
    otherShapes.push_back(&operation->output);
  }
  for (const TypeShape& shape : errorShapes) otherShapes.push_back(&shape);
  const std::vector<const Structure*> forInputs = catalogue.Reachable(inputShapes);
  for (const Structure* structure : catalogue.Reachable(otherShapes)) {
    json::object schema =
        ObjectSchema(catalogue, structure->name, structure->members, false, refPrefix);
    if (structure->isError) {
      schema["properties"].as_object()["name"] = json::object{{"const", structure->name}};
      json::array& required = schema["required"].is_array() ? schema["required"].as_array()
                                                            : schema["required"].emplace_array();
      required.emplace(required.begin(), "name");
    }
    definitions[structure->name] = std::move(schema);
  }
  // A structure that inputs and outputs share closes for both: the server refuses what it
  // does not know in either direction's structures alike.
  for (const Structure* structure : forInputs) {
    definitions[structure->name] =
        ObjectSchema(catalogue, structure->name, structure->members, true, refPrefix);
  }
  return definitions;
}

json::value IdSchema() { return json::object{{"type", json::array{"string", "integer", "null"}}}; }

}  // namespace

json::value JsonSchema(const Catalogue& catalogue,
                       const std::vector<const Operation*>& operations) {
  return json::object{{"$schema", kDialect},
                      {"title", "Tavo VM management API"},
                      {"description",
                       "Validate a value against #/$defs/<interface>.<operation>.input, .output "
                       "or .errors, or against #/$defs/<structure or error name>."},
                      {"$defs", Definitions(catalogue, operations, "#/$defs/")}};
}

json::value OpenApi(const Catalogue& catalogue, const std::vector<const Operation*>& chosen) {
  const std::string prefix = "#/components/schemas/";
  json::object schemas = Definitions(catalogue, chosen, prefix);
  std::vector<const Operation*> operations = chosen;
  if (operations.empty()) {
    for (const Interface& interface : catalogue.Interfaces()) {
      for (const Operation& operation : interface.operations) operations.push_back(&operation);
    }
  }
  json::array requests, responses;
  json::object mapping;
  for (const Operation* operation : operations) {
    const std::string name = operation->FullName();
    schemas[name + ".request"] = json::object{
        {"title", name + " request"},
        {"type", "object"},
        {"properties", json::object{{"jsonrpc", json::object{{"const", "2.0"}}},
                                    {"id", IdSchema()},
                                    {"method", json::object{{"const", name}}},
                                    {"params", json::object{{"$ref", prefix + name + ".input"}}}}},
        {"required", json::array{"jsonrpc", "method"}}};
    const json::object envelope{{"jsonrpc", json::object{{"const", "2.0"}}}, {"id", IdSchema()}};
    json::object success = envelope, failure = envelope;
    success["result"] = json::object{{"$ref", prefix + name + ".output"}};
    failure["error"] = json::object{
        {"type", "object"},
        {"properties", json::object{{"code", json::object{{"type", "integer"}}},
                                    {"message", json::object{{"type", "string"}}},
                                    {"data", json::object{{"$ref", prefix + name + ".errors"}}}}},
        {"required", json::array{"code", "message"}}};
    schemas[name + ".response"] = json::object{
        {"title", name + " response"},
        {"oneOf", json::array{json::object{{"type", "object"},
                                           {"properties", std::move(success)},
                                           {"required", json::array{"jsonrpc", "id", "result"}}},
                              json::object{{"type", "object"},
                                           {"properties", std::move(failure)},
                                           {"required", json::array{"jsonrpc", "id", "error"}}}}}};
    requests.push_back(json::object{{"$ref", prefix + name + ".request"}});
    responses.push_back(json::object{{"$ref", prefix + name + ".response"}});
    mapping[name] = prefix + name + ".request";
  }
  const json::object unauthenticated{
      {"description", "missing or wrong bearer token (JSON-RPC error -32001)"}};
  json::object post{
      {"operationId", "call"},
      {"summary", "Calls one operation (JSON-RPC 2.0)"},
      {"description",
       "The method is \"<interface>.<operation>\" and params its input. An operation's error "
       "travels in error.data with its name and messages. With Accept: application/x-ndjson the "
       "answer is one JSON object a line: progress notifications (method \"quil.progress\"), "
       "then the response."},
      {"requestBody",
       json::object{
           {"required", true},
           {"content",
            json::object{
                {"application/json",
                 json::object{{"schema",
                               json::object{{"oneOf", std::move(requests)},
                                            {"discriminator",
                                             json::object{{"propertyName", "method"},
                                                          {"mapping", std::move(mapping)}}}}}}}}}}},
      {"responses",
       json::object{
           {"200",
            json::object{
                {"description", "the operation's output or its error"},
                {"content",
                 json::object{
                     {"application/json",
                      json::object{{"schema", json::object{{"anyOf", std::move(responses)}}}}}}}}},
           {"401", unauthenticated}}},
      {"security", json::array{json::object{{"bearer", json::array()}}, json::object()}}};
  return json::object{
      {"openapi", "3.1.0"},
      {"jsonSchemaDialect", kDialect},
      {"info",
       json::object{{"title", "Tavo VM management API"},
                    {"version", "0.1.0"},
                    {"description", "The JSON-RPC endpoint of a Tavo host (tavo-vm serve)."}}},
      {"servers", json::array{json::object{{"url", "http://127.0.0.1:8421"}}}},
      {"paths", json::object{{"/api", json::object{{"post", std::move(post)}}}}},
      {"components",
       json::object{
           {"schemas", std::move(schemas)},
           {"securitySchemes",
            json::object{{"bearer", json::object{{"type", "http"}, {"scheme", "bearer"}}}}}}}};
}

}  // namespace Tavo::Tool
