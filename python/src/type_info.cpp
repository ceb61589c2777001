// The description objects, type and enum processing, and applied directives.
//
// Python equivalent:
//
//     def process_type(cls: type, *, kind: str, name: str | None = None, description: str | None = None,
//                      directives: Iterable[object], one_of: bool = False,
//                      allow_unresolved_annotations: bool = False) -> TypeInfo: ...
//     def process_enum(cls: type, *, name: str | None = None, description: str | None = None,
//                      directives: Iterable[object]) -> TypeInfo: ...
//
//     @final
//     class TypeInfo:         # read-only; built only by this module
//         kind: str; name: str; description: str | None; one_of: bool
//         fields: list[FieldInfo]; enum_values: list[EnumValueInfo]
//     @final
//     class FieldInfo: ...    # name, graphql_name, graphql_type, type_info, description,
//                             # deprecation_reason, default_value, is_maybe, is_nullable,
//                             # has_resolver, parent_parameter, info_parameter, arguments
//     @final
//     class ArgumentInfo: ... # name, graphql_name, graphql_type, type_info, is_nullable,
//                             # has_default, default_value, description, deprecation_reason, is_maybe
//     @final
//     class EnumValueInfo: ...    # name, graphql_name, description, deprecation_reason
//     @final
//     class GraphQLTypeInfo: ...  # kind, name, of_type
#include "src/type_info.hpp"

#include <functional>
#include <set>
#include <string>
#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "src/annotation_resolution.hpp"
#include "src/applied_directives.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/resolver_binding.hpp"
#include "src/typing_utils.hpp"
#include "src/values.hpp"

namespace _dovrane::type_info {

using error::SchemaError;

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

binding::Result<Ref> new_graphql_type_object(const GraphQLType& type) {
    DOVRANE_ASSIGN_OR_RETURN(PyGraphQLType record, convert_graphql_type(type));
    return binding::new_instance(graphql_type_class, std::move(record));
}

}  // namespace

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

namespace {

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

}  // namespace

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

// ---------------------------------------------------------------------------
// process_enum

