// An API provider that sends every invocation to a JSON-RPC server over HTTP, so that the
// generated stubs work against a service in another process without any change.
//
// Outputs and errors are decoded with the definitions of the invoked method, looked up in the
// `definitions` registry (a registry of described interfaces; see
// `Com::Korvan::Tavo::Vm::DescribeServices`). A method it does not describe is decoded by JSON
// type alone.
//
// Every invocation is answered exactly once through its callback. A transport failure (refused
// connection, reset, deadline passed, malformed answer) is answered with
// ErrorNames::kServiceUnavailable carrying "quil.remote.unavailable" (what happened). The
// provider owns one I/O thread; answers are delivered on it, so an answer must not wait for
// another answer of the same provider, nor destroy the provider. Connections are kept
// alive and reused, up to `maxConnections` at once; calls beyond wait for one.
//
//   Quil::Remote::ClientOptions options;
//   options.url = "http://127.0.0.1:8421/api";
//   auto provider = std::make_shared<Quil::Remote::HttpApiProvider>(
//       options, Com::Korvan::Tavo::Vm::DescribeServices());
//   Quil::Core::AsyncActivation defaults;
//   auto stub = std::make_shared<Quil::Stub::AsyncApiStub>(*provider, defaults);
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include <quil/export.h>
#include <quil/provider/api_provider.h>
#include <quil/provider/interface_registry.h>

namespace Quil::Remote {

struct ClientOptions {
  std::string url = "http://127.0.0.1:8421/api";  // http:// or https://
  std::string token;                              // sent as a bearer token when not empty
  std::string caFile;  // PEM; https verifies the server against it (system roots when empty)
  std::chrono::milliseconds timeout{30'000};  // per call, connection included
  std::size_t maxConnections = 4;
  std::size_t maxDepth = 128;                // JSON nesting of one answer
  std::size_t bodyLimit = 64 * 1024 * 1024;  // bytes of one answer
};

class QUIL_REMOTE_API HttpApiProvider final : public Provider::ApiProvider {
 public:
  // Throws std::invalid_argument for a URL it cannot use.
  HttpApiProvider(ClientOptions options,
                  std::shared_ptr<const Provider::InterfaceRegistry> definitions);
  // Answers every call still in flight with service_unavailable, then joins its thread.
  ~HttpApiProvider() override;

  void Invoke(std::shared_ptr<const Core::MethodIdentifier> method, Data::DataValuePtr input,
              std::shared_ptr<Core::AsyncActivation> activation,
              const Core::AsyncApiResultCb& callback) override;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace Quil::Remote
