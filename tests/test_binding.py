"""The binding layer: argument binding and conversion, docstrings, one-time cells."""
import collections.abc
import gc
import inspect
import sys
import threading
import time

import pytest

import _dovrane
import _dovrane_testing as testing

NOTES = sys.version_info >= (3, 11)

BINDING_ERRORS = [
    # too many positional arguments
    (testing.probe_nothing, (1,), {}, "probe_nothing() takes 0 positional arguments but 1 was given"),
    (testing.probe_keywords, (1, 2), {}, "probe_keywords() takes 0 positional arguments but 2 were given"),
    (testing.probe, ("q", None, 3), {"kind": "k"},
     "probe() takes from 1 to 2 positional arguments but 3 positional arguments "
     "(and 1 keyword-only argument) were given"),
    (testing.probe_range, (1, 2, 3, 4), {}, "probe_range() takes from 1 to 3 positional arguments but 4 were given"),
    (testing.json_text, (1, 2), {}, "json_text() takes 1 positional argument but 2 were given"),
    # checked before the unexpected keyword
    (testing.json_text, (1, 2), {"bogus": 1}, "json_text() takes 1 positional argument but 2 were given"),
    # unexpected keyword, before a duplicate
    (testing.probe, ("q",), {"kind": "k", "bogus": 1}, "probe() got an unexpected keyword argument 'bogus'"),
    (testing.probe, ("q",), {"query": "q", "bogus": 1}, "probe() got an unexpected keyword argument 'bogus'"),
    # duplicate, before missing arguments
    (testing.probe, ("q",), {"query": "q"}, "probe() got multiple values for argument 'query'"),
    (testing.probe_range, (1, 2), {"b": 2}, "probe_range() got multiple values for argument 'b'"),
    # missing positional, before missing keyword-only
    (testing.probe, (), {}, "probe() missing 1 required positional argument: 'query'"),
    (testing.fail, (), {}, "fail() missing 2 required positional arguments: 'kind' and 'message'"),
    (testing.probe, ("q",), {}, "probe() missing 1 required keyword argument: 'kind'"),
    (testing.probe_keywords, (), {}, "probe_keywords() missing 2 required keyword arguments: 'first' and 'second'"),
    (testing.probe_keywords, (), {"third": 3},
     "probe_keywords() missing 2 required keyword arguments: 'first' and 'second'"),
]


@pytest.mark.parametrize("function, args, kwargs, message", BINDING_ERRORS)
def test_binding_errors(function, args, kwargs, message):
    with pytest.raises(TypeError) as caught:
        function(*args, **kwargs)
    assert str(caught.value) == message
    assert not getattr(caught.value, "__notes__", None)


def test_binding_fills_positional_and_keyword_parameters():
    assert testing.probe("q", kind="k") == ("q", None, "k", False)
    assert testing.probe("q", "Op", kind="k", validate=True) == ("q", "Op", "k", True)
    assert testing.probe(kind="k", operation_name=None, query="q") == ("q", None, "k", False)
    assert testing.probe_range(1, c=3) == (1, None, 3)
    assert testing.probe_keywords(second=2, first=1) == (1, 2, None)


CONVERSION_ERRORS = [
    ((1,), {"kind": "k"}, "query", "argument 'query': expected str, got int"),
    ((b"q",), {"kind": "k"}, "query", "argument 'query': expected str, got bytes"),
    (("q", 2), {"kind": "k"}, "operation_name", "argument 'operation_name': expected str, got int"),
    (("q",), {"kind": None}, "kind", "argument 'kind': expected str, got NoneType"),
    (("q",), {"kind": "k", "validate": 1}, "validate", "argument 'validate': expected bool, got int"),
    (("q",), {"kind": "k", "validate": None}, "validate", "argument 'validate': expected bool, got NoneType"),
    (("q",), {"kind": "k", "validate": "yes"}, "validate", "argument 'validate': expected bool, got str"),
    # the first failing parameter, in signature order, is the one reported
    ((1, 2), {"kind": 3, "validate": 4}, "query", "argument 'query': expected str, got int"),
]


@pytest.mark.parametrize("args, kwargs, parameter, message", CONVERSION_ERRORS)
def test_conversion_errors_name_the_parameter(args, kwargs, parameter, message):
    with pytest.raises(TypeError) as caught:
        testing.probe(*args, **kwargs)
    assert str(caught.value) == message
    if NOTES:
        assert caught.value.__notes__ == [f"while processing '{parameter}'"]
    else:
        assert not hasattr(caught.value, "__notes__")


def test_str_conversion():
    class Text(str):
        pass

    assert testing.probe(Text("sub"), kind="é ✓") == ("sub", None, "é ✓", False)
    # A str that cannot be UTF-8 keeps the encoder's error, with the note.
    with pytest.raises(UnicodeEncodeError) as caught:
        testing.probe("\ud800", kind="k")
    if NOTES:
        assert caught.value.__notes__ == ["while processing 'query'"]


def test_flag_conversion_reads_numpy_bool():
    numpy = pytest.importorskip("numpy")
    assert testing.probe("q", kind="k", validate=numpy.bool_(True))[3] is True
    assert testing.probe("q", kind="k", validate=numpy.bool_(False))[3] is False
    with pytest.raises(TypeError, match="argument 'validate'"):
        testing.probe("q", kind="k", validate=numpy.int64(1))


