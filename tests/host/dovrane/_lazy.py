"""Lazy placeholders for types that are declared later or in other modules."""
import importlib
import sys


class LazyType:
    """Stands for the class `type_name` of `module`, resolved on demand."""

    def __init__(self, type_name, module):
        self.type_name = type_name
        self.module = module

    def resolve_type(self):
        return getattr(importlib.import_module(self.module), self.type_name)


class LazyReference:
    """`Annotated["Name", LazyReference(module)]`: a forward reference resolved lazily."""

    def __init__(self, module):
        self.module = module

    def resolve_forward_ref(self, forward_ref):
        return LazyType(forward_ref.__forward_arg__, self.module)


def namespace_for_class(cls):
    namespace = dict(vars(sys.modules[cls.__module__])) if cls.__module__ in sys.modules else {}
    namespace.setdefault(cls.__name__, cls)
    return namespace


def namespace_for_callable(func):
    namespace = dict(getattr(func, "__globals__", {}))
    return namespace


__all__ = ["LazyType", "LazyReference", "namespace_for_class", "namespace_for_callable"]
