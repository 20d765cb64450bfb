// The catalogue as JSON Schema (draft 2020-12) and as an OpenAPI 3.1 document of the JSON-RPC
// endpoint, so that a client in any language can be generated or checked against it.
//
// JsonSchema is one schema document whose `$defs` hold one schema per structure and per error
// definition, and for every operation "<interface>.<operation>.input", ".output" and ".errors"
// (the declared errors, in declared order, under `anyOf`); validate a value against
// "#/$defs/<name>". Schemas say what the server's checks and the JSON mapping accept: required
// fields, types, enumeration values and, for the union, which member each tag value requires,
// allows or excludes. Inputs refuse fields they do not declare; outputs and errors allow them,
// so that a newer server's answers still validate.
//
// OpenApi describes POST /api: a request body of one JSON-RPC request per operation (told apart
// by "method"), and the responses, with the same schemas under `components/schemas`.
//
// `operations` limits either document to those operations and what they reach; empty: all.
#pragma once

#include <vector>

#include <boost/json/value.hpp>

#include "catalogue_model.h"

namespace Tavo::Tool {

boost::json::value JsonSchema(const Catalogue& catalogue,
                              const std::vector<const Operation*>& operations);
boost::json::value OpenApi(const Catalogue& catalogue,
                           const std::vector<const Operation*>& operations);

}  // namespace Tavo::Tool
