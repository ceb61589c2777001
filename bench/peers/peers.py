"""The parser against gqlparser and graphql-js, each document in a fresh process.

    python3 bench/peers/peers.py [--build build/dev] [--runs 7] [--quick] [--shapes A,B]

For each shape of the issue table (bench/bench_table.cpp makes the texts) at
64 KiB, 1, 4 and 16 MiB: MB/s of ours, of gqlparser 2.5.1 (Go, Debian's
golang-github-vektah-gqlparser-dev) and of graphql-js (Debian's node-graphql),
each the best of --runs processes, every process itself the best of five
batches; and the growth of peak resident memory over each one's first parse,
per input byte. A peer that is not installed is left out. It asserts nothing
and is not part of CI.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SHAPES = ("long-string", "long-block-string", "flat", "nested-64", "ordinary")
SIZES = (64 << 10, 1 << 20, 4 << 20, 16 << 20)
GQLPARSER_SOURCES = "/usr/share/gocode/src/github.com/vektah/gqlparser"
GRAPHQL_JS = "/usr/share/nodejs/graphql"


def size_label(size):
    return f"{size >> 20} MiB" if size >= 1 << 20 else f"{size >> 10} KiB"


def build_gqlparser(directory):
    if shutil.which("go") is None or not os.path.isdir(GQLPARSER_SOURCES):
        return None
    program = os.path.join(directory, "gqlparser_row")
    environment = dict(os.environ, GOFLAGS="-mod=mod", GOPROXY="off")
    built = subprocess.run(["go", "build", "-o", program, "."], cwd=os.path.join(HERE, "gqlparser_parse"),
                           env=environment, capture_output=True, text=True)
    if built.returncode != 0:
        print("gqlparser left out:", built.stderr.strip()[-200:], file=sys.stderr)
        return None
    return [program]


def best_row(command, runs):
    best = None
    for _ in range(runs):
        child = subprocess.run(command, capture_output=True, text=True)
        if child.returncode != 0:
            return {"error": child.stderr.strip()[-120:]}
        row = json.loads(child.stdout)
        if best is None or row["mb_per_s"] > best["mb_per_s"]:
            best = row
    return best


def main():
    parser = argparse.ArgumentParser(description="the parser against its peers")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "dev"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--quick", action="store_true", help="up to 1 MiB")
    parser.add_argument("--shapes", help="comma-separated (all by default)")
    options = parser.parse_args()
    table = os.path.join(os.path.abspath(options.build), "bench", "bench_table")
    shapes = options.shapes.split(",") if options.shapes else SHAPES
    sizes = SIZES[:2] if options.quick else SIZES
    with tempfile.TemporaryDirectory() as directory:
        peers = {}
        gqlparser = build_gqlparser(directory)
        if gqlparser:
            peers["gqlparser"] = gqlparser
        if shutil.which("node") and os.path.isdir(GRAPHQL_JS):
            peers["graphql-js"] = ["node", os.path.join(HERE, "graphql_js.mjs")]
        header = f"{'shape':26} {'ours MB/s':>10} {'rss B/B':>8}"
        for name in peers:
            header += f" | {name + ' MB/s':>16} {'rss B/B':>8} {'ours x':>7}"
        print(header)
        for shape in shapes:
            for size in sizes:
                path = os.path.join(directory, "text.graphql")
                with open(path, "w", encoding="utf-8") as out:
                    subprocess.run([table, "text", shape, str(size)], stdout=out, check=True)
                ours = best_row([table, "parse", shape, str(size)], options.runs)
                line = f"{shape + ' ' + size_label(size):26}"
                if "error" in ours:
                    print(f"{line} failed: {ours['error']}")
                    continue
                line += f" {ours['mb_per_s']:10.1f} {ours['resident_per_byte']:8.2f}"
                for command in peers.values():
                    row = best_row(command + [path], options.runs)
                    if "error" in row:
                        line += f" | {'failed':>16} {'':8} {'':7}"
                        continue
                    line += (f" | {row['mb_per_s']:16.1f} {row['resident_per_byte']:8.2f}"
                             f" {ours['mb_per_s'] / row['mb_per_s']:6.1f}x")
                print(line, flush=True)


if __name__ == "__main__":
    main()
