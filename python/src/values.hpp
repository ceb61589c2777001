// Python values as JSON values and as GraphQL literals.
#pragma once

#include <Python.h>

#include <optional>
#include <string>

#include "binding/errors.hpp"
#include "dovrane_core/json.hpp"
#include "dovrane_core/lowering.hpp"

namespace _dovrane::values {

// None, bool, 64-bit ints, other numbers (NaN and infinities become null),
// str, list and dict (keys must be str); anything else is a ValueError
// "value of type '{}' is not JSON-serializable". Nested lists and dicts are
// walked recursively, at most `limits::max_value_depth` levels.
binding::Result<dovrane_core::json::Value> python_to_json_value(PyObject* value);

// The GraphQL literal text of a default value: an enum member of a decorated
// enum by its GraphQL name, null, true/false, numbers, JSON-quoted strings,
// lists and dicts (keys written raw). No literal (an absent string) when the
// value has no faithful one, such as a tuple or a dataclass instance.
binding::Result<std::optional<std::string>> python_default_to_graphql_literal(PyObject* value);

// The JSON view of a request's `variable_values`, which directive evaluation
// reads: entries without a JSON form are left out.
binding::Result<dovrane_core::lowering::VariableMap> variable_map(PyObject* variable_values);

}  // namespace _dovrane::values
