// Custom operation directives: a Python function described as the core's
// OperationDirectiveDefinition, and the object that shows it.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::operation_directive_info {

struct PyOperationDirectiveInfo {
    std::string name;  // without "@"
    std::optional<std::string> description;
    std::vector<std::string> locations;  // wire names, in the given order
    std::optional<std::string> value_parameter;
    std::optional<std::string> info_parameter;
    std::vector<binding::Ref> arguments;  // ArgumentInfo objects
    dovrane_core::schema::OperationDirectiveDefinition definition;  // hidden; compile_schema takes it back

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, arguments);
    }
};

extern binding::Class<PyOperationDirectiveInfo> operation_directive_info_class;

// describe_operation_directive(func, *, locations, name=None, description=None)
extern const binding::Function describe_operation_directive_function;

// The hidden definition of an OperationDirectiveInfo; the layer's TypeError for any other object.
binding::Result<const dovrane_core::schema::OperationDirectiveDefinition*> operation_directive_definition_of(
    PyObject* object);

}  // namespace _dovrane::operation_directive_info
