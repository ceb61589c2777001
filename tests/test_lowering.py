"""lower_query, lower_document, LoweredField and LoweredDirective."""
import gc
import inspect
import os
import sys
import tracemalloc
import weakref

import pytest

import _dovrane
import _dovrane_testing as testing
from class_traits import assert_read_only_class
from dovrane._error import ErrorCode, GraphQLError

DATA = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "bench", "data")
BENCH_VARIABLES = {
    "viewerPostsFirst": 20, "after": "Y3Vyc29yOjQy", "filter": {"status": "PUBLISHED", "tags": ["graphql"]},
    "order": [{"field": "createdAt", "direction": "DESC"}], "withComments": True, "skipFollowers": False,
    "avatarSize": 128, "searchText": "graphql", "userId": "VXNlcjox",
}


def lower(query, variables=None, operation_name=None):
    return _dovrane.lower_query(query, variable_values={} if variables is None else variables,
                                operation_name=operation_name)


def fields_of(query, variables=None):
    return lower(query, variables)[1]


def only_field(query, variables=None):
    [field] = fields_of(query, variables)
    return field


def shape(fields):
    """Response keys with their sub-selections, for comparing trees."""
    return [(field.response_key, shape(field.selections)) if field.selections else field.response_key
            for field in fields]


def raised(call):
    with pytest.raises(GraphQLError) as caught:
        call()
    return caught.value.message, caught.value.code, caught.value.locations


# ---------------------------------------------------------------------------
# The functions and classes


@pytest.mark.parametrize("function, signature", [
    (_dovrane.lower_query, "(query, *, variable_values, operation_name=None)"),
    (_dovrane.lower_document, "(document, *, variable_values, operation_name=None)"),
])
def test_signatures_and_docstrings(function, signature):
    assert str(inspect.signature(function)) == signature
    assert function.__doc__.startswith(function.__name__ + signature + "\n\n")


def test_class_traits():
    field = only_field("{ a @custom(x: 1) }")
    directive = field.directives[0]
    for cls, instance in [(_dovrane.LoweredField, field), (_dovrane.LoweredDirective, directive)]:
        assert_read_only_class(cls, instance, "name" if cls is _dovrane.LoweredDirective else "field_name")
        with pytest.raises(AttributeError):
            instance.name = "changed"
    with pytest.raises(AttributeError):
        field.arguments = {}


def test_attribute_tables_and_docstrings():
    attributes = [name for name in vars(_dovrane.LoweredField) if not name.startswith("__")]
    assert attributes == [
        "response_key", "field_name", "type_condition", "arguments", "directives", "selections", "line", "column",
        "is_deferred", "defer_label", "is_streamed", "stream_initial_count", "stream_label",
    ]
    assert [name for name in vars(_dovrane.LoweredDirective) if not name.startswith("__")] == ["name", "arguments"]
    assert "@skip/@include" in _dovrane.LoweredField.__doc__
    assert _dovrane.LoweredDirective.__doc__ == ""
    documented = {name for name in attributes if vars(_dovrane.LoweredField)[name].__doc__}
    assert documented == {"line", "is_deferred", "is_streamed"}


def test_result_shape_and_positions():
    operation_type, fields = lower("query {\n  hero {\n    name\n    friends: allies { id }\n  }\n}")
    assert operation_type == "query"
    assert type(fields) is list
    [hero] = fields
    assert (hero.response_key, hero.field_name, hero.type_condition, hero.arguments) == ("hero", "hero", None, {})
    assert (hero.line, hero.column) == (2, 3)
    name, friends = hero.selections
    assert (name.line, name.column, name.selections) == (3, 5, [])
    assert (friends.response_key, friends.field_name, friends.line, friends.column) == ("friends", "allies", 4, 5)


@pytest.mark.parametrize("query, operation_type", [
    ("{ a }", "query"),
    ("mutation { a }", "mutation"),
    ("subscription S { a }", "subscription"),
])
def test_operation_types(query, operation_type):
    assert lower(query)[0] == operation_type


def test_operation_selection():
    text = "query A { a } mutation B { b }"
    operation_type, fields = lower(text, operation_name="B")
    assert (operation_type, shape(fields)) == ("mutation", ["b"])
    operation_type, fields = lower(text, operation_name="A")
    assert (operation_type, shape(fields)) == ("query", ["a"])
    assert raised(lambda: lower(text)) == (
        "document contains multiple operations; operation_name is required", ErrorCode.GRAPHQL_VALIDATION_FAILED,
        None)
    assert raised(lambda: lower(text, operation_name="a")) == (
        "no operation named 'a'", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)


