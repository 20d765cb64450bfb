// What the server and the client of the JSON-RPC transport agree on: content types, error codes,
// the progress notification, the languages header, and the transport's own error values.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include <boost/json/value.hpp>

#include <quil/data/value.h>
#include <quil/l10n/localizer.h>

namespace Quil::Remote::Wire {

inline constexpr std::string_view kJsonType = "application/json";
inline constexpr std::string_view kNdjsonType = "application/x-ndjson";
inline constexpr std::string_view kProgressMethod = "quil.progress";

enum ErrorCode : int {
  kParseError = -32700,
  kInvalidRequest = -32600,
  kMethodNotFound = -32601,
  kInvalidParams = -32602,
  kInternalError = -32603,
  kOperationError = -32000,
  kUnauthenticated = -32001,
};

// Appends `text` as a JSON string literal.
void AppendJsonString(std::string& out, std::string_view text);
// Appends the JSON text of `json`.
void AppendJson(std::string& out, const boost::json::value& json);

// The languages of an Accept-Language header in its order; weights are ignored, and entries that
// are no language tag ("*", malformed ones) are skipped.
L10n::LanguagePreference ParseAcceptLanguage(std::string_view header);
// The Accept-Language value of a preference: "de-CH, en". Empty for an empty preference.
std::string FormatAcceptLanguage(const L10n::LanguagePreference& preference);
// The locale of a caller that sent `header`; null when it names no language.
std::shared_ptr<const L10n::LocaleSpec> LocaleOfAcceptLanguage(std::string_view header);

// The "message" of a JSON-RPC error: the error's name, then the text of its first message.
std::string ErrorSummary(const Data::ErrorValue& error);

// service_unavailable carrying "quil.remote.unavailable" (what happened).
Data::ErrorValuePtr Unavailable(std::string what);

// Milliseconds as a message argument: "250".
std::string Milliseconds(std::chrono::milliseconds duration);

}  // namespace Quil::Remote::Wire
