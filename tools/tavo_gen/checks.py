"""Checks the meaning of a parsed description and resolves its type names.

The first fault found stops the check with a `DescriptionError` naming its line. Afterwards
every named type of the model points to its declaration (`TypeRef.target`).
"""

from . import naming
from .model import STANDARD_ERRORS, DescriptionError, Enum, Field, Operation, Service, Struct

# Members that every generated structure has already.
RESERVED_MEMBERS = ("unknownFields", "AdapterHelper", "Metadata")
# Names that the generated code of an operation gives besides its parameters: the interface's
# last two parameters, the stub's input record and its API stub.
RESERVED_PARAMETERS = ("activation", "result", "input", "apiStub_")
# Members of every generated enumeration class.
RESERVED_VALUES = ("Enum", "Strings", "Enumeration")
# Classes that every service namespace holds besides its types.
SERVICE_CLASSES = {
    naming.INTERFACE: "the service interface",
    naming.BINDER: "the service binder",
    naming.BINDER_HELPER: "the service binder helper",
    naming.STUB: "the service stub",
}
# Names a type of the service must not have: inside a method class, structure or input record
# they name its own members, and the generated code looks up `std` and `boost` unqualified.
RESERVED_TYPE_NAMES = {
    "Input": "the input records of the method classes",
    "Interface": "a member of every method class",
    "ResultType": "a member of every method class",
    "ResultCbType": "a member of every method class",
    "AdapterHelper": "a member of every structure",
    "Metadata": "a member of every structure",
    "std": "a namespace of the generated code",
    "boost": "a namespace of the generated code",
}
OPERATION = "an operation"
# Members of the stub besides the operations.
RESERVED_OPERATIONS = ("apiStub_",)
# What an operation may return; the runtime converts these results.
RESULT_KINDS = ("void", "string", "ptr", "list")

WRAPPERS_OF_STRUCTURES = ("ptr", "optptr", "list")


