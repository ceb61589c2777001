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
