"""The generated files: the checked-in golden output, order of declarations, layout, and the
command line."""

import difflib
import os
import subprocess
import sys
import tempfile
import unittest

from helpers import GENERATOR, HEAD, REPOSITORY, load, load_file
from tavo_gen import generator, writer

GOLDEN = os.path.join(REPOSITORY, "tools", "tests", "golden")
GOLDEN_DESCRIPTION = os.path.join(GOLDEN, "golden.svc")

# Long names, but not so long that one qualified name alone overflows a line.
LONG_NAMES = (
    "package com.korvan.tavo.vm.device\nservice sata_controller SataControllerSvc\n"
    "enum hba_type_with_a_rather_long_name HbaTypeWithARatherLongName\n"
    + "".join(f"  value VALUE_NUMBER_{i}\n" for i in range(12)) +
    "union backing_info_of_device BackingInfoOfDevice tag type\n"
    "  field type type HbaTypeWithARatherLongName\n"
    "  case long_member_name longMemberName optional<string> required "
    + " ".join(f"VALUE_NUMBER_{i}" for i in range(12)) + "\n"
    "struct summary_with_long_name SummaryWithLongName\n"
    + "".join(f"  field controller_number_{i} controllerNumber{i} int64\n"
              for i in range(12)) +
    "  metadata com.korvan.tavo.vm.device.SataController.SummaryWithLongName\n"
    "    resource controller_number_1 com.korvan.tavo.resources.VirtualControllerNumber\n"
    "operation update_number UpdateNumber\n"
    "  param controller_number_of_the_device controllerNumberOfTheDevice "
    "optional<set<HbaTypeWithARatherLongName>>\n"
    "  param summary_with_long_name summaryWithLongName ptr<SummaryWithLongName>\n"
    "  result void\n")


def generated(text: str):
    return generator.generate(load(text), "test.svc")


def run(*arguments):
    return subprocess.run([sys.executable, GENERATOR, *arguments], capture_output=True, text=True)


class GoldenTest(unittest.TestCase):
    def test_regenerating_the_golden_description_gives_the_checked_in_files(self):
        with tempfile.TemporaryDirectory() as directory:
            self.assertEqual(run("--output-dir", directory, GOLDEN_DESCRIPTION).returncode, 0)
            for relative in ("tavo/test/golden.h", "tavo/test/golden.cpp"):
                with open(os.path.join(GOLDEN, relative), encoding="utf-8") as expected_file, \
                        open(os.path.join(directory, relative), encoding="utf-8") as actual_file:
                    expected, actual = expected_file.read(), actual_file.read()
                if expected != actual:
                    diff = "".join(difflib.unified_diff(
                        expected.splitlines(True), actual.splitlines(True),
                        f"golden/{relative}", f"generated/{relative}"))
                    self.fail(f"{relative} differs from the golden file; if the change is "
                              "intended, regenerate it as golden.svc says.\n" + diff)


