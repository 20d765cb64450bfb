"""Unions: the annotations that name a union's tag field and each member's case list, and the
walker lines that bind a member to its cases."""

from typing import List

from . import enums, naming
from .model import Field, Struct
from .printer import Printer, quoted

TAGS = "UnionTags"


def tables(union: Struct) -> List[tuple]:
    """(table struct name, entries before "_UNKNOWN") of the tag and of each member."""
    found = [(TAGS, [union.tag])]
    for member in union.fields:
        if member.case is not None:
            found.append((naming.union_cases(member), member.case.values))
    return found


def annotations(p: Printer, service, union: Struct) -> None:
    p.comment(f'Cases of union "{naming.type_wire_name(service, union.wire)}": its tag field, '
              "then for each member the tag values that select it.")
    with p.block(f"struct {naming.annotations(union)}", "};"):
        for name, texts in tables(union):
            with p.block(f"struct {name}", "};"):
                enums.strings_table(p, len(texts) + 2)


def definitions(p: Printer, union: Struct) -> None:
    """The tables, defined in the service's source."""
    for name, texts in tables(union):
        enums.definition(p, f"{naming.annotations(union)}::{name}", texts)


def walker_line(p: Printer, union: Struct, member: Field) -> None:
    """`helper.template AddUnionField<Tags, 0, Rule<Cases>>(wire, native, &member, &tag);`: the
    member's native name is handed over for the validator's messages, which name it."""
    annotations_name = naming.annotations(union)
    tags = f"{annotations_name}::{TAGS}"
    rule = "UnionCaseAnyEnumValue" if member.case.required else "OptUnionCaseAnyEnumValue"
    cases = f"{annotations_name}::{naming.union_cases(member)}"
    args = [quoted(member.wire), quoted(member.native), f"&{union.native}::{member.native}",
            f"&{union.native}::{union.tag_field().native}"]
    head = "helper.template AddUnionField<"
    one_line = f"{head}{tags}, 0, ::Quil::Data::{rule}<{cases}>>({', '.join(args)});"
    if p.fits(one_line):
        p.line(one_line)
        return
    p.line(head)
    with p.continued():
        p.wrap(f"{tags}, 0, ::Quil::Data::{rule}<", ([cases], ">>("), (args, ");"))
