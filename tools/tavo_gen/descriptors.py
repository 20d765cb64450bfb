"""The per-type descriptors outside the service namespace: `TypeInfo` specialisations (of the
types and of the service interface), the validator's instances and the metadata factories of
the structures that declare metadata."""

from typing import List

from .printer import Printer, quoted

VALIDATOR_ARGS = ["Validator::Policy", "MessageList&"]

METADATA_FACTORY = "std::shared_ptr<StructInfo> StructInfo::Create<"


def specialisation(p: Printer, template: str, qualified: str, base: str, opening: str) -> None:
    """`template <>` and `struct template<T> : base<T> {`, T being `qualified`: broken before the
    colon, then after the angle brackets, as far as needed."""
    p.line("template <>")
    one_line = f"struct {template}<{qualified}> : {base}<{qualified}> {opening}"
    if p.fits(one_line):
        p.line(one_line)
        return
    p.wrap(f"struct {template}<", ([qualified], ">"))
    with p.continued():
        p.wrap(f": {base}<", ([qualified], f"> {opening}"))


def type_info(p: Printer, base: str, qualified: str, statics: List[tuple], wire: str) -> None:
    """`TypeInfo<T>`, deriving from `Data::<base><T>`, holding the wire name `name()` and the
    string views `statics` (name, value)."""
    specialisation(p, "TypeInfo", qualified, f"Data::{base}", "{")
    with p.block(end="};"):
        if wire:
            p.brief("static std::string name()", f"return {quoted(wire)};")
        for name, value in statics:
            p.wrap(f"static constexpr std::string_view {name} = ", ([quoted(value)], ";"))


def struct_info(p: Printer, qualified: str, wire: str) -> None:
    type_info(p, "StructTypeInfo", qualified, [("qualifiedName", qualified)], wire)


def input_info(p: Printer, qualified: str, operation_qualified: str) -> None:
    type_info(p, "InputTypeInfo", qualified,
              [("qualifiedName", qualified), ("operationName", operation_qualified)], "")


def enum_info(p: Printer, qualified: str, wire: str) -> None:
    type_info(p, "EnumTypeInfo", qualified, [("qualifiedName", qualified)], wire)


def interface_info(p: Printer, qualified: str, wire: str) -> None:
    """The service interface's: its wire name only."""
    p.line("template <>")
    with p.block(f"struct TypeInfo<{qualified}>", "};"):
        p.brief("static std::string name()", f"return {quoted(wire)};")


def validator(p: Printer, qualified: str, extern: bool) -> None:
    """The validator's instance for a structure or input record: declared in the header
    (`extern`), instantiated in the source."""
    prefix = "extern template bool" if extern else "template bool"
    p.wrap(f"{prefix} Validator::isValid<", ([qualified], ">("),
           ([f"const {qualified}&"] + VALIDATOR_ARGS, ");"))


def metadata_factory(p: Printer, qualified: str, extern: bool) -> None:
    """The structure's `StructInfo::Create` specialisation: declared and exported in the header
    (`extern`), defined in the source from the structure's `Metadata` facts."""
    p.line("template <>")
    if extern:
        p.wrap(f"TAVO_VM_API {METADATA_FACTORY}", ([qualified], ">();"))
        return
    p.wrap(METADATA_FACTORY, ([qualified], ">() {"))
    with p.block(end="}"):
        p.wrap("using Facts = ", ([f"{qualified}::Metadata"], ";"))
        p.line("return MakeStructInfo(Facts::name, Facts::resourceTypes);")
