"""render_sdl."""
import inspect

import pytest

import _dovrane
import _dovrane_testing as testing

SAMPLE_SDL = '''schema {
  query: Query
  mutation: Mutation
}

type Author {
  name: String!
  bornAt: DateTime
  books(color: Color): [Book!]!
}

"""A book"""
type Book implements Node @tagged(reason: "test") {
  """The title"""
  title: String! @tagged(reason: "test")
  tags: [String!]!
  subtitle: String @deprecated(reason: "Use title")
  author("""How many""" first: Int! = 10 @deprecated(reason: "Use last") @tagged(reason: "test"), filter: [String]): Author!
}

input BookFilter {
  titlePrefix: String
  color: Color
  minPages: Int = 0
}

enum Color {
  """Warm"""
  red @tagged(reason: "test")
  GREEN
  BLUE @deprecated(reason: "Gone")
}

type Mutation {
  addBook(title: String!, color: Color): Book!
}

interface Node {
  title: String!
}

type Query {
  book(bookId: ID!): Book
  books(filter: BookFilter, first: Int = 10): [Book!]!
  search(text: String!): [SearchResult!]!
  node(bookId: ID!): Node
}

union SearchResult = Book | Author

"""An instant, as ISO 8601 text"""
scalar DateTime

directive @upper(localeName: String = "en") on FIELD

directive @tagged(reason: String!) on OBJECT | FIELD_DEFINITION | ARGUMENT_DEFINITION | ENUM_VALUE'''


def test_signature_and_docstring():
    assert str(inspect.signature(_dovrane.render_sdl)) == "(schema)"
    assert _dovrane.render_sdl.__doc__.startswith("render_sdl(schema)\n\n")


def test_sample_schema():
    schema = testing.sample_schema()
    assert _dovrane.render_sdl(schema) == SAMPLE_SDL
    assert _dovrane.render_sdl(schema=schema) == SAMPLE_SDL


def test_without_camel_case_only_python_names_change():
    plain = _dovrane.render_sdl(testing.sample_schema(auto_camel_case=False)).split("\n")
    camel = SAMPLE_SDL.split("\n")
    changed = [(a, b) for a, b in zip(camel, plain) if a != b]
    assert len(plain) == len(camel)
    assert changed == [
        ("  bornAt: DateTime", "  born_at: DateTime"),
        ("  titlePrefix: String", "  title_prefix: String"),
        ("  minPages: Int = 0", "  min_pages: Int = 0"),
        ("  addBook(title: String!, color: Color): Book!", "  add_book(title: String!, color: Color): Book!"),
        ("  book(bookId: ID!): Book", "  book(book_id: ID!): Book"),
        ("  node(bookId: ID!): Node", "  node(book_id: ID!): Node"),
        ('directive @upper(localeName: String = "en") on FIELD', 'directive @upper(locale_name: String = "en") on FIELD'),
    ]


@pytest.mark.parametrize("call, message", [
    (lambda: _dovrane.render_sdl(None), "argument 'schema': expected CompiledSchema, got NoneType"),
    (lambda: _dovrane.render_sdl(_dovrane.parse_query("{ a }")),
     "argument 'schema': expected CompiledSchema, got ParsedDocument"),
    (lambda: _dovrane.render_sdl(), "render_sdl() missing 1 required positional argument: 'schema'"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
