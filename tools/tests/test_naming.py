"""The names the generator derives: casing, wire names, qualified names, known names, paths."""

import unittest

from helpers import load_file
from tavo_gen import cpp_types, naming
from tavo_gen.model import Field, Operation, Service, TypeRef


def service(package: str, wire: str, native: str) -> Service:
    described = Service("x.svc")
    described.package, described.wire, described.native = package, wire, native
    return described


def known_names(*wires):
    return naming.known_names([Field(wire, wire, TypeRef("int64"), 1) for wire in wires])


CDROM = service("com.korvan.tavo.vm.device", "cdrom", "CdromSvc")
POWER = service("com.korvan.tavo.vm", "power", "PowerSvc")
SWITCH_ON = Operation("switch_on", "SwitchOn", 1)
SAMPLE = load_file("tests/api/sample.svc")


class NamingTest(unittest.TestCase):
    def test_derived_names(self):
        backing = SAMPLE.structs[0]
        switch_on, listing = SAMPLE.operations[3], SAMPLE.operations[1]
        update = load_file("api/compute/cpus.svc").operations[1]
        for derived, expected in [
            (naming.upper_camel("device_name"), "DeviceName"),
            (naming.upper_camel("guestOS"), "GuestOS"),
            (naming.package_namespace("com.korvan.tavo.vm.device"),
             "Com::Korvan::Tavo::Vm::Device"),
            (naming.service_namespace(CDROM), "Com::Korvan::Tavo::Vm::Device::CdromSvc"),
            (naming.interface_wire_name(CDROM), "com.korvan.tavo.vm.device.cdrom"),
            (naming.type_wire_name(CDROM, "backing_info"),
             "com.korvan.tavo.vm.device.cdrom.backing_info"),
            (naming.qualified(CDROM, "BackingInfo"),
             "::Com::Korvan::Tavo::Vm::Device::CdromSvc::BackingInfo"),
            (naming.method_class(SWITCH_ON), "SwitchOnMethod"),
            (naming.method_builder(SWITCH_ON), "SwitchOnMethodBuilder"),
            (naming.input_qualified(POWER, SWITCH_ON),
             "::Com::Korvan::Tavo::Vm::PowerSvc::SwitchOnMethod::Input"),
            (naming.operation_qualified(POWER, SWITCH_ON),
             "::Com::Korvan::Tavo::Vm::PowerSvc::SwitchOn"),
            (naming.interface_qualified(POWER),
             "::Com::Korvan::Tavo::Vm::PowerSvc::AsyncServiceInterface"),
            (naming.standard_error("NotAllowedInCurrentState"),
             "::Com::Korvan::Quil::Std::Errors::NotAllowedInCurrentState"),
            (naming.annotations(backing), "BackingAnnotations"),
            ([naming.union_cases(f) for f in backing.fields[1:]],
             ["DeviceNameUnionCases", "FileNameUnionCases"]),
            # Byte-wise: upper case before lower case, "_" before letters, a prefix first.
            (known_names("vm", "hw_version", "guest_os", "guest_OS"),
             ["guest_OS", "guest_os", "hw_version", "vm"]),
            (known_names("ab", "a_b", "count", "coun"), ["a_b", "ab", "coun", "count"]),
            # A required structure goes by value: the callee may keep the pointer.
            ([cpp_types.parameter(p.type, p.native) for p in switch_on.params + listing.params],
             ["const std::string& vmId", "const boost::optional<bool>& paused",
              "const Color& color", "const std::int64_t& number", "const std::string& id",
              "const ::Quil::OptionalPtr<const FilterSpec>& filter"]),
            (cpp_types.parameter(update.params[1].type, update.params[1].native),
             "std::shared_ptr<const UpdateSpec> updateSpec"),
            (naming.header_path(service("com.korvan.tavo.vm.compute", "cpus", "S")),
             "tavo/vm/compute/cpus.h"),
            (naming.source_path(service("com.korvan.tavo.vm.compute", "cpus", "S")),
             "tavo/vm/compute/cpus.cpp"),
            (naming.header_path(POWER), "tavo/vm/power.h"),
        ]:
            with self.subTest(expected=expected):
                self.assertEqual(derived, expected)

    def test_name_rules(self):
        for rule, text, accepted in [
            *((naming.is_identifier, good, True) for good in ("guestOS", "E1000", "vm_id")),
            *((naming.is_identifier, bad, False)
              for bad in ("delete", "class", "_UNKNOWN", "1st", "a-b", "")),
            (naming.is_wire_name, "guest_OS", True),
            (naming.is_wire_name, "guest-os", False),
            (naming.is_package, "com.korvan.tavo", True),
            (naming.is_package, "com.korvan", False),
            (naming.is_package, "com.Korvan.tavo", False),
            (naming.is_dotted_name, "Resources.VIRTUAL_CDROM", True),
            (naming.is_dotted_name, "Resources..CDROM", False),
        ]:
            with self.subTest(rule=rule.__name__, text=text):
                self.assertEqual(rule(text), accepted)


if __name__ == "__main__":
    unittest.main()
