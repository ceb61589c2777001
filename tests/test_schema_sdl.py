"""render_sdl on compiled schemas, and what another GraphQL library reads in it."""
import enum
import importlib.util
import os
import sys
from typing import Annotated, Optional

import pytest

import _dovrane
import dovrane
import rich_schema
from dovrane._enum import EnumValueDefinition
from dovrane._resolver import Argument, Parent
from dovrane._union import UnionDefinition
from dovrane.directive import DirectiveValue

# The SDL of rich_schema.build(): every kind of section, descriptions with
# quotes, deprecations, defaults, applied directives at each location the SDL
# prints them, camel-cased names beside explicit ones, library scalars.
RICH_SDL = r'''schema @docLink(pageUrl: "https://example.com/schema", anchor: "top") {
  query: Query
  mutation: Mutation
  subscription: Subscription
}

type Author implements Node {
  id: ID!
  fullName: String!
  books("""At most""" maxCount: Int! = 3 @docLink(pageUrl: "https://example.com/paging", anchor: null), sortKey: String = null @deprecated(reason: "By title"), genres: [Genre!]! = [FICTION, NONFICTION]): [Book!]!
}

"""A "book"
as sold"""
type Book implements Published & Node @docLink(pageUrl: "https://example.com/books", anchor: "book") @key(keyId: "b-1") {
  id: ID!
  publishedOn: Date
  """The title"""
  title: String! @docLink(pageUrl: "https://example.com/books", anchor: "title")
  ISBN: String!
  subtitle: String @deprecated(reason: "Use title")
  genre: Genre!
  price: Money!
  cost: Decimal
  printedAt: Time @docLink(pageUrl: "https://example.com/print", anchor: null) @docLink(pageUrl: "https://example.com/time", anchor: null)
  updatedAt: DateTime
  sequel: Book
}

"""Which books"""
input BookFilter @docLink(pageUrl: "https://example.com/filters", anchor: null) {
  titlePrefix: String = null @docLink(pageUrl: "https://example.com/filters", anchor: "prefix")
  genre: Genre! = FICTION
  minPages: Int! = 0
  maxPrice: Decimal = null
}

input BookKey @oneOf {
  isbn: String
  bookId: ID
}

"""What a book is"""
enum Genre @docLink(pageUrl: "https://example.com/genres", anchor: null) {
  """Made up, "mostly"
  """
  FICTION
  NONFICTION @docLink(pageUrl: "https://example.com/genres", anchor: "nf")
  POETRY @deprecated(reason: "Use \"FICTION\"")
}

type Mutation {
  """Ends with a quote: "
  """
  renameBook(bookId: ID!, newTitle: String!): Book!
}

"""Anything with an id"""
interface Node @docLink(pageUrl: "https://example.com/node", anchor: null) {
  id: ID!
}

"""Dated; says \"""when\"""
"""
interface Published implements Node @key(keyId: "p-1") {
  id: ID!
  publishedOn: Date
}

type Query {
  book(key: BookKey!): Book
  search(text: String!, filter: BookFilter = null): [SearchResult!]!
  node: Node
}

type Subscription {
  bookAdded(genre: Genre = null): Book!
}

"""A book or an author"""
union SearchResult = Book | Author

"""Date (isoformat)"""
scalar Date

"""Date with time (isoformat)"""
scalar DateTime

"""Decimal (fixed-point)"""
scalar Decimal

"""An amount, as decimal text"""
scalar Money @specifiedBy(url: "https://example.com/money") @docLink(pageUrl: "https://example.com/money", anchor: null)

"""Time (isoformat)"""
scalar Time

"""UUID"""
scalar UUID

"""Upper-cases a string"""
directive @upperCase("""A BCP 47 tag""" localeName: String! = "en" @docLink(pageUrl: "https://example.com/locales", anchor: null)) on FIELD | FRAGMENT_SPREAD

"""Where the "docs" are"""
directive @docLink(pageUrl: String!, anchor: String) repeatable on SCHEMA | SCALAR | OBJECT | FIELD_DEFINITION | ARGUMENT_DEFINITION | INTERFACE | UNION | ENUM | ENUM_VALUE | INPUT_OBJECT | INPUT_FIELD_DEFINITION

directive @key(keyId: UUID!) on OBJECT | INTERFACE'''

