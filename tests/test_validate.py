"""validate_query and validate_document."""
import hashlib
import inspect

import pytest

import _dovrane
import _dovrane_testing as testing
import rich_schema
from dovrane._error import ErrorCode, GraphQLError

SCHEMA = testing.sample_schema()
VALID = 'query Book { book(bookId: "1") { title author(first: 2) { name bornAt } } }'
TWO_OPERATIONS = 'query A { books { title } } query B { nope }'


def validate(query, operation_name=None, schema=SCHEMA):
    """validate_query and validate_document agree; returns their outcome."""
    outcomes = []
    for call in (lambda: _dovrane.validate_query(query, schema, operation_name),
                 lambda: _dovrane.validate_document(_dovrane.parse_query(query), schema, operation_name)):
        try:
            outcomes.append(call())
        except GraphQLError as error:
            outcomes.append((error.message, error.code, error.locations))
    assert outcomes[0] == outcomes[1]
    return outcomes[0]


@pytest.mark.parametrize("function, signature", [
    (_dovrane.validate_query, "(query, schema, operation_name=None)"),
    (_dovrane.validate_document, "(document, schema, operation_name=None)"),
])
def test_signatures_and_docstrings(function, signature):
    assert str(inspect.signature(function)) == signature
    assert function.__doc__.startswith(function.__name__ + signature + "\n\n")
    assert function.__module__ == "_dovrane"


@pytest.mark.parametrize("query", [
    VALID,
    'mutation { addBook(title: "x", color: red) { title subtitle } }',
    'query Q($f: BookFilter) { books(filter: $f, first: 3) { title @upper(localeName: "fr") } }',
    '{ node(bookId: "1") { title ... on Book { tags } } }',
    '{ books { ...F } } fragment F on Book { title author { name } }',
])
def test_valid_queries(query):
    assert validate(query) is None


@pytest.mark.parametrize("query, operation_name, expected", [
    ('{ nope }', None, ("field 'nope' does not exist on type 'Query'", ErrorCode.UNKNOWN_FIELD, [(1, 3)])),
    ('{ book { title } }', None,
     ("missing required argument 'bookId' on 'book'", ErrorCode.ARGUMENT_TYPE_MISMATCH, [(1, 3)])),
    ('mutation {\n  addBook(title: "x", color: RED) { title }\n}', None,
     ("argument 'color' on 'addBook' 'RED' is not a valid value for enum 'Color'", ErrorCode.ARGUMENT_TYPE_MISMATCH,
      [(2, 30)])),
    ('{ books { title @nope } }', None, ("unknown directive '@nope'", ErrorCode.INVALID_DIRECTIVE_LOCATION, [(1, 17)])),
    ('{ book(bookId: "1") { ... on Nope { x } } }', None,
     ("inline fragment targets unknown type 'Nope'", ErrorCode.INVALID_FRAGMENT_TARGET, [(1, 27)])),
    ('{ ...F }', None, ("undefined fragment 'F'", ErrorCode.INVALID_FRAGMENT_TARGET, [(1, 3)])),
    # Operation selection.
    (TWO_OPERATIONS, None,
     ("document contains multiple operations; operation_name is required", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)),
    (TWO_OPERATIONS, "C", ("no operation named 'C'", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)),
    ('{ books { title } }', "A", ("no operation named 'A'", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)),
    # Only the selected operation is validated.
    (TWO_OPERATIONS, "B", ("field 'nope' does not exist on type 'Query'", ErrorCode.UNKNOWN_FIELD, [(1, 39)])),
    (TWO_OPERATIONS, "A", None),
])
def test_violations(query, operation_name, expected):
    assert validate(query, operation_name) == expected


CAMEL = rich_schema.build()
PLAIN = rich_schema.build(auto_camel_case=False)
BOOK = '{ book(key: {isbn: "1"}) '


