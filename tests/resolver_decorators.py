"""A decorator defined apart from the resolvers it wraps, as a library's would be:
its wrapper's globals are this module's, not the resolver's."""
import functools


def logged(func):
    @functools.wraps(func)
    def wrapper(*args, **kwargs):
        return func(*args, **kwargs)

    return wrapper
