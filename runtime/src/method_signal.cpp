#include <quil/provider/method_signal.h>

#include <utility>

#include <quil/core/method_result.h>
#include <quil/error_names.h>
#include <quil/message.h>
#include <quil/provider/api_method_helper.h>

namespace Quil::Provider {
namespace {

Core::AsyncApiResultCb DoNothing() {
  return Core::AsyncApiResultCb(
      [](Core::MethodResultPtr, Progress, Core::AsyncApiResultCb::Continuation) {});
}

}  // namespace

AsyncApiMethodSignal::ValidateResultWrapper::ValidateResultWrapper(
    std::shared_ptr<const AsyncApiMethodSignal> signal, Core::AsyncApiResultCb callback)
    : signal_(std::move(signal)), callback_(std::move(callback)) {}

Core::AsyncApiResultCb AsyncApiMethodSignal::ValidateResultWrapper::TakeCallback() {
  return std::exchange(callback_, DoNothing());
}

void AsyncApiMethodSignal::ValidateResultWrapper::operator()(
    Data::DataValuePtr output, Data::ErrorValuePtr error, Progress progress,
    AsyncApiMethod::ResultCb::Continuation&& continuation) {
  if (error != nullptr) {
    Core::MethodResultPtr result =
        ApiMethodHelper::ValidateError(signal_->methodName_, signal_->errorDefs_, error);
    TakeCallback()(std::move(result), progress, {});
    return;
  }
  if (output != nullptr) {
    Core::MethodResultPtr result =
        ApiMethodHelper::ValidateOutput(signal_->methodName_, signal_->outputDef_, output);
    Core::AsyncApiResultCb::Continuation next;
    if (continuation) {
      // The next output of a stream is checked by a wrapper of its own.
      next = [signal = signal_, continuation = std::move(continuation)](
                 std::shared_ptr<Core::AsyncApiResultCb> nextCallback) {
        if (nextCallback == nullptr) {
          continuation(nullptr);
          return;
        }
        continuation(std::make_shared<AsyncApiMethod::ResultCb>(
            ValidateResultWrapper(signal, *nextCallback)));
      };
    }
    TakeCallback()(std::move(result), progress, std::move(next));
    return;
  }
  if (!progress.IsComplete()) {
    callback_(nullptr, progress, {});
    return;
  }
  TakeCallback()(Core::MethodResult::Create(nullptr, nullptr), progress, {});
}

std::shared_ptr<AsyncApiMethodSignal> AsyncApiMethodSignal::GetInstance(
    std::string methodName, Data::DataDefinitionPtr inputDef, Data::DataDefinitionPtr outputDef,
    ErrorDefinitions errorDefs, std::shared_ptr<L10n::Localizer> localizer) {
  return std::make_shared<AsyncApiMethodSignal>(std::move(methodName), std::move(inputDef),
                                                std::move(outputDef), std::move(errorDefs),
                                                std::move(localizer));
}

AsyncApiMethodSignal::AsyncApiMethodSignal(std::string methodName, Data::DataDefinitionPtr inputDef,
                                           Data::DataDefinitionPtr outputDef,
                                           ErrorDefinitions errorDefs,
                                           std::shared_ptr<L10n::Localizer> localizer)
    : methodName_(std::move(methodName)),
      inputDef_(std::move(inputDef)),
      outputDef_(std::move(outputDef)),
      errorDefs_(std::move(errorDefs)),
      localizer_(std::move(localizer)) {}

AsyncApiMethodSignal::~AsyncApiMethodSignal() = default;

bool AsyncApiMethodSignal::SetHandler(Handler handler) {
  if (handler_) return false;
  handler_ = std::move(handler);
  return true;
}

const std::string& AsyncApiMethodSignal::methodName() const { return methodName_; }

std::shared_ptr<Core::MethodDefinition> AsyncApiMethodSignal::definition(
    const std::shared_ptr<const Core::InterfaceIdentifier>& interfaceId) const {
  return std::make_shared<Core::MethodDefinition>(
      Core::MethodIdentifier::GetInstance(interfaceId, methodName_), inputDef_, outputDef_);
}

Data::DataDefinitionPtr AsyncApiMethodSignal::inputDefinition() const { return inputDef_; }

Data::DataDefinitionPtr AsyncApiMethodSignal::outputDefinition() const { return outputDef_; }

AsyncApiMethod::ErrorDefinitions AsyncApiMethodSignal::errorDefinitions() { return errorDefs_; }

const AsyncApiMethod::ErrorDefinitions& AsyncApiMethodSignal::errorDefinitions() const {
  return errorDefs_;
}

void AsyncApiMethodSignal::Invoke(Data::DataValuePtr input,
                                  std::shared_ptr<Core::AsyncActivation> activation,
                                  const Core::AsyncApiResultCb& callback) const {
  if (!handler_) {
    const MessageList messages{Message<CoreTag>("quil.provider.method.signal.not.connected")};
    callback(Core::MethodResult::Create(
                 nullptr,
                 Data::ErrorValue::Create(std::string(ErrorNames::kInternalServerError), messages)),
             kFinalProgress, {});
    return;
  }
  Core::MethodResultPtr rejected;
  if (!ApiMethodHelper::ValidateInput(methodName_, inputDef_, input, rejected)) {
    callback(std::move(rejected), kFinalProgress, {});
    return;
  }
  // Errors reported later are localised with the localizer of this binding. An activation that
  // served this binding before holds it already: storing it again would only write its shared
  // count, which every thread calling this binding writes.
  if (activation->GetLocalizer() != localizer_) activation->SetLocalizer(localizer_);
  AsyncApiMethod::ResultCb checked(ValidateResultWrapper(shared_from_this(), callback));
  handler_(input, activation, checked);
}

}  // namespace Quil::Provider
