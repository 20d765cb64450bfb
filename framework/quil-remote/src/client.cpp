#include <quil/remote/client.h>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <deque>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <openssl/ssl.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>
#include <boost/url/parse.hpp>

#include <quil/core/method_result.h>
#include <quil/error_names.h>
#include <quil/message.h>
#include <quil/remote/json.h>
#include <quil/remote/response_reader.h>

#include "wire.h"

namespace Quil::Remote {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

struct Endpoint {
  bool tls = false;
  std::string host;  // without brackets
  std::string port;
  std::string target;
  std::string hostHeader;
};

Endpoint ParseUrl(const std::string& url) {
  const auto parsed = boost::urls::parse_uri(url);
  if (!parsed) {
    throw std::invalid_argument("the URL \"" + url + "\" is malformed (" +
                                parsed.error().message() + ")");
  }
  const boost::urls::url_view& view = *parsed;
  Endpoint endpoint;
  if (view.scheme_id() == boost::urls::scheme::https) {
    endpoint.tls = true;
  } else if (view.scheme_id() != boost::urls::scheme::http) {
    throw std::invalid_argument("the URL \"" + url + "\" must start with http:// or https://");
  }
  unsigned port = 0;
  const std::string_view portText = view.port();
  const bool portUsable =
      !view.has_port() ||
      (std::from_chars(portText.data(), portText.data() + portText.size(), port).ptr ==
           portText.data() + portText.size() &&
       port > 0 && port <= 65535);
  if (view.encoded_host().empty() || view.has_userinfo() || !portUsable) {
    throw std::invalid_argument("the URL \"" + url + "\" names no usable host and port");
  }
  endpoint.host = std::string(view.encoded_host_address());  // IPv6 without brackets
  endpoint.port = view.has_port() ? std::string(view.port()) : (endpoint.tls ? "443" : "80");
  endpoint.target = view.encoded_target().empty() ? "/" : std::string(view.encoded_target());
  endpoint.hostHeader = std::string(view.encoded_host_and_port());
  return endpoint;
}

bool IsIpLiteral(const std::string& host) {
  beast::error_code error;
  asio::ip::make_address(host, error);
  return !error;
}

}  // namespace

struct QUIL_HIDDEN HttpApiProvider::State {
  struct Call;
  class Connection;

  State(ClientOptions clientOptions, std::shared_ptr<const Provider::InterfaceRegistry> registry)
      : options(std::move(clientOptions)),
        endpoint(ParseUrl(options.url)),
        definitions(std::move(registry)) {
    if (endpoint.tls) {
      tls.emplace(asio::ssl::context::tls_client);
      tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                       asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                       asio::ssl::context::no_tlsv1_1);
      tls->set_verify_mode(asio::ssl::verify_peer);
      beast::error_code error;
      if (options.caFile.empty()) {
        tls->set_default_verify_paths(error);
      } else {
        tls->load_verify_file(options.caFile, error);
      }
      if (error) {
        throw std::invalid_argument("cannot use the certificate authorities " +
                                    (options.caFile.empty() ? "of the system" : options.caFile) +
                                    ": " + error.message());
      }
    }
    if (options.maxConnections == 0) options.maxConnections = 1;
  }

  void Enqueue(const std::shared_ptr<Call>& call);
  void Pump();
  void Deliver(Call& call, const Core::MethodResultPtr& result);
  void Fail(Call& call, std::string what) {
    Deliver(call, Core::MethodResult::Create(nullptr, Wire::Unavailable(std::move(what))));
  }
  void Close();
  void Watch(Clock::time_point until);
  void Sweep();
  void Drop(const std::shared_ptr<Connection>& connection);

  std::string Where() const { return endpoint.host + " port " + endpoint.port; }

  ClientOptions options;
  const Endpoint endpoint;
  const std::shared_ptr<const Provider::InterfaceRegistry> definitions;
  std::optional<asio::ssl::context> tls;
  std::atomic<std::uint64_t> nextId{1};
  std::atomic<bool> closing{false};

  asio::io_context io{1};
  asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
  std::thread thread;

  // On the I/O thread only.
  std::deque<std::shared_ptr<Call>> queue;
  // Every call not answered yet, in the order of their deadlines (all calls have the same
  // timeout), watched by one timer; see Watch.
  std::deque<std::shared_ptr<Call>> outstanding;
  asio::steady_timer watchdog{io};
  bool watching = false;
  std::vector<std::shared_ptr<Connection>> connections;
  bool closed = false;
};

