"""The traits that every class of `_dovrane` shares, checked on one instance."""
import gc
import weakref

import pytest


def assert_read_only_class(cls, instance, attribute):
    """`cls` is an immutable record class, `instance` one of its objects and
    `attribute` one of its read-only attributes."""
    assert type(instance) is cls
    assert cls.__module__ == "builtins"
    assert cls.__name__ == cls.__qualname__
    with pytest.raises(TypeError):
        cls()
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    with pytest.raises(TypeError):
        cls.extra = 1
    with pytest.raises(AttributeError):
        instance.extra = 1
    with pytest.raises(AttributeError):
        setattr(instance, attribute, getattr(instance, attribute))
    with pytest.raises(AttributeError):
        delattr(instance, attribute)
    assert not hasattr(instance, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(instance)
    # No equality, hashing or repr of their own.
    assert cls.__eq__ is object.__eq__
    assert cls.__hash__ is object.__hash__
    assert cls.__repr__ is object.__repr__
    assert gc.is_tracked(instance)
