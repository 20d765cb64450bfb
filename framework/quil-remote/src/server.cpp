#include <quil/remote/server.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <quil/remote/rpc_handler.h>

namespace Quil::Remote {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// Closing a connection: how long to wait for the peer's TLS close_notify, and for how long and
// how much to keep reading after our last answer, so that unread request bytes do not turn the
// close into a reset that destroys the answer before the peer reads it.
constexpr std::chrono::milliseconds kCloseTimeout{500};
constexpr std::size_t kLingerBytes = 1 << 20;
constexpr std::size_t kReadChunk = 8192;
// After a failed accept (for example out of file descriptors), before trying again.
constexpr std::chrono::milliseconds kAcceptRetry{50};

// Lets late answers reach a session only while the io_context runs: an implementation may answer
// from its own thread after the server has stopped.
class Gate {
 public:
  template <typename F>
  void Run(F&& f) {
    std::lock_guard lock(mutex_);
    if (open_) f();
  }
  void Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
  }

 private:
  std::mutex mutex_;
  bool open_ = true;
};

class SessionBase {
 public:
  virtual ~SessionBase() = default;
  // Closes the connection once it has nothing left to answer.
  virtual void Shutdown() = 0;
};

// What every session shares with the server.
struct ServerCore {
  ServerCore(Provider::InterfaceRegistry& registry, ServerOptions serverOptions)
      : options(std::move(serverOptions)),
        handler(registry, RpcHandlerOptions{options.path, options.token, options.maxDepth,
                                            options.bodyLimit, options.requestDeadline}) {}

  void Accept();
  void OnAccept(tcp::socket socket);
  void Remember(SessionBase* session, std::weak_ptr<SessionBase> handle) {
    std::lock_guard lock(mutex);
    sessions.emplace(session, std::move(handle));
  }
  void Forget(SessionBase* session) {
    std::lock_guard lock(mutex);
    sessions.erase(session);
    if (sessions.empty()) changed.notify_all();
  }
  void CallStarted() { inFlight.fetch_add(1, std::memory_order_relaxed); }
  void CallEnded() {
    if (inFlight.fetch_sub(1, std::memory_order_acq_rel) == 1 && stopping.load()) {
      std::lock_guard lock(mutex);
      changed.notify_all();
    }
  }

  // Declared before the io_context: sessions it destroys still reach them.
  const ServerOptions options;
  RpcHandler handler;
  const std::shared_ptr<Gate> gate = std::make_shared<Gate>();
  std::mutex mutex;
  std::condition_variable changed;
  std::map<SessionBase*, std::weak_ptr<SessionBase>> sessions;
  std::atomic<std::size_t> served{0};  // sessions that serve requests (not refused ones)
  std::atomic<std::size_t> inFlight{0};
  std::atomic<bool> stopping{false};
  std::optional<asio::ssl::context> tls;

  asio::io_context io{static_cast<int>(std::max(1u, options.threads))};
  tcp::acceptor acceptor{io};
  asio::steady_timer acceptRetry{io};
  std::vector<std::thread> threads;
  std::uint16_t port = 0;
  std::mutex startStop;
  bool started = false;
  bool stopped = false;
};

template <class Stream>
constexpr bool kIsTls = std::is_same_v<Stream, TlsStream>;

// One connection: reads a request, hands it to the handler, writes the answer, and so on while
// the peer keeps the connection alive. Every step runs on the connection's strand.
template <class Stream>
class Session final : public SessionBase, public std::enable_shared_from_this<Session<Stream>> {
 public:
  Session(ServerCore& server, Stream stream, bool refuse)
      : server_(server),
        stream_(std::move(stream)),
        watchdog_(stream_.get_executor()),
        refuse_(refuse) {}

  ~Session() override {
    if (!refuse_) server_.served.fetch_sub(1, std::memory_order_relaxed);
    server_.Forget(this);
  }

