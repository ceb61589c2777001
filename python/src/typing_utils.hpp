// The `typing` helpers below annotation resolution and union description:
// origins, `Annotated` parts and markers, the names of named types, and the
// lazy namespaces that `typing.get_type_hints` needs to resolve the host
// package's lazy references; with the process-wide caches they read.
//
// Every function runs with the interpreter lock held and may run Python code.
// Where one takes `typing`, the caller passes the `typing` module object.
#pragma once

#include <Python.h>

#include <string>
#include <vector>

#include "binding/errors.hpp"
#include "binding/refs.hpp"

namespace _dovrane::typing_utils {

// `typing.get_origin(annotation)` and `typing.get_args(annotation)`.
binding::Result<binding::Ref> get_origin(PyObject* typing, PyObject* annotation);
binding::Result<binding::Ref> get_args(PyObject* typing, PyObject* annotation);

// `Annotated[base, *metadata]` split in two; any other annotation is its own
// base with no metadata. An `Annotated` without arguments fails with
// SchemaError "Annotated[...] annotation has no underlying type".
struct AnnotatedParts {
    binding::Ref base;
    std::vector<binding::Ref> metadata;
};
binding::Result<AnnotatedParts> unwrap_annotated(PyObject* typing, PyObject* annotation);
// The same for an annotation whose origin is known to be `typing.Annotated`.
binding::Result<AnnotatedParts> annotated_parts(PyObject* typing, PyObject* annotation);

// The first metadata object that is an instance of `cls`; an empty Ref when none is.
binding::Result<binding::Ref> find_marker(const std::vector<binding::Ref>& metadata, PyObject* cls);

// `Maybe[...]`, also inside `Annotated`.
binding::Result<bool> is_maybe_annotation(PyObject* typing, PyObject* annotation);
// The origin is `dovrane._maybe.Maybe` (looked up on every use; None never is).
binding::Result<bool> is_maybe_origin(PyObject* origin);
// The origin is `typing.Union` or `types.UnionType`.
binding::Result<bool> is_union_origin(PyObject* origin);

// The origins that resolution compares against, read once for the process.
struct OriginCache {
    binding::Ref typing_union;  // typing.Union
    binding::Ref union_type;    // types.UnionType, the origin of `X | Y`
    binding::Ref async_generator;
    binding::Ref async_iterator;
    binding::Ref async_iterable;
    binding::Ref streamable;  // dovrane._resolver.Streamable
};
binding::Result<const OriginCache*> origins();

// The GraphQL name of a named type: a lazy placeholder's target or type name,
// a built-in scalar (by identity), a decorated class's type-info name, a
// `__name__`, or else the annotation's `str()`.
binding::Result<std::string> named_type_name(PyObject* annotation);

// `dovrane._lazy.LazyType` (borrowed; the cache holds it for the process).
binding::Result<PyObject*> lazy_type_class();

// Updates `namespace_dict` (a dict) with the host's lazy namespace for a class
// or a function, as `dict.update` does: the namespace's entries win.
binding::Status seed_lazy_namespace_for_class(PyObject* cls, PyObject* namespace_dict);
binding::Status seed_lazy_namespace_for_callable(PyObject* func, PyObject* namespace_dict);

// `typing.get_type_hints(target, localns=namespace_dict, include_extras=True)`,
// the result as returned. A failed lookup of `get_type_hints` is returned like
// a failed call; what an exception means is the caller's to decide.
binding::Result<binding::Ref> get_type_hints(PyObject* typing, PyObject* target, PyObject* namespace_dict);

// The hints of a class, resolved with a local namespace holding `cls` under
// `class_name` and the host's lazy namespace for the class (whose entries
// win). A result that is not a dict counts as an empty one; every exception
// is returned, a NameError (an annotation naming nothing) included.
binding::Result<binding::Ref> class_type_hints(PyObject* typing, PyObject* cls, PyObject* class_name);

}  // namespace _dovrane::typing_utils
