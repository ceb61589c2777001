"""Puts the built module and the host stand-in on the path.

The module comes from $DOVRANE_MODULE_DIR, or else from the most recently
built `build/*/python` directory; `tests/host` holds the stand-in for the
host package `dovrane`.
"""
import glob
import os
import sys

_TESTS = os.path.dirname(os.path.abspath(__file__))
_REPO = os.path.dirname(_TESTS)


def _module_dir():
    configured = os.environ.get("DOVRANE_MODULE_DIR")
    if configured:
        return configured
    built = glob.glob(os.path.join(_REPO, "build", "*", "python", "_dovrane.abi3.so"))
    if not built:
        raise RuntimeError("no built _dovrane module: build it or set DOVRANE_MODULE_DIR")
    return os.path.dirname(max(built, key=os.path.getmtime))


for _path in (os.path.join(_TESTS, "host"), _module_dir()):
    if _path not in sys.path:
        sys.path.insert(0, _path)
