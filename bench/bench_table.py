"""The request road at every size, as one table; each row is a fresh process.

    python3.11 bench/bench_table.py [--build build/dev] [--quick] [--shapes A,B] [SECTION...]

SECTION is parse, validate, interface, lower or python (all five by default),
or peers, which is never run by default. The build
directory must hold a Release build with -DDOVRANE_BUILD_BENCH=ON (the core
rows run its bench/bench_table) and the module (the Python rows import it,
with the host stand-in of tests/host). The Python rows compare against
graphql-core, installed for Python 3.11; without it they report dovrane
alone. --quick keeps the sizes up to 1 MB and the copies up to 100.

- parse: the dashboard query (bench/data/query.graphql) and synthetic texts of
  16 KB to 16 MB in nine shapes: ordinary (the dashboard's selections repeated
  under aliases), small-fields ({ a a a ... }), deep (chains 60 levels deep),
  block-strings, floats, long-string (one string argument), long-block-string
  (one block string), flat ({ a0 a1 a2 ... }) and nested-64 (chains as deep as
  selection sets may nest). MB/s is the best of five batches; heap is the
  peak of the bytes allocated (with those written into large lists, which
  have memory of their own) during the process's first parse, per input
  byte; rss is the growth of the peak resident size over that parse, per
  input byte; faults are the page faults of one parse once the process is
  warm.
- validate, lower: the dashboard query's selections repeated 1, 10, 100 and
  300 times under aliases, spreading the same fragments (shared) or fragments
  of their own (own), in ns per field written (validation) and per field
  lowered (lowering): into the flat plan that lower_document reads from
  Python, and into the core's LoweredField trees.
- interface: validation of { node { ... on T0 { id } } } against schemas of
  10, 100, 1 000 and 4 000 object types implementing the interface Node, and
  against the 10-type figure; with what the schema's validation index costs
  (build time and heap bytes, beside the schema records' own bytes and the
  shape check's time).
- python: parse_query, lower_document and lower_query against graphql-core's
  parse, validate, and parse plus validate of the same text, as ratios
  (theirs / ours); lower_document per lowered field, without the cyclic
  collector, and the bytes its objects hold per lowered field. Then
  validate_document on the bench schema (bench_schema_types.py, compiled)
  beside the core's validation of the same text and graphql-core's validate.
- peers: gqlparser's validator (bench/peers/gqlparser, a Go program built
  offline against Debian's golang-github-vektah-gqlparser-dev sources) on the
  dashboard query and bench schema, with all of its rules and with only the
  rules that dovrane's validation also checks, beside the core's validation
  of the same text, as ratios (theirs / ours). It needs `go`.

It asserts nothing.
"""
import argparse
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SHAPES = ("ordinary", "small-fields", "deep", "block-strings", "floats", "long-string", "long-block-string", "flat",
          "nested-64")
SIZES = (16 << 10, 64 << 10, 256 << 10, 1 << 20, 4 << 20, 16 << 20)
COPIES = (1, 10, 100, 300)
INTERFACE_TYPES = (10, 100, 1000, 4000)


def size_label(size):
    return f"{size >> 20} MB" if size >= 1 << 20 else f"{size >> 10} KB"


def core_row(build, *arguments):
    """One row of the core program, in a process of its own."""
    program = os.path.join(build, "bench", "bench_table")
    child = subprocess.run([program, *map(str, arguments)], capture_output=True, text=True)
    if child.returncode != 0:
        return {"error": child.stderr.strip()[-120:]}
    return json.loads(child.stdout)


def parse_section(build, sizes, shapes):
    print("Parse                       bytes      MB/s   heap B/B   rss B/B  faults/parse")
    rows = [("dashboard", 0)] + [(shape, size) for shape in shapes for size in sizes]
    for shape, size in rows:
        row = core_row(build, "parse", shape, size)
        label = shape if shape == "dashboard" else f"{shape} {size_label(size)}"
        if "error" in row:
            print(f"  {label:22} failed: {row['error']}")
            continue
        print(f"  {label:22} {row['bytes']:9} {row['mb_per_s']:9.1f} {row['heap_per_byte']:10.2f}"
              f" {row['resident_per_byte']:9.2f} {row['faults']:13}")


