"""process_type: a dataclass into an object, interface or input type and its TypeInfo."""
import dataclasses
import enum
import inspect
import re
import typing
from types import SimpleNamespace
from typing import Annotated, Optional

import pytest

import _dovrane
import _dovrane_testing as testing
import dovrane
from dovrane._field import Field
from dovrane._maybe import Maybe
from dovrane._private import PrivateMarker
from dovrane._resolver import Argument, Info, Parent

from directive_fixtures import directive


def process(cls, kind="type", **keywords):
    keywords.setdefault("directives", [])
    return _dovrane.process_type(cls, kind=kind, **keywords)


def rows(info):
    return [(f.name, f.graphql_name, f.graphql_type, f.description, f.deprecation_reason, f.default_value,
             f.is_maybe, f.has_resolver) for f in info.fields]


def make(name, fields, **keywords):
    """make_dataclass, with this module's globals for its string annotations (3.10 and 3.11
    would give it the module `types`)."""
    return dataclasses.make_dataclass(name, fields, namespace={"__module__": __name__}, **keywords)


def decorated(cls, kind="type", **keywords):
    """What the host's decorators do: the TypeInfo stored on the class."""
    cls.__dovrane_type_info__ = process(cls, kind, **keywords)
    return cls


@dataclasses.dataclass
class Book:
    title: str
    pages: Optional[int] = None


# ---------------------------------------------------------------------------
# The type and its kind

@pytest.mark.parametrize("kind", ["type", "interface", "input"])
def test_kinds(kind):
    info = process(Book, kind, name="Volume_v2", description="A bound book", one_of=True)
    assert type(info) is _dovrane.TypeInfo
    # The name is used as given; a true one_of is kept for every kind.
    assert (info.kind, info.name, info.description, info.one_of, info.enum_values) == (
        kind, "Volume_v2", "A bound book", True, [])
    assert rows(info) == [("title", None, "String!", None, None, None, False, False),
                          ("pages", None, "Int", None, None, "null", False, False)]
    assert all(type(field) is _dovrane.FieldInfo for field in info.fields)
    assert testing.type_definition(info) == ("Volume_v2", "A bound book", True, [], [], [("title", []), ("pages", [])])


def test_defaults_of_name_description_and_flags():
    info = process(Book)
    assert (info.name, info.description, info.one_of) == ("Book", None, False)


@pytest.mark.parametrize("kind", ["Type", "TYPE", "enum", "union", "", "type ", "typ\u00e9"])
def test_unknown_kinds(kind):
    with pytest.raises(_dovrane.SchemaError) as raised:
        process(Book, kind)
    assert type(raised.value) is _dovrane.SchemaError
    assert str(raised.value) == f"unknown type kind '{kind}' (expected 'type', 'interface', or 'input')"


@pytest.mark.parametrize("directives, error, message", [
    (None, TypeError, "'NoneType' object is not iterable"),
    ([directive("tag", value=object())], ValueError, "^value of type 'object' is not JSON-serializable$"),
])
def test_class_directives_fail_before_the_kind_is_checked(directives, error, message):
    with pytest.raises(error, match=message):
        process(Book, "Type", directives=directives)


def test_class_directives_are_taken_without_a_location_check():
    directives = (d for d in [directive("key", locations=["SCALAR"]), "not a directive"])
    info = process(Book, directives=directives)
    assert testing.type_definition(info)[3] == [("key", [])]
    info = process(Book, directives=[directive("key", locations=["ENUM"], id="isbn")])
    assert testing.type_definition(info)[3] == [("key", [("id", '"isbn"')])]


def test_a_class_that_is_not_a_dataclass():
    class Plain:
        title: str

    with pytest.raises(TypeError, match="dataclass"):
        process(Plain)


def test_an_empty_dataclass_has_no_fields():
    @dataclasses.dataclass
    class Empty:
        pass

    info = process(Empty, "interface")
    assert info.fields == []


# ---------------------------------------------------------------------------
# Fields

class Color:
    pass


