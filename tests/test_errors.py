"""The two exception types and the raising of core errors through the host package."""
import sys

import pytest

import _dovrane
import _dovrane_testing as testing
import dovrane._error
from dovrane._error import ErrorCode

WIRE_NAMES = [
    "GRAPHQL_PARSE_FAILED", "GRAPHQL_VALIDATION_FAILED", "INTERFACE_TYPE_RESOLUTION_FAILED",
    "UNION_TYPE_RESOLUTION_FAILED", "UNKNOWN_FIELD", "UNKNOWN_ARGUMENT", "ARGUMENT_TYPE_MISMATCH",
    "INVALID_DIRECTIVE_LOCATION", "INVALID_FRAGMENT_TARGET", "PERSISTED_QUERY_NOT_FOUND",
    "PERSISTED_QUERY_MISMATCH", "FIELD_RESOLUTION_FAILED",
]


@pytest.mark.parametrize("name", ["SchemaError", "GraphQLError"])
def test_exception_types(name):
    exception_type = getattr(_dovrane, name)
    assert issubclass(exception_type, Exception)
    assert exception_type.__bases__ == (Exception,)
    assert exception_type.__module__ == "_dovrane"
    assert exception_type.__name__ == name
    assert exception_type.__doc__


def test_schema_error_docstring():
    assert _dovrane.SchemaError.__doc__ == "Raised for dovrane schema build-time errors."


def test_schema_error_is_the_registered_type():
    with pytest.raises(_dovrane.SchemaError) as caught:
        testing.raise_schema_error("type 'Query' has no fields")
    assert type(caught.value) is _dovrane.SchemaError
    assert str(caught.value) == "type 'Query' has no fields"
    assert caught.value.args == ("type 'Query' has no fields",)


class Recorder(Exception):
    calls = []

    def __init__(self, *args, **kwargs):
        super().__init__(*args)
        Recorder.calls.append((args, kwargs))


@pytest.fixture
def recorder(monkeypatch):
    Recorder.calls = []
    monkeypatch.setattr(dovrane._error, "GraphQLError", Recorder)
    return Recorder


def test_error_without_locations_passes_no_locations_keyword(recorder):
    with pytest.raises(Recorder):
        testing.raise_core_error("recursion limit exceeded.", code="GRAPHQL_PARSE_FAILED")
    assert recorder.calls == [(("recursion limit exceeded.",), {"code": ErrorCode.GRAPHQL_PARSE_FAILED})]


def test_error_with_locations_passes_a_list_of_tuples(recorder):
    with pytest.raises(Recorder):
        testing.raise_core_error("unexpected token", code="GRAPHQL_PARSE_FAILED", locations=[(1, 7), (2, 3)])
    (args, kwargs), = recorder.calls
    assert args == ("unexpected token",)
    assert kwargs == {"code": ErrorCode.GRAPHQL_PARSE_FAILED, "locations": [(1, 7), (2, 3)]}
    assert type(kwargs["locations"]) is list
    assert all(type(location) is tuple for location in kwargs["locations"])


@pytest.mark.parametrize("wire_name", WIRE_NAMES)
def test_every_code_reaches_the_host_as_its_member(wire_name):
    with pytest.raises(dovrane._error.GraphQLError) as caught:
        testing.raise_core_error("failed", code=wire_name, locations=[(3, 4)])
    error = caught.value
    assert isinstance(error, _dovrane.GraphQLError)
    assert error.message == "failed"
    assert error.code is ErrorCode[wire_name]
    assert error.locations == [(3, 4)]
    assert error.path is None and error.extensions is None


def test_message_that_is_not_utf8_is_decoded_with_replacement():
    with pytest.raises(dovrane._error.GraphQLError) as caught:
        testing.raise_core_error("bad byte ", code="GRAPHQL_PARSE_FAILED", invalid_utf8=True)
    assert caught.value.message == "bad byte \ufffd"


def test_missing_host_module_surfaces_as_module_not_found(monkeypatch):
    monkeypatch.setitem(sys.modules, "dovrane._error", None)
    with pytest.raises(ModuleNotFoundError):
        testing.raise_core_error("failed", code="UNKNOWN_FIELD")


@pytest.mark.parametrize("attribute", ["GraphQLError", "ErrorCode"])
def test_missing_host_attribute_surfaces_as_attribute_error(monkeypatch, attribute):
    monkeypatch.delattr(dovrane._error, attribute)
    with pytest.raises(AttributeError):
        testing.raise_core_error("failed", code="UNKNOWN_FIELD")


def test_code_missing_from_the_host_enumeration(monkeypatch):
    class Codes:
        GRAPHQL_PARSE_FAILED = "only this one"

    monkeypatch.setattr(dovrane._error, "ErrorCode", Codes)
    with pytest.raises(AttributeError):
        testing.raise_core_error("failed", code="UNKNOWN_FIELD")


def test_host_class_that_raises(monkeypatch):
    def broken(message, **kwargs):
        raise LookupError("host is broken")

    monkeypatch.setattr(dovrane._error, "GraphQLError", broken)
    with pytest.raises(LookupError, match="host is broken"):
        testing.raise_core_error("failed", code="UNKNOWN_FIELD")


def test_host_class_that_returns_a_non_exception(monkeypatch):
    monkeypatch.setattr(dovrane._error, "GraphQLError", lambda message, **kwargs: message)
    with pytest.raises(TypeError, match="not an exception"):
        testing.raise_core_error("failed", code="UNKNOWN_FIELD")


def test_panic_exception_is_private_and_not_an_exception():
    with pytest.raises(BaseException) as caught:
        testing.fail("panic", "invariant broken")
    panic_type = type(caught.value)
    assert not issubclass(panic_type, Exception)
    assert panic_type.__name__ == "PanicException"
    assert panic_type not in vars(_dovrane).values()
    assert str(caught.value) == "invariant broken"


def test_cpp_exceptions_do_not_escape():
    with pytest.raises(MemoryError):
        testing.fail("bad_alloc", "")
    with pytest.raises(BaseException) as caught:
        testing.fail("runtime_error", "broken")
    assert type(caught.value).__name__ == "PanicException"
    assert "broken" in str(caught.value)
