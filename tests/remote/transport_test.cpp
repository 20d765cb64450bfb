#include <quil/remote/client.h>
#include <quil/remote/json.h>
#include <quil/remote/rpc_handler.h>
#include <quil/remote/server.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <gtest/gtest.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <quil/client/future_result.h>
#include <quil/core/activation.h>
#include <quil/error_names.h>
#include <quil/provider/api_provider.h>
#include <quil/std/errors.h>
#include <quil/stub/invoker.h>
#include <tavo/vm/catalogue.h>
#include <tavo/vm/compute/cpus.h>

#include "simhost/simhost_client.h"

namespace Quil::Remote {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace Vm = ::Com::Korvan::Tavo::Vm;
namespace CpusSvc = Vm::Compute::CpusSvc;
namespace Errors = ::Com::Korvan::Quil::Std::Errors;
using asio::ip::tcp;
using Client::Reply;
using Cpus = CpusSvc::AsyncServiceStub;
using InfoPtr = std::shared_ptr<const CpusSvc::Info>;
using namespace std::chrono_literals;

constexpr auto kPatience = 10s;  // bound of every wait; a passing test waits far less

template <typename R>
Reply<R> Wait(std::future<Reply<R>>& answer) {
  if (answer.wait_for(kPatience) != std::future_status::ready) {
    ADD_FAILURE() << "no answer";
    return Reply<R>::Failure(nullptr);
  }
  return answer.get();
}

std::string NameOf(const Data::ErrorValuePtr& error) {
  return error ? std::string(error->GetName()) : "none";
}

// The simulated host behind an HTTP server on 127.0.0.1.
struct ServedHost : SimHostTesting::Deployment {
  explicit ServedHost(ServerOptions options = {})
      : server(provider.Registry(), std::move(options)) {
    std::string error;
    EXPECT_TRUE(server.Start(error)) << error;
  }

  HttpServer server;
};

ClientOptions Url(std::uint16_t port, ClientOptions options = {}, const char* scheme = "http") {
  options.url = std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/api";
  return options;
}

// The typed stubs over an HTTP provider.
struct RemoteClient {
  explicit RemoteClient(ClientOptions options)
      : provider(std::move(options), Vm::DescribeServices()) {}

  HttpApiProvider provider;
  SimHostTesting::Client calls{provider};
  Cpus& cpus = calls.stub<Cpus>();
};

std::shared_ptr<CpusSvc::UpdateSpec> Count(std::int64_t count) {
  auto spec = std::make_shared<CpusSvc::UpdateSpec>();
  spec->count = count;
  return spec;
}

struct RawReply {
  unsigned status = 0;  // 0: no answer
  std::string body;
};

// Sends `bytes` unchanged to 127.0.0.1:`port` and reads one HTTP response.
RawReply Exchange(std::uint16_t port, const std::string& bytes) {
  asio::io_context io;
  beast::tcp_stream stream(io);
  beast::flat_buffer buffer;
  http::response<http::string_body> response;
  RawReply reply;
  stream.expires_after(kPatience);
  stream.async_connect(
      tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), [&](beast::error_code error) {
        if (error) return;
        // The server may answer before it has read everything: read anyway.
        asio::async_write(stream, asio::buffer(bytes), [&](beast::error_code, std::size_t) {
          http::async_read(stream, buffer, response, [&](beast::error_code error, std::size_t) {
            if (error) return;
            reply.status = response.result_int();
            reply.body = response.body();
          });
        });
      });
  io.run();
  return reply;
}

// A JSON-RPC request; no id makes a notification.
std::string Rpc(const std::string& method, const std::string& params, const char* id = "1") {
  return std::string(R"({"jsonrpc":"2.0",)") + (*id ? R"("id":)" + std::string(id) + "," : "") +
         R"("method":"com.korvan.tavo.vm.)" + method + R"(","params":)" + params + "}";
}

