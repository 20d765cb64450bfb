#include <quil/std/errors.h>

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

}  // namespace Errors::Detail

}  // namespace Com::Korvan::Quil::Std