# What auto_camel_case=False prints in their place: the Python names. Explicit
# names (ISBN, sortKey, anchor), enum values, type and directive names stay.
PYTHON_NAMES = [("pageUrl", "page_url"), ("keyId", "key_id"), ("fullName", "full_name"), ("maxCount", "max_count"),
                ("publishedOn", "published_on"), ("printedAt", "printed_at"), ("updatedAt", "updated_at"),
                ("titlePrefix", "title_prefix"), ("minPages", "min_pages"), ("maxPrice", "max_price"),
                ("bookId", "book_id"), ("renameBook", "rename_book"), ("newTitle", "new_title"),
                ("bookAdded", "book_added"), ("localeName", "locale_name")]


def test_rich_schema():
    assert _dovrane.render_sdl(rich_schema.build()) == RICH_SDL


def test_rich_schema_without_camel_case():
    expected = RICH_SDL
    for camel, python in PYTHON_NAMES:
        assert camel in expected
        expected = expected.replace(camel, python)
    assert _dovrane.render_sdl(rich_schema.build(auto_camel_case=False)) == expected


# ---------------------------------------------------------------------------
# graphql-core reads what we print

@pytest.fixture(scope="module")
def graphql():
    return pytest.importorskip("graphql", reason="graphql-core is not installed for this interpreter")


def doc_link(page, anchor=None):
    return "https://example.com/" + page, anchor


@pytest.mark.parametrize("auto_camel_case", [True, False])
def test_graphql_core_builds_the_printed_schema(graphql, auto_camel_case):
    def name(camel):
        return camel if auto_camel_case else dict(PYTHON_NAMES).get(camel, camel)

    # build_schema refuses an unknown directive or argument, validate_schema a
    # broken interface, union or default.
    built = graphql.build_schema(_dovrane.render_sdl(rich_schema.build(auto_camel_case=auto_camel_case)))
    assert graphql.validate_schema(built) == []

    # Every applied directive, read by the definition it names.
    book, author, genre, book_filter = (built.type_map[n] for n in ("Book", "Author", "Genre", "BookFilter"))
    upper_case = built.get_directive("upperCase")
    applied = [
        (built.ast_node, doc_link("schema", "top")),
        (built.type_map["Money"].ast_node, doc_link("money")),
        (book.ast_node, doc_link("books", "book")),
        (book.fields["title"].ast_node, doc_link("books", "title")),
        (book.fields[name("printedAt")].ast_node, doc_link("print")),  # the first of two
        (author.fields["books"].args[name("maxCount")].ast_node, doc_link("paging")),
        (built.type_map["Node"].ast_node, doc_link("node")),
        (genre.ast_node, doc_link("genres")),
        (genre.values["NONFICTION"].ast_node, doc_link("genres", "nf")),
        (book_filter.ast_node, doc_link("filters")),
        (book_filter.fields[name("titlePrefix")].ast_node, doc_link("filters", "prefix")),
        (upper_case.args[name("localeName")].ast_node, doc_link("locales")),
    ]
    doc_link_definition = built.get_directive("docLink")
    for node, (page, anchor) in applied:
        assert graphql.get_directive_values(doc_link_definition, node) == {name("pageUrl"): page, "anchor": anchor}
    for node, key in [(book.ast_node, "b-1"), (built.type_map["Published"].ast_node, "p-1")]:
        assert graphql.get_directive_values(built.get_directive("key"), node) == {name("keyId"): key}

    # Descriptions, deprecations and defaults come back as declared.
    assert book.description == 'A "book"\nas sold'
    assert built.type_map["Published"].description == 'Dated; says """when"""'
    assert built.mutation_type.fields[name("renameBook")].description == 'Ends with a quote: "'
    assert genre.values["FICTION"].description == 'Made up, "mostly"'
    assert built.type_map["SearchResult"].description == "A book or an author"
    assert genre.values["POETRY"].deprecation_reason == 'Use "FICTION"'
    assert doc_link_definition.description == 'Where the "docs" are'
    assert upper_case.args[name("localeName")].description == "A BCP 47 tag"
    books = author.fields["books"]
    assert books.args["sortKey"].deprecation_reason == "By title"
    defaults = [books.args[name("maxCount")], books.args["genres"], book_filter.fields["genre"]]
    assert [graphql.print_ast(default.ast_node.default_value) for default in defaults] == [
        "3", "[FICTION, NONFICTION]", "FICTION"]
    assert built.type_map["BookKey"].ast_node.directives[0].name.value == "oneOf"
    assert built.type_map["Money"].specified_by_url == "https://example.com/money"
    assert sorted(type_name for type_name in built.type_map if not type_name.startswith("__")) == sorted(
        ["Author", "Book", "BookFilter", "BookKey", "Genre", "Mutation", "Node", "Published", "Query", "Subscription",
         "SearchResult", "Date", "DateTime", "Decimal", "Money", "Time", "UUID", "String", "Int", "Boolean", "ID"])


