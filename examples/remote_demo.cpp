// The demo over HTTP: the same scenario as tavo-demo (demo_scenario.h), run through the same
// typed stubs against a host in another process, here tavo-vm-hostd. Only the API provider
// differs. Exits with 0 only when every step answered as it should; 2 for bad options.
//
//   tavo-vm-hostd --port 8421 &
//   tavo-remote-demo --url http://127.0.0.1:8421/api
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include <CLI/CLI.hpp>

#include <quil/remote/client.h>
#include <tavo/vm/catalogue.h>

#include "demo_scenario.h"

int main(int argc, char** argv) {
  CLI::App app("Runs the demo scenario against a host served over HTTP.", "tavo-remote-demo");
  Quil::Remote::ClientOptions options;
  std::string tokenFile;
  std::string vm = "demo-vm";
  app.add_option("--url", options.url, "the host's JSON-RPC endpoint")->capture_default_str();
  app.add_option("--token-file", tokenFile, "file whose first line is the bearer token")
      ->check(CLI::ExistingFile);
  app.add_option("--vm", vm, "identifier of the machine the scenario creates and deletes")
      ->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : 2;
  }
  if (!tokenFile.empty()) {
    std::ifstream in(tokenFile);
    std::getline(in, options.token);
    options.token.erase(options.token.find_last_not_of(" \t\r\n") + 1);
  }

  std::unique_ptr<Quil::Remote::HttpApiProvider> provider;
  try {
    provider = std::make_unique<Quil::Remote::HttpApiProvider>(
        options, Com::Korvan::Tavo::Vm::DescribeServices());
  } catch (const std::invalid_argument& error) {
    std::fprintf(stderr, "tavo-remote-demo: %s\n", error.what());
    return 2;
  }
  std::printf("Host at %s\n", options.url.c_str());
  return TavoDemo::Report(TavoDemo::RunScenario(*provider, vm));
}
