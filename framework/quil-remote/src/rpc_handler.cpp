#include <quil/remote/rpc_handler.h>

#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <boost/json/monotonic_resource.hpp>

#include <quil/core/activation.h>
#include <quil/core/method_result.h>
#include <quil/error_names.h>
#include <quil/message.h>
#include <quil/remote/json.h>

#include "wire.h"

namespace Quil::Remote {

RpcResponder::~RpcResponder() = default;
PendingRequest::~PendingRequest() = default;

namespace {

namespace json = boost::json;

constexpr std::string_view kNullId = "null";

Data::ErrorValuePtr MakeError(std::string_view name, MessageList messages) {
  return Data::ErrorValue::Create(std::string(name), messages);
}

Data::ErrorValuePtr InvalidArgument(BaseMessage message) {
  return MakeError(ErrorNames::kInvalidArgument, {std::move(message)});
}

// Appends the error object of a response; an error that has no JSON form is replaced by an
// internal_server_error saying why.
void AppendErrorObject(std::string& out, int code, const Data::ErrorValue& error) {
  const std::size_t start = out.size();
  out += "{\"code\":";
  out += std::to_string(code);
  out += ",\"message\":";
  Wire::AppendJsonString(out, Wire::ErrorSummary(error));
  out += ",\"data\":";
  MessageList failures;
  if (Json::Encode(error, out, failures)) {
    out += '}';
    return;
  }
  out.resize(start);
  failures.push_back(
      Message<CoreTag>("quil.remote.answer.unencodable", std::string(error.GetName())));
  const Data::ErrorValuePtr internal =
      MakeError(ErrorNames::kInternalServerError, std::move(failures));
  AppendErrorObject(out, Wire::kInternalError, *internal);  // paths and names only: encodes
}

std::string ErrorResponse(std::string_view id, int code, const Data::ErrorValue& error) {
  std::string out = "{\"jsonrpc\":\"2.0\",\"id\":";
  out += id;
  out += ",\"error\":";
  AppendErrorObject(out, code, error);
  out += '}';
  return out;
}

// The answer of an operation, as the response to the request `id`.
std::string AnswerResponse(std::string_view id, std::string_view method,
                           const Core::MethodResult& result) {
  if (result.error != nullptr) {
    // The operation's own input check refused the input: the caller's params are at fault.
    int code = Wire::kOperationError;
    if (result.error->GetName() == ErrorNames::kInvalidArgument) {
      const MessageList messages = result.error->GetMessages();
      if (!messages.empty() && (messages.back().id == "quil.provider.method.invalid.input" ||
                                messages.back().id == "quil.invoke.invalid.input")) {
        code = Wire::kInvalidParams;
      }
    }
    return ErrorResponse(id, code, *result.error);
  }
  std::string out = "{\"jsonrpc\":\"2.0\",\"id\":";
  out += id;
  out += ",\"result\":";
  MessageList failures;
  if (result.output == nullptr) {
    out += "null";
  } else if (!Json::Encode(*result.output, out, failures)) {
    failures.push_back(Message<CoreTag>("quil.remote.answer.unencodable", std::string(method)));
    return ErrorResponse(id, Wire::kInternalError,
                         *MakeError(ErrorNames::kInternalServerError, std::move(failures)));
  }
  out += '}';
  return out;
}

std::string ProgressLine(std::string_view id, const Progress& progress) {
  std::string line = "{\"jsonrpc\":\"2.0\",\"method\":\"";
  line += Wire::kProgressMethod;
  line += "\",\"params\":{\"id\":";
  line += id;
  line += ",\"progress\":[";
  line += std::to_string(progress.phase);
  line += ',';
  line += std::to_string(progress.total);
  line += ',';
  line += std::to_string(progress.done);
  line += "]}}\n";
  return line;
}

HttpReply PlainReply(unsigned status, std::string_view text) {
  return HttpReply{status, "text/plain", std::string(text) + "\n"};
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != text.npos; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool Sha256(std::string_view text, unsigned char (&digest)[32]) {
  unsigned int size = 0;
  return EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) == 1 &&
         size == 32;
}

// The answers of one request, by slot, and the one reply they make. Answers may arrive on any
// thread, also while the request is still being dispatched; the first answer of a slot counts.
class Exchange final : public PendingRequest {
 public:
  Exchange(std::shared_ptr<RpcResponder> responder, bool batch, bool stream,
           std::chrono::milliseconds deadline)
      : responder_(std::move(responder)), batch_(batch), stream_(stream), deadline_(deadline) {}

