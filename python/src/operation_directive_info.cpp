// Custom operation directives, declared by the host as plain functions.
//
// Python equivalent:
//
//     def describe_operation_directive(func, *, locations: Sequence[str], name: str | None = None,
//                                      description: str | None = None) -> OperationDirectiveInfo: ...
//
//     @final
//     class OperationDirectiveInfo:   # read-only; made only by describe_operation_directive
//         name: str
//         description: str | None
//         locations: list[str]        # "FIELD", ...; a new list on every read
//         value_parameter: str | None
//         info_parameter: str | None
//         arguments: list[ArgumentInfo]
#include "src/operation_directive_info.hpp"

#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/naming.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/resolver_binding.hpp"
#include "src/type_info.hpp"

namespace _dovrane::operation_directive_info {

namespace {

using binding::Ref;
using dovrane_core::schema::OperationDirectiveDefinition;
using dovrane_core::schema::OperationDirectiveLocation;

// One of the 7 wire names, "QUERY" to "INLINE_FRAGMENT", matched exactly;
// anything else is SchemaError "unknown operation directive location '{}'".
binding::Result<OperationDirectiveLocation> parse_location(std::string_view name) {
    if (auto location = dovrane_core::schema::parse_operation_directive_location(name)) {
        return *location;
    }
    return error::SchemaError::new_err("unknown operation directive location '" + std::string(name) + "'");
}

PyGetSetDef operation_directive_info_getters[] = {
    binding::getter<&PyOperationDirectiveInfo::name>("name"),
    binding::getter<&PyOperationDirectiveInfo::description>("description"),
    binding::getter<&PyOperationDirectiveInfo::locations>("locations"),
    binding::getter<&PyOperationDirectiveInfo::value_parameter>("value_parameter"),
    binding::getter<&PyOperationDirectiveInfo::info_parameter>("info_parameter"),
    binding::getter<&PyOperationDirectiveInfo::arguments>("arguments"),
    {},
};

constexpr binding::Parameter describe_operation_directive_parameters[] = {
    binding::required("func"),
    binding::keyword_required("locations"),
    binding::keyword_optional("name"),
    binding::keyword_optional("description"),
};

binding::Result<Ref> describe_operation_directive(PyObject*, binding::Arguments& arguments) {
    PyObject* func = arguments[0];
    DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> location_names, arguments.convert(1, binding::to_str_list));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> name, arguments.convert(2, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> description,
                             arguments.convert(3, binding::to_optional_str));

    // Locations first: a bad one is reported before the function is looked at.
    OperationDirectiveDefinition definition;
    definition.locations.reserve(location_names.size());
    for (const std::string& location_name : location_names) {
        DOVRANE_ASSIGN_OR_RETURN(OperationDirectiveLocation location, parse_location(location_name));
        definition.locations.push_back(location);
    }

    DOVRANE_ASSIGN_OR_RETURN(Ref directive_module, binding::import_module(names::dovrane_directive_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref value_marker, binding::getattr(directive_module.get(), names::directive_value_name));
    // No owning class: only the host's lazy names join the annotation namespace.
    DOVRANE_ASSIGN_OR_RETURN(resolver_binding::ClassifiedParameters classified,
                             resolver_binding::classify_parameters(nullptr, func, nullptr, value_marker.get(),
                                                                   resolver_binding::operation_directive_hint));

    if (name) {
        definition.name = std::string(*name);
    } else {
        // Camel-cased whatever the schema's auto_camel_case will say.
        DOVRANE_ASSIGN_OR_RETURN(Ref function_name, binding::getattr(func, names::dunder_name_name));
        DOVRANE_ASSIGN_OR_RETURN(std::string_view function_name_text, binding::to_str(function_name.get()));
        definition.name = dovrane_core::naming::to_camel_case(function_name_text);
    }
    if (description) {
        definition.description = std::string(*description);
    }
    definition.value_parameter = std::move(classified.value_parameter);
    definition.info_parameter = std::move(classified.info_parameter);
    definition.arguments = std::move(classified.arguments);

    PyOperationDirectiveInfo info;
    info.arguments.reserve(definition.arguments.size());
    for (const auto& argument : definition.arguments) {
        DOVRANE_ASSIGN_OR_RETURN(type_info::PyArgumentInfo converted, type_info::convert_argument(argument));
        DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_instance(type_info::argument_info_class, std::move(converted)));
        info.arguments.push_back(std::move(object));
    }
    info.name = definition.name;
    info.description = definition.description;
    info.locations.reserve(definition.locations.size());
    for (OperationDirectiveLocation location : definition.locations) {
        info.locations.emplace_back(dovrane_core::schema::operation_directive_location_name(location));
    }
    info.value_parameter = definition.value_parameter;
    info.info_parameter = definition.info_parameter;
    info.definition = std::move(definition);
    return binding::new_instance(operation_directive_info_class, std::move(info));
}

}  // namespace

binding::Class<PyOperationDirectiveInfo> operation_directive_info_class{"builtins.OperationDirectiveInfo", nullptr,
                                                                        operation_directive_info_getters};

constexpr binding::Function describe_operation_directive_function = {
    binding::signature("describe_operation_directive", describe_operation_directive_parameters),
    DOVRANE_DOC("describe_operation_directive(func, *, locations, name=None, description=None)",
                "Describe a custom operation directive declared as a plain function.\n"
                "\n"
                "Its parameters are classified as resolver parameters are: the DirectiveValue[T]\n"
                "parameter receives the field's already-resolved value, the Info parameter the\n"
                "execution context, Depends[T] parameters are injected and left out of the\n"
                "arguments, and every other parameter becomes one of the directive's own\n"
                "arguments at its use in a query. Unlike a resolver, a directive has no\n"
                "enclosing class to add to the annotation namespace."),
    describe_operation_directive,
};

binding::Result<const OperationDirectiveDefinition*> operation_directive_definition_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PyOperationDirectiveInfo * info,
                             binding::to_instance(operation_directive_info_class, object));
    return &info->definition;
}

}  // namespace _dovrane::operation_directive_info
