#include <quil/l10n/localizer.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace Quil::L10n {
namespace {

LanguagePreference Preference(std::string_view text) {
  std::error_code error;
  LanguagePreference preference = LocaleHelpers::MakeLanguagePreference(text, error);
  EXPECT_FALSE(error) << text;
  return preference;
}

LocaleSpec Locale(std::string_view languages) {
  return LocaleSpec(Preference(languages), Preference("C"), TimezoneSpec("Etc/UTC"));
}

TEST(LanguagePreferenceTest, AcceptsCanonicalisesAndRejectsTags) {
  const std::vector<std::pair<std::string_view, std::string_view>> good = {
      {"en_US", "en_US"}, {"POSIX", "C"},       {"EN-us", "en_US"},
      {"ast", "ast"},     {"es_419", "es_419"}, {"ZH_hans_cn", "zh_Hans_CN"}};
  for (const auto& [text, canonical] : good) {
    std::error_code error = LocaleErrc::kMalformedTag;  // cleared on success
    const LanguagePreference preference = LocaleHelpers::MakeLanguagePreference(text, error);
    EXPECT_FALSE(error) << text;
    ASSERT_EQ(preference.GetTags().size(), 1u) << text;
    EXPECT_EQ(preference.GetTags()[0].GetTag(), canonical);
  }
  for (std::string_view text : {"e", "english", "en_", "en_USA", "en US", "en_US.UTF-8", "c",
                                "C_US", "en_Latn_Latn", "de,,en", "de,", "de,x1"}) {
    std::error_code error;
    EXPECT_TRUE(LocaleHelpers::MakeLanguagePreference(text, error).empty()) << text;
    EXPECT_EQ(error, LocaleErrc::kMalformedTag) << text;
  }
  const LocaleSpec defaults = LocaleHelpers::MakeDefaultLocale();
  EXPECT_EQ(defaults.GetLanguagePreference(), Preference("en_US"));
  EXPECT_EQ(defaults.GetLanguagePreference().GetTags()[0].GetLanguage(), "en");
  EXPECT_EQ(defaults.GetFormatPreference(), Preference("C"));
  EXPECT_EQ(defaults.GetTimezone().GetName(), "Etc/UTC");
  const LanguagePreference list = Preference(" de_CH, de ,\ten ");
  EXPECT_EQ(list.ToString(), "de_CH,de,en");
  EXPECT_NE(list, Preference("de,de_CH,en"));
  std::error_code error;
  EXPECT_TRUE(LocaleHelpers::MakeLanguagePreference("  \t", error).empty());
  EXPECT_EQ(error, LocaleErrc::kEmptyPreference);
  EXPECT_EQ(&error.category(), &GetLocaleCategory());
}

TEST(LocalizerTest, PicksTheBestLanguageAndFallsBack) {
  const std::string id = "quil.invoke.invalid.input";
  const BaseMessage message(id, "Invalid input for operation ::Op.", {"::Op"});

  Localizer localizer;
  EXPECT_FALSE(localizer.AddTemplate("german", id, "x"));
  ASSERT_TRUE(localizer.AddTemplate("de", id, "Ungültige Eingabe für {1}."));
  ASSERT_TRUE(localizer.AddTemplate("DE-ch", id, "Ungültige Eingabe für {1} (CH)."));
  ASSERT_TRUE(localizer.AddTemplate("it", id, "Input non valido per {1} e {2}."));

  EXPECT_EQ(localizer.Localize(message, Locale("de_CH")), "Ungültige Eingabe für ::Op (CH).");
  EXPECT_EQ(localizer.Localize(message, Locale("de_AT")), "Ungültige Eingabe für ::Op.");
  EXPECT_EQ(localizer.Localize(message, Locale("pt_BR,de_AT")), "Ungültige Eingabe für ::Op.");
  // No template for the languages asked for: the default text.
  EXPECT_EQ(localizer.Localize(message, Locale("pt_BR")), message.defaultMessage);
  // A template asking for an argument the message lacks would lose text.
  EXPECT_EQ(localizer.Localize(message, Locale("it")), message.defaultMessage);

  // A request localizer lacking its localizer or its locale keeps the default text.
  auto shared = std::make_shared<Localizer>(localizer);
  const auto german = std::make_shared<const LocaleSpec>(Locale("de"));
  EXPECT_EQ(RequestLocalizer(shared, german).Localize(message), "Ungültige Eingabe für ::Op.");
  EXPECT_EQ(RequestLocalizer(nullptr, german).Localize(message), message.defaultMessage);
  EXPECT_EQ(RequestLocalizer(shared, nullptr).Localize(message), message.defaultMessage);
}

}  // namespace
}  // namespace Quil::L10n
