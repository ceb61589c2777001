// _dovrane_testing: what the module's description objects hold out of
// Python's sight (hidden definitions, applied directives, resolver binding,
// the parsed document behind a handle), and the directive and naming helpers
// that have no Python entry of their own.
#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/json.hpp"
#include "dovrane_core/naming.hpp"
#include "dovrane_core/schema.hpp"
#include "src/applied_directives.hpp"
#include "src/parsed_document.hpp"
#include "src/resolver_binding.hpp"
#include "src/schema_directive_info.hpp"
#include "src/type_info.hpp"
#include "src/union_info.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;
namespace schema = dovrane_core::schema;

// document_identity(document): the address of the shared parsed document
// behind a ParsedDocument, to tell whether two handles share one.
constexpr binding::Parameter document_identity_parameters[] = {binding::required("document")};
binding::Result<Ref> document_identity(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const dovrane_core::document::SharedDocument* document,
                             arguments.convert(0, parsed_document::shared_document_of));
    return binding::new_uint(reinterpret_cast<std::uintptr_t>(document->get()));
}
constexpr binding::Function document_identity_function = {
    binding::signature("document_identity", document_identity_parameters),
    DOVRANE_DOC("document_identity(document)", "The address of the parsed document a ParsedDocument shares."),
    document_identity,
};

// definition_summary(info): what the hidden definition holds, as a tuple
// (name, field names, directive count of the first field, interfaces).
constexpr binding::Parameter definition_summary_parameters[] = {binding::required("info")};
binding::Result<Ref> definition_summary(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::TypeDefinition* definition,
                             arguments.convert(0, type_info::type_definition_of));
    std::vector<Ref> names;
    for (const auto& field : definition->fields) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(field.name));
        names.push_back(std::move(name));
    }
    std::vector<Ref> interfaces;
    for (const auto& interface : definition->interfaces) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(interface));
        interfaces.push_back(std::move(name));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    DOVRANE_ASSIGN_OR_RETURN(Ref field_names, binding::new_list(names));
    DOVRANE_ASSIGN_OR_RETURN(Ref directive_count,
                             binding::new_uint(definition->fields.empty() ? 0 : definition->fields[0].directives.size()));
    DOVRANE_ASSIGN_OR_RETURN(Ref interface_names, binding::new_list(interfaces));
    return binding::new_tuple({name.get(), field_names.get(), directive_count.get(), interface_names.get()});
}
constexpr binding::Function definition_summary_function = {
    binding::signature("definition_summary", definition_summary_parameters),
    DOVRANE_DOC("definition_summary(info)", "(name, field names, directives of the first field, interfaces)."),
    definition_summary,
};

// union_definition(info): the hidden definition of a UnionInfo, as a tuple
// (name, description, member names, has_custom_resolve_type).
constexpr binding::Parameter union_definition_parameters[] = {binding::required("info")};
binding::Result<Ref> union_definition(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::UnionDefinition* definition,
                             arguments.convert(0, union_info::union_definition_of));
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    Ref description = binding::none();
    if (definition->description) {
        DOVRANE_ASSIGN_OR_RETURN(description, binding::new_str(*definition->description));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref member_names, binding::new_str_list(definition->member_names));
    Ref flag = binding::boolean(definition->has_custom_resolve_type);
    return binding::new_tuple({name.get(), description.get(), member_names.get(), flag.get()});
}
constexpr binding::Function union_definition_function = {
    binding::signature("union_definition", union_definition_parameters),
    DOVRANE_DOC("union_definition(info)",
                "(name, description, member names, has_custom_resolve_type) of a UnionInfo's definition."),
    union_definition,
};

