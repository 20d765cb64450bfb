#include "wire.h"

#include <system_error>
#include <utility>
#include <vector>

#include <boost/json/serializer.hpp>

#include <quil/error_names.h>
#include <quil/message.h>

namespace Quil::Remote::Wire {

namespace {

void Drain(boost::json::serializer& serializer, std::string& out) {
  char buffer[512];
  while (!serializer.done()) {
    const boost::json::string_view part = serializer.read(buffer);
    out.append(part.data(), part.size());
  }
}

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  boost::json::serializer serializer;
  serializer.reset(boost::json::string_view(text.data(), text.size()));
  Drain(serializer, out);
}

void AppendJson(std::string& out, const boost::json::value& json) {
  boost::json::serializer serializer;
  serializer.reset(&json);
  Drain(serializer, out);
}

L10n::LanguagePreference ParseAcceptLanguage(std::string_view header) {
  std::vector<L10n::LanguageTag> tags;
  while (!header.empty()) {
    const std::size_t comma = header.find(',');
    std::string_view entry = header.substr(0, comma);
    header = comma == std::string_view::npos ? std::string_view() : header.substr(comma + 1);
    entry = Trim(entry.substr(0, entry.find(';')));  // the weight is ignored: order counts
    if (entry.empty() || entry == "*") continue;
    std::error_code error;
    L10n::LanguageTag tag = L10n::LanguageTag::Parse(entry, error);
    if (!error) tags.push_back(std::move(tag));
  }
  return L10n::LanguagePreference(std::move(tags));
}

std::string FormatAcceptLanguage(const L10n::LanguagePreference& preference) {
  std::string text;
  for (const L10n::LanguageTag& tag : preference.GetTags()) {
    if (!text.empty()) text += ", ";
    for (char c : tag.GetTag()) text.push_back(c == '_' ? '-' : c);
  }
  return text;
}

std::shared_ptr<const L10n::LocaleSpec> LocaleOfAcceptLanguage(std::string_view header) {
  L10n::LanguagePreference language = ParseAcceptLanguage(header);
  if (language.empty()) return nullptr;
  std::error_code error;
  L10n::LanguagePreference format =
      L10n::LocaleHelpers::MakeLanguagePreference(L10n::LocaleHelpers::kDefaultFormat, error);
  return std::make_shared<const L10n::LocaleSpec>(
      std::move(language), std::move(format),
      L10n::TimezoneSpec(std::string(L10n::LocaleHelpers::kDefaultTimezone)));
}

std::string ErrorSummary(const Data::ErrorValue& error) {
  std::string summary(error.GetName());
  const MessageList messages = error.GetMessages();
  if (!messages.empty()) summary += ": " + messages.front().defaultMessage;
  return summary;
}

Data::ErrorValuePtr Unavailable(std::string what) {
  return Data::ErrorValue::Create(std::string(ErrorNames::kServiceUnavailable),
                                  {Message<CoreTag>("quil.remote.unavailable", std::move(what))});
}

std::string Milliseconds(std::chrono::milliseconds duration) {
  return std::to_string(duration.count());
}

}  // namespace Quil::Remote::Wire
