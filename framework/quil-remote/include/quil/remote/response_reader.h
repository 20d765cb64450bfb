// How `HttpApiProvider` reads the answer to one call from the body of an HTTP response, apart
// from the connection that carried it, so that tests and fuzzers can feed it bytes directly.
//
// The body arrives in pieces. An NDJSON body (application/x-ndjson) is read line by line:
// progress notifications go to `onProgress` as soon as their line is complete, and the last other
// line is the response. Any other body is one JSON-RPC response. `Finish` gives the final result:
// the output or the error of the call, decoded with the method's definitions (by JSON type when
// there is no method), or "com.korvan.quil.std.errors.service_unavailable" carrying
// "quil.remote.unavailable" with what is wrong with the answer. See docs/remote.md for the wire.
//
//   ResponseReader reader(id, method, limits, "127.0.0.1 port 8421", onProgress);
//   reader.Append(piece, ndjson);  // as the body arrives
//   Core::MethodResultPtr result = reader.Finish(200, "OK", ndjson);
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <quil/core/method_result.h>
#include <quil/export.h>
#include <quil/provider/api_method.h>
#include <quil/remote/json.h>
#include <quil/types.h>

namespace Quil::Remote {

class QUIL_REMOTE_API ResponseReader {
 public:
  using ProgressFunction = std::function<void(const Progress&)>;

  // `id`: the call's JSON-RPC id; `method`: whose definitions decode the answer (may be null);
  // `where`: the server, as failures name it.
  ResponseReader(std::uint64_t id, std::shared_ptr<const Provider::AsyncApiMethod> method,
                 Json::DecodeLimits limits, std::string where, ProgressFunction onProgress);

  // The next piece of the body; `ndjson` when the response's content type is NDJSON.
  void Append(std::string_view piece, bool ndjson);
  // The final result once the body is complete; never null.
  Core::MethodResultPtr Finish(unsigned status, std::string_view reason, bool ndjson);

 private:
  QUIL_HIDDEN void TakeLines(bool all);
  QUIL_HIDDEN bool ProgressReport(std::string_view line);
  QUIL_HIDDEN Core::MethodResultPtr Unavailable(std::string what) const;
  QUIL_HIDDEN Core::MethodResultPtr Undecodable(const char* what, MessageList messages) const;

  std::uint64_t id_;
  std::shared_ptr<const Provider::AsyncApiMethod> method_;
  Json::DecodeLimits limits_;
  std::string where_;
  ProgressFunction onProgress_;
  std::string lines_;  // of an NDJSON body, what has not been handed on; otherwise the body
  std::string final_;  // the response
};

}  // namespace Quil::Remote
