// Annotation resolution. Nothing here is exposed to Python by itself; in
// Python terms, resolution reads:
//
//     def resolve_graphql_type(typing, annotation):
//         inner, nullable = resolve_core(typing, annotation)
//         return inner if nullable else NonNull(inner)
//
//     def resolve_core(typing, annotation):     # the first rule that matches
//         origin = typing.get_origin(annotation)
//         Annotated[base, *metadata] -> resolve_union(annotation, base) when a
//                                       metadata item is a UnionDefinition or
//                                       base is a union, else resolve_core(base)
//         Maybe[X]                   -> (resolve_core(X)[0], True)
//         Union[...], X | Y          -> resolve_union(annotation, annotation)
//         AsyncGenerator[X, ...], AsyncIterator[X], AsyncIterable[X]
//                                    -> resolve_core(X)
//         Streamable[X], list[X], tuple[X, ...]
//                                    -> (List(resolve_graphql_type(X)), False)
//         anything else              -> (Named(typing_utils::named_type_name(annotation)), False)
//
//     def resolve_union(annotation, inner):
//         members other than NoneType of a union `inner`: exactly one
//                     -> (resolve_core(member)[0], True)
//         otherwise   -> (Named(describe_union(annotation).name), False)
#include "src/annotation_resolution.hpp"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "binding/cells.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/limits.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/typing_utils.hpp"
#include "src/union_info.hpp"

