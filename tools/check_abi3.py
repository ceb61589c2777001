"""Checks the built extension: an abi3 file name (symbol checks come with the binding layer)."""
import sys

path = sys.argv[1]
if not path.endswith(".abi3.so"):
    sys.exit(f"{path}: not an abi3 module")