  void Start() {
    server_.Remember(this, this->weak_from_this());
    responder_ = std::make_shared<Responder>(*this, server_.gate);
    asio::dispatch(stream_.get_executor(),
                   [self = this->shared_from_this()] { self->Handshake(); });
  }

  void Shutdown() override {
    asio::post(stream_.get_executor(), [self = this->shared_from_this()] {
      self->stopping_ = true;
      // Waiting for a request that may never come: give up the wait. Otherwise the connection
      // closes after its answer.
      if (self->phase_ == Phase::kWaiting || self->phase_ == Phase::kHandshake) {
        Lowest(self->stream_).cancel();
      }
    });
  }

 private:
  enum class Phase { kHandshake, kWaiting, kReading, kCalling, kWriting, kClosing };

  // The handler's answers: kept for the session when they come while it hands the request over
  // (no second trip through the io_context), else posted to its strand while the server runs.
  class Responder final : public RpcResponder {
   public:
    Responder(Session& session, std::shared_ptr<Gate> gate)
        : raw_(&session), session_(session.weak_from_this()), gate_(std::move(gate)) {}

    void Progress(std::string line) override {
      if (handing == raw_) return raw_->early_.progress.push_back(std::move(line));
      gate_->Run([&] {
        if (auto session = session_.lock()) {
          asio::post(session->stream_.get_executor(), [session, line = std::move(line)]() mutable {
            session->OnProgress(std::move(line));
          });
        }
      });
    }

    void Reply(HttpReply reply) override {
      if (handing == raw_) return void(raw_->early_.reply = std::move(reply));
      gate_->Run([&] {
        if (auto session = session_.lock()) {
          asio::post(session->stream_.get_executor(),
                     [session, reply = std::move(reply)]() mutable {
                       session->OnReply(std::move(reply));
                     });
        }
      });
    }

   private:
    Session* const raw_;  // compared only: the thread handing a request over owns the session
    std::weak_ptr<Session> session_;
    std::shared_ptr<Gate> gate_;
  };

  // The session whose request this thread is handing to the handler; answers given before the
  // handler returns wait in `early_`.
  static inline thread_local const Session* handing = nullptr;
  struct Early {
    std::vector<std::string> progress;
    std::optional<HttpReply> reply;
  };

  static beast::tcp_stream& Lowest(Stream& stream) { return beast::get_lowest_layer(stream); }

  const ServerOptions& Options() const { return server_.options; }

  void Handshake() {
    if constexpr (kIsTls<Stream>) {
      phase_ = Phase::kHandshake;
      ExpireAt(Clock::now() + Options().headerTimeout);
      stream_.async_handshake(asio::ssl::stream_base::server,
                              [self = this->shared_from_this()](beast::error_code error) {
                                if (error) return self->Close(false);
                                self->Begin();
                              });
    } else {
      Begin();
    }
  }

  void Begin() {
    if (refuse_) return Refuse(503, "Service Unavailable");
    NextRequest();
  }