def test_fields_in_order_with_their_configuration_and_defaults():
    @dataclasses.dataclass
    class Shelf:
        label: str
        count: int = 3
        ratio: float = 0.5
        open: bool = True
        motto: str = "read \"more\""
        nothing: Optional[str] = None
        tags: list[str] = dataclasses.field(default_factory=list)
        pair: tuple[int, ...] = (1, 2)  # no faithful literal
        code: str = dovrane.field(graphql_name="shelfCode", description="Where it stands",
                                  deprecation_reason="Use label", default="A1")
        odd: str = dovrane.field(graphql_name=7, description=b"bytes", deprecation_reason=["no"], default="")
        plain: int = dataclasses.field(default=9, metadata={"graphql_name": "ignored"})

    expected = [
        ("label", None, "String!", None, None, None, False, False),
        ("count", None, "Int!", None, None, "3", False, False),
        ("ratio", None, "Float!", None, None, "0.5", False, False),
        ("open", None, "Boolean!", None, None, "true", False, False),
        ("motto", None, "String!", None, None, '"read \\"more\\""', False, False),
        ("nothing", None, "String", None, None, "null", False, False),
        ("tags", None, "[String!]!", None, None, None, False, False),
        ("pair", None, "[Int!]!", None, None, None, False, False),
        ("code", "shelfCode", "String!", "Where it stands", "Use label", '"A1"', False, False),
        ("odd", None, "String!", None, None, '""', False, False),
        ("plain", None, "Int!", None, None, "9", False, False),
    ]
    # Defaults are literals for every kind of type, not only for inputs.
    for kind in ("type", "interface", "input"):
        assert rows(process(Shelf, kind)) == expected


def test_field_info_attributes_follow_the_definition():
    @dataclasses.dataclass
    class Tagged:
        names: list[str]
        note: Maybe[str] = "n/a"

    names, note = process(Tagged).fields
    assert (names.graphql_type, names.is_nullable, names.type_info.kind) == ("[String!]!", False, "NON_NULL")
    assert (note.graphql_type, note.is_nullable, note.is_maybe, note.default_value) == ("String", True, True, None)
    assert (note.parent_parameter, note.info_parameter, note.arguments) == (None, None, [])


def test_maybe_fields_keep_no_default():
    @dataclasses.dataclass
    class Patch:
        title: Maybe[str] = "untitled"
        pages: Annotated[Maybe[int], "meta"] = 3
        tags: Maybe[list[str]] = dataclasses.field(default=None)
        left_out: Maybe[str] = dovrane.field(default=None)

    assert rows(process(Patch, "input")) == [
        ("title", None, "String", None, None, None, True, False),
        ("pages", None, "Int", None, None, None, True, False),
        ("tags", None, "[String!]", None, None, None, True, False),
        ("left_out", None, "String", None, None, None, True, False),
    ]


def test_a_maybe_default_is_still_converted():
    @dataclasses.dataclass
    class Patch:
        title: Maybe[str] = "x"

    loop = []
    loop.append(loop)
    dataclasses.fields(Patch)[0].default = loop
    with pytest.raises(RecursionError):
        process(Patch, "input")


def test_private_fields_without_configuration_are_left_out():
    @dataclasses.dataclass
    class Account:
        login: str
        password_hash: Annotated[str, PrivateMarker()] = ""
        cache: Annotated[dict, "note", PrivateMarker()] = dataclasses.field(default_factory=dict)
        email: str = ""

    info = process(Account)
    assert [field.name for field in info.fields] == ["login", "email"]
    assert testing.definition_summary(info)[1] == ["login", "email"]


@pytest.mark.parametrize("configuration", [
    dovrane.field(default=""),
    dovrane.field(resolver=None, description="still configured"),
])
def test_a_private_field_with_configuration(configuration):
    @dataclasses.dataclass
    class Account:
        login: str
        secret: Annotated[str, PrivateMarker()] = configuration

    with pytest.raises(_dovrane.SchemaError) as raised:
        process(Account)
    assert str(raised.value) == (
        "field 'secret' on 'Account' cannot be both Private and a dovrane.field(...) -- either remove the "
        "Private annotation or the field configuration")