# ---------------------------------------------------------------------------
# Descriptions read back as declared, wherever they are printed

DESCRIPTIONS = [
    "One line.",
    "Ends here.\n",                      # a trailing line break
    "first\n  indented\n  later lines",  # common indentation of the later lines
    "  starts indented\nflush",
    "first\n  indented\nthen flush",
    "  both\n  indented",
    "\nafter a blank line",
    "before a blank line\n\n",
    "a\n\nblank inside",
    "a\n  \nwhitespace-only line inside",
    "   ",                               # only spaces
    "  only line, indented",
    "carriage\rreturn",
    "crlf\r\nline",
    "\ttab\n\tand tab",
    'say """hi""" now',
    '"""',
    'ends in "',
    "ends in \\",
    'ends in \\"""',
    "caf\u00e9 \u2615 \u65e5\u672c \u2028 e\u0301",
    "bell\x07 and nul\x00",
    "",
]


def described_schema(text):
    """A schema with `text` as the description of every element that has one."""
    @dovrane.enum(description=text)
    class Color(enum.Enum):
        RED = EnumValueDefinition("red", description=text)

    @dovrane.interface(description=text)
    class Node:
        id: dovrane.ID = dovrane.field(description=text)

    @dovrane.input(description=text)
    class Filter:
        term: str = dovrane.field(default="", description=text)

    @dovrane.type(description=text)
    class Item(Node):
        color: Color = Color.RED

    def resolve_items(root: Parent["Query"], limit: Annotated[int, Argument(description=text)] = 1,
                      filter: Optional[Filter] = None) -> list[Item]:
        return []

    @dovrane.schema_directive(locations=["OBJECT"], description=text)
    class Marker:
        note: str = ""

    def upper(value: DirectiveValue[str], locale: Annotated[str, Argument(description=text)] = "en"):
        return value

    @dovrane.type
    class Other:
        count: int = 0

    Found = Annotated[Item | Other, UnionDefinition("Found", description=text)]

    @dovrane.type(description=text)
    class Query:
        items: list[Item] = dovrane.field(resolver=resolve_items, description=text)
        found: Optional[Found] = None

    return dovrane.compile_schema(
        Query, types=[Color, Node, Filter, Item, Other], unions=[Found],
        directives=[_dovrane.describe_operation_directive(upper, locations=["FIELD"], description=text)],
        schema_directives=[Marker], scalar_names=["String", "Int", "Boolean", "ID", "Stamp"],
        scalar_descriptions=[("Stamp", text)])


@pytest.mark.parametrize("text", DESCRIPTIONS)
def test_descriptions_read_back_as_declared(graphql, text):
    sdl = _dovrane.render_sdl(described_schema(text))
    built = graphql.build_schema(sdl)
    assert graphql.validate_schema(built) == []
    types = built.type_map
    described = {
        "enum": types["Color"], "enum value": types["Color"].values["RED"], "interface": types["Node"],
        "interface field": types["Node"].fields["id"], "input": types["Filter"],
        "input field": types["Filter"].fields["term"], "type": types["Query"], "field": types["Query"].fields["items"],
        "argument": types["Query"].fields["items"].args["limit"], "union": types["Found"], "scalar": types["Stamp"],
        "operation directive": built.get_directive("upper"),
        "operation directive argument": built.get_directive("upper").args["locale"],
        "schema directive": built.get_directive("marker"),
    }
    expected = text or None  # an empty description prints nothing
    assert {place: element.description for place, element in described.items()} == dict.fromkeys(described, expected)


def test_one_line_descriptions_print_in_the_block_form():
    sdl = _dovrane.render_sdl(described_schema("One line."))
    assert sdl.count('"""One line."""') == 16  # Item repeats Node's two
    assert '"One line."' not in sdl.replace('"""One line."""', "")