std::string Post(const std::string& body, const std::string& headers = "") {
  return "POST /api HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Answers "get" with a native NotFound that the binding localises; holds every "update" until
// Release.
class ScriptedCpus final : public CpusSvc::AsyncServiceInterface {
 public:
  void Get(const std::string& vm, std::shared_ptr<Core::AsyncActivation>,
           const CpusSvc::GetMethod::ResultCbType& result) override {
    result.callbacks()(boost::none, nullptr,
                       Errors::ToNativeError(Errors::MakeError<Errors::NotFound>(
                           "test.vm.missing", "The VM {1} is missing.", vm)),
                       kFinalProgress);
  }
  void Update(const std::string&, std::shared_ptr<const CpusSvc::UpdateSpec>,
              std::shared_ptr<Core::AsyncActivation>,
              const CpusSvc::UpdateMethod::ResultCbType& result) override {
    std::lock_guard lock(mutex_);
    held_.push_back(result);
  }
  std::size_t Held() {
    std::lock_guard lock(mutex_);
    return held_.size();
  }
  void Release() {
    std::vector<CpusSvc::UpdateMethod::ResultCbType> held;
    {
      std::lock_guard lock(mutex_);
      held.swap(held_);
    }
    for (const auto& result : held) result();
  }

 private:
  std::mutex mutex_;
  std::vector<CpusSvc::UpdateMethod::ResultCbType> held_;
};

struct ServedScript {
  explicit ServedScript(ServerOptions options = {}) : server(registry, std::move(options)) {
    auto localizer = std::make_shared<L10n::Localizer>();
    EXPECT_TRUE(localizer->AddTemplate("de", "test.vm.missing", "Die VM {1} fehlt."));
    EXPECT_TRUE(
        registry.Register(CpusSvc::AsyncServiceBinder::BindImplementation(cpus, localizer)));
    std::string error;
    EXPECT_TRUE(server.Start(error)) << error;
  }

  std::shared_ptr<ScriptedCpus> cpus = std::make_shared<ScriptedCpus>();
  Provider::InterfaceRegistry registry;
  HttpServer server;
};

// One server for the refusals of JSON-RPC and of HTTP, of callers without the token and of slow
// peers.
TEST(TransportTest, EnvelopesRefusalsAndSlowPeers) {
  ServerOptions options;
  options.headerLimit = 1024;
  options.bodyLimit = 2048;
  options.maxDepth = 8;
  options.idleTimeout = 200ms;
  options.headerTimeout = 200ms;
  options.token = "s3cret";
  ServedHost served(options);
  const std::uint16_t port = served.server.Port();
  const auto post = [](const std::string& body, const std::string& headers = "") {
    return Post(body, "Authorization: Bearer s3cret\r\n" + headers);
  };
  const std::string get = Rpc("compute.cpus.get", R"({"vm":"vm-1"})", "7");
  const std::string note = Rpc("nask.create", R"({"spec":{"vm":"vm-1","guest_OS":"linux"}})", "");
  const std::string create = Rpc("nask.create", R"({"spec":{"vm":"vm-2","guest_OS":"linux"}})");
  const std::string unauthenticated =
      R"("code":-32001,"message":"com.korvan.quil.std.errors.unauthenticated)";

  // A request, the status of its answer and a part of the body.
  const std::tuple<std::string, unsigned, std::string> cases[] = {
      {post("{\"jsonrpc\":"), 200, R"("id":null,"error":{"code":-32700)"},
      {post("[]"), 200, R"("id":null,"error":{"code":-32600)"},
      {post("[[[[[[[[[[1]]]]]]]]]]"), 200, R"("error":{"code":-32700)"},
      {post(R"({"jsonrpc":"1.0","id":1,"method":"x.y"})"), 200, R"("id":1,"error":{"code":-32600)"},
      {post(R"({"jsonrpc":"2.0","id":{},"method":"x.y"})"), 200,
       R"("id":null,"error":{"code":-32600)"},
      {post(R"({"jsonrpc":"2.0","id":"a","method":3})"), 200, R"("id":"a","error":{"code":-32600)"},
      {post(Rpc("compute.cpus.get", "[]")), 200, R"("code":-32602)"},
      {post(Rpc("compute.cpus.get", R"({"vm":5})")), 200, R"("code":-32602)"},
      {post(Rpc("compute.cpus.fly", "{}")), 200,
       R"("code":-32601,"message":"com.korvan.quil.std.errors.operation_not_found: )"},
      {post(note), 204, ""},
      {post("[" + note + "," + note + "]"), 204, ""},
      {post(Rpc("compute.cpus.get", R"({"vm":"\ud800"})")), 200, R"("code":-32700)"},
      {post("[1," + Rpc("compute.cpus.get", R"({"vm":"vm-1"})", "-0.5") + "]"), 200,
       R"("result":{"count":1,)"},
      {post(get, "X-Note: a\rb\r\n"), 400, ""},
      {post(get, "X-Note: " + std::string(2000, 'a') + "\r\n"), 431, ""},
      {post(std::string(3000, ' ') + get), 413, ""},
      {"GET /api HTTP/1.1\r\nHost: x\r\n\r\n", 405, ""},
      {post(get).replace(5, 4, "/other"), 404, ""},
      {"not http at all\r\n\r\n", 400, ""},
      // No token, another one, ours as a prefix, ours under another scheme.
      {Post(create), 401, unauthenticated},
      {Post(create, "Authorization: Bearer wrong\r\n"), 401, unauthenticated},
      {Post(create, "Authorization: Bearer s3cret2\r\n"), 401, unauthenticated},
      {Post(create, "Authorization: Basic s3cret\r\n"), 401, unauthenticated},
  };
  for (const auto& [request, status, part] : cases) {
    const RawReply reply = Exchange(port, request);
    EXPECT_EQ(reply.status, status) << request;
    EXPECT_NE(reply.body.find(part), std::string::npos) << request << "\n" << reply.body;
    boost::json::monotonic_resource resource;
    MessageList messages;
    EXPECT_TRUE(status != 200 || Json::Parse(reply.body, resource, messages)) << reply.body;
  }
  // The notifications ran, once: the machine exists and a second create found it in use. The
  // creates without the token did not run.
  EXPECT_EQ(served.host.Snapshot().machines.size(), 1u);
  // A batch answers its two requests in order, the notification not at all.
  const std::string batch = Exchange(port, post("[" + get + "," + note + ",1]")).body;
  EXPECT_EQ(batch.find(R"([{"jsonrpc":"2.0","id":7,"result":{)"), 0u) << batch;
  EXPECT_NE(batch.find(R"(},{"jsonrpc":"2.0","id":null,"error":{"code":-32600)"),
            std::string::npos);
  EXPECT_EQ(batch.find(R"("id":null)"), batch.rfind(R"("id":null)"));

  // Silent, and stuck in the header: closed after the time allowed, not before.
  for (const std::string& bytes : {std::string(), std::string("POST /api HTTP/1.1\r\nHost:")}) {
    const auto start = std::chrono::steady_clock::now();
    Exchange(port, bytes);  // returns once the server closes, or after kPatience
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 200ms) << bytes;
    EXPECT_LT(took, 2s) << bytes;
  }
}

