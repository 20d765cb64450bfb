#include "hostd.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#include <boost/optional.hpp>

#include <quil/provider/api_provider.h>
#include <quil/remote/server.h>

#include <tavo/simhost/state.h>

namespace Tavo::SimHost {
namespace {

constexpr const char* kName = "tavo-vm-hostd";

// Holds "FILE.lock" beside the state file for the daemon's lifetime, so that a second daemon
// cannot interleave its saves with ours. The kernel lets go when the process dies, even by SIGKILL.
class StateLock {
 public:
  ~StateLock() {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Take(const std::string& stateFile, std::string& error) {
    const std::string path = stateFile + ".lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      error = "cannot open the lock file " + path;
      return false;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      error = "another daemon is serving the state file " + stateFile;
      return false;
    }
    RemoveLeftovers(stateFile);
    return true;
  }

 private:
  // Temporaries of saves that a killed daemon never renamed; the state file itself is intact.
  static void RemoveLeftovers(const std::string& stateFile) {
    const std::filesystem::path state(stateFile);
    const std::string prefix = state.filename().string() + ".tmp-";
    std::filesystem::path directory = state.parent_path();
    if (directory.empty()) directory = ".";
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
      if (entry.path().filename().string().rfind(prefix, 0) == 0) {
        std::filesystem::remove(entry.path(), ignored);
      }
    }
  }

  int fd_ = -1;
};

int Fail(const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", kName, why.c_str());
  return 1;
}

std::string UrlOf(const DaemonOptions& options, std::uint16_t port, const std::string& path) {
  const bool v6 = options.address.find(':') != std::string::npos;
  return std::string(options.tlsCertificate.empty() ? "http" : "https") + "://" +
         (v6 ? "[" + options.address + "]" : options.address) + ":" + std::to_string(port) + path;
}

// Blocks SIGINT and SIGTERM in this thread and every thread started from it, so that only
// sigwait below sees them; puts the old mask back when it goes.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
  }
  ~StopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int Wait() const {
    int received = 0;
    while (sigwait(&signals_, &received) != 0) {
    }
    return received;
  }

 private:
  sigset_t signals_;
  sigset_t previous_;
};

}  // namespace

void AddDaemonOptions(CLI::App& app, DaemonOptions& options) {
  app.add_option("--address", options.address,
                 "IPv4 or IPv6 address to listen on; other than loopback needs TLS and a token")
      ->capture_default_str();
  app.add_option("--port", options.port, "port to listen on; 0 takes a free one")
      ->capture_default_str();
  app.add_option("--threads", options.threads, "server threads")
      ->check(CLI::Range(1u, 256u))
      ->capture_default_str();
  auto* certificate =
      app.add_option("--tls-cert", options.tlsCertificate, "PEM certificate chain; serves https")
          ->check(CLI::ExistingFile);
  auto* key = app.add_option("--tls-key", options.tlsKey, "PEM private key of --tls-cert")
                  ->check(CLI::ExistingFile);
  certificate->needs(key);
  key->needs(certificate);
  app.add_option("--token-file", options.tokenFile,
                 "file whose first line is the bearer token every caller must send")
      ->check(CLI::ExistingFile);
  app.add_option_function<std::string>(
         "--delivery",
         [&options](const std::string& mode) {
           options.delivery =
               mode == "worker" ? HostOptions::Delivery::Worker : HostOptions::Delivery::Immediate;
         },
         "answers from the calling thread (immediate) or the host's worker thread (worker)")
      ->check(CLI::IsMember({"immediate", "worker"}))
      ->default_str("immediate");
  app.add_option("--state", options.stateFile,
                 "JSON file that keeps the inventory across restarts (created when missing)");
  app.add_option("--port-file", options.portFile, "file to write the bound port to once serving");
  app.add_option("--max-body", options.maxBody, "largest request body in bytes")
      ->check(CLI::Range(std::size_t{1024}, std::size_t{1} << 30))
      ->capture_default_str();
  app.add_option("--max-connections", options.maxConnections, "connections open at once")
      ->check(CLI::Range(std::size_t{1}, std::size_t{65536}))
      ->capture_default_str();
  app.add_option_function<unsigned>(
         "--request-deadline",
         [&options](unsigned seconds) { options.requestDeadline = std::chrono::seconds(seconds); },
         "seconds a request may take from its arrival to its answer (default 30)")
      ->check(CLI::Range(1u, 3600u));
  app.add_option_function<unsigned>(
         "--grace", [&options](unsigned seconds) { options.grace = std::chrono::seconds(seconds); },
         "seconds calls in flight get to answer when stopping (default 5)")
      ->check(CLI::Range(0u, 3600u));
}