  void NextRequest() {
    if (stopping_ || server_.stopping.load()) return Close(true);
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(
        std::min<std::size_t>(Options().headerLimit, std::numeric_limits<std::uint32_t>::max())));
    parser_->body_limit(Options().bodyLimit);
    parser_->eager(true);
    continued_ = false;
    started_ = buffer_.size() > 0;
    headerStart_ = Clock::now();
    Read();
  }

  // Parses what the buffer holds, then reads more until the request is complete.
  void Read() {
    beast::error_code error;
    while (buffer_.size() > 0 && !parser_->is_done()) {
      const std::size_t used = parser_->put(buffer_.data(), error);
      buffer_.consume(used);
      if (error == http::error::need_more) {
        error = {};
        break;
      }
      if (error) return OnReadError(error);
    }
    if (parser_->is_header_done() && !continued_) {
      continued_ = true;
      arrival_ = Clock::now();
      if (!parser_->is_done() &&
          beast::iequals(parser_->get()[http::field::expect], "100-continue")) {
        return WriteContinue();
      }
    }
    if (parser_->is_done()) return Dispatch();

    if (!started_) {
      phase_ = Phase::kWaiting;
      ExpireAt(Clock::now() + Options().idleTimeout);
    } else {
      phase_ = Phase::kReading;
      ExpireAt(parser_->is_header_done() ? arrival_ + Options().requestDeadline
                                         : headerStart_ + Options().headerTimeout);
    }
    stream_.async_read_some(
        buffer_.prepare(kReadChunk),
        [self = this->shared_from_this()](beast::error_code error, std::size_t size) {
          self->buffer_.commit(size);
          if (error) return self->OnReadError(error);
          if (!self->started_) {
            self->started_ = true;
            self->headerStart_ = Clock::now();
          }
          self->Read();
        });
  }

  void WriteContinue() {
    phase_ = Phase::kWriting;
    continue_.emplace(http::status::continue_, parser_->get().version());
    ExpireAt(Clock::now() + Options().idleTimeout);
    http::async_write(stream_, *continue_,
                      [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                        if (error) return self->Close(false);
                        self->Read();
                      });
  }

  void OnReadError(beast::error_code error) {
    if (error == http::error::header_limit) return Refuse(431, "Request Header Fields Too Large");
    if (error == http::error::body_limit) return Refuse(413, "Content Too Large");
    if (error.category() == make_error_code(http::error::need_more).category() &&
        error != http::error::end_of_stream && error != http::error::partial_message) {
      return Refuse(400, "Bad Request");
    }
    // The peer went away, the wait timed out, or the server is stopping.
    Close(false);
  }

  void Dispatch() {
    if (stopping_ || server_.stopping.load()) return Refuse(503, "Service Unavailable");
    phase_ = Phase::kCalling;
    http::request<http::string_body>& request = parser_->get();
    keepAlive_ = request.keep_alive();
    view_.method = request.method_string();
    view_.target = request.target();
    view_.headers.clear();
    for (const auto& field : request)
      view_.headers.emplace_back(field.name_string(), field.value());
    view_.body = request.body();
    server_.CallStarted();
    handing = this;
    pending_ = server_.handler.Handle(view_, responder_);
    handing = nullptr;
    for (std::string& line : early_.progress) OnProgress(std::move(line));
    early_.progress.clear();
    if (early_.reply) {
      HttpReply reply = std::move(*early_.reply);
      early_.reply.reset();
      return OnReply(std::move(reply));
    }
    if (pending_ != nullptr) ExpireAt(arrival_ + Options().requestDeadline);
  }

  void OnProgress(std::string line) {
    if (phase_ != Phase::kCalling) return;
    if (!chunked_) {
      chunked_.emplace(http::status::ok, parser_->get().version());
      chunked_->set(http::field::content_type, "application/x-ndjson");
      chunked_->chunked(true);
      chunked_->keep_alive(keepAlive_ && !stopping_);
      chunkHeader_.emplace(*chunked_);
    }
    chunks_.push_back(std::move(line));
    WriteChunks();
  }

  void OnReply(HttpReply reply) {
    if (phase_ != Phase::kCalling) return;
    pending_.reset();
    server_.CallEnded();
    if (chunked_) {
      lastChunk_ = true;
      if (!reply.body.empty()) chunks_.push_back(std::move(reply.body));
      return WriteChunks();
    }
    Respond(reply.status, reply.contentType, std::move(reply.body), keepAlive_ && !stopping_,
            parser_->get().version());
  }

  // A refusal before or instead of a request; the connection closes after it, since what the
  // peer sends next cannot be told from the rest of this request.
  void Refuse(unsigned status, std::string_view reason) {
    std::string text(reason);
    text += '\n';
    Respond(status, "text/plain", std::move(text), false, 11);
  }

  // The response message is kept from one answer to the next: fields that stay as they were
  // cost nothing.
  void Respond(unsigned status, std::string_view contentType, std::string body, bool keepAlive,
               unsigned version) {
    response_.version(version);
    response_.result(status);
    Field(http::field::content_type, contentType);
    Field(http::field::www_authenticate, status == 401 ? "Bearer" : "");
    Field(http::field::allow, status == 405 ? "POST" : "");
    response_.body() = std::move(body);
    response_.keep_alive(keepAlive);
    Write();
  }

  void Field(http::field name, std::string_view value) {
    if (value.empty()) {
      response_.erase(name);
    } else if (response_[name] != value) {
      response_.set(name, value);
    }
  }

  void Write() {
    phase_ = Phase::kWriting;
    response_.prepare_payload();
    if (response_.result() == http::status::no_content) response_.content_length(boost::none);
    ExpireAt(Clock::now() + Options().idleTimeout);
    http::async_write(stream_, response_,
                      [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                        self->OnWritten(error, self->response_.keep_alive());
                      });
  }

  void WriteChunks() {
    if (writingChunk_) return;
    writingChunk_ = true;
    auto self = this->shared_from_this();
    // A peer that does not read is cut off after the idle timeout, but not later than the
    // request deadline while the call has not answered.
    const Clock::time_point writeLimit = Clock::now() + Options().idleTimeout;
    ExpireAt(pending_ != nullptr ? std::min(writeLimit, arrival_ + Options().requestDeadline)
                                 : writeLimit);
    const auto next = [self](beast::error_code error, std::size_t) {
      self->writingChunk_ = false;
      if (error) return self->Close(false);
      self->WriteChunks();
    };
    if (!chunkHeader_->is_header_done()) {
      http::async_write_header(stream_, *chunkHeader_, next);
    } else if (!chunks_.empty()) {
      asio::async_write(stream_, http::make_chunk(asio::buffer(chunks_.front())),
                        [self, next](beast::error_code error, std::size_t size) {
                          self->chunks_.pop_front();
                          next(error, size);
                        });
    } else if (lastChunk_) {
      phase_ = Phase::kWriting;
      asio::async_write(stream_, http::make_chunk_last(),
                        [self](beast::error_code error, std::size_t) {
                          self->writingChunk_ = false;
                          const bool keepAlive = self->chunked_->keep_alive();
                          self->chunkHeader_.reset();
                          self->chunked_.reset();
                          self->lastChunk_ = false;
                          self->OnWritten(error, keepAlive);
                        });
    } else {
      writingChunk_ = false;  // all written: the call may take its time again
      if (pending_ != nullptr) ExpireAt(arrival_ + Options().requestDeadline);
    }
  }

  void OnWritten(beast::error_code error, bool keepAlive) {
    if (error) return Close(false);
    if (!keepAlive) return Close(true);
    NextRequest();
  }

  // The current step must end by `when`. Moving the limit later costs nothing: the watchdog,
  // when it wakes, waits again for the limit then in force. Only a sooner limit re-arms it.
  void ExpireAt(Clock::time_point when) {
    expiry_ = when;
    if (!watching_ || when < armedAt_) Arm();
  }

  void Arm() {
    watching_ = true;
    armedAt_ = expiry_;
    watchdog_.expires_at(expiry_);  // a wait already set ends as superseded
    watchdog_.async_wait(
        [self = this->shared_from_this(), arming = ++arming_](beast::error_code error) {
          if (arming != self->arming_) return;
          self->watching_ = false;
          if (error) return;
          if (Clock::now() < self->expiry_) return self->Arm();
          self->OnExpired();
        });
  }

  void OnExpired() {
    if (phase_ == Phase::kClosing) return Finish();
    if (phase_ == Phase::kCalling && pending_ != nullptr &&
        Clock::now() >= arrival_ + Options().requestDeadline) {
      ExpireAt(Clock::now() + Options().idleTimeout);  // bounds the writing of the answer
      return pending_->Expire();
    }
    Close(false);  // the peer was too slow to send or to read
  }

  // `graceful`: the peer may still be sending; read on for a moment so that closing does not
  // reset the connection under our last answer.
  void Close(bool graceful) {
    if (phase_ == Phase::kClosing) return;
    phase_ = Phase::kClosing;
    ExpireAt(Clock::now() + kCloseTimeout);
    auto self = this->shared_from_this();
    if constexpr (kIsTls<Stream>) {
      if (graceful) {
        stream_.async_shutdown([self](beast::error_code) { self->Finish(); });
        return;
      }
      Finish();
    } else {
      beast::error_code ignored;
      Lowest(stream_).socket().shutdown(tcp::socket::shutdown_send, ignored);
      if (!graceful) return Finish();
      Linger();
    }
  }

  // Closes the socket and lets the watchdog go, so that the session ends now.
  void Finish() {
    Lowest(stream_).close();
    ++arming_;
    watchdog_.cancel();
  }

  void Linger() {
    buffer_.clear();
    stream_.async_read_some(
        buffer_.prepare(kReadChunk),
        [self = this->shared_from_this()](beast::error_code error, std::size_t size) {
          self->lingered_ += size;
          if (error || self->lingered_ > kLingerBytes) return self->Finish();
          self->Linger();
        });
  }

  ServerCore& server_;
  Stream stream_;
  // One timer for every time limit of the connection, see ExpireAt.
  asio::steady_timer watchdog_;
  Clock::time_point expiry_ = Clock::time_point::max();
  Clock::time_point armedAt_ = Clock::time_point::max();
  std::uint64_t arming_ = 0;
  bool watching_ = false;
  const bool refuse_;
  std::shared_ptr<Responder> responder_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  HttpRequestView view_;
  Early early_;
  std::shared_ptr<PendingRequest> pending_;
  http::response<http::string_body> response_;
  std::optional<http::response<http::empty_body>> continue_;
  std::optional<http::response<http::empty_body>> chunked_;
  std::optional<http::response_serializer<http::empty_body>> chunkHeader_;
  std::deque<std::string> chunks_;
  Phase phase_ = Phase::kHandshake;
  Clock::time_point headerStart_;
  Clock::time_point arrival_;
  std::size_t lingered_ = 0;
  bool started_ = false;    // the current request has sent a byte
  bool continued_ = false;  // the header of the current request has been seen
  bool keepAlive_ = false;
  bool stopping_ = false;
  bool writingChunk_ = false;
  bool lastChunk_ = false;
};