// A self-signed certificate for 127.0.0.1 and its key, as PEM files.
void WriteCertificate(const std::string& certificateFile, const std::string& keyFile) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  ASSERT_TRUE(key && certificate);
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* san =
      X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
  X509_add_ext(certificate, san, -1);
  X509_EXTENSION_free(san);
  X509_sign(certificate, key, EVP_sha256());
  FILE* file = std::fopen(certificateFile.c_str(), "w");
  PEM_write_X509(file, certificate);
  std::fclose(file);
  file = std::fopen(keyFile.c_str(), "w");
  PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(file);
  X509_free(certificate);
  EVP_PKEY_free(key);
}

// What either end refuses: the server an address without TLS and a field it does not know, the
// client a server it does not trust and URLs it cannot use.
TEST(TransportTest, TlsAndWhatEachEndRefuses) {
  const std::string directory = ::testing::TempDir();
  const std::string certificate = directory + "/transport_test_cert.pem";
  const std::string key = directory + "/transport_test_key.pem";
  WriteCertificate(certificate, key);

  Provider::InterfaceRegistry registry;
  std::string error;
  ServerOptions open;
  open.address = "0.0.0.0";
  EXPECT_FALSE(HttpServer(registry, open).Start(error));
  EXPECT_NE(error.find("TLS"), std::string::npos) << error;

  ServerOptions secure;
  secure.certificateFile = certificate;
  secure.privateKeyFile = key;
  secure.token = "t";
  ServedHost served(secure);
  ClientOptions options;
  options.token = "t";
  options.caFile = certificate;
  RemoteClient client(Url(served.server.Port(), options, "https"));
  EXPECT_TRUE(client.calls.Create("vm-1").ok());
  EXPECT_TRUE(client.calls.Await(&Cpus::Get, "vm-1").ok());
  auto extended = Count(2);  // the unknown field fails the input check, by name
  extended->unknownFields =
      Data::StructValue::GetInstance("com.korvan.tavo.vm.compute.cpus.update_spec");
  extended->unknownFields->SetField("threads_per_core", Data::DataValue::Create<std::int64_t>(2));
  const Reply<Void> updated = client.calls.Await(&Cpus::Update, "vm-1", extended);
  EXPECT_EQ(NameOf(updated.error()), Errors::InvalidArgument::kWireName);
  EXPECT_NE(SimHostTesting::MessageOf(updated.error()).find("threads_per_core"), std::string::npos);

  // Plain HTTP to a TLS port, and TLS without trust in the server, fail as the transport.
  RemoteClient plain(Url(served.server.Port(), options));
  EXPECT_EQ(NameOf(plain.calls.Await(&Cpus::Get, "vm-1").error()), ErrorNames::kServiceUnavailable);
  options.caFile = key;  // no certificate in it
  EXPECT_THROW(RemoteClient(Url(served.server.Port(), options, "https")), std::invalid_argument);

  // URLs the client cannot use are refused when it is made, before anything is sent.
  for (const char* url : {"ftp://127.0.0.1/api", "http://user@127.0.0.1:1/api", "http:///api",
                          "http://127.0.0.1:99999/api", "http://127.0.0.1:0/api", "127.0.0.1:1"}) {
    ClientOptions bad;
    bad.url = url;
    EXPECT_THROW(HttpApiProvider(bad, Vm::DescribeServices()), std::invalid_argument) << url;
  }
}

