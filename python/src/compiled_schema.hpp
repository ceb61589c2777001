// The `CompiledSchema` handle: the assembled schema record, held by Python and
// handed back to the request entries.
#pragma once

#include <Python.h>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::compiled_schema {

// `CompiledSchema`: owns the record, its persisted-query cache included.
struct PyCompiledSchema {
    dovrane_core::schema::CompiledSchema schema;  // hidden; read-only once wrapped

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

extern binding::Class<PyCompiledSchema> compiled_schema_class;

// A new handle that takes over `schema`, once indexed for validation.
binding::Result<binding::Ref> new_compiled_schema(dovrane_core::schema::CompiledSchema schema);

// compile_schema(*, query_type_name, mutation_type_name=None, subscription_type_name=None, types,
//                unions, directives, schema_directives, scalar_names, scalar_directives=...,
//                scalar_descriptions=..., scalar_specified_by_urls=..., auto_camel_case=True,
//                schema_applied_directives=None)
extern const binding::Function compile_schema_function;

// The record of a handle; the layer's TypeError for any other object.
binding::Result<const dovrane_core::schema::CompiledSchema*> compiled_schema_of(PyObject* object);

}  // namespace _dovrane::compiled_schema
