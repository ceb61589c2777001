"""`Annotated[T, PrivateMarker()]`: a dataclass field kept out of the schema."""


class PrivateMarker:
    pass
