#include <quil/data/native_error.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace Quil::Data {
namespace {

TEST(NativeErrorHelperTest, ErrorValueWinsNativeIsLocalisedNothingIsNull) {
  const BaseMessage missing("com.example.vm.missing", "The machine vm-1 is missing.", {"vm-1"});
  const BaseMessage untranslated("com.example.other", "Other text.", {});
  const NativeError native{"com.korvan.quil.std.errors.not_found", {missing, untranslated}};
  auto localizer = std::make_shared<L10n::Localizer>();
  localizer->AddTemplate("de", "com.example.vm.missing", "Die Maschine {1} fehlt.");
  std::error_code error;
  const auto de = L10n::LocaleHelpers::MakeLanguagePreference("de_DE", error);
  const L10n::RequestLocalizer german(
      localizer, std::make_shared<const L10n::LocaleSpec>(de, de, L10n::TimezoneSpec("Etc/UTC")));

  const ErrorValuePtr given = ErrorValue::GetInstance("com.korvan.quil.std.errors.error");
  EXPECT_EQ(NativeErrorHelper::GetError(given, native, german), given);
  EXPECT_EQ(NativeErrorHelper::GetError(given, boost::none, german), given);
  EXPECT_EQ(NativeErrorHelper::GetError(nullptr, boost::none, german), nullptr);

  const ErrorValuePtr localised = NativeErrorHelper::GetError(nullptr, native, german);
  ASSERT_NE(localised, nullptr);
  EXPECT_EQ(localised->GetName(), "com.korvan.quil.std.errors.not_found");
  const MessageList messages = localised->GetMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0],
            BaseMessage("com.example.vm.missing", "Die Maschine vm-1 fehlt.", {"vm-1"}));
  EXPECT_EQ(messages[1], untranslated);
}

}  // namespace
}  // namespace Quil::Data
