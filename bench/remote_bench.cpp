// The cost of a call across HTTP: cpus "get" through the typed stub -> HttpApiProvider -> loopback
// -> HttpServer -> the simulated host (immediate delivery) and back, beside a bare Boost.Beast
// exchange over the same loopback with messages of the same sizes, measured in the same run.
//
// Both sides have the same shape, so that the ratio shows what the bindings and the JSON-RPC
// layer add: the server runs two threads with a strand per connection; the client owns one I/O
// thread, and the benchmark thread hands it each call and sleeps until the answer arrives. The
// bare exchange writes the request text the provider sends and answers with the response text the
// server sends, parsed by Beast on both ends and nothing more.
//
// Both run on one keep-alive connection (one call at a time) and on eight (eight calls at once,
// each on its own connection). A remote call and a bare one alternate, so that both meet the same
// load of a shared machine; timed on the wall clock, the comparisons report
//   calls_per_s, bare_calls_per_s   calls per second while calls of that kind ran;
//   ratio_to_bare                   calls_per_s over bare_calls_per_s (1.0: the layers cost
//                                   nothing);
//   p50_us, p99_us, bare_...        latency of one call, from the call to its answer.
// The allocation benchmarks run one kind alone and report
//   allocs_per_call                 heap allocations per call in every thread of the process
//                                   (client, server and host together).
// The machine is shared with other work: compare figures of the same run.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>

#include <tavo/simhost/host.h>
#include <tavo/vm/catalogue.h>
#include <tavo/vm/compute/cpus.h>
#include <tavo/vm/nask.h>

#include <quil/async_result.h>
#include <quil/core/activation.h>
#include <quil/provider/api_provider.h>
#include <quil/remote/client.h>
#include <quil/remote/server.h>
#include <quil/stub/invoker.h>

#include "allocation_counter.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace Vm = Com::Korvan::Tavo::Vm;
namespace CpusSvc = Vm::Compute::CpusSvc;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using InfoPtr = std::shared_ptr<const CpusSvc::Info>;

constexpr int kWide = 8;
const std::string kVm = "vm-1";
// The texts HttpApiProvider and HttpServer exchange for that call (ids of the same width).
const std::string kRequest =
    R"({"jsonrpc":"2.0","id":1000,"method":"com.korvan.tavo.vm.compute.cpus.get","params":{"vm":"vm-1"}})";
const std::string kResponse =
    R"({"jsonrpc":"2.0","id":1000,"result":{"count":1,"cores_per_socket":1,"hot_add_enabled":false,"hot_remove_enabled":false}})";

// Counts answers down; the benchmark thread sleeps on it.
class Latch {
 public:
  void Reset(int count) {
    std::lock_guard lock(mutex_);
    left_ = count;
  }
  void CountDown() {
    std::lock_guard lock(mutex_);
    if (--left_ == 0) done_.notify_one();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return left_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  int left_ = 0;
};

// Latencies of the calls of one benchmark, kept in memory allocated before it runs.
class Latencies {
 public:
  Latencies() { samples_.resize(1 << 20); }
  void Clear() { count_ = 0; }
  void Add(Clock::duration latency) {
    std::lock_guard lock(mutex_);
    samples_[count_++ % samples_.size()] = latency;
  }
  void Report(benchmark::State& state, const std::string& prefix) {
    const std::size_t kept = std::min(count_, samples_.size());
    if (kept == 0) return;
    std::sort(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(kept));
    const auto at = [&](double quantile) {
      const auto index = static_cast<std::size_t>(quantile * static_cast<double>(kept - 1));
      return std::chrono::duration<double, std::micro>(samples_[index]).count();
    };
    state.counters[prefix + "p50_us"] = at(0.50);
    state.counters[prefix + "p99_us"] = at(0.99);
  }

