"""Resolver parameter markers, and the result type of subscriptions."""
from typing import Generic, TypeVar

T = TypeVar("T")


class Streamable(Generic[T]):
    """`Streamable[T]`: a subscription resolver's result, a stream of T; its field is a list of T."""


class Parent(Generic[T]):
    """`Parent[T]`: the parameter receives the parent object."""


class Info(Generic[T]):
    """`Info` or `Info[T]`: the parameter receives the execution info."""


class Depends:
    """`Annotated[T, Depends(provider)]`: an injected dependency."""

    def __init__(self, dependency):
        self.dependency = dependency


class Argument:
    """`Annotated[T, Argument(...)]`: configures a GraphQL argument."""

    def __init__(self, name=None, description=None, deprecation_reason=None, graphql_type=None, directives=()):
        self.name = name
        self.description = description
        self.deprecation_reason = deprecation_reason
        self.graphql_type = graphql_type
        self.directives = list(directives)
