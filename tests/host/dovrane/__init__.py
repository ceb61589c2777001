"""A stand-in for the host package `dovrane`, for the tests of `_dovrane`.

It is the smallest package that honours what `_dovrane` imports from the
host, reads on its objects and calls; the real package is not part of this
repository.
"""
from typing import NewType

from dovrane._field import field

# The scalar ID, matched by identity.
ID = NewType("ID", str)

__all__ = ["ID", "field"]
