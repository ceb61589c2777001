// What each parameter of a resolver or an operation directive stands for:
// the parent object, the execution info, an injected dependency, the value a
// directive receives, or a GraphQL argument.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::resolver_binding {

// What the message for an unannotated parameter suggests, per caller.
inline constexpr std::string_view resolver_hint = "Parent[T], Info, Depends[T], or a concrete argument type";
inline constexpr std::string_view operation_directive_hint =
    "DirectiveValue[T], Info, Depends[T], or a concrete argument type";

struct ClassifiedParameters {
    std::vector<dovrane_core::schema::ArgumentDefinition> arguments;  // in signature order
    std::optional<std::string> parent_parameter;
    std::optional<std::string> info_parameter;
    std::optional<std::string> value_parameter;
};

// A field resolver of `cls`: the parent marker is `dovrane._resolver.Parent`.
// `value_parameter` is always unset.
binding::Result<ClassifiedParameters> bind_resolver_arguments(PyObject* cls, PyObject* resolver);

// The parameters of `func` in signature order. `owner` (may be null) is added
// to the annotation namespace under its name; a null `parent_marker` or
// `value_marker` disables that kind.
binding::Result<ClassifiedParameters> classify_parameters(PyObject* owner, PyObject* func, PyObject* parent_marker,
                                                          PyObject* value_marker, std::string_view hint);

}  // namespace _dovrane::resolver_binding