def scaled_section(build, kind, copies):
    if kind == "validate":
        print("Validation of the dashboard query     fields        us   ns per document field")
    else:
        print("Lowering of the dashboard query       fields   flat us  ns/field |  tree us  ns/field")
    for fragments in ("shared", "own"):
        for count in copies:
            row = core_row(build, kind, count, fragments)
            label = f"x{count} {fragments} fragments"
            if "error" in row:
                print(f"  {label:32} failed: {row['error']}")
                continue
            if kind == "validate":
                print(f"  {label:32} {row['fields']:7} {row['us']:9.1f} {row['ns_per_field']:9.1f}")
            else:
                print(f"  {label:32} {row['fields']:7} {row['flat_us']:9.1f} {row['flat_ns_per_field']:9.1f} |"
                      f" {row['us']:8.1f} {row['ns_per_field']:9.1f}")


def interface_section(build):
    print("Validation of { node { ... on T0 { id } } }      us  vs 10 types |  index us  index KB  schema KB  shape us")
    first = None
    for types in INTERFACE_TYPES:
        row = core_row(build, "interface", types)
        label = f"{types} types"
        if "error" in row:
            print(f"  {label:40} failed: {row['error']}")
            continue
        first = first or row["us"]
        print(f"  {label:40} {row['us']:6.3f} {row['us'] / first:10.2f}x | {row['index_us']:9.1f}"
              f" {row['index_bytes'] / 1024:9.1f} {row['schema_bytes'] / 1024:10.1f} {row['shape_us']:9.1f}")


def peers_section(build):
    print("Validation of the dashboard query against gqlparser 2.5.1 (Go)")
    peer = os.path.join(HERE, "peers", "gqlparser")
    environment = dict(os.environ, GOFLAGS="-mod=mod", GOPROXY="off")
    try:
        child = subprocess.run(["go", "run", ".", os.path.join(HERE, "data")], cwd=peer, capture_output=True,
                               text=True, env=environment)
    except FileNotFoundError:
        print("  go is not installed: no peer figures")
        return
    if child.returncode != 0:
        print(f"  failed: {child.stderr.strip()[-200:]}")
        return
    ours = core_row(build, "validate", "dashboard")
    if "error" in ours:
        print(f"  failed: {ours['error']}")
        return
    print(f"  dovrane validate_query                  {ours['us']:8.2f} us")
    for line in child.stdout.splitlines()[1:]:
        label, theirs = line.rsplit(None, 2)[0].strip(), float(line.split()[-2])
        ratio = f"   {theirs / ours['us']:6.1f}x" if label.startswith("validate") else ""
        print(f"  gqlparser {label:30} {theirs:8.2f} us{ratio}")


def python_section(build, copies):
    print("From Python (x1 is the dashboard query; copies with fragments of their own)")
    print("  copies  fields | parse_query us  ratio | lower_document us  ratio  ns/field  no-gc ns/field  bytes/field"
          " | lower_query us  ratio")
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(
        [os.path.join(build, "python"), os.path.join(ROOT, "tests", "host"), HERE]))
    for count in copies:
        child = subprocess.run([sys.executable, __file__, "--python-row", build, str(count)],
                               capture_output=True, text=True, env=environment)
        if child.returncode != 0:
            print(f"  x{count:<5} failed: {child.stderr.strip()[-200:]}")
            continue
        row = json.loads(child.stdout)

        def ratio(theirs, ours):
            return f"{theirs / ours:6.1f}x" if theirs else "     -"

        print(f"  x{count:<5} {row['fields']:7} | {row['parse']:14.2f} {ratio(row['graphql_parse'], row['parse'])} |"
              f" {row['lower_document']:17.2f} {ratio(row['graphql_validate'], row['lower_document'])}"
              f" {row['ns_per_field']:9.1f} {row['ns_per_field_no_gc']:15.1f} {row['bytes_per_field']:12.0f} |"
              f" {row['lower_query']:14.2f} {ratio(row['graphql_parse_validate'], row['lower_query'])}")
    print("  validate_document on the bench schema, beside the core's validate_query of the same text")
    print("  copies  fields | validate_document us   core us   difference us | graphql validate us  ratio")
    for count in copies[:2]:
        child = subprocess.run([sys.executable, __file__, "--python-validate-row", build, str(count)],
                               capture_output=True, text=True, env=environment)
        core = core_row(build, "validate", count, "own")
        if child.returncode != 0 or "error" in core:
            print(f"  x{count:<5} failed: {(child.stderr or core.get('error', '')).strip()[-200:]}")
            continue
        row = json.loads(child.stdout)
        theirs = row["graphql_validate"]
        print(f"  x{count:<5} {core['fields']:7} | {row['validate_document']:20.2f} {core['us']:9.2f}"
              f" {row['validate_document'] - core['us']:15.2f} | {theirs:19.2f}"
              f" {(theirs / row['validate_document']) if theirs else 0:5.0f}x")