// Listens on 127.0.0.1. With `hangUp` it reads one request header and closes the connection;
// else it never accepts, and the system's handshake leaves the client waiting.
struct BrokenServer {
  explicit BrokenServer(bool hangUp) {
    if (!hangUp) return;
    thread = std::thread([this] {
      beast::error_code error;
      tcp::socket socket = acceptor.accept(error);
      std::string text;
      asio::read_until(socket, asio::dynamic_buffer(text), "\r\n\r\n", error);
    });
  }
  ~BrokenServer() {
    if (thread.joinable()) thread.join();
  }
  asio::io_context io;
  tcp::acceptor acceptor{io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)};
  std::thread thread;
};

TEST(TransportTest, TheClientAnswersTransportFailuresOnceInTime) {
  BrokenServer gone(false), hangsUp(true), silent(false);
  const std::uint16_t closedPort = gone.acceptor.local_endpoint().port();
  gone.acceptor.close();  // nobody listens there any more
  ServerOptions single;
  single.maxConnections = 1;
  ServedHost full(single);  // its one connection taken: answers HTTP 503 without a JSON-RPC body
  asio::io_context io;
  tcp::socket taken(io);
  taken.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), full.server.Port()));
  std::this_thread::sleep_for(100ms);  // the server accepts it before the client's
  ClientOptions options;
  options.timeout = 300ms;
  for (const std::uint16_t port : {closedPort, hangsUp.acceptor.local_endpoint().port(),
                                   silent.acceptor.local_endpoint().port(), full.server.Port()}) {
    RemoteClient client(Url(port, options));
    std::atomic<int> answers{0};
    std::promise<Data::ErrorValuePtr> promise;
    auto future = promise.get_future();
    const auto start = std::chrono::steady_clock::now();
    CpusSvc::GetMethod::ResultCbType result([&](boost::optional<InfoPtr>, Data::ErrorValuePtr error,
                                                boost::optional<Data::NativeError>, Progress) {
      if (answers++ == 0) promise.set_value(std::move(error));
    });
    client.cpus.Get("vm-1", nullptr, result);
    ASSERT_EQ(future.wait_for(kPatience), std::future_status::ready);
    const Data::ErrorValuePtr error = future.get();
    EXPECT_LT(std::chrono::steady_clock::now() - start, options.timeout + 200ms) << port;
    EXPECT_EQ(NameOf(error), ErrorNames::kServiceUnavailable) << port;
    ASSERT_FALSE(error->GetMessages().empty());
    EXPECT_EQ(error->GetMessages().front().id, "quil.remote.unavailable");
    std::this_thread::sleep_for(options.timeout);  // room for a second answer, which must not come
    EXPECT_EQ(answers.load(), 1) << port;
  }
}

