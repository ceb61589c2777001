"""resolve_persisted_query and PersistedQueryResult."""
import hashlib
import inspect
import sys
import threading

import pytest

import _dovrane
import _dovrane_testing as testing
import rich_schema
from class_traits import assert_read_only_class
from dovrane._error import ErrorCode, GraphQLError

QUERY = 'query Book($id: ID!) { book(bookId: $id) { title author(first: 2) { name } } }'
TWO_OPERATIONS = 'query A { books { title } } query B { nope }'


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


def raised(call):
    with pytest.raises(GraphQLError) as caught:
        call()
    return caught.value.message, caught.value.code, caught.value.locations


def not_found(schema, query):
    return raised(lambda: _dovrane.resolve_persisted_query(sha(query), schema)) == (
        "PersistedQueryNotFound", ErrorCode.PERSISTED_QUERY_NOT_FOUND, None)


def plan(document, variables=None):
    """The lowered operation as plain data, for comparing documents."""
    def shape(fields):
        return [(field.response_key, field.arguments, shape(field.selections)) for field in fields]
    operation_type, fields = _dovrane.lower_document(document, variable_values=variables or {})
    return operation_type, shape(fields)


def test_signature_and_docstrings():
    function = _dovrane.resolve_persisted_query
    signature = "(sha256_hash, schema, *, query=None, operation_name=None, validate=True)"
    assert str(inspect.signature(function)) == signature
    assert function.__doc__.startswith("resolve_persisted_query" + signature + "\n\n")
    assert "PERSISTED_QUERY_NOT_FOUND" in function.__doc__ and "PERSISTED_QUERY_MISMATCH" in function.__doc__
    assert _dovrane.PersistedQueryResult.__doc__
    assert vars(_dovrane.PersistedQueryResult)["cache_hit"].__doc__
    assert vars(_dovrane.PersistedQueryResult)["document"].__doc__ is None


def test_class_traits():
    schema = testing.sample_schema()
    result = _dovrane.resolve_persisted_query(sha(QUERY), schema, query=QUERY)
    assert_read_only_class(_dovrane.PersistedQueryResult, result, "cache_hit")
    assert_read_only_class(_dovrane.ParsedDocument, result.document, "query_text")
    assert [name for name in dir(result) if not name.startswith("__")] == ["cache_hit", "document"]


def test_register_then_hit_shares_one_document():
    schema = testing.sample_schema()
    registered = _dovrane.resolve_persisted_query(sha(QUERY), schema, query=QUERY)
    assert registered.cache_hit is False
    assert type(registered.document) is _dovrane.ParsedDocument
    assert registered.document is registered.document
    assert registered.document.query_text == QUERY

    hit = _dovrane.resolve_persisted_query(sha(QUERY), schema, operation_name="Book")
    assert hit.cache_hit is True
    assert hit.document is hit.document
    # The client sent no text, so there is none to show; the document is the
    # one registered, not a new parse.
    assert hit.document.query_text == ""
    assert testing.document_identity(hit.document) == testing.document_identity(registered.document)
    assert plan(hit.document, {"id": "7"}) == plan(registered.document, {"id": "7"}) == (
        "query", [("book", {"bookId": "7"}, [("title", {}, []), ("author", {"first": 2}, [("name", {}, [])])])])
    assert _dovrane.validate_document(hit.document, schema) is None

    # Sending the text again registers it again: not a hit.
    again = _dovrane.resolve_persisted_query(sha(QUERY), schema, query=QUERY, operation_name=None, validate=True)
    assert again.cache_hit is False and again.document.query_text == QUERY


def test_a_hash_only_miss():
    schema = testing.sample_schema()
    assert not_found(schema, QUERY)
    # Each schema has a cache of its own.
    _dovrane.resolve_persisted_query(sha(QUERY), schema, query=QUERY)
    assert not_found(testing.sample_schema(), QUERY)


@pytest.mark.parametrize("hash_of", [
    lambda query: sha(query).upper(),
    lambda query: sha(query + " "),
    lambda query: sha(query)[:-1],
    lambda query: "",
    lambda query: hashlib.sha1(query.encode()).hexdigest(),
])
@pytest.mark.parametrize("query", [QUERY, "{ books {"])
def test_a_hash_that_does_not_match_the_text(hash_of, query):
    # Checked before the text is parsed: broken text is a mismatch too.
    schema = testing.sample_schema()
    assert raised(lambda: _dovrane.resolve_persisted_query(hash_of(query), schema, query=query)) == (
        "provided sha256Hash does not match the hash of the query", ErrorCode.PERSISTED_QUERY_MISMATCH, None)
    assert not_found(schema, query)


