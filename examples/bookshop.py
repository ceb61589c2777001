"""What `_dovrane` does for a GraphQL server, from Python, on a small bookshop.

    ./scripts/example_python.sh [QUERY_FILE] [--variables JSON] [--operation NAME]

The script builds the module and runs this file with the module and the host
stand-in (tests/host) on the path; to run it by hand:

    PYTHONPATH=build/example-python/python:tests/host python3 examples/bookshop.py

It declares a schema from dataclasses (an enum, a union, a schema directive
and an operation directive), compiles it and prints its SDL; runs one request
through parse_query -> validate_document -> lower_document and prints the
plan an executor would walk; shows a validation error with its location; and
registers the request as a persisted query, then serves it from the hash
alone. The request is examples/bookshop.graphql unless QUERY_FILE names
another; --variables takes JSON text or a JSON file.
"""
import argparse
import dataclasses
import enum
import hashlib
import json
import pathlib
import sys
from typing import Annotated, Optional

try:
    import _dovrane
    import dovrane
    from dovrane._error import GraphQLError
    from dovrane._union import UnionDefinition
    from dovrane.directive import DirectiveValue
except ImportError as missing:
    sys.exit(f"{missing}: put the built module and the dovrane package (or tests/host) on PYTHONPATH; "
             "scripts/example_python.sh does both")

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_QUERY = HERE / "bookshop.graphql"
DEFAULT_VARIABLES = {"genre": "FICTION", "first": 2, "withPages": False}


# -- The schema --------------------------------------------------------------

@dovrane.schema_directive(locations=["OBJECT"], description="How long a client may cache the object")
class Cached:
    max_age: int


@dovrane.enum
class Genre(enum.Enum):
    FICTION = "fiction"
    POETRY = "poetry"
    HISTORY = "history"


@dovrane.type(description="A book on the shelf", directives=[Cached(max_age=60)])
class Book:
    title: str
    genre: Genre
    pages: int
    tags: list[str]
    subtitle: Optional[str] = None


@dovrane.type
class Author:
    name: str
    books: list[Book]


SearchResult = Annotated[Book | Author, UnionDefinition("SearchResult", description="A book or an author")]


# Resolvers are plain functions; their parameters become the field's arguments.
def resolve_books(genre: Optional[Genre] = None, first: int = 10) -> list[Book]:
    return []


def resolve_search(text: str) -> list[SearchResult]:
    return []


@dovrane.type
class Query:
    books: list[Book] = dovrane.field(resolver=resolve_books, description="The shelf, by genre")
    search: list[SearchResult] = dovrane.field(resolver=resolve_search)


# An operation directive: the client writes @shout on a field; the executor
# calls this with the field's value.
def shout(value: DirectiveValue[str]) -> str:
    return value.upper()


SHOUT = _dovrane.describe_operation_directive(shout, locations=["FIELD"], description="Upper-cases a string")


def build_schema():
    return dovrane.compile_schema(Query, types=[Book, Author, Genre], unions=[SearchResult], directives=[SHOUT],
                                  schema_directives=[Cached])


# -- Printing ----------------------------------------------------------------

def section(title):
    print(f"\n== {title}\n")


def describe_error(error, source):
    """The error's code and message, and the source line it points at."""
    lines = [f"{error.code.value}: {error.message}"]
    text_lines = source.splitlines()
    for line, column in error.locations or []:
        lines.append(f"  at line {line}, column {column}:")
        if 1 <= line <= len(text_lines):
            lines.append(f"    {text_lines[line - 1]}")
            lines.append("    " + " " * (column - 1) + "^")
    return "\n".join(lines)


def arguments_text(arguments):
    if not arguments:
        return ""
    return "(" + ", ".join(f"{name}: {json.dumps(value)}" for name, value in arguments.items()) + ")"


def print_plan(operation_type, fields, depth=1):
    """One line per lowered field: response key, the field it reads, its
    arguments and directives, what it waits for, and the type it is for."""
    if depth == 1:
        print(operation_type)
    for field in fields:
        text = field.response_key
        if field.field_name != field.response_key:
            text += f": {field.field_name}"
        text += arguments_text(field.arguments)
        for directive in field.directives:
            text += f" @{directive.name}{arguments_text(directive.arguments)}"
        if field.type_condition:
            text += f"  [on {field.type_condition}]"
        if field.is_deferred:
            text += f"  [deferred, label {field.defer_label!r}]"
        if field.is_streamed:
            text += f"  [streamed, first {field.stream_initial_count}, label {field.stream_label!r}]"
        print("  " * depth + text)
        print_plan(operation_type, field.selections, depth + 1)


# -- The request road --------------------------------------------------------

def run_request(schema, query, variables, operation_name):
    """parse_query -> validate_document -> lower_document, as a server runs
    each request; the first step that fails raises GraphQLError."""
    document = _dovrane.parse_query(query)
    _dovrane.validate_document(document, schema, operation_name)
    operation_type, fields = _dovrane.lower_document(document, variable_values=variables,
                                                     operation_name=operation_name)
    print_plan(operation_type, fields)


def show_validation_error(schema):
    query = "query {\n  books(first: 1) {\n    titel\n  }\n}\n"
    print(query)
    try:
        _dovrane.validate_document(_dovrane.parse_query(query), schema)
    except GraphQLError as error:
        print(describe_error(error, query))
    else:
        raise AssertionError("the misspelt field passed validation")


def serve_persisted_query(schema, query, variables, operation_name):
    """The automatic persisted queries protocol: a client sends the query with
    its hash once, then the hash alone."""
    sha256_hash = hashlib.sha256(query.encode()).hexdigest()
    print(f"hash {sha256_hash}")
    try:
        _dovrane.resolve_persisted_query(sha256_hash, schema)
    except GraphQLError as error:
        print(f"hash alone, before registering: {error.code.value}: {error.message}")
    first = _dovrane.resolve_persisted_query(sha256_hash, schema, query=query, operation_name=operation_name)
    print(f"hash and query: cache_hit={first.cache_hit} (parsed, validated and registered)")
    hit = _dovrane.resolve_persisted_query(sha256_hash, schema, operation_name=operation_name)
    print(f"hash alone: cache_hit={hit.cache_hit}, query_text={hit.document.query_text!r}; lowered from the cache:")
    operation_type, fields = _dovrane.lower_document(hit.document, variable_values=variables,
                                                     operation_name=operation_name)
    print_plan(operation_type, fields)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("query_file", nargs="?", type=pathlib.Path, default=DEFAULT_QUERY,
                        help="the request to run (default: examples/bookshop.graphql)")
    parser.add_argument("--variables", help="the request's variables: JSON text or a JSON file")
    parser.add_argument("--operation", help="the operation to run, when the document has several")
    options = parser.parse_args()

    query = options.query_file.read_text()
    if options.variables is None:
        variables = DEFAULT_VARIABLES if options.query_file == DEFAULT_QUERY else {}
    elif pathlib.Path(options.variables).is_file():
        variables = json.loads(pathlib.Path(options.variables).read_text())
    else:
        variables = json.loads(options.variables)

    schema = build_schema()
    section("The schema, as SDL")
    print(_dovrane.render_sdl(schema))

    section(f"The request: {options.query_file.name}, variables {json.dumps(variables)}")
    try:
        run_request(schema, query, variables, options.operation)
    except GraphQLError as error:
        print(describe_error(error, query))
        return 1

    section("A validation error, with its location")
    show_validation_error(schema)

    section("The request as a persisted query")
    serve_persisted_query(schema, query, variables, options.operation)
    return 0


if __name__ == "__main__":
    sys.exit(main())
