"""compile_schema: re-keying the descriptions, scalars and their directives, the shape check."""
import dataclasses
import datetime
import inspect
import uuid
from typing import Annotated, Optional

import pytest

import _dovrane
from dovrane._union import UnionDefinition
from dovrane.directive import DirectiveValue
from schema_helpers import compile, interface, object_type, schema_directive

SIGNATURE = ("compile_schema(*, query_type_name, mutation_type_name=None, subscription_type_name=None, types, "
             "unions, directives, schema_directives, scalar_names, scalar_directives=..., scalar_descriptions=..., "
             "scalar_specified_by_urls=..., auto_camel_case=True, schema_applied_directives=None)")


@object_type
class Query:
    hello: str


@schema_directive(locations=["SCALAR", "SCHEMA"])
class Tag:
    name: str


@schema_directive(locations=["FIELD_DEFINITION"])
class Auth:
    role: str


@schema_directive(locations=["SCALAR"], repeatable=True)
class Note:
    text: str


def sdl(schema):
    return _dovrane.render_sdl(schema)


def blocks(schema):
    """The SDL's sections, by their first line."""
    return {block.split("\n", 1)[0]: block for block in sdl(schema).strip().split("\n\n")}


def test_signature_and_docstring():
    assert _dovrane.compile_schema.__doc__.startswith(SIGNATURE + "\n\n")
    parameters = inspect.signature(_dovrane.compile_schema).parameters
    assert all(p.kind is inspect.Parameter.KEYWORD_ONLY for p in parameters.values())
    assert len(parameters) == 13


def test_a_small_schema_compiles_and_renders():
    schema = compile(Query, scalar_names=["String"])
    assert type(schema) is _dovrane.CompiledSchema
    assert sdl(schema) == "schema {\n  query: Query\n}\n\ntype Query {\n  hello: String!\n}\n\nscalar String"


def test_the_last_definition_of_a_name_wins():
    @object_type(name="Thing")
    class First:
        a: int

    @object_type(name="Thing")
    class Second:
        b: int

    def one(value: DirectiveValue[str]):
        pass

    def two(value: DirectiveValue[str], times: int):
        pass

    first_directive = _dovrane.describe_operation_directive(one, locations=["FIELD"], name="d")
    second_directive = _dovrane.describe_operation_directive(two, locations=["FIELD"], name="d")
    schema = compile(Query, types=[First, Second], directives=[first_directive, second_directive])
    assert blocks(schema)["type Thing {"] == "type Thing {\n  b: Int!\n}"
    assert "directive @d(times: Int!) on FIELD" in blocks(schema)


@object_type
class Event:
    at: datetime.datetime
    day: Optional[datetime.date] = None


@pytest.mark.parametrize("scalar_names, descriptions, expected_description", [
    ([], [], "Date with time (isoformat)"),                                   # added with its description
    (["DateTime"], [("DateTime", "Ours")], "Ours"),                           # registered: the caller's stays
    (["DateTime"], [], None),                                                 # registered without one: none
    ([], [("DateTime", "Ours")], "Date with time (isoformat)"),               # added: the built-in replaces it
])
def test_referenced_library_scalars(scalar_names, descriptions, expected_description):
    schema = compile(Query, types=[Event], scalar_names=["String", *scalar_names],
                     scalar_descriptions=descriptions)
    assert schema.scalar_names == ["Date", "DateTime", "String"]
    assert schema.scalar_descriptions.get("DateTime") == expected_description
    assert schema.scalar_descriptions["Date"] == "Date (isoformat)"


def test_a_type_or_union_of_the_same_name_keeps_the_library_scalar_out():
    @object_type(name="DateTime")
    class Mine:
        value: str

    @object_type
    class Uses:
        at: Mine
        stamp: datetime.datetime

    schema = compile(Query, types=[Mine, Uses], scalar_names=["String"])
    assert schema.scalar_names == ["String"]

    # A union of that name keeps it out the same way: the fields name the union.
    @object_type
    class Stamped:
        at: datetime.datetime

    stamp = Annotated[Cat | Dog, UnionDefinition("DateTime")]
    schema = compile(Query, types=[Stamped, Cat, Dog], unions=[stamp], scalar_names=["String"])
    assert schema.scalar_names == ["String"]
    assert blocks(schema)["union DateTime = Cat | Dog"]
    assert "scalar DateTime" not in blocks(schema)


def test_library_scalars_named_only_by_directives_are_declared():
    @schema_directive(locations=["OBJECT"])
    class Keyed:
        key: uuid.UUID

    def at(value: DirectiveValue[str], when: datetime.time):
        pass

    directive = _dovrane.describe_operation_directive(at, locations=["FIELD"])
    schema = compile(Query, directives=[directive], schema_directives=[Keyed], scalar_names=["String"])
    assert schema.scalar_names == ["String", "Time", "UUID"]
    assert '"""UUID"""\nscalar UUID' in sdl(schema) and '"""Time (isoformat)"""\nscalar Time' in sdl(schema)
    assert compile(Query, scalar_names=["String"]).scalar_names == ["String"]


