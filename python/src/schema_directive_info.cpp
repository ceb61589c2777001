// Schema directives, declared by the host as dataclasses whose fields are the
// directive's arguments.
//
// Python equivalent:
//
//     def describe_schema_directive(cls: type, *, locations: Sequence[str], name: str | None = None,
//                                   description: str | None = None,
//                                   repeatable: bool = False) -> SchemaDirectiveInfo: ...
//
//     @final
//     class SchemaDirectiveInfo:      # read-only; made only by describe_schema_directive
//         name: str
//         description: str | None
//         locations: list[str]        # a new list on every read
//         fields: list[DirectiveFieldInfo]  # new objects on every read
//         repeatable: bool
//
//     @final
//     class DirectiveFieldInfo:
//         name: str
//         graphql_name: str | None
//         graphql_type: str           # SDL text, "[String!]!"
#include "src/schema_directive_info.hpp"

#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/naming.hpp"
#include "src/annotation_resolution.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/typing_utils.hpp"

namespace _dovrane::schema_directive_info {

namespace {

using binding::Ref;
using dovrane_core::schema::DirectiveFieldDefinition;
using dovrane_core::schema::SchemaDirectiveDefinition;
using dovrane_core::schema::SchemaDirectiveLocation;

binding::Result<Ref> directive_fields(const PySchemaDirectiveInfo& info) {
    std::vector<Ref> fields;
    fields.reserve(info.definition.fields.size());
    for (const DirectiveFieldDefinition& field : info.definition.fields) {
        PyDirectiveFieldInfo record{field.name, field.graphql_name, field.field_type.to_sdl_string()};
        DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_instance(directive_field_info_class, std::move(record)));
        fields.push_back(std::move(object));
    }
    return binding::new_list(fields);
}

PyGetSetDef schema_directive_info_getters[] = {
    binding::getter<&PySchemaDirectiveInfo::name>("name"),
    binding::getter<&PySchemaDirectiveInfo::description>("description"),
    binding::getter<&PySchemaDirectiveInfo::locations>("locations"),
    binding::computed_getter<PySchemaDirectiveInfo, &directive_fields>("fields"),
    binding::getter<&PySchemaDirectiveInfo::repeatable>("repeatable"),
    {},
};

PyGetSetDef directive_field_info_getters[] = {
    binding::getter<&PyDirectiveFieldInfo::name>("name"),
    binding::getter<&PyDirectiveFieldInfo::graphql_name>("graphql_name"),
    binding::getter<&PyDirectiveFieldInfo::graphql_type>("graphql_type"),
    {},
};

// The class's resolved hints, or an empty dict. Unresolvable annotations are
// not an error here: those fields fall back to their raw annotation. Only a
// NameError counts as unresolvable; anything else is a real failure.
binding::Result<Ref> directive_type_hints(PyObject* typing, PyObject* cls, PyObject* class_name) {
    auto hints = typing_utils::class_type_hints(typing, cls, class_name);
    if (!hints.ok() && hints.error().matches(PyExc_NameError)) {
        return binding::new_dict();
    }
    return hints;
}

binding::Result<DirectiveFieldDefinition> describe_field(PyObject* typing, PyObject* field, PyObject* hints) {
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::getattr(field, names::name_name));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view name_text, binding::to_str(name.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref annotation, binding::getattr(field, names::type_name));
    PyObject* hinted = PyDict_GetItemWithError(hints, name.get());  // borrowed
    if (hinted != nullptr) {
        annotation = Ref::borrow(hinted);
    } else if (PyErr_Occurred() != nullptr) {
        return binding::Error::fetch();
    }
    DirectiveFieldDefinition definition;
    definition.name = std::string(name_text);
    DOVRANE_ASSIGN_OR_RETURN(definition.field_type,
                             annotation_resolution::resolve_graphql_type(typing, annotation.get()));
    // Only a str is an explicit name; anything else, or no such attribute, is none.
    DOVRANE_ASSIGN_OR_RETURN(Ref graphql_name, binding::getattr_or_empty(field, names::graphql_name_name));
    if (graphql_name && PyUnicode_Check(graphql_name.get())) {
        DOVRANE_ASSIGN_OR_RETURN(std::string_view text, binding::to_str(graphql_name.get()));
        definition.graphql_name = std::string(text);
    }
    return definition;
}

