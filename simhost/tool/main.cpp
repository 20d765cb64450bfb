// tavo-vm: the Tavo VM management API from the shell. Lists and describes the operations, writes
// input skeletons and schemas, calls a server, and serves the simulated host (the same daemon as
// tavo-vm-hostd). Exit status: 0 success, 1 the server answered with an error, 2 bad usage or
// input, 3 the server could not be reached.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <hostd.h>

#include "call.h"
#include "catalogue_model.h"
#include "schema.h"
#include "views.h"

namespace {

using namespace Tavo::Tool;

void PrintJson(const boost::json::value& value) {
  std::fputs(JsonText(value, isatty(STDOUT_FILENO) == 1).c_str(), stdout);
  std::fputs("\n", stdout);
}

int Unknown(const std::string& error) {
  std::fprintf(stderr, "tavo-vm: %s\n", error.c_str());
  return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "The Tavo VM management API from the shell: list, describe and call its operations, or "
      "serve the simulated host.",
      "tavo-vm");
  app.require_subcommand(1);
  app.footer(
      "Operations are named INTERFACE.OPERATION; the interface may be shortened to a unique "
      "tail:\n  cpus.get = compute.cpus.get = com.korvan.tavo.vm.compute.cpus.get\n"
      "Exit status: 0 success, 1 the server answered with an error, 2 bad usage or input, 3 the "
      "server could not be reached.");

  bool json = false, names = false;
  auto* services = app.add_subcommand("services", "List the interfaces and their operations");
  services->add_flag("--json", json, "as JSON");
  services->add_flag("--names", names, "only the operations' short names, one a line");
  services->footer("Example:\n  tavo-vm services");

  std::string name;
  auto* describe = app.add_subcommand(
      "describe",
      "Describe the catalogue, an interface, or an operation: input fields with types, output, "
      "declared errors in order, structures, enumerations, the union's cases");
  describe->add_option("name", name, "INTERFACE or INTERFACE.OPERATION (default: everything)");
  describe->add_flag("--json", json, "as JSON");
  describe->footer("Examples:\n  tavo-vm describe cdrom\n  tavo-vm describe cdrom.add --json");

  auto* skeleton = app.add_subcommand(
      "template", "Print a JSON input of an operation with every field, ready to edit");
  skeleton->add_option("operation", name, "INTERFACE.OPERATION")->required();
  skeleton->footer(
      "Example:\n  tavo-vm template cpus.update > update.json   # then fill it in\n"
      "  tavo-vm call cpus.update @update.json");

  std::string input;
  CallOptions call;
  auto* calling = app.add_subcommand(
      "call", "Call an operation on a server and print its output (or its error, on stderr)");
  calling->add_option("operation", name, "INTERFACE.OPERATION")->required();
  calling->add_option("input", input,
                      "the input: JSON text, @FILE, or - for standard input "
                      "(default: {})");
  calling->add_option("--server", call.server, "the server's JSON-RPC URL")
      ->envname("TAVO_VM_SERVER")
      ->capture_default_str();
  calling
      ->add_option("--token-file", call.tokenFile,
                   "file whose first line is the bearer token to send")
      ->check(CLI::ExistingFile);
  calling->add_option("--ca-file", call.caFile, "PEM certificates to verify an https server with")
      ->check(CLI::ExistingFile);
  calling
      ->add_option_function<double>(
          "--timeout",
          [&call](double seconds) {
            call.timeout = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
          },
          "seconds to wait for the answer, connecting included (default 30)")
      ->check(CLI::Range(0.1, 86400.0));
  calling->add_option("--locale", call.locale,
                      "languages for the server's messages, most preferred first: de_CH,de");
  calling->add_flag("--table", call.table, "show a list of structures as a table");
  calling->footer(
      "Examples:\n  tavo-vm call nask.create '{\"spec\": {\"vm\": \"vm-1\", \"guest_OS\": "
      "\"debian12_64\"}}'\n  tavo-vm call cdrom.list '{\"vm\": \"vm-1\"}' --table\n"
      "  echo '{\"vm\": \"vm-1\"}' | tavo-vm call cpus.get -\n"
      "Exit status: 0 answered with an output, 1 answered with an error, 2 bad usage or an input "
      "that does not fit (nothing is sent), 3 the server could not be reached.");

  Tavo::SimHost::DaemonOptions daemon;
  auto* serve = app.add_subcommand(
      "serve", "Serve the simulated host over JSON-RPC on HTTP until SIGINT or SIGTERM");
  Tavo::SimHost::AddDaemonOptions(*serve, daemon);
  serve->footer("Example:\n  tavo-vm serve --port 0 --port-file port --state host.json");

  bool openApi = false;
  std::vector<std::string> chosen;
  auto* schema = app.add_subcommand(
      "schema",
      "Print the catalogue as JSON Schema (2020-12), or as an OpenAPI 3.1 document of "
      "the JSON-RPC endpoint");
  schema->add_option("operations", chosen, "only these INTERFACE.OPERATIONs (default: all)");
  schema->add_flag("--openapi", openApi, "an OpenAPI 3.1 document instead");
  schema->footer(
      "Examples:\n  tavo-vm schema > tavo-vm.schema.json\n  tavo-vm schema --openapi > "
      "openapi.json\nValidate an input against #/$defs/<interface>.<operation>.input.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : kUsage;
  }

  if (serve->parsed()) return Tavo::SimHost::RunHostDaemon(daemon);

  const Catalogue catalogue = Catalogue::Load();
  std::string error;
  if (services->parsed()) {
    if (names) {
      std::fputs(OperationNames(catalogue).c_str(), stdout);
    } else if (json) {
      PrintJson(ServicesJson(catalogue));
    } else {
      std::fputs(ServicesText(catalogue).c_str(), stdout);
    }
    return 0;
  }
  if (describe->parsed()) {
    const Interface* interface = nullptr;
    const Operation* operation = nullptr;
    if (!name.empty()) {
      // An interface's name, else an operation's.
      interface = catalogue.ResolveInterface(name, error);
      if (interface == nullptr) {
        std::string operationError;
        operation = catalogue.ResolveOperation(name, operationError);
        if (operation == nullptr) {
          return Unknown(name.find('.') != std::string::npos ? operationError : error);
        }
      }
    }
    if (json) {
      PrintJson(DescribeJson(catalogue, interface, operation));
    } else {
      std::fputs(DescribeText(catalogue, interface, operation).c_str(), stdout);
    }
    return 0;
  }
  if (skeleton->parsed()) {
    const Operation* operation = catalogue.ResolveOperation(name, error);
    if (operation == nullptr) return Unknown(error);
    PrintJson(InputSkeleton(catalogue, *operation));
    if (isatty(STDERR_FILENO) == 1) {
      std::fprintf(stderr, "(null: may be left out; tavo-vm describe %s shows the types)\n",
                   catalogue.ShortName(*operation).c_str());
    }
    return 0;
  }
  if (schema->parsed()) {
    std::vector<const Operation*> operations;
    for (const std::string& each : chosen) {
      const Operation* operation = catalogue.ResolveOperation(each, error);
      if (operation == nullptr) return Unknown(error);
      operations.push_back(operation);
    }
    PrintJson(openApi ? OpenApi(catalogue, operations) : JsonSchema(catalogue, operations));
    return 0;
  }
  const Operation* operation = catalogue.ResolveOperation(name, error);
  if (operation == nullptr) return Unknown(error);
  std::string text;
  if (!ReadInput(input, text, error)) return Unknown(error);
  return RunCall(catalogue, *operation, text, call);
}
