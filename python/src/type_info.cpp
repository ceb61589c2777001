#include "type_info.hpp"

#include <utility>

#include "cells.hpp"
#include "objects.hpp"

namespace _dovrane::type_info {

namespace {

using binding::Ref;
using dovrane_core::schema::GraphQLType;

constexpr const char default_value_doc[] =
    "The default as a GraphQL literal, reported as introspection's default value;\n"
    "None without a default or without a faithful literal.";
constexpr const char is_maybe_doc[] = "Declared as Maybe, so the executor wraps a supplied value.";
constexpr const char enum_values_doc[] =
    "The enum's members, empty for every other kind. The executor maps a resolved\n"
    "member to its GraphQL name with them, and an incoming value back.";
constexpr const char graphql_type_doc[] =
    "A structured mirror of a type reference, recursive through `of_type` the way\n"
    "the list and non-null wrappers nest.\n"
    "\n"
    "It sits beside the flat `graphql_type` text because the executor walks the\n"
    "wrappers for null propagation, which the text cannot drive without being\n"
    "parsed again.";

PyGetSetDef type_info_getters[] = {
    binding::getter<&PyTypeInfo::kind>("kind"),
    binding::getter<&PyTypeInfo::name>("name"),
    binding::getter<&PyTypeInfo::description>("description"),
    binding::getter<&PyTypeInfo::one_of>("one_of"),
    binding::getter<&PyTypeInfo::fields>("fields"),
    binding::getter<&PyTypeInfo::enum_values>("enum_values", enum_values_doc),
    {},
};

PyGetSetDef field_info_getters[] = {
    binding::getter<&PyFieldInfo::name>("name"),
    binding::getter<&PyFieldInfo::graphql_name>("graphql_name"),
    binding::getter<&PyFieldInfo::graphql_type>("graphql_type"),
    binding::getter<&PyFieldInfo::type_info>("type_info"),
    binding::getter<&PyFieldInfo::description>("description"),
    binding::getter<&PyFieldInfo::deprecation_reason>("deprecation_reason"),
    binding::getter<&PyFieldInfo::default_value>("default_value", default_value_doc),
    binding::getter<&PyFieldInfo::is_maybe>("is_maybe", is_maybe_doc),
    binding::getter<&PyFieldInfo::is_nullable>("is_nullable"),
    binding::getter<&PyFieldInfo::has_resolver>("has_resolver"),
    binding::getter<&PyFieldInfo::parent_parameter>("parent_parameter"),
    binding::getter<&PyFieldInfo::info_parameter>("info_parameter"),
    binding::getter<&PyFieldInfo::arguments>("arguments"),
    {},
};

PyGetSetDef argument_info_getters[] = {
    binding::getter<&PyArgumentInfo::name>("name"),
    binding::getter<&PyArgumentInfo::graphql_name>("graphql_name"),
    binding::getter<&PyArgumentInfo::graphql_type>("graphql_type"),
    binding::getter<&PyArgumentInfo::type_info>("type_info"),
    binding::getter<&PyArgumentInfo::is_nullable>("is_nullable"),
    binding::getter<&PyArgumentInfo::has_default>("has_default"),
    binding::getter<&PyArgumentInfo::default_value>("default_value", default_value_doc),
    binding::getter<&PyArgumentInfo::description>("description"),
    binding::getter<&PyArgumentInfo::deprecation_reason>("deprecation_reason"),
    binding::getter<&PyArgumentInfo::is_maybe>("is_maybe", is_maybe_doc),
    {},
};

PyGetSetDef enum_value_info_getters[] = {
    binding::getter<&PyEnumValueInfo::name>("name"),
    binding::getter<&PyEnumValueInfo::graphql_name>("graphql_name"),
    binding::getter<&PyEnumValueInfo::description>("description"),
    binding::getter<&PyEnumValueInfo::deprecation_reason>("deprecation_reason"),
    {},
};

PyGetSetDef graphql_type_getters[] = {
    binding::getter<&PyGraphQLType::kind>("kind"),
    binding::getter<&PyGraphQLType::name>("name"),
    binding::getter<&PyGraphQLType::of_type>("of_type"),
    {},
};

PyObject* schema_error_source() {
    return binding::object_from_cell(schema_error_type_cell, [] {
        return binding::new_exception_type("_dovrane.SchemaError", "Raised for dovrane schema build-time errors.",
                                           PyExc_Exception);
    });
}

binding::Result<Ref> new_graphql_type_object(const GraphQLType& type) {
    DOVRANE_ASSIGN_OR_RETURN(PyGraphQLType record, convert_graphql_type(type));
    return binding::new_instance(graphql_type_class, std::move(record));
}

}  // namespace

binding::OnceCell<Ref> schema_error_type_cell;

binding::Class<PyTypeInfo> type_info_class{"builtins.TypeInfo", nullptr, type_info_getters};
binding::Class<PyFieldInfo> field_info_class{"builtins.FieldInfo", nullptr, field_info_getters};
binding::Class<PyArgumentInfo> argument_info_class{"builtins.ArgumentInfo", nullptr, argument_info_getters};
binding::Class<PyEnumValueInfo> enum_value_info_class{"builtins.EnumValueInfo", nullptr, enum_value_info_getters};
binding::Class<PyGraphQLType> graphql_type_class{"builtins.GraphQLTypeInfo", graphql_type_doc, graphql_type_getters};

binding::Result<PyGraphQLType> convert_graphql_type(const GraphQLType& type) {
    // Built from the innermost level outwards, without recursion: wrapper
    // chains are as deep as the annotation that made them.
    std::vector<const GraphQLType*> levels;
    for (const GraphQLType* level = &type; level != nullptr; level = level->inner.get()) {
        levels.push_back(level);
        if (level->kind == GraphQLType::Kind::Named) {
            break;
        }
    }
    Ref inner;
    for (std::size_t i = levels.size(); i-- > 0;) {
        const GraphQLType& level = *levels[i];
        PyGraphQLType record;
        switch (level.kind) {
            case GraphQLType::Kind::Named:
                record.kind = "NAMED";
                record.name = level.name;
                break;
            case GraphQLType::Kind::List:
                record.kind = "LIST";
                record.of_type = std::move(inner);
                break;
            case GraphQLType::Kind::NonNull:
                record.kind = "NON_NULL";
                record.of_type = std::move(inner);
                break;
        }
        if (i == 0) {
            return record;
        }
        DOVRANE_ASSIGN_OR_RETURN(inner, binding::new_instance(graphql_type_class, std::move(record)));
    }
    return binding::panic("empty type reference");
}

binding::Result<PyArgumentInfo> convert_argument(dovrane_core::schema::ArgumentDefinition argument) {
    PyArgumentInfo info;
    info.graphql_type = argument.arg_type.to_sdl_string();
    DOVRANE_ASSIGN_OR_RETURN(info.type_info, new_graphql_type_object(argument.arg_type));
    info.is_nullable = !argument.arg_type.is_non_null();
    info.name = std::move(argument.name);
    info.graphql_name = std::move(argument.graphql_name);
    info.has_default = argument.has_default;
    info.default_value = std::move(argument.default_value);
    info.description = std::move(argument.description);
    info.deprecation_reason = std::move(argument.deprecation_reason);
    info.is_maybe = argument.is_maybe;
    return info;
}

binding::Result<PyFieldInfo> convert_field(dovrane_core::schema::FieldDefinition field) {
    PyFieldInfo info;
    info.arguments.reserve(field.arguments.size());
    for (auto& argument : field.arguments) {
        DOVRANE_ASSIGN_OR_RETURN(PyArgumentInfo converted, convert_argument(std::move(argument)));
        DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_instance(argument_info_class, std::move(converted)));
        info.arguments.push_back(std::move(object));
    }
    info.graphql_type = field.field_type.to_sdl_string();
    DOVRANE_ASSIGN_OR_RETURN(info.type_info, new_graphql_type_object(field.field_type));
    info.is_nullable = !field.field_type.is_non_null();
    info.name = std::move(field.name);
    info.graphql_name = std::move(field.graphql_name);
    info.description = std::move(field.description);
    info.deprecation_reason = std::move(field.deprecation_reason);
    info.default_value = std::move(field.default_value);
    info.is_maybe = field.is_maybe;
    info.has_resolver = field.has_resolver;
    info.parent_parameter = std::move(field.parent_parameter);
    info.info_parameter = std::move(field.info_parameter);
    return info;
}

