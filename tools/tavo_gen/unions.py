"""Unions: the annotations that name a union's tag field and each member's case list, and the
walker lines that bind a member to its cases."""

from typing import List

from . import enums, naming, writer
from .model import Field, Struct

TABLE = """\
struct $name {
  struct Strings {
    TAVO_VM_API static const char* const values[$size];
  };
};"""

ANNOTATIONS = """\
$comment
struct $name {
  $tables
};"""

TAGS = "UnionTags"


def tables(union: Struct) -> List[tuple]:
    """(table struct name, entries before "_UNKNOWN") of the tag and of each member."""
    found = [(TAGS, [union.tag])]
    for member in union.fields:
        if member.case is not None:
            found.append((naming.union_cases(member), member.case.values))
    return found


def annotations(service, union: Struct) -> str:
    declared = [writer.fill(TABLE, name=name, size=str(len(texts) + 2))
                for name, texts in tables(union)]
    comment = (f'Cases of union "{naming.type_wire_name(service, union.wire)}": its tag field, '
               "then for each member the tag values that select it.")
    return writer.fill(ANNOTATIONS, comment=writer.comment(0, comment),
                       name=naming.annotations(union), tables="\n".join(declared))


def definitions(union: Struct) -> List[str]:
    """The tables, defined in the service's source."""
    definitions = []
    for name, texts in tables(union):
        entries = enums.table_texts(texts)
        head = (f"const char* const {naming.annotations(union)}::{name}::Strings::"
                f"values[{len(entries)}]")
        definitions.append("\n".join(writer.table(0, head, entries)))
    return definitions


def walker_line(indent: int, union: Struct, member: Field) -> List[str]:
    """`helper.template AddUnionField<Tags, 0, Rule<Cases>>(wire, native, &member, &tag);`: the
    member's native name is handed over for the validator's messages, which name it."""
    annotations_name = naming.annotations(union)
    rule = "UnionCaseAnyEnumValue" if member.case.required else "OptUnionCaseAnyEnumValue"
    template_args = [f"{annotations_name}::{TAGS}", "0",
                     f"::Quil::Data::{rule}<{annotations_name}::{naming.union_cases(member)}>"]
    args = [writer.string_literal(member.wire), writer.string_literal(member.native),
            f"&{union.native}::{member.native}",
            f"&{union.native}::{union.tag_field().native}"]
    head = f"helper.template AddUnionField<{', '.join(template_args)}>"
    lines = writer.call(indent, head, args)
    if all(writer.fits(line) for line in lines):
        return lines
    # The template arguments on lines of their own, then the call's arguments.
    inner = indent + writer.CONTINUATION
    template_lines = []
    for line in writer.pack(inner, template_args, ">("):
        template_lines += writer.after_angle(line, inner + writer.CONTINUATION)
    return ([" " * indent + "helper.template AddUnionField<"] + template_lines +
            writer.pack(inner, args, ");"))