 private:
  std::mutex mutex_;
  std::vector<Clock::duration> samples_;
  std::size_t count_ = 0;
};

// The bare exchange's server: reads a request, answers kResponse, keeps the connection.
class BareServer {
 public:
  BareServer() {
    acceptor_.open(tcp::v4());
    acceptor_.set_option(asio::socket_base::reuse_address(true));
    acceptor_.bind(tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    acceptor_.listen();
    Accept();
    for (auto& thread : threads_) thread = std::thread([this] { io_.run(); });
  }
  ~BareServer() {
    io_.stop();
    for (auto& thread : threads_) thread.join();
  }
  std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

 private:
  struct Session : std::enable_shared_from_this<Session> {
    explicit Session(tcp::socket socket) : stream(std::move(socket)) {}
    void Read() {
      request = {};
      http::async_read(stream, buffer, request,
                       [self = shared_from_this()](beast::error_code error, std::size_t) {
                         if (error) return;
                         self->response = {};
                         self->response.result(http::status::ok);
                         self->response.set(http::field::content_type, "application/x-ndjson");
                         self->response.body() = kResponse + "\n";
                         self->response.keep_alive(true);
                         self->response.prepare_payload();
                         http::async_write(self->stream, self->response,
                                           [self](beast::error_code error, std::size_t) {
                                             if (!error) self->Read();
                                           });
                       });
    }
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::response<http::string_body> response;
  };

  void Accept() {
    acceptor_.async_accept(asio::make_strand(io_),
                           [this](beast::error_code error, tcp::socket socket) {
                             if (error) return;
                             socket.set_option(tcp::no_delay(true));
                             std::make_shared<Session>(std::move(socket))->Read();
                             Accept();
                           });
  }

  asio::io_context io_{2};
  tcp::acceptor acceptor_{io_};
  std::thread threads_[2];
};

// The bare exchange's client: one I/O thread, `connections` keep-alive connections.
class BareClient {
 public:
  BareClient(std::uint16_t port, int connections) : connections_(connections) {
    for (Connection& connection : connections_) {
      connection.stream.emplace(io_);
      connection.stream->connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
      connection.stream->socket().set_option(tcp::no_delay(true));
    }
    thread_ = std::thread([this] { io_.run(); });
  }
  ~BareClient() {
    work_.reset();
    io_.stop();
    thread_.join();
  }

  // Sends one request on each of the first `count` connections.
  void Call(int count, Latch& latch, Latencies& latencies) {
    for (int i = 0; i < count; ++i) {
      asio::post(io_, [this, i, &latch, &latencies, start = Clock::now()] {
        Connection& connection = connections_[static_cast<std::size_t>(i)];
        connection.request = {};
        connection.request.method(http::verb::post);
        connection.request.target("/api");
        connection.request.set(http::field::host, "127.0.0.1");
        connection.request.set(http::field::content_type, "application/json");
        connection.request.set(http::field::accept, "application/x-ndjson, application/json");
        connection.request.body() = kRequest;
        connection.request.prepare_payload();
        http::async_write(
            *connection.stream, connection.request,
            [&connection, &latch, &latencies, start](beast::error_code error, std::size_t) {
              if (error) std::abort();
              connection.response = {};
              http::async_read(*connection.stream, connection.buffer, connection.response,
                               [&latch, &latencies, start](beast::error_code error, std::size_t) {
                                 if (error) std::abort();
                                 latencies.Add(Clock::now() - start);
                                 latch.CountDown();
                               });
            });
      });
    }
  }

 private:
  struct Connection {
    std::optional<beast::tcp_stream> stream;
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::response<http::string_body> response;
  };

  asio::io_context io_{1};
  asio::executor_work_guard<asio::io_context::executor_type> work_{io_.get_executor()};
  std::vector<Connection> connections_;
  std::thread thread_;
};

Quil::Remote::ClientOptions ClientTo(std::uint16_t port, std::size_t connections) {
  Quil::Remote::ClientOptions options;
  options.url = "http://127.0.0.1:" + std::to_string(port) + "/api";
  options.maxConnections = connections;
  return options;
}

// A stub over its own HTTP provider.
struct RemoteStub {
  RemoteStub(std::uint16_t port, std::size_t connections)
      : provider(ClientTo(port, connections), Vm::DescribeServices()) {}

  Quil::Remote::HttpApiProvider provider;
  Quil::Core::AsyncActivation defaults;
  CpusSvc::AsyncServiceStub cpus{std::make_shared<Quil::Stub::AsyncApiStub>(provider, defaults)};
};

void CallGet(CpusSvc::AsyncServiceStub& cpus, Latch& latch, Latencies& latencies) {
  CpusSvc::GetMethod::ResultCbType result(
      [&latch, &latencies, start = Clock::now()](
          boost::optional<InfoPtr> value, Quil::Data::ErrorValuePtr,
          boost::optional<Quil::Data::NativeError>, Quil::Progress progress) {
        if (!progress.IsComplete()) return;
        if (!value || *value == nullptr || (*value)->count != 1) std::abort();
        latencies.Add(Clock::now() - start);
        latch.CountDown();
      });
  cpus.Get(kVm, nullptr, result);
}

// Everything the calls use, built before any measurement.
struct World {
  Tavo::SimHost::Host host;
  Quil::Provider::LocalApiProvider local;
  Quil::Remote::HttpServer server{local.Registry(), {}};
  std::unique_ptr<RemoteStub> narrow;
  std::unique_ptr<RemoteStub> wide;
  BareServer bareServer;
  std::unique_ptr<BareClient> bareNarrow;
  std::unique_ptr<BareClient> bareWide;
  Latch latch;