// probe_instance(info): the TypeInfo instance conversion; returns its name.
constexpr binding::Parameter probe_instance_parameters[] = {binding::required("info")};
binding::Result<Ref> probe_instance(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(type_info::PyTypeInfo * info,
                             arguments.convert(0, [](PyObject* object) {
                                 return binding::to_instance(type_info::type_info_class, object);
                             }));
    return binding::new_str(info->name);
}
constexpr binding::Function probe_instance_function = {
    binding::signature("probe_instance", probe_instance_parameters),
    DOVRANE_DOC("probe_instance(info)", "The name of a TypeInfo."),
    probe_instance,
};

// [(name, [(key, json_text), ...]), ...]
binding::Result<Ref> applied_directive_list(const std::vector<schema::AppliedDirective>& directives) {
    std::vector<Ref> items;
    for (const auto& directive : directives) {
        std::vector<Ref> arguments;
        for (const auto& [key, value] : directive.arguments) {
            DOVRANE_ASSIGN_OR_RETURN(Ref key_text, binding::new_str(key));
            DOVRANE_ASSIGN_OR_RETURN(Ref value_text, binding::new_str(dovrane_core::json::to_json_text(value)));
            DOVRANE_ASSIGN_OR_RETURN(Ref pair, binding::new_tuple({key_text.get(), value_text.get()}));
            arguments.push_back(std::move(pair));
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(directive.name));
        DOVRANE_ASSIGN_OR_RETURN(Ref argument_list, binding::new_list(arguments));
        DOVRANE_ASSIGN_OR_RETURN(Ref item, binding::new_tuple({name.get(), argument_list.get()}));
        items.push_back(std::move(item));
    }
    return binding::new_list(items);
}

// applied_directives(directives)
constexpr binding::Parameter applied_directives_parameters[] = {binding::required("directives")};
binding::Result<Ref> applied_directives(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(auto directives, applied_directives::extract_applied_directives(arguments[0]));
    return applied_directive_list(directives);
}
constexpr binding::Function applied_directives_function = {
    binding::signature("applied_directives", applied_directives_parameters),
    DOVRANE_DOC("applied_directives(directives)",
                "extract_applied_directives as [(name, [(key, json_text), ...]), ...]."),
    applied_directives,
};

constexpr binding::Parameter directive_check_parameters[] = {
    binding::required("directives"),
    binding::required("location"),
    binding::required("target"),
};

// check_directive_locations(directives, location, target)
binding::Result<Ref> check_directive_locations(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view location, arguments.convert(1, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view target, arguments.convert(2, binding::to_str));
    DOVRANE_TRY(applied_directives::validate_directive_locations(arguments[0], location, target));
    return binding::none();
}
constexpr binding::Function check_directive_locations_function = {
    binding::signature("check_directive_locations", directive_check_parameters),
    DOVRANE_DOC("check_directive_locations(directives, location, target)", "validate_directive_locations."),
    check_directive_locations,
};

