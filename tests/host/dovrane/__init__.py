"""A stand-in for the host package `dovrane`, for the tests of `_dovrane`.

It is the smallest package that honours what `_dovrane` imports from the
host, reads on its objects and calls, plus the decorators that declare a
schema; the real package is not part of this repository.
"""
from typing import NewType

from dovrane._field import field
from dovrane._schema import compile_schema, enum_type as enum, input_type as input, interface, \
    object_type as type, schema_directive

# The scalar ID, matched by identity.
ID = NewType("ID", str)

__all__ = ["ID", "compile_schema", "enum", "field", "input", "interface", "schema_directive", "type"]
