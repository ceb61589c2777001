"""Declaring a schema: the decorators, and the schema builder's last step.

The decorators make a class a dataclass (an enum stays as it is) and store
its description where `_dovrane` reads it: `__dovrane_type_info__` on types
and enums, `__dovrane_directive_info__` on schema directive classes. The
stand-in walks no graph: `compile_schema` is given every declared class.
"""
import dataclasses
from types import SimpleNamespace

import _dovrane


def _type_decorator(kind):
    def decorator(cls=None, *, name=None, description=None, directives=(), one_of=False):
        def declare(cls):
            cls = dataclasses.dataclass(cls)
            # A field that names the class itself is named by the class's own
            # info, which process_type has not returned yet: a provisional one
            # gives it the declared name (the class name, or `name`).
            cls.__dovrane_type_info__ = SimpleNamespace(kind=kind, name=name or cls.__name__, enum_values=[])
            try:
                cls.__dovrane_type_info__ = _dovrane.process_type(
                    cls, kind=kind, name=name, description=description, directives=list(directives), one_of=one_of)
            except BaseException:
                del cls.__dovrane_type_info__
                raise
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


def compile_arguments(query, *, mutation=None, subscription=None, types=(), unions=(), directives=(),
                      schema_directives=(), scalar_names=()):
    """The required arguments of `_dovrane.compile_schema`. `query`, `mutation`
    and `subscription` are root classes, `types` the other declared classes,
    `unions` union annotations, `directives` OperationDirectiveInfo objects and
    `schema_directives` directive classes."""
    roots = [cls for cls in (query, mutation, subscription) if cls is not None]
    return dict(
        query_type_name=query.__dovrane_type_info__.name,
        mutation_type_name=mutation.__dovrane_type_info__.name if mutation else None,
        subscription_type_name=subscription.__dovrane_type_info__.name if subscription else None,
        types=[cls.__dovrane_type_info__ for cls in [*roots, *types]],
        unions=[_dovrane.describe_union(annotation) for annotation in unions],
        directives=list(directives),
        schema_directives=[cls.__dovrane_directive_info__ for cls in schema_directives],
        scalar_names=list(scalar_names),
    )


def compile_schema(query, *, mutation=None, subscription=None, types=(), unions=(), directives=(),
                   schema_directives=(), scalar_names=(), **keywords):
    """A CompiledSchema of the declared classes; `keywords` go to `_dovrane.compile_schema`."""
    return _dovrane.compile_schema(
        **compile_arguments(query, mutation=mutation, subscription=subscription, types=types, unions=unions,
                            directives=directives, schema_directives=schema_directives, scalar_names=scalar_names),
        **keywords)
