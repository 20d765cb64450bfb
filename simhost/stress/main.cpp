// tavo-vm-stress: attacks a tavo-vm-hostd on 127.0.0.1 on purpose and prints one summary line per
// scenario (load, faults, limits, crash); exit status 0 only when every scenario passed. Every
// scenario is bounded in calls and in time.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <boost/asio.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <boost/json.hpp>
#include <boost/optional.hpp>

#include <quil/remote/client.h>
#include <tavo/simhost/host.h>
#include <tavo/vm/catalogue.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace asio = boost::asio;
namespace http = boost::beast::http;
namespace Vm = ::Com::Korvan::Tavo::Vm;
using asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

std::string Contents(const fs::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

double Millis(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

// VmRSS of `pid` in KiB; 0 when unreadable.
long RssKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

// The answer of one call through the typed stubs, or none when the wait ran out.
struct Answer {
  bool answered = false;
  std::string error;  // the error's name; empty for a success
  std::int64_t number = 0;
};

// Blocking calls over the stubs of one HttpApiProvider. `answers` counts final deliveries per
// call id, so that a lost or doubled answer shows even when the wait for it ran out.
class Caller {
 public:
  static constexpr std::size_t kUncounted = SIZE_MAX;

  Caller(std::uint16_t port, milliseconds timeout, std::vector<std::atomic<int>>* answers = nullptr)
      : provider_(Options(port, timeout), Vm::DescribeServices()),
        apiStub_(std::make_shared<Quil::Stub::AsyncApiStub>(provider_, defaults_)),
        memory_(apiStub_),
        cpus_(apiStub_),
        power_(apiStub_),
        nask_(apiStub_),
        answers_(answers),
        wait_(timeout + seconds(5)) {}

  Answer Create(const std::string& vm, std::size_t id = kUncounted) {
    auto spec = std::make_shared<Vm::NaskSvc::CreateSpec>();
    spec->vm = vm;
    spec->guestOS = "linux";
    return Call(id, nask_, &Nask::Create, spec);
  }
  Answer GetMemory(const std::string& vm, std::size_t id = kUncounted) {
    return Call(id, memory_, &Memory::Get, vm);
  }
  Answer GetCpus(const std::string& vm, std::size_t id = kUncounted) {
    return Call(id, cpus_, &Cpus::Get, vm);
  }
  Answer GetPower(const std::string& vm, std::size_t id = kUncounted) {
    return Call(id, power_, &Power::Get, vm);
  }
  Answer UpdateMemory(const std::string& vm, std::int64_t size, std::size_t id = kUncounted) {
    auto spec = std::make_shared<Vm::Compute::MemorySvc::UpdateSpec>();
    spec->size = size;
    return Call(id, memory_, &Memory::Update, vm, spec);
  }
  Answer UpdateCpus(const std::string& vm, std::int64_t count, std::size_t id = kUncounted) {
    auto spec = std::make_shared<Vm::Compute::CpusSvc::UpdateSpec>();
    spec->count = count;
    return Call(id, cpus_, &Cpus::Update, vm, spec);
  }

 private:
  using Memory = Vm::Compute::MemorySvc::AsyncServiceStub;
  using Cpus = Vm::Compute::CpusSvc::AsyncServiceStub;
  using Power = Vm::PowerSvc::AsyncServiceStub;
  using Nask = Vm::NaskSvc::AsyncServiceStub;

  static Quil::Remote::ClientOptions Options(std::uint16_t port, milliseconds timeout) {
    Quil::Remote::ClientOptions options;
    options.url = "http://127.0.0.1:" + std::to_string(port) + "/api";
    options.timeout = timeout;
    options.maxConnections = 1;
    return options;
  }

  // The memory size of a memory answer, for the crash check; 0 for the others.
  template <typename R>
  static std::int64_t NumberOf(const R& value) {
    if constexpr (std::is_same_v<R, Vm::Compute::MemorySvc::GetMethod::ResultType>) {
      return value->size;
    } else {
      return 0;
    }
  }

  // Calls `operation` with `args` and waits for its answer.
  template <typename Stub, typename... Params, typename... Args>
  Answer Call(std::size_t id, Stub& stub, void (Stub::*operation)(Params...), Args&&... args) {
    using Result =
        std::decay_t<std::tuple_element_t<sizeof...(Params) - 1, std::tuple<Params...>>>;
    using R = typename Result::ResultType;
    struct Slot {
      std::mutex mutex;
      std::condition_variable done;
      Answer answer;
    };
    auto slot = std::make_shared<Slot>();
    std::vector<std::atomic<int>>* answers = answers_;
    Result result([slot, answers, id](boost::optional<R> value, Quil::Data::ErrorValuePtr error,
                                      const boost::optional<Quil::Data::NativeError>&,
                                      Quil::Progress) {
      if (!value && !error) return;  // a progress report
      if (answers != nullptr && id != kUncounted) ++(*answers)[id];
      std::lock_guard<std::mutex> lock(slot->mutex);
      if (slot->answer.answered) return;
      slot->answer.answered = true;
      if (error) slot->answer.error = error->GetName();
      if (value) slot->answer.number = NumberOf(*value);
      slot->done.notify_all();
    });
    (stub.*operation)(std::forward<Args>(args)..., nullptr, result);
    std::unique_lock<std::mutex> lock(slot->mutex);
    slot->done.wait_for(lock, wait_, [&] { return slot->answer.answered; });
    return slot->answer;
  }

  Quil::Remote::HttpApiProvider provider_;
  Quil::Core::AsyncActivation defaults_;
  std::shared_ptr<Quil::Stub::AsyncApiStub> apiStub_;
  Memory memory_;
  Cpus cpus_;
  Power power_;
  Nask nask_;
  std::vector<std::atomic<int>>* answers_;
  milliseconds wait_;
};

// --- raw HTTP ------------------------------------------------------------------------------------

std::string PostHeader(std::size_t contentLength) {
  return "POST /api HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
         "Content-Length: " +
         std::to_string(contentLength) + "\r\n\r\n";
}

std::string RpcRequest(const std::string& method, const std::string& params, int id = 1) {
  return R"({"jsonrpc": "2.0", "id": )" + std::to_string(id) +
         R"(, "method": "com.korvan.tavo.vm.)" + method + R"(", "params": )" + params + "}";
}

struct RawAnswer {
  int status = 0;  // 0: no answer within the limit
  std::string body;
  std::string failure;
};

// Sends `request` on a fresh connection while reading the answer, so that an answer the server
// gives before it read the whole request (413) is seen; gives up after `limit`.
RawAnswer Exchange(std::uint16_t port, const std::string& request, milliseconds limit) {
  asio::io_context io;
  tcp::socket socket(io);
  RawAnswer answer;
  boost::beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(std::uint64_t{1} << 30);
  socket.async_connect({asio::ip::make_address("127.0.0.1"), port}, [&](boost::system::error_code
                                                                            error) {
    if (error) {
      answer.failure = error.message();
      return;
    }
    asio::async_write(socket, asio::buffer(request), [](boost::system::error_code, std::size_t) {});
    http::async_read(socket, buffer, parser, [&](boost::system::error_code read, std::size_t) {
      if (read) {
        answer.failure = read.message();
        return;
      }
      answer.status = static_cast<int>(parser.get().result_int());
      answer.body = parser.get().body();
      socket.close();
    });
  });
  io.run_for(limit);
  if (answer.status == 0 && answer.failure.empty()) answer.failure = "no answer in time";
  return answer;
}

// A connection that says what it is told and then does nothing (or hangs up).
class RawConnection {
 public:
  explicit RawConnection(asio::io_context& io, std::uint16_t port) : socket_(io) {
    boost::system::error_code error;
    socket_.connect({asio::ip::make_address("127.0.0.1"), port}, error);
    connected_ = !error;
  }
  bool connected() const { return connected_; }
  void Send(const std::string& bytes) {
    boost::system::error_code error;
    asio::write(socket_, asio::buffer(bytes), error);
  }
  // Reads at most `count` bytes that are there within `limit`; what came.
  std::string Read(std::size_t count, milliseconds limit) {
    std::string got;
    const auto deadline = Clock::now() + limit;
    char chunk[512];
    socket_.non_blocking(true);
    while (got.size() < count && Clock::now() < deadline) {
      boost::system::error_code error;
      const std::size_t n = socket_.read_some(
          asio::buffer(chunk, std::min(sizeof chunk, count - got.size())), error);
      got.append(chunk, n);
      if (error == asio::error::would_block) {
        std::this_thread::sleep_for(milliseconds(2));
      } else if (error) {
        break;
      }
    }
    return got;
  }
  // Hangs up with a reset instead of an orderly close.
  void Reset() {
    boost::system::error_code error;
    socket_.set_option(asio::socket_base::linger(true, 0), error);
    socket_.close(error);
  }

 private:
  tcp::socket socket_;
  bool connected_ = false;
};

// --- scenarios -----------------------------------------------------------------------------------

struct Verdict {
  bool pass = false;
  std::string line;
};

double Percentile(std::vector<double>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  return sorted[std::min(sorted.size() - 1, static_cast<std::size_t>(fraction * sorted.size()))];
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// The machine `vm` in the state file, or null.
const boost::json::object* MachineInState(const boost::json::value& state, const std::string& vm) {
  const boost::json::value* machines = state.as_object().if_contains("machines");
  if (machines == nullptr || !machines->is_array()) return nullptr;
  for (const boost::json::value& machine : machines->as_array()) {
    const boost::json::object& object = machine.as_object();
    if (object.at("vm").as_string() == vm) return &object;
  }
  return nullptr;
}

// Each thread works on a machine of its own, so that the state file tells what its last
// acknowledged updates were.
Verdict Load(std::uint16_t port, const fs::path& stateFile, int threads, int calls) {
  const std::size_t total = static_cast<std::size_t>(threads) * calls;
  std::vector<std::atomic<int>> answers(total);
  std::vector<std::vector<double>> latencies(threads);
  std::vector<std::int64_t> lastMemory(threads, 0), lastCpus(threads, 0);
  std::atomic<std::size_t> errors{0}, timedOut{0}, setupFailures{0};
  std::string firstError;
  std::mutex firstErrorMutex;
  const auto started = Clock::now();
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      Caller caller(port, seconds(60), &answers);
      const std::string vm = "load-" + std::to_string(t) + "-" + std::to_string(::getpid());
      if (!caller.Create(vm).error.empty()) ++setupFailures;
      latencies[t].reserve(calls);
      for (int i = 0; i < calls; ++i) {
        const std::size_t id = static_cast<std::size_t>(t) * calls + i;
        const std::int64_t memory = 4 * (i + 1);
        const std::int64_t cpus = 1 + (i / 5) % 8;
        const auto begin = Clock::now();
        Answer answer;
        switch (i % 5) {
          case 0: answer = caller.GetMemory(vm, id); break;
          case 1: answer = caller.GetCpus(vm, id); break;
          case 2: answer = caller.UpdateMemory(vm, memory, id); break;
          case 3: answer = caller.GetPower(vm, id); break;
          default: answer = caller.UpdateCpus(vm, cpus, id); break;
        }
        latencies[t].push_back(Millis(Clock::now() - begin));
        if (!answer.answered) {
          ++timedOut;
        } else if (!answer.error.empty()) {
          if (errors++ == 0) {
            std::lock_guard<std::mutex> lock(firstErrorMutex);
            firstError = answer.error;
          }
        } else if (i % 5 == 2) {
          lastMemory[t] = memory;
        } else if (i % 5 == 4) {
          lastCpus[t] = cpus;
        }
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  std::size_t received = 0, lost = 0, doubled = 0;
  for (const std::atomic<int>& count : answers) {
    received += count;
    lost += count == 0;
    doubled += count > 1;
  }
  // The server's side: every acknowledged update is what the state file holds.
  int matching = 0;
  const boost::json::value state = boost::json::parse(Contents(stateFile));
  for (int t = 0; t < threads; ++t) {
    const auto* machine =
        MachineInState(state, "load-" + std::to_string(t) + "-" + std::to_string(::getpid()));
    if (machine == nullptr) continue;
    const bool memoryKept = lastMemory[t] == 0 ||
                            machine->at("memory").at("size_mib").to_number<std::int64_t>() ==
                                lastMemory[t];
    const bool cpusKept =
        lastCpus[t] == 0 || machine->at("cpus").at("count").to_number<std::int64_t>() == lastCpus[t];
    matching += memoryKept && cpusKept;
  }
  std::vector<double> all;
  all.reserve(total);
  for (auto& each : latencies) all.insert(all.end(), each.begin(), each.end());
  std::sort(all.begin(), all.end());
  Verdict verdict;
  verdict.pass = received == total && lost == 0 && doubled == 0 && errors == 0 && timedOut == 0 &&
                 setupFailures == 0 && matching == threads;
  verdict.line = Format(
      "load: %d threads x %d calls: sent %zu, answered %zu, lost %zu, doubled %zu, errors %zu%s%s, "
      "state %d/%d machines as acknowledged; %.0f calls/s, p50 %.2f ms, p99 %.2f ms",
      threads, calls, total, received, lost, doubled, std::size_t{errors},
      firstError.empty() ? "" : " (first ", firstError.empty() ? "" : (firstError + ")").c_str(),
      matching, threads, total / elapsed, Percentile(all, 0.5), Percentile(all, 0.99));
  return verdict;
}

Verdict Faults(std::uint16_t port, pid_t pid, std::size_t maxConnections, int rounds) {
  const std::string vm = "faults-" + std::to_string(::getpid());
  const long rssBefore = RssKiB(pid);
  // The client that must keep being served: every call answered, each within its deadline.
  constexpr auto kDeadline = seconds(5);
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> served{0}, failed{0};
  double slowest = 0;
  std::string firstFailure;
  std::thread client([&] {
    Caller caller(port, kDeadline);
    if (!caller.Create(vm).error.empty()) ++failed;
    for (int i = 0; !stop && i < 1'000'000; ++i) {
      const auto begin = Clock::now();
      const Answer answer = i % 2 ? caller.GetMemory(vm) : caller.UpdateMemory(vm, 4 * (i % 64 + 1));
      const double took = Millis(Clock::now() - begin);
      slowest = std::max(slowest, took);
      if (answer.answered && answer.error.empty() && took <= Millis(kDeadline)) {
        ++served;
      } else if (failed++ == 0) {
        firstFailure = answer.answered ? answer.error : "no answer";
      }
    }
  });

  const std::string batch = [] {
    std::string calls = "[";
    for (int i = 0; i < 200; ++i) {
      calls += (i ? "," : "") + RpcRequest("compute.memory.get", R"({"vm": "none"})", i);
    }
    return calls + "]";
  }();
  const std::string get = RpcRequest("compute.memory.get", R"({"vm": "none"})");
  std::atomic<std::size_t> attacks{0};
  // Disconnects mid-request (in the header, in the body) and mid-response, from four threads.
  std::vector<std::thread> attackers;
  for (int a = 0; a < 4; ++a) {
    attackers.emplace_back([&, a] {
      asio::io_context io;
      for (int i = a; i < rounds; i += 4) {
        RawConnection connection(io, port);
        if (!connection.connected()) continue;
        switch (i % 3) {
          case 0: connection.Send(PostHeader(get.size()).substr(0, 40)); break;
          case 1: connection.Send(PostHeader(get.size()) + get.substr(0, get.size() / 2)); break;
          default:
            connection.Send(PostHeader(batch.size()) + batch);
            connection.Read(100, milliseconds(500));
            break;
        }
        if (i % 2) connection.Reset();
        ++attacks;
      }
    });
  }
  for (std::thread& attacker : attackers) attacker.join();

  // Half headers that stall, then connections held up to the limit: the server must refuse the
  // one beyond with 503 and still serve the client on its open connection.
  asio::io_context io;
  std::vector<std::unique_ptr<RawConnection>> held;
  for (int i = 0; i < 16; ++i) {
    held.push_back(std::make_unique<RawConnection>(io, port));
    held.back()->Send(PostHeader(get.size()).substr(0, 30));
  }
  bool refusedAtLimit = false;
  for (std::size_t i = 0; i < maxConnections + 8 && !refusedAtLimit; ++i) {
    auto connection = std::make_unique<RawConnection>(io, port);
    if (connection->Read(12, milliseconds(20)).rfind("HTTP/1.1 503", 0) == 0) refusedAtLimit = true;
    held.push_back(std::move(connection));
  }
  std::this_thread::sleep_for(seconds(3));
  const std::size_t heldCount = held.size() - 16;
  held.clear();
  std::this_thread::sleep_for(seconds(1));
  stop = true;
  client.join();
  // Closed connections give their memory back once the server saw them go.
  std::this_thread::sleep_for(seconds(1));
  const long rssAfter = RssKiB(pid);
  const long growth = rssAfter - rssBefore;
  Verdict verdict;
  verdict.pass = failed == 0 && served > 0 && refusedAtLimit && rssBefore > 0 &&
                 growth < 10 * 1024;
  verdict.line = Format(
      "faults: %zu broken connections, 16 stalled, %zu held to the limit (503 beyond it: %s); "
      "client %zu calls served, %zu failed%s%s, slowest %.1f ms; RSS %ld -> %ld KiB (%+ld)",
      std::size_t{attacks}, heldCount, refusedAtLimit ? "yes" : "no",
      std::size_t{served}, std::size_t{failed}, firstFailure.empty() ? "" : " first: ",
      firstFailure.c_str(), slowest, rssBefore, rssAfter, growth);
  return verdict;
}

// The JSON-RPC error code of a response body; 0 when there is none.
std::int64_t RpcCode(const std::string& body) {
  boost::system::error_code error;
  const boost::json::value value = boost::json::parse(body, error);
  if (error || !value.is_object()) return 0;
  const auto* failure = value.as_object().if_contains("error");
  return failure != nullptr && failure->is_object() ? failure->at("code").to_number<std::int64_t>()
                                                    : 0;
}

Verdict Limits(std::uint16_t port) {
  struct Case {
    const char* name;
    std::string body;
    int status;
    std::int64_t code;
  };
  std::vector<Case> cases;
  cases.push_back({"10^6-deep JSON", std::string(1'000'000, '[') + std::string(1'000'000, ']'), 200,
                   -32700});
  cases.push_back({"100 MiB body", std::string(100u << 20, ' '), 413, 0});
  {
    std::string fields = "{";
    for (int i = 0; i < 1'000'000; ++i) fields += (i ? ",\"f" : "\"f") + std::to_string(i) + "\":0";
    cases.push_back({"10^6 fields", RpcRequest("compute.memory.get", fields + "}"), 200, -32602});
  }
  cases.push_back({"64 MiB string",
                   RpcRequest("compute.memory.get", "{\"vm\": \"" + std::string(64u << 20, 'v') + "\"}"),
                   200, -32000});  // within the body limit: the operation's not_found
  Verdict verdict{true, "limits:"};
  for (Case& each : cases) {
    const auto begin = Clock::now();
    const RawAnswer answer = Exchange(port, PostHeader(each.body.size()) + each.body, seconds(60));
    std::string().swap(each.body);
    const std::int64_t code = answer.status == 200 ? RpcCode(answer.body) : 0;
    // A refusal that quoted the request back would answer a multiple of its size.
    const bool refused =
        answer.status == each.status && code == each.code && answer.body.size() < 65536;
    // Still answering: a plain call on a new connection.
    const RawAnswer after =
        Exchange(port, PostHeader(RpcRequest("compute.memory.get", "{\"vm\": \"none\"}").size()) +
                           RpcRequest("compute.memory.get", "{\"vm\": \"none\"}"),
                 seconds(10));
    const bool alive = after.status == 200 && RpcCode(after.body) == -32000;
    verdict.pass = verdict.pass && refused && alive;
    verdict.line += Format(" %s -> %d%s, %zu bytes%s in %.0f ms%s%s;", each.name, answer.status,
                           code ? Format(" %lld", static_cast<long long>(code)).c_str() : "",
                           answer.body.size(), refused ? "" : " (UNEXPECTED)", Millis(Clock::now() - begin),
                           answer.failure.empty() ? "" : (" " + answer.failure).c_str(),
                           alive ? "" : " NOT ANSWERING AFTER");
  }
  return verdict;
}

// A tavo-vm-hostd of our own for the crash rounds, its output in `dir`.
class Daemon {
 public:
  Daemon(const std::string& hostd, const fs::path& dir, const fs::path& state)
      : portFile_(dir / "crash.port") {
    fs::remove(portFile_);
    std::vector<std::string> args = {hostd,   "--port",  "0", "--port-file", portFile_.string(),
                                     "--state", state.string()};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string log = (dir / "crash.log").string();
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
    const auto deadline = Clock::now() + seconds(30);
    while (pid_ > 0 && Clock::now() < deadline) {
      const std::string text = Contents(portFile_);
      if (!text.empty() && text.back() == '\n') {
        port_ = static_cast<std::uint16_t>(std::stoi(text));
        break;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
  }
  ~Daemon() { Kill(); }
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  std::uint16_t port() const { return port_; }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  fs::path portFile_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

// Each round streams changes (a machine created, its memory grown, more machines) until the kill;
// the next daemon, started from the state file, must hold every acknowledged one.
Verdict Crash(const std::string& hostd, const fs::path& dir, int rounds) {
  const fs::path state = dir / "crash-host.json";
  fs::remove(state);
  std::size_t acknowledgedTotal = 0, missing = 0;
  int restarts = 0;
  std::string firstMissing;
  // Round r's acknowledged steps, checked by the daemon started after its kill.
  std::vector<int> acknowledged;
  const auto machine = [](int round, int step) {
    return "c" + std::to_string(round) + "-" + std::to_string(step);
  };
  for (int round = 0; round <= rounds; ++round) {
    Daemon daemon(hostd, dir, state);
    if (daemon.port() == 0) break;
    ++restarts;
    if (round > 0) {
      const int past = round - 1;
      const int acked = acknowledged[past];
      Caller caller(daemon.port(), seconds(20));
      for (int step = 0; step < acked; step += 2) {
        if (caller.GetPower(machine(past, step)).error.empty()) continue;
        if (missing++ == 0) firstMissing = machine(past, step);
      }
      // Memory grows with each odd step; the step in flight at the kill may have landed too.
      const int lastGrowth = acked % 2 == 0 ? acked - 1 : acked - 2;
      const std::int64_t kept = lastGrowth > 0 ? 4 * (lastGrowth + 1) : 1024;
      const std::int64_t inFlight = acked % 2 == 1 ? 4 * (acked + 1) : kept;
      const Answer memory = caller.GetMemory(machine(past, 0));
      if (acked > 0 && !(memory.error.empty() && (memory.number == kept || memory.number == inFlight))) {
        if (missing++ == 0) firstMissing = "memory of " + machine(past, 0);
      }
    }
    if (round == rounds) break;
    std::atomic<int> acked{0};
    std::thread writer([&, round] {
      Caller caller(daemon.port(), seconds(10));
      for (int step = 0; step < 100'000; ++step) {
        const Answer answer = step % 2 ? caller.UpdateMemory(machine(round, 0), 4 * (step + 1))
                                       : caller.Create(machine(round, step));
        if (!answer.answered || !answer.error.empty()) break;
        acked = step + 1;
      }
    });
    // A different number of changes each round before the kill lands.
    const int target = 50 + 37 * round;
    const auto deadline = Clock::now() + seconds(60);
    while (acked < target && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
    daemon.Kill();
    writer.join();
    acknowledged.push_back(acked);
    acknowledgedTotal += acked;
  }
  Verdict verdict;
  verdict.pass = restarts == rounds + 1 && missing == 0 &&
                 static_cast<int>(acknowledged.size()) == rounds;
  verdict.line = Format("crash: %d SIGKILLs, %d starts from the state file, %zu acknowledged "
                        "changes, %zu missing%s%s",
                        static_cast<int>(acknowledged.size()), restarts, acknowledgedTotal, missing,
                        firstMissing.empty() ? "" : ", first: ", firstMissing.c_str());
  return verdict;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("tavo-vm-stress: load, faults, limits and crashes against tavo-vm-hostd on 127.0.0.1");
  std::vector<std::string> scenarios;
  std::uint16_t port = 0;
  int pid = 0;
  std::string state, hostd, dir;
  int threads = 64, calls = 10'000, faultRounds = 3000, crashRounds = 20;
  std::size_t maxConnections = 256;
  app.add_option("scenarios", scenarios, "load, faults, limits, crash (in that order when given)")
      ->check(CLI::IsMember({"load", "faults", "limits", "crash"}))
      ->required();
  app.add_option("--port", port, "port of the running daemon on 127.0.0.1 (load, faults, limits)");
  app.add_option("--pid", pid, "its process id, for its RSS (faults)");
  app.add_option("--state", state, "its state file (load)");
  app.add_option("--max-connections", maxConnections, "its connection limit (faults)")
      ->capture_default_str();
  app.add_option("--hostd", hostd, "tavo-vm-hostd to start and kill (crash)");
  app.add_option("--dir", dir, "a directory for the crash daemons' state and output (crash)");
  app.add_option("--threads", threads, "load: client threads")->capture_default_str();
  app.add_option("--calls", calls, "load: calls per thread")->capture_default_str();
  app.add_option("--fault-connections", faultRounds, "faults: connections broken on purpose")
      ->capture_default_str();
  app.add_option("--crashes", crashRounds, "crash: SIGKILLs")->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  ::signal(SIGPIPE, SIG_IGN);  // a connection the server closed shows as a write error
  bool pass = true;
  for (const std::string& scenario : scenarios) {
    Verdict verdict;
    if (scenario == "load") verdict = Load(port, state, threads, calls);
    if (scenario == "faults") verdict = Faults(port, pid, maxConnections, faultRounds);
    if (scenario == "limits") verdict = Limits(port);
    if (scenario == "crash") verdict = Crash(hostd, dir, crashRounds);
    std::printf("%s %s\n", verdict.pass ? "PASS" : "FAIL", verdict.line.c_str());
    std::fflush(stdout);
    pass = pass && verdict.pass;
  }
  return pass ? 0 : 1;
}
