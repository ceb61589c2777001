"""A rich schema, declared the way the host declares one.

Interfaces (one through inheritance), a union, enums with configured values,
input types with defaults and one-of, resolvers with configured arguments,
every library scalar, a registered scalar with description, URL and
directives, an operation directive, and two schema directives applied at
every location the SDL prints them. `build(auto_camel_case)` compiles it.
"""
import datetime
import decimal
import enum
import uuid
from typing import Annotated, NewType, Optional

import _dovrane
import dovrane
from dovrane._enum import EnumValueDefinition
from dovrane._maybe import Maybe
from dovrane._resolver import Argument, Info, Parent
from dovrane._union import UnionDefinition
from dovrane.directive import DirectiveValue

Money = NewType("Money", str)

TYPE_SYSTEM_LOCATIONS = ["SCHEMA", "SCALAR", "OBJECT", "FIELD_DEFINITION", "ARGUMENT_DEFINITION", "INTERFACE",
                         "UNION", "ENUM", "ENUM_VALUE", "INPUT_OBJECT", "INPUT_FIELD_DEFINITION"]


@dovrane.schema_directive(locations=TYPE_SYSTEM_LOCATIONS, repeatable=True, description='Where the "docs" are')
class DocLink:
    page_url: str
    anchor_name: Optional[str] = dovrane.field(graphql_name="anchor", default=None)


@dovrane.schema_directive(locations=["OBJECT", "INTERFACE"], name="key")
class StableKey:
    key_id: uuid.UUID  # UUID is named by this field only


def doc(page, anchor=None):
    return DocLink("https://example.com/" + page, anchor)


@dovrane.enum(description="What a book is", directives=[doc("genres")])
class Genre(enum.Enum):
    FICTION = EnumValueDefinition("fiction", description='Made up, "mostly"')
    NON_FICTION = EnumValueDefinition("non-fiction", graphql_name="NONFICTION", directives=[doc("genres", "nf")])
    POETRY = EnumValueDefinition("poetry", deprecation_reason='Use "FICTION"')


@dovrane.interface(description="Anything with an id", directives=[doc("node")])
class Node:
    id: dovrane.ID


@dovrane.interface(description='Dated; says """when"""', directives=[StableKey(key_id="p-1")])
class Published(Node):
    published_on: Optional[datetime.date]


@dovrane.input(description="Which books", directives=[doc("filters")])
class BookFilter:
    title_prefix: Optional[str] = dovrane.field(default=None, directives=[doc("filters", "prefix")])
    genre: Genre = Genre.FICTION
    min_pages: int = 0
    max_price: Optional[decimal.Decimal] = None


@dovrane.input(one_of=True)
class BookKey:
    isbn: Maybe[str]
    book_id: Maybe[dovrane.ID]


@dovrane.type(description='A "book"\nas sold', directives=[doc("books", "book"), StableKey(key_id="b-1")])
class Book(Published):
    title: str = dovrane.field(description="The title", directives=[doc("books", "title")])
    isbn_code: str = dovrane.field(graphql_name="ISBN")
    subtitle: Optional[str] = dovrane.field(default=None, deprecation_reason="Use title")
    genre: Genre = Genre.FICTION
    price: Money = "0"
    cost: Optional[decimal.Decimal] = None
    printed_at: Optional[datetime.time] = dovrane.field(default=None, directives=[doc("print"), doc("time")])
    updated_at: Optional[datetime.datetime] = None
    sequel: Optional["Book"] = None


def resolve_books(root: Parent["Author"], info: Info,
                  max_count: Annotated[int, Argument(description="At most", directives=[doc("paging")])] = 3,
                  sort: Annotated[Optional[str], Argument(name="sortKey", deprecation_reason="By title")] = None,
                  genres: list[Genre] = [Genre.FICTION, Genre.NON_FICTION]) -> list[Book]:
    return []


@dovrane.type
class Author(Node):
    full_name: str
    books: list[Book] = dovrane.field(resolver=resolve_books)


SearchResult = Annotated[Book | Author, UnionDefinition("SearchResult", description="A book or an author")]


def resolve_book(root: Parent["Query"], key: BookKey) -> Optional[Book]:
    return None


def resolve_search(root: Parent["Query"], text: str, filter: Optional[BookFilter] = None) -> list[SearchResult]:
    return []


@dovrane.type
class Query:
    book: Optional[Book] = dovrane.field(resolver=resolve_book)
    search: list[SearchResult] = dovrane.field(resolver=resolve_search)
    node: Optional[Node] = None


def resolve_rename(root: Parent["Mutation"], book_id: dovrane.ID, new_title: str) -> Book:
    raise NotImplementedError


@dovrane.type
class Mutation:
    rename_book: Book = dovrane.field(resolver=resolve_rename, description='Ends with a quote: "')


def resolve_book_added(root: Parent["Subscription"], genre: Optional[Genre] = None) -> Book:
    raise NotImplementedError


@dovrane.type
class Subscription:
    book_added: Book = dovrane.field(resolver=resolve_book_added)


def upper_case(value: DirectiveValue[str],
               locale_name: Annotated[str, Argument(description="A BCP 47 tag", directives=[doc("locales")])] = "en"):
    return value


UPPER_CASE = _dovrane.describe_operation_directive(upper_case, locations=["FIELD", "FRAGMENT_SPREAD"],
                                                   description="Upper-cases a string")


def build(auto_camel_case=True):
    return dovrane.compile_schema(
        Query, mutation=Mutation, subscription=Subscription,
        types=[Node, Published, Book, Author, BookFilter, BookKey, Genre],
        unions=[SearchResult], directives=[UPPER_CASE], schema_directives=[DocLink, StableKey],
        scalar_names=["Money"],
        scalar_directives=[("Money", [doc("money")])],
        scalar_descriptions=[("Money", "An amount, as decimal text")],
        scalar_specified_by_urls=[("Money", "https://example.com/money")],
        schema_applied_directives=[doc("schema", "top")],
        auto_camel_case=auto_camel_case)
