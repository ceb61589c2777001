"""Resolver and operation-directive parameter binding."""
import functools
from types import SimpleNamespace
from typing import Annotated, Optional

import pytest

import _dovrane
import _dovrane_testing as testing
from dovrane._maybe import Maybe
from dovrane._resolver import Argument, Depends, Info, Parent
from resolver_decorators import logged


class Book:
    pass


def bind(resolver, cls=Book):
    arguments, parent, info, value, directives = testing.bind_resolver(cls, resolver)
    assert value is None
    return arguments, parent, info, directives


def argument_rows(arguments):
    return [(a.name, a.graphql_name, a.graphql_type, a.has_default, a.default_value, a.is_maybe) for a in arguments]


def directive_class(name, locations, fields=()):
    """A directive class as the host declares one: its descriptor under __dovrane_directive_info__."""
    descriptor = SimpleNamespace(name=name, locations=list(locations),
                                 fields=[SimpleNamespace(name=field, graphql_name=None) for field in fields])

    class Directive:
        __dovrane_directive_info__ = descriptor

        def __init__(self, **values):
            self.__dict__.update(values)

    return Directive


Limit = directive_class("limit", ["ARGUMENT_DEFINITION"], ["max_value"])
FieldOnly = directive_class("auth", ["FIELD_DEFINITION", "OBJECT"])


def test_parameters_are_classified_in_signature_order():
    def resolve(limit: int, root: Parent[Book], info: Info, service: Annotated[str, Depends(object)],
                *tags: str, offset: int = 0):
        pass

    arguments, parent, info, directives = bind(resolve)
    assert (parent, info) == ("root", "info")
    assert argument_rows(arguments) == [
        ("limit", None, "Int!", False, None, False),
        ("tags", None, "String!", False, None, False),
        ("offset", None, "Int!", True, "0", False),
    ]
    assert directives == [[], [], []]


@pytest.mark.parametrize("annotation", [Info, Info[int]])
def test_info_bare_or_subscripted(annotation):
    def resolve(context: annotation):
        pass

    assert bind(resolve)[2] == "context"


@pytest.mark.parametrize("resolve, message", [
    (lambda a: None, "parameter 'a' has no type annotation; annotate it as "
                     "Parent[T], Info, Depends[T], or a concrete argument type"),
    (lambda self: None, "resolver parameter 'self' has no type annotation -- dovrane does not bind an implicit "
                        "parent value by name; annotate it as Parent[T] instead"),
    (lambda root: None, "resolver parameter 'root' has no type annotation -- dovrane does not bind an implicit "
                        "parent value by name; annotate it as Parent[T] instead"),
])
def test_unannotated_parameters(resolve, message):
    with pytest.raises(_dovrane.SchemaError) as caught:
        bind(resolve)
    assert str(caught.value) == message
    assert type(caught.value) is _dovrane.SchemaError


def two_parents(a: Parent[Book], b: Parent[int]):
    pass


def two_infos(a: Info, b: Info[int]):
    pass


@pytest.mark.parametrize("resolve, message", [
    (two_parents, "resolver declares more than one Parent[T] parameter"),
    (two_infos, "declares more than one Info parameter"),
])
def test_duplicate_special_parameters(resolve, message):
    with pytest.raises(_dovrane.SchemaError, match=r"^" + message.replace("[", r"\[").replace("]", r"\]") + "$"):
        bind(resolve)


def test_argument_configuration():
    def resolve(
        first: Annotated[int, Argument(name="firstOne", description="How many", deprecation_reason="old"),
                         Argument(name="ignored")] = 10,
        after: Annotated[Optional[str], Argument(graphql_type=int)] = None,
        flag: Maybe[bool] = True,
        opaque: Annotated[int, Argument(directives=[Limit(max_value=3), "not a directive"])] = object(),
    ):
        pass

    arguments, _, _, directives = bind(resolve)
    assert argument_rows(arguments) == [
        ("first", "firstOne", "Int!", True, "10", False),
        ("after", None, "Int!", True, "null", False),  # the type follows graphql_type
        ("flag", None, "Boolean", True, None, True),  # a Maybe argument never carries a default
        ("opaque", None, "Int!", True, None, False),  # a default without a faithful literal
    ]
    assert (arguments[0].description, arguments[0].deprecation_reason) == ("How many", "old")
    assert directives == [[], [], [], [("limit", [("max_value", "3")])]]


def test_directives_from_a_one_shot_iterable_are_kept():
    configuration = Argument()
    configuration.directives = (directive for directive in [Limit(max_value=1), Limit(max_value=2)])

    def resolve(n: Annotated[int, configuration]):
        pass

    assert bind(resolve)[3] == [[("limit", [("max_value", "1")]), ("limit", [("max_value", "2")])]]


