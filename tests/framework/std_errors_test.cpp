#include <quil/std/errors.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Com::Korvan::Quil::Std::Errors {
namespace {

using ::Quil::BaseMessage;

static_assert(kIsStandardError<NotFound> && kIsStandardError<UnableToAllocateResource>);
static_assert(!kIsStandardError<LocalizableMessage> && !kIsStandardError<int>);

TEST(StdErrorsTest, ErrorValuesRoundTripTheirMessages) {
  const ResourceBusy busy{{
      {"com.example.busy", "Disk d1 is busy with job 7.", {"d1", "7"}},
      {"com.example.retry", "Retry later.", {}},
  }};
  const auto value = ToErrorValue(busy);
  // The errors' own wire names are those the catalogue test lists for every operation.
  EXPECT_EQ(value->GetName(), "com.korvan.quil.std.errors.resource_busy");
  EXPECT_EQ(LocalizableMessage::kWireName, "com.korvan.quil.std.localizable_message");
  ASSERT_EQ(value->GetMessages().size(), 2u);
  EXPECT_EQ(value->GetMessages()[0],
            BaseMessage("com.example.busy", "Disk d1 is busy with job 7.", {"d1", "7"}));
  for (const BaseMessage& message : value->GetMessages()) {
    EXPECT_EQ(ToBaseMessage(ToLocalizableMessage(message)), message);
  }
}

}  // namespace
}  // namespace Com::Korvan::Quil::Std::Errors
