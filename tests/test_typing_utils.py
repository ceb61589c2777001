"""Annotations resolved into GraphQL types, the naming rule, the lazy namespaces and the caches."""
import collections.abc
import dataclasses
import datetime
import decimal
import os
import subprocess
import sys
import textwrap
import types
import typing
import uuid
from types import SimpleNamespace
from typing import Annotated, Generic, List, Optional, TypeVar, Union

import pytest

import _dovrane
import _dovrane_testing as testing
import dovrane
import dovrane._lazy
import dovrane._maybe
import dovrane._union
from dovrane._lazy import LazyType
from dovrane._maybe import Maybe
from dovrane._resolver import Streamable
from dovrane._union import UnionDefinition

T = TypeVar("T")
MODULE_DIR = os.path.dirname(_dovrane.__file__)


def declare(cls, name=None, kind="type"):
    """Marks a class the way the host package's decorators do."""
    cls.__dovrane_type_info__ = SimpleNamespace(kind=kind, name=name or cls.__name__)
    return cls


@declare
class A:
    pass


@declare
class B:
    pass


class Article:
    pass


declare(Article, name="Post")


class Plain:
    pass


class Text(str):
    pass


@declare
class Slug(str):
    pass


class Spelled:
    """An object without a `__name__`: named by its str()."""

    def __str__(self):
        return "Spelled"


class OddName:
    __name__ = 5

    def __str__(self):
        return "Odd"


# A placeholder whose target resolves (named by the target's type info) and
# one whose target does not exist yet (named by its type_name).
Aliased = declare(type("Aliased", (), {}), name="RealName")
RESOLVED = LazyType("Aliased", __name__)
PENDING = LazyType("Later", __name__)

PET = UnionDefinition("Pet", description="A pet", resolve_type=None)

# Annotation -> SDL type text, in the order of the resolution rules.
RESOLUTIONS = [
    # Annotated: other metadata is ignored; a union marker or a union base names a union.
    (Annotated[int, "doc"], "Int!"),
    (Annotated[Optional[int], "doc"], "Int"),
    (Annotated[A | B, PET], "Pet!"),
    (Annotated[A, PET], "Pet!"),
    (Annotated[A | B, "doc"], "AB!"),
    (Annotated[A | None, PET], "A"),
    (Optional[Annotated[A | B, PET]], "Pet"),
    # Maybe: nullable whatever is inside.
    (Maybe[int], "Int"),
    (Maybe[Optional[int]], "Int"),
    (Maybe[list[int]], "[Int!]"),
    (Annotated[Maybe[int], "doc"], "Int"),
    (Maybe, "Maybe!"),  # no origin: only a class named Maybe
    # Unions: one member besides None is the optional form.
    (Optional[int], "Int"),
    (int | None, "Int"),
    (Union[int, None], "Int"),
    (Union[None, str], "String"),
    (A | B, "AB!"),
    (Union[B, A], "BA!"),
    # Asynchronous iteration stands for its items.
    (collections.abc.AsyncIterator[int], "Int!"),
    (collections.abc.AsyncGenerator[int, None], "Int!"),
    (collections.abc.AsyncIterable[int], "Int!"),
    (collections.abc.AsyncGenerator[int | None, None], "Int"),
    (typing.AsyncIterator[str], "String!"),
    # Lists, tuples and Streamable: every level has its own non-null mark.
    (list[int], "[Int!]!"),
    (list[int | None] | None, "[Int]"),
    (List[str], "[String!]!"),
    (list[list[int]], "[[Int!]!]!"),
    (Optional[list[Optional[list[int]]]], "[[Int!]]"),
    (tuple[int, str], "[Int!]!"),
    (typing.Tuple[int, ...], "[Int!]!"),
    (Streamable[str], "[String!]!"),
    (Streamable[Optional[A]], "[A]!"),
    # Named types: built-in scalars by identity, then type info, __name__, str().
    (str, "String!"),
    (bool, "Boolean!"),
    (int, "Int!"),
    (float, "Float!"),
    (dovrane.ID, "ID!"),
    (datetime.datetime, "DateTime!"),
    (datetime.date, "Date!"),
    (datetime.time, "Time!"),
    (decimal.Decimal, "Decimal!"),
    (uuid.UUID, "UUID!"),
    (Text, "Text!"),
    (Slug, "Slug!"),
    (A, "A!"),
    (Article, "Post!"),
    (Plain, "Plain!"),
    (list, "list!"),
    ("Forward", "Forward!"),
    (Spelled(), "Spelled!"),
    (OddName(), "Odd!"),
    (RESOLVED, "RealName!"),
    (PENDING, "Later!"),
]


@pytest.mark.parametrize("annotation, text", RESOLUTIONS, ids=[f"{i}:{text}" for i, (_, text) in enumerate(RESOLUTIONS)])
def test_resolution(annotation, text):
    assert testing.resolve_type_text(annotation) == text