# ---------------------------------------------------------------------------
# Enum values in applied directives

def test_strings_naming_enum_values_print_as_enum_values(graphql):
    @dovrane.enum
    class WebhookEvent(enum.Enum):
        ORDER_CREATED = "created"
        ORDER_PAID = EnumValueDefinition("paid", graphql_name="PAID")

    @dovrane.input
    class Route:
        event_kind: WebhookEvent
        also: Optional[list[WebhookEvent]] = None

    @dovrane.schema_directive(locations=["OBJECT", "FIELD_DEFINITION"])
    class Webhook:
        async_events: list[WebhookEvent]
        primary: Optional[WebhookEvent] = None
        label: Optional[str] = None

    @dovrane.schema_directive(locations=["OBJECT"])
    class Routes:
        routes: list[Route]

    # Input-object keys by printed name, and by Python name where that is one.
    routes = Routes(routes=[{"eventKind": "PAID", "also": ["ORDER_CREATED"]}, {"event_kind": "ORDER_CREATED"}])

    @dovrane.type(directives=[Webhook(async_events=["ORDER_CREATED", "PAID"], primary="PAID", label="PAID"), routes])
    class Query:
        order: str = dovrane.field(default="", directives=[Webhook(async_events="ORDER_CREATED")])
        other: str = dovrane.field(default="", directives=[Webhook(async_events=["ORDER_PAID"])])

    sdl = _dovrane.render_sdl(dovrane.compile_schema(
        Query, types=[WebhookEvent, Route], schema_directives=[Webhook, Routes], scalar_names=["String"]))
    assert ('type Query @webhook(asyncEvents: [ORDER_CREATED, PAID], primary: PAID, label: "PAID")'
            " @routes(routes: [{also: [ORDER_CREATED], eventKind: PAID}, {event_kind: ORDER_CREATED}]) {") in sdl
    # One value in place of a list of one.
    assert "  order: String! @webhook(asyncEvents: ORDER_CREATED, primary: null, label: null)\n" in sdl
    # A Python member name is no GraphQL value name: printed as stored.
    other = '@webhook(asyncEvents: ["ORDER_PAID"], primary: null, label: null)'
    assert f"  other: String! {other}\n" in sdl

    # Object keys print as stored: only the printed name reads back.
    built = graphql.build_schema(sdl.replace(other, "").replace("{event_kind:", "{eventKind:"))
    assert graphql.validate_schema(built) == []
    webhook = built.get_directive("webhook")
    query = built.query_type
    assert graphql.get_directive_values(webhook, query.ast_node) == {
        "asyncEvents": ["ORDER_CREATED", "PAID"], "primary": "PAID", "label": "PAID"}
    assert graphql.get_directive_values(built.get_directive("routes"), query.ast_node) == {
        "routes": [{"eventKind": "PAID", "also": ["ORDER_CREATED"]}, {"eventKind": "ORDER_CREATED", "also": None}]}
    assert graphql.get_directive_values(webhook, query.fields["order"].ast_node) == {
        "asyncEvents": ["ORDER_CREATED"], "primary": None, "label": None}


# ---------------------------------------------------------------------------
# The benchmark schema: declared in Python, printed, read back

def bench_module(name):
    """A module of bench/, imported under its own name (its lazy types name it)."""
    if name not in sys.modules:
        path = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "bench", name + ".py")
        found = importlib.util.spec_from_file_location(name, path)
        module = importlib.util.module_from_spec(found)
        sys.modules[name] = module
        found.loader.exec_module(module)
    return sys.modules[name]


def test_the_bench_schema_survives_the_round_trip(graphql):
    types = bench_module("bench_schema_types")
    schema = types.build()
    data = os.path.join(os.path.dirname(types.__file__), "data")
    with open(os.path.join(data, "schema.graphql"), encoding="utf-8") as source:
        original = graphql.build_schema(source.read())
    printed = graphql.build_schema(_dovrane.render_sdl(schema))
    assert types.schema_outline(printed) == types.schema_outline(original)

    # Both sides validate the benchmark's query on the same schema.
    with open(os.path.join(data, "query.graphql"), encoding="utf-8") as source:
        query = source.read()
    assert graphql.validate(original, graphql.parse(query)) == []
    assert _dovrane.validate_query(query, schema) is None
