"""Reading descriptions: every construct lands in the model with its names, types and order."""

import unittest

from helpers import HEAD, load, load_file
from tavo_gen.model import Enum, Struct


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
        self.assertEqual(list(operations), ["Update", "List", "ListNodes", "SwitchOn", "Add",
                                            "Ping"])
        listing = operations["List"]
        self.assertEqual(listing.wire, "list")
        self.assertEqual([(p.wire, p.native, str(p.type)) for p in listing.params],
                         [("id", "id", "string"), ("filter", "filter", "optptr<FilterSpec>")])
        self.assertEqual(str(listing.result), "ptr<ListResult>")
        self.assertEqual([e.name for e in listing.errors],
                         ["NotFound", "NotAllowedInCurrentState", "Error"])
        self.assertEqual(str(operations["ListNodes"].result), "list<Node>")
        self.assertEqual(str(operations["SwitchOn"].result), "Color")
        self.assertEqual([(p.wire, p.native, str(p.type)) for p in operations["SwitchOn"].params],
                         [("vm_id", "vmId", "string"), ("paused", "paused", "optional<bool>"),
                          ("color", "color", "Color"), ("number", "number", "int64")])
        self.assertIs(operations["SwitchOn"].params[2].type.target, color)
        self.assertIsInstance(operations["SwitchOn"].result.target, Enum)
        self.assertEqual(str(operations["Add"].result), "string")
        self.assertEqual((operations["Ping"].params, str(operations["Ping"].result),
                          operations["Ping"].errors), ([], "void", []))

    def test_the_cpus_description(self):
        service = load_file("api/compute/cpus.svc")
        self.assertEqual((service.package, service.wire, service.native),
                         ("com.korvan.tavo.vm.compute", "cpus", "CpusSvc"))
        info, update_spec = service.structs
        self.assertEqual(fields(info), [("count", "count", "int64"),
                                        ("cores_per_socket", "coresPerSocket", "int64"),
                                        ("hot_add_enabled", "hotAddEnabled", "bool"),
                                        ("hot_remove_enabled", "hotRemoveEnabled", "bool")])
        self.assertEqual([str(f.type) for f in update_spec.fields],
                         ["optional<int64>", "optional<int64>", "optional<bool>",
                          "optional<bool>"])
        get, update = service.operations
        self.assertEqual((get.wire, str(get.result)), ("get", "ptr<Info>"))
        self.assertEqual([e.name for e in get.errors],
                         ["Error", "NotFound", "ResourceInaccessible", "ServiceUnavailable",
                          "Unauthenticated", "Unauthorized"])
        self.assertEqual([(p.wire, p.native, str(p.type)) for p in update.params],
                         [("vm", "vm", "string"), ("update_spec", "updateSpec",
                                                   "ptr<UpdateSpec>")])
        self.assertEqual([e.name for e in update.errors],
                         ["Error", "NotFound", "InvalidArgument", "NotAllowedInCurrentState",
                          "ResourceBusy", "ResourceInaccessible", "ServiceUnavailable",
                          "Unauthenticated", "Unauthorized"])

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
