"""The per-type descriptors outside the service namespace: `TypeInfo` specialisations (of the
types and of the service interface), the validator's instances and the metadata factories of
the structures that declare metadata."""

from typing import List

from . import writer

VALIDATOR_ARGS = ("Validator::Policy", "MessageList&")


def type_info(base: str, qualified: str, statics: List[tuple], wire: str = "") -> str:
    """`template <> struct TypeInfo<T> : Data::<base><T> {...};` (no base when `base` is empty)
    holding the wire name `name()` (when given) and the string views `statics` (name, value)."""
    head = f"struct TypeInfo<{qualified}>"
    lines = ["template <>"] + (writer.derived(0, head, f"Data::{base}<{qualified}>") if base
                               else [head + " {"])
    if wire:
        value = f"return {writer.string_literal(wire)};"
        one_line = f"  static std::string name() {{ {value} }}"
        lines += [one_line] if writer.fits(one_line) else \
            ["  static std::string name() {", f"    {value}", "  }"]
    for name, value in statics:
        lines += writer.assignment(2, f"static constexpr std::string_view {name}",
                                   writer.string_literal(value))
    return "\n".join(lines + ["};"])


def struct_info(qualified: str, wire: str) -> str:
    return type_info("StructTypeInfo", qualified, [("qualifiedName", qualified)], wire)


def input_info(qualified: str, operation_qualified: str) -> str:
    return type_info("InputTypeInfo", qualified,
                     [("qualifiedName", qualified), ("operationName", operation_qualified)])


def enum_info(qualified: str, wire: str) -> str:
    return type_info("EnumTypeInfo", qualified, [("qualifiedName", qualified)], wire)


def interface_info(qualified: str, wire: str) -> str:
    """The service interface's: its wire name only."""
    return type_info("", qualified, [], wire)


def validator(qualified: str, extern: bool) -> str:
    """The validator's instance for a structure or input record: declared in the header
    (`extern`), instantiated in the source."""
    prefix = "extern template bool " if extern else "template bool "
    return "\n".join(writer.call(0, f"Validator::isValid<{qualified}>",
                                 [f"const {qualified}&", *VALIDATOR_ARGS], prefix=prefix))


METADATA_RESULT = "std::shared_ptr<StructInfo>"


def metadata_factory_head(qualified: str, prefix: str, tail: str) -> List[str]:
    """`template <>` and `<prefix>std::shared_ptr<StructInfo> StructInfo::Create<T>()<tail>`,
    the return type on a line of its own when the whole does not fit."""
    head = f"StructInfo::Create<{qualified}>(){tail}"
    one_line = f"{prefix}{METADATA_RESULT} {head}"
    if writer.fits(one_line):
        return ["template <>", one_line]
    return ["template <>", f"{prefix}{METADATA_RESULT}"] + writer.after_angle(
        head, writer.CONTINUATION)


def metadata_factory(qualified: str, extern: bool) -> str:
    """The structure's `StructInfo::Create` specialisation: declared and exported in the header
    (`extern`), defined in the source from the structure's `Metadata` facts."""
    if extern:
        return "\n".join(metadata_factory_head(qualified, "TAVO_VM_API ", ";"))
    lines = metadata_factory_head(qualified, "", " {")
    lines += writer.assignment(2, "using Facts", f"{qualified}::Metadata")
    lines += ["  return MakeStructInfo(Facts::name, Facts::resourceTypes);", "}"]
    return "\n".join(lines)
