// The `typing` helpers and the process-wide caches below annotation
// resolution and union description: origins, `Annotated` parts, markers, the
// names of named types and the host's lazy namespaces.
#include "src/typing_utils.hpp"

#include <Python.h>

#include <array>
#include <iterator>
#include <string_view>
#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/builtin_scalars.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"

namespace _dovrane::typing_utils {

namespace {

using binding::Ref;
using binding::Result;
using error::SchemaError;

// ---------------------------------------------------------------------------
// The process-wide caches: built on first use, kept for the process. A build
// that fails leaves its cell empty, and the next use builds again.

Result<OriginCache> origin_cache() {
    OriginCache cache;
    DOVRANE_ASSIGN_OR_RETURN(Ref abc, binding::import_module(names::collections_abc_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(cache.typing_union, binding::getattr(typing.get(), names::union_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref types, binding::import_module(names::types_module));
    DOVRANE_ASSIGN_OR_RETURN(cache.union_type, binding::getattr(types.get(), names::union_type_name));
    DOVRANE_ASSIGN_OR_RETURN(cache.async_generator, binding::getattr(abc.get(), names::async_generator_name));
    DOVRANE_ASSIGN_OR_RETURN(cache.async_iterator, binding::getattr(abc.get(), names::async_iterator_name));
    DOVRANE_ASSIGN_OR_RETURN(cache.async_iterable, binding::getattr(abc.get(), names::async_iterable_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref resolver, binding::import_module(names::dovrane_resolver_module));
    DOVRANE_ASSIGN_OR_RETURN(cache.streamable, binding::getattr(resolver.get(), names::streamable_name));
    return cache;
}

binding::OnceCell<OriginCache> ORIGIN_CACHE;

struct LazyModuleCache {
    Ref lazy_type;
    Ref namespace_for_class;
    Ref namespace_for_callable;
};

Result<LazyModuleCache> lazy_module_cache() {
    LazyModuleCache cache;
    DOVRANE_ASSIGN_OR_RETURN(Ref lazy, binding::import_module(names::dovrane_lazy_module));
    DOVRANE_ASSIGN_OR_RETURN(cache.lazy_type, binding::getattr(lazy.get(), names::lazy_type_name));
    DOVRANE_ASSIGN_OR_RETURN(cache.namespace_for_class, binding::getattr(lazy.get(), names::namespace_for_class_name));
    DOVRANE_ASSIGN_OR_RETURN(cache.namespace_for_callable,
                             binding::getattr(lazy.get(), names::namespace_for_callable_name));
    return cache;
}

binding::OnceCell<LazyModuleCache> LAZY_MODULE_CACHE;

// The GraphQL names of the built-in scalars, in the cache's order.
namespace scalars = dovrane_core::builtin_scalars;
constexpr std::array<std::string_view, 10> builtin_scalar_names = {
    scalars::string_name,    scalars::boolean_name, scalars::int_name,  scalars::float_name,   scalars::id_name,
    scalars::date_time_name, scalars::date_name,    scalars::time_name, scalars::decimal_name, scalars::uuid_name,
};

struct BuiltinScalarCache {
    // str, bool, int, float, dovrane.ID, datetime.datetime, datetime.date,
    // datetime.time, decimal.Decimal, uuid.UUID
    std::array<Ref, builtin_scalar_names.size()> classes;
};

Result<BuiltinScalarCache> builtin_scalar_cache() {
    BuiltinScalarCache cache;
    auto& classes = cache.classes;
    DOVRANE_ASSIGN_OR_RETURN(Ref builtins, binding::import_module(names::builtins_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref datetime, binding::import_module(names::datetime_module));
    DOVRANE_ASSIGN_OR_RETURN(classes[0], binding::getattr(builtins.get(), names::str_name));
    DOVRANE_ASSIGN_OR_RETURN(classes[1], binding::getattr(builtins.get(), names::bool_name));
    DOVRANE_ASSIGN_OR_RETURN(classes[2], binding::getattr(builtins.get(), names::int_name));
    DOVRANE_ASSIGN_OR_RETURN(classes[3], binding::getattr(builtins.get(), names::float_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref dovrane, binding::import_module(names::dovrane_module));
    DOVRANE_ASSIGN_OR_RETURN(classes[4], binding::getattr(dovrane.get(), names::id_name));
    DOVRANE_ASSIGN_OR_RETURN(classes[5], binding::getattr(datetime.get(), names::datetime_name));
    DOVRANE_ASSIGN_OR_RETURN(classes[6], binding::getattr(datetime.get(), names::date_name));
    DOVRANE_ASSIGN_OR_RETURN(classes[7], binding::getattr(datetime.get(), names::time_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref decimal, binding::import_module(names::decimal_module));
    DOVRANE_ASSIGN_OR_RETURN(classes[8], binding::getattr(decimal.get(), names::decimal_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref uuid, binding::import_module(names::uuid_module));
    DOVRANE_ASSIGN_OR_RETURN(classes[9], binding::getattr(uuid.get(), names::uuid_name));
    return cache;
}

binding::OnceCell<BuiltinScalarCache> BUILTIN_SCALAR_CACHE;

Result<const LazyModuleCache*> lazy_helpers() { return LAZY_MODULE_CACHE.get_or_build(lazy_module_cache); }
Result<const BuiltinScalarCache*> builtin_scalars() { return BUILTIN_SCALAR_CACHE.get_or_build(builtin_scalar_cache); }

// ---------------------------------------------------------------------------
// Helpers

// The GraphQL name a lazy placeholder stands for: its target's type-info name
// while the target resolves, else its `type_name`.
Result<std::string> lazy_placeholder_name(PyObject* placeholder) {
    auto target = binding::getattr(placeholder, names::resolve_type_name);
    if (target.ok()) {
        target = binding::call(target.value().get(), {});
    }
    if (target.ok()) {
        DOVRANE_ASSIGN_OR_RETURN(Ref info,
                                 binding::getattr_or_empty(target.value().get(), names::dunder_dovrane_type_info_name));
        if (info) {
            DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::getattr(info.get(), names::name_name));
            if (PyUnicode_Check(name.get())) {
                DOVRANE_ASSIGN_OR_RETURN(std::string_view text, binding::to_str(name.get()));
                return std::string(text);
            }
        }
    } else {
        // Not resolvable yet: the class is declared later.
        DOVRANE_TRY(binding::discard_exception(target.take_error()));
    }
    return binding::str_attribute(placeholder, names::type_name_name);
}

binding::Status seed(PyObject* namespace_function, PyObject* target, PyObject* namespace_dict) {
    DOVRANE_ASSIGN_OR_RETURN(Ref result, binding::call(namespace_function, {target}));
    DOVRANE_ASSIGN_OR_RETURN(PyObject * lazy_namespace, binding::to_dict(result.get()));
    if (PyDict_Update(namespace_dict, lazy_namespace) < 0) {
        return binding::Error::fetch();
    }
    return {};
}

}  // namespace

Result<Ref> get_origin(PyObject* typing, PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(Ref function, binding::getattr(typing, names::get_origin_name));
    return binding::call(function.get(), {annotation});
}

Result<Ref> get_args(PyObject* typing, PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(Ref function, binding::getattr(typing, names::get_args_name));
    return binding::call(function.get(), {annotation});
}

// ---------------------------------------------------------------------------
// Annotated, markers and origins

Result<const OriginCache*> origins() { return ORIGIN_CACHE.get_or_build(origin_cache); }

Result<AnnotatedParts> annotated_parts(PyObject* typing, PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(Ref args, get_args(typing, annotation));
    DOVRANE_ASSIGN_OR_RETURN(std::vector<Ref> items, binding::collect(args.get()));
    if (items.empty()) {
        return SchemaError::new_err("Annotated[...] annotation has no underlying type");
    }
    AnnotatedParts parts;
    parts.base = std::move(items.front());
    parts.metadata.assign(std::make_move_iterator(items.begin() + 1), std::make_move_iterator(items.end()));
    return parts;
}

Result<AnnotatedParts> unwrap_annotated(PyObject* typing, PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(Ref origin, get_origin(typing, annotation));
    DOVRANE_ASSIGN_OR_RETURN(Ref annotated, binding::getattr(typing, names::annotated_name));
    if (origin.get() != annotated.get()) {
        return AnnotatedParts{Ref::borrow(annotation), {}};
    }
    return annotated_parts(typing, annotation);
}

Result<Ref> find_marker(const std::vector<Ref>& metadata, PyObject* cls) {
    for (const Ref& item : metadata) {
        DOVRANE_ASSIGN_OR_RETURN(bool matches, binding::is_instance(item.get(), cls));
        if (matches) {
            return item;
        }
    }
    return Ref();
}

Result<bool> is_maybe_annotation(PyObject* typing, PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(AnnotatedParts parts, unwrap_annotated(typing, annotation));
    DOVRANE_ASSIGN_OR_RETURN(Ref origin, get_origin(typing, parts.base.get()));
    return is_maybe_origin(origin.get());
}

Result<bool> is_maybe_origin(PyObject* origin) {
    if (origin == Py_None) {
        return false;
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref module, binding::import_module(names::dovrane_maybe_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref maybe, binding::getattr(module.get(), names::maybe_name));
    return origin == maybe.get();
}

Result<bool> is_union_origin(PyObject* origin) {
    DOVRANE_ASSIGN_OR_RETURN(const OriginCache* cache, origins());
    return origin == cache->typing_union.get() || origin == cache->union_type.get();
}

// ---------------------------------------------------------------------------
// Naming

// The type info that names `annotation`. A class counts only when it carries
// one itself: attribute lookup would also find a decorated base's, so a class
// being processed (which has no info yet) would take its base's name for its
// own self-references, and an undecorated subclass would pass for its base.
Result<Ref> own_type_info(PyObject* annotation) {
    if (PyType_Check(annotation)) {
        DOVRANE_ASSIGN_OR_RETURN(Ref own, binding::getattr_or_empty(annotation, names::dunder_dict_name));
        if (!own) {
            return Ref();
        }
        DOVRANE_ASSIGN_OR_RETURN(PyObject * key, names::dunder_dovrane_type_info_name.get());
        int carried = PySequence_Contains(own.get(), key);
        if (carried <= 0) {
            if (carried < 0) {
                DOVRANE_TRY(binding::discard_current_exception());
            }
            return Ref();
        }
    }
    return binding::getattr_or_empty(annotation, names::dunder_dovrane_type_info_name);
}

Result<std::string> named_type_name(PyObject* annotation) {
    DOVRANE_ASSIGN_OR_RETURN(const LazyModuleCache* lazy, lazy_helpers());
    DOVRANE_ASSIGN_OR_RETURN(bool is_placeholder, binding::is_instance(annotation, lazy->lazy_type.get()));
    if (is_placeholder) {
        return lazy_placeholder_name(annotation);
    }

    // By identity: a subclass of str is not String, and bool is not Int.
    DOVRANE_ASSIGN_OR_RETURN(const BuiltinScalarCache* scalars, builtin_scalars());
    for (std::size_t i = 0; i < scalars->classes.size(); ++i) {
        if (annotation == scalars->classes[i].get()) {
            return std::string(builtin_scalar_names[i]);
        }
    }

    DOVRANE_ASSIGN_OR_RETURN(Ref info, own_type_info(annotation));
    if (info) {
        return binding::str_attribute(info.get(), names::name_name);
    }

    DOVRANE_ASSIGN_OR_RETURN(Ref dunder_name, binding::getattr_or_empty(annotation, names::dunder_name_name));
    if (dunder_name && PyUnicode_Check(dunder_name.get())) {
        auto text = binding::to_str(dunder_name.get());
        if (text.ok()) {
            return std::string(text.value());
        }
        DOVRANE_TRY(binding::discard_exception(text.take_error()));
    }

    // A string annotation never evaluated names the type it spells.
    DOVRANE_ASSIGN_OR_RETURN(Ref text, binding::str_of(annotation));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view view, binding::to_str(text.get()));
    return std::string(view);
}

// ---------------------------------------------------------------------------
// Lazy namespaces

Result<PyObject*> lazy_type_class() {
    DOVRANE_ASSIGN_OR_RETURN(const LazyModuleCache* lazy, lazy_helpers());
    return lazy->lazy_type.get();
}

binding::Status seed_lazy_namespace_for_class(PyObject* cls, PyObject* namespace_dict) {
    DOVRANE_ASSIGN_OR_RETURN(const LazyModuleCache* lazy, lazy_helpers());
    return seed(lazy->namespace_for_class.get(), cls, namespace_dict);
}

binding::Status seed_lazy_namespace_for_callable(PyObject* func, PyObject* namespace_dict) {
    DOVRANE_ASSIGN_OR_RETURN(const LazyModuleCache* lazy, lazy_helpers());
    return seed(lazy->namespace_for_callable.get(), func, namespace_dict);
}

binding::Result<Ref> get_type_hints(PyObject* typing, PyObject* target, PyObject* namespace_dict) {
    DOVRANE_ASSIGN_OR_RETURN(Ref function, binding::getattr(typing, names::get_type_hints_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref keywords, binding::new_dict());
    DOVRANE_ASSIGN_OR_RETURN(PyObject * localns, names::localns_name.get());
    DOVRANE_ASSIGN_OR_RETURN(PyObject * include_extras, names::include_extras_name.get());
    DOVRANE_TRY(binding::dict_set(keywords.get(), localns, namespace_dict));
    DOVRANE_TRY(binding::dict_set(keywords.get(), include_extras, Py_True));
    return binding::call(function.get(), {target}, keywords.get());
}

binding::Result<Ref> class_type_hints(PyObject* typing, PyObject* cls, PyObject* class_name) {
    DOVRANE_ASSIGN_OR_RETURN(Ref namespace_dict, binding::new_dict());
    DOVRANE_TRY(binding::dict_set(namespace_dict.get(), class_name, cls));
    DOVRANE_TRY(seed_lazy_namespace_for_class(cls, namespace_dict.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref hints, get_type_hints(typing, cls, namespace_dict.get()));
    if (!PyDict_Check(hints.get())) {
        return binding::new_dict();
    }
    return hints;
}

}  // namespace _dovrane::typing_utils