def test_fragments_flatten_with_type_conditions():
    fields = fields_of("""
        { node { id ...F ... on User { email } ... { plain } } }
        fragment F on Post { title ... { inner } }
    """)
    node = fields[0]
    assert [(field.response_key, field.type_condition) for field in node.selections] == [
        ("id", None), ("title", "Post"), ("inner", "Post"), ("email", "User"), ("plain", None),
    ]


def test_fragment_errors_are_located_at_the_spread():
    assert raised(lambda: lower("{ ...Missing }")) == (
        "undefined fragment 'Missing'", ErrorCode.GRAPHQL_VALIDATION_FAILED, [(1, 3)])
    assert raised(lambda: lower("{ ...A } fragment A on T { ...B } fragment B on T { ...A }")) == (
        "Fragment cycle detected involving 'A'", ErrorCode.INVALID_FRAGMENT_TARGET, [(1, 53)])
    # Nothing below a union-typed field is validated, so lowering is where
    # such a spread fails: at the spread, as validation would have said.
    schema = testing.sample_schema()
    for query, expected in [
        ('{ search(text: "x") { ... on Book { ...Missing } } }',
         ("undefined fragment 'Missing'", ErrorCode.GRAPHQL_VALIDATION_FAILED, [(1, 37)])),
        ('{ search(text: "x") { ...F } }\nfragment F on Book { ...F }',
         ("Fragment cycle detected involving 'F'", ErrorCode.INVALID_FRAGMENT_TARGET, [(2, 22)])),
    ]:
        document = _dovrane.parse_query(query)
        assert _dovrane.validate_document(document, schema) is None
        assert raised(lambda: _dovrane.lower_document(document, variable_values={})) == expected


def test_other_lowering_errors_carry_no_locations():
    assert raised(lambda: lower("{ a @skip }"))[2] is None


def test_parse_errors_of_lower_query():
    message, code, locations = raised(lambda: lower("{ a"))
    assert (code, locations) == (ErrorCode.GRAPHQL_PARSE_FAILED, [(1, 4)])


# ---------------------------------------------------------------------------
# Variables


def test_empty_variables_lower_normally():
    assert shape(fields_of("{ a { b } c }", {})) == [("a", ["b"]), "c"]


def test_a_missing_bare_variable_leaves_its_argument_out():
    field = only_field("query($x: Int) { a(x: $x, y: 2) }")
    assert field.arguments == {"y": 2}
    assert raised(lambda: lower("query($x: Int) { a(x: [$x]) }")) == (
        "query references undefined variable '$x'", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)
    assert raised(lambda: lower("query($x: Int) { a(x: {k: $x}) }"))[0] == "query references undefined variable '$x'"


def test_declared_defaults_are_never_applied():
    field = only_field("query($x: Int = 3) { a(x: $x) }")
    assert field.arguments == {}


def test_arguments_receive_the_callers_own_objects():
    marker = object()
    items = [1, 2]
    field = only_field("query { a(x: $x, nested: {list: [$items, $x]}) }", {"x": marker, "items": items})
    assert field.arguments["x"] is marker
    assert field.arguments["nested"]["list"][0] is items
    assert field.arguments["nested"]["list"][1] is marker


def test_a_variable_without_a_json_form_is_absent_for_directives_only():
    marker = object()
    assert only_field("{ a(x: $x) }", {"x": marker}).arguments["x"] is marker
    assert raised(lambda: lower("{ a @include(if: $x) }", {"x": marker})) == (
        "@include(if: $x) references undefined variable '$x'", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)


def test_a_none_variable():
    assert only_field("{ a(x: $n) }", {"n": None}).arguments == {"x": None}
    assert raised(lambda: lower("{ a @skip(if: $n) }", {"n": None}))[0] == (
        "variable '$n' used in @skip(if: ...) must be a boolean")


def test_json_variables_drive_directives():
    query = "query($on: Boolean!) { a @include(if: $on) b @skip(if: $on) }"
    assert shape(fields_of(query, {"on": True})) == ["a"]
    assert shape(fields_of(query, {"on": False})) == ["b"]
    # A dict subclass is accepted, and read at the dict level.
    class Variables(dict):
        def __getitem__(self, key):
            raise AssertionError("not read through __getitem__")

    assert shape(fields_of(query, Variables(on=True))) == ["a"]


