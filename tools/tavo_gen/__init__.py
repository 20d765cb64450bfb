"""Turns service descriptions (.svc files) into the C++ of a service: its native types, method
classes, interface, binder and stub.

The package is split by entity: `parser` reads a description into the `model`, `checks` resolves
and validates it, `naming` owns every derived name, and the emitters (`enums`, `unions`,
`structs`, `operations`, `services`, `descriptors`) write C++ through the `printer`, which owns
indentation and line breaks; `generator` puts the pieces into one header and one source per
service.
"""
