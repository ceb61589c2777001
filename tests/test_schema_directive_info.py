"""Schema directives: default names from class names, and declared locations."""
import sys
import unicodedata

import pytest

import _dovrane
import _dovrane_testing as testing


@pytest.mark.parametrize("class_name, directive_name", [
    ("MyDirective", "myDirective"),
    ("URLRule", "uRLRule"),
    ("_Tag", "_Tag"),
    ("already", "already"),
    ("X", "x"),
    ("", ""),
    ("\u0130sim", "i\u0307sim"),          # İ: the full mapping gives two characters
    ("\u03a3\u03a3", "\u03c3\u03a3"),     # Σ: no final-sigma context rule, the rest unchanged
    ("\u01c5Dz", "\u01c6Dz"),             # title-case ǅ
    ("\U00010400x", "\U00010428x"),       # outside the BMP
    ("\u00c9t\u00c9", "\u00e9t\u00c9"),
    ("\u4e2dWen", "\u4e2dWen"),           # no case
    ("my_directive_Name", "my_directive_Name"),  # never camel-cased
])
def test_directive_name_from_class_name(class_name, directive_name):
    assert testing.directive_name_from_class_name(class_name) == directive_name


@pytest.mark.skipif(unicodedata.unidata_version != testing.unicode_version(),
                    reason="this interpreter's Unicode version differs from the core's tables")
def test_every_code_point_lower_cases_as_python_does():
    # For a lone character, str.lower() is the full mapping with no context
    # rule left to apply: the reference for the generated table.
    mismatches = []
    for code_point in range(sys.maxunicode + 1):
        if 0xD800 <= code_point <= 0xDFFF:
            continue
        character = chr(code_point)
        if testing.directive_name_from_class_name(character + "Q") != character.lower() + "Q":
            mismatches.append(f"U+{code_point:04X}")
    assert mismatches == []


LOCATIONS = ["SCHEMA", "SCALAR", "OBJECT", "FIELD_DEFINITION", "ARGUMENT_DEFINITION", "INTERFACE", "UNION", "ENUM",
             "ENUM_VALUE", "INPUT_OBJECT", "INPUT_FIELD_DEFINITION"]


@pytest.mark.parametrize("index, name", list(enumerate(LOCATIONS)))
def test_every_location_name_parses(index, name):
    assert testing.schema_directive_location(name) == (name, index)


@pytest.mark.parametrize("name", ["field_definition", "Scalar", " SCALAR", "SCALAR ", "FIELD", "QUERY", "", "SCHEMA\0"])
def test_other_location_names_are_refused(name):
    with pytest.raises(_dovrane.SchemaError) as raised:
        testing.schema_directive_location(name)
    assert type(raised.value) is _dovrane.SchemaError
    assert str(raised.value) == f"unknown schema directive location '{name}'"


# describe_schema_directive

import dataclasses  # noqa: E402
import inspect  # noqa: E402
from typing import Optional  # noqa: E402

from class_traits import assert_read_only_class  # noqa: E402

SIGNATURE = "describe_schema_directive(cls, *, locations, name=None, description=None, repeatable=False)"


def describe(cls, **keywords):
    keywords.setdefault("locations", ["FIELD_DEFINITION"])
    return _dovrane.describe_schema_directive(cls, **keywords)


@dataclasses.dataclass
class MyDirective:
    reason: Optional[str]
    max_len: list[int]
    renamed: str = dataclasses.field(default="x", metadata={})


def test_describes_a_directive_class():
    info = describe(MyDirective, locations=["FIELD_DEFINITION", "OBJECT", "FIELD_DEFINITION"], description="Why")
    assert (info.name, info.description, info.repeatable) == ("myDirective", "Why", False)
    assert info.locations == ["FIELD_DEFINITION", "OBJECT", "FIELD_DEFINITION"]
    assert info.locations is not info.locations
    assert [(f.name, f.graphql_name, f.graphql_type) for f in info.fields] == [
        ("reason", None, "String"), ("max_len", None, "[Int!]!"), ("renamed", None, "String!")]
    first, second = info.fields, info.fields
    assert first is not second and all(a is not b for a, b in zip(first, second))


