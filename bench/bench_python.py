"""The request road from Python: parse_query against graphql-core, and lower_document;
and, at schema build time, describe_union and process_type over a 100-type schema.

Run it with the built module and the host stand-in on the path, under an
interpreter that has graphql-core (installed for Python 3.11):

    PYTHONPATH=build/<dir>/python:tests/host python3.11 bench/bench_python.py

It reports microseconds per call and the ratio to graphql-core's parse; it
asserts nothing. Without graphql-core it reports dovrane's timings alone.
"""
import dataclasses
import os
import sys
import timeit
from types import SimpleNamespace
from typing import Annotated, Optional

import _dovrane

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")

# Typical variables of query.graphql: every declared variable supplied, as a
# JSON request body decodes them.
QUERY_VARIABLES = {
    "viewerPostsFirst": 20,
    "after": "Y3Vyc29yOjQy",
    "filter": {"status": "PUBLISHED", "tags": ["graphql"]},
    "order": [{"field": "createdAt", "direction": "DESC"}],
    "withComments": True,
    "skipFollowers": False,
    "avatarSize": 128,
    "searchText": "graphql",
    "userId": "VXNlcjox",
}


def read(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as source:
        return source.read()


def per_call_us(function, budget_seconds=1.0):
    """The best of five runs, in microseconds per call."""
    timer = timeit.Timer(function)
    number, _ = timer.autorange()
    number = max(1, int(number * budget_seconds / 5 / 0.2))
    return min(timer.repeat(repeat=5, number=number)) / number * 1e6


def main():
    try:
        import graphql
    except ImportError:
        graphql = None
        print("graphql-core is not installed for this interpreter: dovrane timings only")

    print(f"Python {sys.version.split()[0]}")
    for name in ("query.graphql", "schema_types.graphql"):
        text = read(name)
        ours = per_call_us(lambda: _dovrane.parse_query(text))
        line = f"parse_query     {name:24} {ours:9.2f} us"
        if graphql is not None:
            theirs = per_call_us(lambda: graphql.parse(text), budget_seconds=2.0)
            line += f"   graphql.parse {theirs:9.2f} us   ratio {theirs / ours:7.1f}x"
        print(line)

    for name, variables in (("query.graphql", QUERY_VARIABLES), ("schema_types.graphql", {})):
        document = _dovrane.parse_query(read(name))
        ours = per_call_us(lambda: _dovrane.lower_document(document, variable_values=variables))
        print(f"lower_document  {name:24} {ours:9.2f} us")

    from dovrane._union import UnionDefinition

    members = [type(name, (), {"__dovrane_type_info__": SimpleNamespace(kind="type", name=name)})
               for name in ("Article", "Video", "Podcast")]
    bare = members[0] | members[1] | members[2]
    for label, annotation in (("bare union of 3", bare),
                              ("Annotated marker", Annotated[bare, UnionDefinition("SearchResult")])):
        ours = per_call_us(lambda: _dovrane.describe_union(annotation))
        print(f"describe_union  {label:24} {ours:9.2f} us")


    types = schema_types(100)
    ours = per_call_us(lambda: [_dovrane.process_type(cls, kind="type", directives=()) for cls in types])
    print(f"process_type    {'100 types of 10 fields':24} {ours / len(types):9.2f} us per type"
          f"   {ours / 1000:7.2f} ms per schema")


def schema_types(count):
    """`count` dataclasses as the host declares them: ten fields each, three of
    them with resolvers that take arguments, Parent and Info."""
    import dovrane
    from dovrane._resolver import Argument, Info, Parent

    def comments(root: Parent[object], info: Info, first: int = 10, after: Optional[str] = None) -> list[str]:
        return []

    def score(root: Parent[object], weight: Annotated[float, Argument(name="w", description="Weight")] = 1.0) -> float:
        return 0.0

    def related(root: Parent[object], info: Info, kinds: list[str], limit: int = 5,
                include_hidden: bool = False) -> list[str]:
        return []

    types = []
    for index in range(count):
        previous = types[-1] if types else str
        fields = [
            ("id", str),
            ("title", str, dataclasses.field(default="")),
            ("pages", int, dataclasses.field(default=0)),
            ("subtitle", Optional[str], dataclasses.field(default=None)),
            ("tags", list[str], dataclasses.field(default_factory=list)),
            ("rating", float, dataclasses.field(default=0.5)),
            ("parent", Optional[previous], dovrane.field(default=None, description="The type before")),
            ("comments", list[str], dovrane.field(resolver=comments)),
            ("score", float, dovrane.field(resolver=score, deprecation_reason="Use rating")),
            ("related", list[str], dovrane.field(resolver=related, graphql_name="relatedItems")),
        ]
        cls = dataclasses.make_dataclass(f"Type{index}", fields, namespace={"__module__": __name__})
        cls.__dovrane_type_info__ = _dovrane.process_type(cls, kind="type", directives=())
        types.append(cls)
    return types


if __name__ == "__main__":
    main()