struct HttpApiProvider::State::Call {
  explicit Call(Core::AsyncApiResultCb answer) : callback(std::move(answer)) {}

  std::uint64_t id = 0;
  std::string body;
  std::string acceptLanguage;
  std::shared_ptr<const Provider::AsyncApiMethod> method;  // null: decoded by JSON type
  Core::AsyncApiResultCb callback;
  Clock::time_point deadline;
  std::shared_ptr<Connection> connection;  // while one carries the call
  bool done = false;
};

// One keep-alive connection; carries one call at a time.
class HttpApiProvider::State::Connection
    : public std::enable_shared_from_this<HttpApiProvider::State::Connection> {
 public:
  explicit Connection(State& state) : state_(state), resolver_(state.io) {
    if (state_.tls) {
      tls_.emplace(state_.io, *state_.tls);
    } else {
      plain_.emplace(state_.io);
    }
    request_.version(11);
    request_.method(http::verb::post);
    request_.target(state_.endpoint.target);
    request_.set(http::field::host, state_.endpoint.hostHeader);
    request_.set(http::field::content_type, Wire::kJsonType);
    request_.set(http::field::accept, "application/x-ndjson, application/json");
    if (!state_.options.token.empty()) {
      request_.set(http::field::authorization, "Bearer " + state_.options.token);
    }
    request_.keep_alive(true);
  }

  bool Busy() const { return call_ != nullptr; }
  const std::shared_ptr<Call>& CurrentCall() const { return call_; }

  // An idle connection that the server has closed (or that holds bytes nobody asked for) is of
  // no further use. Costs one non-blocking peek.
  bool Stale() {
    if (!connected_) return false;
    char byte;
    const ssize_t got =
        ::recv(Lowest().socket().native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return !(got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
  }

  void Carry(const std::shared_ptr<Call>& call) {
    call_ = call;
    call_->connection = shared_from_this();
    if (connected_) return Send();
    Connect();
  }

  // Abandons the connection (the deadline passed, or the client closes).
  void Abort() {
    beast::error_code ignored;
    resolver_.cancel();
    Lowest().socket().close(ignored);
    connected_ = false;
  }

 private:
  template <typename F>
  void With(F&& f) {
    if (tls_) {
      f(*tls_);
    } else {
      f(*plain_);
    }
  }

  beast::tcp_stream& Lowest() { return tls_ ? beast::get_lowest_layer(*tls_) : *plain_; }

  void Connect() {
    resolver_.async_resolve(
        state_.endpoint.host, state_.endpoint.port,
        [self = shared_from_this()](beast::error_code error, tcp::resolver::results_type found) {
          if (error) return self->Failed("cannot resolve " + self->state_.endpoint.host, error);
          self->Lowest().async_connect(
              found, [self](beast::error_code error, const tcp::endpoint&) {
                if (error) return self->Failed("cannot connect to " + self->state_.Where(), error);
                beast::error_code ignored;
                self->Lowest().socket().set_option(tcp::no_delay(true), ignored);
                self->Handshake();
              });
        });
  }

  void Handshake() {
    if (!tls_) {
      connected_ = true;
      return Send();
    }
    const std::string& host = state_.endpoint.host;
    if (!IsIpLiteral(host)) SSL_set_tlsext_host_name(tls_->native_handle(), host.c_str());
    tls_->set_verify_callback(asio::ssl::host_name_verification(host));
    tls_->async_handshake(
        asio::ssl::stream_base::client, [self = shared_from_this()](beast::error_code error) {
          if (error) {
            return self->Failed("TLS with " + self->state_.Where() + " failed", error);
          }
          self->connected_ = true;
          self->Send();
        });
  }

  void Send() {
    if (call_->acceptLanguage.empty()) {
      request_.erase(http::field::accept_language);
    } else {
      request_.set(http::field::accept_language, call_->acceptLanguage);
    }
    request_.body() = std::move(call_->body);
    request_.prepare_payload();
    With([this](auto& stream) {
      http::async_write(stream, request_,
                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                          if (error)
                            return self->Failed("sending to " + self->state_.Where(), error);
                          self->Receive();
                        });
    });
  }

  void Receive() {
    parser_.emplace();
    parser_->body_limit(state_.options.bodyLimit);
    Json::DecodeLimits limits;
    limits.maxDepth = state_.options.maxDepth;
    limits.maxBytes = state_.options.bodyLimit;
    reader_.emplace(call_->id, call_->method, limits, state_.Where(),
                    [this](const Progress& progress) {
                      if (call_ == nullptr || call_->done) return;
                      try {
                        call_->callback(nullptr, progress, {});
                      } catch (const std::exception&) {  // the caller's fault; the call goes on
                      }
                    });
    parser_->on_chunk_body(onChunk_);
    With([this](auto& stream) {
      http::async_read(stream, buffer_, *parser_,
                       [self = shared_from_this()](beast::error_code error, std::size_t) {
                         if (error) {
                           return self->Failed("no complete answer from " + self->state_.Where(),
                                               error);
                         }
                         self->Received();
                       });
    });
  }

  // An NDJSON answer: progress lines, then the response on a line of its own.
  bool Streamed() const {
    const beast::string_view type = parser_->get()[http::field::content_type];
    return type.substr(0, Wire::kNdjsonType.size()) ==
           beast::string_view(Wire::kNdjsonType.data(), Wire::kNdjsonType.size());
  }

  void Received() {
    http::response<http::string_body>& response = parser_->get();
    const bool keepAlive = response.keep_alive();
    if (!response.chunked()) reader_->Append(response.body(), Streamed());
    std::shared_ptr<Call> call = std::move(call_);
    call->connection.reset();
    if (!call->done) {
      state_.Deliver(*call, reader_->Finish(response.result_int(), response.reason(), Streamed()));
    }
    reader_.reset();
    if (!keepAlive) {
      Abort();
    }
    if (!connected_) state_.Drop(shared_from_this());
    state_.Pump();
  }

  void Failed(const std::string& what, beast::error_code error) {
    connected_ = false;
    beast::error_code ignored;
    Lowest().socket().close(ignored);
    std::shared_ptr<Call> call = std::move(call_);
    auto self = shared_from_this();
    state_.Drop(self);
    if (call != nullptr) {
      call->connection.reset();
      // A call already answered (its deadline passed) has aborted this connection itself.
      if (!call->done) state_.Fail(*call, what + ": " + error.message());
    }
    state_.Pump();
  }

  State& state_;
  tcp::resolver resolver_;
  std::optional<beast::tcp_stream> plain_;
  std::optional<TlsStream> tls_;
  bool connected_ = false;
  std::shared_ptr<Call> call_;
  http::request<http::string_body> request_;
  beast::flat_buffer buffer_;
  std::optional<http::response_parser<http::string_body>> parser_;
  std::optional<ResponseReader> reader_;  // of the response being received
  // Progress lines are delivered as their chunks arrive.
  std::function<std::size_t(std::uint64_t, beast::string_view, beast::error_code&)> onChunk_ =
      [this](std::uint64_t, beast::string_view body, beast::error_code&) {
        reader_->Append(std::string_view(body.data(), body.size()), Streamed());
        return body.size();
      };
};

void HttpApiProvider::State::Enqueue(const std::shared_ptr<Call>& call) {
  if (closed) return Fail(*call, "the client was closed");
  outstanding.push_back(call);
  if (!watching) Watch(call->deadline);
  queue.push_back(call);
  Pump();
}

void HttpApiProvider::State::Pump() {
  while (!queue.empty() && !closed) {
    if (queue.front()->done) {
      queue.pop_front();
      continue;
    }
    std::shared_ptr<Connection> carrier;
    for (std::size_t i = 0; i < connections.size() && carrier == nullptr;) {
      const std::shared_ptr<Connection>& connection = connections[i];
      if (connection->Busy()) {
        ++i;
      } else if (connection->Stale()) {
        connection->Abort();
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        carrier = connection;
      }
    }
    if (carrier == nullptr) {
      if (connections.size() >= options.maxConnections) return;
      carrier = std::make_shared<Connection>(*this);
      connections.push_back(carrier);
    }
    std::shared_ptr<Call> call = std::move(queue.front());
    queue.pop_front();
    carrier->Carry(call);
  }
}

void HttpApiProvider::State::Deliver(Call& call, const Core::MethodResultPtr& result) {
  if (call.done) return;
  call.done = true;
  while (!outstanding.empty() && outstanding.front()->done) outstanding.pop_front();
  if (call.connection != nullptr) {
    // The connection still works on the call: the answer came from the deadline or from Close.
    std::shared_ptr<Connection> connection = std::move(call.connection);
    connection->Abort();
  }
  try {
    call.callback(result, kFinalProgress, {});
  } catch (const std::exception&) {  // the caller's callback threw; the client goes on
  }
}

void HttpApiProvider::State::Drop(const std::shared_ptr<Connection>& connection) {
  for (auto it = connections.begin(); it != connections.end(); ++it) {
    if (*it == connection) {
      connections.erase(it);
      return;
    }
  }
}

// The timer waits for the oldest deadline only and is set again when it passes, so that a call
// costs no timer operation of its own.
void HttpApiProvider::State::Watch(Clock::time_point until) {
  watching = true;
  watchdog.expires_at(until);
  watchdog.async_wait([this](beast::error_code error) {
    watching = false;
    if (!error && !closed) Sweep();
  });
}

void HttpApiProvider::State::Sweep() {
  const Clock::time_point now = Clock::now();
  while (!outstanding.empty() && outstanding.front()->deadline <= now) {
    const std::shared_ptr<Call> call = std::move(outstanding.front());
    outstanding.pop_front();
    Fail(*call,
         "no answer from " + Where() + " within " + Wire::Milliseconds(options.timeout) + " ms");
  }
  if (!outstanding.empty()) Watch(outstanding.front()->deadline);
}

void HttpApiProvider::State::Close() {
  closed = true;
  watchdog.cancel();
  std::deque<std::shared_ptr<Call>> waiting = std::move(queue);
  for (const auto& call : waiting) Fail(*call, "the client was closed");
  std::vector<std::shared_ptr<Connection>> open = std::move(connections);
  for (const auto& connection : open) {
    if (const std::shared_ptr<Call> call = connection->CurrentCall()) {
      Fail(*call, "the client was closed");
    }
    connection->Abort();
  }
  outstanding.clear();
}

HttpApiProvider::HttpApiProvider(ClientOptions options,
                                 std::shared_ptr<const Provider::InterfaceRegistry> definitions)
    : state_(std::make_shared<State>(std::move(options), std::move(definitions))) {
  state_->thread = std::thread([state = state_.get()] { state->io.run(); });
}

HttpApiProvider::~HttpApiProvider() {
  State& state = *state_;
  state.closing = true;
  asio::post(state.io, [&state] { state.Close(); });
  state.work.reset();
  state.thread.join();
}

void HttpApiProvider::Invoke(std::shared_ptr<const Core::MethodIdentifier> method,
                             Data::DataValuePtr input,
                             std::shared_ptr<Core::AsyncActivation> activation,
                             const Core::AsyncApiResultCb& callback) {
  State& state = *state_;
  auto call = std::make_shared<State::Call>(callback);
  const auto failNow = [&call](Data::ErrorValuePtr error) {
    call->callback(Core::MethodResult::Create(nullptr, std::move(error)), kFinalProgress, {});
  };
  if (method == nullptr || method->GetInterface() == nullptr) {
    return failNow(Provider::InterfaceRegistry::OperationNotFound(
                       "", method != nullptr ? method->GetName() : "", activation.get())
                       ->error);
  }
  if (state.closing.load()) return failNow(Wire::Unavailable("the client was closed"));

  const std::string& interfaceName = method->GetInterface()->GetName();
  if (state.definitions != nullptr) {
    call->method = state.definitions->FindMethod(interfaceName, method->GetName());
  }
  call->id = state.nextId.fetch_add(1, std::memory_order_relaxed);
  std::string& body = call->body;
  body.reserve(128);
  body += "{\"jsonrpc\":\"2.0\",\"id\":";
  body += std::to_string(call->id);
  body += ",\"method\":";
  Wire::AppendJsonString(body, interfaceName + "." + method->GetName());
  if (input != nullptr) {
    body += ",\"params\":";
    MessageList messages;
    if (!Json::Encode(*input, body, messages)) {
      messages.push_back(Message<CoreTag>("quil.provider.method.invalid.input", method->GetName()));
      return failNow(Data::ErrorValue::Create(std::string(ErrorNames::kInvalidArgument), messages));
    }
  }
  body += '}';
  if (activation != nullptr && activation->GetLocale() != nullptr) {
    call->acceptLanguage =
        Wire::FormatAcceptLanguage(activation->GetLocale()->GetLanguagePreference());
  }
  call->deadline = Clock::now() + state.options.timeout;
  asio::post(state.io, [&state, call = std::move(call)] { state.Enqueue(call); });
}

}  // namespace Quil::Remote