  // A slot for the answer to the request `id`.
  std::size_t Open(std::string id) {
    std::lock_guard lock(mutex_);
    slots_.push_back(Slot{std::move(id), {}, true});
    ++open_;
    return slots_.size() - 1;
  }

  // A slot answered at once.
  void Add(std::string response) {
    std::lock_guard lock(mutex_);
    slots_.push_back(Slot{{}, std::move(response), false});
  }

  void Answer(std::size_t slot, std::string response) {
    std::unique_lock lock(mutex_);
    if (finished_ || !slots_[slot].open) return;
    slots_[slot].open = false;
    slots_[slot].response = std::move(response);
    if (--open_ == 0) Finish(lock);
  }

  // The answer of a slot whose operation failed to run.
  void Fail(std::size_t slot, int code, const Data::ErrorValue& error) {
    std::string id;
    {
      std::lock_guard lock(mutex_);
      if (finished_ || !slots_[slot].open) return;
      id = slots_[slot].id;
    }
    Answer(slot, ErrorResponse(id, code, error));
  }

  void Report(std::string_view id, const Progress& progress) {
    if (!stream_) return;
    std::string line = ProgressLine(id, progress);
    std::lock_guard lock(mutex_);
    // Under the lock, so that no progress line can follow the reply.
    if (!finished_) responder_->Progress(std::move(line));
  }

  // Ends the dispatch: true when the reply has been given.
  bool Seal() {
    std::unique_lock lock(mutex_);
    if (--open_ == 0) Finish(lock);
    return finished_;
  }

  void Expire() override {
    std::unique_lock lock(mutex_);
    if (finished_) return;
    const Data::ErrorValuePtr expired =
        MakeError(ErrorNames::kServiceUnavailable,
                  {Message<CoreTag>("quil.remote.deadline.passed", Wire::Milliseconds(deadline_))});
    for (Slot& slot : slots_) {
      if (!slot.open) continue;
      slot.open = false;
      slot.response = ErrorResponse(slot.id, Wire::kOperationError, *expired);
    }
    Finish(lock);
  }

 private:
  struct Slot {
    std::string id;  // JSON text
    std::string response;
    bool open;
  };

  void Finish(std::unique_lock<std::mutex>& lock) {
    finished_ = true;
    HttpReply reply;
    if (slots_.empty()) {
      reply.status = 204;  // notifications only
    } else if (!batch_) {
      reply.body = std::move(slots_.front().response);
      reply.contentType = stream_ ? Wire::kNdjsonType : Wire::kJsonType;
      if (stream_) reply.body += '\n';
    } else {
      reply.contentType = Wire::kJsonType;
      std::size_t size = 2;
      for (const Slot& slot : slots_) size += slot.response.size() + 1;
      reply.body.reserve(size);
      reply.body += '[';
      for (const Slot& slot : slots_) {
        if (reply.body.size() > 1) reply.body += ',';
        reply.body += slot.response;
      }
      reply.body += ']';
    }
    slots_.clear();
    std::shared_ptr<RpcResponder> responder = std::move(responder_);
    lock.unlock();
    responder->Reply(std::move(reply));
  }

  std::mutex mutex_;
  std::shared_ptr<RpcResponder> responder_;  // released with the reply
  std::vector<Slot> slots_;
  std::size_t open_ = 1;  // the dispatch itself holds the exchange open
  bool finished_ = false;
  const bool batch_;
  const bool stream_;
  const std::chrono::milliseconds deadline_;
};

// The checks and the invocation of one request object of a request or batch.
class Dispatcher {
 public:
  Dispatcher(Provider::InterfaceRegistry& registry, const RpcHandlerOptions& options,
             const std::shared_ptr<Exchange>& exchange,
             std::shared_ptr<const L10n::LocaleSpec> locale)
      : registry_(registry), options_(options), exchange_(exchange), locale_(std::move(locale)) {}

