// _dovrane_testing: annotation resolution and the lazy-type helpers, on the
// annotations tests write.
#include <Python.h>

#include <span>
#include <string>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/objects.hpp"
#include "src/annotation_resolution.hpp"
#include "src/host_names.hpp"
#include "src/typing_utils.hpp"
#include "src/union_info.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;
namespace schema = dovrane_core::schema;

// resolve_type_text(annotation): resolve_graphql_type as SDL type text.
constexpr binding::Parameter annotation_parameters[] = {binding::required("annotation")};
binding::Result<Ref> resolve_type_text(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(schema::GraphQLType type,
                             annotation_resolution::resolve_graphql_type(typing.get(), arguments[0]));
    return binding::new_str(type.to_sdl_string());
}
constexpr binding::Function resolve_type_text_function = {
    binding::signature("resolve_type_text", annotation_parameters),
    DOVRANE_DOC("resolve_type_text(annotation)", "The annotation resolved to a GraphQL type, as SDL text."),
    resolve_type_text,
};

// named_type_name(annotation)
binding::Result<Ref> named_type_name(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string name, typing_utils::named_type_name(arguments[0]));
    return binding::new_str(name);
}
constexpr binding::Function named_type_name_function = {
    binding::signature("named_type_name", annotation_parameters),
    DOVRANE_DOC("named_type_name(annotation)", "The GraphQL name the naming rule gives the annotation."),
    named_type_name,
};

// unwrap_annotated(annotation): (base, metadata list).
binding::Result<Ref> unwrap_annotated(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts,
                             typing_utils::unwrap_annotated(typing.get(), arguments[0]));
    DOVRANE_ASSIGN_OR_RETURN(Ref metadata, binding::new_list(parts.metadata));
    return binding::new_tuple({parts.base.get(), metadata.get()});
}
constexpr binding::Function unwrap_annotated_function = {
    binding::signature("unwrap_annotated", annotation_parameters),
    DOVRANE_DOC("unwrap_annotated(annotation)", "(base, metadata) of an annotation."),
    unwrap_annotated,
};

// is_maybe_annotation(annotation)
binding::Result<Ref> is_maybe_annotation(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(bool maybe, typing_utils::is_maybe_annotation(typing.get(), arguments[0]));
    return binding::boolean(maybe);
}
constexpr binding::Function is_maybe_annotation_function = {
    binding::signature("is_maybe_annotation", annotation_parameters),
    DOVRANE_DOC("is_maybe_annotation(annotation)", "Whether the annotation is Maybe[...], also inside Annotated."),
    is_maybe_annotation,
};

// is_union_origin(origin)
constexpr binding::Parameter is_union_origin_parameters[] = {binding::required("origin")};
binding::Result<Ref> is_union_origin(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(bool is_union, typing_utils::is_union_origin(arguments[0]));
    return binding::boolean(is_union);
}
constexpr binding::Function is_union_origin_function = {
    binding::signature("is_union_origin", is_union_origin_parameters),
    DOVRANE_DOC("is_union_origin(origin)", "Whether the origin is typing.Union or types.UnionType."),
    is_union_origin,
};

// find_marker(metadata, cls): the first instance of cls in metadata, or None.
constexpr binding::Parameter find_marker_parameters[] = {binding::required("metadata"), binding::required("cls")};
binding::Result<Ref> find_marker(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<Ref> metadata, binding::collect(arguments[0]));
    DOVRANE_ASSIGN_OR_RETURN(Ref marker, typing_utils::find_marker(metadata, arguments[1]));
    return marker ? marker : binding::none();
}
constexpr binding::Function find_marker_function = {
    binding::signature("find_marker", find_marker_parameters),
    DOVRANE_DOC("find_marker(metadata, cls)", "The first item of metadata that is an instance of cls, or None."),
    find_marker,
};

// lazy_type_class()
binding::Result<Ref> lazy_type_class(PyObject*, binding::Arguments&) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, typing_utils::lazy_type_class());
    return Ref::borrow(cls);
}
constexpr binding::Function lazy_type_class_function = {
    binding::signature("lazy_type_class"),
    DOVRANE_DOC("lazy_type_class()", "The host's LazyType class, as the cache holds it."),
    lazy_type_class,
};

// seed_lazy_namespace(target, namespace, *, for_callable=False): the class
// seeding, or the function seeding with for_callable.
constexpr binding::Parameter seed_lazy_namespace_parameters[] = {
    binding::required("target"),
    binding::required("namespace"),
    binding::keyword_optional("for_callable"),
};
binding::Result<Ref> seed_lazy_namespace(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * target, arguments.convert(1, binding::to_dict));
    DOVRANE_ASSIGN_OR_RETURN(bool for_callable, arguments.convert_or(2, binding::to_flag, false));
    if (for_callable) {
        DOVRANE_TRY(typing_utils::seed_lazy_namespace_for_callable(arguments[0], target));
    } else {
        DOVRANE_TRY(typing_utils::seed_lazy_namespace_for_class(arguments[0], target));
    }
    return binding::none();
}
constexpr binding::Function seed_lazy_namespace_function = {
    binding::signature("seed_lazy_namespace", seed_lazy_namespace_parameters),
    DOVRANE_DOC("seed_lazy_namespace(target, namespace, *, for_callable=False)",
                "Updates namespace with the lazy namespace of a class, or of a function with for_callable."),
    seed_lazy_namespace,
};

// normalize_lazy_member(member)
constexpr binding::Parameter member_parameters[] = {binding::required("member")};
binding::Result<Ref> normalize_lazy_member(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    return union_info::normalize_lazy_member(typing.get(), arguments[0]);
}
constexpr binding::Function normalize_lazy_member_function = {
    binding::signature("normalize_lazy_member", member_parameters),
    DOVRANE_DOC("normalize_lazy_member(member)", "The union member to use in place of member."),
    normalize_lazy_member,
};

const Registration annotation_probe_registrations[] = {
    {"resolve_type_text", &binding::method_def<resolve_type_text_function>},
    {"named_type_name", &binding::method_def<named_type_name_function>},
    {"unwrap_annotated", &binding::method_def<unwrap_annotated_function>},
    {"is_maybe_annotation", &binding::method_def<is_maybe_annotation_function>},
    {"is_union_origin", &binding::method_def<is_union_origin_function>},
    {"find_marker", &binding::method_def<find_marker_function>},
    {"lazy_type_class", &binding::method_def<lazy_type_class_function>},
    {"seed_lazy_namespace", &binding::method_def<seed_lazy_namespace_function>},
    {"normalize_lazy_member", &binding::method_def<normalize_lazy_member_function>},
};

}  // namespace

std::span<const Registration> annotation_probes() { return annotation_probe_registrations; }

}  // namespace _dovrane::testing
