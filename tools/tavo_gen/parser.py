"""Reads the text of a service description into the model, checking its syntax.

A description is a sequence of statements, one per line: a keyword and its words, separated by
blanks. A statement that belongs to another is indented below it (spaces only); `#` starts a
comment. Meaning (types, duplicates, unions) is checked afterwards by `checks`.
"""

import re
from dataclasses import dataclass, field
from typing import List

from . import naming
from .model import (DescriptionError, Enum, EnumValue, ErrorRef, Field, Metadata, Operation,
                    Resource, Service, Struct, TypeRef, UnionCase)

BUILTIN_TYPES = ("int64", "bool", "string", "void")
WRAPPER_TYPES = ("optional", "ptr", "optptr", "list", "set")

IDENTIFIER_RULE = "expected a C++ identifier that starts with a letter and is not a keyword"

# Usage of every statement, for the message of a statement written wrongly.
USAGE = {
    "package": "package <package>",
    "service": "service <wire name> <NativeName>",
    "enum": "enum <wire name> <NativeName>",
    "value": "value <VALUE>",
    "struct": "struct <wire name> <NativeName>",
    "union": "union <wire name> <NativeName> tag <tag field>",
    "field": "field <wire name> <nativeName> <type>",
    "case": "case <wire name> <nativeName> <type> required|allowed <TAG VALUE>...",
    "metadata": "metadata <metadata name>",
    "resource": "resource <field wire name> <resource type>",
    "operation": "operation <wire name> <NativeName>",
    "param": "param <wire name> <nativeName> <type>",
    "result": "result <type>",
    "errors": "errors <Error>...",
}

# The statements each kind of block may hold.
CHILDREN = {
    "enum": ("value",),
    "struct": ("field", "metadata"),
    "union": ("field", "case", "metadata"),
    "metadata": ("resource",),
    "operation": ("param", "result", "errors"),
}

DESCRIPTION_OF = {
    "enum": "an enumeration",
    "struct": "a structure",
    "union": "a union",
    "metadata": "metadata",
    "operation": "an operation",
}


@dataclass
class Statement:
    line: int
    indent: int
    words: List[str]
    children: List["Statement"] = field(default_factory=list)

    @property
    def keyword(self) -> str:
        return self.words[0]


