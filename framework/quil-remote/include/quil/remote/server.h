// A JSON-RPC 2.0 server over HTTP/1.1 that serves the provider interfaces of an
// `InterfaceRegistry` to other processes. See docs/remote.md for the wire.
//
// Safe by default: it binds 127.0.0.1; binding any other address needs TLS and a bearer token
// (Start refuses otherwise). Every limit has a default and an option. Calls run on the server's
// own threads (an io_context with `threads` threads); an implementation may answer later from any
// thread of its own.
//
//   Quil::Provider::InterfaceRegistry registry;
//   registry.Register(CpusSvc::AsyncServiceBinder::BindImplementation(implementation));
//   Quil::Remote::HttpServer server(registry, {});   // 127.0.0.1, a free port
//   std::string error;
//   if (!server.Start(error)) Fail(error);
//   Use(server.Port());
//   server.Stop(std::chrono::seconds(5));            // stop accepting, let calls finish
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <quil/export.h>
#include <quil/provider/interface_registry.h>

namespace Quil::Remote {

struct ServerOptions {
  std::string address = "127.0.0.1";  // IPv4 or IPv6 literal
  std::uint16_t port = 0;             // 0: a free port, see HttpServer::Port
  std::string path = "/api";
  unsigned threads = 2;

  // TLS: PEM files of the server's certificate chain and private key; both or neither.
  std::string certificateFile;
  std::string privateKeyFile;
  // Required from every request as "Authorization: Bearer <token>" when not empty.
  std::string token;

  std::size_t headerLimit = 8 * 1024;
  std::size_t bodyLimit = 4 * 1024 * 1024;
  std::size_t maxDepth = 64;  // JSON nesting of one request
  std::size_t maxConnections = 256;
  std::chrono::milliseconds requestDeadline{30'000};  // from the request's arrival to its answer
  std::chrono::milliseconds idleTimeout{60'000};      // keep-alive connection without a request
  std::chrono::milliseconds headerTimeout{10'000};    // from the first byte to the full header
};

class QUIL_REMOTE_API HttpServer {
 public:
  // The registry must outlive the server; interfaces may be registered while it runs.
  HttpServer(Provider::InterfaceRegistry& registry, ServerOptions options);
  // Stops with no grace period if still running.
  ~HttpServer();

  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds, listens and starts the threads. False with a reason (bad options, a non-loopback
  // address without TLS and token, unreadable TLS files, address in use).
  bool Start(std::string& error);
  // The port bound (useful with port 0).
  std::uint16_t Port() const;
  // Stops accepting, waits up to `grace` for calls in flight to answer, closes every connection
  // and joins the threads. Idempotent. Not from an implementation running on the server's threads.
  void Stop(std::chrono::milliseconds grace);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Quil::Remote
