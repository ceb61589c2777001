// Request errors leave the module as the host package's own exception.
#pragma once

#include <Python.h>

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

}  // namespace _dovrane::error
