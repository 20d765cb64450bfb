#include <quil/core/message_catalogue.h>

#include <algorithm>
#include <array>
#include <string>

#include <quil/message.h>

namespace Quil::Core {

namespace {

using Entry = MessageCatalogueEntry;

// Insertion sort at compile time, so that entries can stay grouped by the component that raises
// them while lookups binary-search the result.
template <std::size_t N>
constexpr std::array<Entry, N> SortedById(std::array<Entry, N> entries) {
  for (std::size_t i = 1; i < N; ++i) {
    for (std::size_t j = i; j > 0 && entries[j].id < entries[j - 1].id; --j) {
      const Entry moved = entries[j];
      entries[j] = entries[j - 1];
      entries[j - 1] = moved;
    }
  }
  return entries;
}

template <std::size_t N>
constexpr bool StrictlyAscending(const std::array<Entry, N>& entries) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(entries[i - 1].id < entries[i].id)) {
      return false;
    }
  }
  return true;
}

// Arguments are named after each identifier; the templates number them from {1}.
constexpr auto kCatalogue = SortedById(std::array{
    // Dynamic values.
    // (field name, structure name)
    Entry{"quil.data.field.missing", "The field \"{1}\" is missing from structure {2}."},
    // (expected kind)
    Entry{"quil.data.value.missing", "A value of kind {1} was expected, but there is none."},
    // (expected kind, actual kind)
    Entry{"quil.data.value.wrong.type",
          "A value of kind {1} was expected, but the value is of kind {2}."},
    // (text, target kind)
    Entry{"quil.data.primitive.parse", "The text \"{1}\" cannot be read as a value of kind {2}."},

    // Native-to-value conversion.
    // (structure wire name)
    Entry{"quil.data.unset.non.optional.field", "The required structure {1} is not set."},

    // Value-to-native conversion.
    // (text)
    Entry{"quil.data.bad.cast1", "The text \"{1}\" cannot be converted to the expected type."},
    // ()
    Entry{"quil.data.invalid.type", "The value is not of the expected type."},

    // Structural validation.
    // (qualified type name, field name, empty text)
    Entry{"quil.data.compound.field.extra", "{1} has no field named \"{2}\"."},
    // (union wire name, member name)
    Entry{"quil.data.union.invalid.case.state.isnotset.short",
          "Union {1}: the member {2} must be set for the selected case."},
    // (union wire name, member name)
    Entry{"quil.data.union.invalid.case.state.isset.short",
          "Union {1}: the member {2} must not be set for the selected case."},
    // (tag field name)
    Entry{"quil.data.union.missing.tag.field",
          "The union tag field \"{1}\" is missing or holds an unknown value."},
    // (qualified operation name)
    Entry{"quil.invoke.invalid.input", "Invalid input for operation {1}."},

    // Provider.
    // ()
    Entry{"quil.provider.method.signal.not.connected",
          "The operation is not connected to an implementation."},
    // (interface name, operation name)
    Entry{"quil.provider.operation.not.found", "Interface {1} has no operation named \"{2}\"."},

    // Definition checks of inputs, outputs and errors (ApiMethodHelper).
    // (path, expected kind, actual kind)
    Entry{"quil.data.definition.type.mismatch",
          "{1}: a value of kind {2} was expected, but the value is of kind {3}."},
    // (path, expected kind, text)
    Entry{"quil.data.definition.string.unparsable",
          "{1}: the text \"{3}\" cannot be read as a value of kind {2}."},
    // (path)
    Entry{"quil.data.definition.field.missing", "{1}: the required field is missing."},
    Entry{"quil.data.definition.value.missing", "{1}: there is no value."},
    Entry{"quil.data.definition.missing",
          "{1}: there is no definition to check the value against."},
    // (path, structure name)
    Entry{"quil.data.definition.ref.unresolved",
          "{1}: the definition of structure {2} is not available."},
    // (path, tag field, tag)
    Entry{"quil.data.definition.union.case.required", "{1}: must be set when {2} is \"{3}\"."},
    Entry{"quil.data.definition.union.case.forbidden", "{1}: must not be set when {2} is \"{3}\"."},
    // (limit)
    Entry{"quil.data.definition.check.truncated",
          "Failures after the first {1} were not reported."},
    // (method)
    Entry{"quil.provider.method.invalid.input", "Invalid input for method \"{1}\"."},
    Entry{"quil.provider.method.invalid.output",
          "The output of method \"{1}\" does not match its definition."},
    // (method, error name)
    Entry{"quil.provider.method.invalid.error",
          "The error {2} of method \"{1}\" does not match its definition."},
    Entry{"quil.provider.method.undeclared.error",
          "Method \"{1}\" answered with the undeclared error {2}."},
    // (method, "input" or "output")
    Entry{"quil.provider.method.definition.missing", "Method \"{1}\" has no {2} definition."},

    // JSON mapping (libquil-remote). Paths are empty for the root.
    // (path, reason)
    Entry{"quil.remote.json.syntax", "{1}: the text is not valid JSON ({2})."},
    // (path, limit)
    Entry{"quil.remote.json.too.deep", "{1}: JSON nested deeper than {2} levels."},
    // (size, limit)
    Entry{"quil.remote.json.too.large",
          "The JSON text of {1} bytes exceeds the limit of {2} bytes."},
    // (path, number text)
    Entry{"quil.remote.json.integer.range",
          "{1}: the number {2} is outside the range of a 64-bit signed integer."},
    Entry{"quil.remote.json.integer.fraction", "{1}: the number {2} is not an integer."},
    // (path)
    Entry{"quil.remote.json.utf8", "{1}: the text is not valid UTF-8."},
    Entry{"quil.remote.json.not.number", "{1}: NaN and infinity have no JSON form."},

    // Transport (libquil-remote).
    // (what happened)
    Entry{"quil.remote.unavailable", "The service cannot be reached: {1}."},
    // ()
    Entry{"quil.remote.unauthenticated", "The request carries no valid bearer token."},
    // (milliseconds)
    Entry{"quil.remote.deadline.passed", "The operation did not answer within {1} ms."},
    // ()
    Entry{"quil.remote.request.not.object", "A JSON-RPC request must be a JSON object."},
    Entry{"quil.remote.request.batch.empty", "A batch must hold at least one request."},
    // (member, what it must be)
    Entry{"quil.remote.request.member", "The member \"{1}\" of a JSON-RPC request must be {2}."},
    // (method or error name)
    Entry{"quil.remote.answer.unencodable", "The answer of {1} has no JSON form."},
    // (method, reason)
    Entry{"quil.remote.operation.threw", "The operation {1} failed to run: {2}."},
});

