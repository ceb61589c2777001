// Python annotations as GraphQL type references, and the lazy namespaces that
// `typing.get_type_hints` needs to resolve the host package's lazy references.
//
// Every function runs with the interpreter lock held and may run Python code.
// Where one takes `typing`, the caller passes the `typing` module object.
#pragma once

#include <Python.h>

#include <cstddef>
#include <string>
#include <vector>

#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::typing_utils {

// The resolved type before its outermost non-null mark: `type` is never
// NonNull at the top; `nullable` says whether it stays so.
struct Resolution {
    dovrane_core::schema::GraphQLType type;
    bool nullable = false;
};

// The annotation as a GraphQL type reference: non-null at every level but
// those of `Maybe[...]` and of a union with `None` and one other member.
binding::Result<dovrane_core::schema::GraphQLType> resolve_graphql_type(PyObject* typing, PyObject* annotation);

// The rules of resolution, first match wins; `depth` is the annotation's level
// (0 for the outermost). Past `limits::max_annotation_depth` levels it fails
// with a SchemaError.
binding::Result<Resolution> resolve_core(PyObject* typing, PyObject* annotation, std::size_t depth = 0);
// A union, or a type carrying the union marker: `annotation` may carry the
// marker, `inner` is the union itself (the same object for a bare union).
binding::Result<Resolution> resolve_union(PyObject* typing, PyObject* annotation, PyObject* inner,
                                          std::size_t depth = 0);

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

// The first metadata object that is an instance of `cls`; an empty Ref when none is.
binding::Result<binding::Ref> find_marker(const std::vector<binding::Ref>& metadata, PyObject* cls);

// `Maybe[...]`, also inside `Annotated`.
binding::Result<bool> is_maybe_annotation(PyObject* typing, PyObject* annotation);
// The origin is `dovrane._maybe.Maybe` (looked up on every use; None never is).
binding::Result<bool> is_maybe_origin(PyObject* origin);
// The origin is `typing.Union` or `types.UnionType`.
binding::Result<bool> is_union_origin(PyObject* origin);

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
