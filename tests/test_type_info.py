"""TypeInfo, FieldInfo, ArgumentInfo, EnumValueInfo and GraphQLTypeInfo."""
import gc

import pytest

import _dovrane
import _dovrane_testing as testing
from class_traits import assert_read_only_class

CLASS_NAMES = ["TypeInfo", "FieldInfo", "ArgumentInfo", "EnumValueInfo", "GraphQLTypeInfo"]


def instances():
    info = testing.sample_type_info()
    enum_info = testing.sample_type_info(kind="enum")
    field = info.fields[3]
    return {
        "TypeInfo": info,
        "FieldInfo": field,
        "ArgumentInfo": field.arguments[0],
        "EnumValueInfo": enum_info.enum_values[0],
        "GraphQLTypeInfo": field.type_info,
    }


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_class_traits(name):
    cls = getattr(_dovrane, name)
    assert cls.__name__ == name
    assert_read_only_class(cls, instances()[name], "name")


def test_docstrings():
    assert _dovrane.GraphQLTypeInfo.__doc__
    for name in ["TypeInfo", "FieldInfo", "ArgumentInfo", "EnumValueInfo"]:
        assert getattr(_dovrane, name).__doc__ is None
    for cls, attribute in [(_dovrane.TypeInfo, "enum_values"), (_dovrane.FieldInfo, "default_value"),
                           (_dovrane.ArgumentInfo, "default_value"), (_dovrane.FieldInfo, "is_maybe"),
                           (_dovrane.ArgumentInfo, "is_maybe")]:
        assert vars(cls)[attribute].__doc__
    assert vars(_dovrane.TypeInfo)["name"].__doc__ is None


def chain(type_info):
    links = []
    while type_info is not None:
        links.append((type_info.kind, type_info.name))
        type_info = type_info.of_type
    return links


def test_object_type_info():
    info = testing.sample_type_info()
    assert (info.kind, info.name, info.description, info.one_of) == ("type", "Book", "A book", False)
    assert info.enum_values == []
    assert [field.name for field in info.fields] == ["title", "tags", "sub_title", "author"]

    title, tags, subtitle, author = info.fields
    assert (title.graphql_type, title.is_nullable, title.description) == ("String!", False, "The title")
    assert (tags.graphql_type, tags.is_nullable, tags.default_value) == ("[String!]!", False, "[]")
    assert chain(tags.type_info) == [("NON_NULL", None), ("LIST", None), ("NON_NULL", None), ("NAMED", "String")]
    assert (subtitle.graphql_name, subtitle.is_maybe, subtitle.is_nullable) == ("subtitle", True, True)
    assert subtitle.deprecation_reason == "Use title" and subtitle.default_value is None
    assert (author.has_resolver, author.parent_parameter, author.info_parameter) == (True, "root", "info")
    assert title.has_resolver is False and title.parent_parameter is None and title.arguments == []

    first, filter_argument = author.arguments
    assert type(first) is _dovrane.ArgumentInfo
    assert (first.name, first.graphql_name, first.graphql_type, first.is_nullable) == (
        "first_count", "first", "Int!", False)
    assert (first.has_default, first.default_value, first.description, first.deprecation_reason) == (
        True, "10", "How many", "Use last")
    assert first.is_maybe is False
    assert (filter_argument.graphql_type, filter_argument.is_nullable, filter_argument.is_maybe) == (
        "[String]", True, True)
    assert (filter_argument.has_default, filter_argument.default_value) == (False, None)
    assert chain(filter_argument.type_info) == [("LIST", None), ("NAMED", "String")]


def test_reads_give_new_lists_of_the_same_objects():
    info = testing.sample_type_info()
    first, second = info.fields, info.fields
    assert first is not second and first == second
    assert all(a is b for a, b in zip(first, second))
    first.clear()
    assert len(info.fields) == 4
    field = info.fields[3]
    assert field.type_info is field.type_info
    assert field.type_info.of_type is field.type_info.of_type
    assert field.arguments[0] is field.arguments[0]


def test_enum_type_info():
    info = testing.sample_type_info(kind="enum")
    assert (info.kind, info.name, info.fields, info.one_of) == ("enum", "Color", [], False)
    values = [(v.name, v.graphql_name, v.description, v.deprecation_reason) for v in info.enum_values]
    assert values == [("RED", "red", "Warm", None), ("GREEN", None, None, None), ("BLUE", None, None, "Gone")]


@pytest.mark.parametrize("kind, one_of", [("interface", False), ("input", True)])
def test_other_kinds(kind, one_of):
    info = testing.sample_type_info(kind=kind)
    assert (info.kind, info.one_of, len(info.fields), info.enum_values) == (kind, one_of, 4, [])


def test_directives_and_interfaces_live_only_in_the_hidden_definition():
    info = testing.sample_type_info()
    assert testing.definition_summary(info) == ("Book", ["title", "tags", "sub_title", "author"], 1, ["Node"])
    for obj in [info, info.fields[0], info.fields[3].arguments[0]]:
        assert not hasattr(obj, "directives")
        assert not hasattr(obj, "interfaces")
        assert not hasattr(obj, "definition")


def test_collector_sees_the_owned_objects():
    info = testing.sample_type_info()
    field = info.fields[3]
    assert set(map(id, info.fields)) <= set(map(id, gc.get_referents(info)))
    assert field.type_info in gc.get_referents(field)
    assert field.arguments[0] in gc.get_referents(field)
    assert type(info) in gc.get_referents(info)


def test_a_long_type_chain_is_freed_without_recursion():
    deep = testing.type_chain(200_000)
    assert deep.kind == "LIST"
    del deep
    assert testing.type_chain(0).name == "String"
