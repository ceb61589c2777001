"""Python values as JSON values and as GraphQL default literals."""
import dataclasses
import decimal
import enum
import gc
import math
import sys
import tracemalloc
import types

import pytest

import _dovrane_testing as testing

json_text = testing.json_text
literal = testing.default_literal


class Index:
    def __init__(self, value, action=None):
        self.value = value
        self.action = action

    def __index__(self):
        if self.action is not None:
            self.action()
        return self.value


class Floating:
    def __float__(self):
        return 2.5


class Plain:
    pass


class Text(str):
    pass


class Items(list):
    pass


class Mapping(dict):
    pass


JSON_CASES = [
    (None, "null"),
    (True, "true"),
    (False, "false"),
    (1, "1"),
    (-3, "-3"),
    (0, "0"),
    (1.0, "1.0"),
    (0.5, "0.5"),
    (2**63 - 1, "9223372036854775807"),
    (-(2**63), "-9223372036854775808"),
    (2**63, "9.223372036854776e+18"),
    (math.nan, "null"),
    (math.inf, "null"),
    (-math.inf, "null"),
    ("1.5", '"1.5"'),
    (Text("sub"), '"sub"'),
    (Index(7), "7"),
    (Floating(), "2.5"),
    (decimal.Decimal("1.25"), "1.25"),
    ([], "[]"),
    (Items([1, "a"]), '[1,"a"]'),
    ({"b": 1, "a": [None, {"z": True, "y": 2}]}, '{"a":[null,{"y":2,"z":true}],"b":1}'),
    (Mapping(k="v"), '{"k":"v"}'),
    ({"é": "✓"}, '{"é":"✓"}'),
]


@pytest.mark.parametrize("value, expected", JSON_CASES)
def test_json_values(value, expected):
    assert json_text(value) == expected


@pytest.mark.parametrize("value, type_name", [
    ((1, 2), "tuple"),
    (b"x", "bytes"),
    ({1}, "set"),
    (10**400, "int"),
    (Plain(), "Plain"),
    ("\ud800", "str"),
    ([1, 2, {3}], "set"),
    ({"a": [(1,)]}, "tuple"),
])
def test_values_that_are_not_json(value, type_name):
    with pytest.raises(ValueError) as caught:
        json_text(value)
    assert str(caught.value) == f"value of type '{type_name}' is not JSON-serializable"


def test_dict_key_must_be_a_str():
    with pytest.raises(TypeError) as caught:
        json_text({1: "a"})
    assert str(caught.value) == "expected str, got int"
    with pytest.raises(UnicodeEncodeError):
        json_text({"\ud800": 1})


LITERAL_CASES = [
    (None, "null"),
    (False, "false"),
    (True, "true"),
    (-3, "-3"),
    (2.0, "2.0"),
    (0.5, "0.5"),
    (1e20, "1e+20"),
    (2**64, "1.8446744073709552e+19"),
    (math.inf, "null"),
    (math.nan, "null"),
    ('a"b', '"a\\"b"'),
    ("line\nbreak", '"line\\nbreak"'),
    ("\\ \b \f \r \t", '"\\\\ \\b \\f \\r \\t"'),
    ("\x00\x1f", '"\\u0000\\u001f"'),
    ("\x7f / é", '"\x7f / é"'),
    ([1, None, "x"], '[1, null, "x"]'),
    ([], "[]"),
    ({"first name": 1}, "{first name: 1}"),
    ({"b": [True], "a": {"c": "d"}}, '{b: [true], a: {c: "d"}}'),
    ({}, "{}"),
    (Index(4), "4"),
]


@pytest.mark.parametrize("value, expected", LITERAL_CASES)
def test_default_literals(value, expected):
    assert literal(value) == expected


# A str prints the same in JSON text and as a default literal: JSON's escapes,
# every other character as it is (the SDL's GraphQL form escapes several).
@pytest.mark.parametrize("value, expected", [
    ("", '""'),
    ('"start', '"\\"start"'),
    ("end\\", '"end\\\\"'),
    ("\b\f\n\r\t", '"\\b\\f\\n\\r\\t"'),
    ("\x00\x01\x1f\x7f", '"\\u0000\\u0001\\u001f\x7f"'),
    ("e\u0301 \u00a0\u2028\u2029\ufeff", '"e\u0301 \u00a0\u2028\u2029\ufeff"'),
    ("\U0001f600\U0010ffff", '"\U0001f600\U0010ffff"'),
])
def test_strings_in_json_text_and_literals(value, expected):
    assert json_text(value) == expected
    assert literal(value) == expected


@dataclasses.dataclass
class Point:
    x: int = 0


@pytest.mark.parametrize("value", [
    (1, 2), {1, 2}, b"x", Point(), Plain(), 10**400, "\ud800",
    [1, (2, 3)], {1: 2}, {"a": (1,)}, {"\ud800": 1}, [[[()]]],
])
def test_values_without_a_literal(value):
    assert literal(value) is None


class Color(enum.Enum):
    RED = 1
    GREEN = 2
    BLUE = 3
    PURPLE = 4


def test_enum_member_of_a_decorated_enum():
    Color.__dovrane_type_info__ = testing.sample_type_info(kind="enum")
    try:
        assert literal(Color.RED) == "red"
        assert literal(Color.GREEN) == "GREEN"  # graphql_name None
        assert literal(Color.PURPLE) == "PURPLE"  # not listed
        assert literal([Color.RED, Color.BLUE]) == "[red, BLUE]"
        assert literal({"color": Color.RED}) == "{color: red}"
    finally:
        del Color.__dovrane_type_info__


def info(**attributes):
    return types.SimpleNamespace(**attributes)


def with_info(type_info, base=object, **members):
    return type("Decorated", (base,), {"__dovrane_type_info__": type_info, **members})


