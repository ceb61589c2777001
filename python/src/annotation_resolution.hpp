// Python annotations as GraphQL type references, above the `typing` helpers
// and the union description that resolution calls.
#pragma once

#include <Python.h>

#include "binding/errors.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::annotation_resolution {

// The annotation as a GraphQL type reference: non-null at every level but
// those of `Maybe[...]` and of a union with `None` and one other member.
// Past `limits::max_annotation_depth` levels it fails with a SchemaError.
// It runs with the interpreter lock held and may run Python code; `typing`
// is the `typing` module object.
binding::Result<dovrane_core::schema::GraphQLType> resolve_graphql_type(PyObject* typing, PyObject* annotation);

}  // namespace _dovrane::annotation_resolution
