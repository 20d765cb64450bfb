"""The facts a service's definitions leave out, for tools: its enumerations with their tables of
wire texts, and the structure fields, operation parameters and results that hold one (directly or
inside optional, list and set). Read at run time by `AsyncServiceBinder::DescribeFacts`."""

from typing import Optional

from . import naming
from .model import Enum, Service, TypeRef
from .printer import Printer, quoted

FACTS_TYPE = "::Quil::Provider::ServiceFacts"


def held_enumeration(ref: Optional[TypeRef]) -> Optional[Enum]:
    """The enumeration at the bottom of a type's wrappers, if that is what it holds."""
    while ref is not None:
        if isinstance(ref.target, Enum):
            return ref.target
        ref = ref.arg
    return None


def definition(p: Printer, service: Service) -> None:
    """DescribeFacts, in the source."""
    def member(table: str, owner: str, name: str, enum: Optional[Enum]):
        if enum is not None:
            items = [quoted(owner), quoted(name), quoted(naming.type_wire_name(service, enum.wire))]
            p.wrap(f"facts.{table}.push_back({{", (items, "});"))

    with p.block(f"{FACTS_TYPE} {naming.BINDER}::DescribeFacts()"):
        p.line(f"{FACTS_TYPE} facts;")
        p.line(f"facts.interfaceName = ::Quil::TypeInfo<{naming.INTERFACE}>::name();")
        for enum in service.enums:
            p.wrap("facts.enumerations.emplace_back(",
                   ([quoted(naming.type_wire_name(service, enum.wire)),
                     f"{enum.native}::Strings::values"], ");"))
        for struct in service.structs:
            owner = naming.type_wire_name(service, struct.wire)
            for field in struct.fields:
                member("structureFields", owner, field.wire, held_enumeration(field.type))
        for operation in service.operations:
            for param in operation.params:
                member("operationMembers", operation.wire, param.wire,
                       held_enumeration(param.type))
            member("operationMembers", operation.wire, "", held_enumeration(operation.result))
        p.line("return facts;")
