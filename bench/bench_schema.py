"""The request road on a compiled schema, against graphql-core; schema compilation and SDL.

data/schema.graphql is declared as Python classes (bench_schema_types.py) and
compiled; graphql-core builds its own schema from the same SDL. On that pair:
validate_document against graphql-core's validate, the whole road
(parse_query, validate_document, lower_document with typical variables)
against graphql-core's parse + validate, a hash-only persisted-query hit,
compile_schema and render_sdl, and whether the printed SDL, read back by
graphql-core, has the schema's types, fields, arguments, enum values, union
members and interfaces. Run it with the built module and the host stand-in on
the path, under an interpreter that has graphql-core:

    PYTHONPATH=build/<dir>/python:tests/host python3.11 bench/bench_schema.py

It reports microseconds per call (the best of several runs) and asserts nothing.
"""
import hashlib
import os
import sys
import timeit

import _dovrane
import bench_schema_types
from bench_python import QUERY_VARIABLES

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")


def read(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as source:
        return source.read()


def best_us(function, runs=7, run_seconds=0.2):
    """Microseconds per call: the best of `runs` runs of about `run_seconds` each."""
    timer = timeit.Timer(function)
    number, elapsed = timer.autorange()
    number = max(1, int(number * run_seconds / max(elapsed, 1e-9)))
    return min(timer.repeat(repeat=runs, number=number)) / number * 1e6


def row(label, ours, target=None, theirs=None, their_label=""):
    line = f"{label:34} {ours:11.2f} us"
    if target:
        line += f"   target {target}"
    if theirs is not None:
        line += f"   {their_label} {theirs:11.2f} us   {theirs / ours:8.0f}x faster"
    print(line)


def main():
    try:
        import graphql
    except ImportError:
        print("graphql-core is not installed for this interpreter: dovrane timings only")
        graphql = None

    print(f"Python {sys.version.split()[0]}" + (f", graphql-core {graphql.__version__}" if graphql else ""))
    query = read("query.graphql")
    arguments = bench_schema_types.compile_arguments()
    schema = _dovrane.compile_schema(**arguments)
    document = _dovrane.parse_query(query)
    assert _dovrane.validate_document(document, schema) is None  # the valid road, not an early error

    if graphql is not None:
        their_schema = graphql.build_schema(read("schema.graphql"))
        their_document = graphql.parse(query)
        assert graphql.validate(their_schema, their_document) == []

    theirs = best_us(lambda: graphql.validate(their_schema, their_document), runs=5) if graphql else None
    row("validate_document", best_us(lambda: _dovrane.validate_document(document, schema)), "<= 10 us",
        theirs, "graphql.validate")

    def road():
        parsed = _dovrane.parse_query(query)
        _dovrane.validate_document(parsed, schema)
        return _dovrane.lower_document(parsed, variable_values=QUERY_VARIABLES)

    def their_road():
        parsed = graphql.parse(query)
        return graphql.validate(their_schema, parsed)

    theirs = best_us(their_road, runs=5) if graphql else None
    row("parse + validate + lower", best_us(road), ">= 1000x", theirs, "graphql parse+validate")
    # Where the road's time goes.
    row("  parse_query", best_us(lambda: _dovrane.parse_query(query)))
    row("  lower_document", best_us(lambda: _dovrane.lower_document(document, variable_values=QUERY_VARIABLES)))

    digest = hashlib.sha256(query.encode()).hexdigest()
    _dovrane.resolve_persisted_query(digest, schema, query=query)
    assert _dovrane.resolve_persisted_query(digest, schema).cache_hit
    row("resolve_persisted_query (hit)", best_us(lambda: _dovrane.resolve_persisted_query(digest, schema)), "<= 1 us")

    row("compile_schema", best_us(lambda: _dovrane.compile_schema(**arguments)))
    sdl = _dovrane.render_sdl(schema)
    row("render_sdl", best_us(lambda: _dovrane.render_sdl(schema)), theirs=(
        best_us(lambda: graphql.print_schema(their_schema), runs=5) if graphql else None),
        their_label="graphql.print_schema")

    if graphql is not None:
        outline = bench_schema_types.schema_outline
        printed = outline(graphql.build_schema(sdl))
        original = outline(their_schema)
        differing = sorted(name for name in printed.keys() | original.keys() if printed.get(name) != original.get(name))
        print("SDL round trip through graphql-core: " + (
            f"same {len(original) - 2} types, fields, arguments, enum values, union members and interfaces"
            if not differing else "differs in " + ", ".join(differing)))


if __name__ == "__main__":
    main()
