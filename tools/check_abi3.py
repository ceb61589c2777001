"""Checks a built extension for the abi3 promise: one file for CPython 3.10+.

- the file name ends in ".abi3.so";
- every Python symbol it imports (`Py*`, `_Py*`, from `nm -D --undefined-only`)
  is in tools/stable_abi_310.txt, the 3.10 stable ABI;
- it exports its module's init function and no other symbol: the core and
  the binding layer stay private to the module (no clash with another
  extension that links a library of the same names).

Usage: python3 tools/check_abi3.py path/to/_dovrane.abi3.so
"""
import os
import re
import subprocess
import sys

ALLOWLIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stable_abi_310.txt")
PYTHON_SYMBOL = re.compile(r"_?Py")


def dynamic_symbols(path, which):
    out = subprocess.run(["nm", "-D", which, path], check=True, capture_output=True, text=True).stdout
    symbols = set()
    for line in out.splitlines():
        fields = line.split()
        if fields:
            symbols.add(fields[-1].split("@")[0])
    return symbols


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    path = sys.argv[1]
    problems = []
    name = os.path.basename(path)
    if not name.endswith(".abi3.so"):
        problems.append(f"file name does not end in .abi3.so: {name}")
    if not os.path.isfile(path):
        sys.exit(f"{path}: no such file")

    with open(ALLOWLIST, encoding="utf-8") as f:
        allowed = {line.strip() for line in f if line.strip() and not line.startswith("#")}

    imported = sorted(s for s in dynamic_symbols(path, "--undefined-only") if PYTHON_SYMBOL.match(s))
    for symbol in imported:
        if symbol not in allowed:
            problems.append(f"imports {symbol}, which is not in the CPython 3.10 stable ABI")

    init = "PyInit_" + name.split(".")[0]
    exported = sorted(dynamic_symbols(path, "--defined-only"))
    if init not in exported:
        problems.append(f"does not export {init}")
    others = [symbol for symbol in exported if symbol != init]
    if others:
        shown = ", ".join(others[:10]) + (", ..." if len(others) > 10 else "")
        problems.append(f"exports {len(others)} other symbol(s) besides {init}: {shown}")

    if problems:
        for problem in problems:
            print(f"{path}: {problem}", file=sys.stderr)
        sys.exit(1)
    print(f"{path}: abi3, exports {init} alone, {len(imported)} Python symbols imported, all in the 3.10 stable ABI")


if __name__ == "__main__":
    main()
