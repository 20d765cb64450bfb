#include <quil/provider/interface_registry.h>

#include <mutex>
#include <utility>

#include <quil/data/native_error.h>
#include <quil/error_names.h>
#include <quil/l10n/localizer.h>
#include <quil/message.h>

namespace Quil::Provider {

InterfaceRegistry::InterfaceRegistry() = default;

InterfaceRegistry::InterfaceRegistry(
    const std::vector<std::shared_ptr<const AsyncApiInterface>>& interfaces) {
  for (const auto& api : interfaces) Register(api);
}

InterfaceRegistry::~InterfaceRegistry() = default;

bool InterfaceRegistry::Register(std::shared_ptr<const AsyncApiInterface> api) {
  if (api == nullptr || api->GetIdentifier() == nullptr) return false;
  std::string name = api->GetIdentifier()->GetName();
  std::unique_lock lock(mutex_);
  return interfaces_.emplace(std::move(name), std::move(api)).second;
}

bool InterfaceRegistry::Unregister(std::string_view interfaceName) {
  std::shared_ptr<const AsyncApiInterface> removed;  // released after the lock
  std::unique_lock lock(mutex_);
  auto found = interfaces_.find(interfaceName);
  if (found == interfaces_.end()) return false;
  removed = std::move(found->second);
  interfaces_.erase(found);
  return true;
}

std::shared_ptr<const AsyncApiInterface> InterfaceRegistry::Find(
    std::string_view interfaceName) const {
  std::shared_lock lock(mutex_);
  auto found = interfaces_.find(interfaceName);
  return found == interfaces_.end() ? nullptr : found->second;
}

std::shared_ptr<const AsyncApiMethod> InterfaceRegistry::FindMethod(
    std::string_view interfaceName, std::string_view methodName) const {
  std::shared_ptr<const AsyncApiInterface> api = Find(interfaceName);
  return api == nullptr ? nullptr : api->FindMethod(methodName);
}

std::shared_ptr<const AsyncApiMethod> InterfaceRegistry::Route(
    const Core::MethodIdentifier* method) const {
  if (method == nullptr || method->GetInterface() == nullptr) return nullptr;
  return FindMethod(method->GetInterface()->GetName(), method->GetName());
}

std::vector<std::shared_ptr<const AsyncApiInterface>> InterfaceRegistry::List() const {
  std::shared_lock lock(mutex_);
  std::vector<std::shared_ptr<const AsyncApiInterface>> all;
  all.reserve(interfaces_.size());
  for (const auto& entry : interfaces_) all.push_back(entry.second);
  return all;
}

Core::MethodResultPtr InterfaceRegistry::OperationNotFound(
    std::string_view interfaceName, std::string_view methodName,
    const Core::AsyncActivation* activation) {
  Data::NativeError error{std::string(ErrorNames::kOperationNotFound),
                          {Message<CoreTag>("quil.provider.operation.not.found",
                                            std::string(interfaceName), std::string(methodName))}};
  L10n::RequestLocalizer localizer =
      activation != nullptr ? activation->GetErrorRequestLocalizer()
                            : L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
  return Core::MethodResult::Create(nullptr,
                                    Data::NativeErrorHelper::GetError(nullptr, error, localizer));
}

}  // namespace Quil::Provider
