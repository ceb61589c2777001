"""Applied directives: extraction into (name, arguments) and the location check."""
import pytest

import _dovrane
import _dovrane_testing as testing
from directive_fixtures import Field, directive, raising_descriptor


# ---------------------------------------------------------------------------
# Extraction

@pytest.mark.parametrize("directives, expected", [
    pytest.param([], [], id="empty"),
    pytest.param(["text", None, 3, object(), directive("tag")], [("tag", [])],
                 id="items without a descriptor are skipped"),
    pytest.param("@tag", [], id="a str as the whole argument is iterated and every character skipped"),
    pytest.param([directive("tag")], [("tag", [])], id="no fields"),
    pytest.param([directive("cost", weight=2, reason="slow", ratio=0.5)],
                 [("cost", [("weight", "2"), ("reason", '"slow"'), ("ratio", "0.5")])],
                 id="arguments in field order"),
    pytest.param([directive("cost", fields=[Field("max_age", "")], max_age=1)], [("cost", [("", "1")])],
                 id="empty graphql_name is the key"),
    pytest.param([directive("cost", max_age=1)], [("cost", [("max_age", "1")])],
                 id="underscores are never camel-cased"),
    pytest.param([directive("cost", fields=[Field("max_age", "maxAge")], max_age=1)], [("cost", [("maxAge", "1")])],
                 id="graphql_name wins"),
    pytest.param([directive("tag", value=None)], [("tag", [("value", "null")])], id="None is null"),
    pytest.param([directive("tag", value={"b": [1, True], "a": None})],
                 [("tag", [("value", '{"a":null,"b":[1,true]}')])], id="nested values"),
    pytest.param([directive("tag", n=1), directive("tag", n=2)], [("tag", [("n", "1")]), ("tag", [("n", "2")])],
                 id="repeated directives each give their own"),
])
def test_extraction(directives, expected):
    assert testing.applied_directives(directives) == expected


def test_any_iterable_is_walked_once_in_order():
    items = [directive("first"), "skip", directive("second")]
    expected = [("first", []), ("second", [])]
    assert testing.applied_directives(tuple(items)) == expected
    assert testing.applied_directives(item for item in items) == expected


def test_descriptor_fields_may_be_any_iterable():
    instance = directive("tag", fields=(), a=1, b=2)
    type(instance).__dovrane_directive_info__.fields = (field for field in [Field("b"), Field("a")])
    assert testing.applied_directives([instance]) == [("tag", [("b", "2"), ("a", "1")])]


def test_a_failing_descriptor_lookup_skips_the_item():
    items = [raising_descriptor(ValueError("no")), raising_descriptor(AttributeError("no")), directive("tag")]
    assert testing.applied_directives(items) == [("tag", [])]
    assert testing.check_directive_locations(items, "FIELD_DEFINITION", "x") is None


@pytest.mark.parametrize("exception", [KeyboardInterrupt, SystemExit])
def test_only_exceptions_are_discarded_from_the_lookup(exception):
    items = [raising_descriptor(exception())]
    with pytest.raises(exception):
        testing.applied_directives(items)
    with pytest.raises(exception):
        testing.check_directive_locations(items, "FIELD_DEFINITION", "x")


def broken(**changes):
    """A directive with one argument `value`, its descriptor or field changed as given."""
    instance = directive("tag", value=1)
    descriptor = type(instance).__dovrane_directive_info__
    for key, value in changes.items():
        owner, _, attribute = key.partition("__")
        target = descriptor if owner == "descriptor" else descriptor.fields[0] if owner == "field" else instance
        if value is delattr:
            delattr(target, attribute)
        else:
            setattr(target, attribute, value)
    return instance


@pytest.mark.parametrize("directives, error, message", [
    (None, TypeError, "'NoneType' object is not iterable"),
    ([broken(descriptor__name=delattr)], AttributeError, "name"),
    ([broken(descriptor__name=3)], TypeError, "expected str, got int"),
    ([broken(descriptor__fields=delattr)], AttributeError, "fields"),
    ([broken(descriptor__fields=3)], TypeError, "'int' object is not iterable"),
    ([broken(field__name=delattr)], AttributeError, "name"),
    ([broken(field__name=b"value")], TypeError, "expected str, got bytes"),
    ([broken(field__graphql_name=delattr)], AttributeError, "graphql_name"),
    ([broken(field__graphql_name=1)], TypeError, "expected str, got int"),
    ([broken(instance__value=delattr)], AttributeError, "value"),
    ([broken(instance__value=object())], ValueError, "value of type 'object' is not JSON-serializable"),
    ([broken(instance__value={1: "a"})], TypeError, None),
])
def test_extraction_errors(directives, error, message):
    with pytest.raises(error) as raised:
        testing.applied_directives(directives)
    if message is not None:
        assert message in str(raised.value)


def test_a_failure_in_a_later_directive_returns_nothing_in_part():
    with pytest.raises(ValueError):
        testing.applied_directives([directive("good", n=1), directive("bad", n=object())])


def test_argument_values_too_deep_or_self_referential_raise_recursion_error():
    looped = []
    looped.append(looped)
    with pytest.raises(RecursionError):
        testing.applied_directives([directive("tag", value=looped)])

    deep = []
    for _ in range(300):
        deep = [deep]
    with pytest.raises(RecursionError):
        testing.applied_directives([directive("tag", value=deep)])

    shallow = []
    for _ in range(100):
        shallow = [shallow]
    assert testing.applied_directives([directive("tag", value=shallow)]) == [
        ("tag", [("value", "[" * 101 + "]" * 101)])]


