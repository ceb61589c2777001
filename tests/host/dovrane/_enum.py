"""An enum member's value that also configures the GraphQL enum value."""


class EnumValueDefinition:
    # Compared by identity: two members with equal configurations must stay
    # distinct members of their enum.
    __hash__ = object.__hash__

    def __init__(self, value=None, graphql_name=None, description=None, deprecation_reason=None, directives=()):
        self.value = value
        self.graphql_name = graphql_name
        self.description = description
        self.deprecation_reason = deprecation_reason
        self.directives = list(directives)