class Parser:
    def __init__(self, path: str):
        self.path = path

    def fail(self, line: int, fault: str):
        raise DescriptionError(self.path, line, fault)

    # Lines to a tree of statements.

    def statements(self, text: str) -> List[Statement]:
        top: List[Statement] = []
        open_blocks: List[Statement] = []
        for number, raw in enumerate(text.splitlines(), start=1):
            content = raw.split("#", 1)[0].rstrip()
            if not content.strip():
                continue
            body = content.lstrip(" ")
            if body[0] == "\t":
                self.fail(number, "bad syntax: indent with spaces, not tabs")
            statement = Statement(number, len(content) - len(body), body.split())
            while open_blocks and open_blocks[-1].indent >= statement.indent:
                open_blocks.pop()
            if not open_blocks:
                if statement.indent != 0:
                    self.fail(number, "bad syntax: unexpected indentation")
                top.append(statement)
            else:
                siblings = open_blocks[-1].children
                if siblings and siblings[0].indent != statement.indent:
                    self.fail(number, "bad syntax: indentation does not match the lines above")
                siblings.append(statement)
            open_blocks.append(statement)
        return top

    # Statements to the model.

    def parse(self, text: str) -> Service:
        service = Service(self.path)
        last_line = 1
        for statement in self.statements(text):
            last_line = statement.line
            keyword = statement.keyword
            if keyword not in USAGE:
                self.fail(statement.line, f"unknown keyword '{keyword}'")
            if keyword == "package":
                if service.package:
                    self.fail(statement.line, "duplicate 'package' line")
                self.no_children(statement)
                service.package = self.package_name(statement)
                continue
            if not service.package:
                self.fail(statement.line, "the description must start with a 'package' line")
            if keyword == "service":
                if service.wire:
                    self.fail(statement.line, "duplicate 'service' line")
                self.no_children(statement)
                _, service.wire, service.native = self.words(statement, 3)
                self.wire_name(statement, service.wire)
                self.native_name(statement, service.native)
                continue
            if not service.wire:
                self.fail(statement.line, f"'{keyword}' before the 'service' line")
            if keyword == "enum":
                service.enums.append(self.enum(statement))
            elif keyword in ("struct", "union"):
                service.structs.append(self.struct(statement))
            elif keyword == "operation":
                service.operations.append(self.operation(statement))
            else:
                self.fail(statement.line, f"'{keyword}' is only allowed inside a block")
        if not service.package:
            self.fail(last_line, "the description has no 'package' line")
        if not service.wire:
            self.fail(last_line, "the description has no 'service' line")
        return service

    def enum(self, statement: Statement) -> Enum:
        _, wire, native = self.words(statement, 3)
        self.wire_name(statement, wire)
        self.native_name(statement, native)
        enum = Enum(wire, native, statement.line)
        for child in self.children(statement):
            _, value = self.words(child, 2)
            if not naming.is_identifier(value):
                self.fail(child.line, f"bad value '{value}': {IDENTIFIER_RULE}")
            enum.values.append(EnumValue(value, child.line))
        return enum

    def struct(self, statement: Statement) -> Struct:
        is_union = statement.keyword == "union"
        if is_union and len(statement.words) == 3:
            self.fail(statement.line, f"union '{statement.words[2]}' has no tag: write "
                      f"'{USAGE['union']}'")
        if is_union:
            _, wire, native, tag_word, tag = self.words(statement, 5)
            if tag_word != "tag":
                self.bad_syntax(statement)
            self.wire_name(statement, tag)
        else:
            _, wire, native = self.words(statement, 3)
            tag = None
        self.wire_name(statement, wire)
        self.native_name(statement, native)
        struct = Struct(wire, native, statement.line, is_union=is_union, tag=tag)
        for child in self.children(statement):
            if child.keyword == "metadata":
                if struct.metadata is not None:
                    self.fail(child.line, "duplicate 'metadata' block")
                struct.metadata = self.metadata(child)
            elif child.keyword == "case":
                struct.fields.append(self.case(child))
            else:
                struct.fields.append(self.member(child))
        return struct

    def member(self, statement: Statement) -> Field:
        _, wire, native, type_text = self.words(statement, 4)
        self.wire_name(statement, wire)
        self.member_name(statement, native)
        return Field(wire, native, self.type(statement, type_text), statement.line)

    def case(self, statement: Statement) -> Field:
        self.no_children(statement)
        if len(statement.words) < 6 or statement.words[4] not in ("required", "allowed"):
            self.bad_syntax(statement)
        member = self.member(Statement(statement.line, statement.indent, statement.words[:4]))
        member.case = UnionCase(statement.words[4] == "required", statement.words[5:])
        return member

    def metadata(self, statement: Statement) -> Metadata:
        _, name = self.words(statement, 2)
        self.dotted_name(statement, name, "metadata name")
        metadata = Metadata(name, statement.line)
        for child in self.children(statement):
            _, field_wire, resource_type = self.words(child, 3)
            self.wire_name(child, field_wire)
            self.dotted_name(child, resource_type, "resource type")
            metadata.resources.append(Resource(field_wire, resource_type, child.line))
        if not metadata.resources:
            self.fail(statement.line, "metadata without a 'resource' line")
        return metadata

    def operation(self, statement: Statement) -> Operation:
        _, wire, native = self.words(statement, 3)
        self.wire_name(statement, wire)
        self.native_name(statement, native)
        operation = Operation(wire, native, statement.line)
        seen_errors = False
        for child in self.children(statement):
            if child.keyword == "param":
                operation.params.append(self.member(child))
            elif child.keyword == "result":
                if operation.result is not None:
                    self.fail(child.line, "duplicate 'result' line")
                _, type_text = self.words(child, 2)
                operation.result = self.type(child, type_text)
                operation.result_line = child.line
            else:
                if seen_errors:
                    self.fail(child.line, "duplicate 'errors' line")
                if len(child.words) < 2:
                    self.bad_syntax(child)
                seen_errors = True
                operation.errors = [ErrorRef(name, child.line) for name in child.words[1:]]
        if operation.result is None:
            self.fail(statement.line, f"operation '{native}' has no 'result' line")
        return operation

    # Types.

    def type(self, statement: Statement, text: str) -> TypeRef:
        """`optional<set<Color>>` and the like: the wrappers from the outside in, then the
        innermost name, then as many closing brackets as wrappers."""
        tokens = re.findall(r"[A-Za-z_][A-Za-z0-9_]*|\S", text)
        position = 0
        wrappers = []
        while True:
            if position >= len(tokens) or not re.match(r"[A-Za-z_]", tokens[position]):
                self.bad_type(statement, text)
            name = tokens[position]
            position += 1
            if position >= len(tokens) or tokens[position] != "<":
                break
            if name in BUILTIN_TYPES:
                self.bad_type(statement, text)
            if name not in WRAPPER_TYPES:
                self.fail(statement.line, f"unknown type '{name}'")
            wrappers.append(name)
            position += 1
        if name in WRAPPER_TYPES:
            self.bad_type(statement, text)
        result = TypeRef(name) if name in BUILTIN_TYPES else TypeRef("named", name=name)
        for wrapper in reversed(wrappers):
            if position >= len(tokens) or tokens[position] != ">":
                self.bad_type(statement, text)
            position += 1
            result = TypeRef(wrapper, arg=result)
        if position != len(tokens):
            self.bad_type(statement, text)
        return result

    def bad_type(self, statement: Statement, text: str):
        self.fail(statement.line, f"bad type syntax '{text}'")

    # Helpers.

    def words(self, statement: Statement, count: int) -> List[str]:
        if len(statement.words) != count:
            self.bad_syntax(statement)
        if statement.keyword not in CHILDREN:
            self.no_children(statement)
        return statement.words

    def children(self, statement: Statement) -> List[Statement]:
        allowed = CHILDREN[statement.keyword]
        for child in statement.children:
            if child.keyword not in USAGE:
                self.fail(child.line, f"unknown keyword '{child.keyword}'")
            if child.keyword not in allowed:
                held = " or ".join(f"'{keyword}'" for keyword in allowed)
                self.fail(child.line, f"'{child.keyword}' is not allowed in "
                          f"{DESCRIPTION_OF[statement.keyword]}, which holds {held} lines")
        return statement.children

    def no_children(self, statement: Statement):
        if statement.children:
            self.fail(statement.children[0].line,
                      f"bad syntax: unexpected indented line below '{statement.keyword}'")

    def bad_syntax(self, statement: Statement):
        self.fail(statement.line, f"bad syntax: expected '{USAGE[statement.keyword]}'")

    def package_name(self, statement: Statement) -> str:
        _, package = self.words(statement, 2)
        if not naming.is_package(package):
            self.fail(statement.line, f"bad package name '{package}'")
        return package

    def wire_name(self, statement: Statement, name: str):
        if not naming.is_wire_name(name):
            self.fail(statement.line, f"bad wire name '{name}'")

    def dotted_name(self, statement: Statement, name: str, what: str):
        if not naming.is_dotted_name(name):
            self.fail(statement.line, f"bad {what} '{name}'")

    def native_name(self, statement: Statement, name: str):
        if not naming.is_identifier(name):
            self.fail(statement.line, f"bad native name '{name}': {IDENTIFIER_RULE}")

    member_name = native_name


def parse(path: str, text: str) -> Service:
    """The model of a description's text, syntax checked; `path` names it in messages."""
    return Parser(path).parse(text)
