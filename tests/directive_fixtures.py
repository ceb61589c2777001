"""Directive instances for tests, without the host's directive decorator.

A directive instance is a plain object whose class carries a descriptor under
`__dovrane_directive_info__` with `name`, `locations` and `fields` (items with
`name` and `graphql_name`), which is all that `_dovrane` reads of it.
"""


class Field:
    def __init__(self, name, graphql_name=None):
        self.name = name
        self.graphql_name = graphql_name


class Descriptor:
    def __init__(self, name, locations=("FIELD_DEFINITION",), fields=()):
        self.name = name
        self.locations = locations
        self.fields = fields


def directive(name, locations=("FIELD_DEFINITION",), fields=None, **arguments):
    """An instance of a new directive class; its fields default to the arguments' names, in order."""
    if fields is None:
        fields = [Field(key) for key in arguments]
    cls = type(name.capitalize() or "Anonymous", (), {"__dovrane_directive_info__": Descriptor(name, locations, fields)})
    instance = cls()
    for key, value in arguments.items():
        setattr(instance, key, value)
    return instance


def raising_descriptor(exception):
    """An instance whose descriptor lookup raises `exception`."""
    def lookup(self):
        raise exception
    return type("Broken", (), {"__dovrane_directive_info__": property(lookup)})()
