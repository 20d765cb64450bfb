#include <quil/provider/api_provider.h>

#include <mutex>
#include <utility>

#include <quil/core/method_result.h>
#include <quil/data/native_error.h>
#include <quil/l10n/localizer.h>
#include <quil/message.h>

namespace Quil::Provider {

namespace {

// The not-found answer, its text localised for the caller when the activation can.
Core::MethodResultPtr MakeOperationNotFound(const std::string& interfaceName,
                                            const std::string& methodName,
                                            const Core::AsyncActivation* activation) {
  Data::NativeError error{
      std::string(LocalApiProvider::kOperationNotFound),
      {Message<CoreTag>("quil.provider.operation.not.found", interfaceName, methodName)}};
  L10n::RequestLocalizer localizer =
      activation != nullptr ? activation->GetErrorRequestLocalizer()
                            : L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return Core::MethodResult::Create(nullptr,
                                    Data::NativeErrorHelper::GetError(nullptr, error, localizer));
}

}  // namespace

ApiProvider::~ApiProvider() = default;

LocalApiProvider::LocalApiProvider() = default;

LocalApiProvider::LocalApiProvider(Executor executor) : executor_(std::move(executor)) {}

LocalApiProvider::~LocalApiProvider() = default;

bool LocalApiProvider::Register(std::shared_ptr<const AsyncApiInterface> api) {
  if (api == nullptr || api->GetIdentifier() == nullptr) return false;
  std::string name = api->GetIdentifier()->GetName();
  std::unique_lock lock(mutex_);
  return interfaces_.emplace(std::move(name), std::move(api)).second;
}

bool LocalApiProvider::Unregister(std::string_view interfaceName) {
  std::shared_ptr<const AsyncApiInterface> removed;  // released after the lock
  std::unique_lock lock(mutex_);
  auto found = interfaces_.find(interfaceName);
  if (found == interfaces_.end()) return false;
  removed = std::move(found->second);
  interfaces_.erase(found);
  return true;
}

std::shared_ptr<const AsyncApiInterface> LocalApiProvider::Find(
    std::string_view interfaceName) const {
  std::shared_lock lock(mutex_);
  auto found = interfaces_.find(interfaceName);
  return found == interfaces_.end() ? nullptr : found->second;
}

void LocalApiProvider::Invoke(std::shared_ptr<const Core::MethodIdentifier> method,
                              Data::DataValuePtr input,
                              std::shared_ptr<Core::AsyncActivation> activation,
                              const Core::AsyncApiResultCb& callback) {
  const bool named = method != nullptr && method->GetInterface() != nullptr;
  std::shared_ptr<const AsyncApiMethod> target;
  if (named) {
    if (std::shared_ptr<const AsyncApiInterface> api = Find(method->GetInterface()->GetName())) {
      target = api->FindMethod(method->GetName());
    }
  }

  if (target != nullptr) {
    if (!executor_) {
      target->Invoke(std::move(input), std::move(activation), callback);
      return;
    }
    // The task owns everything it needs: the caller's arguments may be gone when it runs.
    executor_([target = std::move(target), input = std::move(input),
               activation = std::move(activation), callback]() mutable {
      target->Invoke(std::move(input), std::move(activation), callback);
    });
    return;
  }

  // Only the not-found answer needs the names as texts of its own.
  std::string interfaceName = named ? method->GetInterface()->GetName() : std::string();
  std::string methodName = method != nullptr ? method->GetName() : std::string();
  if (!executor_) {
    callback(MakeOperationNotFound(interfaceName, methodName, activation.get()), kFinalProgress,
             nullptr);
    return;
  }
  executor_([interfaceName = std::move(interfaceName), methodName = std::move(methodName),
             activation = std::move(activation), callback]() {
    callback(MakeOperationNotFound(interfaceName, methodName, activation.get()), kFinalProgress,
             nullptr);
  });
}

}  // namespace Quil::Provider