@pytest.mark.parametrize("override, annotation, expected, is_maybe", [
    (int, str, "Int!", False),
    (list[Optional[int]], str, "[Int]!", False),
    (Optional[str], int, "String", False),
    (int, Maybe[str], "Int!", True),       # Maybe is read from the annotation, the type from the override
    (None, Optional[int], "Int", False),  # None: no override
])
def test_graphql_type_overrides(override, annotation, expected, is_maybe):
    cls = make("Overridden", [("value", annotation, dovrane.field(graphql_type=override,
                                                                                        default=None))])
    [field] = process(cls).fields
    assert (field.graphql_type, field.is_maybe) == (expected, is_maybe)


def test_field_directives_are_taken_without_a_location_check():
    @dataclasses.dataclass
    class Tagged:
        plain: str
        marked: str = dovrane.field(directives=[directive("since", locations=["ENUM_VALUE"], version="2"),
                                                "not a directive", directive("hidden")])

    info = process(Tagged)
    assert testing.type_definition(info)[5] == [
        ("plain", []), ("marked", [("since", [("version", '"2"')]), ("hidden", [])])]
    # They live only in the hidden definition.
    assert testing.definition_summary(info)[2] == 0


@pytest.mark.parametrize("directives, error", [(None, TypeError), (3, TypeError),
                                               ([directive("d", value={1: 2})], TypeError)])
def test_field_directive_errors(directives, error):
    configured = dovrane.field(default="")
    configured.directives = directives
    cls = make("Broken", [("value", str, configured)])
    with pytest.raises(error):
        process(cls)


# ---------------------------------------------------------------------------
# Resolvers

def resolve_author(root: Parent["Library"], info: Info, first_count: Annotated[int, Argument(name="first")] = 10,
                   genre: Optional[str] = None, *, sort: Maybe[str] = "title") -> str:
    return ""


def resolve_count(self: Parent["Library"]) -> int:
    return 0


@dataclasses.dataclass
class Library:
    name: str
    author: str = dovrane.field(resolver=resolve_author, description="Who wrote the most")
    count: int = dovrane.field(resolver=resolve_count)
    shelved: str = dovrane.field(resolver=None, default="")


def test_resolvers_bind_their_parameters():
    name, author, count, shelved = process(Library).fields
    assert (name.has_resolver, name.parent_parameter, name.info_parameter, name.arguments) == (
        False, None, None, [])
    assert (author.has_resolver, author.parent_parameter, author.info_parameter, author.description) == (
        True, "root", "info", "Who wrote the most")
    assert [(a.name, a.graphql_name, a.graphql_type, a.has_default, a.default_value, a.is_maybe)
            for a in author.arguments] == [
        ("first_count", "first", "Int!", True, "10", False),
        ("genre", None, "String", True, "null", False),
        ("sort", None, "String", True, None, True),
    ]
    assert all(type(argument) is _dovrane.ArgumentInfo for argument in author.arguments)
    assert (count.has_resolver, count.parent_parameter, count.info_parameter, count.arguments) == (
        True, "self", None, [])
    # A configured field whose resolver is None has none.
    assert (shelved.has_resolver, shelved.parent_parameter) == (False, None)


def test_resolver_errors_propagate():
    def unannotated(root):
        pass

    cls = make("Broken", [("value", str, dovrane.field(resolver=unannotated))])
    with pytest.raises(_dovrane.SchemaError, match="^resolver parameter 'root' has no type annotation"):
        process(cls)


def test_input_types_cannot_declare_resolvers():
    def first(root: Parent["Filter"]) -> str:
        return ""

    @dataclasses.dataclass
    class Filter:
        text: str
        lowered: str = dovrane.field(resolver=first)
        upper: str = dovrane.field(resolver=first)

    with pytest.raises(_dovrane.SchemaError) as raised:
        process(Filter, "input")
    assert str(raised.value) == "input type fields cannot declare a resolver, but field 'lowered' does"
    # Objects and interfaces may.
    assert [field.has_resolver for field in process(Filter, "interface").fields] == [False, True, True]


