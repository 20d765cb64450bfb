#include <quil/stub/invoker.h>

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

Data::DataValuePtr AsyncMethodInvoker::ConvertInput(NativeConstPtr input,
                                                    Data::NativeToValueAdapter::Method method,
                                                    Data::ErrorValuePtr& failure) {
  // Made for this call, with the client's locale (the defaults), and borrowed for the length of
  // the conversion: neither costs an allocation.
  const L10n::Localizer localizer;
  const L10n::LocaleSpec locale = L10n::LocaleHelpers::MakeDefaultLocale();
  Data::DataValuePtr value;
  MessageList messages;
  if (!Data::NativeToValueAdapter::Adapt(input, method, value, messages,
                                         L10n::RequestLocalizer::Borrow(&localizer, &locale))) {
    failure = Data::ErrorValue::Create(std::string(ErrorNames::kInvalidArgument), messages);
    return nullptr;
  }
  failure = nullptr;
  return value;
}

}  // namespace Quil::Stub
