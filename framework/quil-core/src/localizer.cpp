#include <quil/l10n/localizer.h>

#include <algorithm>
#include <array>

#include <quil/format.h>

namespace Quil::L10n {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

template <typename Predicate>
bool AllOf(std::string_view text, Predicate predicate) {
  for (char c : text) {
    if (!predicate(c)) {
      return false;
    }
  }
  return true;
}

bool IsLetters(std::string_view text, std::size_t size) {
  return text.size() == size && AllOf(text, IsAsciiLetter);
}

std::string_view TrimBlanks(std::string_view text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// The pieces of a tag, split at '_' and '-'. A tag has at most three (language, script, region),
// so splitting stops at a fourth, which only tells that there are too many. An empty piece
// (leading, trailing or doubled separator) is kept, so the caller rejects it.
struct Subtags {
  static constexpr std::size_t kMaxPieces = 4;
  std::array<std::string_view, kMaxPieces> pieces;
  std::size_t count = 0;

  std::size_t size() const { return count; }
  std::string_view operator[](std::size_t index) const { return pieces[index]; }
};

Subtags SplitSubtags(std::string_view text) {
  Subtags subtags;
  std::size_t start = 0;
  for (std::size_t pos = 0; pos <= text.size() && subtags.count < Subtags::kMaxPieces; ++pos) {
    if (pos == text.size() || text[pos] == '_' || text[pos] == '-') {
      subtags.pieces[subtags.count++] = text.substr(start, pos - start);
      start = pos + 1;
    }
  }
  return subtags;
}

constexpr std::string_view kUntranslated = "C";

}  // namespace

LocaleCategory::~LocaleCategory() = default;

const char* LocaleCategory::name() const noexcept { return "Quil Locale Error"; }

std::string LocaleCategory::message(int code) const {
  switch (static_cast<LocaleErrc>(code)) {
    case LocaleErrc::kEmptyPreference:
      return "The language preference names no language.";
    case LocaleErrc::kMalformedTag:
      return "The language preference holds a malformed language tag.";
  }
  return "locale error";
}

const std::error_category& GetLocaleCategory() {
  static const LocaleCategory category;
  return category;
}

LanguageTag LanguageTag::Parse(std::string_view text, std::error_code& error) {
  if (text == kUntranslated || text == "POSIX") {
    error.clear();
    return LanguageTag(std::string(kUntranslated), kUntranslated.size());
  }
  const Subtags subtags = SplitSubtags(text);
  const std::string_view language = subtags[0];
  if (!(language.size() == 2 || language.size() == 3) || !AllOf(language, IsAsciiLetter)) {
    error = LocaleErrc::kMalformedTag;
    return {};
  }
  std::string tag;
  tag.reserve(text.size());
  for (char c : language) {
    tag.push_back(ToLower(c));
  }
  std::size_t next = 1;
  if (next < subtags.size() && IsLetters(subtags[next], 4)) {
    const std::string_view script = subtags[next++];
    tag.push_back('_');
    tag.push_back(ToUpper(script.front()));
    for (char c : script.substr(1)) {
      tag.push_back(ToLower(c));
    }
  }
  if (next < subtags.size()) {
    const std::string_view region = subtags[next];
    const bool letters = IsLetters(region, 2);
    const bool digits = region.size() == 3 && AllOf(region, IsAsciiDigit);
    if (letters || digits) {
      ++next;
      tag.push_back('_');
      for (char c : region) {
        tag.push_back(ToUpper(c));
      }
    }
  }
  if (next != subtags.size()) {
    error = LocaleErrc::kMalformedTag;
    return {};
  }
  error.clear();
  return LanguageTag(std::move(tag), language.size());
}

std::string LanguagePreference::ToString() const {
  std::string text;
  for (const LanguageTag& tag : GetTags()) {
    if (!text.empty()) {
      text.push_back(',');
    }
    text += tag.GetTag();
  }
  return text;
}

LanguagePreference LocaleHelpers::MakeLanguagePreference(std::string_view text,
                                                         std::error_code& error) {
  if (TrimBlanks(text).empty()) {
    error = LocaleErrc::kEmptyPreference;
    return {};
  }
  const auto commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
  if (commas == 0) {
    LanguageTag tag = LanguageTag::Parse(TrimBlanks(text), error);
    return error ? LanguagePreference() : LanguagePreference(std::move(tag));
  }
  std::vector<LanguageTag> tags;
  tags.reserve(commas + 1);
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    LanguageTag tag = LanguageTag::Parse(TrimBlanks(text.substr(start, comma - start)), error);
    if (error) {
      return {};
    }
    tags.push_back(std::move(tag));
    start = comma + 1;
  }
  error.clear();
  return LanguagePreference(std::move(tags));
}

LocaleSpec LocaleHelpers::MakeDefaultLocale() {
  // The defaults are canonical already; clients make them for every call, so they are not parsed.
  return LocaleSpec(LanguagePreference(LanguageTag::FromCanonical(kDefaultLanguage)),
                    LanguagePreference(LanguageTag::FromCanonical(kDefaultFormat)),
                    TimezoneSpec(std::string(kDefaultTimezone)));
}

std::shared_ptr<const LocaleSpec> LocaleHelpers::MakeDefaultLocaleSpec() {
  return std::make_shared<const LocaleSpec>(MakeDefaultLocale());
}

bool Localizer::AddTemplate(std::string_view language, std::string messageId,
                            std::string messageTemplate) {
  std::error_code error;
  const LanguageTag tag = LanguageTag::Parse(TrimBlanks(language), error);
  if (error) {
    return false;
  }
  languages_[tag.GetTag()].insert_or_assign(std::move(messageId), std::move(messageTemplate));
  return true;
}

const std::string* Localizer::FindTemplate(std::string_view messageId,
                                           const LanguagePreference& preference) const {
  const auto lookup = [&](std::string_view language) -> const std::string* {
    const auto templates = languages_.find(language);
    if (templates == languages_.end()) {
      return nullptr;
    }
    const auto found = templates->second.find(messageId);
    return found == templates->second.end() ? nullptr : &found->second;
  };
  for (const LanguageTag& tag : preference.GetTags()) {
    if (const std::string* found = lookup(tag.GetTag())) {
      return found;
    }
    if (tag.HasSubtags()) {
      if (const std::string* found = lookup(tag.GetLanguage())) {
        return found;
      }
    }
  }
  return nullptr;
}

std::string Localizer::Localize(const BaseMessage& message, const LocaleSpec& locale) const {
  const std::string* messageTemplate = FindTemplate(message.id, locale.GetLanguagePreference());
  if (messageTemplate == nullptr) {
    return message.defaultMessage;
  }
  std::vector<Detail::format_arg> args;
  args.reserve(message.args.size());
  for (const std::string& arg : message.args) {
    args.push_back(Detail::MakeFormatArg(arg));
  }
  std::error_code error(0, std::system_category());
  std::string text = Detail::Format(*messageTemplate, args.data(), args.size(), error);
  // A translation that asks for more arguments than the message has would lose text; the
  // default text is complete.
  return error ? message.defaultMessage : text;
}

std::string RequestLocalizer::Localize(const BaseMessage& message) const {
  if (localizer_ == nullptr || locale_ == nullptr) {
    return message.defaultMessage;
  }
  return localizer_->Localize(message, *locale_);
}

RequestLocalizer RequestLocalizerHelper::GetDefaultRequestLocalizer() {
  return RequestLocalizer(std::make_shared<const Localizer>(),
                          LocaleHelpers::MakeDefaultLocaleSpec());
}

}  // namespace Quil::L10n
