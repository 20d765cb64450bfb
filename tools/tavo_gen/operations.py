"""Method classes: per operation its input record, result types and the four static functions
that name the operation and build its definitions through the runtime."""

from typing import List

from . import cpp_types, naming, structs, writer
from .model import Operation

METHOD = """\
// Operation "$wire".
struct TAVO_VM_API $name {
$input

  using Interface = $interface;
  $result_type
  using ResultCbType = ::Quil::AsyncResult<ResultType>;

  // The wire name and the definitions of the operation, built anew by every call.
  static std::string methodName();
  static ::Quil::Data::DataDefinitionPtr inputDef();
  static ::Quil::Data::DataDefinitionPtr outputDef();
  static std::vector<::Quil::Data::DataDefinitionPtr> errorDefs();
};"""

DEFINITIONS = "::Quil::Provider::MethodDefinitions"


def declaration(service, operation: Operation) -> str:
    """The method class, in the header."""
    comment = f'The parameters of "{operation.wire}".'
    result_type = writer.assignment(2, "using ResultType", cpp_types.cpp_type(operation.result))
    return writer.fill(METHOD, wire=operation.wire, name=naming.method_class(operation),
                       input=structs.record(2, comment, "Input", operation.params),
                       interface=naming.INTERFACE,
                       result_type=structs.relative(result_type, 2))


def function(signature: str, statement: List[str]) -> List[str]:
    """A function of one statement, on one line when it fits (as the project's format puts
    short functions); `statement` is the statement's lines, indented by two."""
    if len(statement) == 1:
        one_line = f"{signature} {{ {statement[0].strip()} }}"
        if writer.fits(one_line):
            return [one_line]
    return [f"{signature} {{"] + statement + ["}"]


def definitions(operation: Operation) -> str:
    """The four static functions, in the source."""
    name = naming.method_class(operation)
    errors = [naming.standard_error(error.name) for error in operation.errors]
    error_call = f"  return {DEFINITIONS}::Errors<{', '.join(errors)}>();"
    if writer.fits(error_call) or not errors:
        error_lines = [error_call]
    else:
        error_lines = writer.bracketed(2, f"  return {DEFINITIONS}::Errors<", errors, ">();")
    lines = function(f"std::string {name}::methodName()",
                     [f"  return {writer.string_literal(operation.wire)};"])
    lines += function(f"::Quil::Data::DataDefinitionPtr {name}::inputDef()",
                      [f"  return {DEFINITIONS}::Of<Input>();"])
    lines += function(f"::Quil::Data::DataDefinitionPtr {name}::outputDef()",
                      [f"  return {DEFINITIONS}::Of<ResultType>();"])
    lines += function(f"std::vector<::Quil::Data::DataDefinitionPtr> {name}::errorDefs()",
                      error_lines)
    return "\n".join(lines)
