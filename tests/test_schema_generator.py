"""Random declarations through the host's decorators, compiled: every schema compile_schema accepts prints SDL
that graphql-core builds and validates, and every schema it refuses is refused for a fault the generator put in,
with that fault's message.

Each seed builds one schema: scalars, schema directives, enums, input types, interfaces (some implementing
others), object types (some implementing interfaces, some with resolvers taking arguments), unions, the root types
and operation directives, with names, nesting, defaults, applied directives, descriptions and deprecations drawn
at random. A few sites in some schemas get a fault instead; the generator notes the message each fault must give,
so a refusal is checked against the faults actually made, and an accepted schema must have none.
"""
import dataclasses
import datetime
import decimal
import enum
import inspect
import random
import typing
import uuid
from typing import Annotated, NewType, Optional

import pytest

import _dovrane
import dovrane
from dovrane._enum import EnumValueDefinition
from dovrane._maybe import Maybe
from dovrane._resolver import Argument
from dovrane._union import UnionDefinition
from dovrane.directive import DirectiveValue
from schema_helpers import enum_type, input_type, interface, object_type, schema_directive

SEEDS = 300
BATCH = 30

DESCRIPTIONS = [
    "A thing", 'Says "hello"', "Caf\u00e9 \u2713", "Two\nlines", "It's", "ends with a quote\"", "back\\slash",
    'holds """ three quotes', "trailing line break\n", "  leading spaces", "later lines\n  indented",
    "\nleading blank line", "tab\there", "crlf\r\nline", " ", "\u00e9t\u00e9",
]

# Built-in and library scalars as annotations, with their input defaults.
SCALARS = [
    (int, lambda r: r.randint(-5, 99)),
    (str, lambda r: r.choice(["x", 'q"uote', "caf\u00e9", "line\nbreak", ""])),
    (float, lambda r: r.choice([0.5, -2.0, 1e-7, 3.0])),
    (bool, lambda r: r.random() < 0.5),
    (dovrane.ID, lambda r: "id-1"),
    (datetime.date, None),
    (datetime.datetime, None),
    (decimal.Decimal, None),
    (uuid.UUID, None),
]

SCHEMA_LOCATIONS = ["SCHEMA", "SCALAR", "OBJECT", "FIELD_DEFINITION", "ARGUMENT_DEFINITION", "INTERFACE", "UNION",
                    "ENUM", "ENUM_VALUE", "INPUT_OBJECT", "INPUT_FIELD_DEFINITION"]
OPERATION_LOCATIONS = ["QUERY", "MUTATION", "SUBSCRIPTION", "FIELD", "FRAGMENT_DEFINITION", "FRAGMENT_SPREAD",
                       "INLINE_FRAGMENT"]

KIND_WORDS = {"type": "object type", "interface": "interface", "input": "input object type", "enum": "enum"}

NO_DEFAULT = object()


@dataclasses.dataclass
class Directive:
    cls: type
    name: str
    locations: list
    repeatable: bool
    fields: list  # (Python name, value maker)


@dataclasses.dataclass
class Output:
    """A type that fields may name: its annotation, GraphQL name and kind."""
    annotation: object
    name: str
    kind: str
    cls: type = None
    default: object = NO_DEFAULT  # an input default that prints (enum members)