def test_argument_directive_locations_are_checked():
    def resolve(limit: Annotated[int, Argument(directives=[FieldOnly()])]):
        pass

    with pytest.raises(_dovrane.SchemaError) as caught:
        bind(resolve)
    assert str(caught.value) == ("directive '@auth' cannot be applied to 'limit' (ARGUMENT_DEFINITION); "
                                 "declared locations: FIELD_DEFINITION, OBJECT")


def configured(**attributes):
    configuration = Argument()
    configuration.__dict__.update(attributes)
    return configuration


@pytest.mark.parametrize("configuration", [
    configured(description=3),
    configured(name=b"bytes"),
    configured(deprecation_reason=1.5),
    configured(directives=None),  # directives that cannot be iterated
])
def test_bad_configurations_raise_type_error(configuration):
    def resolve(n: Annotated[int, configuration]):
        pass

    with pytest.raises(TypeError):
        bind(resolve)


def test_annotations_resolve_through_the_owner_and_fail_with_the_qualified_name():
    class Local:
        pass

    def resolve(parent: Parent["Local"], other: "Local"):
        pass

    arguments, parent, _, _ = bind(resolve, cls=Local)
    assert parent == "parent"
    assert arguments[0].graphql_type == "Local!"

    def broken(x: "DoesNotExist"):  # noqa: F821
        pass

    with pytest.raises(_dovrane.SchemaError) as caught:
        bind(broken)
    assert str(caught.value) == (
        "could not resolve parameter annotations for "
        "'test_annotations_resolve_through_the_owner_and_fail_with_the_qualified_name.<locals>.broken': "
        "NameError: name 'DoesNotExist' is not defined")


def interrupt():
    raise KeyboardInterrupt


def test_keyboard_interrupt_in_annotations_propagates():
    def resolve(x: "interrupt()"):
        pass

    with pytest.raises(KeyboardInterrupt):
        bind(resolve)


def test_none_defaults_do_not_change_annotations():
    # Python 3.10's get_type_hints made every None default Optional[...].
    def resolve(x: Annotated[int, Argument(name="ex")] = None, info: Info = None, y: int = None,
                *, z: Optional[int] = None, w: str = None):
        pass

    arguments, _, info, _ = bind(resolve)
    assert info == "info"
    assert argument_rows(arguments) == [
        ("x", "ex", "Int!", True, "null", False),
        ("y", None, "Int!", True, "null", False),
        ("z", None, "Int", True, "null", False),
        ("w", None, "String!", True, "null", False),
    ]
    # The hints were read without touching the function's own defaults.
    assert (resolve.__defaults__, resolve.__kwdefaults__) == ((None, None, None), {"z": None, "w": None})


class Shelf:
    """Named only in this module's globals, not in the decorator's."""


class Resolvers:
    def method(self, info: Info = None, limit: int = None):
        pass

    @staticmethod
    def static(info: Info = None, limit: int = None):
        pass

    @classmethod
    def klass(cls, info: Info = None, limit: int = None):
        pass

    def __call__(self, info: Info = None, limit: int = None):
        pass

    @logged
    def decorated_method(self, info: Info = None, limit: int = None):
        pass


def with_a_bound_first(shelf: Shelf, info: Info = None, limit: int = None):
    pass


@logged
def decorated(info: Info = None, limit: int = None):
    pass


@logged
def decorated_naming_this_module(info: Info = None, limit: "Optional[Shelf]" = None):
    pass


@pytest.mark.parametrize("resolve", [
    Resolvers().method,
    Resolvers.static,
    Resolvers.__dict__["static"],  # the staticmethod object itself
    Resolvers.klass,
    Resolvers().klass,
    Resolvers(),  # a callable object
    functools.partial(with_a_bound_first, Shelf()),
    functools.partial(functools.partial(Resolvers().method), limit=2),
    decorated,
    Resolvers().decorated_method,
], ids=["bound method", "static method", "staticmethod object", "class method", "class method of an instance",
        "callable object", "partial", "partial of a partial of a method", "decorated function",
        "decorated method"])
def test_every_kind_of_callable_reads_like_a_plain_function(resolve):
    arguments, parent, info, _ = bind(resolve)
    assert (parent, info) == (None, "info")
    default = "2" if isinstance(resolve, functools.partial) and resolve.keywords else "null"
    assert argument_rows(arguments) == [("limit", None, "Int!", True, default, False)]


def test_a_decorated_resolver_resolves_names_in_its_own_module():
    # The decorator's module has no Shelf: the hints follow __wrapped__ to the
    # resolver's globals.
    arguments, _, info, _ = bind(decorated_naming_this_module)
    assert info == "info"
    assert argument_rows(arguments) == [("limit", None, "Shelf", True, "null", False)]


def test_a_callable_without_a_signature_fails_with_inspects_error():
    with pytest.raises(TypeError, match="is not a callable object"):
        bind(object())
    # A class method object is not callable either, on every interpreter.
    with pytest.raises(TypeError, match="is not a callable object"):
        bind(Resolvers.__dict__["klass"])
