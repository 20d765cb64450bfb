"""The generated files: the checked-in golden output, order of declarations, layout, and the
command line."""

import difflib
import os
import re
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
                with open(os.path.join(GOLDEN, relative), encoding="utf-8") as expected_file, \
                        open(os.path.join(directory, relative), encoding="utf-8") as actual_file:
                    expected, actual = expected_file.read(), actual_file.read()
                if expected != actual:
                    diff = "".join(difflib.unified_diff(
                        expected.splitlines(True), actual.splitlines(True),
                        f"golden/{relative}", f"generated/{relative}"))
                    self.fail(f"{relative} differs from the golden file; if the change is "
                              "intended, regenerate it as golden.svc says.\n" + diff)


class OperationTest(unittest.TestCase):
    def setUp(self):
        header, source = generated(OPERATIONS)
        self.header, self.source = flat(header), flat(source)

    def test_result_types(self):
        results = dict(re.findall(
            r"struct TAVO_VM_API (\w+)Method \{.*?using ResultType = ([^;]+);", self.header))
        self.assertEqual(results, {
            "Configure": "Mode",
            "Ping": "::Quil::Void",
            "Describe": "std::string",
            "Fetch": "std::shared_ptr<const Spec>",
            "ListAll": "std::vector<std::shared_ptr<const Spec>>",
        })
        self.assertEqual(self.header.count("using Interface = AsyncServiceInterface; "), 5)
        self.assertEqual(self.header.count(
            "using ResultCbType = ::Quil::AsyncResult<ResultType>; "), 5)
        # Declared ahead of the method classes, which name it.
        self.assertLess(self.header.index("class AsyncServiceInterface; "),
                        self.header.index("struct TAVO_VM_API ConfigureMethod {"))

    def test_parameters_are_passed_in_declaration_order(self):
        configure = ("Configure(const std::string& vmId, std::shared_ptr<const Spec> spec, "
                     "const ::Quil::OptionalPtr<const Spec>& filter, "
                     "const boost::optional<bool>& paused, const Mode& mode, "
                     "const std::int64_t& count, const std::set<std::string>& names, "
                     "const std::vector<std::shared_ptr<const Spec>>& specs, "
                     f"{ACTIVATION}, const ConfigureMethod::ResultCbType& result)")
        ping = f"Ping({ACTIVATION}, const PingMethod::ResultCbType& result)"
        self.assertIn(f"virtual void {configure} = 0;", self.header)
        self.assertIn(f"virtual void {ping} = 0;", self.header)
        self.assertIn(f"void {configure} override;", self.header)
        self.assertIn(f"void {ping} override;", self.header)
        self.assertIn(f"void AsyncServiceStub::{configure} {{", self.source)
        # Slot order: the operations as described, then the destructor.
        slots = [self.header.index(f"virtual void {name}(")
                 for name in ("Configure", "Ping", "Describe", "Fetch", "ListAll")]
        slots.append(self.header.index("virtual ~AsyncServiceInterface();"))
        self.assertEqual(slots, sorted(slots))
        self.assertIn("class TAVO_VM_API AsyncServiceStub final : public AsyncServiceInterface {",
                      self.header)

    def test_builders_pass_the_input_members_then_activation_and_result(self):
        self.assertIn("struct ConfigureMethodBuilder { template <typename Member> auto operator()("
                      "Member member, "
                      "const std::shared_ptr<AsyncServiceInterface>& implementation, "
                      "const std::shared_ptr<::Quil::L10n::Localizer>& /*localizer*/) const { "
                      "return ::Quil::Provider::MakeMethodFilter<ConfigureMethod>("
                      "[member, implementation](const ConfigureMethod::Input& input, "
                      "const std::shared_ptr<::Quil::Core::AsyncActivation>& activation, "
                      "const ConfigureMethod::ResultCbType& result) { "
                      "((*implementation).*member)(input.vmId, input.spec, input.filter, "
                      "input.paused, input.mode, input.count, input.names, input.specs, "
                      "activation, result); }); } };", self.header)
        # Without parameters the record is not read, and not named.
        self.assertIn("[member, implementation](const PingMethod::Input& /*input*/, ", self.header)
        self.assertIn("((*implementation).*member)(activation, result); });", self.header)
        self.assertIn("return ::Quil::Provider::GetApiMethodInstance<M>("
                      "std::forward<Filter>(filter), localizer);", self.header)

    def test_bind_lists_the_methods_in_interface_order(self):
        instances = re.findall(r"GetApiMethodInstance<(\w+)Method>\((\w+)MethodBuilder\{\}\("
                               r"&AsyncServiceInterface::(\w+), implementation, localizer\), "
                               r"localizer\)", self.source)
        self.assertEqual(instances, [(name, name, name) for name in
                                     ("Configure", "Ping", "Describe", "Fetch", "ListAll")])
        self.assertIn("auto id = ::Quil::Core::InterfaceIdentifier::GetInstance("
                      "::Quil::TypeInfo<AsyncServiceInterface>::name()); "
                      "return ::Quil::Provider::AsyncApiInterface::GetInstance(std::move(id), "
                      "{GetApiMethodInstance<ConfigureMethod>(", self.source)
        self.assertIn("return BindImplementation(std::move(implementation), "
                      "std::make_shared<::Quil::L10n::Localizer>());", self.source)
        self.assertIn("return AsyncServiceBinderHelper::Bind(std::move(implementation), "
                      "std::move(localizer));", self.source)
        self.assertIn("template <> struct TypeInfo<::Com::Korvan::Tavo::Test::SampleSvc::"
                      "AsyncServiceInterface> { static std::string name() { "
                      'return "com.korvan.tavo.test.sample"; } };', self.header)

    def test_stub_fills_the_input_record_in_parameter_order(self):
        self.assertIn("ConfigureMethod::Input input; input.vmId = vmId; "
                      "input.spec = std::move(spec); input.filter = filter; "
                      "input.paused = paused; input.mode = mode; input.count = count; "
                      "input.names = names; input.specs = specs; "
                      "::Quil::Stub::AsyncMethodInvoker::Invoke<ConfigureMethod>(input, "
                      "std::move(activation), result, apiStub_); }", self.source)
        self.assertIn("PingMethod::Input input; ::Quil::Stub::AsyncMethodInvoker::Invoke<"
                      "PingMethod>(input, std::move(activation), result, apiStub_); }",
                      self.source)
        self.assertIn("AsyncServiceStub::AsyncServiceStub(std::shared_ptr<::Quil::Stub::"
                      "AsyncApiStub> apiStub) : apiStub_(std::move(apiStub)) {}", self.source)

    def test_facts_name_the_members_that_hold_an_enumeration(self):
        members = re.findall(
            r'facts\.operationMembers\.push_back\(\{"(\w+)", "(\w*)", "([\w.]+)"\}\);', self.source)
        self.assertEqual(members, [("configure", "mode", "com.korvan.tavo.test.sample.mode"),
                                   ("configure", "", "com.korvan.tavo.test.sample.mode")])
        self.assertIn('facts.enumerations.emplace_back("com.korvan.tavo.test.sample.mode", '
                      "Mode::Strings::values);", self.source)
        self.assertNotIn("facts.structureFields", self.source)

    def test_method_definitions(self):
        self.assertIn('std::string ConfigureMethod::methodName() { return "configure"; }',
                      self.source)
        self.assertIn('std::string ListAllMethod::methodName() { return "list_all"; }',
                      self.source)
        self.assertIn("::Quil::Data::DataDefinitionPtr FetchMethod::inputDef() { "
                      "return ::Quil::Provider::MethodDefinitions::Of<Input>(); }", self.source)
        self.assertIn("::Quil::Data::DataDefinitionPtr FetchMethod::outputDef() { "
                      "return ::Quil::Provider::MethodDefinitions::Of<ResultType>(); }",
                      self.source)
        errors = dict(re.findall(r"(\w+)Method::errorDefs\(\) \{ return ::Quil::Provider::"
                                 r"MethodDefinitions::Errors<([^>]*)>\(\); \}", self.source))
        self.assertEqual(errors, {
            "Configure": f"{ERRORS}NotFound, {ERRORS}InvalidArgument, {ERRORS}Error",
            "Ping": "", "Describe": f"{ERRORS}Error", "Fetch": "", "ListAll": ""})
        self.assertIn("AsyncServiceInterface::~AsyncServiceInterface() = default;", self.source)
        self.assertIn("AsyncServiceStub::~AsyncServiceStub() = default;", self.source)
        for include in ("quil/async_result.h", "quil/core/activation.h", "quil/l10n/localizer.h",
                        "quil/provider/api_method.h"):
            self.assertIn(f"#include <{include}>", self.header)
        for include in ("quil/provider/binder.h", "quil/provider/method_filter.h",
                        "quil/provider/method_definitions.h", "quil/stub/invoker.h",
                        "quil/std/errors.h"):
            self.assertIn(f"#include <{include}>", self.source)

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

    def test_metadata_factories_only_for_described_structures(self):
        header, source = generated(
            HEAD + "struct plain Plain\n  field vm vm string\n"
            "struct add_spec AddSpec\n  field vm vm string\n  field disk disk string\n"
            "  metadata com.korvan.tavo.test.Sample.AddSpec\n"
            "    resource disk com.korvan.tavo.resources.VirtualDisk\n"
            "    resource vm com.korvan.tavo.resources.VirtualMachine\n"
            "operation add Add\n  param spec spec ptr<AddSpec>\n  result void\n")
        qualified = "::Com::Korvan::Tavo::Test::SampleSvc::AddSpec"
        # The facts, in the structure, in the order written.
        self.assertIn('static constexpr std::string_view name = '
                      '"com.korvan.tavo.test.Sample.AddSpec";', header)
        self.assertIn('staticconstexprstd::string_viewresourceTypes[][2]={'
                      '{"disk","com.korvan.tavo.resources.VirtualDisk"},'
                      '{"vm","com.korvan.tavo.resources.VirtualMachine"}};', "".join(header.split()))
        # Declared and exported in the header, after everything else; defined in the source
        # through the one generic function.
        self.assertIn("namespace Quil::Metadata { template <> TAVO_VM_API "
                      f"std::shared_ptr<StructInfo> StructInfo::Create<{qualified}>(); }}",
                      flat(header))
        self.assertTrue(header.endswith("}  // namespace Quil::Metadata\n"))
        self.assertIn(f"template <> std::shared_ptr<StructInfo> StructInfo::Create<{qualified}>() "
                      f"{{ using Facts = {qualified}::Metadata; "
                      "return MakeStructInfo(Facts::name, Facts::resourceTypes); }", flat(source))
        self.assertIn("#include <quil/metadata_factory.h>", source)
        for text in (header, source):
            self.assertEqual(text.count("StructInfo::Create<"), 1)
            self.assertNotIn("Create<::Com::Korvan::Tavo::Test::SampleSvc::Plain>", text)
            self.assertNotIn("Create<::Com::Korvan::Tavo::Test::SampleSvc::AddMethod", text)
        # A service without metadata has no factory section at all.
        for text in generated(HEAD + "struct plain Plain\n  field vm vm string\n"):
            self.assertNotIn("namespace Quil::Metadata", text)

    def test_lines_stay_within_the_column_limit(self):
        for output in generated(LONG_NAMES) + generated(OPERATIONS):
            for line in output.split("\n"):
                self.assertLessEqual(len(line), writer.COLUMN_LIMIT, line)
        catalogue = sorted(os.path.relpath(os.path.join(folder, name), REPOSITORY)
                           for folder, _, names in os.walk(os.path.join(REPOSITORY, "api"))
                           for name in names if name.endswith(".svc"))
        self.assertEqual(len(catalogue), 10)
        for description in catalogue + ["tests/api/sample.svc"]:
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
