"""Schemas declared in tests the way the host package declares them.

The decorators make a class a dataclass and store its description where the
host does (`__dovrane_type_info__`, `__dovrane_directive_info__`); `compile`
hands the descriptions to `compile_schema`.
"""
import dataclasses

import _dovrane

STANDARD_SCALARS = ("String", "Int", "Float", "Boolean", "ID")


def _type_decorator(kind):
    def decorator(cls=None, *, name=None, description=None, directives=(), one_of=False):
        def declare(cls):
            cls = dataclasses.dataclass(cls)
            cls.__dovrane_type_info__ = _dovrane.process_type(
                cls, kind=kind, name=name, description=description, directives=list(directives), one_of=one_of)
            return cls

        return declare(cls) if cls is not None else declare

    return decorator


object_type = _type_decorator("type")
interface = _type_decorator("interface")
input_type = _type_decorator("input")


def enum_type(cls=None, *, name=None, description=None, directives=()):
    def declare(cls):
        cls.__dovrane_type_info__ = _dovrane.process_enum(
            cls, name=name, description=description, directives=list(directives))
        return cls

    return declare(cls) if cls is not None else declare


def schema_directive(*, locations, name=None, description=None, repeatable=False):
    def declare(cls):
        cls = dataclasses.dataclass(cls)
        cls.__dovrane_directive_info__ = _dovrane.describe_schema_directive(
            cls, locations=locations, name=name, description=description, repeatable=repeatable)
        return cls

    return declare


def compile(query, *, types=(), unions=(), directives=(), schema_directives=(), scalar_names=STANDARD_SCALARS,
            mutation=None, subscription=None, **keywords):
    """`query`, `mutation` and `subscription` are classes; `types` the other
    declared classes; `unions` annotations; `directives` operation-directive
    functions already described; `schema_directives` directive classes."""
    roots = [cls for cls in (query, mutation, subscription) if cls is not None]
    return _dovrane.compile_schema(
        query_type_name=query.__dovrane_type_info__.name,
        mutation_type_name=mutation.__dovrane_type_info__.name if mutation else None,
        subscription_type_name=subscription.__dovrane_type_info__.name if subscription else None,
        types=[cls.__dovrane_type_info__ for cls in [*roots, *types]],
        unions=[_dovrane.describe_union(annotation) for annotation in unions],
        directives=list(directives),
        schema_directives=[cls.__dovrane_directive_info__ for cls in schema_directives],
        scalar_names=list(scalar_names),
        **keywords,
    )