static_assert(StrictlyAscending(kCatalogue), "message identifiers must be unique");

// Doubles braces, so that the identifier reads literally once the template is rendered.
std::string EscapeBraces(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    escaped.push_back(c);
    if (c == '{' || c == '}') {
      escaped.push_back(c);
    }
  }
  return escaped;
}

}  // namespace

MessageCatalogue GetCoreMessageCatalogue() { return {kCatalogue.data(), kCatalogue.size()}; }

const MessageCatalogueEntry* FindCoreMessage(std::string_view id) {
  const auto found = std::lower_bound(
      kCatalogue.begin(), kCatalogue.end(), id,
      [](const Entry& entry, std::string_view wanted) { return entry.id < wanted; });
  return found != kCatalogue.end() && found->id == id ? &*found : nullptr;
}

}  // namespace Quil::Core

namespace Quil {

template <>
std::string Message<CoreTag>::DefaultMessageForId(std::string_view id) {
  if (const Core::MessageCatalogueEntry* entry = Core::FindCoreMessage(id)) {
    return std::string(entry->messageTemplate);
  }
  // No placeholder: the caller's arguments are unknown, and a template that asked for more than
  // it got would lose text.
  return "No default text is defined for the message \"" + Core::EscapeBraces(id) + "\".";
}

}  // namespace Quil