TEST(TransportTest, TheCallersLocaleLateCallsAndAGracefulStop) {
  ServerOptions options;
  options.requestDeadline = 200ms;
  ServedScript served(options);
  RemoteClient client(Url(served.server.Port()));
  std::error_code code;
  const auto swiss = std::make_shared<const L10n::LocaleSpec>(
      L10n::LocaleHelpers::MakeLanguagePreference("de_CH, en", code),
      L10n::LocaleHelpers::MakeLanguagePreference("C", code), L10n::TimezoneSpec("Etc/UTC"));
  for (const bool german : {true, false}) {
    auto [result, answer] = Client::MakeFutureResult<InfoPtr>();
    client.cpus.Get(
        "vm-3", german ? std::make_shared<Core::AsyncActivation>(nullptr, swiss) : nullptr, result);
    EXPECT_EQ(SimHostTesting::MessageOf(Wait(answer).error()),
              german ? "Die VM vm-3 fehlt." : "The VM vm-3 is missing.");
  }
  // Weights are ignored and entries that name no language skipped: the order decides.
  const RawReply raw =
      Exchange(served.server.Port(), Post(Rpc("compute.cpus.get", R"({"vm":"vm-3"})"),
                                          "Accept-Language: *, 12, de;q=0.1, en;q=0.9\r\n"));
  EXPECT_NE(raw.body.find("Die VM vm-3 fehlt."), std::string::npos) << raw.body;

  // An implementation that never answers in time: service_unavailable from the server.
  const Reply<Void> expired = client.calls.UpdateCpus("vm-1", 2);
  EXPECT_EQ(NameOf(expired.error()), ErrorNames::kServiceUnavailable);
  EXPECT_EQ(SimHostTesting::MessageOf(expired.error()),
            "The operation did not answer within 200 ms.");
  served.cpus->Release();  // the late answer is dropped

  // Stop waits for a call in flight; its answer still reaches the client.
  ServerOptions patient;
  ServedScript stopping(patient);
  RemoteClient second(Url(stopping.server.Port()));
  auto [result, answer] = Client::MakeFutureResult<Void>();
  second.cpus.Update("vm-1", Count(2), nullptr, result);
  for (int i = 0; i < 1000 && stopping.cpus->Held() == 0; ++i) std::this_thread::sleep_for(1ms);
  std::thread releaser([&] {
    std::this_thread::sleep_for(100ms);
    stopping.cpus->Release();
  });
  stopping.server.Stop(5s);
  releaser.join();
  EXPECT_TRUE(Wait(answer).ok());
  EXPECT_EQ(NameOf(second.calls.UpdateCpus("vm-1", 2).error()), ErrorNames::kServiceUnavailable);
}

TEST(TransportTest, ManyClientThreadsOverManyServerThreads) {
  ServerOptions options;
  options.threads = 3;
  ServedHost served(options);
  ClientOptions clientOptions;
  clientOptions.maxConnections = 3;
  constexpr int kThreads = 4;
  constexpr int kCalls = 40;
  RemoteClient shared(Url(served.server.Port(), clientOptions));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // One client per thread plus one provider shared by all threads.
      RemoteClient own(Url(served.server.Port()));
      const std::string vm = "vm-" + std::to_string(t);
      if (!own.calls.Create(vm).ok()) ++failures;
      for (int i = 0; i < kCalls; ++i) {
        RemoteClient& client = i % 2 == 0 ? own : shared;
        if (!client.calls.UpdateCpus(vm, 1 + i % 4).ok()) ++failures;
        const Reply<InfoPtr> got = client.calls.Await(&Cpus::Get, vm);
        if (!got.ok() || got.value()->count != 1 + i % 4) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace Quil::Remote