@pytest.mark.parametrize("schema, query, expected", [
    # Names as declared in Python: camel-cased or not, explicit names as given,
    # enum values by their GraphQL names, interfaces through inheritance.
    (CAMEL, BOOK + '{ ISBN publishedOn printedAt price cost sequel { title } ... on Node { id } } }', None),
    (CAMEL, '{ node { ... on Published { publishedOn } ... on Author { fullName books(maxCount: 2, sortKey: "t", '
            'genres: [POETRY, NONFICTION]) { title @upperCase(localeName: "fr") } } } }', None),
    (CAMEL, 'query($key: BookKey!) { book(key: $key) { ...F @upperCase } } fragment F on Book { title }', None),
    (CAMEL, 'mutation { renameBook(bookId: "1", newTitle: "x") { title } }', None),
    (CAMEL, 'subscription { bookAdded(genre: FICTION) { title } }', None),
    (PLAIN, '{ node { ... on Author { full_name books(max_count: 2, sortKey: "t") { title @upperCase(locale_name: "fr") '
            '} } } }', None),
    (PLAIN, 'mutation { rename_book(book_id: "1", new_title: "x") { ISBN published_on } }', None),
    (CAMEL, BOOK + '{ isbn_code } }', ("field 'isbn_code' does not exist on type 'Book'", ErrorCode.UNKNOWN_FIELD,
                                     [(1, 28)])),
    (CAMEL, BOOK + '{ published_on } }', ("field 'published_on' does not exist on type 'Book'", ErrorCode.UNKNOWN_FIELD,
                                        [(1, 28)])),
    (PLAIN, '{ node { ... on Author { fullName } } }', ("field 'fullName' does not exist on type 'Author'",
                                                        ErrorCode.UNKNOWN_FIELD, [(1, 26)])),
    (CAMEL, '{ node { ... on Author { books(sort: "x") { title } } } }',
     ("unknown argument 'sort' on 'books'", ErrorCode.UNKNOWN_ARGUMENT, [(1, 32)])),
    (PLAIN, 'mutation { rename_book(bookId: "1", new_title: "x") { ISBN } }',
     ("unknown argument 'bookId' on 'rename_book'", ErrorCode.UNKNOWN_ARGUMENT, [(1, 24)])),
    (CAMEL, '{ node { ... on Author { books(genres: [NON_FICTION]) { title } } } }',
     ("argument 'genres' on 'books' 'NON_FICTION' is not a valid value for enum 'Genre'",
      ErrorCode.ARGUMENT_TYPE_MISMATCH, [(1, 40)])),
    (CAMEL, BOOK + '{ title @upper_case } }', ("unknown directive '@upper_case'", ErrorCode.INVALID_DIRECTIVE_LOCATION,
                                              [(1, 34)])),
    (CAMEL, BOOK + '{ title @upperCase(locale_name: "fr") } }',
     ("unknown argument 'locale_name' on 'upperCase'", ErrorCode.UNKNOWN_ARGUMENT, [(1, 45)])),
    (CAMEL, BOOK + '{ genre { name } } }', ("field 'genre' is of leaf type 'Genre' and cannot have a selection set",
                                            ErrorCode.UNKNOWN_FIELD, [(1, 34)])),
    # A scalar is no fragment target.
    (CAMEL, '{ node { ... on Money { __typename } } }',
     ("inline fragment targets unknown type 'Money'", ErrorCode.INVALID_FRAGMENT_TARGET, [(1, 14)])),
])
def test_a_compiled_schema_validates_the_names_it_declares(schema, query, expected):
    assert validate(query, schema=schema) == expected


def test_operation_name_positionally_and_by_keyword():
    document = _dovrane.parse_query(TWO_OPERATIONS)
    assert _dovrane.validate_document(document, SCHEMA, "A") is None
    assert _dovrane.validate_document(document=document, schema=SCHEMA, operation_name="A") is None
    assert _dovrane.validate_query(TWO_OPERATIONS, SCHEMA, "A") is None
    assert _dovrane.validate_query(query=TWO_OPERATIONS, schema=SCHEMA, operation_name="A") is None


def test_camel_case_follows_the_schema():
    plain = testing.sample_schema(auto_camel_case=False)
    assert _dovrane.validate_query('{ book(book_id: "1") { title } }', plain) is None
    with pytest.raises(GraphQLError) as caught:
        _dovrane.validate_query('{ book(bookId: "1") { title } }', plain)
    assert caught.value.code is ErrorCode.UNKNOWN_ARGUMENT


def test_a_handle_survives_validation():
    document = _dovrane.parse_query("query Q($x: Boolean!) { books @include(if: $x) { title } }")
    for _ in range(3):
        assert _dovrane.validate_document(document, SCHEMA) is None
    assert [field.field_name for field in _dovrane.lower_document(document, variable_values={"x": True})[1]] == ["books"]
    assert document.query_text == "query Q($x: Boolean!) { books @include(if: $x) { title } }"


def test_validate_query_keeps_nothing():
    # Each call parses again: a syntax error is found every time, and a valid
    # query leaves nothing in the schema's persisted-query cache.
    for _ in range(2):
        with pytest.raises(GraphQLError) as caught:
            _dovrane.validate_query("{ books {", SCHEMA)
        assert caught.value.code is ErrorCode.GRAPHQL_PARSE_FAILED
        assert caught.value.locations == [(1, 10)]
        assert _dovrane.validate_query(VALID, SCHEMA) is None
    with pytest.raises(GraphQLError) as caught:
        _dovrane.resolve_persisted_query(hashlib.sha256(VALID.encode()).hexdigest(), SCHEMA)
    assert caught.value.code is ErrorCode.PERSISTED_QUERY_NOT_FOUND


@pytest.mark.parametrize("call, message", [
    (lambda: _dovrane.validate_query("{ a }"), "validate_query() missing 1 required positional argument: 'schema'"),
    (lambda: _dovrane.validate_query("{ a }", SCHEMA, None, None),
     "validate_query() takes from 2 to 3 positional arguments but 4 were given"),
    (lambda: _dovrane.validate_query("{ a }", SCHEMA, name="A"),
     "validate_query() got an unexpected keyword argument 'name'"),
    # Arguments are converted in order, before any parsing: the broken text is never read.
    (lambda: _dovrane.validate_query(b"{", SCHEMA), "argument 'query': expected str, got bytes"),
    (lambda: _dovrane.validate_query("{", {}), "argument 'schema': expected CompiledSchema, got dict"),
    (lambda: _dovrane.validate_query("{", SCHEMA, 1), "argument 'operation_name': expected str, got int"),
    (lambda: _dovrane.validate_document("{ a }", SCHEMA), "argument 'document': expected ParsedDocument, got str"),
    (lambda: _dovrane.validate_document(_dovrane.parse_query("{ a }"), _dovrane.parse_query("{ a }")),
     "argument 'schema': expected CompiledSchema, got ParsedDocument"),
    (lambda: _dovrane.validate_document(_dovrane.parse_query("{ a }"), SCHEMA, b"A"),
     "argument 'operation_name': expected str, got bytes"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
