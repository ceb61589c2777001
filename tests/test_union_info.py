"""describe_union and UnionInfo."""
import inspect
from types import SimpleNamespace
from typing import Annotated, Union

import pytest

import _dovrane
import _dovrane_testing as testing
from dovrane._lazy import LazyReference, LazyType
from dovrane._union import UnionDefinition
from class_traits import assert_read_only_class


def declare(cls, name=None, kind="type"):
    """Marks a class the way the host package's decorators do."""
    cls.__dovrane_type_info__ = SimpleNamespace(kind=kind, name=name or cls.__name__)
    return cls


A = declare(type("A", (), {}))
B = declare(type("B", (), {}))
C = declare(type("C", (), {}))
Article = declare(type("Article", (), {}), name="Post")
Node = declare(type("Node", (), {}), kind="interface")
Plain = type("Plain", (), {})
NumericKind = declare(type("NumericKind", (), {}), kind=1)
# The targets of lazy references: one resolves, "Later" does not exist yet.
Aliased = declare(type("Aliased", (), {}), name="RealName")


def resolve_pet(value, info):
    return "A"


PET = UnionDefinition("Pet", resolve_type=resolve_pet)
SOLO = UnionDefinition("Solo", description="Only A")

# annotation -> (name, description, member names, has_custom_resolve_type)
DESCRIPTIONS = [
    (Union[A, B], ("AB", None, ["A", "B"], False)),
    (A | B, ("AB", None, ["A", "B"], False)),
    (Union[B, A], ("BA", None, ["B", "A"], False)),
    (Annotated[Union[A, B, C], PET], ("Pet", None, ["A", "B", "C"], True)),
    (Annotated[A, SOLO], ("Solo", "Only A", ["A"], False)),
    (Annotated[A | B, "doc", SOLO, PET], ("Solo", "Only A", ["A", "B"], False)),
    (A, ("A", None, ["A"], False)),
    (Annotated[Union[A, B], "doc"], ("AB", None, ["A", "B"], False)),
    (A | Article, ("APost", None, ["A", "Post"], False)),
    (LazyType("Aliased", __name__), ("RealName", None, ["RealName"], False)),
    (LazyType("Later", __name__), ("Later", None, ["Later"], False)),
    (Union[A, Annotated["Aliased", LazyReference(__name__)]], ("ARealName", None, ["A", "RealName"], False)),
    (Union[A, Annotated["Later", LazyReference(__name__)]], ("ALater", None, ["A", "Later"], False)),
    (Union[A, Annotated[B, LazyReference(__name__)]], ("AB", None, ["A", "B"], False)),
]


@pytest.mark.parametrize("annotation, expected", DESCRIPTIONS, ids=[d[1][0] for d in DESCRIPTIONS])
def test_describe_union(annotation, expected):
    info = _dovrane.describe_union(annotation)
    assert type(info) is _dovrane.UnionInfo
    assert (info.name, info.description, info.member_names, info.has_custom_resolve_type) == expected
    assert testing.union_definition(info) == expected


def member_error(name):
    return (f"union member '{name}' is not a '@dovrane.type'-decorated object type; "
            "GraphQL unions may only contain object types")


class Interrupting(type):
    """A class whose type-info lookup raises `error`."""

    error = None

    def __getattr__(cls, name):
        raise cls.error


def interrupting(error):
    return Interrupting("Interrupting", (), {"error": error})


@pytest.mark.parametrize("annotation, error, message", [
    (Union[A, B, None], _dovrane.SchemaError, member_error("NoneType")),
    (Union[A, int], _dovrane.SchemaError, member_error("Int")),
    (A | Node, _dovrane.SchemaError, member_error("Node")),
    (Annotated[Plain, SOLO], _dovrane.SchemaError, member_error("Plain")),
    (A | NumericKind, _dovrane.SchemaError, member_error("NumericKind")),
    (A | interrupting(RuntimeError("discarded")), _dovrane.SchemaError, member_error("Interrupting")),
    (Union[A, Annotated[Plain, "doc"]], _dovrane.SchemaError, member_error("Annotated")),
    (Annotated[A, UnionDefinition(None)], TypeError, "expected str, got NoneType"),
    (Annotated[A, UnionDefinition("Pet", description=5)], TypeError, "expected str, got int"),
    (Annotated[A, SimpleNamespace()], None, None),
], ids=["None member", "scalar member", "interface member", "plain class", "kind not a str",
        "type-info lookup raises", "annotated member", "marker name None", "marker description int",
        "no marker"])
def test_describe_union_errors(annotation, error, message):
    if error is None:
        # Metadata that is no marker is ignored: the one member is A itself.
        assert _dovrane.describe_union(annotation).name == "A"
        return
    with pytest.raises(error) as caught:
        _dovrane.describe_union(annotation)
    assert str(caught.value) == message


def test_only_exceptions_are_discarded_by_the_member_check():
    for error in (KeyboardInterrupt(), SystemExit(3)):
        with pytest.raises(type(error)):
            _dovrane.describe_union(A | interrupting(error))


def test_marker_attributes_are_read_from_the_marker():
    marker = SimpleNamespace(name="Pet", description="Pets", resolve_type=None)
    missing = UnionDefinition("Pet")
    del missing.resolve_type
    with pytest.raises(AttributeError):
        _dovrane.describe_union(Annotated[A | B, missing])
    # Only instances of the host's marker class count.
    assert _dovrane.describe_union(Annotated[A | B, marker]).name == "AB"


def test_normalize_lazy_member():
    reference = LazyReference(__name__)
    assert testing.normalize_lazy_member(A) is A
    assert testing.normalize_lazy_member(Annotated[B, reference]) is B
    annotated = Annotated[B, "doc"]
    assert testing.normalize_lazy_member(annotated) is annotated
    placeholder = testing.normalize_lazy_member(Annotated["C", "doc", reference])
    assert type(placeholder) is LazyType and placeholder.type_name == "C"


def test_describe_union_signature_and_docstring():
    function = _dovrane.describe_union
    assert function.__text_signature__ == "(annotation)"
    lines = function.__doc__.splitlines()
    assert lines[0] == "describe_union(annotation)" and lines[1] == ""
    assert "concatenating the member names" in function.__doc__
    assert [(p.name, p.kind) for p in inspect.signature(function).parameters.values()] == [
        ("annotation", inspect.Parameter.POSITIONAL_OR_KEYWORD)]
    assert function(annotation=A).name == "A"
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'annotation'"):
        function()
    with pytest.raises(TypeError, match=r"unexpected keyword argument 'union'"):
        function(union=A)


def test_union_info_class():
    info = _dovrane.describe_union(Annotated[A | B, PET])
    assert_read_only_class(_dovrane.UnionInfo, info, "name")
    assert _dovrane.UnionInfo.__name__ == "UnionInfo"
    assert _dovrane.UnionInfo.__doc__ is None
    for attribute in ("name", "description", "member_names", "has_custom_resolve_type"):
        assert vars(_dovrane.UnionInfo)[attribute].__doc__ is None
    assert [name for name in vars(_dovrane.UnionInfo) if not name.startswith("__")] == [
        "name", "description", "member_names", "has_custom_resolve_type"]
    # A new list on every read; the definition stays hidden.
    first = info.member_names
    first.append("C")
    assert info.member_names == ["A", "B"] and info.member_names is not info.member_names
    assert not hasattr(info, "definition")
    with pytest.raises(TypeError, match="argument 'info': expected UnionInfo, got int"):
        testing.union_definition(1)
