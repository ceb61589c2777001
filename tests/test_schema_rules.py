"""compile_schema refuses what GraphQL forbids in the schema its SDL prints: each rule through the declarations
that break it, and the same first problem whatever order the declarations come in."""
import dataclasses
import enum
from typing import Annotated, Optional

import pytest

import _dovrane
import dovrane
from dovrane._enum import EnumValueDefinition
from dovrane._resolver import Argument, Parent
from dovrane.directive import DirectiveValue
from schema_helpers import compile, enum_type, input_type, interface, object_type, schema_directive


@object_type
class Query:
    hello: str


@schema_directive(locations=["SCALAR", "SCHEMA"])
class Tag:
    name: str


@interface
class Node:
    id: str


def unresolved_type():
    @dataclasses.dataclass
    class Late:
        b: Optional["B"]  # noqa: F821

    Late.__dovrane_type_info__ = _dovrane.process_type(Late, kind="type", directives=[],
                                                       allow_unresolved_annotations=True)
    return dict(types=[Late])


def type_named_cafe():
    @object_type(name="Caf\u00e9")
    class Cafe:
        a: int

    return dict(types=[Cafe])


def field_named_with_a_space():
    @object_type
    class Thing:
        a: int = dovrane.field(graphql_name="has space")

    return dict(types=[Thing])


def argument_named_empty():
    def resolve(root: Parent["Thing"], n: Annotated[int, Argument(name="")]) -> int:
        return n

    @object_type
    class Thing:
        b: int = dovrane.field(resolver=resolve)

    return dict(types=[Thing])


def enum_value_named_true():
    @enum_type
    class Answer(enum.Enum):
        YES = EnumValueDefinition(1, graphql_name="true")

    return dict(types=[Answer])


def directive_field_of_an_undefined_type():
    @schema_directive(locations=["OBJECT"])
    class Bad:
        other: "Undefined"  # noqa: F821

    return dict(schema_directives=[Bad])


def only_introspection_fields():
    @object_type
    class Hidden:
        secret: int = dovrane.field(graphql_name="__secret")

    return dict(types=[Hidden])


def operation_directive_without_locations():
    def shout(value: DirectiveValue[str]):
        return value

    return dict(directives=[_dovrane.describe_operation_directive(shout, locations=[])])


def schema_directive_without_locations():
    @schema_directive(locations=[])
    class Nowhere:
        pass

    return dict(schema_directives=[Nowhere])


def implementation_renamed():
    @object_type
    class Item(Node):
        id: str = dovrane.field(graphql_name="ident")

    return dict(types=[Node, Item])


def field_of_an_input_type():
    @input_type
    class Filter:
        text: str

    @object_type
    class Thing:
        filter: Filter

    return dict(types=[Filter, Thing])


def one_of_with_a_required_field():
    @input_type(one_of=True)
    class Key:
        isbn: str

    def resolve(root: Parent["Thing"], key: Key) -> int:
        return 0

    @object_type
    class Thing:
        by_key: int = dovrane.field(resolver=resolve)

    return dict(types=[Key, Thing])


def directive_at_an_undeclared_location():
    @object_type
    class Thing:
        a: int = dovrane.field(directives=[Tag("x")])

    return dict(types=[Thing], schema_directives=[Tag])


def directive_not_registered():
    @object_type(directives=[Tag("x")])
    class Thing:
        a: int

    return dict(types=[Thing])


@pytest.mark.parametrize("declare, message", [
    (type_named_cafe, "object type name 'Caf\u00e9' is not a GraphQL name"),
    (field_named_with_a_space, "field 'Thing.a' is named 'has space', which is not a GraphQL name"),
    (argument_named_empty, "argument 'Thing.b(n)' is named '', which is not a GraphQL name"),
    (enum_value_named_true, "enum value 'Answer.YES' is named 'true', which cannot name an enum value"),
    (unresolved_type, "'Late.b' has type 'ForwardRef('B')', which is not a registered type"),
    (directive_field_of_an_undefined_type, "'@bad(other)' has type 'Undefined', which is not a registered type"),
    (field_of_an_input_type, "'Thing.filter' has type 'Filter', which is an input object type, not an output type"),
    (only_introspection_fields, "object type 'Hidden' defines no fields the SDL prints (names starting with '__' "
                                "are left out), but the GraphQL specification requires one or more"),
    (operation_directive_without_locations,
     "directive '@shout' defines no locations, but the GraphQL specification requires one or more"),
    (schema_directive_without_locations,
     "directive '@nowhere' defines no locations, but the GraphQL specification requires one or more"),
    (implementation_renamed, "'Item' does not implement field 'id' declared by interface 'Node'"),
    (one_of_with_a_required_field,
     "'Key.isbn' is non-null, but the fields of one-of input object type 'Key' must be nullable"),
    (directive_at_an_undeclared_location,
     "directive '@tag' cannot be applied to 'Thing.a' (FIELD_DEFINITION); declared locations: SCALAR, SCHEMA"),
    (directive_not_registered, "directive '@tag' applied to 'Thing' is not a registered schema directive"),
], ids=lambda value: value.__name__ if callable(value) else "")
def test_declarations_graphql_forbids_are_schema_errors(declare, message):
    with pytest.raises(_dovrane.SchemaError) as raised:
        compile(Query, **declare())
    assert str(raised.value) == message


def test_a_root_type_must_be_a_declared_object_type():
    with pytest.raises(_dovrane.SchemaError) as raised:
        compile(Query, mutation=Node, types=[])
    assert str(raised.value) == "the mutation root type is 'Node', which is an interface, not an object type"


def test_the_first_problem_does_not_depend_on_the_order_of_declarations():
    @object_type
    class Zed:
        a: int = dovrane.field(graphql_name="a b")

    @object_type
    class Yak:
        a: int = dovrane.field(graphql_name="c-d")

    (late,) = unresolved_type()["types"]  # 'Late.b' names an unknown type, which a later pass finds
    for types in ([late, Zed, Yak], [Yak, late, Zed], [Zed, Yak, late]):
        with pytest.raises(_dovrane.SchemaError) as raised:
            compile(Query, types=types)
        assert str(raised.value) == "field 'Yak.a' is named 'c-d', which is not a GraphQL name"
