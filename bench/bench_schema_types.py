"""data/schema.graphql declared as Python classes through the host stand-in.

The same schema that graphql-core builds from the SDL, so that both sides
validate the same thing; `schema_outline` reduces a graphql-core schema to what
both must agree on. Needs the built module and `tests/host` on the path.

The edges name their nodes lazily: they are declared before the types that
cycle back to them (Content.author is a User, whose posts lead to Post).
"""
import datetime
import enum
from typing import Annotated, NewType, Optional

import _dovrane
import dovrane
from dovrane._lazy import LazyType
from dovrane._schema import compile_arguments as host_compile_arguments
from dovrane._resolver import Parent
from dovrane._union import UnionDefinition

JSON = NewType("JSON", object)


@dovrane.schema_directive(locations=["FIELD_DEFINITION", "OBJECT"])
class CacheControl:
    max_age: Optional[int] = None


@dovrane.enum
class Role(enum.Enum):
    ADMIN = "admin"
    EDITOR = "editor"
    VIEWER = "viewer"


@dovrane.enum
class OrderDirection(enum.Enum):
    ASC = "asc"
    DESC = "desc"


@dovrane.enum
class PostStatus(enum.Enum):
    DRAFT = "draft"
    PUBLISHED = "published"
    ARCHIVED = "archived"


@dovrane.input
class PageInput:
    first: Optional[int] = 10
    after: Optional[str] = None
    last: Optional[int] = None
    before: Optional[str] = None


@dovrane.input
class PostFilter:
    status: Optional[PostStatus] = None
    tags: Optional[list[str]] = None
    author_id: Optional[dovrane.ID] = None
    search: Optional[str] = None
    created_after: Optional[datetime.datetime] = None


@dovrane.input
class PostOrder:
    field: str
    direction: Optional[OrderDirection] = OrderDirection.ASC


@dovrane.input
class CreatePostInput:
    title: str
    body: str
    tags: Optional[list[str]] = None
    status: Optional[PostStatus] = PostStatus.DRAFT


@dovrane.type
class PageInfo:
    has_next_page: bool
    has_previous_page: bool
    start_cursor: Optional[str]
    end_cursor: Optional[str]


@dovrane.type
class Profile:
    bio: Optional[str]
    website: Optional[str]
    location: Optional[str]
    joined_at: datetime.datetime


@dovrane.type
class Reaction:
    kind: str
    count: int
    viewer_has_reacted: bool


@dovrane.interface
class Node:
    id: dovrane.ID


@dovrane.type
class PostEdge:
    cursor: str
    node: LazyType("Post", __name__)


@dovrane.type
class PostConnection:
    edges: list[PostEdge]
    page_info: PageInfo
    total_count: int


@dovrane.type
class UserEdge:
    cursor: str
    node: LazyType("User", __name__)


@dovrane.type
class UserConnection:
    edges: list[UserEdge]
    page_info: PageInfo
    total_count: int


@dovrane.type
class CommentEdge:
    cursor: str
    node: LazyType("Comment", __name__)


@dovrane.type
class CommentConnection:
    edges: list[CommentEdge]
    page_info: PageInfo
    total_count: int


def resolve_avatar(root: Parent["User"], size: Optional[int] = 64):
    return None


def resolve_posts(root: Parent["User"], page: Optional[PageInput] = None, filter: Optional[PostFilter] = None,
                  order: Optional[list[PostOrder]] = None):
    return None


def resolve_users(root: Parent["User"], page: Optional[PageInput] = None):
    return None


@dovrane.type
class User(Node):
    name: str
    email: Optional[str]
    role: Role
    avatar: Optional[str] = dovrane.field(resolver=resolve_avatar)
    posts: PostConnection = dovrane.field(resolver=resolve_posts)
    followers: UserConnection = dovrane.field(resolver=resolve_users)
    following: UserConnection = dovrane.field(resolver=resolve_users)
    profile: Optional[Profile] = None


@dovrane.interface
class Content(Node):
    title: str
    created_at: datetime.datetime
    author: Optional[User]


def resolve_body(root: Parent["Post"], format: Optional[str] = "markdown"):
    return ""


def resolve_comments(root: Parent["Content"], page: Optional[PageInput] = None):
    return None