constexpr binding::Parameter describe_schema_directive_parameters[] = {
    binding::required("cls"),
    binding::keyword_required("locations"),
    binding::keyword_optional("name"),
    binding::keyword_optional("description"),
    binding::keyword_optional("repeatable"),
};

binding::Result<Ref> describe_schema_directive(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, arguments.convert(0, binding::to_type));
    DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> location_names, arguments.convert(1, binding::to_str_list));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> name, arguments.convert(2, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> description,
                             arguments.convert(3, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(bool repeatable, arguments.convert_or(4, binding::to_flag, false));

    // Locations first: a bad one is reported before the class is looked at.
    SchemaDirectiveDefinition definition;
    definition.locations.reserve(location_names.size());
    for (const std::string& location_name : location_names) {
        DOVRANE_ASSIGN_OR_RETURN(SchemaDirectiveLocation location, parse_location(location_name));
        definition.locations.push_back(location);
    }

    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref class_name, binding::getattr(cls, names::dunder_name_name));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view class_name_text, binding::to_str(class_name.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref hints, directive_type_hints(typing.get(), cls, class_name.get()));

    DOVRANE_ASSIGN_OR_RETURN(Ref dataclasses, binding::import_module(names::dataclasses_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref fields_function, binding::getattr(dataclasses.get(), names::fields_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref fields, binding::call(fields_function.get(), {cls}));
    DOVRANE_TRY(binding::for_each_item(fields.get(), [&](PyObject* field) -> binding::Status {
        DOVRANE_ASSIGN_OR_RETURN(DirectiveFieldDefinition described,
                                 describe_field(typing.get(), field, hints.get()));
        definition.fields.push_back(std::move(described));
        return {};
    }));

    definition.name = name ? std::string(*name) : class_name_to_directive_name(class_name_text);
    if (description) {
        definition.description = std::string(*description);
    }
    definition.repeatable = repeatable;

    PySchemaDirectiveInfo info;
    info.name = definition.name;
    info.description = definition.description;
    info.locations.reserve(definition.locations.size());
    for (SchemaDirectiveLocation location : definition.locations) {
        info.locations.emplace_back(dovrane_core::schema::schema_directive_location_name(location));
    }
    info.repeatable = repeatable;
    info.definition = std::move(definition);
    return binding::new_instance(schema_directive_info_class, std::move(info));
}

}  // namespace

binding::Class<PySchemaDirectiveInfo> schema_directive_info_class{"builtins.SchemaDirectiveInfo", nullptr,
                                                                  schema_directive_info_getters};
binding::Class<PyDirectiveFieldInfo> directive_field_info_class{"builtins.DirectiveFieldInfo", nullptr,
                                                                directive_field_info_getters};

constexpr binding::Function describe_schema_directive_function = {
    binding::signature("describe_schema_directive", describe_schema_directive_parameters),
    DOVRANE_SIGNATURE_DOC(
        "describe_schema_directive(cls, *, locations, name=None, description=None, repeatable=False)"),
    describe_schema_directive,
};

binding::Result<const SchemaDirectiveDefinition*> schema_directive_definition_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PySchemaDirectiveInfo * info, binding::to_instance(schema_directive_info_class, object));
    return &info->definition;
}

std::string class_name_to_directive_name(std::string_view class_name) {
    return dovrane_core::naming::lower_case_first_character(class_name);
}

binding::Result<SchemaDirectiveLocation> parse_location(std::string_view name) {
    if (auto location = dovrane_core::schema::parse_schema_directive_location(name)) {
        return *location;
    }
    return error::SchemaError::new_err("unknown schema directive location '" + std::string(name) + "'");
}

}  // namespace _dovrane::schema_directive_info
