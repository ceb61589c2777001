// The request entries that parse and validate: `parse_query`,
// `validate_query` and `validate_document`.
#pragma once

#include <Python.h>

#include "binding/arguments.hpp"

namespace _dovrane::validation {

// parse_query(query)
extern const binding::Function parse_query_function;
// validate_query(query, schema, operation_name=None)
extern const binding::Function validate_query_function;
// validate_document(document, schema, operation_name=None)
extern const binding::Function validate_document_function;

}  // namespace _dovrane::validation
