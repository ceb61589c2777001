"""The request road from Python: parse_query against graphql-core, and lower_document;
and, at schema build time, describe_union.

Run it with the built module and the host stand-in on the path, under an
interpreter that has graphql-core (installed for Python 3.11):

    PYTHONPATH=build/<dir>/python:tests/host python3.11 bench/bench_python.py

It reports microseconds per call and the ratio to graphql-core's parse; it
asserts nothing. Without graphql-core it reports dovrane's timings alone.
"""
import os
import sys
import timeit
from types import SimpleNamespace
from typing import Annotated

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


if __name__ == "__main__":
    main()
