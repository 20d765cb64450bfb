#include <quil/core/activation.h>

#include <memory>

#include <gtest/gtest.h>

namespace Quil::Core {
namespace {

TEST(AsyncActivationTest, CopyOwnsItsContextAndSharesLocalisation) {
  auto localizer = std::make_shared<L10n::Localizer>();
  AsyncActivation original(localizer, nullptr);
  original.GetExecutionContext().applicationData["request"] = "42";

  AsyncActivation copy(original);
  EXPECT_EQ(copy.GetExecutionContext(), original.GetExecutionContext());
  EXPECT_EQ(copy.GetLocalizer(), localizer);
  copy.GetExecutionContext().applicationData["request"] = "43";
  copy.SetLocalizer(nullptr);
  EXPECT_EQ(original.GetExecutionContext().applicationData.at("request"), "42");
  EXPECT_EQ(original.GetLocalizer(), localizer);
}

TEST(AsyncActivationTest, ErrorRequestLocalizerNeedsTemplatesAndALocale) {
  auto filled = std::make_shared<L10n::Localizer>();
  ASSERT_TRUE(filled->AddTemplate("de", "quil.invoke.invalid.input", "Eingabe {1} ungültig."));
  std::error_code error;
  const auto german = L10n::LocaleHelpers::MakeLanguagePreference("de_DE", error);
  const auto locale =
      std::make_shared<const L10n::LocaleSpec>(german, german, L10n::TimezoneSpec("Europe/Berlin"));
  const BaseMessage message("quil.invoke.invalid.input", "Invalid input for operation ::Op.",
                            {"::Op"});

  // Without templates or without a locale: the default request localizer.
  for (const AsyncActivation& activation :
       {AsyncActivation(), AsyncActivation(nullptr, locale),
        AsyncActivation(std::make_shared<L10n::Localizer>(), locale),
        AsyncActivation(filled, nullptr)}) {
    const L10n::RequestLocalizer fallback = activation.GetErrorRequestLocalizer();
    ASSERT_NE(fallback.GetLocale(), nullptr);
    EXPECT_EQ(fallback.GetLocale()->GetLanguagePreference().ToString(), "en_US");
    EXPECT_EQ(fallback.Localize(message), "Invalid input for operation ::Op.");
  }

  const L10n::RequestLocalizer own = AsyncActivation(filled, locale).GetErrorRequestLocalizer();
  EXPECT_EQ(own.GetLocalizer(), filled);
  EXPECT_EQ(own.GetLocale(), locale);
  EXPECT_EQ(own.Localize(message), "Eingabe ::Op ungültig.");
}

}  // namespace
}  // namespace Quil::Core
