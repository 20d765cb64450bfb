// tavo-vm-hostd as a process of its own, on loopback ports it picks itself: the demo over HTTP,
// a token file, SIGKILL in the middle of a stream of changes and a restart from the state file,
// a state file it cannot own. Every wait here is bounded; a daemon left running is killed at the
// end.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include <quil/remote/client.h>
#include <tavo/vm/catalogue.h>

#include "simhost/simhost_client.h"

extern char** environ;

namespace SimHostTesting {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;
using ::testing::HasSubstr;

// A child process with its standard output and error in files of `dir`.
class Process {
 public:
  Process(const fs::path& dir, const std::string& name, std::vector<std::string> args)
      : out_(dir / (name + ".out")), err_(dir / (name + ".err")) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~Process() {
    if (running()) Signal(SIGKILL);
    Wait(seconds(30));
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool running() {
    Poll();
    return pid_ > 0 && !status_;
  }
  void Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
  }
  // The exit status once the process ended within `limit`; -1 if it did not, or died by a signal.
  int Wait(milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (running() && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(10));
    return status_ && WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1;
  }
  std::string Out() const { return Contents(out_); }
  std::string Err() const { return Contents(err_); }

 private:
  void Poll() {
    int status = 0;
    if (pid_ > 0 && !status_ && ::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
  }

  fs::path out_;
  fs::path err_;
  pid_t pid_ = -1;
  boost::optional<int> status_;
};

// tavo-vm-hostd on a free loopback port; `serving` once it wrote the port file.
class Daemon {
 public:
  Daemon(const fs::path& dir, std::vector<std::string> args) : portFile_(dir / "port") {
    fs::remove(portFile_);
    args.insert(args.begin(), {TAVO_HOSTD_PATH, "--port", "0", "--port-file", portFile_.string()});
    process_ = std::make_unique<Process>(dir, "hostd-" + std::to_string(++started_), args);
    const auto deadline = Clock::now() + seconds(60);
    while (!fs::exists(portFile_) && process_->running() && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(10));
    }
    if (fs::exists(portFile_)) port_ = std::stoi(Contents(portFile_));
  }