class Generator:
    def __init__(self, seed):
        self.r = random.Random(seed)
        self.fault_rate = self.r.choice([0.0, 0.0, 0.02, 0.05])
        self.auto_camel_case = self.chance(0.8)
        self.faults = []  # the message each fault must give
        self.counter = 0
        self.types = []
        self.unions = []
        self.outputs = []  # Output: what an output field may name
        self.inputs = []  # Output: what an argument or input field may name
        self.objects = []
        self.interfaces = []
        self.schema_directives = []
        self.registered_directives = []
        self.scalar_names = []
        self.scalar_descriptions = []
        self.scalar_urls = []
        self.scalar_directives = []
        self.operation_directives = []

    # ---- drawing -----------------------------------------------------------------

    def chance(self, p):
        return self.r.random() < p

    def fault(self):
        return self.chance(self.fault_rate)

    def fresh(self, prefix):
        self.counter += 1
        return f"{prefix}{self.counter}"

    def description(self):
        return self.r.choice(DESCRIPTIONS) if self.chance(0.3) else None

    def field_name(self):
        # snake_case, so that camel-casing matters
        return self.fresh(self.r.choice(["field_", "item_", "the_value_", "x"]))

    def scalar(self, with_default):
        annotation, make_default = self.r.choice(SCALARS)
        default = make_default(self.r) if (with_default and make_default) else NO_DEFAULT
        return annotation, default

    def wrap(self, annotation, default, nullable_ok=True):
        """A list of it, or an optional one, or itself; with a matching default."""
        roll = self.r.random()
        if roll < 0.2:
            return list[annotation], ([default] if default is not NO_DEFAULT else NO_DEFAULT)
        if roll < 0.45 and nullable_ok:
            return Optional[annotation], (None if self.chance(0.5) else default)
        return annotation, default

    def applied(self, location):
        """Directive instances for one site, each allowed at `location`."""
        chosen = []
        for directive in self.schema_directives:
            if location in directive.locations and self.chance(0.25):
                for _ in range(2 if directive.repeatable and self.chance(0.3) else 1):
                    chosen.append(self.instance(directive))
        return chosen

    def instance(self, directive):
        return directive.cls(*(make(self.r) for _, make in directive.fields))

    # ---- declarations --------------------------------------------------------------

    def declare_scalars(self):
        for _ in range(self.r.randint(0, 2)):
            name = self.fresh("Scalar")
            if self.fault():
                name += "$"
                self.faults.append(f"scalar name '{name}' is not a GraphQL name")
            self.scalar_names.append(name)
            annotation = NewType(name, str)
            self.outputs.append(Output(annotation, name, "scalar"))
            self.inputs.append(Output(annotation, name, "scalar"))
            if self.chance(0.5):
                self.scalar_descriptions.append((name, self.description()))
            if self.chance(0.3):
                self.scalar_urls.append((name, f"https://example.com/{name}"))

    def declare_schema_directives(self):
        for _ in range(self.r.randint(0, 3)):
            class_name = self.fresh("Mark")
            name = class_name[0].lower() + class_name[1:]
            locations = self.r.sample(SCHEMA_LOCATIONS, self.r.randint(1, 5))
            if self.fault():
                locations = []
                self.faults.append(f"directive '@{name}' defines no locations, but the GraphQL specification "
                                   "requires one or more")
            fields = []
            annotations = {}
            for _ in range(self.r.randint(0, 2)):
                field = self.field_name()
                annotation, make = self.r.choice([
                    (str, lambda r: r.choice(["a", 'b"c', "\u00e9"])),
                    (int, lambda r: r.randint(0, 9)),
                    (Optional[str], lambda r: r.choice([None, "x"])),
                    (list[int], lambda r: [r.randint(0, 3)]),
                ])
                annotations[field] = annotation
                fields.append((field, make))
            cls = type(class_name, (), {"__annotations__": annotations, "__module__": __name__})
            repeatable = self.chance(0.3)
            cls = schema_directive(locations=locations, repeatable=repeatable, description=self.description())(cls)
            directive = Directive(cls, name, locations, repeatable, fields)
            self.registered_directives.append(cls)
            self.schema_directives.append(directive)

    def declare_enums(self):
        for _ in range(self.r.randint(0, 3)):
            name = self.fresh("Enum")
            members = {}
            for i in range(self.r.randint(1, 4)):
                member = f"VALUE_{i}"
                graphql_name = None
                if self.fault():
                    graphql_name = self.r.choice(["true", "null", "caf\u00e9", "__hidden"])
                    problem = {"true": "cannot name an enum value", "null": "cannot name an enum value",
                               "caf\u00e9": "is not a GraphQL name",
                               "__hidden": "starts with '__', reserved for introspection"}[graphql_name]
                    self.faults.append(f"enum value '{name}.{member}' is named '{graphql_name}', which {problem}")
                deprecation = self.r.choice([None, None, "Gone", ""])
                members[member] = EnumValueDefinition(i, graphql_name=graphql_name, description=self.description(),
                                                      deprecation_reason=deprecation,
                                                      directives=self.applied("ENUM_VALUE"))
            cls = enum.Enum(name, members)
            cls = enum_type(description=self.description(), directives=self.applied("ENUM"))(cls)
            first = next(iter(cls))
            self.types.append(cls)
            entry = Output(cls, name, "enum", cls, first)
            self.outputs.append(entry)
            self.inputs.append(entry)

    def input_field_type(self):
        """An annotation for an argument or input field, with a default that prints (or NO_DEFAULT)."""
        if self.inputs and self.chance(0.4):
            target = self.r.choice(self.inputs)
            annotation, default = target.annotation, target.default
        else:
            annotation, default = self.scalar(with_default=self.chance(0.5))
        if not self.chance(0.6):
            default = NO_DEFAULT
        return self.wrap(annotation, default)

    def declare_inputs(self):
        for _ in range(self.r.randint(0, 3)):
            name = self.fresh("Input")
            one_of = self.chance(0.15)
            annotations, defaults, names = {}, {}, []
            fault_made = False
            for _ in range(self.r.randint(1, 4)):
                field = self.field_name()
                if one_of:
                    annotation, _ = self.scalar(with_default=False)
                    if self.fault() and not fault_made:
                        fault_made = True
                        self.faults.append(f"'{name}.{field}' is non-null, but the fields of one-of input object "
                                           f"type '{name}' must be nullable")
                    else:
                        annotation = Maybe[annotation]
                    default = NO_DEFAULT
                else:
                    annotation, default = self.input_field_type()
                    if isinstance(default, list):
                        default = NO_DEFAULT  # a dataclass takes no list default
                annotations[field] = annotation
                if default is not NO_DEFAULT:
                    defaults[field] = dovrane.field(default=default, description=self.description(),
                                                    directives=self.applied("INPUT_FIELD_DEFINITION"))
                names.append(field)
            if not one_of and self.fault():
                field = self.field_name()
                annotations[field] = name  # itself, non-null, by a string the class resolves
                names.append(field)
                self.faults.append(f"input object type '{name}' holds itself through the non-null fields "
                                   f"'{name}.{field}', so no value of it can be written")
            # Fields with defaults after those without, as dataclasses require.
            ordered = {field: annotations[field] for field in names if field not in defaults}
            ordered.update({field: annotations[field] for field in names if field in defaults})
            cls = type(name, (), {"__annotations__": ordered, "__module__": __name__, **defaults})
            cls = input_type(one_of=one_of, description=self.description(),
                             directives=self.applied("INPUT_OBJECT"))(cls)
            self.types.append(cls)
            self.inputs.append(Output(cls, name, "input", cls))

    def output_field_type(self, own_name):
        pool = [*self.outputs]
        roll = self.r.random()
        if own_name and roll < 0.1:
            return Optional[own_name]  # the type itself, by a string the owner resolves
        if pool and roll < 0.6:
            target = self.r.choice(pool)
            annotation = target.annotation
        else:
            annotation, _ = self.scalar(with_default=False)
        annotation, _ = self.wrap(annotation, NO_DEFAULT)
        return annotation

    def resolver(self, owner, faults=True):
        """A resolver whose keyword-only parameters are GraphQL arguments; `owner` names its field ('T.f') or
        directive ('@d') in messages."""
        parameters, annotations = [], {}
        for _ in range(self.r.randint(0, 3)):
            python_name = self.field_name()
            path = f"'{owner}({python_name})'"
            annotation, default = self.input_field_type()
            configuration = {}
            if self.chance(0.3):
                configuration["description"] = self.description()
            if faults and self.fault() and any(entry.kind == "type" for entry in self.outputs):
                target = self.r.choice([entry for entry in self.outputs if entry.kind == "type"])
                annotation, default = target.annotation, NO_DEFAULT
                self.faults.append(f"{path} has type '{target.name}', which is an object type, not an input type")
            required = default is NO_DEFAULT and not is_optional(annotation)
            if self.chance(0.2) and (not required or (faults and self.fault())):
                configuration["deprecation_reason"] = "Old"
                if required:
                    self.faults.append(f"{path} is required and cannot be deprecated")
            if faults and self.fault():
                configuration["name"] = "has space"
                self.faults.append(f"argument {path} is named 'has space', which is not a GraphQL name")
            directives = self.applied("ARGUMENT_DEFINITION")
            if directives:
                configuration["directives"] = directives
            if configuration:
                annotation = Annotated[annotation, Argument(**configuration)]
            annotations[python_name] = annotation
            parameters.append(inspect.Parameter(python_name, inspect.Parameter.KEYWORD_ONLY, annotation=annotation,
                                                default=inspect.Parameter.empty if default is NO_DEFAULT
                                                else default))

        def resolve(**arguments):
            return None

        resolve.__annotations__ = annotations
        resolve.__signature__ = inspect.Signature(parameters)
        return resolve

    def object_fields(self, name, kind):
        """The annotations and dataclass fields of an object or interface."""
        annotations, values = {}, {}
        fault_made = False
        for _ in range(self.r.randint(1, 4)):
            field = self.field_name()
            # Only object types name themselves: an interface's string annotation would be read again, unresolvable,
            # in the classes that inherit it.
            annotations[field] = self.output_field_type(name if kind == "type" else None)
            configured = {}
            if self.chance(0.3):
                configured["description"] = self.description()
            if self.chance(0.15):
                configured["deprecation_reason"] = self.r.choice(["Use another", ""])
            directives = self.applied("FIELD_DEFINITION")
            if directives:
                configured["directives"] = directives
            if self.chance(0.3):
                # An interface's arguments reach every implementation: no faults there, which would be reported
                # under the implementing types' names too.
                configured["resolver"] = self.resolver(f"{name}.{field}", faults=kind == "type")
            if kind == "type" and not fault_made and self.fault():
                fault_made = True
                self.field_fault(name, field, annotations, values, configured)
            # Every field has a default, so inherited and redeclared fields keep the dataclass order legal.
            if "resolver" in configured:
                values[field] = dovrane.field(**configured)
            else:
                values[field] = dovrane.field(default=None, **configured)
        return annotations, values

    def field_fault(self, owner, field, annotations, values, configured):
        choice = self.r.choice(["name", "ghost", "input", "twin", "directive"])
        if choice == "name":
            configured["graphql_name"] = "bad-name"
            self.faults.append(f"field '{owner}.{field}' is named 'bad-name', which is not a GraphQL name")
        elif choice == "ghost":
            ghost = object_type(type(self.fresh("Ghost"), (), {"__annotations__": {"a": int},
                                                              "__module__": __name__}))
            annotations[field] = ghost
            self.faults.append(f"'{owner}.{field}' has type '{ghost.__name__}', which is not a registered type")
        elif choice == "input" and any(entry.kind == "input" for entry in self.inputs):
            target = self.r.choice([entry for entry in self.inputs if entry.kind == "input"])
            annotations[field] = target.annotation
            self.faults.append(f"'{owner}.{field}' has type '{target.name}', which is an input object type, "
                               "not an output type")
        elif choice == "twin":
            # Another field's Python name prints as this one's explicit name.
            twin = field + ("_twin" if self.auto_camel_case else "Twin")
            printed = camel(twin) if self.auto_camel_case else twin
            configured["graphql_name"] = printed
            annotations[twin] = int
            values[twin] = 0
            self.faults.append(f"fields '{owner}.{field}' and '{owner}.{twin}' are both named '{printed}'")
        else:
            stray = schema_directive(locations=["FIELD_DEFINITION"])(
                type(self.fresh("Stray"), (), {"__module__": __name__}))
            configured["directives"] = [*configured.get("directives", []), stray()]
            name = stray.__name__[0].lower() + stray.__name__[1:]
            self.faults.append(f"directive '@{name}' applied to '{owner}.{field}' is not a registered schema "
                               "directive")

    def declare_interfaces(self):
        for _ in range(self.r.randint(0, 2)):
            name = self.fresh("Node")
            bases = tuple(self.r.sample(self.interfaces, 1)) if self.interfaces and self.chance(0.4) else ()
            annotations, values = self.object_fields(name, "interface")
            cls = type(name, bases, {"__annotations__": annotations, "__module__": __name__, **values})
            cls = interface(description=self.description(), directives=self.applied("INTERFACE"))(cls)
            self.types.append(cls)
            self.interfaces.append(cls)
            self.outputs.append(Output(cls, name, "interface", cls))

    def declare_object(self, name=None):
        name = name or self.fresh("Thing")
        bases = ()
        if self.interfaces and self.chance(0.4):
            bases = (self.r.choice(self.interfaces),)
        mark = len(self.faults)
        annotations, values = self.object_fields(name, "type")
        type_name = name
        directives = self.applied("OBJECT")
        fault = self.fault() and self.r.choice(["redeclare", "nullable", "name", "empty", "hidden", "location"])
        if fault in ("redeclare", "nullable") and bases:
            # The shape check's implementation pass matches Python names and outer nullability: a redeclared
            # type passes it and is refused later, a nullable one is refused there.
            interface_info = bases[0].__dovrane_type_info__
            inherited = interface_info.fields[0]
            declared = inherited.graphql_type
            if fault == "nullable" and declared.endswith("!"):
                annotations[inherited.name] = Optional[dataclasses.fields(bases[0])[0].type]
                self.faults.append(f"'{name}.{inherited.name}' is nullable, but interface '{interface_info.name}' "
                                   "declares it as non-null")
            else:
                mine = uuid.UUID if declared.strip("[]!") == "Int" else int
                annotations[inherited.name] = mine
                self.faults.append(f"'{name}.{inherited.name}' has type '{'Int!' if mine is int else 'UUID!'}', "
                                   f"which does not match type '{declared}' declared by interface "
                                   f"'{interface_info.name}'")
            values[inherited.name] = None
        elif fault == "name":
            type_name = name + " Bad"
            self.faults.append(f"object type name '{type_name}' is not a GraphQL name")
        elif fault in ("empty", "hidden") and not bases:
            del self.faults[mark:]  # the fields go, and their faults with them
            annotations = {f"hidden_{i}": int for i in range(len(annotations))} if fault == "hidden" else {}
            values = {field: dovrane.field(default=0, graphql_name=f"__{field}") for field in annotations}
            ending = ("defines no fields, but" if fault == "empty" else
                      "defines no fields the SDL prints (names starting with '__' are left out), but")
            self.faults.append(f"object type '{name}' {ending} the GraphQL specification requires one or more")
        elif fault == "location":
            elsewhere = [directive for directive in self.schema_directives if "OBJECT" not in directive.locations
                         and directive.locations]
            if elsewhere:
                directive = self.r.choice(elsewhere)
                directives.append(self.instance(directive))
                self.faults.append(f"directive '@{directive.name}' cannot be applied to '{name}' (OBJECT); declared "
                                   f"locations: {', '.join(directive.locations)}")
        cls = type(name, bases, {"__annotations__": annotations, "__module__": __name__, **values})
        cls = object_type(name=type_name if type_name != name else None, description=self.description(),
                          directives=directives)(cls)
        self.types.append(cls)
        self.objects.append(cls)
        self.outputs.append(Output(cls, type_name, "type", cls))
        if len(self.objects) >= 2 and self.chance(0.3):
            self.declare_union()
        return cls

    def declare_union(self):
        name = self.fresh("Either")
        members = self.r.sample(self.objects, self.r.randint(1, min(3, len(self.objects))))
        annotation = members[0]
        for member in members[1:]:
            annotation = annotation | member
        union = Annotated[annotation, UnionDefinition(name, description=self.description())]
        self.unions.append(union)
        self.outputs.append(Output(union, name, "union"))

    def declare_operation_directives(self):
        for _ in range(self.r.randint(0, 2)):
            name = self.fresh("apply")
            locations = self.r.sample(OPERATION_LOCATIONS, self.r.randint(1, 3))
            if self.fault():
                locations = []
                self.faults.append(f"directive '@{name}' defines no locations, but the GraphQL specification "
                                   "requires one or more")
            resolve = self.resolver(f"@{name}")
            parameters = [inspect.Parameter("value", inspect.Parameter.KEYWORD_ONLY,
                                            annotation=DirectiveValue[str]),
                          *resolve.__signature__.parameters.values()]
            resolve.__signature__ = inspect.Signature(parameters)
            resolve.__annotations__ = {"value": DirectiveValue[str], **resolve.__annotations__}
            self.operation_directives.append(_dovrane.describe_operation_directive(
                resolve, locations=locations, name=name, description=self.description()))

    def build(self):
        self.declare_scalars()
        self.declare_schema_directives()
        for name in self.scalar_names:
            directives = self.applied("SCALAR")
            if directives:
                self.scalar_directives.append((name, directives))
        self.declare_enums()
        self.declare_inputs()
        self.declare_interfaces()
        for _ in range(self.r.randint(0, 3)):
            self.declare_object()
        query = self.declare_object("Query")
        mutation = self.declare_object("Mutation") if self.chance(0.3) else None
        self.declare_operation_directives()
        types = [cls for cls in self.types if cls not in (query, mutation)]
        # Types are given in an order of their own: only names order the checks.
        self.r.shuffle(types)
        return dict(
            query_type_name=query.__dovrane_type_info__.name,
            mutation_type_name=mutation.__dovrane_type_info__.name if mutation else None,
            types=[cls.__dovrane_type_info__ for cls in [query, *([mutation] if mutation else []), *types]],
            unions=[_dovrane.describe_union(union) for union in self.unions],
            directives=self.operation_directives,
            schema_directives=[cls.__dovrane_directive_info__ for cls in self.registered_directives],
            scalar_names=self.scalar_names,
            scalar_directives=self.scalar_directives,
            scalar_descriptions=self.scalar_descriptions,
            scalar_specified_by_urls=self.scalar_urls,
            auto_camel_case=self.auto_camel_case,
            schema_applied_directives=self.applied("SCHEMA"),
        )