def test_enum_check_reads_only_the_listed_attributes():
    Shade = enum.Enum("Shade", "DARK LIGHT")
    Shade.__dovrane_type_info__ = info(kind="enum", enum_values=[info(name="DARK", graphql_name="dark")])
    assert literal(Shade.DARK) == "dark"
    assert literal(Shade.LIGHT) == "LIGHT"
    # A kind that becomes "enum" through str() counts.
    Shade.__dovrane_type_info__ = info(kind=Text("enum"), enum_values=())
    assert literal(Shade.DARK) == "DARK"


def test_enum_without_type_info_falls_to_the_generic_steps():
    class Level(enum.IntEnum):
        LOW = 1

    class Word(str, enum.Enum):
        HELLO = "hi"

    assert literal(Level.LOW) == "1"
    assert literal(Word.HELLO) == '"hi"'
    assert literal(Color.RED) is None


def test_type_info_of_another_kind_falls_to_the_generic_steps():
    Number = with_info(info(kind="type"), base=int)
    assert literal(Number(5)) == "5"
    assert literal(with_info(info(kind="input"))()) is None


@pytest.mark.parametrize("type_info, error", [
    (info(), AttributeError),  # no kind
    (info(kind="enum"), AttributeError),  # the value has no name
])
def test_enum_check_failures_are_errors(type_info, error):
    with pytest.raises(error):
        literal(with_info(type_info)())


def test_enum_check_failures_on_entries():
    Shade = enum.Enum("Shade", "DARK")
    for type_info, error in [
        (info(kind="enum", enum_values=5), TypeError),
        (info(kind="enum", enum_values=[info(graphql_name=None)]), AttributeError),
        (info(kind="enum", enum_values=[info(name=1)]), TypeError),
        (info(kind="enum", enum_values=[info(name="DARK", graphql_name=3)]), TypeError),
    ]:
        Shade.__dovrane_type_info__ = type_info
        with pytest.raises(error):
            literal(Shade.DARK)
    Shade.__dovrane_type_info__ = info(kind="enum", enum_values=[info(name="DARK", graphql_name="d")])
    with pytest.raises(TypeError):
        literal([1, with_info(info(kind="enum"), name=2)()])


def metaclass_raising(exception):
    class Meta(type):
        @property
        def __dovrane_type_info__(cls):
            raise exception

    return Meta("Raising", (int,), {})


def test_type_info_lookup_discards_only_exceptions():
    assert literal(metaclass_raising(RuntimeError("no info"))(3)) == "3"
    with pytest.raises(KeyboardInterrupt):
        literal(metaclass_raising(KeyboardInterrupt())(3))


def raiser(exception):
    def action():
        raise exception

    return action


def test_numeric_conversion_discards_only_exceptions():
    with pytest.raises(ValueError, match="value of type 'Index' is not JSON-serializable"):
        json_text(Index(1, raiser(ArithmeticError("no"))))
    assert literal(Index(1, raiser(ArithmeticError("no")))) is None
    for convert in (json_text, literal):
        with pytest.raises(KeyboardInterrupt):
            convert([Index(1, raiser(KeyboardInterrupt()))])
        with pytest.raises(SystemExit):
            convert({"a": Index(1, raiser(SystemExit(3)))})


def test_list_walk_stops_at_its_starting_length():
    items = [1]
    items.append(Index(2, lambda: items.append(3)))
    assert json_text(items) == "[1,2]"
    items = [Index(1, lambda: items.clear()), 2, 3]
    assert json_text(items) == "[1]"
    items = [1]
    items.append(Index(2, lambda: items.append(3)))
    assert literal(items) == "[1, 2]"


def panic_text(convert, value):
    with pytest.raises(BaseException) as caught:
        convert(value)
    assert type(caught.value).__name__ == "PanicException"
    return str(caught.value)


@pytest.mark.parametrize("convert", [json_text, literal])
def test_dict_changed_during_conversion(convert):
    grown = {}
    grown["a"] = Index(1, lambda: grown.update(b=2))
    grown["c"] = 3
    assert panic_text(convert, grown) == "dictionary changed size during iteration"

    swapped = {}
    swapped["a"] = Index(1, lambda: (swapped.pop("a"), swapped.__setitem__("b", 2)))
    assert panic_text(convert, swapped) == "dictionary keys changed during iteration"


def nested(depth, container=list):
    value = 1
    for _ in range(depth):
        value = [value] if container is list else {"k": value}
    return value


@pytest.mark.parametrize("convert", [json_text, literal])
@pytest.mark.parametrize("container", [list, dict])
def test_nesting_is_bounded(convert, container):
    assert convert(nested(256, container)) is not None
    with pytest.raises(RecursionError):
        convert(nested(257, container))
    with pytest.raises(RecursionError):
        convert(nested(100_000, container))


@pytest.mark.parametrize("convert", [json_text, literal])
def test_self_referential_values_raise_recursion_error(convert):
    loop = [1]
    loop.append(loop)
    with pytest.raises(RecursionError):
        convert(loop)
    table = {}
    table["self"] = table
    with pytest.raises(RecursionError):
        convert(table)


def test_repeated_conversions_do_not_leak():
    value = {"name": "x", "items": [1, 2.5, None, True, "é"], "nested": {"k": [Index(3)]}}
    failing = [1, (2, 3)]

    def run(count):
        for _ in range(count):
            json_text(value)
            literal(value)
            literal(failing)
            try:
                json_text(failing)
            except ValueError:
                pass
            testing.sample_type_info().fields[3].arguments[0].type_info

    run(1000)
    gc.collect()
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        run(100_000)
        gc.collect()
        after = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    assert after - before < 64 * 1024, f"grew by {after - before} bytes"
