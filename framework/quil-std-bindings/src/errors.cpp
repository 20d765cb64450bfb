#include <quil/std/errors.h>

#include <string>
#include <utility>

namespace Com::Korvan::Quil::Std {

LocalizableMessage ToLocalizableMessage(const ::Quil::BaseMessage& message) {
  return {message.id, message.defaultMessage, message.args};
}

::Quil::BaseMessage ToBaseMessage(const LocalizableMessage& message) {
  return ::Quil::BaseMessage(message.id, message.defaultMessage, message.args);
}

::Quil::MessageList ToMessageList(const std::vector<LocalizableMessage>& messages) {
  ::Quil::MessageList list;
  list.reserve(messages.size());
  for (const LocalizableMessage& message : messages) {
    list.push_back(ToBaseMessage(message));
  }
  return list;
}

namespace Errors::Detail {

::Quil::Data::ErrorValuePtr MakeErrorValue(std::string_view wireName,
                                           const std::vector<LocalizableMessage>& messages) {
  return ::Quil::Data::ErrorValue::Create(std::string(wireName), ToMessageList(messages));
}

::Quil::Data::DataDefinitionPtr MakeErrorDefinition(std::string_view wireName) {
  using ::Quil::Data::DataDefinition;
  using ::Quil::Data::ErrorValue;
  using ::Quil::Data::FieldDefinitions;
  using ::Quil::Data::ListDefinition;

  // The field names are those of the message entries that ErrorValue::Create writes.
  FieldDefinitions messageFields{
      {"id", DataDefinition::Create<std::string>()},
      {"default_message", DataDefinition::Create<std::string>()},
      {"args", ListDefinition::GetInstance(DataDefinition::Create<std::string>())},
  };
  auto message = ::Quil::Data::StructDefinition::GetInstance(
      std::string(LocalizableMessage::kWireName), std::move(messageFields));
  FieldDefinitions errorFields{
      {std::string(ErrorValue::kMessagesField), ListDefinition::GetInstance(std::move(message))},
  };
  return ::Quil::Data::ErrorDefinition::GetInstance(std::string(wireName), std::move(errorFields));
}

}  // namespace Errors::Detail

}  // namespace Com::Korvan::Quil::Std
