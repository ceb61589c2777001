// Union description.
//
// Python equivalent:
//
//     def describe_union(annotation) -> UnionInfo: ...
//
//     @final
//     class UnionInfo:                   # read-only; built only by describe_union
//         name: str
//         description: str | None
//         member_names: list[str]        # a new list on every read
//         has_custom_resolve_type: bool
#include "src/union_info.hpp"

#include <string_view>
#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/typing_utils.hpp"

namespace _dovrane::union_info {

namespace {

using binding::Ref;
using binding::Result;
using dovrane_core::schema::UnionDefinition;

PyGetSetDef union_info_getters[] = {
    binding::getter<&PyUnionInfo::name>("name"),
    binding::getter<&PyUnionInfo::description>("description"),
    binding::getter<&PyUnionInfo::member_names>("member_names"),
    binding::getter<&PyUnionInfo::has_custom_resolve_type>("has_custom_resolve_type"),
    {},
};

// A class declared as an object type: its type info's kind is "type". A
// lookup or conversion that fails only means it is not one.
Result<bool> is_object_type(PyObject* member) {
    DOVRANE_ASSIGN_OR_RETURN(Ref info, binding::getattr_or_empty(member, names::dunder_dovrane_type_info_name));
    if (!info) {
        return false;
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref kind, binding::getattr_or_empty(info.get(), names::kind_name));
    if (!kind) {
        return false;
    }
    auto text = binding::to_str(kind.get());
    if (!text.ok()) {
        DOVRANE_TRY(binding::discard_exception(text.take_error()));
        return false;
    }
    return text.value() == "type";
}

binding::Status check_member(PyObject* member) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * lazy_type, typing_utils::lazy_type_class());
    DOVRANE_ASSIGN_OR_RETURN(bool is_placeholder, binding::is_instance(member, lazy_type));
    if (is_placeholder) {
        return {};
    }
    DOVRANE_ASSIGN_OR_RETURN(bool accepted, is_object_type(member));
    if (accepted) {
        return {};
    }
    DOVRANE_ASSIGN_OR_RETURN(std::string name, typing_utils::named_type_name(member));
    return error::SchemaError::new_err(
        "union member '" + name +
        "' is not a '@dovrane.type'-decorated object type; GraphQL unions may only contain object types");
}

// The marker's name, description and resolver flag go into `definition`.
binding::Status read_marker(PyObject* marker, UnionDefinition& definition) {
    DOVRANE_ASSIGN_OR_RETURN(definition.name, binding::str_attribute(marker, names::name_name));
    DOVRANE_ASSIGN_OR_RETURN(definition.description, binding::optional_str_attribute(marker, names::description_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref resolve_type, binding::getattr(marker, names::resolve_type_name));
    definition.has_custom_resolve_type = resolve_type.get() != Py_None;
    return {};
}

// describe_union(annotation)
constexpr binding::Parameter describe_union_parameters[] = {binding::required("annotation")};

Result<Ref> describe_union_entry(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyUnionInfo info, describe_union(arguments[0]));
    return binding::new_instance(union_info_class, std::move(info));
}

}  // namespace

binding::Class<PyUnionInfo> union_info_class{"builtins.UnionInfo", nullptr, union_info_getters};

PyUnionInfo PyUnionInfo::from(UnionDefinition definition) {
    PyUnionInfo info;
    info.name = definition.name;
    info.description = definition.description;
    info.member_names = definition.member_names;
    info.has_custom_resolve_type = definition.has_custom_resolve_type;
    info.definition = std::move(definition);
    return info;
}

Result<PyUnionInfo> describe_union(PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts,
                             typing_utils::unwrap_annotated(typing.get(), annotation));
    DOVRANE_ASSIGN_OR_RETURN(Ref union_module_object, binding::import_module(names::dovrane_union_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref marker_class,
                             binding::getattr(union_module_object.get(), names::union_definition_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref marker, typing_utils::find_marker(parts.metadata, marker_class.get()));

    DOVRANE_ASSIGN_OR_RETURN(Ref base_origin, typing_utils::get_origin(typing.get(), parts.base.get()));
    DOVRANE_ASSIGN_OR_RETURN(bool is_union, typing_utils::is_union_origin(base_origin.get()));
    std::vector<Ref> members;
    if (is_union) {
        DOVRANE_ASSIGN_OR_RETURN(Ref args, typing_utils::get_args(typing.get(), parts.base.get()));
        DOVRANE_ASSIGN_OR_RETURN(members, binding::collect(args.get()));
    } else {
        // typing has no one-member union: a single type is its only member.
        members.push_back(parts.base);
    }
    for (Ref& member : members) {
        DOVRANE_ASSIGN_OR_RETURN(member, normalize_lazy_member(typing.get(), member.get()));
    }
    for (const Ref& member : members) {
        DOVRANE_TRY(check_member(member.get()));
    }

    UnionDefinition definition;
    definition.member_names.reserve(members.size());
    for (const Ref& member : members) {
        DOVRANE_ASSIGN_OR_RETURN(std::string name, typing_utils::named_type_name(member.get()));
        definition.member_names.push_back(std::move(name));
    }
    if (marker) {
        DOVRANE_TRY(read_marker(marker.get(), definition));
    } else {
        for (const std::string& name : definition.member_names) {
            definition.name += name;
        }
    }
    return PyUnionInfo::from(std::move(definition));
}

Result<Ref> normalize_lazy_member(PyObject* typing, PyObject* member) {
    DOVRANE_ASSIGN_OR_RETURN(Ref annotated, binding::getattr(typing, names::annotated_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref origin, typing_utils::get_origin(typing, member));
    if (origin.get() != annotated.get()) {
        return Ref::borrow(member);
    }
    DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts, typing_utils::unwrap_annotated(typing, member));
    DOVRANE_ASSIGN_OR_RETURN(Ref lazy, binding::import_module(names::dovrane_lazy_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref reference_class, binding::getattr(lazy.get(), names::lazy_reference_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref reference, typing_utils::find_marker(parts.metadata, reference_class.get()));
    if (!reference) {
        // Left whole: the member check decides whether it is acceptable.
        return Ref::borrow(member);
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref forward_ref, binding::getattr(typing, names::forward_ref_name));
    DOVRANE_ASSIGN_OR_RETURN(bool is_forward_ref, binding::is_instance(parts.base.get(), forward_ref.get()));
    if (!is_forward_ref) {
        return std::move(parts.base);
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref resolve, binding::getattr(reference.get(), names::resolve_forward_ref_name));
    return binding::call(resolve.get(), {parts.base.get()});
}

Result<const UnionDefinition*> union_definition_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PyUnionInfo * info, binding::to_instance(union_info_class, object));
    return &info->definition;
}

constexpr binding::Function describe_union_function = {
    binding::signature("describe_union", describe_union_parameters),
    DOVRANE_DOC("describe_union(annotation)",
                "Extract a union's member types together with its name, description and\n"
                "resolver, from either declaration form:\n"
                "\n"
                "- the bare union, Union[A, B] or A | B, whose name is generated by\n"
                "  concatenating the member names (this also serves a single type in\n"
                "  Annotated, since typing has no one-member union);\n"
                "- the union wrapped in Annotated with the package's union marker (a\n"
                "  UnionDefinition) for an explicit name, description and custom\n"
                "  resolve_type.\n"
                "\n"
                "Every member must be a @dovrane.type-decorated object type or a lazy type."),
    describe_union_entry,
};

}  // namespace _dovrane::union_info