class OutputTest(unittest.TestCase):
    def test_structures_follow_what_they_point_to(self):
        header, _ = generated(HEAD + "struct a A\n  field b b ptr<B>\n  field c c list<C>\n"
                              "struct b B\n  field c c optional<set<string>>\n"
                              "struct c C\n  field b b ptr<B>\n"
                              "struct d D\n  field e e ptr<E>\n"
                              "struct e E\n  field d d list<D>\n"
                              "struct n N\n  field next next list<N>\n")
        order = [header.index(f"\nstruct TAVO_VM_API {name} : ") for name in "ABCDEN"]
        self.assertLess(order[1], order[2])  # B, then C which points to B, then A
        self.assertLess(order[2], order[0])
        self.assertLess(order[4], order[3])  # the cycle D -> E -> D: E first, D declared ahead
        self.assertIn("\nstruct TAVO_VM_API D;\n", header)
        self.assertLess(header.index("\nstruct TAVO_VM_API D;\n"), order[4])
        for name in "ABCEN":  # nothing else needs a declaration ahead, a self-reference neither
            self.assertNotIn(f"\nstruct {name};\n", header)

    def test_every_record_has_its_known_names(self):
        header, source = generated(
            HEAD + "struct empty Empty\nstruct s S\n  field guest_OS guestOS string\n"
            "  field count count int64\n  field cores_per_socket coresPerSocket bool\n"
            "operation ping Ping\n  result void\n")
        self.assertIn('static constexpr ::Quil::Data::KnownName knownNames[] = {'
                      '"cores_per_socket", "count", "guest_OS"};', " ".join(header.split()))
        self.assertEqual(header.count("static constexpr ::Quil::Data::KnownNames knownNames{};"),
                         2)  # Empty and PingMethod::Input
        self.assertEqual(header.count("helper.AddUnknownFields(knownNames);"), 3)
        self.assertIn("  std::string guestOS;\n  std::int64_t count = 0;\n"
                      "  bool coresPerSocket = false;\n", header)
        self.assertIn('helper.AddField("guest_OS", &S::guestOS);', header)
        self.assertIn("template bool Validator::isValid<::Com::Korvan::Tavo::Test::SampleSvc::"
                      "PingMethod::Input>(", source)

    def test_union_tables_and_walker(self):
        header, source = generator.generate(load_file("tests/api/sample.svc"), "sample.svc")
        self.assertIn('"device_name", "deviceName", &Backing::deviceName, &Backing::kind);', header)
        self.assertIn("::Quil::Data::UnionCaseAnyEnumValue<"
                      "BackingAnnotations::DeviceNameUnionCases>>(", header)
        self.assertIn("::Quil::Data::OptUnionCaseAnyEnumValue<"
                      "BackingAnnotations::FileNameUnionCases>>(", header)
        self.assertIn('helper.AddField("kind", &Backing::kind);', header)
        self.assertIn('BackingAnnotations::UnionTags::Strings::values[3] = {"kind", "_UNKNOWN", '
                      'nullptr};', source)
        self.assertIn('BackingAnnotations::DeviceNameUnionCases::Strings::values[4] = {\n'
                      '    "DEVICE", "PIPE", "_UNKNOWN", nullptr};', source)
        self.assertIn('const char* const Color::Strings::values[5] = {"RED", "GREEN", "BLUE", '
                      '"_UNKNOWN", nullptr};', source)
        self.assertIn("  enum Enum : std::int32_t { RED, GREEN, BLUE, _UNKNOWN };\n", header)
        # The annotations come right before their union.
        self.assertLess(header.index("struct BackingAnnotations {"),
                        header.index("struct TAVO_VM_API Backing : "))

    def test_lines_stay_within_the_column_limit(self):
        for output in generated(LONG_NAMES):
            for line in output.split("\n"):
                self.assertLessEqual(len(line), writer.COLUMN_LIMIT, line)
        for description in ("api/compute/cpus.svc", "tests/api/sample.svc"):
            for output in generator.generate(load_file(description), description):
                for line in output.split("\n"):
                    self.assertLessEqual(len(line), writer.COLUMN_LIMIT, line)
                self.assertTrue(output.endswith("\n") and not output.endswith("\n\n"))

    def test_the_command_line(self):
        cpus = os.path.join(REPOSITORY, "api", "compute", "cpus.svc")
        listed = run("--list-outputs", cpus)
        self.assertEqual((listed.returncode, listed.stdout),
                         (0, "tavo/vm/compute/cpus.h\ntavo/vm/compute/cpus.cpp\n"))
        with tempfile.TemporaryDirectory() as directory:
            self.assertEqual(run("--output-dir", directory, cpus).returncode, 0)
            header = os.path.join(directory, "tavo", "vm", "compute", "cpus.h")
            with open(header, encoding="utf-8") as text:
                self.assertTrue(text.read().startswith(
                    "// Generated by tools/generate.py from api/compute/cpus.svc; do not edit.\n"))
            # An unchanged file is left alone, so that nothing depending on it rebuilds.
            os.utime(header, (1, 1))
            self.assertEqual(run("--output-dir", directory, cpus).returncode, 0)
            self.assertEqual(os.stat(header).st_mtime, 1)
        self.assertEqual(run(cpus).returncode, 2)  # --output-dir is required


if __name__ == "__main__":
    unittest.main()