# ---------------------------------------------------------------------------
# Location check

@pytest.mark.parametrize("directives", [
    pytest.param([], id="empty"),
    pytest.param(["text", None, object()], id="no directive instances"),
    pytest.param("SCALAR", id="a str as the whole argument"),
    pytest.param([directive("a", locations=["OBJECT", "SCALAR"]), directive("b", locations=("SCALAR",))],
                 id="every instance declares the location"),
])
def test_the_check_passes(directives):
    assert testing.check_directive_locations(directives, "SCALAR", "Email") is None


def test_the_name_is_read_only_to_report_a_failure():
    instance = directive("tag", locations=["SCALAR"])
    del type(instance).__dovrane_directive_info__.name
    assert testing.check_directive_locations([instance], "SCALAR", "Email") is None
    with pytest.raises(AttributeError):
        testing.check_directive_locations([instance], "SCHEMA", "schema")


@pytest.mark.parametrize("declared, location, target, message", [
    (["FIELD_DEFINITION", "OBJECT"], "SCALAR", "Email",
     "directive '@auth' cannot be applied to 'Email' (SCALAR); declared locations: FIELD_DEFINITION, OBJECT"),
    (["FIELD_DEFINITION"], "ARGUMENT_DEFINITION", "limit",
     "directive '@auth' cannot be applied to 'limit' (ARGUMENT_DEFINITION); declared locations: FIELD_DEFINITION"),
    (("OBJECT", "OBJECT"), "SCHEMA", "schema",
     "directive '@auth' cannot be applied to 'schema' (SCHEMA); declared locations: OBJECT, OBJECT"),
    ([], "SCALAR", "Email", "directive '@auth' cannot be applied to 'Email' (SCALAR); declared locations: "),
    (["scalar"], "SCALAR", "Email", "directive '@auth' cannot be applied to 'Email' (SCALAR); declared locations: scalar"),
    (["SCALAR "], "SCALAR", "Email",
     "directive '@auth' cannot be applied to 'Email' (SCALAR); declared locations: SCALAR "),
])
def test_the_check_fails_with_its_message(declared, location, target, message):
    with pytest.raises(_dovrane.SchemaError) as raised:
        testing.check_directive_locations([directive("auth", locations=declared)], location, target)
    assert type(raised.value) is _dovrane.SchemaError
    assert str(raised.value) == message


def test_the_first_failure_is_reported_and_later_items_are_not_read():
    later = directive("later", locations="SCALAR")  # would raise TypeError if it were read
    items = [directive("ok", locations=["SCALAR"]), directive("first", locations=["OBJECT"]),
             directive("second", locations=["OBJECT"]), later]
    with pytest.raises(_dovrane.SchemaError, match="^directive '@first' cannot"):
        testing.check_directive_locations(items, "SCALAR", "Email")


@pytest.mark.parametrize("locations, message", [
    ("SCALAR", "expected a sequence other than str, got str"),
    (3, "expected a sequence, got int"),
    ({"SCALAR"}, "expected a sequence, got set"),
    (["SCALAR", 3], "expected str, got int"),
])
def test_declared_locations_must_be_a_sequence_of_str(locations, message):
    with pytest.raises(TypeError, match=f"^{message}$"):
        testing.check_directive_locations([directive("tag", locations=locations)], "SCALAR", "Email")


def test_the_check_of_something_not_iterable_raises_the_iteration_error():
    with pytest.raises(TypeError, match="'NoneType' object is not iterable"):
        testing.check_directive_locations(None, "SCALAR", "Email")


# ---------------------------------------------------------------------------
# Check, then extract: the form the argument, scalar and schema callers use

def test_a_generator_keeps_its_directives_through_the_check():
    def generate():
        yield directive("tag", locations=["SCALAR"], n=1)
        yield "skipped"
        yield directive("tag", locations=["SCALAR"], n=2)

    assert testing.checked_directives(generate(), "SCALAR", "Email") == [("tag", [("n", "1")]), ("tag", [("n", "2")])]

    # Checking and then extracting the same generator separately finds nothing left.
    generator = generate()
    testing.check_directive_locations(generator, "SCALAR", "Email")
    assert testing.applied_directives(generator) == []


@pytest.mark.parametrize("container", [list, tuple, iter])
def test_checked_extraction_of_any_iterable(container):
    items = [directive("a", locations=["SCHEMA"], flag=True), None, directive("b", locations=["SCHEMA"])]
    assert testing.checked_directives(container(items), "SCHEMA", "schema") == [("a", [("flag", "true")]), ("b", [])]


def test_checked_extraction_checks_every_item_before_extracting_any():
    items = [directive("a", locations=["SCHEMA"], value=object()), directive("b", locations=["OBJECT"])]
    with pytest.raises(_dovrane.SchemaError, match="^directive '@b' cannot be applied to 'schema' \\(SCHEMA\\)"):
        testing.checked_directives(items, "SCHEMA", "schema")


def test_checked_extraction_of_something_not_iterable():
    with pytest.raises(TypeError, match="'NoneType' object is not iterable"):
        testing.checked_directives(None, "SCALAR", "Email")
