"""Method classes: per operation its input record, result types and the four static functions
that name the operation and build its definitions through the runtime."""

from . import cpp_types, naming, structs
from .model import Operation
from .printer import Printer, quoted

MEMBERS = """\
using ResultCbType = ::Quil::AsyncResult<ResultType>;

// The wire name and the definitions of the operation, built anew by every call.
static std::string methodName();
static ::Quil::Data::DataDefinitionPtr inputDef();
static ::Quil::Data::DataDefinitionPtr outputDef();
static std::vector<::Quil::Data::DataDefinitionPtr> errorDefs();"""

DEFINITIONS = "::Quil::Provider::MethodDefinitions"


def declaration(p: Printer, operation: Operation) -> None:
    """The method class, in the header."""
    p.line(f'// Operation "{operation.wire}".')
    with p.block(f"struct TAVO_VM_API {naming.method_class(operation)}", "};"):
        structs.record(p, f'The parameters of "{operation.wire}".', "Input", operation.params)
        p.gap()
        p.line(f"using Interface = {naming.INTERFACE};")
        p.wrap("using ResultType = ", ([cpp_types.cpp_type(operation.result)], ";"))
        p.lines(MEMBERS)


def definitions(p: Printer, operation: Operation) -> None:
    """The four static functions, in the source."""
    name = naming.method_class(operation)
    p.brief(f"std::string {name}::methodName()", f"return {quoted(operation.wire)};")
    p.brief(f"::Quil::Data::DataDefinitionPtr {name}::inputDef()",
            f"return {DEFINITIONS}::Of<Input>();")
    p.brief(f"::Quil::Data::DataDefinitionPtr {name}::outputDef()",
            f"return {DEFINITIONS}::Of<ResultType>();")
    with p.block(f"std::vector<::Quil::Data::DataDefinitionPtr> {name}::errorDefs()"):
        p.wrap(f"return {DEFINITIONS}::Errors<",
               ([naming.standard_error(error.name) for error in operation.errors], ">();"))