@pytest.mark.parametrize("query, operation_name, expected", [
    ("{ books {", None, ("syntax error at 1:10: ", ErrorCode.GRAPHQL_PARSE_FAILED, [(1, 10)])),
    ("{ nope }", None, ("field 'nope' does not exist on type 'Query'", ErrorCode.UNKNOWN_FIELD, [(1, 3)])),
    (TWO_OPERATIONS, None,
     ("document contains multiple operations; operation_name is required", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)),
    (TWO_OPERATIONS, "C", ("no operation named 'C'", ErrorCode.GRAPHQL_VALIDATION_FAILED, None)),
    (TWO_OPERATIONS, "B", ("field 'nope' does not exist on type 'Query'", ErrorCode.UNKNOWN_FIELD, [(1, 39)])),
])
def test_a_failed_registration_stores_nothing(query, operation_name, expected):
    schema = testing.sample_schema()
    message, code, locations = raised(
        lambda: _dovrane.resolve_persisted_query(sha(query), schema, query=query, operation_name=operation_name))
    assert (code, locations) == expected[1:]
    assert message.startswith(expected[0])
    assert not_found(schema, query)


def test_without_validation_the_replay_is_checked_when_asked():
    schema = testing.sample_schema()
    registered = _dovrane.resolve_persisted_query(sha("{ nope }"), schema, query="{ nope }", validate=False)
    assert registered.cache_hit is False
    hit = _dovrane.resolve_persisted_query(sha("{ nope }"), schema, validate=False)
    assert hit.cache_hit is True and plan(hit.document) == ("query", [("nope", {}, [])])
    # Nothing was validated when it was stored, so a validating replay checks it.
    assert raised(lambda: _dovrane.resolve_persisted_query(sha("{ nope }"), schema)) == (
        "field 'nope' does not exist on type 'Query'", ErrorCode.UNKNOWN_FIELD, [(1, 3)])


def test_a_replay_that_names_another_operation_is_validated():
    schema = testing.sample_schema()
    registered = _dovrane.resolve_persisted_query(sha(TWO_OPERATIONS), schema, query=TWO_OPERATIONS,
                                                  operation_name="A")
    assert registered.cache_hit is False
    assert _dovrane.resolve_persisted_query(sha(TWO_OPERATIONS), schema, operation_name="A").cache_hit is True
    assert raised(lambda: _dovrane.resolve_persisted_query(sha(TWO_OPERATIONS), schema, operation_name="B")) == (
        "field 'nope' does not exist on type 'Query'", ErrorCode.UNKNOWN_FIELD, [(1, 39)])
    assert raised(lambda: _dovrane.resolve_persisted_query(sha(TWO_OPERATIONS), schema))[0] == (
        "document contains multiple operations; operation_name is required")


def test_registrations_beyond_the_capacity_keep_their_documents():
    # The cache evicts as it fills (1000 entries), even entries just stored;
    # the result never depends on the cache still holding its document.
    schema = testing.sample_schema()
    for i in range(1200):
        query = "{ r%d: books(first: %d) { title } }" % (i, i)
        result = _dovrane.resolve_persisted_query(sha(query), schema, query=query)
        assert (result.cache_hit, result.document.query_text) == (False, query)
        assert plan(result.document) == ("query", [("r%d" % i, {"first": i}, [("title", {}, [])])])
    hits = 0
    for i in range(1200):
        query = "{ r%d: books(first: %d) { title } }" % (i, i)
        try:
            result = _dovrane.resolve_persisted_query(sha(query), schema)
        except GraphQLError as error:
            assert error.code is ErrorCode.PERSISTED_QUERY_NOT_FOUND
        else:
            hits += 1
            assert plan(result.document)[1][0][0] == "r%d" % i
    assert 0 < hits <= 1000


