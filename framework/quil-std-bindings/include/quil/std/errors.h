// The framework's standard errors as native types, and the helpers that let an implementation
// answer with one in a single line.
//
// Each standard error is a structure holding its localizable messages; its wire name is
// "com.korvan.quil.std.errors." followed by the error in lower case with underscores
// (quil/error_names.h).
//
//   using namespace Com::Korvan::Quil::Std::Errors;
//   result.error(MakeErrorValue<NotFound>("com.example.vm.not.found",
//                                         "The virtual machine {1} does not exist.", vm));
//   // or, step by step:
//   NotFound notFound = MakeError<NotFound>(message);  // a single Quil::BaseMessage
//   result.error(ToErrorValue(notFound));
//
// `MakeErrorDefinition<E>()` describes the error values of E, so that a method can declare E.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <quil/base_message.h>
#include <quil/data/definition.h>
#include <quil/data/native_error.h>
#include <quil/data/value.h>
#include <quil/error_names.h>
#include <quil/export.h>
#include <quil/message.h>

// Inside Com::Korvan::Quil, the framework's own namespace is spelled ::Quil.
namespace Com::Korvan::Quil::Std {

// The native form of one message of an error: "com.korvan.quil.std.localizable_message".
struct LocalizableMessage {
  static constexpr std::string_view kWireName = "com.korvan.quil.std.localizable_message";

  std::string id;
  std::string defaultMessage;
  std::vector<std::string> args;

  friend bool operator==(const LocalizableMessage& a, const LocalizableMessage& b) {
    return a.id == b.id && a.defaultMessage == b.defaultMessage && a.args == b.args;
  }
  friend bool operator!=(const LocalizableMessage& a, const LocalizableMessage& b) {
    return !(a == b);
  }
};

QUIL_STD_API LocalizableMessage ToLocalizableMessage(const ::Quil::BaseMessage& message);
QUIL_STD_API ::Quil::BaseMessage ToBaseMessage(const LocalizableMessage& message);
QUIL_STD_API ::Quil::MessageList ToMessageList(const std::vector<LocalizableMessage>& messages);

namespace Errors {

// The table of standard errors: X(native type, wire name). Code that needs something per error
// type (its data definition, for example) expands this table rather than listing the types.
#define QUIL_STD_ERRORS(X)                                                   \
  X(Error, ::Quil::ErrorNames::kError)                                       \
  X(NotFound, ::Quil::ErrorNames::kNotFound)                                 \
  X(InvalidArgument, ::Quil::ErrorNames::kInvalidArgument)                   \
  X(NotAllowedInCurrentState, ::Quil::ErrorNames::kNotAllowedInCurrentState) \
  X(ResourceBusy, ::Quil::ErrorNames::kResourceBusy)                         \
  X(ResourceInaccessible, ::Quil::ErrorNames::kResourceInaccessible)         \
  X(ServiceUnavailable, ::Quil::ErrorNames::kServiceUnavailable)             \
  X(Unauthenticated, ::Quil::ErrorNames::kUnauthenticated)                   \
  X(Unauthorized, ::Quil::ErrorNames::kUnauthorized)                         \
  X(AlreadyExists, ::Quil::ErrorNames::kAlreadyExists)                       \
  X(UnableToAllocateResource, ::Quil::ErrorNames::kUnableToAllocateResource)

template <typename E>
struct IsStandardError : std::false_type {};

#define QUIL_STD_DECLARE_ERROR(Type, wireName)                                                \
  struct Type {                                                                               \
    static constexpr std::string_view kWireName = wireName;                                   \
    std::vector<LocalizableMessage> messages;                                                 \
    friend bool operator==(const Type& a, const Type& b) { return a.messages == b.messages; } \
    friend bool operator!=(const Type& a, const Type& b) { return !(a == b); }                \
  };                                                                                          \
  template <>                                                                                 \
  struct IsStandardError<Type> : std::true_type {};

QUIL_STD_ERRORS(QUIL_STD_DECLARE_ERROR)
#undef QUIL_STD_DECLARE_ERROR

template <typename E>
inline constexpr bool kIsStandardError = IsStandardError<E>::value;

namespace Detail {
QUIL_STD_API ::Quil::Data::ErrorValuePtr MakeErrorValue(
    std::string_view wireName, const std::vector<LocalizableMessage>& messages);
QUIL_STD_API ::Quil::Data::DataDefinitionPtr MakeErrorDefinition(std::string_view wireName);
}  // namespace Detail

// The error value that AsyncResult::error takes: named after the error, carrying its messages.
template <typename E, typename = std::enable_if_t<kIsStandardError<E>>>
::Quil::Data::ErrorValuePtr ToErrorValue(const E& error) {
  return Detail::MakeErrorValue(E::kWireName, error.messages);
}

// The data definition of E's error values: an error definition named after E whose one field,
// "messages", is a list of "com.korvan.quil.std.localizable_message" structures with the strings
// "id" and "default_message" and the list of strings "args". Every error value that ToErrorValue
// or ErrorValue::Create makes under E's name fits it exactly. A new tree on every call.
template <typename E, typename = std::enable_if_t<kIsStandardError<E>>>
::Quil::Data::DataDefinitionPtr MakeErrorDefinition() {
  return Detail::MakeErrorDefinition(E::kWireName);
}

// The framework's native form of the error, whose messages are localised when it is delivered.
template <typename E, typename = std::enable_if_t<kIsStandardError<E>>>
::Quil::Data::NativeError ToNativeError(const E& error) {
  return {std::string(E::kWireName), ToMessageList(error.messages)};
}

// An error holding the single message `message`.
template <typename E, typename = std::enable_if_t<kIsStandardError<E>>>
E MakeError(const ::Quil::BaseMessage& message) {
  E error;
  error.messages.push_back(ToLocalizableMessage(message));
  return error;
}

// An error holding one message: `defaultTemplate` rendered with the text arguments, which are
// also kept as the message's arguments.
template <typename E, typename... Args, typename = std::enable_if_t<kIsStandardError<E>>>
E MakeError(std::string id, std::string_view defaultTemplate, const Args&... args) {
  return MakeError<E>(::Quil::MakeMessage(std::move(id), defaultTemplate, args...));
}

// MakeError and ToErrorValue in one step.
template <typename E, typename... Args, typename = std::enable_if_t<kIsStandardError<E>>>
::Quil::Data::ErrorValuePtr MakeErrorValue(std::string id, std::string_view defaultTemplate,
                                           const Args&... args) {
  return ToErrorValue(MakeError<E>(std::move(id), defaultTemplate, args...));
}

}  // namespace Errors
}  // namespace Com::Korvan::Quil::Std
