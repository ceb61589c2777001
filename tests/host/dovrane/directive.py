"""Operation directive parameter markers."""
from typing import Generic, TypeVar

T = TypeVar("T")


class DirectiveValue(Generic[T]):
    """`DirectiveValue[T]`: the parameter receives the value the directive applies to."""