class Failing:
    """A value whose conversion to a number raises the given exception."""

    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error


def test_a_conversion_that_raises_an_exception_leaves_the_variable_out():
    value = Failing(ValueError("no number"))
    assert raised(lambda: lower("{ a @skip(if: $v) }", {"v": value}))[0] == (
        "@skip(if: $v) references undefined variable '$v'")
    assert only_field("{ a(v: $v) }", {"v": value}).arguments["v"] is value


def test_a_conversion_that_raises_a_base_exception_propagates():
    with pytest.raises(KeyboardInterrupt):
        lower("{ a }", {"v": Failing(KeyboardInterrupt())})


def test_a_variable_named_with_lone_surrogates_is_left_out():
    # JSON bodies decode "\ud800" escapes into such keys.
    assert only_field("{ a(x: $x) }", {"\ud800": 1, "x": 2}).arguments == {"x": 2}


def test_a_dict_changed_while_it_is_read():
    variables = {}

    class Growing:
        def __index__(self):
            variables["added"] = 1
            return 1

    variables["g"] = Growing()
    variables["h"] = 2
    with pytest.raises(BaseException) as caught:
        lower("{ a }", variables)
    assert not isinstance(caught.value, Exception)
    assert str(caught.value) == "dictionary changed size during iteration"


# ---------------------------------------------------------------------------
# Argument errors, in the order they are checked


