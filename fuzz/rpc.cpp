// The JSON-RPC transport without sockets: arbitrary bytes as the body of a request to the
// server's request handler (in front of a fresh simulated host), and as the body of a response
// to the client's response reader.
//
// Input layout: byte 0 picks the side (bit 0: client), byte 1 the shape of the request or
// response (see Serve and Read), byte 2 the client's operation; the rest is the body.
//
// Server: every request is answered exactly once, progress lines before the reply; a JSON or
// NDJSON reply is JSON, and the client reads the reply to a single request; without the bearer
// token the server requires, the reply refuses and the host changes nothing.
// Client: every response gives one final result, never both an output and an error;
// service_unavailable always says why; progress only from NDJSON. (A decoded output may misfit
// its definition: decoding leaves that to the checks that follow.)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/monotonic_resource.hpp>

#include <quil/error_names.h>
#include <quil/provider/api_provider.h>
#include <quil/remote/json.h>
#include <quil/remote/response_reader.h>
#include <quil/remote/rpc_handler.h>
#include <tavo/simhost/host.h>
#include <tavo/vm/catalogue.h>

namespace {

[[noreturn]] void Fail(const std::string& what, std::string_view body) {
  std::fprintf(stderr, "rpc invariant broken: %s\n  body: %.*s\n", what.c_str(),
               static_cast<int>(std::min<std::size_t>(body.size(), 2000)), body.data());
  std::abort();
}

struct Recorder final : Quil::Remote::RpcResponder {
  void Progress(std::string line) override {
    if (replies != 0) Fail("a progress line after the reply", body);
    lines.push_back(std::move(line));
  }
  void Reply(Quil::Remote::HttpReply reply) override {
    ++replies;
    last = std::move(reply);
  }
  std::string_view body;
  int replies = 0;
  std::vector<std::string> lines;
  Quil::Remote::HttpReply last;
};

bool IsJson(std::string_view text) {
  boost::json::monotonic_resource resource;
  Quil::MessageList messages;
  Quil::Remote::Json::DecodeLimits limits;
  limits.maxDepth = 4096;
  return Quil::Remote::Json::Parse(text, resource, messages, limits).has_value();
}

// The server's reply to a single request with a numeric id, read as the client reads it: the
// client must understand it.
void ReadBack(std::string_view body, const Quil::Remote::HttpReply& reply, bool ndjson) {
  boost::json::monotonic_resource resource;
  Quil::MessageList ignored;
  const auto request = Quil::Remote::Json::Parse(body, resource, ignored);
  const boost::json::object* object = request ? request->if_object() : nullptr;
  const boost::json::value* id = object ? object->if_contains("id") : nullptr;
  std::uint64_t number = 0;
  if (id != nullptr && id->is_int64() && id->get_int64() >= 0) {
    number = static_cast<std::uint64_t>(id->get_int64());
  } else if (id != nullptr && id->is_uint64()) {
    number = id->get_uint64();
  } else {
    return;
  }
  Quil::Remote::ResponseReader reader(number, nullptr, {}, "the server", nullptr);
  reader.Append(reply.body, ndjson);
  const auto result = reader.Finish(reply.status, "OK", ndjson);
  if (result->error == nullptr) return;
  const Quil::MessageList messages = result->error->GetMessages();
  if (!messages.empty() && messages.front().id == "quil.remote.unavailable") {
    Fail("the client cannot read the reply " + reply.body + ": " + messages.front().defaultMessage,
         body);
  }
}

// Byte 1: bits 0-1 the HTTP method (POST twice as often), bit 2 a path the server does not
// serve, bit 3 a server that requires a token, bit 4 the right token sent, bit 5 a wrong one,
// bit 6 NDJSON accepted, bit 7 a language preference.
void Serve(std::uint8_t shape, std::string_view body) {
  static const char* const kMethods[] = {"POST", "POST", "GET", "PATCH"};
  int changes = 0;
  Tavo::SimHost::HostOptions options;
  options.persist = [&changes](const Tavo::SimHost::HostState&, std::string&) {
    ++changes;
    return true;
  };
  Tavo::SimHost::Host host(options);
  Quil::Provider::LocalApiProvider provider;
  host.RegisterWith(provider);
  Quil::Remote::RpcHandlerOptions handlerOptions;
  const bool tokenRequired = shape & 8;
  if (tokenRequired) handlerOptions.token = "secret";
  Quil::Remote::RpcHandler handler(provider.Registry(), handlerOptions);

  Quil::Remote::HttpRequestView request;
  request.method = kMethods[shape & 3];
  request.target = shape & 4 ? "/other" : "/api";
  request.headers.push_back({"Content-Type", "application/json"});
  if (shape & 16) request.headers.push_back({"Authorization", "Bearer secret"});
  if (shape & 32) request.headers.push_back({"Authorization", "Bearer wrong"});
  if (shape & 64) request.headers.push_back({"Accept", "application/x-ndjson"});
  if (shape & 128) request.headers.push_back({"Accept-Language", "de-CH, de;q=0.8, *, x"});
  request.body = body;

  auto recorder = std::make_shared<Recorder>();
  recorder->body = body;
  if (auto pending = handler.Handle(request, recorder)) pending->Expire();
  if (recorder->replies != 1) Fail(std::to_string(recorder->replies) + " replies", body);
  const Quil::Remote::HttpReply& reply = recorder->last;
  if (reply.status < 200 || reply.status > 599)
    Fail("status " + std::to_string(reply.status), body);
  if (reply.contentType == "application/json" && !IsJson(reply.body)) {
    Fail("a reply that is not JSON: " + reply.body, body);
  }
  if (reply.contentType == "application/x-ndjson") {
    for (const std::string& line : recorder->lines) {
      if (!IsJson(line)) Fail("a progress line that is not JSON: " + line, body);
    }
    std::string_view rest = reply.body;
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      if (!IsJson(rest.substr(0, end))) Fail("an NDJSON reply line that is not JSON", body);
      rest = end == rest.npos ? std::string_view() : rest.substr(end + 1);
    }
  }
  if (reply.status == 200) ReadBack(body, reply, shape & 64);
  const bool authorized = !tokenRequired || ((shape & 16) && !(shape & 32));
  if (!authorized && (reply.status == 200 || reply.status == 204 || changes != 0)) {
    Fail("a request without the token got through", body);
  }
}

