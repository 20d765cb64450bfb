#include <quil/provider/api_method_helper.h>

#include <utility>

#include <quil/data/definition_check.h>
#include <quil/error_names.h>
#include <quil/message.h>

namespace Quil::Provider {
namespace {

using Data::CheckMode;
using Data::DataDefinitionPtr;
using Data::DataType;
using Data::ErrorValue;

Core::MethodResultPtr ErrorResult(std::string_view name, const MessageList& messages) {
  return Core::MethodResult::Create(nullptr, ErrorValue::Create(std::string(name), messages));
}

// The server was bound without a definition to check against.
Core::MethodResultPtr DefinitionMissing(const std::string& methodName, const char* what) {
  MessageList messages{
      Message<CoreTag>("quil.provider.method.definition.missing", methodName, std::string(what))};
  return ErrorResult(ErrorNames::kInternalServerError, messages);
}

// The structure definition an error definition stands for, or null for any other kind.
const Data::StructDefinition* AsErrorStructure(
    const DataDefinitionPtr& definition, std::shared_ptr<const Data::StructDefinition>& hold) {
  if (definition == nullptr) return nullptr;
  switch (definition->GetType().GetType()) {
    case DataType::STRUCTURE:
    case DataType::ERROR:
      return static_cast<const Data::StructDefinition*>(definition.get());
    case DataType::STRUCT_REF:
      hold = static_cast<const Data::StructRefDefinition&>(*definition).GetTarget();
      return hold.get();
    default:
      return nullptr;
  }
}

}  // namespace

bool ApiMethodHelper::ValidateInput(const std::string& methodName,
                                    const DataDefinitionPtr& inputDef,
                                    const Data::DataValuePtr& input, Core::MethodResultPtr& out) {
  if (inputDef == nullptr) {
    out = DefinitionMissing(methodName, "input");
    return false;
  }
  MessageList messages;
  if (Data::CheckValue(*inputDef, input, CheckMode::Lenient, messages, "input")) {
    out.reset();
    return true;
  }
  messages.push_back(Message<CoreTag>("quil.provider.method.invalid.input", methodName));
  out = ErrorResult(ErrorNames::kInvalidArgument, messages);
  return false;
}

Core::MethodResultPtr ApiMethodHelper::ValidateOutput(const std::string& methodName,
                                                      const DataDefinitionPtr& outputDef,
                                                      const Data::DataValuePtr& output) {
  if (outputDef == nullptr) return DefinitionMissing(methodName, "output");
  MessageList messages;
  if (Data::CheckValue(*outputDef, output, CheckMode::Exact, messages, "output")) {
    return Core::MethodResult::Create(output, nullptr);
  }
  messages.push_back(Message<CoreTag>("quil.provider.method.invalid.output", methodName));
  return ErrorResult(ErrorNames::kInternalServerError, messages);
}

Core::MethodResultPtr ApiMethodHelper::ValidateError(
    const std::string& methodName, const std::vector<DataDefinitionPtr>& errorDefs,
    const Data::ErrorValuePtr& error) {
  MessageList messages;
  if (error == nullptr) {
    messages.push_back(
        Message<CoreTag>("quil.data.definition.value.missing", std::string("error")));
    messages.push_back(
        Message<CoreTag>("quil.provider.method.invalid.error", methodName, std::string()));
    return ErrorResult(ErrorNames::kInternalServerError, messages);
  }
  const std::string_view name = error->GetName();
  // The bindings raise these two themselves, whatever the method declares.
  if (name == ErrorNames::kInvalidArgument || name == ErrorNames::kInternalServerError) {
    return Core::MethodResult::Create(nullptr, error);
  }
  for (const DataDefinitionPtr& definition : errorDefs) {
    std::shared_ptr<const Data::StructDefinition> hold;
    const Data::StructDefinition* structure = AsErrorStructure(definition, hold);
    if (structure == nullptr || structure->GetName() != name) continue;
    if (Data::CheckValue(*structure, error, CheckMode::Exact, messages, "error")) {
      return Core::MethodResult::Create(nullptr, error);
    }
    // Declared but malformed: the server broke its contract as with an output that does not fit.
    messages.push_back(
        Message<CoreTag>("quil.provider.method.invalid.error", methodName, std::string(name)));
    return ErrorResult(ErrorNames::kInternalServerError, messages);
  }
  messages.push_back(
      Message<CoreTag>("quil.provider.method.undeclared.error", methodName, std::string(name)));
  return ErrorResult(ErrorNames::kInternalServerError, messages);
}

}  // namespace Quil::Provider
