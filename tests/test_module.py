"""Import of _dovrane: the registration table, __all__ and the module's traits."""
import os
import subprocess
import sys
import textwrap

import pytest

import _dovrane

# Every name of the module in registration order; issues add their rows to
# the module's table over time, so only the names present are checked for order.
REGISTRATION_ORDER = [
    "process_type", "process_enum", "TypeInfo", "FieldInfo", "ArgumentInfo", "EnumValueInfo",
    "GraphQLTypeInfo", "SchemaError", "GraphQLError", "describe_union", "UnionInfo",
    "describe_schema_directive", "SchemaDirectiveInfo", "DirectiveFieldInfo", "lower_query",
    "LoweredField", "LoweredDirective", "describe_operation_directive", "OperationDirectiveInfo",
    "compile_schema", "CompiledSchema", "validate_query", "resolve_persisted_query", "lower_document",
    "parse_query", "validate_document", "ParsedDocument", "PersistedQueryResult", "render_sdl",
    "parse_query_document", "QueryDocument", "QueryOperation", "QueryFragment", "QuerySelection",
    "QueryVariableDefinition",
]
MODULE_DIR = os.path.dirname(_dovrane.__file__)


def test_all_follows_the_registration_table():
    names = _dovrane.__all__
    assert isinstance(names, list)
    assert len(names) == len(set(names))
    assert [name for name in REGISTRATION_ORDER if name in names] == names
    for name in ("TypeInfo", "FieldInfo", "ArgumentInfo", "EnumValueInfo", "GraphQLTypeInfo", "SchemaError",
                 "GraphQLError"):
        assert name in names
    assert len(REGISTRATION_ORDER) == 35


def test_module_attributes_are_exactly_the_registered_names():
    public = {name for name in vars(_dovrane) if not name.startswith("__")}
    assert public == set(_dovrane.__all__)
    for name in _dovrane.__all__:
        assert getattr(_dovrane, name) is not None


def test_module_traits():
    assert _dovrane.__doc__ == ""
    assert _dovrane.__name__ == "_dovrane"
    assert _dovrane.__file__.endswith(".abi3.so")


def run_python(code):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([MODULE_DIR, os.path.join(os.path.dirname(__file__), "host")]))
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env, capture_output=True, text=True)


def test_import_reads_nothing_from_the_host_package():
    result = run_python("""
        import sys
        import _dovrane
        assert not any(name == "dovrane" or name.startswith("dovrane.") for name in sys.modules), sys.modules
        print("ok")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "ok"
    assert result.stderr == ""


def test_a_second_import_reuses_the_process_wide_types():
    result = run_python("""
        import sys
        import _dovrane
        first = _dovrane
        del sys.modules["_dovrane"]
        import _dovrane
        assert _dovrane is not first
        assert _dovrane.SchemaError is first.SchemaError
        assert _dovrane.GraphQLError is first.GraphQLError
        assert _dovrane.TypeInfo is first.TypeInfo
        assert _dovrane.__all__ == first.__all__
        print("ok")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "ok"


def _subinterpreters():
    for name in ("_interpreters", "_xxsubinterpreters"):
        try:
            return __import__(name)
        except ImportError:
            pass
    return None


def test_a_sub_interpreter_cannot_import_the_module():
    interpreters = _subinterpreters()
    if interpreters is None:
        pytest.skip("this interpreter has no sub-interpreter module")
    result = run_python(f"""
        import _dovrane
        interpreters = __import__({interpreters.__name__!r})
        # A legacy (shared-GIL) sub-interpreter reaches the module's own
        # check; an isolated one is refused by the interpreter already.
        try:
            interpreter = interpreters.create(isolated=False)
        except TypeError:
            try:
                interpreter = interpreters.create("legacy")
            except (TypeError, ValueError):
                interpreter = interpreters.create()
        code = (
            "import sys\\n"
            "sys.path.insert(0, {MODULE_DIR!r})\\n"
            "try:\\n"
            "    import _dovrane\\n"
            "except ImportError as error:\\n"
            "    assert 'sub-interpreters' in str(error) or 'subinterpreters' in str(error), error\\n"
            "else:\\n"
            "    raise AssertionError('imported')\\n"
        )
        failure = interpreters.run_string(interpreter, code)
        assert failure is None, failure
        interpreters.destroy(interpreter)
        print("ok")
    """)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "ok"
