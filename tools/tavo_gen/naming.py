"""Every name the generator derives: casing, wire names, qualified native names and paths.

Names written in a description (native member names, native type names) are used as given; only
what the conventions fix is derived here.
"""

import re

WIRE_NAME = re.compile(r"[A-Za-z][A-Za-z0-9_]*\Z")
IDENTIFIER = re.compile(r"[A-Za-z][A-Za-z0-9_]*\Z")
DOTTED_NAME = re.compile(r"[A-Za-z][A-Za-z0-9_]*(\.[A-Za-z][A-Za-z0-9_]*)*\Z")
PACKAGE = re.compile(r"[a-z][a-z0-9_]*(\.[a-z][a-z0-9_]*)+\Z")

CPP_KEYWORDS = frozenset("""
    alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t char16_t
    char32_t class compl concept const consteval constexpr constinit const_cast continue co_await
    co_return co_yield decltype default delete do double dynamic_cast else enum explicit export
    extern false float for friend goto if inline int long mutable namespace new noexcept not
    not_eq nullptr operator or or_eq private protected public register reinterpret_cast requires
    return short signed sizeof static static_assert static_cast struct switch template this
    thread_local throw true try typedef typeid typename union unsigned using virtual void
    volatile wchar_t while xor xor_eq""".split())

# The organisation prefix of a package, left out of the generated file paths.
ORGANISATION_SEGMENTS = 2


def is_wire_name(text: str) -> bool:
    return WIRE_NAME.match(text) is not None


def is_dotted_name(text: str) -> bool:
    return DOTTED_NAME.match(text) is not None


def is_identifier(text: str) -> bool:
    """A C++ identifier that is neither a keyword nor reserved by a leading underscore."""
    return IDENTIFIER.match(text) is not None and text not in CPP_KEYWORDS


def is_package(text: str) -> bool:
    return PACKAGE.match(text) is not None and len(text.split(".")) > ORGANISATION_SEGMENTS


def upper_camel(name: str) -> str:
    """`deviceName` -> `DeviceName`; `device_name` -> `DeviceName`."""
    return "".join(part[:1].upper() + part[1:] for part in name.split("_") if part)


def package_namespace(package: str) -> str:
    """"com.korvan.tavo.vm.compute" -> "Com::Korvan::Tavo::Vm::Compute"."""
    return "::".join(segment[:1].upper() + segment[1:] for segment in package.split("."))


def service_namespace(service) -> str:
    return f"{package_namespace(service.package)}::{service.native}"


def interface_wire_name(service) -> str:
    return f"{service.package}.{service.wire}"


def type_wire_name(service, local_wire: str) -> str:
    """The wire name of an enumeration or structure: the interface name and its own name."""
    return f"{interface_wire_name(service)}.{local_wire}"


def qualified(service, *names: str) -> str:
    """The fully qualified native name with a leading "::", as messages write it."""
    return "::" + "::".join((service_namespace(service),) + names)


# The classes every service namespace holds besides its types.
INTERFACE = "AsyncServiceInterface"
BINDER = "AsyncServiceBinder"
BINDER_HELPER = "AsyncServiceBinderHelper"
STUB = "AsyncServiceStub"

# The namespace of the standard errors that operations declare.
STANDARD_ERRORS_NAMESPACE = "::Com::Korvan::Quil::Std::Errors"


def method_class(operation) -> str:
    return f"{operation.native}Method"


def method_builder(operation) -> str:
    return f"{operation.native}MethodBuilder"


def standard_error(name: str) -> str:
    """`NotFound` -> `::Com::Korvan::Quil::Std::Errors::NotFound`."""
    return f"{STANDARD_ERRORS_NAMESPACE}::{name}"


def interface_qualified(service) -> str:
    return qualified(service, INTERFACE)


def input_qualified(service, operation) -> str:
    return qualified(service, method_class(operation), "Input")


def operation_qualified(service, operation) -> str:
    return qualified(service, operation.native)


def annotations(struct) -> str:
    return f"{struct.native}Annotations"


def union_cases(member) -> str:
    """The case-list type of a union member: `deviceName` -> `DeviceNameUnionCases`."""
    return f"{upper_camel(member.native)}UnionCases"


def known_names(fields) -> list:
    """Wire names of the fields, ascending by byte-wise comparison."""
    return sorted((f.wire for f in fields), key=lambda name: name.encode("utf-8"))


def output_stem(service) -> str:
    """"com.korvan.tavo.vm.compute" + "cpus" -> "tavo/vm/compute/cpus"."""
    segments = service.package.split(".")[ORGANISATION_SEGMENTS:]
    return "/".join(segments + [service.wire])


def header_path(service) -> str:
    return output_stem(service) + ".h"


def source_path(service) -> str:
    return output_stem(service) + ".cpp"
