// The module's errors: a request's leave it as the host package's own
// exception, a schema build's as `_dovrane.SchemaError`.
#pragma once

#include <Python.h>

#include <string>

#include "binding/cells.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/error.hpp"

namespace _dovrane::error {

// `_dovrane.GraphQLError`, the base of the host's GraphQLError; created once
// per process. The module registers it but never raises it.
binding::Result<binding::Ref> graphql_error_type();
// Its cell. The test-only module fills its own copy with `_dovrane`'s type,
// so that both modules raise one class.
extern binding::OnceCell<binding::Ref> graphql_error_type_cell;

// Turns a core error into the exception to raise: an instance of
// `dovrane._error.GraphQLError`, called with the message, `code` (the member of
// `dovrane._error.ErrorCode` named by the code's wire name) and, when the
// error has any, `locations` as (line, column) tuples. When any of that
// fails, the failure is what Python sees. The core error is consumed.
binding::Error raise(dovrane_core::error::BoxedError error);

// `_dovrane.SchemaError`: schema build-time errors.
struct SchemaError {
    // A pending SchemaError: nothing touches Python until it is raised, when
    // the type is taken from its cell and called with the message.
    static binding::Error new_err(std::string message);
    static binding::Error new_err(const char* message) { return new_err(std::string(message)); }
};

// The SchemaError type, created once per process.
binding::Result<binding::Ref> schema_error_type();
// Its cell (see `graphql_error_type_cell`).
extern binding::OnceCell<binding::Ref> schema_error_type_cell;

}  // namespace _dovrane::error
