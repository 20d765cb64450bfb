#include <quil/std/errors.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace Com::Korvan::Quil::Std::Errors {
namespace {

using ::Quil::BaseMessage;
using ::Quil::MessageList;

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

  // One-line errors render their text and keep each argument.
  const NotFound notFound = MakeError<NotFound>("com.example.vm.missing",
                                                "Machine {1} is not on host {2}.", "vm-7", "h1");
  EXPECT_EQ(ToMessageList(notFound.messages),
            (MessageList{BaseMessage("com.example.vm.missing", "Machine vm-7 is not on host h1.",
                                     {"vm-7", "h1"})}));
  const ::Quil::Data::NativeError native = ToNativeError(notFound);
  EXPECT_EQ(native.name, NotFound::kWireName);
  EXPECT_EQ(native.messages, ToMessageList(notFound.messages));
}

}  // namespace
}  // namespace Com::Korvan::Quil::Std::Errors