// Byte 1: bit 0 an NDJSON response, bits 1-2 the status (200 twice as often, 500, 404), bit 3 a
// call of the operation byte 2 picks (else one the client has no definitions for), bits 4-7
// the size of the pieces the body arrives in.
void Read(std::uint8_t shape, std::uint8_t pick, std::string_view body) {
  static const auto catalogue = Com::Korvan::Tavo::Vm::DescribeServices();
  static const std::vector<std::shared_ptr<const Quil::Provider::AsyncApiMethod>> methods = [] {
    std::vector<std::shared_ptr<const Quil::Provider::AsyncApiMethod>> all;
    for (const auto& api : catalogue->List()) {
      all.insert(all.end(), api->GetMethods().begin(), api->GetMethods().end());
    }
    return all;
  }();
  static const unsigned kStatus[] = {200, 200, 500, 404};
  const bool ndjson = shape & 1;
  const auto method = shape & 8 ? methods[pick % methods.size()] : nullptr;
  const std::size_t piece = 1 + (shape >> 4) * 37;

  int progress = 0;
  Quil::Remote::ResponseReader reader(7, method, {}, "the server",
                                      [&progress](const Quil::Progress&) { ++progress; });
  for (std::size_t at = 0; at < body.size(); at += piece)
    reader.Append(body.substr(at, piece), ndjson);
  const Quil::Core::MethodResultPtr result =
      reader.Finish(kStatus[(shape >> 1) & 3], "Reason", ndjson);

  if (result == nullptr) Fail("no result", body);
  if (progress != 0 && !ndjson) Fail("progress from a plain JSON body", body);
  if (result->output != nullptr && result->error != nullptr) Fail("an output and an error", body);
  if (result->error != nullptr &&
      result->error->GetName() == Quil::ErrorNames::kServiceUnavailable &&
      result->error->GetMessages().empty()) {
    Fail("service_unavailable without a message", body);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 3) return 0;
  const std::string_view body(reinterpret_cast<const char*>(bytes) + 3, size - 3);
  if (bytes[0] & 1) {
    Read(bytes[1], bytes[2], body);
  } else {
    Serve(bytes[1], body);
  }
  return 0;
}
