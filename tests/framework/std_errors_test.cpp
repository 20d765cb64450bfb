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

TEST(StdErrorsTest, WireNames) {
  EXPECT_EQ(Error::kWireName, "com.korvan.quil.std.errors.error");
  EXPECT_EQ(NotFound::kWireName, "com.korvan.quil.std.errors.not_found");
  EXPECT_EQ(InvalidArgument::kWireName, "com.korvan.quil.std.errors.invalid_argument");
  EXPECT_EQ(NotAllowedInCurrentState::kWireName,
            "com.korvan.quil.std.errors.not_allowed_in_current_state");
  EXPECT_EQ(ResourceBusy::kWireName, "com.korvan.quil.std.errors.resource_busy");
  EXPECT_EQ(ResourceInaccessible::kWireName, "com.korvan.quil.std.errors.resource_inaccessible");
  EXPECT_EQ(ServiceUnavailable::kWireName, "com.korvan.quil.std.errors.service_unavailable");
  EXPECT_EQ(Unauthenticated::kWireName, "com.korvan.quil.std.errors.unauthenticated");
  EXPECT_EQ(Unauthorized::kWireName, "com.korvan.quil.std.errors.unauthorized");
  EXPECT_EQ(AlreadyExists::kWireName, "com.korvan.quil.std.errors.already_exists");
  EXPECT_EQ(UnableToAllocateResource::kWireName,
            "com.korvan.quil.std.errors.unable_to_allocate_resource");
  EXPECT_EQ(LocalizableMessage::kWireName, "com.korvan.quil.std.localizable_message");
}

TEST(StdErrorsTest, ErrorValuesRoundTripTheirMessages) {
  const ResourceBusy busy{{
      {"com.example.busy", "Disk d1 is busy with job 7.", {"d1", "7"}},
      {"com.example.retry", "Retry later.", {}},
  }};
  const auto value = ToErrorValue(busy);
  EXPECT_EQ(value->GetName(), ResourceBusy::kWireName);
  EXPECT_EQ(
      value->GetMessages(),
      (MessageList{BaseMessage("com.example.busy", "Disk d1 is busy with job 7.", {"d1", "7"}),
                   BaseMessage("com.example.retry", "Retry later.", {})}));
  for (const BaseMessage& message : value->GetMessages()) {
    EXPECT_EQ(ToBaseMessage(ToLocalizableMessage(message)), message);
  }
  EXPECT_TRUE(ToErrorValue(Unauthorized{})->GetMessages().empty());

  // One-line errors render their text and keep each argument.
  const NotFound notFound = MakeError<NotFound>("com.example.vm.missing",
                                                "Machine {1} is not on host {2}.", "vm-7", "h1");
  EXPECT_EQ(ToMessageList(notFound.messages),
            (MessageList{BaseMessage("com.example.vm.missing", "Machine vm-7 is not on host h1.",
                                     {"vm-7", "h1"})}));
  const auto invalid = MakeErrorValue<InvalidArgument>("com.example.bad", "Bad {1}.", "name");
  EXPECT_EQ(invalid->GetName(), "com.korvan.quil.std.errors.invalid_argument");
  EXPECT_EQ(invalid->GetMessages(),
            (MessageList{BaseMessage("com.example.bad", "Bad name.", {"name"})}));
  const ::Quil::Data::NativeError native = ToNativeError(notFound);
  EXPECT_EQ(native.name, NotFound::kWireName);
  EXPECT_EQ(native.messages, ToMessageList(notFound.messages));
}

}  // namespace
}  // namespace Com::Korvan::Quil::Std::Errors
