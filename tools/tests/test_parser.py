"""Reading descriptions: layout, comments, line numbers and every type. How names, types and
order reach the model shows in the golden output."""

import unittest

from helpers import HEAD, load


class ParseTest(unittest.TestCase):
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
        # Named types point to their declarations, however deeply wrapped.
        enum, struct = service.enums[0], service.structs[0]
        self.assertIs(operation.params[5].type.arg.arg.target, enum)
        self.assertIs(operation.params[8].type.arg.target, struct)
        for result in ("void", "string", "E", "ptr<S>", "list<S>"):
            with self.subTest(result=result):
                load(HEAD + f"enum e E\n  value X\nstruct s S\noperation o O\n  result {result}\n")


if __name__ == "__main__":
    unittest.main()
