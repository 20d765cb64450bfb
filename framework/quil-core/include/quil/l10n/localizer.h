// Localisation: language tags and preferences, locales, the localizer that holds
// translated message templates, and the request localizer that renders one message for one
// request.
//
// A message always carries its text in the default language; localising it only looks for a
// better template. Whatever is missing (no localizer, no locale, no template for the preferred
// languages, a template that does not fit the message's arguments) yields the default text.
//
//   Quil::L10n::Localizer localizer;
//   localizer.AddTemplate("de", "quil.invoke.invalid.input", "Ungültige Eingabe für {1}.");
//   std::error_code error;
//   auto language = Quil::L10n::LocaleHelpers::MakeLanguagePreference("de_CH", error);
//   // Localize(message, locale) picks "de_CH", then "de": the German template.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include <quil/base_message.h>
#include <quil/export.h>

namespace Quil::L10n {

// Why a language preference was rejected.
enum class LocaleErrc : int {
  kEmptyPreference = 1,  // no tag at all
  kMalformedTag = 2,     // an entry that is not a language tag
};

// The error category of locale parsing. Its one immutable instance is made on first use.
class QUIL_CORE_API LocaleCategory final : public std::error_category {
 public:
  ~LocaleCategory() override;
  const char* name() const noexcept override;  // "Quil Locale Error"
  std::string message(int code) const override;
};

QUIL_CORE_API const std::error_category& GetLocaleCategory();

inline std::error_code make_error_code(LocaleErrc code) {
  return {static_cast<int>(code), GetLocaleCategory()};
}

// One language tag in canonical form: a language of two or three letters in lower case, an
// optional script of four letters in title case and an optional region of two letters in upper
// case or three digits, joined by underscores ("en", "en_US", "zh_Hans_CN", "es_419"). Input may
// use '-' or '_' and any letter case. "C" and "POSIX" both stand for the untranslated locale and
// read as "C".
class QUIL_CORE_API LanguageTag {
 public:
  LanguageTag() = default;  // empty, matches nothing

  // The tag of `text`, or an empty tag with `error` set to kMalformedTag. Clears `error` on
  // success.
  static LanguageTag Parse(std::string_view text, std::error_code& error);

  bool empty() const { return tag_.empty(); }
  const std::string& GetTag() const { return tag_; }
  // The language part alone: "en" for "en_US", "C" for "C".
  std::string_view GetLanguage() const { return std::string_view(tag_).substr(0, languageLength_); }
  bool HasSubtags() const { return languageLength_ < tag_.size(); }

  // The tag of `canonical`, a tag already in canonical form, taken as it is.
  static LanguageTag FromCanonical(std::string_view canonical) {
    return LanguageTag(std::string(canonical), std::min(canonical.find('_'), canonical.size()));
  }

  friend bool operator==(const LanguageTag& a, const LanguageTag& b) { return a.tag_ == b.tag_; }
  friend bool operator!=(const LanguageTag& a, const LanguageTag& b) { return !(a == b); }

 private:
  LanguageTag(std::string tag, std::size_t languageLength)
      : tag_(std::move(tag)), languageLength_(languageLength) {}

  std::string tag_;
  std::size_t languageLength_ = 0;
};

// Languages in order of preference, most preferred first.
class QUIL_CORE_API LanguagePreference {
 public:
  // The tags, in order.
  class Tags {
   public:
    Tags(const LanguageTag* first, std::size_t size) : first_(first), size_(size) {}
    const LanguageTag* begin() const { return first_; }
    const LanguageTag* end() const { return first_ + size_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const LanguageTag& operator[](std::size_t index) const { return first_[index]; }

   private:
    const LanguageTag* first_;
    std::size_t size_;
  };

  LanguagePreference() = default;
  explicit LanguagePreference(LanguageTag tag) : single_(std::move(tag)) {}
  explicit LanguagePreference(std::vector<LanguageTag> tags) : several_(std::move(tags)) {}

  Tags GetTags() const {
    if (!several_.empty()) return Tags(several_.data(), several_.size());
    return Tags(&single_, single_.empty() ? 0 : 1);
  }
  bool empty() const { return GetTags().empty(); }
  // The canonical tags joined by commas: "de_CH,en".
  std::string ToString() const;

  friend bool operator==(const LanguagePreference& a, const LanguagePreference& b) {
    const Tags tagsOfA = a.GetTags();
    const Tags tagsOfB = b.GetTags();
    return std::equal(tagsOfA.begin(), tagsOfA.end(), tagsOfB.begin(), tagsOfB.end());
  }
  friend bool operator!=(const LanguagePreference& a, const LanguagePreference& b) {
    return !(a == b);
  }

