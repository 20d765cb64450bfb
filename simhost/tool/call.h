// `tavo-vm call`: one operation called on a server over JSON-RPC, its input checked first.
//
// The input (JSON text, "@file" or "-" for standard input; none means {}) is decoded with the
// operation's input definition and checked with the server's own input check, then for fields
// the definition does not declare and for enumeration values it does not list; any misfit is
// reported with its path and nothing is sent. The output is printed as JSON on standard output
// (indented on a terminal; nothing for an operation that answers void) or, with `table`, as a
// table when the operation answers a list of structures. An error is printed on standard error:
// its name, then each message. Progress reports go to standard error as they come: a bar on a
// terminal, one line each otherwise.
//
// Exit status: 0 answered with an output, 1 answered with an error, 2 bad usage or an input that
// does not fit, 3 the server could not be reached or did not answer in time.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <boost/json/value.hpp>

#include "catalogue_model.h"

namespace Tavo::Tool {

enum ExitStatus : int { kAnswered = 0, kAnsweredError = 1, kUsage = 2, kTransport = 3 };

struct CallOptions {
  std::string server = "http://127.0.0.1:8421/api";
  std::string tokenFile;
  std::string caFile;
  std::string locale;  // language tags for the messages, "de_CH, de"
  std::chrono::milliseconds timeout{30'000};
  bool table = false;
};

// Reads the input argument: JSON text, "@file", "-" (standard input), or empty for {}.
bool ReadInput(const std::string& argument, std::string& text, std::string& error);

int RunCall(const Catalogue& catalogue, const Operation& operation, const std::string& inputText,
            const CallOptions& options);

// The rows (a JSON array of objects) as an aligned table under a line of column names, in the
// order fields first occur; `columns` names them when there is no row.
std::string TableText(const boost::json::value& rows, std::vector<std::string> columns);

}  // namespace Tavo::Tool
