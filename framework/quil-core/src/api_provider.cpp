#include <quil/provider/api_provider.h>

#include <utility>

#include <quil/core/method_result.h>

namespace Quil::Provider {

ApiProvider::~ApiProvider() = default;

LocalApiProvider::LocalApiProvider() = default;

LocalApiProvider::LocalApiProvider(Executor executor) : executor_(std::move(executor)) {}

LocalApiProvider::~LocalApiProvider() = default;

void LocalApiProvider::Invoke(std::shared_ptr<const Core::MethodIdentifier> method,
                              Data::DataValuePtr input,
                              std::shared_ptr<Core::AsyncActivation> activation,
                              const Core::AsyncApiResultCb& callback) {
  // Borrowed: the registry keeps every method it ever routed to alive as long as it lives.
  const std::shared_ptr<const AsyncApiMethod>* routed = registry_.Route(method.get());

  if (routed != nullptr) {
    if (!executor_) {
      (*routed)->Invoke(std::move(input), std::move(activation), callback);
      return;
    }
    // The task owns everything it needs: the caller's arguments, and the provider, may be gone
    // when it runs.
    executor_([target = *routed, input = std::move(input), activation = std::move(activation),
               callback]() mutable {
      target->Invoke(std::move(input), std::move(activation), callback);
    });
    return;
  }

  // Only the not-found answer needs the names as texts of its own.
  const bool named = method != nullptr && method->GetInterface() != nullptr;
  std::string interfaceName = named ? method->GetInterface()->GetName() : std::string();
  std::string methodName = method != nullptr ? method->GetName() : std::string();
  if (!executor_) {
    callback(InterfaceRegistry::OperationNotFound(interfaceName, methodName, activation.get()),
             kFinalProgress, nullptr);
    return;
  }
  executor_([interfaceName = std::move(interfaceName), methodName = std::move(methodName),
             activation = std::move(activation), callback]() {
    callback(InterfaceRegistry::OperationNotFound(interfaceName, methodName, activation.get()),
             kFinalProgress, nullptr);
  });
}

}  // namespace Quil::Provider