class Checker:
    def __init__(self, service: Service):
        self.service = service
        self.types = {}  # native name -> Enum or Struct
        self.names = {}  # names of the service namespace -> what holds them

    def fail(self, line: int, fault: str):
        raise DescriptionError(self.service.path, line, fault)

    def check(self):
        self.declarations()
        elements = sorted(self.service.enums + self.service.structs + self.service.operations,
                          key=lambda element: element.line)
        for element in elements:
            if isinstance(element, Enum):
                self.enum(element)
            elif isinstance(element, Struct):
                self.struct(element)
            else:
                self.operation(element)

    # Names of the service namespace.

    def declarations(self):
        names = self.names
        names.update(SERVICE_CLASSES)
        names.update(RESERVED_TYPE_NAMES)
        type_wires = set()
        operation_wires = set()

        def claim(name: str, what: str, line: int, duplicate: str):
            if name in names:
                self.fail(line, duplicate if names[name] == what else
                          f"name '{name}' is already used by {names[name]}")
            names[name] = what

        declared = sorted(self.service.enums + self.service.structs + self.service.operations,
                          key=lambda element: element.line)
        for element in declared:
            if isinstance(element, Operation):
                if element.wire in operation_wires:
                    self.fail(element.line, f"duplicate operation '{element.wire}'")
                operation_wires.add(element.wire)
                if element.native in RESERVED_OPERATIONS:
                    self.fail(element.line, f"operation name '{element.native}' is reserved")
                claim(element.native, OPERATION, element.line,
                      f"duplicate operation '{element.native}'")
                for derived in (naming.method_class(element), naming.method_builder(element)):
                    claim(derived, f"operation '{element.native}'", element.line,
                          f"duplicate operation '{element.native}'")
                continue
            kind, holder = ("enumeration", "an enumeration") if isinstance(element, Enum) \
                else ("structure", "a structure")
            if element.wire in type_wires:
                self.fail(element.line, f"duplicate {kind} wire name '{element.wire}'")
            type_wires.add(element.wire)
            claim(element.native, holder, element.line, f"duplicate {kind} '{element.native}'")
            self.types[element.native] = element
            if isinstance(element, Struct) and element.is_union:
                claim(naming.annotations(element), f"union '{element.native}'", element.line,
                      f"duplicate structure '{element.native}'")

    # Enumerations.

    def enum(self, enum: Enum):
        seen = set()
        for value in enum.values:
            if value.text in seen:
                self.fail(value.line, f"duplicate value '{value.text}'")
            if value.text in RESERVED_VALUES + (enum.native,):
                self.fail(value.line, f"value '{value.text}' collides with a name of the "
                          "enumeration class")
            seen.add(value.text)

    # Structures and unions.

    def struct(self, struct: Struct):
        self.fields(struct.fields, "field", "member name", struct.native)
        for member in struct.fields:
            self.type(member, "case" if member.case else "field")
        if struct.is_union:
            self.union(struct)
        if struct.metadata is not None:
            self.metadata(struct)

    def fields(self, fields, kind: str, native_kind: str, owner: str, reserved=()):
        """Members of a structure or parameters of an operation: unique, and not named like a
        type, since inside the record the member would hide it."""
        wires, natives = set(), set()
        for member in fields:
            if member.wire in wires:
                self.fail(member.line, f"duplicate {kind} '{member.wire}'")
            if member.native in natives:
                self.fail(member.line, f"duplicate {native_kind} '{member.native}'")
            if member.native in RESERVED_MEMBERS + reserved + (owner,):
                self.fail(member.line, f"{native_kind} '{member.native}' is reserved")
            holder = self.names.get(member.native)
            if holder is not None and holder != OPERATION and \
                    member.native not in RESERVED_TYPE_NAMES:
                self.fail(member.line, f"{native_kind} '{member.native}' is already used by "
                          f"{holder}")
            wires.add(member.wire)
            natives.add(member.native)

    def union(self, union: Struct):
        tag = union.tag_field()
        if tag is None:
            self.fail(union.line, f"union tag '{union.tag}' is not a field of '{union.native}'")
        if tag.case is not None or tag.type.kind != "named" or \
                not isinstance(tag.type.target, Enum):
            self.fail(tag.line, f"union tag '{tag.wire}' must be a 'field' of an enumeration")
        tag_values = {value.text for value in tag.type.target.values}
        members = [member for member in union.fields if member is not tag]
        if not members:
            self.fail(union.line, f"union '{union.native}' has no 'case' member")
        for member in members:
            if member.case is None:
                self.fail(member.line, f"union member '{member.wire}' is outside any case list: "
                          "declare it with 'case'")
            if member.type.kind != "optional":
                self.fail(member.line, f"union member '{member.wire}' must be optional<...>")
            seen = set()
            for value in member.case.values:
                if value in seen:
                    self.fail(member.line, f"duplicate case value '{value}'")
                if value not in tag_values:
                    self.fail(member.line, f"case value '{value}' is not a value of enumeration "
                              f"'{tag.type.target.native}'")
                seen.add(value)

    def metadata(self, struct: Struct):
        field_wires = {member.wire for member in struct.fields}
        seen = set()
        for resource in struct.metadata.resources:
            if resource.field not in field_wires:
                self.fail(resource.line, f"resource field '{resource.field}' is not a field of "
                          f"'{struct.native}'")
            if resource.field in seen:
                self.fail(resource.line, f"duplicate resource field '{resource.field}'")
            seen.add(resource.field)

    # Operations.

    def operation(self, operation: Operation):
        self.fields(operation.params, "parameter", "parameter name", "Input",
                    RESERVED_PARAMETERS)
        for param in operation.params:
            self.type(param, "param")
        self.type(Field("", "", operation.result, operation.result_line), "result")
        seen = set()
        for error in operation.errors:
            if error.name not in STANDARD_ERRORS:
                self.fail(error.line, f"unknown error '{error.name}': the standard errors are "
                          + ", ".join(STANDARD_ERRORS))
            if error.name in seen:
                self.fail(error.line, f"duplicate error '{error.name}'")
            seen.add(error.name)

    # Types.

    def type(self, holder: Field, context: str):
        """Resolves the names of a field's, parameter's or result's type and checks that each
        wrapper holds what it can hold in that context."""
        line = holder.line
        chain = []
        current = holder.type
        while current is not None:
            chain.append(current)
            current = current.arg
        for ref in chain:
            if ref.kind == "named":
                ref.target = self.types.get(ref.name)
                if ref.target is None:
                    self.fail(line, f"unknown type '{ref.name}'")
        for outer, ref in zip([None] + chain, chain):
            if isinstance(ref.target, Struct) and \
                    (outer is None or outer.kind not in WRAPPERS_OF_STRUCTURES):
                self.fail(line, f"structure '{ref.name}' must be held by pointer: use "
                          f"ptr<{ref.name}> or list<{ref.name}>")
        for ref in chain:
            if ref.kind == "void" and context != "result":
                self.fail(line, "void is only allowed as an operation result")
            if ref.kind == "optptr" and context != "param":
                self.fail(line, "optptr<...> is only allowed for operation parameters")
            if ref.kind in WRAPPERS_OF_STRUCTURES and not isinstance(ref.arg.target, Struct):
                self.fail(line, f"{ref.kind}<...> needs a structure, not '{ref.arg}'")
            if ref.kind == "set" and not (ref.arg.kind == "string" or
                                          isinstance(ref.arg.target, Enum)):
                self.fail(line, f"set<...> needs string or an enumeration, not '{ref.arg}'")
            if ref.kind == "optional" and ref.arg.kind not in ("int64", "bool", "string", "set") \
                    and not isinstance(ref.arg.target, Enum):
                self.fail(line, "optional<...> needs int64, bool, string, an enumeration or a "
                          f"set, not '{ref.arg}'")
        top = holder.type
        if context == "result" and top.kind not in RESULT_KINDS and \
                not isinstance(top.target, Enum):
            self.fail(line, "a result must be void, string, an enumeration, ptr<...> or "
                      f"list<...>, not '{top}'")


def check(service: Service) -> Service:
    """Checks `service` in place and returns it."""
    Checker(service).check()
    return service
