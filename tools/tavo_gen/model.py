"""The model of one service description, as read by the parser and completed by the checks.

Every element keeps the line it was declared on, so that a later fault can name it. Declarations
(enumerations, structures, operations) compare by identity: types may refer to each other in
cycles.
"""

from dataclasses import dataclass, field
from typing import List, Optional


class DescriptionError(Exception):
    """A fault of a description; printed as `<file>:<line>: error: <fault>`."""

    def __init__(self, path: str, line: int, fault: str):
        super().__init__(f"{path}:{line}: error: {fault}")
        self.path = path
        self.line = line
        self.fault = fault


# The standard errors an operation may declare, by native name: the only list of them the
# generator holds. Generated code names the C++ types (quil/std/errors.h, QUIL_STD_ERRORS), which
# carry their wire names from quil/error_names.h; keep this table in step with those two.
STANDARD_ERRORS = (
    "Error",
    "NotFound",
    "InvalidArgument",
    "NotAllowedInCurrentState",
    "ResourceBusy",
    "ResourceInaccessible",
    "ServiceUnavailable",
    "Unauthenticated",
    "Unauthorized",
    "AlreadyExists",
    "UnableToAllocateResource",
)


@dataclass
class TypeRef:
    """A type as written: `kind` is a builtin ("int64", "bool", "string", "void"), a wrapper
    ("optional", "ptr", "optptr", "list", "set", holding `arg`) or "named" (an enumeration or
    structure called `name`; the checks set `target` to the declaration it names)."""

    kind: str
    arg: Optional["TypeRef"] = None
    name: str = ""
    target: object = None

    def __str__(self) -> str:
        if self.kind == "named":
            return self.name
        if self.arg is not None:
            return f"{self.kind}<{self.arg}>"
        return self.kind


@dataclass
class EnumValue:
    text: str
    line: int


@dataclass(eq=False)
class Enum:
    wire: str
    native: str
    line: int
    values: List[EnumValue] = field(default_factory=list)


@dataclass
class UnionCase:
    """The tag values for which a union member belongs to the active case; `required` tells
    whether it must then be set (otherwise it may be)."""

    required: bool
    values: List[str]


@dataclass
class Field:
    wire: str
    native: str
    type: TypeRef
    line: int
    case: Optional[UnionCase] = None


@dataclass
class Resource:
    field: str
    resource_type: str
    line: int


@dataclass
class Metadata:
    name: str
    line: int
    resources: List[Resource] = field(default_factory=list)


@dataclass(eq=False)
class Struct:
    wire: str
    native: str
    line: int
    fields: List[Field] = field(default_factory=list)
    # Unions only: the wire name of the tag field.
    is_union: bool = False
    tag: Optional[str] = None
    metadata: Optional[Metadata] = None

    def tag_field(self) -> Optional[Field]:
        return next((f for f in self.fields if f.wire == self.tag), None)


@dataclass
class ErrorRef:
    name: str
    line: int


@dataclass(eq=False)
class Operation:
    wire: str
    native: str
    line: int
    params: List[Field] = field(default_factory=list)
    result: Optional[TypeRef] = None
    result_line: int = 0
    errors: List[ErrorRef] = field(default_factory=list)


@dataclass
class Service:
    path: str
    package: str = ""
    wire: str = ""
    native: str = ""
    enums: List[Enum] = field(default_factory=list)
    structs: List[Struct] = field(default_factory=list)
    operations: List[Operation] = field(default_factory=list)
