"""The C++ spelling of description types, as members, parameters and results use them.

Inside a service namespace, `Quil` could name the standard errors' `Com::Korvan::Quil`, so the
framework's namespace is always written `::Quil`.
"""

from .model import Struct, TypeRef

BUILTINS = {
    "int64": "std::int64_t",
    "bool": "bool",
    "string": "std::string",
    "void": "::Quil::Void",
}

# Members that a default-constructed structure would leave undefined.
INITIALISERS = {"int64": " = 0", "bool": " = false"}


def cpp_type(ref: TypeRef) -> str:
    """Names the type from the innermost argument outwards, so nesting needs no recursion."""
    chain = []
    while ref is not None:
        chain.append(ref)
        ref = ref.arg
    spelled = ""
    for current in reversed(chain):
        kind = current.kind
        if kind == "named":
            spelled = current.name
        elif kind in BUILTINS:
            spelled = BUILTINS[kind]
        elif kind == "optional":
            spelled = f"boost::optional<{spelled}>"
        elif kind == "ptr":
            spelled = f"std::shared_ptr<const {spelled}>"
        elif kind == "optptr":
            spelled = f"::Quil::OptionalPtr<const {spelled}>"
        elif kind == "list":
            spelled = f"std::vector<std::shared_ptr<const {spelled}>>"
        elif kind == "set":
            spelled = f"std::set<{spelled}>"
        else:
            raise ValueError(f"no C++ spelling for {current}")
    return spelled


def passed_by_value(ref: TypeRef) -> bool:
    """Operations take a required structure pointer by value (the callee may keep it), and
    everything else by constant reference."""
    return ref.kind == "ptr"


def parameter(ref: TypeRef, name: str) -> str:
    """A parameter of a native operation, as `passed_by_value` says."""
    spelled = cpp_type(ref)
    return f"{spelled} {name}" if passed_by_value(ref) else f"const {spelled}& {name}"


def initialiser(ref: TypeRef) -> str:
    return INITIALISERS.get(ref.kind, "")


def referenced_structs(ref: TypeRef) -> list:
    """The structures a type points to, innermost last."""
    found = []
    while ref is not None:
        if isinstance(ref.target, Struct):
            found.append(ref.target)
        ref = ref.arg
    return found
