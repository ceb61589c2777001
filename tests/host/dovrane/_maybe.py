"""`Maybe[T]`: a field or argument that may be left out, unlike one set to None."""
from typing import Generic, TypeVar

T = TypeVar("T")


class Maybe(Generic[T]):
    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value