def dashboard_text(build, count):
    """The dashboard query `count` times, each copy with fragments of its own."""
    program = os.path.join(build, "bench", "bench_table")
    return subprocess.run([program, "text", "dashboard", str(count), "own"], capture_output=True, text=True,
                          check=True).stdout


def graphql_core_on(text):
    """graphql-core, its schema of data/schema.graphql and its parse of `text`; None without graphql-core."""
    try:
        import graphql
    except ImportError:
        return None
    with open(os.path.join(HERE, "data", "schema.graphql"), encoding="utf-8") as source:
        schema = graphql.build_schema(source.read())
    parsed = graphql.parse(text)
    assert not graphql.validate(schema, parsed)
    return graphql, schema, parsed


def python_row(build, count):
    """In the child: one size of the dashboard query, timed from Python."""
    import gc
    import tracemalloc

    import _dovrane
    from bench_python import QUERY_VARIABLES, per_call_us

    text = dashboard_text(build, count)
    variables = QUERY_VARIABLES
    budget = 1.0 if count < 100 else 3.0
    document = _dovrane.parse_query(text)
    _, fields = _dovrane.lower_document(document, variable_values=variables)
    plan = list(fields)
    for field in plan:
        plan.extend(field.selections)
    row = {"fields": len(plan)}
    del fields, plan

    row["parse"] = per_call_us(lambda: _dovrane.parse_query(text), budget)
    row["lower_document"] = per_call_us(lambda: _dovrane.lower_document(document, variable_values=variables), budget)
    row["lower_query"] = per_call_us(lambda: _dovrane.lower_query(text, variable_values=variables), budget)
    row["ns_per_field"] = row["lower_document"] * 1e3 / row["fields"]
    gc.disable()
    row["ns_per_field_no_gc"] = per_call_us(
        lambda: _dovrane.lower_document(document, variable_values=variables), budget) * 1e3 / row["fields"]
    gc.enable()
    tracemalloc.start()
    kept = _dovrane.lower_document(document, variable_values=variables)
    row["bytes_per_field"] = tracemalloc.get_traced_memory()[0] / row["fields"]
    tracemalloc.stop()
    del kept

    row["graphql_parse"] = row["graphql_validate"] = row["graphql_parse_validate"] = 0
    theirs = graphql_core_on(text)
    if theirs is not None:
        graphql, schema, parsed = theirs
        row["graphql_parse"] = per_call_us(lambda: graphql.parse(text), budget)
        row["graphql_validate"] = per_call_us(lambda: graphql.validate(schema, parsed), budget)
        row["graphql_parse_validate"] = row["graphql_parse"] + row["graphql_validate"]
    print(json.dumps(row))


def python_validate_row(build, count):
    """In the child: validate_document of one size of the dashboard query."""
    import _dovrane
    import bench_schema_types
    from bench_python import per_call_us

    text = dashboard_text(build, count)
    schema = bench_schema_types.build()
    document = _dovrane.parse_query(text)
    assert _dovrane.validate_document(document, schema) is None
    row = {"validate_document": per_call_us(lambda: _dovrane.validate_document(document, schema), 1.0),
           "graphql_validate": 0}
    theirs = graphql_core_on(text)
    if theirs is not None:
        graphql, their_schema, parsed = theirs
        row["graphql_validate"] = per_call_us(lambda: graphql.validate(their_schema, parsed), 1.0)
    print(json.dumps(row))


def main():
    parser = argparse.ArgumentParser(description="the request road at every size")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "dev"))
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--shapes", help="the parse shapes to run, comma-separated (all by default)")
    parser.add_argument("sections", nargs="*", default=["parse", "validate", "interface", "lower", "python"])
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    sizes = SIZES[:4] if options.quick else SIZES
    copies = COPIES[:3] if options.quick else COPIES
    for section in options.sections:
        if section == "parse":
            parse_section(build, sizes, options.shapes.split(",") if options.shapes else SHAPES)
        elif section in ("validate", "lower"):
            scaled_section(build, section, copies)
        elif section == "interface":
            interface_section(build)
        elif section == "peers":
            peers_section(build)
        elif section == "python":
            python_section(build, copies)
        else:
            sys.exit(f"unknown section {section}")
        print()


if __name__ == "__main__":
    if sys.argv[1:2] == ["--python-row"]:
        python_row(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1:2] == ["--python-validate-row"]:
        python_validate_row(sys.argv[2], int(sys.argv[3]))
    else:
        main()
