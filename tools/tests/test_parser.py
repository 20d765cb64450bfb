"""Reading descriptions: every construct lands in the model with its names, types and order."""

import unittest

from helpers import HEAD, load, load_file
from tavo_gen.model import Struct


def fields(struct):
    return [(f.wire, f.native, str(f.type)) for f in struct.fields]


class ParseTest(unittest.TestCase):
    def test_the_all_features_description(self):
        service = load_file("tests/api/sample.svc")
        self.assertEqual((service.package, service.wire, service.native),
                         ("com.korvan.tavo.test", "sample", "SampleSvc"))
        color, kind = service.enums
        self.assertEqual((color.wire, color.native), ("color", "Color"))
        self.assertEqual([v.text for v in color.values], ["RED", "GREEN", "BLUE"])
        self.assertEqual([v.text for v in kind.values], ["DEVICE", "IMAGE", "PIPE"])

        structs = {s.native: s for s in service.structs}
        self.assertEqual(list(structs), ["Backing", "Everything", "Node", "Summary", "FilterSpec",
                                         "ListResult", "Empty"])
        backing = structs["Backing"]
        self.assertTrue(backing.is_union)
        self.assertEqual(backing.tag, "kind")
        self.assertIs(backing.tag_field(), backing.fields[0])
        device, file = backing.fields[1:]
        self.assertEqual((device.wire, device.native, device.case.required, device.case.values),
                         ("device_name", "deviceName", True, ["DEVICE", "PIPE"]))
        self.assertEqual((file.native, file.case.required, file.case.values),
                         ("fileName", False, ["IMAGE"]))
        self.assertIsNone(backing.fields[0].case)

        everything = structs["Everything"]
        self.assertFalse(everything.is_union)
        self.assertEqual(fields(everything), [
            ("number", "number", "int64"),
            ("flag", "flag", "bool"),
            ("text", "text", "string"),
            ("guest_OS", "guestOS", "string"),
            ("color", "color", "Color"),
            ("maybe_number", "maybeNumber", "optional<int64>"),
            ("maybe_flag", "maybeFlag", "optional<bool>"),
            ("maybe_text", "maybeText", "optional<string>"),
            ("maybe_color", "maybeColor", "optional<Color>"),
            ("maybe_names", "maybeNames", "optional<set<string>>"),
            ("maybe_colors", "maybeColors", "optional<set<Color>>"),
            ("backing", "backing", "ptr<Backing>"),
            ("nodes", "nodes", "list<Node>"),
            ("names", "names", "set<string>"),
            ("colors", "colors", "set<Color>"),
        ])
        # Named types point to their declarations, however deeply wrapped.
        self.assertIs(everything.fields[4].type.target, color)
        self.assertIs(everything.fields[10].type.arg.arg.target, color)
        self.assertIs(everything.fields[12].type.arg.target, structs["Node"])
        self.assertIs(structs["Node"].fields[1].type.arg.target, structs["Node"])

        metadata = everything.metadata
        self.assertEqual(metadata.name, "com.korvan.tavo.test.Sample.Everything")
        self.assertEqual([(r.field, r.resource_type) for r in metadata.resources],
                         [("text", "com.korvan.tavo.resources.Text"),
                          ("maybe_names", "com.korvan.tavo.resources.Name")])
        self.assertIsNone(structs["Node"].metadata)
        self.assertEqual(structs["Empty"].fields, [])

        operations = {o.native: o for o in service.operations}
        self.assertEqual({name: (o.wire, str(o.result)) for name, o in operations.items()}, {
            "Update": ("update", "void"), "List": ("list", "ptr<ListResult>"),
            "ListNodes": ("list_nodes", "list<Node>"), "SwitchOn": ("switch_on", "Color"),
            "Add": ("add", "string"), "Ping": ("ping", "void")})
        listing, switch_on, ping = operations["List"], operations["SwitchOn"], operations["Ping"]
        params = listing.params + switch_on.params
        self.assertEqual([(p.wire, p.native, str(p.type)) for p in params], [
            ("id", "id", "string"), ("filter", "filter", "optptr<FilterSpec>"),
            ("vm_id", "vmId", "string"), ("paused", "paused", "optional<bool>"),
            ("color", "color", "Color"), ("number", "number", "int64")])
        self.assertEqual([e.name for e in listing.errors],
                         ["NotFound", "NotAllowedInCurrentState", "Error"])
        self.assertIs(switch_on.params[2].type.target, color)
        self.assertIs(switch_on.result.target, color)
        self.assertEqual((ping.params, ping.errors), ([], []))

    def test_layout_comments_and_lines(self):
        service = load(
            "# a comment before anything\n"
            "\n"
            "package com.korvan.tavo.test   # trailing comment\n"
            "service sample SampleSvc\n"
            "struct b B\n"
            "    field a a int64      # deeper indentation, kept throughout the block\n"
            "\n"
            "    # a comment inside the block\n"
            "    field z z ptr<A>\n"
            "    metadata com.x.B\n"
            "        resource a com.x.Thing\n"
            "struct a A\n"
            "operation go Go\n"
            "  result void\n")
        b, a = service.structs
        self.assertEqual([(f.wire, f.line) for f in b.fields], [("a", 6), ("z", 9)])
        self.assertIs(b.fields[1].type.arg.target, a)  # a type may be used before its declaration
        self.assertEqual((b.line, b.metadata.line, b.metadata.resources[0].line), (5, 10, 11))
        self.assertEqual(service.operations[0].result_line, 14)

    def test_every_builtin_and_wrapper(self):
        service = load(HEAD + "enum e E\n  value X\nstruct s S\n"
                       "operation o O\n"
                       "  param a a int64\n  param b b bool\n  param c c string\n  param d d E\n"
                       "  param f f optional<E>\n  param g g optional<set<E>>\n"
                       "  param h h ptr<S>\n  param i i optptr<S>\n  param j j list<S>\n"
                       "  param k k set<string>\n  param l l set<E>\n"
                       "  result string\n")
        operation = service.operations[0]
        self.assertEqual([str(p.type) for p in operation.params],
                         ["int64", "bool", "string", "E", "optional<E>", "optional<set<E>>",
                          "ptr<S>", "optptr<S>", "list<S>", "set<string>", "set<E>"])
        self.assertIsInstance(operation.params[8].type.arg.target, Struct)
        for result in ("void", "string", "E", "ptr<S>", "list<S>"):
            with self.subTest(result=result):
                load(HEAD + f"enum e E\n  value X\nstruct s S\noperation o O\n  result {result}\n")


if __name__ == "__main__":
    unittest.main()
