// The provider's checks of one method's input, output and errors against its definitions. The
// provider method object calls them for every invocation and every answer; what they return is
// what the framework's callback receives.
//
// - `ValidateInput` checks leniently (a string value stands in wherever the value-to-native
//   adapter accepts one; fields the definition does not declare are left to the bindings'
//   validator). A misfit is the caller's fault: ErrorNames::kInvalidArgument.
// - `ValidateOutput` and `ValidateError` check exactly: the bindings build outputs and errors
//   themselves, so a misfit is the server's fault: ErrorNames::kInternalServerError.
// - Errors: a declared error (an error definition of the same name) that fits passes unchanged,
//   and so do the two errors the bindings raise themselves, invalid_argument and
//   internal_server_error, declared or not. An undeclared error, or a declared one whose fields do
//   not fit its definition, is replaced by internal_server_error.
//
// Each error built here carries the check's messages (see quil/data/definition_check.h) and ends
// with one message naming the method. A missing (null) definition is a server fault: it fails
// every value with internal_server_error. Every result is final.
//
//   Core::MethodResultPtr rejected;
//   if (!ApiMethodHelper::ValidateInput("update", inputDef, input, rejected)) deliver(rejected);
#pragma once

#include <string>
#include <vector>

#include <quil/core/method_result.h>
#include <quil/data/definition.h>
#include <quil/data/value.h>
#include <quil/export.h>

namespace Quil::Provider {

class QUIL_CORE_API ApiMethodHelper {
 public:
  // True when `input` fits `inputDef`; `out` is then reset. Otherwise false, with `out` the error
  // result to deliver.
  static bool ValidateInput(const std::string& methodName, const Data::DataDefinitionPtr& inputDef,
                            const Data::DataValuePtr& input, Core::MethodResultPtr& out);

  // A result holding `output` unchanged when it fits `outputDef`, else an error result.
  static Core::MethodResultPtr ValidateOutput(const std::string& methodName,
                                              const Data::DataDefinitionPtr& outputDef,
                                              const Data::DataValuePtr& output);

  // A result holding `error` unchanged when it is declared by `errorDefs` and fits, or is one of
  // the bindings' own two errors; else a result holding internal_server_error.
  static Core::MethodResultPtr ValidateError(const std::string& methodName,
                                             const std::vector<Data::DataDefinitionPtr>& errorDefs,
                                             const Data::ErrorValuePtr& error);
};

}  // namespace Quil::Provider
