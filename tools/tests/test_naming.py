"""The names the generator derives that its golden output cannot show, and the name rules."""

import unittest

import helpers  # noqa: F401  (puts the generator on the path)
from tavo_gen import naming
from tavo_gen.model import Field, TypeRef


def known_names(*wires):
    return naming.known_names([Field(wire, wire, TypeRef("int64"), 1) for wire in wires])


class NamingTest(unittest.TestCase):
    def test_derived_names(self):
        # The golden output shows the namespaces, qualified names, method classes, annotations,
        # union cases, parameters and paths; these are what it cannot show.
        for derived, expected in [
            (naming.upper_camel("device_name"), "DeviceName"),
            (naming.upper_camel("guestOS"), "GuestOS"),
            # Byte-wise: upper case before lower case, "_" before letters, a prefix first.
            (known_names("vm", "hw_version", "guest_os", "guest_OS"),
             ["guest_OS", "guest_os", "hw_version", "vm"]),
            (known_names("ab", "a_b", "count", "coun"), ["a_b", "ab", "coun", "count"]),
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
