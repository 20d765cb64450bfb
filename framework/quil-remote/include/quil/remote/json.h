// The JSON form of dynamic values: plain JSON that a person writes by hand, decoded back exactly
// with the help of the data definition it is meant to fit.
//
// Encoding needs no definition: a structure is an object keyed by field names, a list or set an
// array, a string a string, an integer a number, a boolean a boolean, an unset optional and void
// `null`, an error value an object with its "name" followed by its fields. Decoding is guided by
// a definition (null: by JSON type alone), so that what JSON cannot tell apart (list or set, the
// name of a structure, optional or not, which error) comes back as it was. Fields the definition
// does not declare are kept, decoded by their JSON type. The full mapping is in
// docs/json-mapping.md.
//
// Neither direction recurses on the call stack: a value nested a million levels deep encodes
// and, with a large enough `maxDepth`, decodes on a thread with a small stack.
//
// Failures append messages and return false; a failed decode leaves `out` null. Paths in
// messages are written from the root as fields and indices: "update_spec.count", "list[2].id";
// the document itself is "(root)".
//   "quil.remote.json.syntax"        (path, parser's reason)  not JSON, or trailing text
//   "quil.remote.json.too.deep"      (path, limit)            nesting beyond DecodeLimits::maxDepth
//   "quil.remote.json.too.large"     (size, limit)            text beyond DecodeLimits::maxBytes
//   "quil.remote.json.integer.range" (path, number text)      outside the 64-bit signed range
//   "quil.remote.json.integer.fraction" (path, number text)  a fraction where an integer belongs
//   "quil.remote.json.utf8"          (path)                   a text that is not UTF-8
//   "quil.remote.json.not.number"    (path)                   NaN or infinity (encoding)
//   "quil.data.definition.string.unparsable" (path, "blob", text)  a blob that is not base64
//
//   std::string text;
//   Quil::Remote::Json::Encode(*value, text, messages);
//   Quil::Data::DataValuePtr back;
//   Quil::Remote::Json::Decode(text, CpusSvc::GetMethod::outputDef(), back, messages);
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/monotonic_resource.hpp>
#include <boost/json/value.hpp>

#include <quil/base_message.h>
#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/export.h>

namespace Quil::Remote::Json {

struct DecodeLimits {
  // Arrays and objects open at once. The catalogue nests a few levels; this leaves room for
  // unknown fields while refusing a hostile document long before it costs much.
  std::size_t maxDepth = 128;
  // Bytes of JSON text.
  std::size_t maxBytes = 16 * 1024 * 1024;
};

// Appends the JSON text of `value` to `out`. Text that is not UTF-8, and doubles that are NaN or
// infinite, are refused; `out` then holds a partial text the caller discards.
QUIL_REMOTE_API bool Encode(const Data::DataValue& value, std::string& out, MessageList& messages);

// Parses a whole JSON text into a tree whose nodes all live in `resource`, which must outlive
// it. Nothing recurses, whatever the depth up to `limits.maxDepth`. Doubles are read exactly (the
// shortest text of a double reads back as that double), which `boost::json::parse` of Boost 1.81
// does not promise. Empty after appending one message: "too.large", "too.deep", "utf8" (text
// that is not UTF-8) or "syntax", with the path being read. Boost.JSON takes apart a tree in a
// monotonic resource without visiting it; a tree in any other resource is taken apart
// recursively, which a deep document turns into a crash.
QUIL_REMOTE_API std::optional<boost::json::value> Parse(std::string_view text,
                                                        boost::json::monotonic_resource& resource,
                                                        MessageList& messages,
                                                        const DecodeLimits& limits = {});

// Decodes a whole JSON text.
QUIL_REMOTE_API bool Decode(std::string_view text, const Data::DataDefinitionPtr& definition,
                            Data::DataValuePtr& out, MessageList& messages,
                            const DecodeLimits& limits = {});

// Decodes an already parsed JSON tree (for example the "params" of an envelope, parsed with
// Parse). Depth is counted from `json`; `path` prefixes every path in messages.
QUIL_REMOTE_API bool Decode(const boost::json::value& json,
                            const Data::DataDefinitionPtr& definition, Data::DataValuePtr& out,
                            MessageList& messages, const DecodeLimits& limits = {},
                            std::string_view path = {});

// Decodes an error object: the definition is the one among `declared` whose name matches the
// object's "name", else the standard error of that name, else the shape every error shares (a
// list of messages). Anything but an object with a string "name" is refused:
// "quil.data.definition.type.mismatch" (path, "error" or "string", kind found) or
// "quil.data.definition.field.missing" ("name").
QUIL_REMOTE_API bool DecodeError(const boost::json::value& json,
                                 const std::vector<Data::DataDefinitionPtr>& declared,
                                 Data::ErrorValuePtr& out, MessageList& messages,
                                 const DecodeLimits& limits = {});

// The JSON description of a definition, for introspection: {"type": "structure", "name": ...,
// "fields": {...}}, {"type": "list", "element": ...}, {"type": "integer"}, ... (see
// docs/json-mapping.md). A reference to an enclosing structure is {"type": "structure_ref",
// "name": ...}.
QUIL_REMOTE_API boost::json::value DescribeDefinition(const Data::DataDefinition& definition);
// The same, its nodes in `storage` (a monotonic resource for a definition nested deep enough
// that taking the description apart recursively would matter).
QUIL_REMOTE_API boost::json::value DescribeDefinition(const Data::DataDefinition& definition,
                                                      boost::json::storage_ptr storage);

}  // namespace Quil::Remote::Json