 private:
  // Most preferences name one language: held inline, so that making one allocates nothing.
  LanguageTag single_;
  std::vector<LanguageTag> several_;
};

// A time zone by its database name, for example "Etc/UTC". The name is kept as given: the
// library reads no zone database.
class QUIL_CORE_API TimezoneSpec {
 public:
  explicit TimezoneSpec(std::string name) : name_(std::move(name)) {}
  const std::string& GetName() const { return name_; }

  friend bool operator==(const TimezoneSpec& a, const TimezoneSpec& b) {
    return a.name_ == b.name_;
  }
  friend bool operator!=(const TimezoneSpec& a, const TimezoneSpec& b) { return !(a == b); }

 private:
  std::string name_;
};

// What a request asks for: the languages of its texts, the conventions of its formatted values
// (numbers, dates) and its time zone.
class QUIL_CORE_API LocaleSpec {
 public:
  LocaleSpec(LanguagePreference language, LanguagePreference format, TimezoneSpec timezone)
      : language_(std::move(language)),
        format_(std::move(format)),
        timezone_(std::move(timezone)) {}

  const LanguagePreference& GetLanguagePreference() const { return language_; }
  const LanguagePreference& GetFormatPreference() const { return format_; }
  const TimezoneSpec& GetTimezone() const { return timezone_; }

 private:
  LanguagePreference language_;
  LanguagePreference format_;
  TimezoneSpec timezone_;
};

struct QUIL_CORE_API LocaleHelpers {
  static constexpr std::string_view kDefaultLanguage = "en_US";
  static constexpr std::string_view kDefaultFormat = "C";
  static constexpr std::string_view kDefaultTimezone = "Etc/UTC";

  // Parses one tag or a comma-separated list of tags ("en_US", "de_CH, de, en"); blanks around
  // entries are ignored. On failure: an empty preference and `error` set (kEmptyPreference for a
  // blank text, kMalformedTag for any bad entry). Clears `error` on success.
  static LanguagePreference MakeLanguagePreference(std::string_view text, std::error_code& error);

  // The locale of requests that bring none: "en_US", format "C", time zone "Etc/UTC".
  static LocaleSpec MakeDefaultLocale();
  // The same, shared.
  static std::shared_ptr<const LocaleSpec> MakeDefaultLocaleSpec();
};

// Translated message templates by language and message identifier. Templates use the
// formatter's placeholders ("{1}", "{2}", ...) and receive the message's argument texts.
class QUIL_CORE_API Localizer {
 public:
  Localizer() = default;

  // Registers (or replaces) the template of `messageId` for `language`, a single language tag.
  // False, and nothing stored, when the tag is malformed.
  bool AddTemplate(std::string_view language, std::string messageId, std::string messageTemplate);

  // True when no template is registered.
  bool empty() const { return languages_.empty(); }

  // The template of `messageId` in the best language of `preference`: for each preferred tag in
  // order, the tag itself, then its language part. Null when none holds it.
  const std::string* FindTemplate(std::string_view messageId,
                                  const LanguagePreference& preference) const;

  // The message rendered in the best language of the locale's language preference, or its
  // default text when no template is found or the template needs more arguments than the message
  // has.
  std::string Localize(const BaseMessage& message, const LocaleSpec& locale) const;

 private:
  using Templates = std::map<std::string, std::string, std::less<>>;
  std::map<std::string, Templates, std::less<>> languages_;
};

// A localizer together with the locale of one request.
class QUIL_CORE_API RequestLocalizer {
 public:
  RequestLocalizer(std::shared_ptr<const Localizer> localizer,
                   std::shared_ptr<const LocaleSpec> locale)
      : localizer_(std::move(localizer)), locale_(std::move(locale)) {}

  // A request localizer that borrows `localizer` and `locale` (either may be null) instead of
  // sharing them: it counts no references, which threads using the same localizer would all
  // write. The caller keeps both alive, and the request localizer and its copies in its frame.
  static RequestLocalizer Borrow(const Localizer* localizer, const LocaleSpec* locale) {
    return RequestLocalizer(std::shared_ptr<const Localizer>(std::shared_ptr<void>(), localizer),
                            std::shared_ptr<const LocaleSpec>(std::shared_ptr<void>(), locale));
  }

  const std::shared_ptr<const Localizer>& GetLocalizer() const { return localizer_; }
  const std::shared_ptr<const LocaleSpec>& GetLocale() const { return locale_; }

  // The message's text for this request; its default text when the localizer or the locale is
  // missing.
  std::string Localize(const BaseMessage& message) const;

 private:
  std::shared_ptr<const Localizer> localizer_;
  std::shared_ptr<const LocaleSpec> locale_;
};

struct QUIL_CORE_API RequestLocalizerHelper {
  // A new empty localizer with the default locale (LocaleHelpers::MakeDefaultLocaleSpec): every
  // message keeps its default text.
  static RequestLocalizer GetDefaultRequestLocalizer();
};

}  // namespace Quil::L10n

namespace std {
template <>
struct is_error_code_enum<Quil::L10n::LocaleErrc> : true_type {};
}  // namespace std