def test_description_and_url_pairs():
    schema = compile(Query, scalar_names=["String", "Money", "bigint"],
                     scalar_descriptions=[("Money", "first"), ("Money", "second"), ("bigint", "kept"),
                                          ("bigint", None), ("String", None), ("Ghost", "not a scalar")],
                     scalar_specified_by_urls=[("Money", "https://example.com/money"), ("Money", None)])
    assert schema.scalar_descriptions == {"Money": "second", "bigint": "kept", "Ghost": "not a scalar"}
    assert schema.scalar_names == ["Money", "String", "bigint"]
    assert blocks(schema)['"""second"""'] == '"""second"""\nscalar Money @specifiedBy(url: "https://example.com/money")'


def test_scalar_and_schema_directives():
    schema = compile(Query, schema_directives=[Tag], scalar_names=["String", "Money"],
                     scalar_directives=[("Money", [Tag("cash")])],
                     schema_applied_directives=(tag for tag in [Tag("api")]))
    sections = blocks(schema)
    assert sections["scalar Money @tag(name: \"cash\")"]
    assert sections['schema @tag(name: "api") {']


def test_one_shot_iterables_keep_their_directives():
    schema = compile(Query, schema_directives=[Note], scalar_names=["String", "Money"],
                     scalar_directives=[("Money", (note for note in [Note("a"), Note("b")]))])
    assert 'scalar Money @note(text: "a") @note(text: "b")' in blocks(schema)


def test_none_and_an_empty_iterable_of_schema_directives_agree():
    assert sdl(compile(Query, schema_applied_directives=None)) == sdl(compile(Query, schema_applied_directives=[]))


def test_directive_locations_are_checked_in_order():
    with pytest.raises(_dovrane.SchemaError) as raised:
        compile(Query, schema_directives=[Auth, Tag], scalar_names=["String", "Money", "Email"],
                scalar_directives=[("Money", [Tag("ok")]), ("Email", [Auth("admin")]), ("Money", [Auth("never")])],
                schema_applied_directives=[Auth("never looked at")])
    assert str(raised.value) == ("directive '@auth' cannot be applied to 'Email' (SCALAR); "
                                 "declared locations: FIELD_DEFINITION")

    with pytest.raises(_dovrane.SchemaError) as raised:
        compile(Query, schema_directives=[Auth], schema_applied_directives=[Auth("x")])
    assert str(raised.value) == ("directive '@auth' cannot be applied to 'schema' (SCHEMA); "
                                 "declared locations: FIELD_DEFINITION")


def test_a_directive_value_without_json_form_fails_the_extraction():
    with pytest.raises(ValueError, match="^value of type 'tuple' is not JSON-serializable$"):
        compile(Query, schema_directives=[Tag], schema_applied_directives=[Tag((1, 2))])


@interface
class Node:
    id: str


@object_type
class Lonely:
    pass


@object_type
class Article(Node):
    title: str = ""


@object_type
class Cat:
    name: str


@object_type
class Dog:
    name: str


@pytest.mark.parametrize("types, unions, message", [
    ([Lonely], [], "object type 'Lonely' defines no fields, but the GraphQL specification requires one or more"),
    ([Article], [], "'Article' implements interface 'Node', which is not a registered type"),
    ([Cat], [Cat | Dog], "union 'CatDog' has member 'Dog', which is not a registered type"),
])
def test_shape_check_messages_are_schema_errors(types, unions, message):
    with pytest.raises(_dovrane.SchemaError) as raised:
        compile(Query, types=types, unions=unions)
    assert str(raised.value) == message


def test_a_sound_schema_of_the_same_types_compiles_to_all_of_them():
    sections = blocks(compile(Query, types=[Node, Article, Cat, Dog], unions=[Cat | Dog], scalar_names=["String"]))
    assert sections == {
        "schema {": "schema {\n  query: Query\n}",
        "type Article implements Node {": "type Article implements Node {\n  id: String!\n  title: String!\n}",
        "type Cat {": "type Cat {\n  name: String!\n}",
        "type Dog {": "type Dog {\n  name: String!\n}",
        "interface Node {": "interface Node {\n  id: String!\n}",
        "type Query {": "type Query {\n  hello: String!\n}",
        "union CatDog = Cat | Dog": "union CatDog = Cat | Dog",
        "scalar String": "scalar String",
    }


