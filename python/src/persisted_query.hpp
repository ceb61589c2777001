// Automatic persisted queries from Python: `resolve_persisted_query` and its
// `PersistedQueryResult`.
#pragma once

#include <Python.h>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/refs.hpp"

namespace _dovrane::persisted_query {

// `PersistedQueryResult`: whether the hash was already cached, and the
// document to execute.
struct PyPersistedQueryResult {
    bool cache_hit = false;
    binding::Ref document;  // ParsedDocument: the same object on every read

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        visit(document);
    }
};

extern binding::Class<PyPersistedQueryResult> persisted_query_result_class;

// resolve_persisted_query(sha256_hash, schema, *, query=None, operation_name=None, validate=True)
extern const binding::Function resolve_persisted_query_function;

}  // namespace _dovrane::persisted_query
