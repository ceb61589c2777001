"""parse_query_document and the QueryDocument view."""
import inspect

import pytest

import _dovrane
from class_traits import assert_read_only_class
from dovrane._error import ErrorCode, GraphQLError

CLASS_NAMES = ["QueryDocument", "QueryOperation", "QueryFragment", "QuerySelection", "QueryVariableDefinition"]

RICH_QUERY = """
query Feed($first: Int = 10, $ids: [ ID ! ] !, $after: String = null, $matrix: [[Int]!]) @cached {
  feed(first: $first) @skip(if: false) @skip(if: false) {
    ...PostFields
    latest: post(id: 1) { id }
    ... on Video @defer { duration }
    ... @include(if: true) { plain }
    ...Undefined
  }
}

mutation Like { like(id: "1") { count } }

fragment PostFields on Post @deprecated {
  title
  author { name }
}

fragment Unused on Post { id }
"""


def view(query=RICH_QUERY):
    return _dovrane.parse_query_document(query)


def describe(selection):
    """A selection as a tuple of every attribute, recursively."""
    return (selection.kind, selection.field_name, selection.alias, selection.fragment_name,
            selection.type_condition, selection.directive_names, [describe(s) for s in selection.selections])


def test_signature_and_docstring():
    function = _dovrane.parse_query_document
    assert str(inspect.signature(function)) == "(query)"
    assert function.__doc__.startswith("parse_query_document(query)\n\n")
    assert "schema" in function.__doc__


def instances():
    document = view()
    operation = document.operations[0]
    return {
        "QueryDocument": document,
        "QueryOperation": operation,
        "QueryFragment": document.fragments[0],
        "QuerySelection": operation.selections[0],
        "QueryVariableDefinition": operation.variables[0],
    }


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_class_traits(name):
    cls = getattr(_dovrane, name)
    instance = instances()[name]
    attributes = [attribute for attribute in vars(cls) if not attribute.startswith("__")]
    assert_read_only_class(cls, instance, attributes[0])
    assert cls.__qualname__ == name
    for attribute in attributes:
        with pytest.raises(AttributeError):
            setattr(instance, attribute, None)
        assert vars(cls)[attribute].__doc__ is None


def test_docstrings():
    assert "fragment_name" in _dovrane.QuerySelection.__doc__
    assert "schema" in _dovrane.QueryVariableDefinition.__doc__
    for name in ["QueryDocument", "QueryOperation", "QueryFragment"]:
        assert getattr(_dovrane, name).__doc__ is None


def test_attribute_tables():
    attributes = {name: [a for a in vars(getattr(_dovrane, name)) if not a.startswith("__")] for name in CLASS_NAMES}
    assert attributes == {
        "QueryDocument": ["operations", "fragments"],
        "QueryOperation": ["operation_type", "name", "variables", "selections"],
        "QueryFragment": ["name", "type_condition", "selections"],
        "QuerySelection": ["kind", "field_name", "alias", "fragment_name", "type_condition", "directive_names",
                           "selections"],
        "QueryVariableDefinition": ["name", "type_str", "has_default"],
    }


def test_operations_and_fragments_in_written_order():
    document = view()
    assert [(op.operation_type, op.name) for op in document.operations] == [("query", "Feed"), ("mutation", "Like")]
    assert [(fragment.name, fragment.type_condition) for fragment in document.fragments] == [
        ("PostFields", "Post"), ("Unused", "Post"),
    ]
    many = view(" ".join(f"query Q{i} {{ a }}" for i in (5, 1, 9, 3)))
    assert [op.name for op in many.operations] == ["Q5", "Q1", "Q9", "Q3"]


def test_variable_definitions():
    feed = view().operations[0]
    assert [(v.name, v.type_str, v.has_default) for v in feed.variables] == [
        ("first", "Int", True),
        ("ids", "[ID!]!", False),
        ("after", "String", True),  # a null default is a default
        ("matrix", "[[Int]!]", False),
    ]


def test_selections():
    feed = view().operations[0]
    assert [describe(s) for s in feed.selections] == [
        ("field", "feed", None, None, None, ["skip", "skip"], [
            ("fragment_spread", None, None, "PostFields", None, [], []),
            ("field", "post", "latest", None, None, [], [("field", "id", None, None, None, [], [])]),
            ("inline_fragment", None, None, None, "Video", ["defer"], [
                ("field", "duration", None, None, None, [], []),
            ]),
            ("inline_fragment", None, None, None, None, ["include"], [("field", "plain", None, None, None, [], [])]),
            # An undefined fragment is reported as written.
            ("fragment_spread", None, None, "Undefined", None, [], []),
        ]),
    ]
    [fragment_field, author] = view().fragments[0].selections
    assert describe(author) == ("field", "author", None, None, None, [], [("field", "name", None, None, None, [], [])])


@pytest.mark.parametrize("query, expected", [
    ("{ a }", ("query", None, [])),
    ("query { a }", ("query", None, [])),
    ("query Named { a }", ("query", "Named", [])),
    ("subscription S($x: ID) { a }", ("subscription", "S", ["x"])),
])
def test_operation_forms(query, expected):
    [operation] = view(query).operations
    assert (operation.operation_type, operation.name, [v.name for v in operation.variables]) == expected


def test_nothing_is_checked_against_consistency():
    document = view("query($v: Int, $v: Int) { ...A } fragment A on Nowhere { ...A }")
    assert [v.name for v in document.operations[0].variables] == ["v", "v"]
    assert [f.name for f in document.fragments] == ["A"]


@pytest.mark.parametrize("query, message, locations", [
    ("fragment F on T { a }", "document does not contain an operation", None),
    ("{ a } { b }", "document contains multiple operations", [(1, 7), (1, 1)]),
])
def test_parse_errors(query, message, locations):
    with pytest.raises(GraphQLError) as caught:
        view(query)
    assert (caught.value.message, caught.value.code, caught.value.locations) == (
        message, ErrorCode.GRAPHQL_PARSE_FAILED, locations)


@pytest.mark.parametrize("call, message", [
    (lambda: _dovrane.parse_query_document(), "parse_query_document() missing 1 required positional argument: 'query'"),
    (lambda: _dovrane.parse_query_document(1), "argument 'query': expected str, got int"),
    (lambda: _dovrane.parse_query_document("{ a }", query="{ a }"),
     "parse_query_document() got multiple values for argument 'query'"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_lists_are_new_and_hold_the_same_objects():
    document = view()
    assert document.operations is not document.operations
    assert all(a is b for a, b in zip(document.operations, document.operations))
    assert all(a is b for a, b in zip(document.fragments, document.fragments))
    operation = document.operations[0]
    assert operation.selections[0] is operation.selections[0]
    assert operation.variables[0] is operation.variables[0]
    selection = operation.selections[0]
    assert selection.directive_names is not selection.directive_names
    assert selection.directive_names[0] is not selection.directive_names[0]
    assert selection.field_name is not selection.field_name
    assert operation.operation_type is not operation.operation_type
    document.operations.clear()
    assert len(document.operations) == 2


def test_two_calls_build_independent_trees():
    first, second = view(), view()
    assert first.operations[0] is not second.operations[0]
    assert describe(first.operations[0].selections[0]) == describe(second.operations[0].selections[0])


def test_selections_nested_to_the_parsers_limit():
    query = "{ " + "a { " * 64 + "leaf" + " }" * 64 + " }"
    selection = view(query).operations[0].selections[0]
    depth = 0
    while selection.selections:
        [selection] = selection.selections
        depth += 1
    assert (depth, selection.field_name) == (64, "leaf")