class Letters(collections.abc.Sequence):
    def __len__(self):
        return 2

    def __getitem__(self, index):
        if index >= 2:
            raise IndexError(index)
        return "ab"[index]


@pytest.mark.parametrize("items", [["a", "b"], ("a", "b"), Letters()])
def test_sequence_conversion_accepts_any_sequence(items):
    assert testing.probe_sequence(items) == ["a", "b"]


@pytest.mark.parametrize("items, message", [
    ("ab", "argument 'items': expected a sequence other than str, got str"),
    (None, "argument 'items': expected a sequence, got NoneType"),
    ({"a"}, "argument 'items': expected a sequence, got set"),
    ((x for x in "ab"), "argument 'items': expected a sequence, got generator"),
    (["a", 1], "argument 'items': expected str, got int"),
])
def test_sequence_conversion_refusals(items, message):
    with pytest.raises(TypeError) as caught:
        testing.probe_sequence(items)
    assert str(caught.value) == message


def type_error_text(function, *args):
    with pytest.raises(TypeError) as caught:
        function(*args)
    return str(caught.value)


def test_instance_conversion_takes_exactly_our_class():
    assert testing.probe_instance(testing.sample_type_info()) == "Book"
    assert type_error_text(testing.probe_instance, {}) == "argument 'info': expected TypeInfo, got dict"
    field = testing.sample_type_info().fields[0]
    assert type_error_text(testing.probe_instance, field) == "argument 'info': expected TypeInfo, got FieldInfo"


@pytest.mark.parametrize("documented, doc", [(True, "A record with a docstring."), (False, None)])
def test_a_class_keeps_every_slot_with_or_without_a_docstring(documented, doc):
    payload = object()
    before = sys.getrefcount(payload)
    record = testing.probe_record(payload, documented=documented)
    assert type(record).__doc__ == doc
    assert record.value is payload  # getters
    assert payload in gc.get_referents(record)  # traverse
    with pytest.raises(TypeError):
        type(record)()  # the flags hold as well
    del record
    assert sys.getrefcount(payload) == before  # dealloc


def test_dict_and_type_conversions():
    class Sub(dict):
        pass

    assert testing.probe_dict({"b": 1, "a": 2}) == ["b", "a"]
    assert testing.probe_dict(Sub(x=1)) == ["x"]
    assert type_error_text(testing.probe_dict, []) == "argument 'mapping': expected dict, got list"
    assert testing.probe_type(int) is int
    assert type_error_text(testing.probe_type, 1) == "argument 'cls': expected type, got int"


def test_docstrings_start_with_the_signature():
    assert testing.probe.__doc__.splitlines()[0] == "probe(query, operation_name=None, *, kind, validate=False)"
    assert testing.probe.__text_signature__ == "(query, operation_name=None, *, kind, validate=False)"
    signature = inspect.signature(testing.probe)
    assert [(p.name, p.kind, p.default) for p in signature.parameters.values()] == [
        ("query", inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.empty),
        ("operation_name", inspect.Parameter.POSITIONAL_OR_KEYWORD, None),
        ("kind", inspect.Parameter.KEYWORD_ONLY, inspect.Parameter.empty),
        ("validate", inspect.Parameter.KEYWORD_ONLY, False),
    ]
    assert str(inspect.signature(testing.probe_nothing)) == "()"
    assert testing.probe.__module__ == "_dovrane_testing"
    assert testing.probe.__name__ == "probe"


def test_cell_builds_once():
    built = []

    def build():
        built.append(1)
        return object()

    first = testing.once_cell(0, build)
    assert testing.once_cell(0, build) is first
    assert built == [1]


def test_cell_stays_empty_when_building_fails():
    def failing():
        raise LookupError("not yet")

    with pytest.raises(LookupError):
        testing.once_cell(1, failing)
    value = testing.once_cell(1, lambda: "second try")
    assert value == "second try"
    assert testing.once_cell(1, failing) == "second try"


def test_cell_builder_that_reenters_its_cell_does_not_deadlock():
    def outer():
        inner = testing.once_cell(2, lambda: "inner")
        return "outer:" + inner

    # The re-entrant build stores first; the outer result is dropped.
    assert testing.once_cell(2, outer) == "inner"
    assert testing.once_cell(2, outer) == "inner"


def test_cell_is_filled_once_across_threads():
    calls = []

    def slow():
        calls.append(threading.get_ident())
        time.sleep(0.05)  # releases the interpreter lock while the cell is being filled
        return object()

    results = []
    threads = [threading.Thread(target=lambda: results.append(testing.once_cell(3, slow))) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert len(calls) == 1
    assert len(results) == 4 and all(result is results[0] for result in results)


def test_module_functions_of_later_issues_follow_the_same_layer():
    for name in _dovrane.__all__:
        value = getattr(_dovrane, name)
        if callable(value) and not isinstance(value, type):
            assert value.__doc__.splitlines()[0].startswith(name + "(")
            inspect.signature(value)
