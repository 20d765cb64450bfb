// The host daemon: the simulated host's ten services served over JSON-RPC on HTTP, with its
// inventory kept in a state file, so that other processes drive it as they would a real host.
//
// RunHostDaemon loads the state file (refusing a corrupt or unreadable one without touching it,
// and one that another daemon serves: "FILE.lock" beside it is held while the daemon runs),
// binds the services, starts the server, prints one line "tavo-vm-hostd: serving on
// http://127.0.0.1:8421/api" on standard output, writes the bound port to the port file when
// asked, and serves until SIGINT or SIGTERM. It then stops accepting, lets calls in flight answer
// for up to the grace period and returns 0. With a state file every change is in the file before
// its caller gets the answer. Failures print one line on standard error and return 1 (2 for bad
// options).
//
//   int main(int argc, char** argv) { return Tavo::SimHost::RunHostDaemon(argc, argv); }
//
// or, inside another program's command line:
//
//   Tavo::SimHost::DaemonOptions options;
//   Tavo::SimHost::AddDaemonOptions(*app.add_subcommand("serve", "..."), options);
//   ... parse ...
//   return Tavo::SimHost::RunHostDaemon(options);
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <CLI/CLI.hpp>

#include <tavo/simhost/host.h>

namespace Tavo::SimHost {

struct DaemonOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 8421;  // 0: any free port
  unsigned threads = 2;
  std::string tlsCertificate;
  std::string tlsKey;
  std::string tokenFile;  // its first line is the bearer token every caller must send
  HostOptions::Delivery delivery = HostOptions::Delivery::Immediate;
  std::string stateFile;  // empty: the inventory lives in memory only
  std::string portFile;
  std::size_t maxBody = 4 * 1024 * 1024;
  std::size_t maxConnections = 256;
  std::chrono::milliseconds requestDeadline{30'000};
  std::chrono::milliseconds grace{5'000};
};

// Declares the daemon's options on `app`, bound to `options`.
void AddDaemonOptions(CLI::App& app, DaemonOptions& options);

// Serves until SIGINT or SIGTERM; see above. Blocks both signals in the calling thread (and the
// threads it starts) while it runs.
int RunHostDaemon(const DaemonOptions& options);

// Parses the command line of `tavo-vm-hostd` and runs.
int RunHostDaemon(int argc, char** argv);

// The bearer token of a token file: its first line, without trailing blanks (an editor's
// newline). False with a reason when the file cannot be read or holds no token.
bool ReadToken(const std::string& path, std::string& token, std::string& error);

}  // namespace Tavo::SimHost