// checked_directives(directives, location, target)
binding::Result<Ref> checked_directives(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view location, arguments.convert(1, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view target, arguments.convert(2, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(auto directives,
                             applied_directives::checked_applied_directives(arguments[0], location, target));
    return applied_directive_list(directives);
}
constexpr binding::Function checked_directives_function = {
    binding::signature("checked_directives", directive_check_parameters),
    DOVRANE_DOC("checked_directives(directives, location, target)",
                "checked_applied_directives, shaped as applied_directives."),
    checked_directives,
};

// enum_definition(info): what the hidden definition of an enum's TypeInfo holds:
// (name, description, directives, [(name, graphql_name, description,
// deprecation_reason, directives), ...]), directives shaped as applied_directives.
constexpr binding::Parameter enum_definition_parameters[] = {binding::required("info")};
binding::Result<Ref> enum_definition(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::TypeDefinition* definition,
                             arguments.convert(0, type_info::type_definition_of));
    auto optional_text = [](const std::optional<std::string>& text) -> binding::Result<Ref> {
        return text ? binding::new_str(*text) : binding::Result<Ref>(binding::none());
    };
    std::vector<Ref> values;
    for (const auto& value : definition->enum_values) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(value.name));
        DOVRANE_ASSIGN_OR_RETURN(Ref graphql_name, optional_text(value.graphql_name));
        DOVRANE_ASSIGN_OR_RETURN(Ref description, optional_text(value.description));
        DOVRANE_ASSIGN_OR_RETURN(Ref deprecation_reason, optional_text(value.deprecation_reason));
        DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(value.directives));
        DOVRANE_ASSIGN_OR_RETURN(Ref item, binding::new_tuple({name.get(), graphql_name.get(), description.get(),
                                                               deprecation_reason.get(), directives.get()}));
        values.push_back(std::move(item));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    DOVRANE_ASSIGN_OR_RETURN(Ref description, optional_text(definition->description));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(definition->directives));
    DOVRANE_ASSIGN_OR_RETURN(Ref value_list, binding::new_list(values));
    return binding::new_tuple({name.get(), description.get(), directives.get(), value_list.get()});
}
constexpr binding::Function enum_definition_function = {
    binding::signature("enum_definition", enum_definition_parameters),
    DOVRANE_DOC("enum_definition(info)",
                "(name, description, directives, [(name, graphql_name, description, deprecation_reason, "
                "directives), ...])."),
    enum_definition,
};

// type_definition(info): what the hidden definition of a type's TypeInfo holds
// beyond its FieldInfo objects: (name, description, one_of, directives,
// interfaces, [(field name, field directives), ...]), directives shaped as
// applied_directives.
binding::Result<Ref> type_definition(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::TypeDefinition* definition,
                             arguments.convert(0, type_info::type_definition_of));
    std::vector<Ref> fields;
    for (const auto& field : definition->fields) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(field.name));
        DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(field.directives));
        DOVRANE_ASSIGN_OR_RETURN(Ref item, binding::new_tuple({name.get(), directives.get()}));
        fields.push_back(std::move(item));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    DOVRANE_ASSIGN_OR_RETURN(Ref description, definition->description ? binding::new_str(*definition->description)
                                                                      : binding::Result<Ref>(binding::none()));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(definition->directives));
    DOVRANE_ASSIGN_OR_RETURN(Ref interfaces, binding::new_str_list(definition->interfaces));
    DOVRANE_ASSIGN_OR_RETURN(Ref field_list, binding::new_list(fields));
    return binding::new_tuple({name.get(), description.get(), binding::boolean(definition->one_of).get(),
                               directives.get(), interfaces.get(), field_list.get()});
}
constexpr binding::Function type_definition_function = {
    binding::signature("type_definition", enum_definition_parameters),
    DOVRANE_DOC("type_definition(info)",
                "(name, description, one_of, directives, interfaces, [(field name, field directives), ...])."),
    type_definition,
};

// directive_name_from_class_name(text)
constexpr binding::Parameter directive_name_parameters[] = {binding::required("text")};
binding::Result<Ref> directive_name_from_class_name(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view text, arguments.convert(0, binding::to_str));
    return binding::new_str(schema_directive_info::class_name_to_directive_name(text));
}
constexpr binding::Function directive_name_from_class_name_function = {
    binding::signature("directive_name_from_class_name", directive_name_parameters),
    DOVRANE_DOC("directive_name_from_class_name(text)", "class_name_to_directive_name."),
    directive_name_from_class_name,
};

// schema_directive_location(name): parse_location, as the location's wire name
// and its index.
constexpr binding::Parameter schema_directive_location_parameters[] = {binding::required("name")};
binding::Result<Ref> schema_directive_location(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view name, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(schema::SchemaDirectiveLocation location, schema_directive_info::parse_location(name));
    DOVRANE_ASSIGN_OR_RETURN(Ref wire_name, binding::new_str(schema::schema_directive_location_name(location)));
    DOVRANE_ASSIGN_OR_RETURN(Ref index, binding::new_uint(static_cast<std::uint64_t>(location)));
    return binding::new_tuple({wire_name.get(), index.get()});
}
constexpr binding::Function schema_directive_location_function = {
    binding::signature("schema_directive_location", schema_directive_location_parameters),
    DOVRANE_DOC("schema_directive_location(name)", "parse_location, as (wire name, index)."),
    schema_directive_location,
};