def test_a_compiled_schema_serves_the_protocol():
    schema = rich_schema.build(auto_camel_case=False)
    camel = 'query Q($key: BookKey!) { book(key: $key) { ISBN publishedOn } }'
    snake = camel.replace("publishedOn", "published_on")
    # Registration validates against the names the schema declares; a failure
    # stores nothing.
    assert raised(lambda: _dovrane.resolve_persisted_query(sha(camel), schema, query=camel)) == (
        "field 'publishedOn' does not exist on type 'Book'", ErrorCode.UNKNOWN_FIELD, [(1, 50)])
    assert not_found(schema, camel)

    registered = _dovrane.resolve_persisted_query(sha(snake), schema, query=snake)
    hit = _dovrane.resolve_persisted_query(sha(snake), schema)
    assert (registered.cache_hit, registered.document.query_text) == (False, snake)
    assert (hit.cache_hit, hit.document.query_text) == (True, "")
    assert testing.document_identity(hit.document) == testing.document_identity(registered.document)
    key = {"isbn": "1"}
    operation_type, [book] = _dovrane.lower_document(hit.document, variable_values={"key": key})
    assert (operation_type, book.arguments, [field.field_name for field in book.selections]) == (
        "query", {"key": key}, ["ISBN", "published_on"])
    assert book.arguments["key"] is key

    assert raised(lambda: _dovrane.resolve_persisted_query(sha(camel), schema, query=snake))[1] is (
        ErrorCode.PERSISTED_QUERY_MISMATCH)
    with pytest.raises(TypeError, match="argument 'validate'"):
        _dovrane.resolve_persisted_query(sha(snake), schema, validate=1)
    # A schema compiled again from the same classes has a cache of its own.
    assert not_found(rich_schema.build(auto_camel_case=False), snake)


@pytest.mark.parametrize("call, message", [
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), schema, QUERY),
     "resolve_persisted_query() takes 2 positional arguments but 3 were given"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), schema, query=QUERY, validate=1),
     "argument 'validate': expected bool, got int"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), schema, validate=None),
     "argument 'validate': expected bool, got NoneType"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), schema, query=QUERY.encode()),
     "argument 'query': expected str, got bytes"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), schema, operation_name=1),
     "argument 'operation_name': expected str, got int"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY).encode(), schema),
     "argument 'sha256_hash': expected str, got bytes"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), None, query=QUERY),
     "argument 'schema': expected CompiledSchema, got NoneType"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY)),
     "resolve_persisted_query() missing 1 required positional argument: 'schema'"),
    (lambda schema: _dovrane.resolve_persisted_query(sha(QUERY), schema, text=QUERY),
     "resolve_persisted_query() got an unexpected keyword argument 'text'"),
])
def test_argument_errors(call, message):
    schema = testing.sample_schema()
    with pytest.raises(TypeError) as caught:
        call(schema)
    assert str(caught.value) == message
    # Refused before any work: nothing was registered.
    assert not_found(schema, QUERY)


def test_threads_share_one_compiled_schema():
    schema = rich_schema.build()
    queries = ['{ q%d: book(key: {isbn: "%d"}) { title subtitle } }' % (i, i) for i in range(40)]
    shared = _dovrane.parse_query('query Book($key: BookKey!) { book(key: $key) { title ISBN publishedOn } }')
    invalid = _dovrane.parse_query("{ nope }")
    failures = []
    start = threading.Barrier(8)

    def work(worker):
        try:
            start.wait()
            for round_number in range(500):
                query = queries[(worker * 7 + round_number) % len(queries)]
                if round_number % 3 == 0:
                    result = _dovrane.resolve_persisted_query(sha(query), schema, query=query)
                    assert (result.cache_hit, result.document.query_text) == (False, query)
                else:
                    try:
                        result = _dovrane.resolve_persisted_query(sha(query), schema)
                    except GraphQLError as error:
                        assert error.code is ErrorCode.PERSISTED_QUERY_NOT_FOUND
                        continue
                    assert (result.cache_hit, result.document.query_text) == (True, "")
                assert plan(result.document)[1][0][0] == query.split(":")[0][2:]
                assert _dovrane.validate_document(shared, schema) is None
                assert _dovrane.validate_document(result.document, schema) is None
                with pytest.raises(GraphQLError):
                    _dovrane.validate_document(invalid, schema)
        except BaseException as error:  # reported by the main thread
            failures.append(error)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=work, args=(worker,)) for worker in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert failures == []
    for query in queries:
        assert _dovrane.resolve_persisted_query(sha(query), schema).document.query_text == ""
