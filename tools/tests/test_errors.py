"""Every fault of a description stops generation with `<file>:<line>: error: <fault>`."""

import unittest

from helpers import HEAD, load
from tavo_gen.model import DescriptionError

ENUM = "enum kind Kind\n  value A\n  value B\n"
STRUCT = "struct s S\n  field a a int64\n"
IDENTIFIER = "expected a C++ identifier that starts with a letter and is not a keyword"


def body(text: str) -> str:
    """A description with the usual package and service lines, then `text` from line 3."""
    return HEAD + text


# (description, line, fault)
FAULTS = [
    # Layout and keywords.
    ("", 1, "the description has no 'package' line"),
    (HEAD.split("\n")[1] + "\n", 1, "the description must start with a 'package' line"),
    ("package com.korvan.tavo.test\n", 1, "the description has no 'service' line"),
    ("package com.korvan.tavo.test\n" + ENUM, 2, "'enum' before the 'service' line"),
    (HEAD + "package com.korvan.tavo.test\n", 3, "duplicate 'package' line"),
    (HEAD + "service other OtherSvc\n", 3, "duplicate 'service' line"),
    (body("strukt s S\n"), 3, "unknown keyword 'strukt'"),
    (body("struct s S\n  feild a a int64\n"), 4, "unknown keyword 'feild'"),
    (body("struct s S\n  value A\n"), 4,
     "'value' is not allowed in a structure, which holds 'field' or 'metadata' lines"),
    (body("field a a int64\n"), 3, "'field' is only allowed inside a block"),
    ("  " + HEAD, 1, "bad syntax: unexpected indentation"),
    (body("  struct s S\n"), 3, "bad syntax: unexpected indented line below 'service'"),
    (body("struct s S\n\tfield a a int64\n"), 4, "bad syntax: indent with spaces, not tabs"),
    (body("struct s S\n    field a a int64\n  field b b int64\n"), 5,
     "bad syntax: indentation does not match the lines above"),
    (body("struct s S\n  field a a int64\n    field b b int64\n"), 5,
     "bad syntax: unexpected indented line below 'field'"),
    (body("struct s S\n  field a a\n"), 4,
     "bad syntax: expected 'field <wire name> <nativeName> <type>'"),
    (body("struct s S extra\n"), 3, "bad syntax: expected 'struct <wire name> <NativeName>'"),
    (body(ENUM + "union u U tug kind\n"), 6,
     "bad syntax: expected 'union <wire name> <NativeName> tag <tag field>'"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a optional<string> "
          "maybe A\n"), 8, "bad syntax: expected 'case <wire name> <nativeName> <type> "
     "required|allowed <TAG VALUE>...'"),
    (body("operation get Get\n  errors\n"), 4, "bad syntax: expected 'errors <Error>...'"),
    # Names.
    ("package Com.korvan\n", 1, "bad package name 'Com.korvan'"),
    ("package com.korvan\n", 1, "bad package name 'com.korvan'"),
    (body("struct bad-name S\n"), 3, "bad wire name 'bad-name'"),
    (body("struct s delete\n"), 3, f"bad native name 'delete': {IDENTIFIER}"),
    (body("struct s S\n  field a _a int64\n"), 4, f"bad native name '_a': {IDENTIFIER}"),
    (body("enum e E\n  value _UNKNOWN\n"), 4, f"bad value '_UNKNOWN': {IDENTIFIER}"),
    *((body(f"enum e E\n  value {value}\n"), 4,
       f"value '{value}' collides with a name of the enumeration class")
      for value in ("Strings", "Enumeration")),
    (body("struct s S\n  field a unknownFields int64\n"), 4,
     "member name 'unknownFields' is reserved"),
    (body("struct s S\n  field a S int64\n"), 4, "member name 'S' is reserved"),
    (body("struct s S\n  metadata com.x.S\n    resource a bad/type\n"), 5,
     "bad resource type 'bad/type'"),
    # Duplicates.
    (body("enum e E\n  value RED\n  value RED\n"), 5, "duplicate value 'RED'"),
    (body("struct s S\n  field a a int64\n  field a b int64\n"), 5, "duplicate field 'a'"),
    (body("struct s S\n  field a x int64\n  field b x int64\n"), 5, "duplicate member name 'x'"),
    (body(STRUCT + "struct t S\n"), 5, "duplicate structure 'S'"),
    (body(STRUCT + "struct s T\n"), 5, "duplicate structure wire name 's'"),
    (body(ENUM + "enum kind2 Kind\n"), 6, "duplicate enumeration 'Kind'"),
    (body(STRUCT + "enum e S\n"), 5, "name 'S' is already used by a structure"),
    (body("operation get Get\n  result void\noperation get Fetch\n  result void\n"), 5,
     "duplicate operation 'get'"),
    (body("operation get Get\n  result void\noperation fetch Get\n  result void\n"), 5,
     "duplicate operation 'Get'"),
    (body("operation get Get\n  result void\nstruct s GetMethod\n"), 5,
     "name 'GetMethod' is already used by operation 'Get'"),
    (body("struct s AsyncServiceStub\n"), 3,
     "name 'AsyncServiceStub' is already used by the service stub"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a optional<string> "
          "required A\nstruct s UAnnotations\n"), 9,
     "name 'UAnnotations' is already used by union 'U'"),
    (body("operation get Get\n  param vm vm string\n  param vm id string\n  result void\n"), 5,
     "duplicate parameter 'vm'"),
    *((body(f"operation get Get\n  param p {name} string\n  result void\n"), 4,
       f"parameter name '{name}' is reserved")
      for name in ("activation", "result", "input", "apiStub_", "unknownFields", "Input")),
    (body(STRUCT + "operation get Get\n  param s S ptr<S>\n  result void\n"), 6,
     "parameter name 'S' is already used by a structure"),
    (body(ENUM + "operation get Get\n  param k Kind Kind\n  result void\n"), 7,
     "parameter name 'Kind' is already used by an enumeration"),
    (body("operation get Get\n  param p GetMethod string\n  result void\n"), 4,
     "parameter name 'GetMethod' is already used by operation 'Get'"),
    (body("operation get Get\n  param s AsyncServiceStub string\n  result void\n"), 4,
     "parameter name 'AsyncServiceStub' is already used by the service stub"),
    (body(ENUM + "struct s S\n  field kind Kind Kind\n"), 7,
     "member name 'Kind' is already used by an enumeration"),
    (body("operation s apiStub_\n  result void\n"), 3, "operation name 'apiStub_' is reserved"),
    (body("struct s Input\n"), 3,
     "name 'Input' is already used by the input records of the method classes"),
    (body("struct s ResultType\n"), 3, "name 'ResultType' is already used by a member of every "
     "method class"),
    (body("enum s std\n  value A\n"), 3,
     "name 'std' is already used by a namespace of the generated code"),
    (body("operation get Get\n  result void\noperation get_method GetMethodBuilder\n"
          "  result void\n"), 5, "name 'GetMethodBuilder' is already used by operation 'Get'"),
    (body("operation get Get\n  param vm vm string\n  param id vm string\n  result void\n"), 5,
     "duplicate parameter name 'vm'"),
    (body("operation get Get\n  result void\n  errors Error NotFound Error\n"), 5,
     "duplicate error 'Error'"),
    (body("operation get Get\n  result void\n  result void\n"), 5, "duplicate 'result' line"),
    (body("operation get Get\n  result void\n  errors Error\n  errors NotFound\n"), 6,
     "duplicate 'errors' line"),
    (body("operation get Get\n  param vm vm string\n"), 3, "operation 'Get' has no 'result' line"),
    (body("operation get Get\n  errors Error\noperation put Put\n  result void\n"), 3,
     "operation 'Get' has no 'result' line"),
    # Errors.
    *((body(f"operation get Get\n  result void\n  errors Error {name}\n"), 5,
       f"unknown error '{name}': the standard errors are Error, NotFound, InvalidArgument, "
       "NotAllowedInCurrentState, ResourceBusy, ResourceInaccessible, ServiceUnavailable, "
       "Unauthenticated, Unauthorized, AlreadyExists, UnableToAllocateResource")
      for name in ("Boom", "notFound")),
    # Types.
    *((body(f"struct s S\n  field a a {type}\n"), 4, f"unknown type '{name}'")
      for type, name in (("Foo", "Foo"), ("optional<Foo>", "Foo"), ("map<int64>", "map"))),
    *((body(f"struct s S\n  field a a {type}\n"), 4, f"bad type syntax '{type}'")
      for type in ("optional<int64", "optional<>", "optional", "int64<S>", "set<string>>")),
    *((body(STRUCT + text), 6, "structure 'S' must be held by pointer: use ptr<S> or list<S>")
      for text in ("struct t T\n  field s s S\n", "struct t T\n  field s s optional<S>\n",
                   "operation get Get\n  result S\n",
                   "operation get Get\n  param s s S\n  result void\n")),
    *((body(STRUCT + text), 6, "optptr<...> is only allowed for operation parameters")
      for text in ("struct t T\n  field s s optptr<S>\n",
                   "operation get Get\n  result optptr<S>\n")),
    *((body(text), 4, "void is only allowed as an operation result")
      for text in ("struct s S\n  field a a void\n",
                   "operation get Get\n  param a a void\n  result void\n")),
    (body("struct s S\n  field a a ptr<int64>\n"), 4, "ptr<...> needs a structure, not 'int64'"),
    (body(ENUM + "struct s S\n  field a a list<Kind>\n"), 7,
     "list<...> needs a structure, not 'Kind'"),
    (body("struct s S\n  field a a set<int64>\n"), 4,
     "set<...> needs string or an enumeration, not 'int64'"),
    (body(STRUCT + "struct t T\n  field a a optional<list<S>>\n"), 6,
     "optional<...> needs int64, bool, string, an enumeration or a set, not 'list<S>'"),
    (body("struct s S\n  field a a optional<optional<int64>>\n"), 4,
     "optional<...> needs int64, bool, string, an enumeration or a set, not 'optional<int64>'"),
    *((body(ENUM + f"operation get Get\n  result {type}\n"), 7, "a result must be void, "
       f"string, an enumeration, ptr<...> or list<...>, not '{type}'")
      for type in ("optional<int64>", "set<string>", "int64", "bool", "optional<Kind>",
                   "set<Kind>")),
    # Unions.
    (body(ENUM + "union u U\n  field kind kind Kind\n"), 6,
     "union 'U' has no tag: write 'union <wire name> <NativeName> tag <tag field>'"),
    (body(ENUM + "union u U tag kind\n  case a a optional<string> required A\n"), 6,
     "union tag 'kind' is not a field of 'U'"),
    *((body(ENUM + f"union u U tag kind\n  field kind kind {type}\n"
            "  case a a optional<string> required A\n"), 7,
       "union tag 'kind' must be a 'field' of an enumeration")
      for type in ("string", "optional<Kind>")),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n"), 6,
     "union 'U' has no 'case' member"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a optional<string> "
          "required A\n  field b b optional<string>\n"), 9,
     "union member 'b' is outside any case list: declare it with 'case'"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a string required A\n"), 8,
     "union member 'a' must be optional<...>"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a optional<string> "
          "required A NOPE\n"), 8, "case value 'NOPE' is not a value of enumeration 'Kind'"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a optional<string> "
          "allowed _UNKNOWN\n"), 8, "case value '_UNKNOWN' is not a value of enumeration 'Kind'"),
    (body(ENUM + "union u U tag kind\n  field kind kind Kind\n  case a a optional<string> "
          "required A B A\n"), 8, "duplicate case value 'A'"),
    # Metadata.
    (body(STRUCT + "  metadata com.x.S\n"), 5, "metadata without a 'resource' line"),
    (body(STRUCT + "  metadata com.x.S\n    resource b com.x.Thing\n"), 6,
     "resource field 'b' is not a field of 'S'"),
    (body(STRUCT + "  metadata com.x.S\n    resource a com.x.Thing\n    resource a com.x.Other\n"),
     7, "duplicate resource field 'a'"),
    (body(STRUCT + "  metadata com.x.S\n    resource a com.x.Thing\n  metadata com.x.T\n"
          "    resource a com.x.Thing\n"), 7, "duplicate 'metadata' block"),
]


class FaultTest(unittest.TestCase):
    def test_every_fault_names_its_line(self):
        for text, line, fault in FAULTS:
            with self.subTest(fault=fault, text=text):
                with self.assertRaises(DescriptionError) as raised:
                    load(text, "faulty.svc")
                self.assertEqual(str(raised.exception), f"faulty.svc:{line}: error: {fault}")


if __name__ == "__main__":
    unittest.main()
