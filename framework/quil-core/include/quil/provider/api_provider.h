// The client's way into the framework: an API provider takes an invocation named by interface and
// method and answers it through the invocation's result callback, now or later, on any thread.
//
// `LocalApiProvider` serves provider interfaces of the same process from its `InterfaceRegistry`.
// It routes an invocation by the interface name and the method name to that method's `Invoke`,
// which checks the input and answers. An interface or method it does not know is answered
// through the callback with the registry's not-found answer; it never throws for that.
//
// By default everything happens inside `Invoke`, on the caller's thread. Constructed with an
// executor, the provider looks the method up at once (the registry as it stands at the call
// decides) and hands the rest of the invocation, the not-found answer included, to the executor,
// which may run it later on a thread of its own. The provider starts no threads itself.
//
// Interfaces may be registered and unregistered while invocations run; routing takes no lock.
// An invocation already routed (running, or waiting in the executor) still runs after its
// interface is unregistered.
//
//   Quil::Provider::LocalApiProvider provider;
//   provider.Register(CpusSvc::AsyncServiceBinder::BindImplementation(implementation));
//   Quil::Core::AsyncActivation defaults;
//   auto stub = std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults);
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include <quil/core/activation.h>
#include <quil/core/api_result_cb.h>
#include <quil/core/identifiers.h>
#include <quil/data/value.h>
#include <quil/export.h>
#include <quil/provider/api_method.h>
#include <quil/provider/interface_registry.h>

namespace Quil::Provider {

class QUIL_CORE_API ApiProvider {
 public:
  // Every answer, progress and the final result, goes through `callback`.
  virtual void Invoke(std::shared_ptr<const Core::MethodIdentifier> method,
                      Data::DataValuePtr input, std::shared_ptr<Core::AsyncActivation> activation,
                      const Core::AsyncApiResultCb& callback) = 0;
  virtual ~ApiProvider();

 protected:
  ApiProvider() = default;
  ApiProvider(const ApiProvider&) = default;
  ApiProvider& operator=(const ApiProvider&) = default;
};

class QUIL_CORE_API LocalApiProvider final : public ApiProvider {
 public:
  // Runs one routed invocation, now or later, on whatever thread it chooses. It must run each
  // task exactly once; a task never throws on its own account.
  using Executor = std::function<void(std::function<void()>)>;

  // Answers inside Invoke.
  LocalApiProvider();
  // Hands every routed invocation to `executor`; an empty executor answers inside Invoke.
  explicit LocalApiProvider(Executor executor);
  ~LocalApiProvider() override;

  LocalApiProvider(const LocalApiProvider&) = delete;
  LocalApiProvider& operator=(const LocalApiProvider&) = delete;

  // The registry's rules: see InterfaceRegistry.
  bool Register(std::shared_ptr<const AsyncApiInterface> api) {
    return registry_.Register(std::move(api));
  }
  bool Unregister(std::string_view interfaceName) { return registry_.Unregister(interfaceName); }
  std::shared_ptr<const AsyncApiInterface> Find(std::string_view interfaceName) const {
    return registry_.Find(interfaceName);
  }
  InterfaceRegistry& Registry() { return registry_; }

  // A null method identifier (or one without interface) is answered as an unknown operation with
  // empty names.
  void Invoke(std::shared_ptr<const Core::MethodIdentifier> method, Data::DataValuePtr input,
              std::shared_ptr<Core::AsyncActivation> activation,
              const Core::AsyncApiResultCb& callback) override;

 private:
  Executor executor_;
  InterfaceRegistry registry_;
};

}  // namespace Quil::Provider
