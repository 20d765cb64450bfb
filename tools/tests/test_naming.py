"""The names the generator derives: casing, wire names, qualified names, known names, paths."""

import unittest

from helpers import load_file
from tavo_gen import cpp_types, naming
from tavo_gen.model import Field, Operation, Service, TypeRef


def service(package: str, wire: str, native: str) -> Service:
    described = Service("x.svc")
    described.package, described.wire, described.native = package, wire, native
    return described


class NamingTest(unittest.TestCase):
    def test_casing(self):
        self.assertEqual(naming.upper_camel("deviceName"), "DeviceName")
        self.assertEqual(naming.upper_camel("device_name"), "DeviceName")
        self.assertEqual(naming.upper_camel("isoFile"), "IsoFile")
        self.assertEqual(naming.upper_camel("guestOS"), "GuestOS")
        self.assertEqual(naming.package_namespace("com.korvan.tavo.vm.device"),
                         "Com::Korvan::Tavo::Vm::Device")

    def test_service_names(self):
        cdrom = service("com.korvan.tavo.vm.device", "cdrom", "CdromSvc")
        self.assertEqual(naming.service_namespace(cdrom), "Com::Korvan::Tavo::Vm::Device::CdromSvc")
        self.assertEqual(naming.interface_wire_name(cdrom), "com.korvan.tavo.vm.device.cdrom")
        self.assertEqual(naming.type_wire_name(cdrom, "backing_info"),
                         "com.korvan.tavo.vm.device.cdrom.backing_info")
        self.assertEqual(naming.qualified(cdrom, "BackingInfo"),
                         "::Com::Korvan::Tavo::Vm::Device::CdromSvc::BackingInfo")

        power = service("com.korvan.tavo.vm", "power", "PowerSvc")
        switch_on = Operation("switch_on", "SwitchOn", 1)
        self.assertEqual(naming.method_class(switch_on), "SwitchOnMethod")
        self.assertEqual(naming.input_qualified(power, switch_on),
                         "::Com::Korvan::Tavo::Vm::PowerSvc::SwitchOnMethod::Input")
        self.assertEqual(naming.operation_qualified(power, switch_on),
                         "::Com::Korvan::Tavo::Vm::PowerSvc::SwitchOn")
        self.assertEqual(naming.method_builder(switch_on), "SwitchOnMethodBuilder")
        self.assertEqual(naming.interface_qualified(power),
                         "::Com::Korvan::Tavo::Vm::PowerSvc::AsyncServiceInterface")
        self.assertEqual(naming.standard_error("NotAllowedInCurrentState"),
                         "::Com::Korvan::Quil::Std::Errors::NotAllowedInCurrentState")

    def test_union_names(self):
        backing = load_file("tests/api/sample.svc").structs[0]
        self.assertEqual(naming.annotations(backing), "BackingAnnotations")
        self.assertEqual([naming.union_cases(f) for f in backing.fields[1:]],
                         ["DeviceNameUnionCases", "FileNameUnionCases"])
        iso = Field("iso_file", "isoFile", TypeRef("string"), 1)
        self.assertEqual(naming.union_cases(iso), "IsoFileUnionCases")

    def test_known_names_are_sorted_byte_wise(self):
        info = load_file("api/compute/cpus.svc").structs[0]
        self.assertEqual(naming.known_names(info.fields),
                         ["cores_per_socket", "count", "hot_add_enabled", "hot_remove_enabled"])

        def names(*wires):
            return naming.known_names([Field(w, w, TypeRef("int64"), 1) for w in wires])

        # Upper case before lower case, "_" before letters, a prefix before its extensions.
        self.assertEqual(names("vm", "hw_version", "guest_os", "guest_OS"),
                         ["guest_OS", "guest_os", "hw_version", "vm"])
        self.assertEqual(names("ab", "a_b", "count", "coun"), ["a_b", "ab", "coun", "count"])
        self.assertEqual(names(), [])

    def test_parameter_passing(self):
        operation = load_file("tests/api/sample.svc").operations[3]  # switch_on, then the rest
        spelled = [cpp_types.parameter(p.type, p.native) for p in operation.params]
        self.assertEqual(spelled, ["const std::string& vmId", "const boost::optional<bool>& paused",
                                   "const Color& color", "const std::int64_t& number"])
        listing = load_file("tests/api/sample.svc").operations[1]
        self.assertEqual([cpp_types.parameter(p.type, p.native) for p in listing.params],
                         ["const std::string& id",
                          "const ::Quil::OptionalPtr<const FilterSpec>& filter"])
        # A required structure goes by value: the callee may keep the pointer.
        update = load_file("api/compute/cpus.svc").operations[1]
        self.assertEqual(cpp_types.parameter(update.params[1].type, update.params[1].native),
                         "std::shared_ptr<const UpdateSpec> updateSpec")

    def test_output_paths(self):
        cpus = service("com.korvan.tavo.vm.compute", "cpus", "CpusSvc")
        self.assertEqual(naming.header_path(cpus), "tavo/vm/compute/cpus.h")
        self.assertEqual(naming.source_path(cpus), "tavo/vm/compute/cpus.cpp")
        self.assertEqual(naming.header_path(service("com.korvan.tavo.vm", "power", "PowerSvc")),
                         "tavo/vm/power.h")
        self.assertEqual(naming.header_path(service("com.korvan.tavo.test", "sample", "S")),
                         "tavo/test/sample.h")
        self.assertEqual(
            naming.header_path(service("com.korvan.tavo.vm.device", "sata_controller", "S")),
            "tavo/vm/device/sata_controller.h")

    def test_name_rules(self):
        for good in ("guestOS", "E1000", "Info", "vm_id"):
            self.assertTrue(naming.is_identifier(good), good)
        for bad in ("delete", "class", "_UNKNOWN", "1st", "a-b", ""):
            self.assertFalse(naming.is_identifier(bad), bad)
        self.assertTrue(naming.is_wire_name("guest_OS"))
        self.assertFalse(naming.is_wire_name("guest-os"))
        self.assertTrue(naming.is_package("com.korvan.tavo"))
        self.assertFalse(naming.is_package("com.korvan"))
        self.assertFalse(naming.is_package("com.Korvan.tavo"))
        self.assertTrue(naming.is_dotted_name("Resources.VIRTUAL_CDROM"))
        self.assertFalse(naming.is_dotted_name("Resources..CDROM"))


if __name__ == "__main__":
    unittest.main()