  void Dispatch(const json::value& request) {
    const json::object* object = request.if_object();
    if (object == nullptr) {
      return Refuse(kNullId, Wire::kInvalidRequest,
                    InvalidArgument(Message<CoreTag>("quil.remote.request.not.object")));
    }
    // The id first, so that the answer to any other fault can name it.
    std::string id(kNullId);
    const json::value* idValue = object->if_contains("id");
    if (idValue != nullptr) {
      if (!(idValue->is_string() || idValue->is_number() || idValue->is_null())) {
        return RefuseMember(kNullId, "id", "a string, a number or null");
      }
      id.clear();
      Wire::AppendJson(id, *idValue);
    }
    const json::value* version = object->if_contains("jsonrpc");
    if (version == nullptr || !version->is_string() || version->get_string() != "2.0") {
      return RefuseMember(id, "jsonrpc", "the string \"2.0\"");
    }
    const json::value* method = object->if_contains("method");
    if (method == nullptr || !method->is_string()) {
      return RefuseMember(id, "method", "a string");
    }
    // A well-formed notification is never answered, whatever becomes of it.
    const bool notification = idValue == nullptr;
    const json::value* params = object->if_contains("params");
    if (params != nullptr && !params->is_object()) {
      if (notification) return;
      return Refuse(
          id, Wire::kInvalidParams,
          InvalidArgument(Message<CoreTag>("quil.remote.request.member", std::string("params"),
                                           std::string("an object"))));
    }

    const std::string_view name(method->get_string().data(), method->get_string().size());
    const std::size_t dot = name.rfind('.');
    const std::string_view interfaceName = dot == name.npos ? name : name.substr(0, dot);
    const std::string_view operationName =
        dot == name.npos ? std::string_view() : name.substr(dot + 1);
    auto activation = std::make_shared<Core::AsyncActivation>(nullptr, locale_);
    std::shared_ptr<const Provider::AsyncApiMethod> target =
        registry_.FindMethod(interfaceName, operationName);
    if (target == nullptr) {
      if (notification) return;
      return Refuse(id, Wire::kMethodNotFound,
                    Provider::InterfaceRegistry::OperationNotFound(interfaceName, operationName,
                                                                   activation.get())
                        ->error);
    }

    Data::DataValuePtr input;
    MessageList messages;
    Json::DecodeLimits limits;
    limits.maxDepth = options_.maxDepth;
    static const json::value kNoParams = json::object();
    if (!Json::Decode(params != nullptr ? *params : kNoParams, target->inputDefinition(), input,
                      messages, limits)) {
      if (notification) return;
      messages.push_back(
          Message<CoreTag>("quil.provider.method.invalid.input", target->methodName()));
      return Refuse(id, Wire::kInvalidParams,
                    MakeError(ErrorNames::kInvalidArgument, std::move(messages)));
    }
    Invoke(*target, std::move(input), std::move(activation), notification, std::move(id));
  }

 private:
  void Refuse(std::string_view id, int code, const Data::ErrorValuePtr& error) {
    exchange_->Add(ErrorResponse(id, code, *error));
  }

  void RefuseMember(std::string_view id, const char* member, const char* expected) {
    Refuse(id, Wire::kInvalidRequest,
           InvalidArgument(Message<CoreTag>("quil.remote.request.member", std::string(member),
                                            std::string(expected))));
  }

  void Invoke(const Provider::AsyncApiMethod& target, Data::DataValuePtr input,
              std::shared_ptr<Core::AsyncActivation> activation, bool notification,
              std::string id) {
    std::optional<std::size_t> slot;
    Core::AsyncApiResultCb callback;
    if (notification) {
      callback = Core::AsyncApiResultCb(
          [](Core::MethodResultPtr, Progress, Core::AsyncApiResultCb::Continuation next) {
            if (next) next(nullptr);
          });
    } else {
      slot = exchange_->Open(id);
      callback = Core::AsyncApiResultCb(
          [exchange = exchange_, slot = *slot, id = std::move(id), method = &target](
              Core::MethodResultPtr result, const Progress& progress,
              Core::AsyncApiResultCb::Continuation next) {
            if (result == nullptr) return exchange->Report(id, progress);
            if (next) next(nullptr);  // only the first output of a stream crosses the wire
            exchange->Answer(slot, AnswerResponse(id, method->methodName(), *result));
          });
    }
    try {
      target.Invoke(std::move(input), std::move(activation), callback);
    } catch (const std::exception& failure) {
      if (!slot) return;
      const Data::ErrorValuePtr error =
          MakeError(ErrorNames::kInternalServerError,
                    {Message<CoreTag>("quil.remote.operation.threw", target.methodName(),
                                      std::string(failure.what()))});
      exchange_->Fail(*slot, Wire::kInternalError, *error);
    }
  }