  bool serving() const { return port_ != 0; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/api"; }
  Process& process() { return *process_; }

 private:
  static inline int started_ = 0;
  fs::path portFile_;
  std::unique_ptr<Process> process_;
  int port_ = 0;
};

std::unique_ptr<Quil::Remote::HttpApiProvider> Connect(const std::string& url,
                                                       const std::string& token = "") {
  Quil::Remote::ClientOptions options;
  options.url = url;
  options.token = token;
  options.timeout = seconds(20);
  return std::make_unique<Quil::Remote::HttpApiProvider>(options,
                                                         Com::Korvan::Tavo::Vm::DescribeServices());
}

using DaemonTest = ScratchDirTest;

// One step of the stream of changes in round `round`: step 0 creates the round's machine; odd
// steps grow its memory to 4 * (step + 1) MiB; other even steps create another machine.
std::string RoundMachine(int round) { return "r" + std::to_string(round); }
std::string StepMachine(int round, int step) {
  return RoundMachine(round) + "-" + std::to_string(step);
}
bool Change(Client& client, int round, int step) {
  if (step % 2 == 1) return client.UpdateMemory(RoundMachine(round), 4 * (step + 1)).ok();
  return client.Create(step == 0 ? RoundMachine(round) : StepMachine(round, step)).ok();
}

// Every change of `round` up to `acknowledged` steps is on the host; the step in flight at the
// kill may be there too, nothing beyond it.
void ExpectKept(Client& client, int round, int acknowledged) {
  SCOPED_TRACE("round " + std::to_string(round));
  for (int step = 2; step < acknowledged; step += 2) {
    ASSERT_EQ(Outcome(client.Await(&Power::Get, StepMachine(round, step))), "ok") << step;
  }
  auto memory = client.Await(&Memory::Get, RoundMachine(round));
  ASSERT_TRUE(memory.ok());
  const int lastGrowth = acknowledged % 2 == 0 ? acknowledged - 1 : acknowledged - 2;
  const std::int64_t kept = lastGrowth > 0 ? 4 * (lastGrowth + 1) : 1024;
  const std::int64_t inFlight = acknowledged % 2 == 1 ? 4 * (acknowledged + 1) : kept;
  EXPECT_THAT(memory.value()->size, ::testing::AnyOf(kept, inFlight));
  EXPECT_NE(Outcome(client.Await(&Power::Get, StepMachine(round, acknowledged + 2))), "ok");
}

// The state file: refused unread and left so, cleared of a killed save's leftover, kept from a
// second daemon and through SIGKILLs in either delivery. Then the demo, with a token file (its
// newline no part of the token), and SIGINT.
TEST_F(DaemonTest, OwnsItsStateFileKeepsAcknowledgedChangesThroughSigkillAndServesTheDemo) {
  constexpr int kRounds = 3;
  constexpr int kMaxSteps = 5000;
  const std::string state = (dir_ / "host.json").string();
  const std::string token = (dir_ / "token").string();
  std::ofstream(token) << "s3cret\n";
  std::ofstream{state};  // empty is not missing (what else is refused: state_test.cpp)
  {
    Daemon refused(dir_, {"--state", state});
    EXPECT_EQ(refused.process().Wait(seconds(60)), 1);
    EXPECT_THAT(refused.process().Err(), HasSubstr("refusing the state file: " + state));
    EXPECT_EQ(Contents(state), "");
  }
  fs::remove(state);
  const fs::path leftover = dir_ / "host.json.tmp-Xk3v9q";
  std::ofstream(leftover) << "half a save";

  std::vector<int> acknowledged;
  for (int round = 0; round <= kRounds; ++round) {
    Daemon daemon(dir_, {"--state", state, "--token-file", token, "--delivery",
                         round % 2 == 0 ? "immediate" : "worker"});
    ASSERT_TRUE(daemon.serving()) << daemon.process().Err();
    if (round == 0) {
      EXPECT_FALSE(fs::exists(leftover));
      Daemon second(dir_, {"--state", state});
      EXPECT_EQ(second.process().Wait(seconds(60)), 1);
      EXPECT_THAT(second.process().Err(), HasSubstr("another daemon is serving the state file"));
    }
    {
      auto provider = Connect(daemon.Url(), "s3cret");
      Client client(*provider);
      for (int past = 0; past < round; ++past) ExpectKept(client, past, acknowledged[past]);
    }
    if (round == kRounds) {
      EXPECT_EQ(daemon.process().Out(), "tavo-vm-hostd: serving on " + daemon.Url() + "\n");
      auto provider = Connect(daemon.Url(), "s3cre");
      Client client(*provider);
      EXPECT_EQ(Outcome(client.UpdateCpus("vm-none", 2)), "unauthenticated");
      Process demo(dir_, "demo",
                   {TAVO_REMOTE_DEMO_PATH, "--url", daemon.Url(), "--token-file", token});
      EXPECT_EQ(demo.Wait(seconds(120)), 0) << demo.Out() << demo.Err();
      EXPECT_THAT(demo.Out(), HasSubstr("demo finished: all 21 steps answered as they should"));
      daemon.process().Signal(SIGINT);
      EXPECT_EQ(daemon.process().Wait(seconds(60)), 0) << daemon.process().Err();
      break;
    }

    std::atomic<int> acked{0};
    std::thread writer([&, round] {
      auto provider = Connect(daemon.Url(), "s3cret");
      Client client(*provider);
      for (int step = 0; step < kMaxSteps && Change(client, round, step); ++step) acked = step + 1;
    });
    // Several hundred changes, a different number each round, then the kill lands mid-stream.
    const int target = 200 + 150 * round;
    const auto deadline = Clock::now() + seconds(120);
    while (acked < target && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
    daemon.process().Signal(SIGKILL);
    writer.join();
    EXPECT_GE(acked, target);
    acknowledged.push_back(acked);
  }
  int checked = 0;
  for (const int count : acknowledged) checked += count;
  RecordProperty("acknowledged_changes_checked", checked);
  std::printf("%d acknowledged changes checked across %d kills\n", checked, kRounds);
}

}  // namespace
}  // namespace SimHostTesting