def test_an_unknown_query_type_is_refused():
    with pytest.raises(_dovrane.SchemaError) as raised:
        _dovrane.compile_schema(query_type_name="Nope", types=[], unions=[], directives=[], schema_directives=[],
                                scalar_names=[])
    assert str(raised.value) == "the query root type is 'Nope', which is not a registered type"


def test_info_objects_are_reused_and_schemas_share_nothing():
    first = compile(Query)
    second = compile(Query)
    text = "{ hello }"
    import hashlib

    digest = hashlib.sha256(text.encode()).hexdigest()
    assert _dovrane.resolve_persisted_query(digest, first, query=text).cache_hit is False
    assert _dovrane.resolve_persisted_query(digest, first).cache_hit is True
    with pytest.raises(_dovrane.GraphQLError):
        _dovrane.resolve_persisted_query(digest, second)
    assert Query.__dovrane_type_info__.fields[0].name == "hello"


def required(**overrides):
    arguments = dict(query_type_name="Query", types=[Query.__dovrane_type_info__], unions=[], directives=[],
                     schema_directives=[], scalar_names=["String"])
    arguments.update(overrides)
    return arguments


@pytest.mark.parametrize("overrides, parameter", [
    ({"types": "Query"}, "types"),
    ({"types": [Query]}, "types"),
    ({"unions": [Query.__dovrane_type_info__]}, "unions"),
    ({"scalar_names": "String"}, "scalar_names"),
    ({"scalar_directives": None}, "scalar_directives"),
    ({"scalar_directives": [("Money",)]}, "scalar_directives"),
    ({"scalar_directives": [["Money", []]]}, "scalar_directives"),
    ({"scalar_descriptions": [(1, "text")]}, "scalar_descriptions"),
    ({"scalar_descriptions": [("Money", 2)]}, "scalar_descriptions"),
    ({"scalar_specified_by_urls": [("Money", b"url")]}, "scalar_specified_by_urls"),
    ({"auto_camel_case": 1}, "auto_camel_case"),
    ({"query_type_name": None}, "query_type_name"),
])
def test_argument_conversion_errors_name_the_parameter(overrides, parameter):
    with pytest.raises(TypeError, match=f"argument '{parameter}'"):
        _dovrane.compile_schema(**required(**overrides))


@pytest.mark.parametrize("overrides, message", [
    ({"schema_applied_directives": "oops"},
     "argument 'schema_applied_directives': expected an iterable of directive instances, got str"),
    ({"schema_applied_directives": 3},
     "argument 'schema_applied_directives': expected an iterable of directive instances, got int"),
    ({"schema_applied_directives": [Tag("a"), ("a", object())]},
     "argument 'schema_applied_directives': item 1: expected a directive instance, got tuple"),
    ({"scalar_directives": [("a", object())]},
     "argument 'scalar_directives': item 0: expected an iterable of directive instances, got object"),
    ({"scalar_directives": [("a", []), ("b", "Tag")]},
     "argument 'scalar_directives': item 1: expected an iterable of directive instances, got str"),
    ({"scalar_directives": [("a", [Tag("x"), None])]},
     "argument 'scalar_directives': item 0: directive 1: expected a directive instance, got NoneType"),
    ({"scalar_directives": [("a", []), ["b", []]]},
     "argument 'scalar_directives': item 1: expected a (str, value) tuple, got list"),
    ({"scalar_descriptions": [("a", "x"), ("b", 2)]},
     "argument 'scalar_descriptions': item 1: expected a str or None, got int"),
    ({"scalar_specified_by_urls": [(b"a", "x")]},
     "argument 'scalar_specified_by_urls': item 0: expected a str name, got bytes"),
])
def test_directive_and_pair_items_of_the_wrong_shape_name_the_parameter_and_the_item(overrides, message):
    with pytest.raises(TypeError) as raised:
        _dovrane.compile_schema(**required(**overrides))
    assert str(raised.value) == message


def test_arguments_are_converted_before_any_directive_is_read():
    with pytest.raises(TypeError, match="argument 'auto_camel_case'"):
        _dovrane.compile_schema(**required(scalar_directives=[("String", [Auth("x")])], auto_camel_case="yes"))


def test_binding_errors():
    with pytest.raises(TypeError):
        _dovrane.compile_schema("Query")
    with pytest.raises(TypeError):
        _dovrane.compile_schema(**required(extra=1))
    arguments = required()
    del arguments["schema_directives"]
    with pytest.raises(TypeError, match="schema_directives"):
        _dovrane.compile_schema(**arguments)


def test_camel_case_flag_reaches_the_sdl():
    @object_type
    class Snake:
        first_name: str

    on = blocks(compile(Query, types=[Snake]))["type Snake {"]
    off = blocks(compile(Query, types=[Snake], auto_camel_case=False))["type Snake {"]
    assert (on, off) == ("type Snake {\n  firstName: String!\n}", "type Snake {\n  first_name: String!\n}")