  Provider::InterfaceRegistry& registry_;
  const RpcHandlerOptions& options_;
  const std::shared_ptr<Exchange>& exchange_;
  std::shared_ptr<const L10n::LocaleSpec> locale_;
};

}  // namespace

RpcHandler::RpcHandler(Provider::InterfaceRegistry& registry, RpcHandlerOptions options)
    : registry_(registry), options_(std::move(options)), tokenDigest_{} {
  if (!options_.token.empty() && !Sha256(options_.token, tokenDigest_)) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

RpcHandler::~RpcHandler() = default;

std::shared_ptr<PendingRequest> RpcHandler::Handle(const HttpRequestView& request,
                                                   std::shared_ptr<RpcResponder> responder) const {
  if (request.method != "POST") {
    responder->Reply(PlainReply(405, "Method Not Allowed"));
    return nullptr;
  }
  if (request.target.substr(0, request.target.find('?')) != options_.path) {
    responder->Reply(PlainReply(404, "Not Found"));
    return nullptr;
  }
  std::string_view authorization;
  std::string_view acceptLanguage;
  bool stream = false;
  for (const auto& [name, value] : request.headers) {
    if (HasLineBreak(name) || HasLineBreak(value)) {
      responder->Reply(PlainReply(400, "Bad Request: a header holds a line break"));
      return nullptr;
    }
    if (EqualsIgnoringCase(name, "authorization")) {
      authorization = value;
    } else if (EqualsIgnoringCase(name, "accept-language")) {
      acceptLanguage = value;
    } else if (EqualsIgnoringCase(name, "accept")) {
      stream = stream || value.find(Wire::kNdjsonType) != value.npos;
    }
  }

  if (!options_.token.empty()) {
    constexpr std::string_view kScheme = "Bearer ";
    const bool bearer = authorization.size() > kScheme.size() &&
                        EqualsIgnoringCase(authorization.substr(0, kScheme.size()), kScheme);
    unsigned char digest[32] = {};
    // Digests of equal length, compared in constant time: neither the token's length nor its
    // first differing byte shows in the time taken.
    const bool valid = bearer && Sha256(authorization.substr(kScheme.size()), digest) &&
                       CRYPTO_memcmp(digest, tokenDigest_, sizeof digest) == 0;
    if (!valid) {
      const Data::ErrorValuePtr error = MakeError(
          ErrorNames::kUnauthenticated, {Message<CoreTag>("quil.remote.unauthenticated")});
      responder->Reply(
          HttpReply{401, Wire::kJsonType, ErrorResponse(kNullId, Wire::kUnauthenticated, *error)});
      return nullptr;
    }
  }

  if (request.body.size() > options_.bodyLimit) {
    responder->Reply(PlainReply(413, "Content Too Large"));
    return nullptr;
  }
  // One request's tree lives in one arena; a small request parses without touching the heap.
  unsigned char arena[4096];
  json::monotonic_resource resource(arena, sizeof arena);
  Json::DecodeLimits limits;
  limits.maxDepth = options_.maxDepth;
  limits.maxBytes = options_.bodyLimit;
  MessageList failures;
  const std::optional<json::value> parsed = Json::Parse(request.body, resource, failures, limits);
  if (!parsed) {
    responder->Reply(
        HttpReply{200, Wire::kJsonType,
                  ErrorResponse(kNullId, Wire::kParseError,
                                *MakeError(ErrorNames::kInvalidArgument, std::move(failures)))});
    return nullptr;
  }
  const json::value& document = *parsed;

  const json::array* batch = document.if_array();
  if (batch != nullptr && batch->empty()) {
    responder->Reply(HttpReply{
        200, Wire::kJsonType,
        ErrorResponse(kNullId, Wire::kInvalidRequest,
                      *InvalidArgument(Message<CoreTag>("quil.remote.request.batch.empty")))});
    return nullptr;
  }
  const bool isBatch = batch != nullptr;
  auto exchange = std::make_shared<Exchange>(std::move(responder), isBatch, stream && !isBatch,
                                             options_.requestDeadline);
  Dispatcher dispatcher(registry_, options_, exchange,
                        Wire::LocaleOfAcceptLanguage(acceptLanguage));
  if (isBatch) {
    for (const json::value& each : *batch) dispatcher.Dispatch(each);
  } else {
    dispatcher.Dispatch(document);
  }
  if (exchange->Seal()) return nullptr;
  return exchange;
}

}  // namespace Quil::Remote