@pytest.mark.parametrize("call, message", [
    (lambda: _dovrane.lower_document(1, variable_values=[]), "argument 'document': expected ParsedDocument, got int"),
    (lambda: _dovrane.lower_query(1, variable_values=[]), "argument 'query': expected str, got int"),
    (lambda: _dovrane.lower_query("{ a }", variable_values=[], operation_name=1),
     "argument 'variable_values': expected dict, got list"),
    (lambda: _dovrane.lower_query("{ a }", variable_values={}, operation_name=1),
     "argument 'operation_name': expected str, got int"),
    (lambda: _dovrane.lower_query("{ a }", {}), "lower_query() takes 1 positional argument but 2 were given"),
    (lambda: _dovrane.lower_query("{ a }"), "lower_query() missing 1 required keyword argument: 'variable_values'"),
    (lambda: _dovrane.lower_document(variable_values={}),
     "lower_document() missing 1 required positional argument: 'document'"),
    (lambda: _dovrane.lower_query("{ a }", variable_values={}, operation="Q"),
     "lower_query() got an unexpected keyword argument 'operation'"),
    # Keys are checked even when the query uses no variable.
    (lambda: _dovrane.lower_query("{ a }", variable_values={1: "x"}), "argument 'variable_values': expected str, got int"),
    (lambda: _dovrane.lower_document(_dovrane.parse_query("{ a }"), variable_values={"a": 1, (2,): "x"}),
     "argument 'variable_values': expected str, got tuple"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_the_parse_error_comes_before_any_variable_is_read():
    assert raised(lambda: lower("{", {1: "not a str key"}))[1] is ErrorCode.GRAPHQL_PARSE_FAILED


# ---------------------------------------------------------------------------
# Values


@pytest.mark.parametrize("literal, expected", [
    ("null", None),
    ("true", True),
    ("false", False),
    ("-5", -5),
    ("0", 0),
    ("-9223372036854775808", -(2 ** 63)),
    ("9223372036854775807", 2 ** 63 - 1),
    # Above 2^63-1 an unsigned literal stays an exact int.
    ("9223372036854775808", 2 ** 63),
    ("18446744073709551615", 2 ** 64 - 1),
    ("1.5", 1.5),
    ("-0", -0.0),
    ("1e3", 1000.0),
    ('"text é \\u00e9 \\n"', "text é é \n"),
    ('"""block\n  string"""', "block\nstring"),
    ("ENUM_VALUE", "ENUM_VALUE"),
    ("[]", []),
    ("[1, [2, null], {a: B}]", [1, [2, None], {"a": "B"}]),
    ("{}", {}),
])
def test_literals(literal, expected):
    value = only_field("{ f(v: %s) }" % literal).arguments["v"]
    assert value == expected
    assert type(value) is type(expected)


def test_object_literals_keep_their_written_order():
    value = only_field("{ f(v: {z: 1, a: 2, m: {y: 1, b: 2}}) }").arguments["v"]
    assert list(value) == ["z", "a", "m"] and list(value["m"]) == ["y", "b"]
    # A repeated key keeps its first position and its last value.
    assert list(only_field("{ f(v: {a: 1, b: 2, a: 3}) }").arguments["v"].items()) == [("a", 3), ("b", 2)]


def test_a_repeated_argument_keeps_the_last_value():
    assert only_field("{ f(a: 1, b: 2, a: 3) }").arguments == {"a": 3, "b": 2}


def test_values_nested_to_the_parsers_limit():
    value = only_field("{ f(v: %s) }" % ("[" * 64 + "1" + "]" * 64)).arguments["v"]
    for _ in range(64):
        value = value[0]
    assert value == 1


# ---------------------------------------------------------------------------
# Directives, @defer and @stream


def test_custom_directives():
    field = only_field('{ a @skip(if: false) @custom(x: 1, y: $v) @Skip(if: true) @include(if: true) @stream }',
                       {"v": "value"})
    assert [(directive.name, directive.arguments) for directive in field.directives] == [
        ("custom", {"x": 1, "y": "value"}), ("Skip", {"if": True}),
    ]


DEFER_AND_STREAM = [
    ("{ a }", (False, None, False, None, None)),
    ("{ ... @defer { a } }", (True, None, False, None, None)),
    ('{ ... @defer(label: "d") { a } }', (True, "d", False, None, None)),
    ("{ ... @defer(if: false) { a } }", (False, None, False, None, None)),
    ("{ a @stream }", (False, None, True, 0, None)),
    ('{ a @stream(initialCount: -2, label: "s") }', (False, None, True, -2, "s")),
    ("{ a @stream(if: false) }", (False, None, False, None, None)),
    ("query($n: Int) { a @stream(initialCount: $n) }", (False, None, True, 5, None)),
    ('{ ... @defer(label: "d") { a @stream } }', (True, "d", True, 0, None)),
]


@pytest.mark.parametrize("query, expected", DEFER_AND_STREAM)
def test_defer_and_stream_attributes(query, expected):
    field = only_field(query, {"n": 5})
    assert (field.is_deferred, field.defer_label, field.is_streamed, field.stream_initial_count,
            field.stream_label) == expected
    assert field.directives == []


# ---------------------------------------------------------------------------
# Identity of the attributes


def test_arguments_are_one_dict_and_lists_are_copies():
    field = only_field("{ alias: a(x: 1) @d { b c } }")
    assert field.arguments is field.arguments
    assert field.selections is not field.selections
    assert field.selections == field.selections
    assert all(x is y for x, y in zip(field.selections, field.selections))
    assert field.directives is not field.directives
    assert field.directives[0] is field.directives[0]
    assert field.directives[0].arguments is field.directives[0].arguments
    assert field.response_key is not field.response_key
    # Changing the dict shows on later reads; changing a list changes nothing.
    field.arguments["added"] = True
    field.selections.clear()
    field.directives.clear()
    assert field.arguments == {"x": 1, "added": True}
    assert len(field.selections) == 2 and len(field.directives) == 1


def test_an_empty_arguments_dict_is_still_one_object():
    leaf = only_field("{ a { b } }").selections[0]
    arguments = leaf.arguments
    assert arguments == {} and leaf.arguments is arguments
    arguments["x"] = 1
    assert leaf.arguments == {"x": 1}


# ---------------------------------------------------------------------------
# Conversion errors, in their order


@pytest.mark.parametrize("query, undefined", [
    ("{ a(x: [$own]) @d(y: [$directive]) { b(z: [$sub]) } next(n: [$next]) }", "directive"),
    ("{ a(x: [$own]) @d(y: 1) { b(z: [$sub]) } next(n: [$next]) }", "sub"),
    ("{ a(x: [$own]) @d(y: 1) { b(z: 1) } next(n: [$next]) }", "own"),
    ("{ a(x: 1) @d(y: 1) { b(z: 1) } next(n: [$next]) }", "next"),
])
def test_conversion_errors_come_in_order(query, undefined):
    assert raised(lambda: lower(query))[0] == f"query references undefined variable '${undefined}'"


# ---------------------------------------------------------------------------
# Depth, lifetime and leaks


def deep_query(levels_per_fragment, fragments):
    """Fields nested `levels_per_fragment` deep per fragment, through a chain of fragments."""
    body = lambda inner: "x { " * levels_per_fragment + inner + " }" * levels_per_fragment
    definitions = [f"fragment F{i} on T {{ {body(f'...F{i + 1}')} }}" for i in range(fragments - 1)]
    definitions.append(f"fragment F{fragments - 1} on T {{ {body('leaf')} }}")
    return "{ ...F0 } " + " ".join(definitions)


def test_a_plan_nested_to_the_lowering_limit_converts_and_frees():
    # 4 fragments of 60 levels: 240 nested fields, below the limit of 256.
    _, fields = lower(deep_query(60, 4))
    depth, field = 0, fields[0]
    while field.selections:
        [field] = field.selections
        depth += 1
    assert (depth, field.response_key) == (240, "leaf")
    del fields, field
    gc.collect()
    assert raised(lambda: lower(deep_query(60, 5)))[0] == "query nesting exceeds the limit of 256"


def test_the_plan_outlives_the_handle_and_the_text():
    handle = _dovrane.parse_query('{ alias: field(s: "text") @d(x: "y") { sub } }')
    field = _dovrane.lower_document(handle, variable_values={})[1][0]
    del handle
    gc.collect()
    assert (field.response_key, field.field_name, field.arguments) == ("alias", "field", {"s": "text"})
    assert (field.directives[0].name, field.selections[0].field_name) == ("d", "sub")


def test_reference_cycles_through_arguments_are_collected():
    class Holder:
        pass

    holder = Holder()
    [field] = fields_of("{ a { b(x: $h) } }", {"h": holder})
    holder.field = field
    probe = weakref.ref(holder)
    del field, holder
    gc.collect()
    assert probe() is None


def test_lowering_the_benchmark_query_does_not_leak():
    with open(os.path.join(DATA, "query.graphql"), encoding="utf-8") as source:
        handle = _dovrane.parse_query(source.read())
    lower_document = _dovrane.lower_document

    def run(count):
        for _ in range(count):
            _, fields = lower_document(handle, variable_values=BENCH_VARIABLES)
            fields[0].arguments  # an empty dict made on first read
            fields[0].selections[0].directives

    run(1000)
    gc.collect()
    # 100 000 lowerings in all. Tracing every allocation costs several times
    # the lowering itself, so 90 000 are counted in allocated blocks and the
    # last 10 000 traced: a leak of one object per call shows in either.
    blocks_before = sys.getallocatedblocks()
    run(90_000)
    gc.collect()
    blocks_after = sys.getallocatedblocks()
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        run(10_000)
        gc.collect()
        after = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    assert blocks_after - blocks_before < 1000, f"{blocks_after - blocks_before} blocks more"
    assert after - before < 64 * 1024, f"grew by {after - before} bytes"


def every_object(fields):
    """Every LoweredField and LoweredDirective of a plan."""
    found = []
    pending = list(fields)
    while pending:
        field = pending.pop()
        found.append(field)
        found.extend(field.directives)
        pending.extend(field.selections)
    return found


def test_every_object_of_a_plan_is_tracked_by_the_collector():
    # The objects are built untracked and tracked together once the plan is
    # whole: none may be left out, at any depth, through fragments or not.
    query = ("{ a @x(v: 1) { b @y { c @z(w: [1, {k: 2}]) } } ...F ... on T @defer { d { e } } }"
             " fragment F on T { f @q { g } }")
    with open(os.path.join(DATA, "query.graphql"), encoding="utf-8") as source:
        dashboard = source.read()
    for text, variables in [(query, {}), (dashboard, BENCH_VARIABLES)]:
        for _, fields in [lower(text, variables),
                          _dovrane.lower_document(_dovrane.parse_query(text), variable_values=variables)]:
            objects = every_object(fields)
            assert len(objects) > 10
            assert all(gc.is_tracked(item) for item in objects)


def test_a_plan_that_fails_while_it_is_built_frees_what_it_built():
    # The last field's list argument names an undefined variable: every
    # object built before it is freed, untracked, and nothing stays behind.
    query = "{ a @x(v: 1) { b { c } } ...F d(v: [$missing]) } fragment F on T { e @y { f } }"

    def run(count):
        for _ in range(count):
            with pytest.raises(GraphQLError):
                lower(query)

    run(100)
    gc.collect()
    blocks_before = sys.getallocatedblocks()
    run(20_000)
    gc.collect()
    assert sys.getallocatedblocks() - blocks_before < 500
    assert raised(lambda: lower(query))[0] == "query references undefined variable '$missing'"
