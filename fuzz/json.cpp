// The JSON mapping on arbitrary text: decoded against every input definition of the catalogue,
// by JSON type alone, and as an error of each operation.
//
// A decode that fails appends a message and leaves no value; a value that decodes encodes, and
// its text decodes against the same definition to an equal value.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/monotonic_resource.hpp>

#include <quil/remote/json.h>
#include <tavo/vm/catalogue.h>

namespace {

using Quil::MessageList;
using Quil::Data::DataDefinitionPtr;
using Quil::Data::DataValuePtr;

struct Operation {
  std::string name;
  DataDefinitionPtr input;
  std::vector<DataDefinitionPtr> errors;
};

std::vector<Operation> CatalogueOperations() {
  std::vector<Operation> operations;
  for (const auto& api : Com::Korvan::Tavo::Vm::DescribeServices()->List()) {
    for (const auto& method : api->GetMethods()) {
      operations.push_back({api->GetIdentifier()->GetName() + "." + method->methodName(),
                            method->inputDefinition(), method->errorDefinitions()});
    }
  }
  return operations;
}

[[noreturn]] void Fail(const std::string& what, const std::string& against, std::string_view text) {
  std::fprintf(stderr, "json invariant broken: %s\n  against: %s\n  text: %.*s\n", what.c_str(),
               against.c_str(), static_cast<int>(std::min<std::size_t>(text.size(), 2000)),
               text.data());
  std::abort();
}

// Encodes a decoded value and decodes the text again with `decodeAgain`.
template <typename Again>
void ReEncode(const DataValuePtr& value, const std::string& against, std::string_view text,
              Again&& decodeAgain) {
  std::string encoded;
  MessageList messages;
  if (!Quil::Remote::Json::Encode(*value, encoded, messages)) {
    Fail("a decoded value does not encode: " + messages.front().defaultMessage, against, text);
  }
  const DataValuePtr again = decodeAgain(encoded, messages);
  if (again == nullptr) {
    Fail("the encoding " + encoded + " does not decode: " + messages.front().defaultMessage,
         against, text);
  }
  if (!Quil::Data::Equals(value.get(), again.get())) {
    Fail("the encoding " + encoded + " decodes to another value", against, text);
  }
}

void CheckFailure(bool decoded, const DataValuePtr& out, const MessageList& messages,
                  const std::string& against, std::string_view text) {
  if (decoded != messages.empty()) Fail("a decode and its messages disagree", against, text);
  if (!decoded && out != nullptr) Fail("a failed decode leaves a value", against, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::vector<Operation> operations = CatalogueOperations();
  const std::string_view text(reinterpret_cast<const char*>(bytes), size);

  // The whole text against the input of the operation its length picks, and by JSON type.
  const Operation& picked = operations[size % operations.size()];
  for (const DataDefinitionPtr& definition : {picked.input, DataDefinitionPtr()}) {
    const std::string against = definition ? picked.name : "(JSON type)";
    DataValuePtr value;
    MessageList messages;
    const bool decoded = Quil::Remote::Json::Decode(text, definition, value, messages);
    CheckFailure(decoded, value, messages, against, text);
    if (!decoded) continue;
    ReEncode(value, against, text, [&](const std::string& encoded, MessageList& failures) {
      DataValuePtr again;
      Quil::Remote::Json::Decode(encoded, definition, again, failures);
      return again;
    });
  }

  // The parsed tree against every operation's input, and as each operation's error.
  boost::json::monotonic_resource resource;
  MessageList parseFailures;
  const std::optional<boost::json::value> json =
      Quil::Remote::Json::Parse(text, resource, parseFailures);
  if (!json) {
    if (parseFailures.empty()) Fail("a parse failure without message", "(parse)", text);
    return 0;
  }
  for (const Operation& operation : operations) {
    DataValuePtr value;
    MessageList messages;
    const bool decoded = Quil::Remote::Json::Decode(*json, operation.input, value, messages);
    CheckFailure(decoded, value, messages, operation.name, text);
    if (decoded) {
      ReEncode(value, operation.name, text, [&](const std::string& encoded, MessageList& failures) {
        DataValuePtr again;
        Quil::Remote::Json::Decode(encoded, operation.input, again, failures);
        return again;
      });
    }

    Quil::Data::ErrorValuePtr error;
    MessageList errorMessages;
    const bool errorDecoded =
        Quil::Remote::Json::DecodeError(*json, operation.errors, error, errorMessages);
    CheckFailure(errorDecoded, error, errorMessages, operation.name + " (error)", text);
    if (errorDecoded) {
      ReEncode(error, operation.name + " (error)", text,
               [&](const std::string& encoded, MessageList& failures) {
                 Quil::Data::ErrorValuePtr again;
                 boost::json::monotonic_resource second;
                 if (auto tree = Quil::Remote::Json::Parse(encoded, second, failures)) {
                   Quil::Remote::Json::DecodeError(*tree, operation.errors, again, failures);
                 }
                 return DataValuePtr(again);
               });
    }
  }
  return 0;
}
