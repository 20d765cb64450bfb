"""The generated files: the checked-in golden output, order of declarations, layout, and the
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


# Operations with every kind of result and of parameter passing, and one without parameters.
OPERATIONS = HEAD + (
    "enum mode Mode\n  value ON\n  value OFF\n"
    "struct spec Spec\n  field name name string\n"
    "operation configure Configure\n"
    "  param vm_id vmId string\n  param spec spec ptr<Spec>\n  param filter filter optptr<Spec>\n"
    "  param paused paused optional<bool>\n  param mode mode Mode\n  param count count int64\n"
    "  param names names set<string>\n  param specs specs list<Spec>\n"
    "  result Mode\n  errors NotFound InvalidArgument Error\n"
    "operation ping Ping\n  result void\n"
    "operation describe Describe\n  param vm vm string\n  result string\n  errors Error\n"
    "operation fetch Fetch\n  param vm vm string\n  result ptr<Spec>\n"
    "operation list_all ListAll\n  result list<Spec>\n")

ACTIVATION = "std::shared_ptr<::Quil::Core::AsyncActivation> activation"
ERRORS = "::Com::Korvan::Quil::Std::Errors::"


def generated(text: str):
    return generator.generate(load(text), "test.svc")


def flat(code: str) -> str:
    """The code on one line, so that checks do not depend on where lines wrap."""
    return re.sub(r"([(<]) ", r"\1", " ".join(code.split()))


def run(*arguments):
    return subprocess.run([sys.executable, GENERATOR, *arguments], capture_output=True, text=True)


class GoldenTest(unittest.TestCase):
    def test_regenerating_the_golden_description_gives_the_checked_in_files(self):
        with tempfile.TemporaryDirectory() as directory:
            self.assertEqual(run("--output-dir", directory, GOLDEN_DESCRIPTION).returncode, 0)
            for relative in ("tavo/test/golden.h", "tavo/test/golden.cpp"):
                expected, actual = (pathlib.Path(root, relative).read_text(encoding="utf-8")
                                    for root in (GOLDEN, directory))
                diff = "".join(difflib.unified_diff(
                    expected.splitlines(True), actual.splitlines(True),
                    f"golden/{relative}", f"generated/{relative}"))
                self.assertFalse(diff, f"{relative} differs from the golden file; if the change "
                                 "is intended, regenerate it as golden.svc says.\n" + diff)


class OperationTest(unittest.TestCase):
    def setUp(self):
        self.header, self.source = (flat(text) for text in generated(OPERATIONS))

    def test_result_types(self):
        results = dict(re.findall(
            r"struct TAVO_VM_API (\w+)Method \{.*?using ResultType = ([^;]+);", self.header))
        self.assertEqual(results, {
            "Configure": "Mode", "Ping": "::Quil::Void", "Describe": "std::string",
            "Fetch": "std::shared_ptr<const Spec>",
            "ListAll": "std::vector<std::shared_ptr<const Spec>>"})

    def test_parameters_are_passed_in_declaration_order(self):
        configure = ("Configure(const std::string& vmId, std::shared_ptr<const Spec> spec, "
                     "const ::Quil::OptionalPtr<const Spec>& filter, "
                     "const boost::optional<bool>& paused, const Mode& mode, "
                     "const std::int64_t& count, const std::set<std::string>& names, "
                     "const std::vector<std::shared_ptr<const Spec>>& specs, "
                     f"{ACTIVATION}, const ConfigureMethod::ResultCbType& result)")
        self.assertIn(f"virtual void {configure} = 0;", self.header)
        self.assertIn(f"void AsyncServiceStub::{configure} {{", self.source)
        slots = [self.header.index(f"virtual void {name}(")
                 for name in ("Configure", "Ping", "Describe", "Fetch", "ListAll")]
        slots.append(self.header.index("virtual ~AsyncServiceInterface();"))
        self.assertEqual(slots, sorted(slots))
        self.assertIn("((*implementation).*member)(input.vmId, input.spec, input.filter, "
                      "input.paused, input.mode, input.count, input.names, input.specs, "
                      "activation, result); }); } };", self.header)
        self.assertIn("ConfigureMethod::Input input; input.vmId = vmId; "
                      "input.spec = std::move(spec); input.filter = filter; "
                      "input.paused = paused; input.mode = mode; input.count = count; "
                      "input.names = names; input.specs = specs; ", self.source)
        instances = re.findall(r"GetApiMethodInstance<(\w+)Method>\((\w+)MethodBuilder\{\}\("
                               r"&AsyncServiceInterface::(\w+), implementation, localizer\), "
                               r"localizer\)", self.source)
        self.assertEqual(instances, [(name, name, name) for name in
                                     ("Configure", "Ping", "Describe", "Fetch", "ListAll")])

    def test_facts_and_method_definitions(self):
        members = re.findall(
            r'facts\.operationMembers\.push_back\(\{"(\w+)", "(\w*)", "([\w.]+)"\}\);', self.source)
        self.assertEqual(members, [("configure", "mode", "com.korvan.tavo.test.sample.mode"),
                                   ("configure", "", "com.korvan.tavo.test.sample.mode")])
        self.assertNotIn("facts.structureFields", self.source)
        self.assertIn('std::string ListAllMethod::methodName() { return "list_all"; }',
                      self.source)
        errors = dict(re.findall(r"(\w+)Method::errorDefs\(\) \{ return ::Quil::Provider::"
                                 r"MethodDefinitions::Errors<([^>]*)>\(\); \}", self.source))
        self.assertEqual(errors, {
            "Configure": f"{ERRORS}NotFound, {ERRORS}InvalidArgument, {ERRORS}Error",
            "Ping": "", "Describe": f"{ERRORS}Error", "Fetch": "", "ListAll": ""})

    def test_a_service_without_operations(self):
        header, source = (flat(text) for text in generated(HEAD + "struct s S\n"))
        self.assertNotIn("class AsyncServiceInterface;", header)
        self.assertIn("class TAVO_VM_API AsyncServiceInterface { public: "
                      "virtual ~AsyncServiceInterface(); };", header)
        # Bind binds nothing, so it names neither parameter.
        self.assertIn("AsyncServiceBinderHelper::Bind(std::shared_ptr<AsyncServiceInterface> "
                      "/*implementation*/, std::shared_ptr<::Quil::L10n::Localizer> "
                      "/*localizer*/) {", source)
        self.assertIn("::Quil::Provider::AsyncApiInterface::GetInstance(std::move(id), {});",
                      source)


class OutputTest(unittest.TestCase):
    def test_structures_follow_what_they_point_to(self):
        header, _ = generated(HEAD + "struct a A\n  field b b ptr<B>\n  field c c list<C>\n"
                              "struct b B\n  field c c optional<set<string>>\n"
                              "struct c C\n  field b b ptr<B>\n"
                              "struct d D\n  field e e ptr<E>\n"
                              "struct e E\n  field d d list<D>\n"
                              "struct n N\n  field next next list<N>\n")
        at = {name: header.index(f"\nstruct TAVO_VM_API {name} : ") for name in "ABCDE"}
        self.assertLess(at["B"], at["C"])  # B, then C which points to B, then A
        self.assertLess(at["C"], at["A"])
        # The cycle D -> E -> D: D declared ahead, then E; a self-reference needs no declaration.
        self.assertEqual(re.findall(r"\nstruct TAVO_VM_API (\w+);\n", header), ["D"])
        self.assertLess(header.index("\nstruct TAVO_VM_API D;\n"), at["E"])
        self.assertLess(at["E"], at["D"])

    def test_members_start_from_their_defaults(self):
        header, _ = generated(HEAD + "struct s S\n  field guest_OS guestOS string\n"
                              "  field count count int64\n  field cores coresPerSocket bool\n")
        self.assertIn("  std::string guestOS;\n  std::int64_t count = 0;\n"
                      "  bool coresPerSocket = false;\n", header)

    def test_union_cases_with_several_tag_values(self):
        _, source = generator.generate(load_file("tests/api/sample.svc"), "sample.svc")
        self.assertIn('BackingAnnotations::DeviceNameUnionCases::Strings::values[4] = {\n'
                      '    "DEVICE", "PIPE", "_UNKNOWN", nullptr};', source)

    def test_metadata_factories_only_for_described_structures(self):
        header, source = generated(
            HEAD + "struct plain Plain\n  field vm vm string\n"
            "struct add_spec AddSpec\n  field vm vm string\n  field disk disk string\n"
            "  metadata com.korvan.tavo.test.Sample.AddSpec\n"
            "    resource disk com.korvan.tavo.resources.VirtualDisk\n"
            "    resource vm com.korvan.tavo.resources.VirtualMachine\n"
            "operation add Add\n  param spec spec ptr<AddSpec>\n  result void\n")
        self.assertIn('{"disk","com.korvan.tavo.resources.VirtualDisk"},'
                      '{"vm","com.korvan.tavo.resources.VirtualMachine"}};', "".join(header.split()))
        for text in (header, source):  # AddSpec only: not Plain, not the input record of Add
            self.assertEqual(text.count("StructInfo::Create<"), 1)
        for text in generated(HEAD + "struct plain Plain\n  field vm vm string\n"):
            self.assertNotIn("namespace Quil::Metadata", text)

    def test_lines_stay_within_the_column_limit(self):
        catalogue = [os.path.relpath(os.path.join(folder, name), REPOSITORY)
                     for folder, _, names in os.walk(os.path.join(REPOSITORY, "api"))
                     for name in names if name.endswith(".svc")]
        self.assertEqual(len(catalogue), 10)
        outputs = generated(LONG_NAMES) + generated(OPERATIONS) + tuple(
            output for description in catalogue + ["tests/api/sample.svc"]
            for output in generator.generate(load_file(description), description))
        for output in outputs:
            self.assertTrue(output.endswith("\n") and not output.endswith("\n\n"))
            for line in output.split("\n"):
                self.assertLessEqual(len(line), printer.COLUMN_LIMIT, line)

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
