#include <quil/stub/invoker.h>

#include <system_error>

#include <quil/error_names.h>

namespace Quil::Stub {

void AsyncApiStub::Invoke(std::shared_ptr<const Core::MethodIdentifier> method,
                          Data::DataValuePtr input,
                          std::shared_ptr<Core::AsyncActivation> activation,
                          const Core::AsyncApiResultCb& callback) {
  if (activation == nullptr) {
    // A copy, so that whatever the provider writes into it stays with this call.
    activation = std::make_shared<Core::AsyncActivation>(defaultActivation_);
  }
  provider_.Invoke(std::move(method), std::move(input), std::move(activation), callback);
}

Data::ErrorValuePtr AsyncResultWrapper::MakeOutputError(const MessageList& messages) {
  return Data::ErrorValue::Create(std::string(kOutputErrorName), messages);
}

std::shared_ptr<const Core::MethodIdentifier> AsyncMethodInvoker::MakeMethodIdentifier(
    std::string interfaceName, std::string methodName) {
  return Core::MethodIdentifier::GetInstance(
      Core::InterfaceIdentifier::GetInstance(std::move(interfaceName)), std::move(methodName));
}

L10n::RequestLocalizer AsyncMethodInvoker::MakeRequestLocalizer() {
  // The tags are well formed, so the error codes stay clear.
  std::error_code error;
  L10n::LanguagePreference language = L10n::LocaleHelpers::MakeLanguagePreference("en_US", error);
  L10n::LanguagePreference format = L10n::LocaleHelpers::MakeLanguagePreference("C", error);
  auto locale = std::make_shared<const L10n::LocaleSpec>(std::move(language), std::move(format),
                                                         L10n::TimezoneSpec("Etc/UTC"));
  return L10n::RequestLocalizer(std::make_shared<const L10n::Localizer>(), std::move(locale));
}

Data::DataValuePtr AsyncMethodInvoker::ConvertInput(NativeConstPtr input,
                                                    Data::NativeToValueAdapter::Method method,
                                                    Data::ErrorValuePtr& failure) {
  const L10n::RequestLocalizer localizer = MakeRequestLocalizer();
  Data::DataValuePtr value;
  MessageList messages;
  if (!Data::NativeToValueAdapter::Adapt(input, method, value, messages, localizer)) {
    failure = Data::ErrorValue::Create(std::string(ErrorNames::kInvalidArgument), messages);
    return nullptr;
  }
  failure = nullptr;
  return value;
}

}  // namespace Quil::Stub
