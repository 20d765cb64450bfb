#include <quil/core/activation.h>

#include <memory>

#include <gtest/gtest.h>

namespace Quil::Core {
namespace {

std::shared_ptr<const L10n::LocaleSpec> GermanLocale() {
  std::error_code error;
  return std::make_shared<const L10n::LocaleSpec>(
      L10n::LocaleHelpers::MakeLanguagePreference("de_DE", error),
      L10n::LocaleHelpers::MakeLanguagePreference("de_DE", error),
      L10n::TimezoneSpec("Europe/Berlin"));
}

void ExpectDefault(const L10n::RequestLocalizer& localizer) {
  ASSERT_NE(localizer.GetLocalizer(), nullptr);
  EXPECT_TRUE(localizer.GetLocalizer()->empty());
  ASSERT_NE(localizer.GetLocale(), nullptr);
  EXPECT_EQ(localizer.GetLocale()->GetLanguagePreference().ToString(), "en_US");
  EXPECT_EQ(localizer.GetLocale()->GetFormatPreference().ToString(), "C");
  EXPECT_EQ(localizer.GetLocale()->GetTimezone().GetName(), "Etc/UTC");
}

TEST(AsyncActivationTest, CopyOwnsItsContextAndSharesLocalisation) {
  auto localizer = std::make_shared<L10n::Localizer>();
  AsyncActivation original(localizer, GermanLocale());
  original.GetExecutionContext().applicationData["request"] = "42";
  original.GetExecutionContext().securityContext["user"] = "ada";

  AsyncActivation copy(original);
  EXPECT_EQ(copy.GetExecutionContext(), original.GetExecutionContext());
  EXPECT_EQ(copy.GetLocalizer(), localizer);
  EXPECT_EQ(copy.GetLocale(), original.GetLocale());

  copy.GetExecutionContext().applicationData["request"] = "43";
  copy.GetExecutionContext().securityContext.clear();
  EXPECT_EQ(original.GetExecutionContext().applicationData.at("request"), "42");
  EXPECT_EQ(original.GetExecutionContext().securityContext.at("user"), "ada");

  // Replacing the copy's localizer leaves the original's in place.
  copy.SetLocalizer(nullptr);
  EXPECT_EQ(original.GetLocalizer(), localizer);

  AsyncActivation assigned;
  assigned = original;
  original.GetExecutionContext().applicationData.clear();
  EXPECT_EQ(assigned.GetExecutionContext().applicationData.size(), 1u);
}

TEST(AsyncActivationTest, ErrorRequestLocalizerNeedsTemplatesAndALocale) {
  auto filled = std::make_shared<L10n::Localizer>();
  ASSERT_TRUE(filled->AddTemplate("de", "quil.invoke.invalid.input", "Eingabe {1} ungültig."));
  const auto locale = GermanLocale();

  ExpectDefault(AsyncActivation().GetErrorRequestLocalizer());
  ExpectDefault(AsyncActivation(nullptr, locale).GetErrorRequestLocalizer());
  ExpectDefault(
      AsyncActivation(std::make_shared<L10n::Localizer>(), locale).GetErrorRequestLocalizer());
  ExpectDefault(AsyncActivation(filled, nullptr).GetErrorRequestLocalizer());

  AsyncActivation activation(filled, locale);
  const L10n::RequestLocalizer own = activation.GetErrorRequestLocalizer();
  EXPECT_EQ(own.GetLocalizer(), filled);
  EXPECT_EQ(own.GetLocale(), locale);
  const BaseMessage message("quil.invoke.invalid.input", "Invalid input for operation ::Op.",
                            {"::Op"});
  EXPECT_EQ(own.Localize(message), "Eingabe ::Op ungültig.");
  EXPECT_EQ(AsyncActivation().GetErrorRequestLocalizer().Localize(message),
            "Invalid input for operation ::Op.");
}

}  // namespace
}  // namespace Quil::Core