def nested_lists(levels):
    """An annotation of `levels` levels: list[list[...[int]]]."""
    annotation = int
    for _ in range(levels - 1):
        annotation = list[annotation]
    return annotation


def test_nesting_up_to_the_limit_resolves():
    assert testing.resolve_type_text(nested_lists(10)) == "[" * 9 + "Int!" + "]!" * 9
    assert testing.resolve_type_text(nested_lists(64)) == "[" * 63 + "Int!" + "]!" * 63


# typing caches its aliases: each is made over a class of its own, so the
# alias it mutates is never handed out again.
def self_referential_list():
    alias = List[type("Seed", (), {})]
    alias.__args__ = (alias,)
    return alias


def self_referential_optional():
    alias = Optional[type("Seed", (), {})]
    alias.__args__ = (alias, type(None))
    return alias


def self_referential_annotated():
    alias = Annotated[type("Seed", (), {}), "doc"]
    alias.__origin__ = alias
    return alias


@pytest.mark.parametrize("make", [
    lambda: nested_lists(65),
    lambda: nested_lists(100_000),
    self_referential_list,
    self_referential_optional,
    self_referential_annotated,
    lambda: Maybe[nested_lists(64)],
], ids=["65 levels", "100000 levels", "list alias", "optional alias", "annotated alias", "maybe"])
def test_nesting_beyond_the_limit_fails(make):
    annotation = make()
    with pytest.raises(_dovrane.SchemaError) as caught:
        testing.resolve_type_text(annotation)
    assert str(caught.value) == "annotation nesting exceeds the limit of 64"


class Meta(type):
    """Fails the equality test of the first stream origin."""

    def __eq__(cls, other):
        if other is collections.abc.AsyncGenerator:
            raise ValueError("no comparing")
        return cls is other

    __hash__ = type.__hash__


class Unequal(Generic[T], metaclass=Meta):
    pass


class EmptyAnnotated:
    """Stands for an Annotated alias without arguments, which typing cannot build."""


@pytest.fixture
def empty_annotated(monkeypatch):
    real_origin, real_args = typing.get_origin, typing.get_args
    monkeypatch.setattr(typing, "get_origin", lambda tp: Annotated if tp is EmptyAnnotated else real_origin(tp))
    monkeypatch.setattr(typing, "get_args", lambda tp: () if tp is EmptyAnnotated else real_args(tp))
    return EmptyAnnotated


def test_annotated_without_arguments_fails(empty_annotated):
    for call in (testing.resolve_type_text, testing.unwrap_annotated, testing.is_maybe_annotation,
                 _dovrane.describe_union):
        with pytest.raises(_dovrane.SchemaError) as caught:
            call(empty_annotated)
        assert str(caught.value) == "Annotated[...] annotation has no underlying type"


@pytest.mark.parametrize("annotation, error, message", [
    (List, IndexError, "tuple index out of range"),
    (Unequal[int], ValueError, "no comparing"),
    (A | B | None, _dovrane.SchemaError,
     "union member 'NoneType' is not a '@dovrane.type'-decorated object type; "
     "GraphQL unions may only contain object types"),
    (A | int, _dovrane.SchemaError,
     "union member 'Int' is not a '@dovrane.type'-decorated object type; "
     "GraphQL unions may only contain object types"),
    (declare(type("Nameless", (), {}), name=5), TypeError, "expected str, got int"),
    (LazyType(None, __name__), TypeError, "expected str, got NoneType"),
], ids=["List without arguments", "equality raises", "union with None", "union with a scalar",
        "type info name not a str", "type_name not a str"])
def test_resolution_errors(annotation, error, message):
    with pytest.raises(error) as caught:
        testing.resolve_type_text(annotation)
    assert str(caught.value) == message


class Raising:
    """An annotation whose every missing attribute raises `error`."""

    def __init__(self, error):
        self.error = error

    def __getattr__(self, name):
        raise self.error

    def __str__(self):
        return "Raising"


class RaisingPlaceholder(LazyType):
    def __init__(self, error):
        super().__init__("Placeholder", __name__)
        self.error = error

    def resolve_type(self):
        raise self.error


@pytest.mark.parametrize("make", [Raising, RaisingPlaceholder], ids=["attribute lookups", "resolve_type"])
def test_naming_discards_only_exceptions(make):
    expected = "Raising" if make is Raising else "Placeholder"
    assert testing.named_type_name(make(RuntimeError("discarded"))) == expected
    for error in (KeyboardInterrupt(), SystemExit(3)):
        with pytest.raises(type(error)):
            testing.named_type_name(make(error))


