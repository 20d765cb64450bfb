#include "catalogue/catalogue_support.h"

#include <quil/type_info.h>

namespace Catalogue {

using namespace Quil::Data;

DataValuePtr Str(std::string text) { return StringValue::GetInstance(std::move(text)); }
DataValuePtr Int(std::int64_t number) { return IntegerValue::GetInstance(number); }
DataValuePtr Bool(bool flag) { return BooleanValue::GetInstance(flag); }

DataValuePtr None() { return OptionalValue::GetInstance(); }

DataValuePtr Some(DataValuePtr content) {
  auto optional = OptionalValue::GetInstance();
  optional->value(std::move(content));
  return optional;
}

namespace {
DataValuePtr Sequence(std::initializer_list<DataValuePtr> elements, ListValue::Kind kind) {
  auto list = ListValue::GetInstance(kind);
  for (const DataValuePtr& element : elements) list->Append(element);
  return list;
}
}  // namespace

DataValuePtr List(std::initializer_list<DataValuePtr> elements) {
  return Sequence(elements, ListValue::Kind::LIST);
}

DataValuePtr Set(std::initializer_list<DataValuePtr> elements) {
  return Sequence(elements, ListValue::Kind::SET);
}

std::shared_ptr<StructValue> Struct(std::string name, Fields fields) {
  auto value = StructValue::GetInstance(std::move(name));
  for (const auto& [field, content] : fields) value->SetField(field, content);
  return value;
}

std::shared_ptr<StructValue> Input(Fields fields) {
  return Struct(Quil::TypeInfo<Quil::OperationInput>::name(), fields);
}

Texts FieldNames(const DataValuePtr& value) {
  Texts names;
  const auto* compound = dynamic_cast<const CompoundValue*>(value.get());
  if (compound == nullptr) return names;
  compound->ForEachField(
      [&names](const CompoundValue::Field& field) { names.push_back(field.name); });
  return names;
}

DataValuePtr FieldOf(const DataValuePtr& value, std::string_view name) {
  const auto* compound = dynamic_cast<const CompoundValue*>(value.get());
  if (compound == nullptr) return nullptr;
  DataValuePtr field;
  Quil::MessageList ignored;
  compound->GetField(name, field, ignored);
  return field;
}

Texts Describe(const Quil::MessageList& messages) {
  Texts described;
  for (const Quil::BaseMessage& message : messages) {
    std::string text = message.id + "(";
    for (std::size_t i = 0; i < message.args.size(); ++i) text += (i ? ", " : "") + message.args[i];
    described.push_back(text + ")");
  }
  return described;
}

std::string Shape(const DataDefinitionPtr& definition) {
  std::string prefix, suffix;
  const DataDefinition* current = definition.get();
  // Lists and optionals are unwrapped in a loop: the shape names the wrappers, then the element.
  while (current != nullptr) {
    if (const auto* list = dynamic_cast<const ListDefinition*>(current)) {
      prefix += "list<";
      suffix += ">";
      current = list->GetElementType().get();
    } else if (const auto* optional = dynamic_cast<const OptionalDefinition*>(current)) {
      prefix += "optional<";
      suffix += ">";
      current = optional->GetElementType().get();
    } else {
      break;
    }
  }
  if (current == nullptr) return prefix + "null" + suffix;
  std::string text = current->GetType().Name();
  if (const auto* structure = dynamic_cast<const StructDefinition*>(current)) {
    text += " " + structure->GetName() + "{";
    bool first = true;
    for (const auto& [name, field] : structure->GetFields()) {
      text += (first ? "" : ", ") + name;
      first = false;
    }
    text += "}";
  }
  return prefix + text + suffix;
}

Texts ErrorNames(const std::vector<DataDefinitionPtr>& definitions) {
  Texts names;
  for (const DataDefinitionPtr& definition : definitions) {
    const auto* structure = dynamic_cast<const StructDefinition*>(definition.get());
    names.push_back(structure != nullptr ? structure->GetName() : "?");
  }
  return names;
}

void AnsweringProvider::Invoke(std::shared_ptr<const Quil::Core::MethodIdentifier> method,
                               DataValuePtr input,
                               std::shared_ptr<Quil::Core::AsyncActivation> /*activation*/,
                               const Quil::Core::AsyncApiResultCb& callback) {
  methods.push_back(method->GetInterface()->GetName() + " " + method->GetName());
  inputs.push_back(std::move(input));
  callback(Quil::Core::MethodResult::Create(answer, nullptr), Quil::kFinalProgress, nullptr);
}

Quil::Core::MethodResultPtr InvokeNow(Quil::Provider::ApiProvider& provider,
                                      std::string interfaceName, std::string method,
                                      DataValuePtr input) {
  Quil::Core::MethodResultPtr answer;
  provider.Invoke(Quil::Core::MethodIdentifier::GetInstance(
                      Quil::Core::InterfaceIdentifier::GetInstance(std::move(interfaceName)),
                      std::move(method)),
                  std::move(input), std::make_shared<Quil::Core::AsyncActivation>(),
                  Quil::Core::AsyncApiResultCb(
                      [&answer](Quil::Core::MethodResultPtr result, Quil::Progress progress,
                                Quil::Core::AsyncApiResultCb::Continuation /*next*/) {
                        if (progress.IsComplete()) answer = std::move(result);
                      }));
  return answer;
}

std::string ErrorName(const Quil::Core::MethodResultPtr& result) {
  return result != nullptr && result->error != nullptr ? result->error->GetName() : "";
}

const Quil::L10n::RequestLocalizer& DefaultLocalizer() {
  static const Quil::L10n::RequestLocalizer localizer =
      Quil::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return localizer;
}

std::string Extra(std::string_view type, std::string_view field) {
  return "quil.data.compound.field.extra(" + std::string(type) + ", " + std::string(field) + ", )";
}

std::string InvalidInput(std::string_view operation) {
  return "quil.invoke.invalid.input(" + std::string(operation) + ")";
}

std::string Unset(std::string_view wireName) {
  return "quil.data.unset.non.optional.field(" + std::string(wireName) + ")";
}

}  // namespace Catalogue
