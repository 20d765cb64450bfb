// Provider interfaces by name, and the routing of a method identifier to one of their methods:
// the one piece that every API provider (in-process or behind a server) serves from.
//
// Registration refuses a second interface of the same name, so that two services bound to one
// name are noticed instead of one silently replacing the other; unregister first to replace.
// A reader-writer mutex guards the table: interfaces may be registered and unregistered while
// invocations are routed. A method already routed keeps itself alive after its interface is
// unregistered.
//
// A method the registry does not hold is answered with `OperationNotFound`:
// ErrorNames::kOperationNotFound carrying "quil.provider.operation.not.found"
// (interface name, method name), localised for the caller when the activation can.
//
//   Quil::Provider::InterfaceRegistry registry;
//   registry.Register(CpusSvc::AsyncServiceBinder::BindImplementation(implementation));
//   if (auto method = registry.Route(*methodId)) method->Invoke(input, activation, callback);
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include <quil/core/activation.h>
#include <quil/core/identifiers.h>
#include <quil/core/method_result.h>
#include <quil/export.h>
#include <quil/provider/api_method.h>

namespace Quil::Provider {

class QUIL_CORE_API InterfaceRegistry {
 public:
  InterfaceRegistry();
  // A registry holding `interfaces`; one that is null, nameless or named twice is left out.
  explicit InterfaceRegistry(
      const std::vector<std::shared_ptr<const AsyncApiInterface>>& interfaces);
  ~InterfaceRegistry();

  InterfaceRegistry(const InterfaceRegistry&) = delete;
  InterfaceRegistry& operator=(const InterfaceRegistry&) = delete;

  // False, and nothing changed, for a null interface, an interface without identifier, or a name
  // already registered.
  bool Register(std::shared_ptr<const AsyncApiInterface> api);
  // False when no interface of that name is registered.
  bool Unregister(std::string_view interfaceName);
  // The registered interface of that name, or null.
  std::shared_ptr<const AsyncApiInterface> Find(std::string_view interfaceName) const;
  // The method `methodName` of the interface `interfaceName`, or null.
  std::shared_ptr<const AsyncApiMethod> FindMethod(std::string_view interfaceName,
                                                   std::string_view methodName) const;
  // The method a method identifier names, or null (also for a null identifier or interface).
  std::shared_ptr<const AsyncApiMethod> Route(const Core::MethodIdentifier* method) const;
  // Every registered interface, by ascending name.
  std::vector<std::shared_ptr<const AsyncApiInterface>> List() const;

  // The answer to a method that is not served.
  static Core::MethodResultPtr OperationNotFound(std::string_view interfaceName,
                                                 std::string_view methodName,
                                                 const Core::AsyncActivation* activation);

 private:
  mutable std::shared_mutex mutex_;  // guards interfaces_ only; never held while a method runs
  std::map<std::string, std::shared_ptr<const AsyncApiInterface>, std::less<>> interfaces_;
};

}  // namespace Quil::Provider
