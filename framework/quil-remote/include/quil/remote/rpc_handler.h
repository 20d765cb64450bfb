// The JSON-RPC side of the server without any socket: it takes one HTTP request (method, target,
// headers, body), checks it, invokes the operations it names through an `InterfaceRegistry` and
// answers through a responder, at once or later from whatever thread the implementation answers
// on. `HttpServer` puts one in front of every connection; a test or a fuzzer drives it directly.
// See docs/remote.md for the wire.
//
// Every request is answered exactly once through `RpcResponder::Reply`, also a malformed one
// (with the HTTP status or the JSON-RPC error docs/remote.md names). Before that, a single
// request that asked for a stream may receive progress lines through `RpcResponder::Progress`.
// Nothing the client sends makes the handler throw or invoke anything when the bearer token is
// missing or wrong.
//
//   Quil::Remote::RpcHandler handler(registry, {});
//   auto pending = handler.Handle({"POST", "/api", headers, body}, responder);
//   if (pending) ArmDeadline([pending] { pending->Expire(); });
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <quil/export.h>
#include <quil/provider/interface_registry.h>

namespace Quil::Remote {

// One HTTP request; the views are read during RpcHandler::Handle only.
struct HttpRequestView {
  using Header = std::pair<std::string_view, std::string_view>;  // name, value

  std::string_view method;
  std::string_view target;
  std::vector<Header> headers;
  std::string_view body;
};

struct HttpReply {
  unsigned status = 200;
  std::string_view contentType;  // empty when there is no body
  std::string body;
};

// Where the answers of one request go. Calls may come from any thread, one at a time, progress
// lines always before the reply. A responder must not call back into the handler.
class QUIL_REMOTE_API RpcResponder {
 public:
  virtual ~RpcResponder();
  // One NDJSON line, '\n' included, for a request that asked for progress.
  virtual void Progress(std::string line) = 0;
  // The one reply of the request.
  virtual void Reply(HttpReply reply) = 0;

 protected:
  RpcResponder() = default;
  RpcResponder(const RpcResponder&) = default;
  RpcResponder& operator=(const RpcResponder&) = default;
};

// The calls of one request that have not answered yet.
class QUIL_REMOTE_API PendingRequest {
 public:
  virtual ~PendingRequest();
  // Answers every call still open with ErrorNames::kServiceUnavailable (the deadline passed) and
  // replies; answers that come later are dropped. Any thread, idempotent.
  virtual void Expire() = 0;

 protected:
  PendingRequest() = default;
  PendingRequest(const PendingRequest&) = default;
  PendingRequest& operator=(const PendingRequest&) = default;
};

struct RpcHandlerOptions {
  std::string path = "/api";
  std::string token;                                  // required as a bearer token when not empty
  std::size_t maxDepth = 64;                          // JSON nesting of one request
  std::size_t bodyLimit = 4 * 1024 * 1024;            // beyond: HTTP 413
  std::chrono::milliseconds requestDeadline{30'000};  // named in the answer of Expire
};

class QUIL_REMOTE_API RpcHandler {
 public:
  // The registry must outlive the handler and every request it handles.
  RpcHandler(Provider::InterfaceRegistry& registry, RpcHandlerOptions options);
  ~RpcHandler();

  RpcHandler(const RpcHandler&) = delete;
  RpcHandler& operator=(const RpcHandler&) = delete;

  // Answers `request` through `responder` (not null). Null when the reply has been given before
  // returning; otherwise the request's pending calls, which the caller may expire. Thread-safe.
  std::shared_ptr<PendingRequest> Handle(const HttpRequestView& request,
                                         std::shared_ptr<RpcResponder> responder) const;

 private:
  Provider::InterfaceRegistry& registry_;
  RpcHandlerOptions options_;
  unsigned char tokenDigest_[32];
};

}  // namespace Quil::Remote
