"""The CompiledSchema handle."""
import _dovrane
import _dovrane_testing as testing
from class_traits import assert_read_only_class


def test_class_traits_and_docstrings():
    schema = testing.sample_schema()
    cls = _dovrane.CompiledSchema
    assert_read_only_class(cls, schema, "scalar_names")
    assert cls.__name__ == "CompiledSchema"
    # Opaque: nothing of the record shows but the scalars.
    assert [name for name in dir(schema) if not name.startswith("__")] == ["scalar_descriptions", "scalar_names"]
    assert "opaque handle" in cls.__doc__
    assert "introspection" in vars(cls)["scalar_names"].__doc__
    assert vars(cls)["scalar_descriptions"].__doc__ is None


def test_scalar_names_are_sorted_by_bytes():
    schema = testing.sample_schema(extra_scalars=["bigint", "Money", "_private", "Émoji", "alpha", "Zeta", "Money"])
    # Upper-case ASCII before "_" before lower-case before anything non-ASCII.
    assert schema.scalar_names == ["DateTime", "Money", "Zeta", "_private", "alpha", "bigint", "Émoji"]
    assert schema.scalar_names == sorted(schema.scalar_names, key=lambda name: name.encode())


def test_reads_make_new_containers_that_change_nothing():
    schema = testing.sample_schema(extra_scalars=["Money"])
    names = schema.scalar_names
    assert names is not schema.scalar_names and names == schema.scalar_names
    names.clear()
    assert schema.scalar_names == ["DateTime", "Money"]

    descriptions = schema.scalar_descriptions
    assert descriptions == {"DateTime": "An instant, as ISO 8601 text"}
    assert descriptions is not schema.scalar_descriptions
    descriptions["Money"] = "changed"
    assert schema.scalar_descriptions == {"DateTime": "An instant, as ISO 8601 text"}
