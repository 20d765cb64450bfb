#include <quil/provider/result_filter.h>

#include <utility>

#include <quil/base_message.h>
#include <quil/error_names.h>
#include <quil/l10n/localizer.h>

namespace Quil::Provider {
namespace {

void IgnoreAnswer(Data::DataValuePtr /*output*/, Data::ErrorValuePtr /*error*/,
                  Progress /*progress*/, AsyncApiMethod::ResultCb::Continuation&& /*next*/) {}

}  // namespace

void AsyncApiMethodResultFilterBase::Deliver(Data::ErrorValuePtr error,
                                             const boost::optional<Data::NativeError>& nativeError,
                                             NativeConstPtr value,
                                             Data::NativeToValueAdapter::Method convert,
                                             const Progress& progress,
                                             AsyncApiMethod::ResultCb::Continuation&& next) {
  // The request localizer renders a native error alone, and an error value beside it wins: only
  // then is it built, since making the defaults costs more than the rest of a plain answer. The
  // method filter always passes an activation; without one the defaults stand in.
  const bool rendersNativeError = error == nullptr && nativeError.has_value();
  Data::ErrorValuePtr answer = Data::NativeErrorHelper::GetError(
      std::move(error), nativeError,
      !rendersNativeError      ? L10n::RequestLocalizer(nullptr, nullptr)
      : activation_ != nullptr ? activation_->GetErrorRequestLocalizer()
                               : L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer());
  if (answer != nullptr) {
    TakeCallback()(nullptr, std::move(answer), progress, {});
    return;
  }
  if (value == nullptr) {
    callback_(nullptr, nullptr, progress, {});
    return;
  }
  // Borrowed: the activation holds both for the length of the answer.
  const L10n::RequestLocalizer localizer =
      activation_ != nullptr ? L10n::RequestLocalizer::Borrow(activation_->GetLocalizer().get(),
                                                              activation_->GetLocale().get())
                             : L10n::RequestLocalizer(nullptr, nullptr);
  Data::DataValuePtr output;
  MessageList messages;
  if (!Data::NativeToValueAdapter::Adapt(value, convert, output, messages, localizer)) {
    // The implementation broke its contract; what exactly is wrong is none of the caller's
    // business, so the conversion's messages stay here.
    TakeCallback()(nullptr,
                   Data::ErrorValue::GetInstance(std::string(ErrorNames::kInternalServerError)),
                   progress, {});
    return;
  }
  TakeCallback()(std::move(output), nullptr, progress, std::move(next));
}

AsyncApiMethod::ResultCb AsyncApiMethodResultFilterBase::TakeCallback() {
  return std::exchange(callback_, AsyncApiMethod::ResultCb(&IgnoreAnswer));
}

}  // namespace Quil::Provider