binding::Result<PyEnumValueInfo> convert_enum_value(const dovrane_core::schema::EnumValueDefinition& value) {
    return PyEnumValueInfo{value.name, value.graphql_name, value.description, value.deprecation_reason};
}

binding::Result<Ref> new_type_info(dovrane_core::schema::TypeDefinition definition) {
    PyTypeInfo info;
    info.kind = dovrane_core::schema::type_kind_keyword(definition.kind);
    info.name = definition.name;
    info.description = definition.description;
    if (definition.kind == dovrane_core::schema::TypeKind::Enum) {
        info.enum_values.reserve(definition.enum_values.size());
        for (const auto& value : definition.enum_values) {
            DOVRANE_ASSIGN_OR_RETURN(PyEnumValueInfo converted, convert_enum_value(value));
            DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_instance(enum_value_info_class, std::move(converted)));
            info.enum_values.push_back(std::move(object));
        }
    } else {
        info.one_of = definition.one_of;
        info.fields.reserve(definition.fields.size());
        for (const auto& field : definition.fields) {
            DOVRANE_ASSIGN_OR_RETURN(PyFieldInfo converted, convert_field(field));  // a copy: the definition keeps its own
            DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_instance(field_info_class, std::move(converted)));
            info.fields.push_back(std::move(object));
        }
    }
    info.definition = std::move(definition);
    return binding::new_instance(type_info_class, std::move(info));
}

binding::Result<const dovrane_core::schema::TypeDefinition*> type_definition_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PyTypeInfo * info, binding::to_instance(type_info_class, object));
    return &info->definition;
}

binding::Error SchemaError::new_err(std::string message) {
    return binding::Error::lazy(&schema_error_source, std::move(message));
}

binding::Result<Ref> schema_error_type() {
    PyObject* type = schema_error_source();
    if (type == nullptr) {
        return binding::Error::fetch();
    }
    return Ref::borrow(type);
}

}  // namespace _dovrane::type_info