def test_explicit_name_description_and_repeatable():
    info = describe(MyDirective, name="my_directive", repeatable=True, locations=[])
    assert (info.name, info.description, info.repeatable, info.locations) == ("my_directive", None, True, [])


class ConfiguredField(dataclasses.Field):
    __slots__ = ("graphql_name",)


def configured(graphql_name):
    field = ConfiguredField(dataclasses.MISSING, dataclasses.MISSING, True, True, None, True, None, dataclasses.MISSING)
    field.graphql_name = graphql_name
    return field


def test_graphql_name_of_a_field_object():
    @dataclasses.dataclass
    class Named:
        first: int = configured("First")
        second: int = configured(None)
        third: int = configured(7)
        fourth: int = 0

    assert [(f.name, f.graphql_name) for f in describe(Named).fields] == [
        ("first", "First"), ("second", None), ("third", None), ("fourth", None)]


def test_unresolvable_annotations_fall_back_to_the_raw_annotation():
    @dataclasses.dataclass
    class Later:
        target: "DoesNotExist"  # noqa: F821
        count: "int"

    assert [f.graphql_type for f in describe(Later).fields] == ["DoesNotExist!", "int!"]


def interrupt():
    raise KeyboardInterrupt


def test_other_failures_of_the_hints_propagate():
    @dataclasses.dataclass
    class Interrupting:
        value: "interrupt()"

    with pytest.raises(KeyboardInterrupt):
        describe(Interrupting)

    @dataclasses.dataclass
    class Failing:
        value: "1 / 0"

    with pytest.raises(ZeroDivisionError):
        describe(Failing)


@pytest.mark.parametrize("locations", [["field_definition"], ["FIELD"], ["OBJECT", "QUERY"]])
def test_an_unknown_location_wins_over_everything_else(locations):
    with pytest.raises(_dovrane.SchemaError) as raised:
        describe(int, locations=locations)  # not a dataclass either
    bad = [name for name in locations if name not in LOCATIONS][0]
    assert str(raised.value) == f"unknown schema directive location '{bad}'"


def test_argument_and_class_errors():
    with pytest.raises(TypeError, match="dataclass"):
        describe(int)
    with pytest.raises(TypeError):
        describe(MyDirective, locations="FIELD_DEFINITION")
    with pytest.raises(TypeError):
        describe(MyDirective(None, []))
    with pytest.raises(TypeError):
        describe(MyDirective, repeatable=1)
    with pytest.raises(TypeError):
        _dovrane.describe_schema_directive(MyDirective, ["OBJECT"])
    with pytest.raises(TypeError):
        _dovrane.describe_schema_directive(locations=["OBJECT"])


def test_signature_docstring_and_class_traits():
    function = _dovrane.describe_schema_directive
    assert function.__doc__ == SIGNATURE
    assert str(inspect.signature(function)) == SIGNATURE[len("describe_schema_directive"):]
    info = describe(MyDirective)
    assert_read_only_class(_dovrane.SchemaDirectiveInfo, info, "name")
    assert_read_only_class(_dovrane.DirectiveFieldInfo, info.fields[0], "graphql_type")
    assert _dovrane.SchemaDirectiveInfo.__doc__ is None and _dovrane.DirectiveFieldInfo.__doc__ is None


def test_the_description_serves_applied_directives():
    @dataclasses.dataclass
    class Length:
        max_len: int

    Length.__dovrane_directive_info__ = describe(Length, locations=["ARGUMENT_DEFINITION"])
    assert testing.checked_directives([Length(3)], "ARGUMENT_DEFINITION", "limit") == [("length", [("max_len", "3")])]