namespace _dovrane::annotation_resolution {

namespace {

using binding::Ref;
using binding::Result;
using dovrane_core::schema::GraphQLType;
using error::SchemaError;
using typing_utils::AnnotatedParts;

// The resolved type before its outermost non-null mark: `type` is never
// NonNull at the top; `nullable` says whether it stays so.
struct Resolution {
    GraphQLType type;
    bool nullable = false;
};

// The rules of resolution, first match wins; `depth` is the annotation's level
// (0 for the outermost). Past `limits::max_annotation_depth` levels it fails
// with a SchemaError.
Result<Resolution> resolve_core(PyObject* typing, PyObject* annotation, std::size_t depth);
// A union, or a type carrying the union marker: `annotation` may carry the
// marker, `inner` is the union itself (the same object for a bare union).
Result<Resolution> resolve_union(PyObject* typing, PyObject* annotation, PyObject* inner, std::size_t depth);

// Item 0 of `typing.get_args(annotation)`: IndexError when there is none.
Result<Ref> first_type_argument(PyObject* typing, PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(Ref args, typing_utils::get_args(typing, annotation));
    PyObject* first = PySequence_GetItem(args.get(), 0);
    if (first == nullptr) {
        return binding::Error::fetch();
    }
    return Ref::steal(first);
}

Result<Ref> union_marker_class() {
    DOVRANE_ASSIGN_OR_RETURN(Ref module, binding::import_module(names::dovrane_union_module));
    return binding::getattr(module.get(), names::union_definition_name);
}

Result<GraphQLType> resolve_type_at(PyObject* typing, PyObject* annotation, std::size_t depth) {
    DOVRANE_ASSIGN_OR_RETURN(Resolution resolution, resolve_core(typing, annotation, depth));
    if (resolution.nullable) {
        return std::move(resolution.type);
    }
    return GraphQLType::non_null(std::move(resolution.type));
}

Result<Resolution> resolve_core(PyObject* typing, PyObject* annotation, std::size_t depth) {
    if (depth >= dovrane_core::limits::max_annotation_depth) {
        return SchemaError::new_err(dovrane_core::limits::annotation_depth_message);
    }
    // The backstop for a caller that is already deep in the interpreter's stack.
    binding::RecursionGuard guard(" while resolving an annotation");
    if (!guard.entered()) {
        return binding::Error::fetch();
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref origin, typing_utils::get_origin(typing, annotation));
    DOVRANE_ASSIGN_OR_RETURN(Ref annotated, binding::getattr(typing, names::annotated_name));

    if (origin.get() == annotated.get()) {
        DOVRANE_ASSIGN_OR_RETURN(AnnotatedParts parts, typing_utils::annotated_parts(typing, annotation));
        DOVRANE_ASSIGN_OR_RETURN(Ref base_origin, typing_utils::get_origin(typing, parts.base.get()));
        DOVRANE_ASSIGN_OR_RETURN(Ref marker_class, union_marker_class());
        DOVRANE_ASSIGN_OR_RETURN(Ref marker, typing_utils::find_marker(parts.metadata, marker_class.get()));
        bool is_union = static_cast<bool>(marker);
        if (!is_union) {
            DOVRANE_ASSIGN_OR_RETURN(is_union, typing_utils::is_union_origin(base_origin.get()));
        }
        if (is_union) {
            // The whole annotation goes along, so the union description sees the marker.
            return resolve_union(typing, annotation, parts.base.get(), depth);
        }
        return resolve_core(typing, parts.base.get(), depth + 1);
    }

    DOVRANE_ASSIGN_OR_RETURN(bool maybe, typing_utils::is_maybe_origin(origin.get()));
    if (maybe) {
        DOVRANE_ASSIGN_OR_RETURN(Ref argument, first_type_argument(typing, annotation));
        DOVRANE_ASSIGN_OR_RETURN(Resolution inner, resolve_core(typing, argument.get(), depth + 1));
        inner.nullable = true;
        return inner;
    }

    DOVRANE_ASSIGN_OR_RETURN(const typing_utils::OriginCache* cache, typing_utils::origins());
    if (origin.get() == cache->typing_union.get() || origin.get() == cache->union_type.get()) {
        return resolve_union(typing, annotation, annotation, depth);
    }

    // A stream stands for its items.
    for (const Ref* stream : {&cache->async_generator, &cache->async_iterator, &cache->async_iterable}) {
        DOVRANE_ASSIGN_OR_RETURN(bool matches, binding::equals(origin.get(), stream->get()));
        if (matches) {
            DOVRANE_ASSIGN_OR_RETURN(Ref argument, first_type_argument(typing, annotation));
            return resolve_core(typing, argument.get(), depth + 1);
        }
    }

    // Only the first type argument counts: tuple[int, str] is a list of Int!.
    PyObject* list_origins[] = {cache->streamable.get(), reinterpret_cast<PyObject*>(&PyList_Type),
                                reinterpret_cast<PyObject*>(&PyTuple_Type)};
    for (PyObject* list_origin : list_origins) {
        DOVRANE_ASSIGN_OR_RETURN(bool matches, binding::equals(origin.get(), list_origin));
        if (matches) {
            DOVRANE_ASSIGN_OR_RETURN(Ref argument, first_type_argument(typing, annotation));
            DOVRANE_ASSIGN_OR_RETURN(GraphQLType element, resolve_type_at(typing, argument.get(), depth + 1));
            return Resolution{GraphQLType::list(std::move(element)), false};
        }
    }

    DOVRANE_ASSIGN_OR_RETURN(std::string name, typing_utils::named_type_name(annotation));
    return Resolution{GraphQLType::named(std::move(name)), false};
}

Result<Resolution> resolve_union(PyObject* typing, PyObject* annotation, PyObject* inner, std::size_t depth) {
    DOVRANE_ASSIGN_OR_RETURN(Ref inner_origin, typing_utils::get_origin(typing, inner));
    DOVRANE_ASSIGN_OR_RETURN(bool is_union, typing_utils::is_union_origin(inner_origin.get()));
    if (is_union) {
        DOVRANE_ASSIGN_OR_RETURN(Ref args, typing_utils::get_args(typing, inner));
        DOVRANE_ASSIGN_OR_RETURN(std::vector<Ref> members, binding::collect(args.get()));
        PyObject* none_type = reinterpret_cast<PyObject*>(Py_TYPE(Py_None));
        std::erase_if(members, [none_type](const Ref& member) { return member.get() == none_type; });
        if (members.size() == 1) {
            // The optional form: Optional[X], X | None.
            DOVRANE_ASSIGN_OR_RETURN(Resolution resolution, resolve_core(typing, members.front().get(), depth + 1));
            resolution.nullable = true;
            return resolution;
        }
    }
    // The description still runs its checks; only its name is kept.
    DOVRANE_ASSIGN_OR_RETURN(union_info::PyUnionInfo info, union_info::describe_union(annotation));
    return Resolution{GraphQLType::named(std::move(info.name)), false};
}

}  // namespace

Result<GraphQLType> resolve_graphql_type(PyObject* typing, PyObject* annotation) {
    return resolve_type_at(typing, annotation, 0);
}

}  // namespace _dovrane::annotation_resolution
