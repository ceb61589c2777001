"""The union marker, used in `Annotated[A | B, UnionDefinition(...)]`."""


class UnionDefinition:
    def __init__(self, name, description=None, resolve_type=None):
        self.name = name
        self.description = description
        self.resolve_type = resolve_type
