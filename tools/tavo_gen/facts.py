"""The facts a service's definitions leave out, for tools: its enumerations with their tables of
wire texts, and the structure fields, operation parameters and results that hold one (directly or
inside optional, list and set). Read at run time by `AsyncServiceBinder::DescribeFacts`."""

from typing import List, Optional

from . import naming, writer
from .model import Enum, Service, TypeRef

FACTS_TYPE = "::Quil::Provider::ServiceFacts"

DEFINITION = """\
$facts_type $binder::DescribeFacts() {
  $facts_type facts;
  facts.interfaceName = ::Quil::TypeInfo<$interface>::name();
  $statements
  return facts;
}"""


def held_enumeration(ref: Optional[TypeRef]) -> Optional[Enum]:
    """The enumeration at the bottom of a type's wrappers, if that is what it holds."""
    while ref is not None:
        if isinstance(ref.target, Enum):
            return ref.target
        ref = ref.arg
    return None


def member_statement(service: Service, table: str, owner: str, member: str,
                     enum: Enum) -> List[str]:
    items = [writer.string_literal(text)
             for text in (owner, member, naming.type_wire_name(service, enum.wire))]
    return writer.bracketed(2, f"  facts.{table}.push_back({{", items, "});")


def definition(service: Service) -> str:
    """DescribeFacts, in the source."""
    statements = []
    for enum in service.enums:
        statements += writer.call(2, "facts.enumerations.emplace_back",
                                  [writer.string_literal(naming.type_wire_name(service, enum.wire)),
                                   f"{enum.native}::Strings::values"])
    for struct in service.structs:
        owner = naming.type_wire_name(service, struct.wire)
        for member in struct.fields:
            enum = held_enumeration(member.type)
            if enum is not None:
                statements += member_statement(service, "structureFields", owner, member.wire,
                                               enum)
    for operation in service.operations:
        for param in operation.params:
            enum = held_enumeration(param.type)
            if enum is not None:
                statements += member_statement(service, "operationMembers", operation.wire,
                                               param.wire, enum)
        enum = held_enumeration(operation.result)
        if enum is not None:
            statements += member_statement(service, "operationMembers", operation.wire, "", enum)
    return writer.fill(DEFINITION, facts_type=FACTS_TYPE, binder=naming.BINDER,
                       interface=naming.INTERFACE, statements=[line[2:] for line in statements])