void ServerCore::Accept() {
  acceptor.async_accept(asio::make_strand(io), [this](beast::error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor.is_open()) return;
    if (error) {
      acceptRetry.expires_after(kAcceptRetry);
      acceptRetry.async_wait([this](beast::error_code waited) {
        if (!waited) Accept();
      });
      return;
    }
    OnAccept(std::move(socket));
    Accept();
  });
}

void ServerCore::OnAccept(tcp::socket socket) {
  beast::error_code ignored;
  socket.set_option(tcp::no_delay(true), ignored);
  const bool refuse =
      served.fetch_add(1, std::memory_order_relaxed) >= options.maxConnections || stopping.load();
  if (refuse) served.fetch_sub(1, std::memory_order_relaxed);
  if (tls) {
    std::make_shared<Session<TlsStream>>(*this, TlsStream(std::move(socket), *tls), refuse)
        ->Start();
  } else {
    std::make_shared<Session<PlainStream>>(*this, PlainStream(std::move(socket)), refuse)->Start();
  }
}

}  // namespace

struct HttpServer::State : ServerCore {
  using ServerCore::ServerCore;
};

HttpServer::HttpServer(Provider::InterfaceRegistry& registry, ServerOptions options)
    : state_(std::make_unique<State>(registry, std::move(options))) {}

