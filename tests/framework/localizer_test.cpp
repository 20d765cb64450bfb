// Language tags, choosing a template, and the places that localise with a request's locale: an
// activation's error localizer and native errors turned into error values.
#include <quil/l10n/localizer.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <quil/core/activation.h>
#include <quil/data/native_error.h>

namespace Quil {
namespace {

using namespace L10n;

LanguagePreference Preference(std::string_view text) {
  std::error_code error;
  LanguagePreference preference = LocaleHelpers::MakeLanguagePreference(text, error);
  EXPECT_FALSE(error) << text;
  return preference;
}

std::shared_ptr<const LocaleSpec> Locale(std::string_view languages) {
  return std::make_shared<const LocaleSpec>(Preference(languages), Preference("C"),
                                            TimezoneSpec("Etc/UTC"));
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

TEST(LocalizerTest, PicksTheBestLanguageFallsBackAndLocalisesErrors) {
  const std::string id = "quil.invoke.invalid.input";
  const BaseMessage message(id, "Invalid input for operation ::Op.", {"::Op"});
  const std::string german = "Ungültige Eingabe für ::Op.";

  auto localizer = std::make_shared<Localizer>();
  EXPECT_FALSE(localizer->AddTemplate("german", id, "x"));
  ASSERT_TRUE(localizer->AddTemplate("de", id, "Ungültige Eingabe für {1}."));
  ASSERT_TRUE(localizer->AddTemplate("DE-ch", id, "Ungültige Eingabe für {1} (CH)."));
  ASSERT_TRUE(localizer->AddTemplate("it", id, "Input non valido per {1} e {2}."));

  EXPECT_EQ(localizer->Localize(message, *Locale("de_CH")), "Ungültige Eingabe für ::Op (CH).");
  EXPECT_EQ(localizer->Localize(message, *Locale("de_AT")), german);
  EXPECT_EQ(localizer->Localize(message, *Locale("pt_BR,de_AT")), german);
  // No template for the languages asked for: the default text.
  EXPECT_EQ(localizer->Localize(message, *Locale("pt_BR")), message.defaultMessage);
  // A template asking for an argument the message lacks would lose text.
  EXPECT_EQ(localizer->Localize(message, *Locale("it")), message.defaultMessage);

  // A request localizer lacking its localizer or its locale keeps the default text.
  const auto de = Locale("de");
  EXPECT_EQ(RequestLocalizer(localizer, de).Localize(message), german);
  EXPECT_EQ(RequestLocalizer(nullptr, de).Localize(message), message.defaultMessage);
  EXPECT_EQ(RequestLocalizer(localizer, nullptr).Localize(message), message.defaultMessage);

  // An activation without templates or without a locale answers errors in the default locale.
  for (const Core::AsyncActivation& activation :
       {Core::AsyncActivation(), Core::AsyncActivation(nullptr, de),
        Core::AsyncActivation(std::make_shared<Localizer>(), de),
        Core::AsyncActivation(localizer, nullptr)}) {
    const RequestLocalizer fallback = activation.GetErrorRequestLocalizer();
    ASSERT_NE(fallback.GetLocale(), nullptr);
    EXPECT_EQ(fallback.GetLocale()->GetLanguagePreference().ToString(), "en_US");
    EXPECT_EQ(fallback.Localize(message), message.defaultMessage);
  }
  const RequestLocalizer own = Core::AsyncActivation(localizer, de).GetErrorRequestLocalizer();
  EXPECT_EQ(own.GetLocalizer(), localizer);
  EXPECT_EQ(own.GetLocale(), de);
  EXPECT_EQ(own.Localize(message), german);

  // A native error is localised message by message; an error value given wins; nothing is null.
  using Data::NativeErrorHelper;
  const BaseMessage untranslated("com.example.other", "Other text.", {});
  const Data::NativeError native{"com.korvan.quil.std.errors.not_found", {message, untranslated}};
  const Data::ErrorValuePtr given =
      Data::ErrorValue::GetInstance("com.korvan.quil.std.errors.error");
  EXPECT_EQ(NativeErrorHelper::GetError(given, native, own), given);
  EXPECT_EQ(NativeErrorHelper::GetError(given, boost::none, own), given);
  EXPECT_EQ(NativeErrorHelper::GetError(nullptr, boost::none, own), nullptr);
  const Data::ErrorValuePtr localised = NativeErrorHelper::GetError(nullptr, native, own);
  ASSERT_NE(localised, nullptr);
  EXPECT_EQ(localised->GetName(), native.name);
  EXPECT_EQ(localised->GetMessages(),
            (MessageList{BaseMessage(id, german, {"::Op"}), untranslated}));
}

TEST(AsyncActivationTest, CopyOwnsItsContextAndSharesLocalisation) {
  auto localizer = std::make_shared<Localizer>();
  Core::AsyncActivation original(localizer, nullptr);
  original.GetExecutionContext().applicationData["request"] = "42";

  Core::AsyncActivation copy(original);
  EXPECT_EQ(copy.GetExecutionContext(), original.GetExecutionContext());
  EXPECT_EQ(copy.GetLocalizer(), localizer);
  copy.GetExecutionContext().applicationData["request"] = "43";
  copy.SetLocalizer(nullptr);
  EXPECT_EQ(original.GetExecutionContext().applicationData.at("request"), "42");
  EXPECT_EQ(original.GetLocalizer(), localizer);
}

}  // namespace
}  // namespace Quil
