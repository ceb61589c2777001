"""`dovrane.field(...)`: a dataclass field that also configures its GraphQL field."""
import dataclasses

MISSING = dataclasses.MISSING


class Field(dataclasses.Field):
    """A `dataclasses.Field` with the GraphQL configuration that `_dovrane.process_type` reads."""

    __slots__ = ("resolver", "graphql_name", "description", "deprecation_reason", "graphql_type", "directives")


def field(*, resolver=None, graphql_name=None, description=None, deprecation_reason=None, graphql_type=None,
          directives=(), default=MISSING, default_factory=MISSING, init=None, repr=True, hash=None, compare=True,
          metadata=None, kw_only=MISSING):
    """Like `dataclasses.field`; a field with a resolver stays out of `__init__` unless `init` says otherwise."""
    if default is not MISSING and default_factory is not MISSING:
        raise ValueError("cannot specify both default and default_factory")
    if init is None:
        init = resolver is None
    configured = Field(default, default_factory, init, repr, hash, compare, metadata, kw_only)
    configured.resolver = resolver
    configured.graphql_name = graphql_name
    configured.description = description
    configured.deprecation_reason = deprecation_reason
    configured.graphql_type = graphql_type
    configured.directives = list(directives)
    return configured
