"""Hostile shapes from Python: small texts whose naive lowering (or parse) is huge.

Each row runs in a fresh process: it builds the text, then times
lower_document(parse_query(text), variable_values={}) and reports the peak
resident memory of the process. Run it with the built module and the host
stand-in on the path:

    PYTHONPATH=build/<dir>/python:tests/host python3 bench/bench_hostile.py [ROW...]

It asserts nothing; the answers are checked by core/tests (LoweringAtScale,
Parser.LargeFlatSelectionSet).
"""
import json
import resource
import subprocess
import sys


def aliased_ids(count):
    return " ".join("a%d:id" % i for i in range(count))


def chain(levels, fields, defer):
    """query { viewer { ...F0 } }, F_i spreads F_i+1, the last holds the fields."""
    mark = " @defer" if defer else ""
    lines = ["query { viewer { ...F0 } }"]
    lines += ["fragment F%d on User { ...F%d%s }" % (i, i + 1, mark) for i in range(levels)]
    lines.append("fragment F%d on User { %s }" % (levels, aliased_ids(fields)))
    return "\n".join(lines) + "\n"


def inline(fragments, levels, fields, defer):
    """Each fragment nests `levels` inline fragments around a spread of the next."""
    opener = "... @defer { " if defer else "... { "
    lines = ["query { viewer { ...F0 } }"]
    lines += ["fragment F%d on User { %s...F%d%s }" % (i, opener * levels, i + 1, " }" * levels)
              for i in range(fragments)]
    lines.append("fragment F%d on User { %s }" % (fragments, aliased_ids(fields)))
    return "\n".join(lines) + "\n"


def fragment_directives(spreads, directives):
    """One fragment with many @include directives, spread many times."""
    return ("query { viewer { " + "...F " * spreads + "} }\nfragment F on User "
            + "@include(if: true) " * directives + "{ id }\n")


def flat(fields, stray_brace):
    """One selection set of `fields` fields; optionally one "}" too many at the end."""
    return "{ viewer { " + "id " * fields + ("} } }" if stray_brace else "} }")


ROWS = {
    "chain 250x99000": (chain, (250, 99000, False)),
    "chain 250x20000 @defer": (chain, (250, 20000, True)),
    "chain 250x99000 @defer": (chain, (250, 99000, True)),
    "inline 4x62x99000 @defer": (inline, (4, 62, 99000, True)),
    "inline 4x62x99000 plain": (inline, (4, 62, 99000, False)),
    "directives 10000x10000": (fragment_directives, (10000, 10000)),
    "directives 30000x30000": (fragment_directives, (30000, 30000)),
    "flat 3495253, stray }": (flat, (3495253, True)),
    "flat 3495253": (flat, (3495253, False)),
}


def run_row(name):
    """In the child: build the text, lower it, print one JSON line."""
    import time

    import _dovrane

    make, arguments = ROWS[name]
    text = make(*arguments)
    started = time.perf_counter()
    try:
        _, fields = _dovrane.lower_document(_dovrane.parse_query(text), variable_values={})
        seconds = time.perf_counter() - started
        plan = list(fields)
        for field in plan:
            plan.extend(field.selections)
        deferred = sum(field.is_deferred for field in plan)
        answer = "%d fields, %d deferred" % (len(plan), deferred)
    except Exception as error:  # the GraphQL error is the answer
        seconds = time.perf_counter() - started
        answer = str(error).split("\n")[0][:48]
    peak_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(json.dumps({"bytes": len(text), "seconds": seconds, "peak_kib": peak_kib, "answer": answer}))


def main(names):
    print(f"{'row':26} {'text MB':>8} {'seconds':>8} {'peak MB':>8}  answer")
    for name in names or ROWS:
        child = subprocess.run([sys.executable, __file__, "--row", name], capture_output=True, text=True)
        if child.returncode != 0:
            print(f"{name:26} failed: {child.stderr.strip()[-200:]}")
            continue
        row = json.loads(child.stdout)
        print(f"{name:26} {row['bytes'] / 1e6:8.2f} {row['seconds']:8.3f} {row['peak_kib'] / 1024:8.0f}  {row['answer']}")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--row"]:
        run_row(sys.argv[2])
    else:
        main(sys.argv[1:])
