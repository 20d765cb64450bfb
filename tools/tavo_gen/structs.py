"""Structures and method input records: members, metadata facts and the field walker."""

from typing import List, Optional

from . import cpp_types, naming, unions, writer
from .model import Field, Metadata, Struct

RECORD = """\
$comment
$head
  $members
  $metadata
  struct AdapterHelper {
    $known_names
    template <typename Helper>
    static void AddFields(Helper& helper) {
      $walk
    }
  };
};"""

METADATA = """\
// Structure metadata, read by Quil::Metadata::StructInfo::Create: the metadata name, and the
// resource type of each identifier field.
struct Metadata {
  $name
  $resources
};
"""

# Depth of the walker's statements below the record's own indentation.
WALK_INDENT = 6
HELPER_INDENT = 4


def relative(lines: List[str], base: int) -> List[str]:
    return [line[base:] for line in lines]


def indented(text: str, base: int) -> str:
    return "\n".join(" " * base + line if line else line for line in text.split("\n"))


def record(base: int, comment: str, name: str, fields: List[Field],
           union: Optional[Struct] = None, metadata: Optional[Metadata] = None) -> str:
    """A structure deriving from BaseNative, indented by `base`."""
    members = [f"{cpp_types.cpp_type(f.type)} {f.native}{cpp_types.initialiser(f.type)};"
               for f in fields]
    walk_indent = base + WALK_INDENT
    walk = []
    for member in fields:
        if member.case is not None:
            walk += unions.walker_line(walk_indent, union, member)
        else:
            walk += writer.call(walk_indent, "helper.AddField",
                                [writer.string_literal(member.wire), f"&{name}::{member.native}"])
    # Every walker has its `knownNames`; a structure without fields has an empty table.
    if fields:
        known = writer.table(base + HELPER_INDENT,
                             "static constexpr ::Quil::Data::KnownName knownNames[]",
                             [writer.string_literal(wire) for wire in naming.known_names(fields)])
    else:
        known = [" " * (base + HELPER_INDENT) +
                 "static constexpr ::Quil::Data::KnownNames knownNames{};"]
    walk.append(" " * walk_indent + "helper.AddUnknownFields(knownNames);")
    head = relative(writer.derived(base, f"struct TAVO_VM_API {name}", "::Quil::Data::BaseNative"),
                    base)
    text = writer.fill(RECORD, comment=writer.comment(base, comment), head=head,
                       members=members + [""] if members else [],
                       metadata=metadata_block(base + 2, metadata) if metadata else "",
                       known_names=relative(known, base + HELPER_INDENT),
                       walk=relative(walk, walk_indent))
    return indented(text, base)


def metadata_block(base: int, metadata: Metadata) -> str:
    name = writer.assignment(base + 2, "static constexpr std::string_view name",
                             writer.string_literal(metadata.name))
    pairs = [f"{{{writer.string_literal(r.field)}, {writer.string_literal(r.resource_type)}}}"
             for r in metadata.resources]
    resources = writer.table(base + 2, "static constexpr std::string_view resourceTypes[][2]",
                             pairs)
    return writer.fill(METADATA, name=relative(name, base + 2),
                       resources=relative(resources, base + 2))


def structure(service, struct: Struct) -> str:
    comment = ("Union" if struct.is_union else "Structure") + \
        f' "{naming.type_wire_name(service, struct.wire)}".'
    return record(0, comment, struct.native, struct.fields,
                  union=struct if struct.is_union else None, metadata=struct.metadata)

