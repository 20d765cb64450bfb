"""Enumerations: the class with its codes, and its table of wire texts."""

from . import naming, writer
from .model import Enum

CLASS = """\
// Enumeration "$wire".
$head
 public:
  $codes
  struct Strings {
    TAVO_VM_API static const char* const values[$size];
  };
  $name(Enum value = _UNKNOWN) : Enumeration(value) {}
};"""


def table_texts(texts) -> list:
    """A null-ended table of wire texts: `texts`, "_UNKNOWN", then null."""
    return [writer.string_literal(text) for text in list(texts) + ["_UNKNOWN"]] + ["nullptr"]


def declaration(service, enum: Enum) -> str:
    codes = [value.text for value in enum.values] + ["_UNKNOWN"]
    one_line = f"  enum Enum : std::int32_t {{ {', '.join(codes)} }};"
    if writer.fits(one_line):
        code_lines = [one_line.strip()]
    else:
        code_lines = ["enum Enum : std::int32_t {"] + [f"  {code}," for code in codes] + ["};"]
    head = writer.derived(0, f"class TAVO_VM_API {enum.native} final",
                          f"public ::Quil::Data::Enumeration<{enum.native}>")
    return writer.fill(CLASS, wire=naming.type_wire_name(service, enum.wire), head=head,
                       name=enum.native, codes=code_lines, size=str(len(codes) + 1))


def definition(enum: Enum) -> str:
    """The table, defined in the service's source."""
    texts = table_texts(value.text for value in enum.values)
    head = f"const char* const {enum.native}::Strings::values[{len(texts)}]"
    return "\n".join(writer.table(0, head, texts))
