#include <quil/data/native_error.h>

#include <utility>

namespace Quil::Data {

ErrorValuePtr NativeErrorHelper::GetError(ErrorValuePtr error,
                                          const boost::optional<NativeError>& native,
                                          const L10n::RequestLocalizer& localizer) {
  if (error != nullptr) {
    return error;
  }
  if (!native) {
    return nullptr;
  }
  MessageList localized;
  localized.reserve(native->messages.size());
  for (const BaseMessage& message : native->messages) {
    localized.emplace_back(message.id, localizer.Localize(message), message.args);
  }
  return ErrorValue::Create(native->name, localized);
}

}  // namespace Quil::Data
