"""Enumerations: the class with its codes, and its table of wire texts."""

from . import naming
from .model import Enum
from .printer import Printer, quoted


def table_texts(texts) -> list:
    """A null-ended table of wire texts: `texts`, "_UNKNOWN", then null."""
    return [quoted(text) for text in list(texts) + ["_UNKNOWN"]] + ["nullptr"]


def declaration(p: Printer, service, enum: Enum) -> None:
    codes = [value.text for value in enum.values] + ["_UNKNOWN"]
    p.line(f'// Enumeration "{naming.type_wire_name(service, enum.wire)}".')
    p.derived(f"class TAVO_VM_API {enum.native} final",
              f"public ::Quil::Data::Enumeration<{enum.native}>")
    with p.block(end="};"):
        p.access("public:")
        one_line = f"enum Enum : std::int32_t {{ {', '.join(codes)} }};"
        if p.fits(one_line):
            p.line(one_line)
        else:
            with p.block("enum Enum : std::int32_t", "};"):
                for code in codes:
                    p.line(code + ",")
        strings_table(p, len(codes) + 1)
        p.line(f"{enum.native}(Enum value = _UNKNOWN) : Enumeration(value) {{}}")


def strings_table(p: Printer, size: int) -> None:
    """The declaration of a table of wire texts, as the adapters look it up."""
    with p.block("struct Strings", "};"):
        p.line(f"TAVO_VM_API static const char* const values[{size}];")


def definition(p: Printer, head: str, texts) -> None:
    """A table of wire texts, defined in the service's source; `head` names it."""
    entries = table_texts(texts)
    p.wrap(f"const char* const {head}::Strings::values[{len(entries)}] = {{", (entries, "};"))