def test_the_input_resolver_check_runs_after_every_field_was_read():
    def first(root: Parent["Filter"]) -> str:
        return ""

    @dataclasses.dataclass
    class Filter:
        lowered: str = dovrane.field(resolver=first)
        broken: Annotated[str, PrivateMarker()] = dovrane.field(default="")

    with pytest.raises(_dovrane.SchemaError, match="cannot be both Private"):
        process(Filter, "input")


# ---------------------------------------------------------------------------
# Annotations

@dataclasses.dataclass
class Forward:
    known: "int"
    later: "Undefined"  # noqa: F821
    direct: str


def test_unresolved_annotations_are_an_error_by_default():
    with pytest.raises(_dovrane.SchemaError) as raised:
        process(Forward)
    assert type(raised.value) is _dovrane.SchemaError
    assert str(raised.value) == (
        "could not resolve field annotations for 'Forward': NameError: name 'Undefined' is not defined")


def test_unresolved_annotations_allowed_fall_back_to_every_raw_annotation():
    info = process(Forward, allow_unresolved_annotations=True)
    # Even the fields that would have resolved take `f.type`: "int" is a bare name here.
    assert [(field.name, field.graphql_type) for field in info.fields] == [
        ("known", "int!"), ("later", "Undefined!"), ("direct", "String!")]


class Outer:
    class MissingName(NameError):
        pass


def raise_missing_name():
    raise Outer.MissingName("gone")


def test_the_message_quotes_the_exception_by_its_qualified_name():
    @dataclasses.dataclass
    class Late:
        value: "raise_missing_name()"  # noqa: F821

    with pytest.raises(_dovrane.SchemaError) as raised:
        process(Late)
    assert str(raised.value) == "could not resolve field annotations for 'Late': Outer.MissingName: gone"
    assert [field.graphql_type for field in process(Late, allow_unresolved_annotations=True).fields] == [
        "raise_missing_name()!"]


def raise_interrupt():
    raise KeyboardInterrupt("stop")


def raise_zero_division():
    return 1 / 0


@pytest.mark.parametrize("annotation, error", [
    ("raise_interrupt()", KeyboardInterrupt),
    ("raise_zero_division()", ZeroDivisionError),
])
@pytest.mark.parametrize("allow", [False, True])
def test_other_exceptions_of_get_type_hints_propagate(annotation, error, allow):
    cls = make("Failing", [("value", annotation)])
    with pytest.raises(error):
        process(cls, allow_unresolved_annotations=allow)


@pytest.mark.parametrize("allow", [False, True])
def test_a_type_error_of_get_type_hints_propagates(monkeypatch, allow):
    def failing(*args, **kwargs):
        raise TypeError("bad annotation")

    monkeypatch.setattr(typing, "get_type_hints", failing)
    with pytest.raises(TypeError, match="^bad annotation$"):
        process(Book, allow_unresolved_annotations=allow)


def test_hints_that_are_not_a_dict_count_as_empty(monkeypatch):
    calls = []

    def listing(cls, *, localns, include_extras):
        calls.append((cls, localns[cls.__name__], include_extras))
        return [("title", int)]

    monkeypatch.setattr(typing, "get_type_hints", listing)
    assert [field.graphql_type for field in process(Forward, allow_unresolved_annotations=False).fields] == [
        "int!", "Undefined!", "String!"]
    assert calls == [(Forward, Forward, True)]


def test_hints_keep_annotated_metadata_and_see_the_class_itself():
    @dataclasses.dataclass
    class Node:
        label: Annotated[str, "label metadata"]
        parent: Optional["Node"] = None
        children: "list[Node]" = dataclasses.field(default_factory=list)

    assert [(field.name, field.graphql_type) for field in process(Node).fields] == [
        ("label", "String!"), ("parent", "Node"), ("children", "[Node!]!")]


# ---------------------------------------------------------------------------
# Interfaces

def interfaces_of(info):
    return testing.type_definition(info)[4]


