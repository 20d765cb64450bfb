#include <quil/remote/response_reader.h>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/serialize.hpp>

#include <quil/error_names.h>
#include <quil/message.h>

#include "wire.h"

namespace Quil::Remote {

namespace json = boost::json;

ResponseReader::ResponseReader(std::uint64_t id,
                               std::shared_ptr<const Provider::AsyncApiMethod> method,
                               Json::DecodeLimits limits, std::string where,
                               ProgressFunction onProgress)
    : id_(id),
      method_(std::move(method)),
      limits_(limits),
      where_(std::move(where)),
      onProgress_(std::move(onProgress)) {}

void ResponseReader::Append(std::string_view piece, bool ndjson) {
  lines_.append(piece.data(), piece.size());
  if (ndjson) TakeLines(false);
}

// Hands on every complete line of `lines_`; `all`: the last one need not end in '\n'.
void ResponseReader::TakeLines(bool all) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = lines_.find('\n', start);
    if (end == lines_.npos) {
      if (!all || start >= lines_.size()) break;
      end = lines_.size();
    }
    const std::string_view line(lines_.data() + start, end - start);
    if (!line.empty() && !ProgressReport(line)) final_.assign(line);
    start = end + 1;
  }
  lines_.erase(0, std::min(start, lines_.size()));
}

// True for a progress notification, which goes to onProgress at once when well formed.
bool ResponseReader::ProgressReport(std::string_view line) {
  if (line.find(Wire::kProgressMethod) == line.npos) return false;
  unsigned char arena[512];
  json::monotonic_resource resource(arena, sizeof arena);
  MessageList ignored;
  Json::DecodeLimits limits;
  limits.maxDepth = 4;  // a notification nests three levels
  const std::optional<json::value> parsed = Json::Parse(line, resource, ignored, limits);
  const json::object* notification = parsed ? parsed->if_object() : nullptr;
  if (notification == nullptr || notification->contains("id")) return false;
  const json::value* method = notification->if_contains("method");
  if (method == nullptr || !method->is_string() || method->get_string() != Wire::kProgressMethod) {
    return false;
  }
  const json::value* params = notification->if_contains("params");
  const json::value* report = params != nullptr && params->is_object()
                                  ? params->get_object().if_contains("progress")
                                  : nullptr;
  const json::array* numbers = report != nullptr ? report->if_array() : nullptr;
  if (numbers == nullptr || numbers->size() != 3) return true;
  Progress progress;
  std::int64_t* fields[] = {&progress.phase, &progress.total, &progress.done};
  for (std::size_t i = 0; i < 3; ++i) {
    if (!(*numbers)[i].is_int64()) return true;
    *fields[i] = (*numbers)[i].get_int64();
  }
  if (onProgress_) onProgress_(progress);
  return true;
}

Core::MethodResultPtr ResponseReader::Finish(unsigned status, std::string_view reason,
                                             bool ndjson) {
  if (ndjson) {
    TakeLines(true);
  } else {
    final_ = std::move(lines_);  // one JSON text, which may span lines
    lines_.clear();
  }
  const std::string statusText = "HTTP " + std::to_string(status) + " " + std::string(reason);
  unsigned char arena[4096];
  json::monotonic_resource resource(arena, sizeof arena);
  MessageList parseFailures;
  const std::optional<json::value> document = Json::Parse(final_, resource, parseFailures, limits_);
  if (!document) {
    if (status != 200) return Unavailable("the server answered " + statusText);
    return Unavailable(
        "the answer of " + where_ + " is not JSON (" +
        (parseFailures.empty() ? std::string("empty") : parseFailures.front().defaultMessage) +
        ")");
  }
  const json::object* response = document->if_object();
  const json::value* version = response != nullptr ? response->if_contains("jsonrpc") : nullptr;
  const json::value* id = response != nullptr ? response->if_contains("id") : nullptr;
  const json::value* result = response != nullptr ? response->if_contains("result") : nullptr;
  const json::value* failure = response != nullptr ? response->if_contains("error") : nullptr;
  const bool isResponse = version != nullptr && version->is_string() &&
                          version->get_string() == "2.0" && id != nullptr &&
                          ((result == nullptr) != (failure == nullptr));
  if (!isResponse) {
    return Unavailable(status == 200 ? "the answer of " + where_ + " is not a JSON-RPC response"
                                     : "the server answered " + statusText);
  }
  // An id of null answers a request the server could not read; it is still ours.
  if (!id->is_null() && !(id->is_uint64() && id->get_uint64() == id_) &&
      !(id->is_int64() && id->get_int64() >= 0 &&
        static_cast<std::uint64_t>(id->get_int64()) == id_)) {
    return Unavailable("the answer of " + where_ + " is for another request");
  }
  MessageList messages;
  if (result != nullptr) {
    Data::DataValuePtr output;
    if (!Json::Decode(*result, method_ ? method_->outputDefinition() : nullptr, output, messages,
                      limits_)) {
      return Undecodable("the output", std::move(messages));
    }
    return Core::MethodResult::Create(std::move(output), nullptr);
  }
  const json::object* errorObject = failure->if_object();
  const json::value* data = errorObject != nullptr ? errorObject->if_contains("data") : nullptr;
  const json::object* dataObject = data != nullptr ? data->if_object() : nullptr;
  if (dataObject == nullptr || !dataObject->contains("name")) {
    const json::value* code = errorObject != nullptr ? errorObject->if_contains("code") : nullptr;
    const json::value* text =
        errorObject != nullptr ? errorObject->if_contains("message") : nullptr;
    std::string what = "the server answered error ";
    what += code != nullptr ? json::serialize(*code) : "without code";
    if (text != nullptr && text->is_string()) what += ": " + std::string(text->get_string());
    return Unavailable(std::move(what));
  }
  static const std::vector<Data::DataDefinitionPtr> kNoErrors;
  Data::ErrorValuePtr decoded;
  if (!Json::DecodeError(*data, method_ ? method_->errorDefinitions() : kNoErrors, decoded,
                         messages, limits_)) {
    return Undecodable("the error", std::move(messages));
  }
  return Core::MethodResult::Create(nullptr, std::move(decoded));
}

Core::MethodResultPtr ResponseReader::Unavailable(std::string what) const {
  return Core::MethodResult::Create(nullptr, Wire::Unavailable(std::move(what)));
}

Core::MethodResultPtr ResponseReader::Undecodable(const char* what, MessageList messages) const {
  messages.insert(messages.begin(), Message<CoreTag>("quil.remote.unavailable",
                                                     std::string(what) + " in the answer of " +
                                                         where_ + " does not decode"));
  return Core::MethodResult::Create(
      nullptr, Data::ErrorValue::Create(std::string(ErrorNames::kServiceUnavailable), messages));
}

}  // namespace Quil::Remote
