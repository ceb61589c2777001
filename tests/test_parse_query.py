"""parse_query and the ParsedDocument handle."""
import gc
import inspect

import pytest

import _dovrane
import dovrane._error
from class_traits import assert_read_only_class
from dovrane._error import ErrorCode, GraphQLError


def nested_query(levels):
    """An operation whose selection sets nest `levels` deep below its own."""
    return "{ " + "a { " * levels + "leaf" + " }" * levels + " }"


def test_class_traits():
    cls = _dovrane.ParsedDocument
    handle = _dovrane.parse_query("{ a }")
    assert_read_only_class(cls, handle, "query_text")
    assert cls.__name__ == "ParsedDocument"
    with pytest.raises(AttributeError):
        handle.query_text = "{ b }"
    # Opaque: the only attribute is the text.
    assert [name for name in dir(handle) if not name.startswith("__")] == ["query_text"]
    assert "opaque handle" in cls.__doc__


def test_signature_and_docstring():
    assert str(inspect.signature(_dovrane.parse_query)) == "(query)"
    assert _dovrane.parse_query.__doc__.startswith("parse_query(query)\n\n")
    assert _dovrane.parse_query.__module__ == "_dovrane"


@pytest.mark.parametrize("text", [
    "{ a }",
    "  \n\tquery Q {\r\n  a # comment\n}\n\n",
    "{ greeting(text: \"héllo wörld ✓ 𝄞\") }",
    "\ufeff{ a }",
    "query A { a } query B { b }",
])
def test_query_text_is_kept_exactly(text):
    handle = _dovrane.parse_query(text)
    assert handle.query_text == text
    # A new str on every read.
    assert handle.query_text is not handle.query_text


def test_query_text_of_a_str_subclass():
    class Text(str):
        pass

    handle = _dovrane.parse_query(Text("{ a }"))
    assert type(handle.query_text) is str and handle.query_text == "{ a }"


@pytest.mark.parametrize("text, message, locations", [
    ("{ a } { b }", "document contains multiple operations", [(1, 7), (1, 1)]),
    ("query Q { a }\nquery Q { b }", "operation Q is defined twice", [(2, 1), (1, 1)]),
    ("fragment F on T { a } fragment F on T { b } { c }", "fragment F is defined twice", [(1, 23), (1, 1)]),
    ("fragment F on T { a }", "document does not contain an operation", None),
    (nested_query(65), "recursion limit exceeded.", None),
    ("{ a(x: 1e999) }", "invalid number: number too large to fit in target type", [(1, 8)]),
])
def test_parse_errors(text, message, locations):
    with pytest.raises(GraphQLError) as caught:
        _dovrane.parse_query(text)
    error = caught.value
    assert (error.message, error.code, error.locations) == (message, ErrorCode.GRAPHQL_PARSE_FAILED, locations)


@pytest.mark.parametrize("text, locations", [
    ("{", [(1, 2)]),
    # A multi-byte character counts as one column; a token spans start to end.
    ("{ a(s: \"é\") ! }", [(1, 13), (1, 14)]),
    # A carriage return with a line feed starts one line.
    ("\r\n{ é }", [(2, 3)]),
])
def test_syntax_errors_carry_their_positions(text, locations):
    with pytest.raises(GraphQLError) as caught:
        _dovrane.parse_query(text)
    assert caught.value.code is ErrorCode.GRAPHQL_PARSE_FAILED
    assert caught.value.locations == locations
    assert caught.value.message.startswith("syntax error at {}:{}".format(*locations[0]))


def test_nesting_at_the_limit_parses():
    assert _dovrane.parse_query(nested_query(64)).query_text == nested_query(64)


def test_an_error_without_locations_passes_no_locations_keyword(monkeypatch):
    calls = []

    class Recorder(Exception):
        def __init__(self, *args, **kwargs):
            super().__init__(*args)
            calls.append((args, kwargs))

    monkeypatch.setattr(dovrane._error, "GraphQLError", Recorder)
    with pytest.raises(Recorder):
        _dovrane.parse_query("fragment F on T { a }")
    with pytest.raises(Recorder):
        _dovrane.parse_query("{")
    assert calls[0] == (("document does not contain an operation",), {"code": ErrorCode.GRAPHQL_PARSE_FAILED})
    assert calls[1][1] == {"code": ErrorCode.GRAPHQL_PARSE_FAILED, "locations": [(1, 2)]}


@pytest.mark.parametrize("call, message", [
    (lambda: _dovrane.parse_query(), "parse_query() missing 1 required positional argument: 'query'"),
    (lambda: _dovrane.parse_query(b"{ a }"), "argument 'query': expected str, got bytes"),
    (lambda: _dovrane.parse_query(None), "argument 'query': expected str, got NoneType"),
    (lambda: _dovrane.parse_query("{ a }", "{ b }"), "parse_query() takes 1 positional argument but 2 were given"),
    (lambda: _dovrane.parse_query(text="{ a }"), "parse_query() got an unexpected keyword argument 'text'"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_query_by_keyword():
    assert _dovrane.parse_query(query="{ a }").query_text == "{ a }"


def test_one_handle_serves_many_lowerings():
    handle = _dovrane.parse_query("query Q($x: Boolean!) { a @include(if: $x) b }")
    keys = [[field.response_key for field in _dovrane.lower_document(handle, variable_values={"x": x})[1]]
            for x in (True, False, True)]
    assert keys == [["a", "b"], ["b"], ["a", "b"]]
    assert handle.query_text == "query Q($x: Boolean!) { a @include(if: $x) b }"


def test_the_handle_outlives_its_text():
    text = "".join(["{ ", "greeting", " }"])
    handle = _dovrane.parse_query(text)
    del text
    gc.collect()
    assert handle.query_text == "{ greeting }"
    assert _dovrane.lower_document(handle, variable_values={})[1][0].field_name == "greeting"