  World() {
    std::string error;
    if (!host.RegisterWith(local) || !server.Start(error)) std::abort();
    narrow = std::make_unique<RemoteStub>(server.Port(), 1);
    wide = std::make_unique<RemoteStub>(server.Port(), kWide);
    bareNarrow = std::make_unique<BareClient>(bareServer.Port(), 1);
    bareWide = std::make_unique<BareClient>(bareServer.Port(), kWide);

    auto spec = std::make_shared<Vm::NaskSvc::CreateSpec>();
    spec->vm = kVm;
    spec->guestOS = "linux";
    Vm::NaskSvc::AsyncServiceStub nask(
        std::make_shared<Quil::Stub::AsyncApiStub>(local, narrow->defaults));
    bool created = false;
    nask.Create(spec, nullptr,
                Vm::NaskSvc::CreateMethod::ResultCbType(
                    [&created](boost::optional<Quil::Void> done, Quil::Data::ErrorValuePtr,
                               boost::optional<Quil::Data::NativeError>,
                               Quil::Progress) { created = done.has_value(); }));
    if (!created) std::abort();
    // Open every connection before measuring.
    Latencies latencies;
    for (RemoteStub* stub : {narrow.get(), wide.get()}) {
      const int width = stub == narrow.get() ? 1 : kWide;
      latch.Reset(width);
      for (int i = 0; i < width; ++i) CallGet(stub->cpus, latch, latencies);
      latch.Wait();
    }
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void BuildWorld(const benchmark::State&) { TheWorld(); }

// Calls of one kind: the time they took and their latencies.
struct Tally {
  void Reset() {
    busy = {};
    calls = 0;
    latencies.Clear();
  }

  Clock::duration busy{};
  std::size_t calls = 0;
  Latencies latencies;
};

// One step: `width` calls at once, timed until the last has answered.
template <typename Call>
void Step(Tally& tally, int width, Call&& call) {
  World& world = TheWorld();
  world.latch.Reset(width);
  const Clock::time_point start = Clock::now();
  call(tally.latencies);
  world.latch.Wait();
  tally.busy += Clock::now() - start;
  tally.calls += static_cast<std::size_t>(width);
}

double PerSecond(const Tally& tally) {
  return static_cast<double>(tally.calls) / std::chrono::duration<double>(tally.busy).count();
}

// Remote and bare calls alternate, so that both meet the same load of a shared machine.
template <typename Remote, typename Bare>
void Compare(benchmark::State& state, int width, Remote&& remote, Bare&& bare) {
  static Tally remoteTally;
  static Tally bareTally;
  remoteTally.Reset();
  bareTally.Reset();
  for (auto _ : state) {
    Step(remoteTally, width, remote);
    Step(bareTally, width, bare);
  }
  state.counters["calls_per_s"] = PerSecond(remoteTally);
  state.counters["bare_calls_per_s"] = PerSecond(bareTally);
  state.counters["ratio_to_bare"] = PerSecond(remoteTally) / PerSecond(bareTally);
  remoteTally.latencies.Report(state, "");
  bareTally.latencies.Report(state, "bare_");
}

// Heap allocations per call of one kind alone, so that no work of the other is counted.
template <typename Call>
void CountAllocations(benchmark::State& state, int width, Call&& call) {
  static Tally tally;
  tally.Reset();
  const std::size_t before = Bench::Allocations();
  for (auto _ : state) Step(tally, width, call);
  state.counters["allocs_per_call"] =
      static_cast<double>(Bench::Allocations() - before) / static_cast<double>(tally.calls);
}

void RemoteOne(Latencies& latencies) {
  World& world = TheWorld();
  CallGet(world.narrow->cpus, world.latch, latencies);
}
void BareOne(Latencies& latencies) {
  World& world = TheWorld();
  world.bareNarrow->Call(1, world.latch, latencies);
}
void RemoteEight(Latencies& latencies) {
  World& world = TheWorld();
  for (int i = 0; i < kWide; ++i) CallGet(world.wide->cpus, world.latch, latencies);
}
void BareEight(Latencies& latencies) {
  World& world = TheWorld();
  world.bareWide->Call(kWide, world.latch, latencies);
}

void BM_OneConnection(benchmark::State& state) { Compare(state, 1, RemoteOne, BareOne); }
void BM_EightConnections(benchmark::State& state) { Compare(state, kWide, RemoteEight, BareEight); }
void BM_AllocationsRemote(benchmark::State& state) { CountAllocations(state, 1, RemoteOne); }
void BM_AllocationsBare(benchmark::State& state) { CountAllocations(state, 1, BareOne); }

BENCHMARK(BM_OneConnection)->Setup(BuildWorld)->UseRealTime();
BENCHMARK(BM_EightConnections)->Setup(BuildWorld)->UseRealTime();
BENCHMARK(BM_AllocationsRemote)->Setup(BuildWorld)->UseRealTime();
BENCHMARK(BM_AllocationsBare)->Setup(BuildWorld)->UseRealTime();

}  // namespace
