"""The generated files: the checked-in golden output, the facts every output keeps, and the
command line."""

import difflib
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

from helpers import GENERATOR, HEAD, REPOSITORY, load, load_file
from tavo_gen import generator, printer

GOLDEN = os.path.join(REPOSITORY, "tools", "tests", "golden")

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
    + "".join(f"  field controller_number_{i} controllerNumber{i} int64\n" for i in range(12)) +
    "  metadata com.korvan.tavo.vm.device.SataController.SummaryWithLongName\n"
    "    resource controller_number_1 com.korvan.tavo.resources.VirtualControllerNumber\n"
    "operation update_number UpdateNumber\n"
    "  param controller_number_of_the_device controllerNumberOfTheDevice "
    "optional<set<HbaTypeWithARatherLongName>>\n"
    "  param summary_with_long_name summaryWithLongName ptr<SummaryWithLongName>\n"
    "  result list<SummaryWithLongName>\n"
    "  errors NotFound InvalidArgument NotAllowedInCurrentState ResourceBusy\n")


def generated(text: str):
    return generator.generate(load(text), "test.svc")


def flat(code: str) -> str:
    """The code on one line, so that checks do not depend on where lines break."""
    return re.sub(r"([(<{]) ", r"\1", " ".join(code.split()))


def run(*arguments):
    return subprocess.run([sys.executable, GENERATOR, *arguments], capture_output=True, text=True)


class OutputTest(unittest.TestCase):
    def test_regenerating_the_golden_description_gives_the_checked_in_files(self):
        with tempfile.TemporaryDirectory() as directory:
            self.assertEqual(run("--output-dir", directory, f"{GOLDEN}/golden.svc").returncode, 0)
            for relative in ("tavo/test/golden.h", "tavo/test/golden.cpp"):
                expected, actual = (pathlib.Path(root, relative).read_text(encoding="utf-8")
                                    for root in (GOLDEN, directory))
                diff = "".join(difflib.unified_diff(
                    expected.splitlines(True), actual.splitlines(True),
                    f"golden/{relative}", f"generated/{relative}"))
                self.assertFalse(diff, f"{relative} differs from the golden file; if the change "
                                 "is intended, regenerate it as golden.svc says.\n" + diff)

    def test_structures_follow_what_they_point_to(self):
        header, _ = generated(HEAD + "struct a A\n  field b b ptr<B>\n  field c c list<C>\n"
                              "struct b B\n  field c c optional<set<string>>\n"
                              "struct c C\n  field b b ptr<B>\n"
                              "struct d D\n  field e e ptr<E>\n"
                              "struct e E\n  field d d list<D>\n"
                              "struct n N\n  field next next list<N>\n")
        order = re.findall(r"\nstruct TAVO_VM_API (\w+) : ", header)
        # B, then C which points to B, then A; the cycle D -> E -> D is met at D, so E comes
        # first with D declared ahead of it; a self-reference needs no declaration.
        self.assertEqual(order, ["B", "C", "A", "E", "D", "N"])
        self.assertEqual(re.findall(r"\nstruct TAVO_VM_API (\w+);\n", header), ["D"])

    def test_a_service_without_operations_or_metadata(self):
        header, source = (flat(text) for text in generated(HEAD + "struct s S\n"))
        self.assertNotIn("class AsyncServiceInterface;", header)
        # Bind binds nothing, so it names neither parameter.
        self.assertIn("Bind(std::shared_ptr<AsyncServiceInterface> /*implementation*/, "
                      "std::shared_ptr<::Quil::L10n::Localizer> /*localizer*/) {", source)
        self.assertIn("GetInstance(std::move(id), {});", source)
        for text in (header, source):
            self.assertNotIn("Quil::Metadata", text)

    def test_lines_stay_within_the_column_limit(self):
        catalogue = [os.path.relpath(os.path.join(folder, name), REPOSITORY)
                     for folder, _, names in os.walk(os.path.join(REPOSITORY, "api"))
                     for name in names if name.endswith(".svc")]
        self.assertEqual(len(catalogue), 10)
        outputs = generated(LONG_NAMES) + tuple(
            output for description in catalogue + ["tests/api/native_kinds.svc"]
            for output in generator.generate(load_file(description), description))
        for output in outputs:
            self.assertTrue(output.endswith("\n") and "\n\n\n" not in output + "\n")
            for line in output.split("\n"):
                self.assertLessEqual(len(line), printer.COLUMN_LIMIT, line)
                self.assertEqual(line, line.rstrip())


class CommandTest(unittest.TestCase):
    # The build lists and writes every description, and the golden test checks what is written.
    def test_an_unchanged_file_is_left_alone(self):
        cpus = os.path.join(REPOSITORY, "api", "compute", "cpus.svc")
        with tempfile.TemporaryDirectory() as directory:
            self.assertEqual(run("--output-dir", directory, cpus).returncode, 0)
            header = os.path.join(directory, "tavo", "vm", "compute", "cpus.h")
            # So that nothing depending on it rebuilds.
            os.utime(header, (1, 1))
            self.assertEqual(run("--output-dir", directory, cpus).returncode, 0)
            self.assertEqual(os.stat(header).st_mtime, 1)
        self.assertEqual(run(cpus).returncode, 2)  # --output-dir is required

    def test_a_fault_is_reported_on_stderr_with_status_1(self):
        with tempfile.TemporaryDirectory() as directory:
            path, missing, output = (os.path.join(directory, name)
                                     for name in ("bad.svc", "missing.svc", "out"))
            pathlib.Path(path).write_text(HEAD + "struct s S\n  field a a Foo\n", encoding="utf-8")
            faulty, absent = (run("--output-dir", output, source) for source in (path, missing))
            self.assertEqual((faulty.returncode, faulty.stdout, faulty.stderr),
                             (1, "", f"{path}:4: error: unknown type 'Foo'\n"))
            self.assertFalse(os.path.exists(output))
            self.assertEqual(absent.returncode, 1)
            self.assertTrue(absent.stderr.startswith(f"{missing}: error: "))


if __name__ == "__main__":
    unittest.main()