@dovrane.type
class Post(Content):
    body: str = dovrane.field(resolver=resolve_body)
    updated_at: Optional[datetime.datetime] = None
    status: PostStatus = PostStatus.DRAFT
    tags: list[str] = dovrane.field(default_factory=list)
    comments: CommentConnection = dovrane.field(resolver=resolve_comments)
    reactions: list[Reaction] = dovrane.field(default_factory=list)
    metadata: Optional[JSON] = None


@dovrane.type
class Comment(Content):
    text: str = ""
    replies: CommentConnection = dovrane.field(resolver=resolve_comments)
    parent: Optional["Comment"] = None


SearchResult = Annotated[User | Post | Comment, UnionDefinition("SearchResult")]


def resolve_by_id(root: Parent["Query"], id: dovrane.ID):
    return None


def resolve_user_list(root: Parent["Query"], page: Optional[PageInput] = None, role: Optional[Role] = None):
    return None


def resolve_search(root: Parent["Query"], text: str, first: Optional[int] = 20):
    return []


@dovrane.type
class Query:
    node: Optional[Node] = dovrane.field(resolver=resolve_by_id)
    viewer: Optional[User] = None
    user: Optional[User] = dovrane.field(resolver=resolve_by_id)
    users: UserConnection = dovrane.field(resolver=resolve_user_list)
    post: Optional[Post] = dovrane.field(resolver=resolve_by_id)
    posts: PostConnection = dovrane.field(resolver=resolve_posts)
    search: list[SearchResult] = dovrane.field(resolver=resolve_search)


def resolve_create_post(root: Parent["Mutation"], input: CreatePostInput):
    return None


def resolve_react(root: Parent["Mutation"], post_id: dovrane.ID, kind: str):
    return None


@dovrane.type
class Mutation:
    create_post: Optional[Post] = dovrane.field(resolver=resolve_create_post)
    react: Optional[Reaction] = dovrane.field(resolver=resolve_react)


def resolve_post_added(root: Parent["Subscription"], author_id: Optional[dovrane.ID] = None):
    return None


@dovrane.type
class Subscription:
    post_added: Optional[Post] = dovrane.field(resolver=resolve_post_added)


TYPES = [Role, OrderDirection, PostStatus, PageInput, PostFilter, PostOrder, CreatePostInput, PageInfo, Profile,
         Reaction, Node, PostEdge, PostConnection, UserEdge, UserConnection, CommentEdge, CommentConnection, User,
         Content, Post, Comment]


def compile_arguments():
    """The arguments of `_dovrane.compile_schema` for this schema."""
    return host_compile_arguments(
        Query, mutation=Mutation, subscription=Subscription, types=TYPES, unions=[SearchResult],
        schema_directives=[CacheControl], scalar_names=["JSON"])


def build():
    return _dovrane.compile_schema(**compile_arguments())


def schema_outline(schema):
    """What two graphql-core schemas of the same SDL agree on: per named type
    (introspection types left out), its kind, fields with their types and
    arguments, enum values, union members and interfaces."""
    import graphql

    def fields_of(named):
        return {name: (str(field.type), {arg: str(argument.type) for arg, argument in field.args.items()})
                if hasattr(field, "args") else str(field.type)
                for name, field in named.fields.items()}

    outline = {}
    for name, named in schema.type_map.items():
        if name.startswith("__"):
            continue
        entry = {"kind": type(named).__name__}
        if isinstance(named, (graphql.GraphQLObjectType, graphql.GraphQLInterfaceType, graphql.GraphQLInputObjectType)):
            entry["fields"] = fields_of(named)
        if isinstance(named, (graphql.GraphQLObjectType, graphql.GraphQLInterfaceType)):
            entry["interfaces"] = sorted(interface.name for interface in named.interfaces)
        if isinstance(named, graphql.GraphQLEnumType):
            entry["values"] = sorted(named.values)
        if isinstance(named, graphql.GraphQLUnionType):
            entry["members"] = sorted(member.name for member in named.types)
        outline[name] = entry
    outline["roots"] = [root.name if root else None
                        for root in (schema.query_type, schema.mutation_type, schema.subscription_type)]
    outline["directives"] = {directive.name: sorted(directive.args) for directive in schema.directives}
    return outline