HttpServer::~HttpServer() { Stop(std::chrono::milliseconds(0)); }

bool HttpServer::Start(std::string& error) {
  State& state = *state_;
  std::lock_guard guard(state.startStop);
  const ServerOptions& options = state.options;
  if (state.started) {
    error = "the server has been started before";
    return false;
  }
  if (options.threads == 0) {
    error = "the server needs at least one thread";
    return false;
  }
  if (options.path.empty() || options.path.front() != '/') {
    error = "the path must start with '/'";
    return false;
  }
  if (options.certificateFile.empty() != options.privateKeyFile.empty()) {
    error = "TLS needs both a certificate file and a private key file";
    return false;
  }
  beast::error_code code;
  const asio::ip::address address = asio::ip::make_address(options.address, code);
  if (code) {
    error = "\"" + options.address + "\" is not an IP address";
    return false;
  }
  const bool tls = !options.certificateFile.empty();
  if (!address.is_loopback() && (!tls || options.token.empty())) {
    error = "serving " + options.address +
            ", which is not a loopback address, needs TLS (certificate and key) and a token";
    return false;
  }
  if (tls) {
    state.tls.emplace(asio::ssl::context::tls_server);
    state.tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                           asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                           asio::ssl::context::no_tlsv1_1);
    state.tls->use_certificate_chain_file(options.certificateFile, code);
    if (code) {
      error = "cannot use the certificate " + options.certificateFile + ": " + code.message();
      return false;
    }
    state.tls->use_private_key_file(options.privateKeyFile, asio::ssl::context::pem, code);
    if (code) {
      error = "cannot use the private key " + options.privateKeyFile + ": " + code.message();
      return false;
    }
  }

  const tcp::endpoint endpoint(address, options.port);
  const auto fail = [&](const char* step) {
    error = std::string("cannot ") + step + " " + options.address + " port " +
            std::to_string(options.port) + ": " + code.message();
    beast::error_code ignored;
    state.acceptor.close(ignored);
    return false;
  };
  if (state.acceptor.open(endpoint.protocol(), code)) return fail("open a socket for");
  if (state.acceptor.set_option(asio::socket_base::reuse_address(true), code)) {
    return fail("configure a socket for");
  }
  if (state.acceptor.bind(endpoint, code)) return fail("bind");
  if (state.acceptor.listen(asio::socket_base::max_listen_connections, code)) {
    return fail("listen on");
  }
  state.port = state.acceptor.local_endpoint().port();
  state.started = true;
  state.Accept();
  for (unsigned i = 0; i < options.threads; ++i) {
    state.threads.emplace_back([&state] { state.io.run(); });
  }
  return true;
}

std::uint16_t HttpServer::Port() const { return state_->port; }

void HttpServer::Stop(std::chrono::milliseconds grace) {
  State& state = *state_;
  std::lock_guard guard(state.startStop);
  if (!state.started || state.stopped) return;
  state.stopped = true;
  const Clock::time_point deadline = Clock::now() + grace;

  state.stopping = true;
  asio::post(state.io, [&state] {
    beast::error_code ignored;
    state.acceptor.close(ignored);
    state.acceptRetry.cancel();
  });
  std::vector<std::shared_ptr<SessionBase>> sessions;
  {
    std::lock_guard lock(state.mutex);
    for (const auto& entry : state.sessions) {
      if (auto session = entry.second.lock()) sessions.push_back(std::move(session));
    }
  }
  for (const auto& session : sessions) session->Shutdown();
  sessions.clear();
  {
    // Calls in flight answer, then their connections close; idle ones close at once.
    std::unique_lock lock(state.mutex);
    state.changed.wait_until(
        lock, deadline, [&state] { return state.sessions.empty() && state.inFlight.load() == 0; });
  }
  state.io.stop();
  for (std::thread& thread : state.threads) thread.join();
  state.threads.clear();
  state.gate->Close();
}

}  // namespace Quil::Remote