def test_interfaces_through_several_levels_of_inheritance():
    @dataclasses.dataclass
    class Entity:
        id: str

    decorated(Entity, "interface", name="Node")

    @dataclasses.dataclass
    class Named(Entity):  # undecorated: inherits Node's info
        name: str = ""

    @dataclasses.dataclass
    class Audited(Named):
        created: str = ""

    decorated(Audited, "interface")

    @dataclasses.dataclass
    class Base(Audited):  # an object type adds no interface
        base: int = 0

    decorated(Base, "type")

    @dataclasses.dataclass
    class Novel(Base):
        title: str = ""

    info = process(Novel)
    # Novel's MRO: Base (type), Audited (interface), Named (Node's info), Entity (Node), object.
    assert interfaces_of(info) == ["Audited", "Node"]
    assert [field.name for field in info.fields] == ["id", "name", "created", "base", "title"]
    assert interfaces_of(process(Audited, "interface")) == ["Node"]
    assert interfaces_of(process(Entity, "interface")) == []


def test_an_interface_is_named_once_at_its_first_place():
    @dataclasses.dataclass
    class Node:
        id: str

    decorated(Node, "interface")

    @dataclasses.dataclass
    class Carrier(Node):  # inherits Node's info: Node would be named twice
        pass

    @dataclasses.dataclass
    class Other:
        other: str

    decorated(Other, "interface")

    @dataclasses.dataclass
    class Both(Carrier, Other):
        pass

    assert [entry.__name__ for entry in Both.__mro__] == ["Both", "Carrier", "Node", "Other", "object"]
    assert interfaces_of(process(Both)) == ["Node", "Other"]


def test_input_types_collect_no_interfaces():
    @dataclasses.dataclass
    class Node:
        id: str

    decorated(Node, "interface")

    @dataclasses.dataclass
    class NodeInput(Node):
        pass

    assert interfaces_of(process(NodeInput, "input")) == []
    assert interfaces_of(process(NodeInput, "type")) == ["Node"]


def test_a_field_named_mro_does_not_hide_the_bases():
    @dataclasses.dataclass
    class Node:
        id: str

    decorated(Node, "interface")

    @dataclasses.dataclass
    class Ranked(Node):
        mro: int = 0

    info = process(Ranked)
    assert [field.name for field in info.fields] == ["id", "mro"]
    assert interfaces_of(info) == ["Node"]


def test_type_infos_are_read_by_their_attributes():
    bases = [
        type("Described", (), {"__dovrane_type_info__": SimpleNamespace(kind="interface", name="Described")}),
        type("Colour", (), {"__dovrane_type_info__": _dovrane.process_enum(enum.Enum("Colour", "RED"),
                                                                           directives=[])}),
        type("Typed", (), {"__dovrane_type_info__": SimpleNamespace(kind="type", name="Typed")}),
    ]
    cls = make("Thing", [("id", str)], bases=tuple(bases))
    assert interfaces_of(process(cls)) == ["Described"]


class RaisingInfo:
    def __init__(self, exception):
        self.exception = exception

    def __get__(self, instance, owner):
        raise self.exception


@pytest.mark.parametrize("info, error", [
    (RaisingInfo(LookupError("unreadable")), None),            # counts as undecorated
    (RaisingInfo(KeyboardInterrupt("stop")), KeyboardInterrupt),
    (SimpleNamespace(kind=3, name="Odd"), TypeError),
    (SimpleNamespace(name="Odd"), AttributeError),
    (SimpleNamespace(kind="interface", name=None), TypeError),
    (SimpleNamespace(kind="type"), None),                      # the name of a non-interface is never read
])
def test_type_info_reads_on_the_bases(info, error):
    base = type("Base", (), {"__dovrane_type_info__": info})
    cls = make("Thing", [("id", str)], bases=(base,))
    if error is None:
        assert interfaces_of(process(cls)) == []
    else:
        with pytest.raises(error):
            process(cls)
    # An input type does not read them.
    assert interfaces_of(process(cls, "input")) == []


# ---------------------------------------------------------------------------
# Reads that count as absent

CONFIGURED_ATTRIBUTES = ["graphql_name", "description", "deprecation_reason", "default", "graphql_type",
                         "resolver", "directives"]


def with_raising_field(name, attribute, exception, annotation=str, fields=()):
    """A dataclass whose last field is configured, but reading its `attribute` raises `exception`.
    The class is swapped once the dataclass is made, which reads some of them itself."""
    class Raising(Field):
        __slots__ = ()

    def read(self):
        raise exception

    setattr(Raising, attribute, property(read))
    cls = make(name, [*fields, ("value", annotation, dovrane.field(default="x"))])
    dataclasses.fields(cls)[-1].__class__ = Raising
    return cls


