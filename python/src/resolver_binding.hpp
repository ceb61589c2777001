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

// One argument parameter: its `Argument` configuration (the first in the
// `Annotated` metadata), type, Maybe flag, default literal and directives.
binding::Result<dovrane_core::schema::ArgumentDefinition> classify_argument(PyObject* typing, std::string name,
                                                                            PyObject* annotation, bool has_default,
                                                                            std::optional<std::string> literal);

// `typing.get_type_hints(func, localns=..., include_extras=True)` with the
// owner and the host's lazy names in the local namespace, where `func` is the
// function itself or, for a method, a static or class method, a partial or a
// callable object, the function behind it; a failure is the
// SchemaError "could not resolve parameter annotations for '{}': {}".
binding::Result<binding::Ref> resolve_annotations(PyObject* typing, PyObject* owner, PyObject* func);

}  // namespace _dovrane::resolver_binding