namespace {

binding::Result<dovrane_core::schema::EnumValueDefinition> enum_value(PyObject* member, PyObject* marker_class) {
    dovrane_core::schema::EnumValueDefinition definition;
    DOVRANE_ASSIGN_OR_RETURN(definition.name, binding::str_attribute(member, names::name_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::getattr(member, names::value_name));
    DOVRANE_ASSIGN_OR_RETURN(bool is_marker, binding::is_instance(value.get(), marker_class));
    if (!is_marker) {
        return definition;
    }
    // A marker in the value's place configures the member; every attribute
    // of it must be readable.
    PyObject* marker = value.get();
    DOVRANE_ASSIGN_OR_RETURN(definition.graphql_name,
                             binding::optional_str_attribute(marker, names::graphql_name_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.description, binding::optional_str_attribute(marker, names::description_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.deprecation_reason,
                             binding::optional_str_attribute(marker, names::deprecation_reason_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, binding::getattr(marker, names::directives_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.directives,
                             applied_directives::extract_applied_directives(directives.get()));
    return definition;
}

constexpr binding::Parameter process_enum_parameters[] = {
    binding::required("cls"),
    binding::keyword_optional("name"),
    binding::keyword_optional("description"),
    binding::keyword_required("directives"),
};

binding::Result<Ref> process_enum(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, arguments.convert(0, binding::to_type));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> name, arguments.convert(1, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> description,
                             arguments.convert(2, binding::to_optional_str));
    PyObject* directives = arguments[3];

    // The enum test comes first, so a plain class fails before its
    // directives are looked at.
    DOVRANE_ASSIGN_OR_RETURN(Ref enum_module, binding::import_module(names::enum_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref enum_meta, binding::getattr(enum_module.get(), names::enum_meta_name));
    DOVRANE_ASSIGN_OR_RETURN(bool is_enum, binding::is_instance(cls, enum_meta.get()));
    if (!is_enum) {
        DOVRANE_ASSIGN_OR_RETURN(std::string class_name, binding::str_attribute(cls, names::dunder_name_name));
        return SchemaError::new_err("'" + class_name +
                                    "' is not an enum -- @dovrane.enum can only decorate an enum.Enum subclass");
    }

    dovrane_core::schema::TypeDefinition definition;
    definition.kind = dovrane_core::schema::TypeKind::Enum;
    DOVRANE_ASSIGN_OR_RETURN(definition.directives, applied_directives::extract_applied_directives(directives));

    DOVRANE_ASSIGN_OR_RETURN(Ref host_enum, binding::import_module(names::dovrane_enum_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref marker_class, binding::getattr(host_enum.get(), names::enum_value_definition_name));
    // Iterating an enum class yields its members in definition order,
    // aliases left out.
    DOVRANE_TRY(binding::for_each_item(cls, [&definition, &marker_class](PyObject* member) -> binding::Status {
        DOVRANE_ASSIGN_OR_RETURN(auto value, enum_value(member, marker_class.get()));
        definition.enum_values.push_back(std::move(value));
        return {};
    }));

    if (name) {
        definition.name = *name;
    } else {
        DOVRANE_ASSIGN_OR_RETURN(definition.name, binding::str_attribute(cls, names::dunder_name_name));
    }
    if (description) {
        definition.description = std::string(*description);
    }
    return new_type_info(std::move(definition));
}

}  // namespace

constexpr binding::Function process_enum_function = {
    binding::signature("process_enum", process_enum_parameters),
    DOVRANE_DOC("process_enum(cls, *, name=None, description=None, directives)",
                "The enum counterpart of process_type: turns an enum.Enum subclass into a GraphQL enum\n"
                "type and returns its TypeInfo.\n"
                "\n"
                "A member's GraphQL value is its Python identifier, not its Python value. A\n"
                "dovrane._enum.EnumValueDefinition assigned as the member's value overrides that name\n"
                "and adds a description, a deprecation reason and directives, which is why every\n"
                "member's value is tested for one."),
    process_enum,
};

// ---------------------------------------------------------------------------
// process_type

namespace {

using dovrane_core::schema::FieldDefinition;
using dovrane_core::schema::TypeKind;

std::optional<TypeKind> parse_kind(std::string_view kind) {
    if (kind == "type") {
        return TypeKind::Object;
    }
    if (kind == "interface") {
        return TypeKind::Interface;
    }
    if (kind == "input") {
        return TypeKind::InputObject;
    }
    return std::nullopt;
}

// A field configuration's attribute, or an empty Ref when it is None or its
// read raised an Exception (a plain dataclass field has none of them).
binding::Result<Ref> configured_value(PyObject* field, binding::InternedName& name) {
    DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::getattr_or_empty(field, name));
    if (value.get() == Py_None) {
        value.reset();
    }
    return value;
}

// A configured text: only a str counts; any other value is unset, never an error.
binding::Result<std::optional<std::string>> configured_text(PyObject* field, binding::InternedName& name) {
    DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::getattr_or_empty(field, name));
    if (!value || !PyUnicode_Check(value.get())) {
        return std::optional<std::string>();
    }
    DOVRANE_ASSIGN_OR_RETURN(std::string_view text, binding::to_str(value.get()));
    return std::optional<std::string>(std::string(text));
}

// The class's resolved field annotations (a dict). A NameError means an
// annotation names nothing yet: allowed, every field falls back to its raw
// `f.type`; otherwise the SchemaError that quotes it.
binding::Result<Ref> field_type_hints(PyObject* typing, PyObject* cls, PyObject* class_name,
                                      bool allow_unresolved_annotations) {
    auto hints = typing_utils::class_type_hints(typing, cls, class_name);
    if (hints.ok() || !hints.error().matches(PyExc_NameError)) {
        return hints;
    }
    if (allow_unresolved_annotations) {
        return binding::new_dict();
    }
    DOVRANE_ASSIGN_OR_RETURN(std::string described, binding::describe_exception(hints.error()));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view class_name_text, binding::to_str(class_name));
    std::string message = "could not resolve field annotations for '";
    message.append(class_name_text).append("': ").append(described);
    return SchemaError::new_err(std::move(message));
}

struct FieldReader {
    PyObject* typing;
    PyObject* cls;
    PyObject* hints;           // dict
    PyObject* private_marker;  // dovrane._private.PrivateMarker
    Ref missing;               // dataclasses.MISSING, read when a field first needs it
};

// One dataclass field as a FieldDefinition; nothing for a private field
// without configuration, which stays out of the schema.
binding::Result<std::optional<FieldDefinition>> read_field(FieldReader& reader, PyObject* field) {
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::getattr(field, names::name_name));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view name_text, binding::to_str(name.get()));
    FieldDefinition definition;
    definition.name = name_text;
    DOVRANE_ASSIGN_OR_RETURN(Ref annotation, binding::getattr(field, names::type_name));
    PyObject* hinted = PyDict_GetItemWithError(reader.hints, name.get());  // borrowed
    if (hinted != nullptr) {
        annotation = Ref::borrow(hinted);
    } else if (PyErr_Occurred() != nullptr) {
        return binding::Error::fetch();
    }

    // Configured means made by dovrane.field(...): `resolver` can be read,
    // whatever its value.
    DOVRANE_ASSIGN_OR_RETURN(Ref resolver, binding::getattr_or_empty(field, names::resolver_name));
    bool configured = static_cast<bool>(resolver);
    DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts,
                             typing_utils::unwrap_annotated(reader.typing, annotation.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref private_marker, typing_utils::find_marker(parts.metadata, reader.private_marker));
    if (private_marker) {
        if (!configured) {
            return std::optional<FieldDefinition>();
        }
        DOVRANE_ASSIGN_OR_RETURN(std::string class_name, binding::str_attribute(reader.cls, names::dunder_name_name));
        return SchemaError::new_err("field '" + definition.name + "' on '" + class_name +
                                    "' cannot be both Private and a dovrane.field(...) -- either remove the "
                                    "Private annotation or the field configuration");
    }

    DOVRANE_ASSIGN_OR_RETURN(definition.graphql_name, configured_text(field, names::graphql_name_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.description, configured_text(field, names::description_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.deprecation_reason, configured_text(field, names::deprecation_reason_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.is_maybe, typing_utils::is_maybe_annotation(reader.typing, annotation.get()));

    if (!reader.missing) {
        DOVRANE_ASSIGN_OR_RETURN(Ref dataclasses, binding::import_module(names::dataclasses_module));
        DOVRANE_ASSIGN_OR_RETURN(reader.missing, binding::getattr(dataclasses.get(), names::missing_name));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref default_value, binding::getattr_or_empty(field, names::default_name));
    if (default_value && default_value.get() != reader.missing.get()) {
        // Computed for a Maybe field too, so a default without a faithful
        // conversion fails alike; a Maybe field keeps no default.
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string> literal,
                                 values::python_default_to_graphql_literal(default_value.get()));
        if (!definition.is_maybe) {
            definition.default_value = std::move(literal);
        }
    }

    DOVRANE_ASSIGN_OR_RETURN(Ref type_override, configured_value(field, names::graphql_type_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.field_type,
                             annotation_resolution::resolve_graphql_type(
                                 reader.typing, type_override ? type_override.get() : annotation.get()));

    DOVRANE_ASSIGN_OR_RETURN(resolver, configured_value(field, names::resolver_name));
    if (resolver) {
        DOVRANE_ASSIGN_OR_RETURN(resolver_binding::ClassifiedParameters classified,
                                 resolver_binding::bind_resolver_arguments(reader.cls, resolver.get()));
        definition.has_resolver = true;
        definition.arguments = std::move(classified.arguments);
        definition.parent_parameter = std::move(classified.parent_parameter);
        definition.info_parameter = std::move(classified.info_parameter);
    }

    // Taken without a location check: the schema builder checks field directives.
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, binding::getattr_or_empty(field, names::directives_name));
    if (directives) {
        DOVRANE_ASSIGN_OR_RETURN(definition.directives,
                             applied_directives::extract_applied_directives(directives.get()));
    }
    return std::optional<FieldDefinition>(std::move(definition));
}

// The interfaces that the class's bases declare, from the method resolution
// order after the class itself: each name once, at its first place. `__mro__`
// is read rather than `cls.mro()`, which a field named `mro` shadows.
binding::Result<std::vector<std::string>> inherited_interfaces(PyObject* cls) {
    DOVRANE_ASSIGN_OR_RETURN(Ref mro, binding::getattr(cls, names::dunder_mro_name));
    std::vector<std::string> interfaces;
    std::set<std::string, std::less<>> seen;
    bool is_class_itself = true;
    DOVRANE_TRY(binding::for_each_item(mro.get(), [&](PyObject* entry) -> binding::Status {
        if (is_class_itself) {
            is_class_itself = false;
            return {};
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref info, binding::getattr_or_empty(entry, names::dunder_dovrane_type_info_name));
        if (!info) {
            return {};  // not decorated
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref kind, binding::getattr(info.get(), names::kind_name));
        DOVRANE_ASSIGN_OR_RETURN(std::string_view kind_text, binding::to_str(kind.get()));
        if (kind_text != "interface") {
            return {};
        }
        DOVRANE_ASSIGN_OR_RETURN(std::string name, binding::str_attribute(info.get(), names::name_name));
        if (seen.insert(name).second) {
            interfaces.push_back(std::move(name));
        }
        return {};
    }));
    return interfaces;
}

constexpr binding::Parameter process_type_parameters[] = {
    binding::required("cls"),
    binding::keyword_required("kind"),
    binding::keyword_optional("name"),
    binding::keyword_optional("description"),
    binding::keyword_required("directives"),
    binding::keyword_optional("one_of"),
    binding::keyword_optional("allow_unresolved_annotations"),
};

binding::Result<Ref> process_type(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, arguments.convert(0, binding::to_type));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind_text, arguments.convert(1, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> name, arguments.convert(2, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> description,
                             arguments.convert(3, binding::to_optional_str));
    PyObject* directives = arguments[4];
    DOVRANE_ASSIGN_OR_RETURN(bool one_of, arguments.convert_or(5, binding::to_flag, false));
    DOVRANE_ASSIGN_OR_RETURN(bool allow_unresolved_annotations, arguments.convert_or(6, binding::to_flag, false));

    dovrane_core::schema::TypeDefinition definition;
    // Taken without a location check, before the kind is looked at.
    DOVRANE_ASSIGN_OR_RETURN(definition.directives, applied_directives::extract_applied_directives(directives));
    std::optional<TypeKind> kind = parse_kind(kind_text);
    if (!kind) {
        std::string message = "unknown type kind '";
        message.append(kind_text).append("' (expected 'type', 'interface', or 'input')");
        return SchemaError::new_err(std::move(message));
    }
    definition.kind = *kind;

    DOVRANE_ASSIGN_OR_RETURN(Ref dataclasses, binding::import_module(names::dataclasses_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref fields_function, binding::getattr(dataclasses.get(), names::fields_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref fields, binding::call(fields_function.get(), {cls}));
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref class_name, binding::getattr(cls, names::dunder_name_name));
    DOVRANE_TRY(binding::to_str(class_name.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref hints,
                             field_type_hints(typing.get(), cls, class_name.get(), allow_unresolved_annotations));
    DOVRANE_ASSIGN_OR_RETURN(Ref private_module, binding::import_module(names::dovrane_private_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref private_marker, binding::getattr(private_module.get(), names::private_marker_name));

    FieldReader reader{typing.get(), cls, hints.get(), private_marker.get(), Ref()};
    DOVRANE_TRY(binding::for_each_item(fields.get(), [&](PyObject* field) -> binding::Status {
        DOVRANE_ASSIGN_OR_RETURN(std::optional<FieldDefinition> read, read_field(reader, field));
        if (read) {
            definition.fields.push_back(std::move(*read));
        }
        return {};
    }));
    if (definition.kind == TypeKind::InputObject) {
        for (const FieldDefinition& field : definition.fields) {
            if (field.has_resolver) {
                return SchemaError::new_err("input type fields cannot declare a resolver, but field '" + field.name +
                                            "' does");
            }
        }
    }

    if (name) {
        definition.name = *name;
    } else {
        DOVRANE_ASSIGN_OR_RETURN(definition.name, binding::str_attribute(cls, names::dunder_name_name));
    }
    if (description) {
        definition.description = std::string(*description);
    }
    definition.one_of = one_of;
    // An input type implements nothing: its bases' interfaces are not its own.
    if (definition.kind != TypeKind::InputObject) {
        DOVRANE_ASSIGN_OR_RETURN(definition.interfaces, inherited_interfaces(cls));
    }
    return new_type_info(std::move(definition));
}

}  // namespace

constexpr binding::Function process_type_function = {
    binding::signature("process_type", process_type_parameters),
    DOVRANE_DOC("process_type(cls, *, kind, name=None, description=None, directives, one_of=False, "
                "allow_unresolved_annotations=False)",
                "Builds the type definition of a dataclass as an object type, an interface or an\n"
                "input type, as `kind` says, and returns its TypeInfo.\n"
                "\n"
                "The host package calls it once per decorated class, after the class became a\n"
                "dataclass. It looks at that one class only: the checks that need the whole type\n"
                "graph, interface contracts and directive locations, are left to the host\n"
                "package's schema builder."),
    process_type,
};

}  // namespace _dovrane::type_info
