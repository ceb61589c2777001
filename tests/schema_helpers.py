"""Schemas declared in tests the way the host package declares them.

The decorators are the host stand-in's (`dovrane.type` and the others);
`compile` hands the declared classes to `compile_schema`, with the standard
scalars registered unless the test says otherwise.
"""
from dovrane._schema import compile_schema, enum_type, input_type, interface, object_type, schema_directive

STANDARD_SCALARS = ("String", "Int", "Float", "Boolean", "ID")

__all__ = ["STANDARD_SCALARS", "compile", "enum_type", "input_type", "interface", "object_type", "schema_directive"]


def compile(query, *, scalar_names=STANDARD_SCALARS, **keywords):
    return compile_schema(query, scalar_names=scalar_names, **keywords)