def test_maybe_and_the_union_marker_are_looked_up_on_every_use(monkeypatch):
    class OtherMaybe(Generic[T]):
        pass

    class OtherMarker:
        def __init__(self, name):
            self.name, self.description, self.resolve_type = name, None, None

    assert testing.resolve_type_text(Maybe[int]) == "Int"
    monkeypatch.setattr(dovrane._maybe, "Maybe", OtherMaybe)
    monkeypatch.setattr(dovrane._union, "UnionDefinition", OtherMarker)
    assert testing.resolve_type_text(OtherMaybe[int]) == "Int"
    assert testing.resolve_type_text(Maybe[int]) == "Maybe!"
    assert testing.resolve_type_text(Annotated[A, OtherMarker("Solo")]) == "Solo!"
    assert testing.resolve_type_text(Annotated[A, PET]) == "A!"


@pytest.mark.parametrize("annotation, base, metadata", [
    (int, int, []),
    (Annotated[int, "a", PET], int, ["a", PET]),
    (Annotated[Annotated[int, "a"], "b"], int, ["a", "b"]),
    (Optional[Annotated[int, "a"]], Optional[Annotated[int, "a"]], []),
])
def test_unwrap_annotated(annotation, base, metadata):
    got_base, got_metadata = testing.unwrap_annotated(annotation)
    assert got_base == base and got_metadata == metadata


@pytest.mark.parametrize("annotation, expected", [
    (Maybe[int], True),
    (Annotated[Maybe[int], "doc"], True),
    (Maybe, False),
    (Optional[Maybe[int]], False),
    (list[Maybe[int]], False),
    (int, False),
])
def test_is_maybe_annotation(annotation, expected):
    assert testing.is_maybe_annotation(annotation) is expected


@pytest.mark.parametrize("origin, expected", [
    (Union, True), (types.UnionType, True), (None, False), (list, False), (Optional, False),
])
def test_is_union_origin(origin, expected):
    assert testing.is_union_origin(origin) is expected


def test_find_marker():
    other = UnionDefinition("Other")
    assert testing.find_marker([1, "doc", PET, other], UnionDefinition) is PET
    assert testing.find_marker([1, "doc"], UnionDefinition) is None
    assert testing.find_marker([], UnionDefinition) is None
    with pytest.raises(TypeError):
        testing.find_marker([1], "not a class")


def test_lazy_type_class_is_the_hosts():
    assert testing.lazy_type_class() is dovrane._lazy.LazyType


def annotated_function():
    pass


def test_seeding_adds_the_lazy_namespace_over_the_callers_entries():
    namespace = {"A": "mine", "kept": 1}
    testing.seed_lazy_namespace(A, namespace)
    assert namespace["A"] is A and namespace["kept"] == 1
    assert namespace["Plain"] is Plain  # the stand-in's namespace is the class's module

    namespace = {"annotated_function": "mine"}
    testing.seed_lazy_namespace(annotated_function, namespace, for_callable=True)
    assert namespace["annotated_function"] is annotated_function and namespace["Plain"] is Plain


# ---------------------------------------------------------------------------
# The caches, in a fresh interpreter with a host package of the test's own.

HOST_FILES = {name: textwrap.dedent(text) for name, text in {
    "__init__.py": """
        from typing import NewType
        ID = NewType("ID", str)
    """,
    "_lazy.py": """
        class LazyType:
            def __init__(self, type_name):
                self.type_name = type_name
            def resolve_type(self):
                raise LookupError(self.type_name)
        class LazyReference:
            def resolve_forward_ref(self, forward_ref):
                return LazyType(forward_ref.__forward_arg__)
        def namespace_for_class(cls):
            return {"from_class": cls}
        def namespace_for_callable(func):
            return {"from_callable": func}
    """,
    "_maybe.py": """
        from typing import Generic, TypeVar
        class Maybe(Generic[TypeVar("T")]):
            pass
    """,
    "_resolver.py": """
        from typing import Generic, TypeVar
        class Streamable(Generic[TypeVar("T")]):
            pass
    """,
    "_union.py": """
        class UnionDefinition:
            def __init__(self, name, description=None, resolve_type=None):
                self.name, self.description, self.resolve_type = name, description, resolve_type
    """,
}.items()}


def run_with_host(tmp_path, code, **files):
    """Runs `code` in a new interpreter whose `dovrane` is HOST_FILES with `files` over it."""
    package = tmp_path / "dovrane"
    package.mkdir()
    for name, text in {**HOST_FILES, **files}.items():
        (package / name).write_text(text)
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([MODULE_DIR, str(tmp_path)]))
    # The timeout only turns a deadlock into a failure.
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True,
                            text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result.stdout.splitlines()


