"""Structures and method input records: members, metadata facts and the field walker."""

from typing import List, Optional

from . import cpp_types, naming, unions
from .model import Field, Metadata, Struct
from .printer import Printer, quoted


def record(p: Printer, comment: str, name: str, fields: List[Field],
           union: Optional[Struct] = None, metadata: Optional[Metadata] = None) -> None:
    """A structure deriving from BaseNative."""
    p.comment(comment)
    p.derived(f"struct TAVO_VM_API {name}", "::Quil::Data::BaseNative")
    with p.block(end="};"):
        for member in fields:
            p.line(f"{cpp_types.cpp_type(member.type)} {member.native}"
                   f"{cpp_types.initialiser(member.type)};")
        if metadata is not None:
            p.gap()
            metadata_struct(p, metadata)
        p.gap()
        with p.block("struct AdapterHelper", "};"):
            # Every walker has its `knownNames`; a structure without fields has an empty table.
            if fields:
                p.wrap("static constexpr ::Quil::Data::KnownName knownNames[] = {",
                       ([quoted(wire) for wire in naming.known_names(fields)], "};"))
            else:
                p.line("static constexpr ::Quil::Data::KnownNames knownNames{};")
            p.line("template <typename Helper>")
            with p.block("static void AddFields(Helper& helper)"):
                for member in fields:
                    if member.case is not None:
                        unions.walker_line(p, union, member)
                    else:
                        p.wrap("helper.AddField(",
                               ([quoted(member.wire), f"&{name}::{member.native}"], ");"))
                p.line("helper.AddUnknownFields(knownNames);")


def metadata_struct(p: Printer, metadata: Metadata) -> None:
    p.comment("Structure metadata, read by Quil::Metadata::StructInfo::Create: the metadata name, "
              "and the resource type of each identifier field.")
    with p.block("struct Metadata", "};"):
        p.wrap("static constexpr std::string_view name = ", ([quoted(metadata.name)], ";"))
        pairs = [f"{{{quoted(r.field)}, {quoted(r.resource_type)}}}" for r in metadata.resources]
        p.wrap("static constexpr std::string_view resourceTypes[][2] = {", (pairs, "};"))


def structure(p: Printer, service, struct: Struct) -> None:
    comment = ("Union" if struct.is_union else "Structure") + \
        f' "{naming.type_wire_name(service, struct.wire)}".'
    record(p, comment, struct.native, struct.fields,
           union=struct if struct.is_union else None, metadata=struct.metadata)
