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
      {"en_US", "en_US"},   {"de", "de"},           {"pt_BR", "pt_BR"},           {"C", "C"},
      {"POSIX", "C"},       {"en-us", "en_US"},     {"EN_us", "en_US"},           {"ast", "ast"},
      {"es_419", "es_419"}, {"zh-hant", "zh_Hant"}, {"ZH_hans_cn", "zh_Hans_CN"},
  };
  for (const auto& [text, canonical] : good) {
    std::error_code error = LocaleErrc::kMalformedTag;  // cleared on success
    const LanguagePreference preference = LocaleHelpers::MakeLanguagePreference(text, error);
    EXPECT_FALSE(error) << text;
    ASSERT_EQ(preference.GetTags().size(), 1u) << text;
    EXPECT_EQ(preference.GetTags()[0].GetTag(), canonical);
  }

  const LanguagePreference list = Preference(" de_CH, de ,\ten ");
  EXPECT_EQ(list.ToString(), "de_CH,de,en");
  EXPECT_EQ(list, Preference("de-ch,DE,en"));
  EXPECT_NE(list, Preference("de,de_CH,en"));

  for (std::string_view text :
       {"e", "english", "en_", "_US", "en__US", "en_USA", "en_U1", "en US", "en_US.UTF-8", "c",
        "C_US", "en_US_POSIX", "12", "en_Latn_Latn", "de,,en", "de,", ",de", "de,x1"}) {
    std::error_code error;
    const LanguagePreference preference = LocaleHelpers::MakeLanguagePreference(text, error);
    EXPECT_EQ(error, LocaleErrc::kMalformedTag) << text;
    EXPECT_TRUE(preference.empty()) << text;
  }
  for (std::string_view text : {"", "  \t"}) {
    std::error_code error;
    EXPECT_TRUE(LocaleHelpers::MakeLanguagePreference(text, error).empty());
    EXPECT_EQ(error, LocaleErrc::kEmptyPreference);
  }
  std::error_code error;
  EXPECT_TRUE(LanguageTag::Parse("en-", error).empty());
  EXPECT_EQ(&error.category(), &GetLocaleCategory());
}

TEST(LocalizerTest, PicksTheBestLanguageAndFallsBack) {
  const std::string id = "quil.invoke.invalid.input";
  const BaseMessage message(id, "Invalid input for operation ::Op.", {"::Op"});

  Localizer localizer;
  EXPECT_FALSE(localizer.AddTemplate("german", id, "x"));
  EXPECT_TRUE(localizer.empty());
  ASSERT_TRUE(localizer.AddTemplate("de", id, "Ungültige Eingabe für {1}."));
  ASSERT_TRUE(localizer.AddTemplate("DE-ch", id, "Ungültige Eingabe für {1} (CH)."));
  ASSERT_TRUE(localizer.AddTemplate("fr", id, "Entrée non valide."));
  ASSERT_TRUE(localizer.AddTemplate("fr", id, "Entrée non valide pour {1}."));  // replaces
  ASSERT_TRUE(localizer.AddTemplate("it", id, "Input non valido per {1} e {2}."));
  ASSERT_TRUE(localizer.AddTemplate("es", id, "{{{1}}}"));

  EXPECT_EQ(localizer.Localize(message, Locale("de_CH")), "Ungültige Eingabe für ::Op (CH).");
  EXPECT_EQ(localizer.Localize(message, Locale("de_AT")), "Ungültige Eingabe für ::Op.");
  EXPECT_EQ(localizer.Localize(message, Locale("fr_FR,de")), "Entrée non valide pour ::Op.");
  EXPECT_EQ(localizer.Localize(message, Locale("pt_BR,de_AT")), "Ungültige Eingabe für ::Op.");
  EXPECT_EQ(localizer.Localize(message, Locale("es_419")), "{::Op}");
  // No template for the languages asked for, or for the message: the default text.
  EXPECT_EQ(localizer.Localize(message, Locale("pt_BR")), message.defaultMessage);
  const BaseMessage other("quil.data.invalid.type", "The value is not of the expected type.", {});
  EXPECT_EQ(localizer.Localize(other, Locale("de")), other.defaultMessage);
  // A template asking for an argument the message lacks would lose text.
  EXPECT_EQ(localizer.Localize(message, Locale("it")), message.defaultMessage);

  EXPECT_EQ(localizer.FindTemplate(id, Preference("en,de")),
            localizer.FindTemplate(id, Preference("de")));
  EXPECT_EQ(localizer.FindTemplate(id, Preference("en")), nullptr);

  // A request localizer lacking its localizer or its locale keeps the default text.
  auto shared = std::make_shared<Localizer>(localizer);
  const auto german = std::make_shared<const LocaleSpec>(Locale("de"));
  EXPECT_EQ(RequestLocalizer(shared, german).Localize(message), "Ungültige Eingabe für ::Op.");
  EXPECT_EQ(RequestLocalizer(nullptr, german).Localize(message), message.defaultMessage);
  EXPECT_EQ(RequestLocalizer(shared, nullptr).Localize(message), message.defaultMessage);
  const RequestLocalizer defaults = RequestLocalizerHelper::GetDefaultRequestLocalizer();
  EXPECT_EQ(defaults.GetLocale()->GetFormatPreference(), Preference("C"));
  EXPECT_EQ(defaults.GetLocale()->GetTimezone(), TimezoneSpec("Etc/UTC"));
  // Each call makes its own objects: nothing global to share or change.
  EXPECT_NE(RequestLocalizerHelper::GetDefaultRequestLocalizer().GetLocalizer(),
            defaults.GetLocalizer());
}

}  // namespace
}  // namespace Quil::L10n
