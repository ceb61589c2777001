// _dovrane_testing: the value conversions from Python, probed one by one.
#include <Python.h>

#include <optional>
#include <span>
#include <string>

#include "binding/arguments.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/json.hpp"
#include "src/values.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;

// json_text(value): python_to_json_value as compact JSON text.
constexpr binding::Parameter json_text_parameters[] = {binding::required("value")};
binding::Result<Ref> json_text(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(dovrane_core::json::Value value, values::python_to_json_value(arguments[0]));
    return binding::new_str(dovrane_core::json::to_json_text(value));
}
constexpr binding::Function json_text_function = {
    binding::signature("json_text", json_text_parameters),
    DOVRANE_DOC("json_text(value)", "The value as a JSON value, in compact JSON text."),
    json_text,
};

// default_literal(value): python_default_to_graphql_literal, None for no literal.
constexpr binding::Parameter default_literal_parameters[] = {binding::required("value")};
binding::Result<Ref> default_literal(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string> literal,
                             values::python_default_to_graphql_literal(arguments[0]));
    return literal ? binding::new_str(*literal) : binding::Result<Ref>(binding::none());
}
constexpr binding::Function default_literal_function = {
    binding::signature("default_literal", default_literal_parameters),
    DOVRANE_DOC("default_literal(value)", "The value as GraphQL literal text, or None when it has none."),
    default_literal,
};

const Registration value_probe_registrations[] = {
    {"json_text", &binding::method_def<json_text_function>},
    {"default_literal", &binding::method_def<default_literal_function>},
};

}  // namespace

std::span<const Registration> value_probes() { return value_probe_registrations; }

}  // namespace _dovrane::testing