// unicode_version(): the Unicode version of the core's case mappings.
binding::Result<Ref> unicode_version(PyObject*, binding::Arguments&) {
    return binding::new_str(dovrane_core::naming::unicode_version());
}
constexpr binding::Function unicode_version_function = {
    binding::signature("unicode_version"),
    DOVRANE_DOC("unicode_version()", "The Unicode version of the core's case mappings."),
    unicode_version,
};

// Resolver binding, shown through the objects the module exposes:
// (ArgumentInfo list, parent, info, value, applied directives per argument as
// [(name, [(key, json text), ...]), ...]).
binding::Result<Ref> classified_summary(resolver_binding::ClassifiedParameters classified) {
    std::vector<Ref> infos;
    std::vector<Ref> directive_lists;
    for (auto& argument : classified.arguments) {
        DOVRANE_ASSIGN_OR_RETURN(Ref directive_list, applied_directive_list(argument.directives));
        directive_lists.push_back(std::move(directive_list));
        DOVRANE_ASSIGN_OR_RETURN(type_info::PyArgumentInfo converted, type_info::convert_argument(std::move(argument)));
        DOVRANE_ASSIGN_OR_RETURN(Ref info, binding::new_instance(type_info::argument_info_class, std::move(converted)));
        infos.push_back(std::move(info));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref arguments, binding::new_list(infos));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, binding::new_list(directive_lists));
    DOVRANE_ASSIGN_OR_RETURN(Ref parent, binding::detail::to_python(classified.parent_parameter));
    DOVRANE_ASSIGN_OR_RETURN(Ref info, binding::detail::to_python(classified.info_parameter));
    DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::detail::to_python(classified.value_parameter));
    return binding::new_tuple({arguments.get(), parent.get(), info.get(), value.get(), directives.get()});
}

// bind_resolver(cls, resolver)
constexpr binding::Parameter bind_resolver_parameters[] = {binding::required("cls"), binding::required("resolver")};
binding::Result<Ref> bind_resolver(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(resolver_binding::ClassifiedParameters classified,
                             resolver_binding::bind_resolver_arguments(arguments[0], arguments[1]));
    return classified_summary(std::move(classified));
}
constexpr binding::Function bind_resolver_function = {
    binding::signature("bind_resolver", bind_resolver_parameters),
    DOVRANE_DOC("bind_resolver(cls, resolver)",
                "(ArgumentInfo list, parent, info, value, directives per argument) of a resolver."),
    bind_resolver,
};

const Registration description_probe_registrations[] = {
    {"document_identity", &binding::method_def<document_identity_function>},
    {"definition_summary", &binding::method_def<definition_summary_function>},
    {"union_definition", &binding::method_def<union_definition_function>},
    {"probe_instance", &binding::method_def<probe_instance_function>},
    {"applied_directives", &binding::method_def<applied_directives_function>},
    {"check_directive_locations", &binding::method_def<check_directive_locations_function>},
    {"checked_directives", &binding::method_def<checked_directives_function>},
    {"enum_definition", &binding::method_def<enum_definition_function>},
    {"type_definition", &binding::method_def<type_definition_function>},
    {"directive_name_from_class_name", &binding::method_def<directive_name_from_class_name_function>},
    {"schema_directive_location", &binding::method_def<schema_directive_location_function>},
    {"unicode_version", &binding::method_def<unicode_version_function>},
    {"bind_resolver", &binding::method_def<bind_resolver_function>},
};

}  // namespace

std::span<const Registration> description_probes() { return description_probe_registrations; }

}  // namespace _dovrane::testing
