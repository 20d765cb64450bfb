// Provider interfaces by name, and the routing of a method identifier to one of their methods:
// the one piece that every API provider (in-process or behind a server) serves from.
//
// Registration refuses a second interface of the same name, so that two services bound to one
// name are noticed instead of one silently replacing the other; unregister first to replace.
//
// Routing takes no lock and writes nothing shared: the registry publishes an immutable table of
// the interfaces and their methods, which every change replaces by a new one (changes made at the
// same time from several threads each take effect once). A replaced table, and whatever it holds,
// stays alive until the registry goes, since an invocation routed through it may still be running:
// an unregistered interface leaves the routing at once but lives on with the registry.
// Registering is meant for setting up, not for swapping interfaces in and out all the time.
//
// A method the registry does not hold is answered with `OperationNotFound`:
// ErrorNames::kOperationNotFound carrying "quil.provider.operation.not.found"
// (interface name, method name), localised for the caller when the activation can.
//
//   Quil::Provider::InterfaceRegistry registry;
//   registry.Register(CpusSvc::AsyncServiceBinder::BindImplementation(implementation));
//   if (auto method = registry.Route(methodId.get())) (*method)->Invoke(input, activation, cb);
#pragma once

#include <atomic>
#include <memory>
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
  // Borrowed from the registry, which keeps it alive: copy it to keep it longer.
  const std::shared_ptr<const AsyncApiMethod>* Route(const Core::MethodIdentifier* method) const;
  // Every registered interface, by ascending name.
  std::vector<std::shared_ptr<const AsyncApiInterface>> List() const;

  // The answer to a method that is not served.
  static Core::MethodResultPtr OperationNotFound(std::string_view interfaceName,
                                                 std::string_view methodName,
                                                 const Core::AsyncActivation* activation);

 private:
  struct Table;

  const Table& Current() const { return *current_.load(std::memory_order_acquire); }
  // Publishes `change` applied to the current table; false, and nothing published, when
  // `change` refuses.
  template <typename Change>
  bool Publish(Change change);

  // Never null. Each table owns the one it replaced.
  std::atomic<Table*> current_;
};

}  // namespace Quil::Provider