def test_a_failed_cache_build_is_tried_again(tmp_path):
    lines = run_with_host(tmp_path, """
        import builtins, sys, typing
        import _dovrane_testing as testing

        def outcome(annotation):
            try:
                return testing.resolve_type_text(annotation)
            except Exception as error:
                return f"{type(error).__name__}: {error}"

        print(outcome(int))
        import dovrane._resolver
        class Streamable(typing.Generic[typing.TypeVar("T")]):
            pass
        dovrane._resolver.Streamable = Streamable
        print(outcome(int))
        print(outcome(typing.Annotated[int, "doc"]))
        builtins.lazy_ready = True
        print(outcome(int))
        import dovrane
        dovrane.ID = typing.NewType("ID", str)
        print(outcome(int), outcome(Streamable[dovrane.ID]))
        print(testing.lazy_type_class() is sys.modules["dovrane._lazy"].LazyType)
    """, **{
        "__init__.py": "",
        "_resolver.py": "",
        "_union.py": "raise ImportError('no unions here')",
        "_lazy.py": "import builtins\n"
                    "if not getattr(builtins, 'lazy_ready', False):\n"
                    "    raise ImportError('lazy helpers are not ready')\n" + HOST_FILES["_lazy.py"],
    })
    assert lines == [
        "AttributeError: module 'dovrane._resolver' has no attribute 'Streamable'",
        "ImportError: lazy helpers are not ready",  # built-in scalars too: naming starts with the lazy helpers
        "ImportError: no unions here",
        "AttributeError: module 'dovrane' has no attribute 'ID'",
        "Int! [ID!]!",
        "True",
    ]


def test_a_host_module_that_resolves_annotations_while_imported_does_not_deadlock(tmp_path):
    # Each module's import runs inside the build of the cache that needs it,
    # and its body needs that same cache again.
    lines = run_with_host(tmp_path, """
        from types import SimpleNamespace
        import _dovrane_testing as testing

        class A:
            __dovrane_type_info__ = SimpleNamespace(kind="type", name="A")

        print(testing.resolve_type_text(A | None))
        import dovrane._lazy, dovrane._resolver
        print(dovrane._resolver.EVENTS, dovrane._lazy.NODE_OR_EDGE.name)
    """, **{
        "_resolver.py": HOST_FILES["_resolver.py"] + """
from types import SimpleNamespace
import _dovrane_testing

class Event:
    __dovrane_type_info__ = SimpleNamespace(kind="type", name="Event")

EVENTS = _dovrane_testing.resolve_type_text(Streamable[Event])
""",
        "_lazy.py": HOST_FILES["_lazy.py"] + """
from types import SimpleNamespace
import _dovrane

class Node:
    __dovrane_type_info__ = SimpleNamespace(kind="type", name="Node")

class Edge:
    __dovrane_type_info__ = SimpleNamespace(kind="type", name="Edge")

NODE_OR_EDGE = _dovrane.describe_union(Node | Edge)
""",
    })
    assert lines == ["A", "[Event!]! NodeEdge"]


def test_namespace_functions_must_return_a_dict(tmp_path):
    lines = run_with_host(tmp_path, """
        import _dovrane_testing as testing

        class Seeded:
            pass

        def seeded():
            pass

        namespace = {"kept": 1}
        try:
            testing.seed_lazy_namespace(Seeded, namespace)
        except TypeError as error:
            print(error, namespace)
        testing.seed_lazy_namespace(seeded, namespace, for_callable=True)
        print(sorted(namespace), namespace["from_callable"] is seeded, namespace["kept"])
    """, **{"_lazy.py": HOST_FILES["_lazy.py"] + """
class Namespace(dict):
    pass

def namespace_for_class(cls):
    return [cls]

def namespace_for_callable(func):
    return Namespace(from_callable=func, kept=2)
"""})
    assert lines == ["expected dict, got list {'kept': 1}", "['from_callable', 'kept'] True 2"]


def test_only_a_class_s_own_type_info_names_it():
    @declare
    class Node:
        pass

    class Child(Node):  # undecorated: it has no info of its own
        pass

    assert testing.resolve_type_text(Node) == "Node!"
    assert testing.resolve_type_text(Child) == "Child!"
    declare(Child, name="Renamed")
    assert testing.resolve_type_text(Child) == "Renamed!"


def test_a_class_that_names_itself_while_processed_is_not_named_after_its_base():
    @dataclasses.dataclass
    class Node:
        id: str

    Node.__dovrane_type_info__ = _dovrane.process_type(Node, kind="interface", directives=[])

    @dataclasses.dataclass
    class Comment(Node):
        parent: Optional["Comment"] = None

    info = _dovrane.process_type(Comment, kind="type", directives=[])
    assert [(field.name, field.graphql_type) for field in info.fields] == [("id", "String!"), ("parent", "Comment")]
    assert testing.type_definition(info)[4] == ["Node"]  # interfaces still come through the bases