@pytest.mark.parametrize("attribute", CONFIGURED_ATTRIBUTES)
def test_a_configured_read_that_raises_an_exception_counts_as_absent(attribute):
    [field] = process(with_raising_field("Absent", attribute, ValueError("no"))).fields
    assert (field.graphql_type, field.has_resolver) == ("String!", False)
    assert field.default_value == (None if attribute == "default" else '"x"')


@pytest.mark.parametrize("attribute", CONFIGURED_ATTRIBUTES)
def test_a_configured_read_that_raises_keyboard_interrupt_propagates(attribute):
    with pytest.raises(KeyboardInterrupt):
        process(with_raising_field("Interrupted", attribute, KeyboardInterrupt))


def test_an_unreadable_resolver_leaves_a_private_field_unconfigured():
    cls = with_raising_field("Hidden", "resolver", AttributeError("none"), Annotated[str, PrivateMarker()],
                             fields=[("shown", str)])
    assert [field.name for field in process(cls).fields] == ["shown"]


# ---------------------------------------------------------------------------
# The function

def test_signature_and_docstring():
    assert str(inspect.signature(_dovrane.process_type)) == (
        "(cls, *, kind, name=None, description=None, directives, one_of=False, allow_unresolved_annotations=False)")
    lines = _dovrane.process_type.__doc__.splitlines()
    assert lines[0] == ("process_type(cls, *, kind, name=None, description=None, directives, one_of=False, "
                        "allow_unresolved_annotations=False)")
    assert lines[1] == ""
    assert "dataclass" in _dovrane.process_type.__doc__


@pytest.mark.parametrize("args, kwargs, message", [
    ((3,), {"kind": 3, "directives": None}, "^argument 'cls': expected type, got int$"),
    ((Book(""),), {"kind": "type", "directives": []}, "^argument 'cls': expected type, got Book$"),
    ((Book,), {"kind": 3, "directives": None}, "^argument 'kind': expected str, got int$"),
    ((Book,), {"kind": None, "directives": []}, "^argument 'kind': expected str, got NoneType$"),
    ((Book,), {"kind": "type", "name": 3, "directives": []}, "^argument 'name': expected str, got int$"),
    ((Book,), {"kind": "type", "description": b"", "directives": []},
     "^argument 'description': expected str, got bytes$"),
    ((Book,), {"kind": "Type", "directives": None, "one_of": 1}, "^argument 'one_of': expected bool, got int$"),
    ((Book,), {"kind": "type", "directives": [], "allow_unresolved_annotations": "yes"},
     "^argument 'allow_unresolved_annotations': expected bool, got str$"),
    ((Book,), {"directives": []}, r"^process_type\(\) missing 1 required keyword argument: 'kind'$"),
    ((Book,), {"kind": "type"}, r"^process_type\(\) missing 1 required keyword argument: 'directives'$"),
    ((), {"kind": "type", "directives": []}, r"^process_type\(\) missing 1 required positional argument: 'cls'$"),
    ((Book, "type"), {"directives": []}, r"^process_type\(\) takes 1 positional argument but 2 positional"),
    ((Book,), {"kind": "type", "directives": [], "interfaces": []},
     r"^process_type\(\) got an unexpected keyword argument 'interfaces'$"),
])
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as raised:
        _dovrane.process_type(*args, **kwargs)
    assert re.search(message, str(raised.value))  # str() leaves out the 3.11+ note


def test_cls_by_keyword_and_flags_by_keyword():
    info = _dovrane.process_type(cls=Book, kind="input", directives=(), one_of=False,
                                 allow_unresolved_annotations=True)
    assert (info.kind, info.one_of) == ("input", False)


def test_repeated_calls_build_independent_infos():
    first, second = process(Library), process(Library)
    assert first is not second and first.fields[1] is not second.fields[1]
    assert rows(first) == rows(second)
    assert not hasattr(Library, "__dovrane_type_info__")