def is_optional(annotation):
    return typing.get_origin(annotation) is typing.Union and type(None) in typing.get_args(annotation)


def camel(name):
    head, *rest = name.split("_")
    return head + "".join(part[:1].upper() + part[1:] for part in rest)


@pytest.fixture(scope="module")
def graphql():
    return pytest.importorskip("graphql", reason="graphql-core is not installed for this interpreter")


def check_seed(graphql, seed):
    generator = Generator(seed)
    arguments = generator.build()
    try:
        schema = _dovrane.compile_schema(**arguments)
    except _dovrane.SchemaError as refused:
        assert generator.faults, f"seed {seed}: refused without a fault: {refused}"
        assert str(refused) in generator.faults, f"seed {seed}: {refused!s} is none of {generator.faults}"
        return "refused"
    assert not generator.faults, f"seed {seed}: accepted despite {generator.faults}"
    sdl = _dovrane.render_sdl(schema)
    try:
        built = graphql.build_schema(sdl)
    except Exception as error:  # noqa: BLE001 (the report says what graphql-core said)
        pytest.fail(f"seed {seed}: graphql-core cannot build the SDL: {error}\n{sdl}")
    problems = [error.message for error in graphql.validate_schema(built)]
    assert problems == [], f"seed {seed}: {problems}\n{sdl}"
    return "accepted"


@pytest.mark.parametrize("first", range(0, SEEDS, BATCH))
def test_generated_schemas_print_what_graphql_builds_or_are_refused_for_their_fault(graphql, first):
    outcomes = [check_seed(graphql, seed) for seed in range(first, first + BATCH)]
    # Both roads are taken in every batch.
    assert "accepted" in outcomes and "refused" in outcomes
