"""Custom operation directives: describe_operation_directive and OperationDirectiveInfo."""
import inspect
from typing import Annotated

import pytest

import _dovrane
from class_traits import assert_read_only_class
from dovrane._resolver import Argument, Depends, Info, Parent
from dovrane.directive import DirectiveValue

SIGNATURE = "describe_operation_directive(func, *, locations, name=None, description=None)"
LOCATIONS = ["QUERY", "MUTATION", "SUBSCRIPTION", "FIELD", "FRAGMENT_DEFINITION", "FRAGMENT_SPREAD",
             "INLINE_FRAGMENT"]


def describe(func, **keywords):
    keywords.setdefault("locations", ["FIELD"])
    return _dovrane.describe_operation_directive(func, **keywords)


def upper_case(value: DirectiveValue[str], info: Info, service: Annotated[object, Depends(object)],
               times: Annotated[int, Argument(description="How often")] = 1, *, suffix: str):
    pass


def test_describes_a_directive_function():
    info = describe(upper_case, locations=LOCATIONS + ["FIELD"], description="Upper-cases")
    assert (info.name, info.description) == ("upperCase", "Upper-cases")
    assert info.locations == LOCATIONS + ["FIELD"]
    assert (info.value_parameter, info.info_parameter) == ("value", "info")
    assert [(a.name, a.graphql_type, a.has_default, a.default_value, a.description) for a in info.arguments] == [
        ("times", "Int!", True, "1", "How often"), ("suffix", "String!", False, None, None)]
    first, second = info.arguments, info.arguments
    assert first is not second and all(a is b for a, b in zip(first, second))
    assert info.locations is not info.locations


@pytest.mark.parametrize("function_name, directive_name", [
    ("upper_case", "upperCase"),
    ("_private", "Private"),
    ("double__underscore", "doubleUnderscore"),
    ("trailing_", "trailing"),
    ("keepUpper_Case", "keepUpperCase"),
    ("stra\u00dfe_\u00dfig", "stra\u00dfeSSig"),  # the full upper-case mapping
])
def test_default_names_are_camel_cased(function_name, directive_name):
    def directive(value: DirectiveValue[str]):
        pass

    directive.__name__ = function_name
    assert describe(directive).name == directive_name


@pytest.mark.parametrize("name", ["my_directive", ""])
def test_an_explicit_name_is_kept(name):
    assert describe(upper_case, name=name).name == name


def test_only_the_directive_value():
    def only_value(value: DirectiveValue):
        pass

    info = describe(only_value, locations=[])
    assert (info.arguments, info.value_parameter, info.info_parameter, info.locations) == ([], "value", None, [])


def test_a_parent_annotation_is_an_ordinary_argument():
    def directive(value: DirectiveValue[str], node: Parent[int]):
        pass

    assert [a.name for a in describe(directive).arguments] == ["node"]


@pytest.mark.parametrize("locations", [["FIELD_DEFINITION"], ["field"], ["FIELD", "VARIABLE_DEFINITION"]])
def test_unknown_locations_are_reported_before_the_function_is_read(locations):
    def unannotated(self):
        pass

    with pytest.raises(_dovrane.SchemaError) as raised:
        describe(unannotated, locations=locations)
    bad = [name for name in locations if name not in LOCATIONS][0]
    assert str(raised.value) == f"unknown operation directive location '{bad}'"


def two_values(a: DirectiveValue[str], b: DirectiveValue):
    pass


def unannotated_self(self):
    pass


@pytest.mark.parametrize("func, message", [
    (unannotated_self, "parameter 'self' has no type annotation; annotate it as "
                       "DirectiveValue[T], Info, Depends[T], or a concrete argument type"),
    (two_values, "directive declares more than one DirectiveValue[T] parameter"),
])
def test_classification_errors(func, message):
    with pytest.raises(_dovrane.SchemaError) as raised:
        describe(func)
    assert str(raised.value) == message


def test_argument_errors():
    with pytest.raises(TypeError):
        describe(upper_case, locations="FIELD")
    with pytest.raises(TypeError):
        describe(upper_case, locations=[1])
    with pytest.raises(TypeError):
        describe(upper_case, name=3)
    with pytest.raises(TypeError):
        _dovrane.describe_operation_directive(upper_case, ["FIELD"])
    with pytest.raises(TypeError):
        _dovrane.describe_operation_directive(locations=["FIELD"])
    with pytest.raises(TypeError):
        describe(upper_case, extra=1)


def test_a_callable_object_is_read_through_its_call_method():
    class Callable:
        def __call__(self, value: DirectiveValue[str], info: Info = None, times: int = None):
            pass

    info = describe(Callable(), name="given")
    assert (info.value_parameter, info.info_parameter) == ("value", "info")
    assert [(a.name, a.graphql_type, a.default_value) for a in info.arguments] == [("times", "Int!", "null")]


def test_depends_is_tested_before_the_directive_value(monkeypatch):
    # With Annotated itself as the value marker, an Annotated parameter is a
    # directive value unless Depends claims it first.
    import dovrane.directive

    monkeypatch.setattr(dovrane.directive, "DirectiveValue", Annotated)

    def directive(service: Annotated[object, Depends(object)], value: Annotated[str, "the value"]):
        pass

    info = describe(directive)
    assert (info.value_parameter, info.arguments) == ("value", [])


def test_signature_docstring_and_class_traits():
    function = _dovrane.describe_operation_directive
    assert function.__doc__.startswith(SIGNATURE + "\n\n")
    assert str(inspect.signature(function)) == SIGNATURE[len("describe_operation_directive"):]
    info = describe(upper_case)
    assert_read_only_class(_dovrane.OperationDirectiveInfo, info, "name")
    assert _dovrane.OperationDirectiveInfo.__doc__ is None
