"""examples/bookshop.py, the README's first command, runs and shows each step."""
import os
import pathlib
import subprocess
import sys

import pytest

import _dovrane
import dovrane

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "bookshop.py"
QUERIES = """\
query Two($n: Int!) { a: books(first: $n) { title } }
query Bad { books(size: 3) { title } }
"""


def run_example(*arguments):
    paths = [os.path.dirname(_dovrane.__file__), os.path.dirname(os.path.dirname(dovrane.__file__))]
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(paths))
    return subprocess.run([sys.executable, str(EXAMPLE), *arguments], env=environment, capture_output=True,
                          text=True, timeout=60)


def test_the_default_run_shows_every_step():
    result = run_example()
    assert result.returncode == 0, result.stderr
    for expected in [
        'type Book @cached(maxAge: 60) {',  # the SDL
        "union SearchResult = Book | Author",
        'books(genre: "FICTION", first: 2)',  # the plan, variables substituted
        "genre  [on Book]  [deferred, label 'details']",
        "UNKNOWN_FIELD: field 'titel' does not exist on type 'Book'\n  at line 3, column 5:",
        "hash alone, before registering: PERSISTED_QUERY_NOT_FOUND",
        "hash alone: cache_hit=True",
    ]:
        assert expected in result.stdout


@pytest.mark.parametrize("arguments, code, expected", [
    (["--operation", "Two", "--variables", '{"n": 5}'], 0, "a: books(first: 5)\n    title\n"),
    (["--operation", "Bad"], 1, "UNKNOWN_ARGUMENT: unknown argument 'size' on 'books'\n  at line 2, column 19:"),
    ([], 1, "document contains multiple operations; operation_name is required"),
])
def test_a_query_file_of_ones_own(tmp_path, arguments, code, expected):
    query_file = tmp_path / "mine.graphql"
    query_file.write_text(QUERIES)
    result = run_example(str(query_file), *arguments)
    assert result.returncode == code, result.stderr
    assert expected in result.stdout
