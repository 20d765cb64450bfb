// The native form of an error (a name and messages) and the choice between an error value and a
// native error when an implementation answers.
//
//   auto error = Quil::Data::NativeErrorHelper::GetError(
//       nullptr, Quil::Data::NativeError{std::string(Quil::ErrorNames::kNotFound), messages},
//       activation->GetErrorRequestLocalizer());
//   // an ErrorValue named after kNotFound, messages localised
#pragma once

#include <string>

#include <boost/optional.hpp>

#include <quil/base_message.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/l10n/localizer.h>

namespace Quil::Data {

struct NativeError {
  std::string name;  // the error's wire name, for example one of quil/error_names.h
  MessageList messages;

  friend bool operator==(const NativeError& a, const NativeError& b) {
    return a.name == b.name && a.messages == b.messages;
  }
  friend bool operator!=(const NativeError& a, const NativeError& b) { return !(a == b); }
};

struct QUIL_CORE_API NativeErrorHelper {
  // The error to deliver: `error` when it is not null (an error value wins over a native error),
  // else an error value named after `native` whose messages keep their identifiers and arguments
  // and carry the text `localizer` gives them, else null.
  static ErrorValuePtr GetError(ErrorValuePtr error, const boost::optional<NativeError>& native,
                                const L10n::RequestLocalizer& localizer);
};

}  // namespace Quil::Data