int RunHostDaemon(const DaemonOptions& options) {
  Quil::Remote::ServerOptions server;
  server.address = options.address;
  server.port = options.port;
  server.threads = options.threads;
  server.certificateFile = options.tlsCertificate;
  server.privateKeyFile = options.tlsKey;
  server.bodyLimit = options.maxBody;
  server.maxConnections = options.maxConnections;
  server.requestDeadline = options.requestDeadline;
  std::string error;
  if (!options.tokenFile.empty() && !ReadToken(options.tokenFile, server.token, error)) {
    return Fail(error);
  }

  HostOptions host;
  host.delivery = options.delivery;
  StateLock stateLock;
  if (!options.stateFile.empty()) {
    if (!stateLock.Take(options.stateFile, error)) return Fail(error);
    boost::optional<HostState> saved;
    if (!LoadStateFile(options.stateFile, saved, error)) {
      return Fail("refusing the state file: " + error);
    }
    // A new file is written at once, so that a place the daemon cannot write is found now.
    if (!saved && !SaveStateFile(options.stateFile, HostState{}, error)) return Fail(error);
    if (saved) host.initial = std::make_shared<const HostState>(std::move(*saved));
    host.persist = [path = options.stateFile](const HostState& state, std::string& failure) {
      if (SaveStateFile(path, state, failure)) return true;
      std::fprintf(stderr, "%s: a change was undone: %s\n", kName, failure.c_str());
      return false;
    };
  }

  // Before any thread starts, so that every thread inherits the mask.
  StopSignals stopSignals;
  signal(SIGPIPE, SIG_IGN);  // a peer gone mid-answer is the server's to handle, not a death

  // Declared in this order so that the server stops before the services it serves go.
  Host simulated(std::move(host));
  Quil::Provider::LocalApiProvider provider;
  if (!simulated.RegisterWith(provider)) return Fail("the services could not be registered");
  Quil::Remote::HttpServer http(provider.Registry(), server);
  if (!http.Start(error)) return Fail(error);

  std::printf("%s: serving on %s\n", kName, UrlOf(options, http.Port(), server.path).c_str());
  std::fflush(stdout);
  // Last, so that whoever waits for the port file finds the line above printed.
  const std::string port = std::to_string(http.Port());
  if (!options.portFile.empty() && !WriteFileAtomically(options.portFile, port + "\n", error)) {
    http.Stop(std::chrono::milliseconds(0));
    return Fail(error);
  }

  const int received = stopSignals.Wait();
  std::fprintf(stderr, "%s: %s, stopping\n", kName, received == SIGINT ? "SIGINT" : "SIGTERM");
  http.Stop(options.grace);
  return 0;
}

int RunHostDaemon(int argc, char** argv) {
  CLI::App app(
      "Serves the simulated Tavo host's ten services over JSON-RPC on HTTP.\n"
      "  tavo-vm-hostd --port 0 --port-file port --state host.json",
      kName);
  DaemonOptions options;
  AddDaemonOptions(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : 2;
  }
  return RunHostDaemon(options);
}

bool ReadToken(const std::string& path, std::string& token, std::string& error) {
  std::ifstream in(path);
  if (!in || !std::getline(in, token)) {
    error = "cannot read the token file " + path;
    return false;
  }
  token.erase(token.find_last_not_of(" \t\r\n") + 1);
  if (token.empty()) {
    error = "the token file " + path + " holds no token";
    return false;
  }
  return true;
}

}  // namespace Tavo::SimHost
