// Resolver and operation-directive parameter binding, read once at schema
// build time. Nothing here is exposed to Python directly; in Python terms:
//
//     def classify_parameters(owner, func, parent_marker, value_marker, hint):
//         function = func.__func__ / func.func / type(func).__call__ ... (methods, partials,
//                                                              callable objects)
//         hints = typing.get_type_hints(function, localns={owner.__name__: owner, **lazy_names},
//                                       include_extras=True)
//         for p in inspect.signature(func).parameters.values():
//             annotation = hints.get(p.name, p.annotation)
//             origin = typing.get_origin(annotation)
//             if origin is parent_marker:                         -> the parent parameter
//             elif annotation is Info or origin is Info:           -> the info parameter
//             elif Annotated[..., Depends(...)]:                   -> left out
//             elif annotation or origin is value_marker:           -> the directive value
//             else:                                                -> an argument
#include "src/resolver_binding.hpp"

#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/limits.hpp"
#include "src/annotation_resolution.hpp"
#include "src/applied_directives.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/typing_utils.hpp"
#include "src/values.hpp"

namespace _dovrane::resolver_binding {

namespace {

using binding::Ref;
using dovrane_core::schema::ArgumentDefinition;
using error::SchemaError;

// The plain function whose annotations a resolver carries: a bound method (a
// class method reached through its class or an instance included) and a static
// or class method object by their `__func__`, a functools.partial by the
// function it wraps, another callable object by its class's `__call__`.
// Classes, builtins and plain functions (decorated ones among them) stay as
// they are. `get_type_hints` refuses partials and callable objects outright,
// and on 3.10 it reads a method's defaults as a function's (below).
binding::Result<Ref> annotated_function(PyObject* types, PyObject* function_type, PyObject* func) {
    DOVRANE_ASSIGN_OR_RETURN(Ref method_type, binding::getattr(types, names::method_type_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref functools, binding::import_module(names::functools_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref partial_type, binding::getattr(functools.get(), names::partial_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref builtins, binding::import_module(names::builtins_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref staticmethod_type, binding::getattr(builtins.get(), names::staticmethod_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref classmethod_type, binding::getattr(builtins.get(), names::classmethod_name));

    Ref current = Ref::borrow(func);
    // Each step unwraps one layer; a chain this long was built to loop.
    for (std::size_t step = 0; step < dovrane_core::limits::max_annotation_depth; ++step) {
        PyObject* object = current.get();
        if (reinterpret_cast<PyObject*>(Py_TYPE(object)) == function_type || PyType_Check(object)) {
            break;
        }
        binding::InternedName* inner = nullptr;
        DOVRANE_ASSIGN_OR_RETURN(bool is_method, binding::is_instance(object, method_type.get()));
        DOVRANE_ASSIGN_OR_RETURN(bool is_static, binding::is_instance(object, staticmethod_type.get()));
        DOVRANE_ASSIGN_OR_RETURN(bool is_class_method, binding::is_instance(object, classmethod_type.get()));
        DOVRANE_ASSIGN_OR_RETURN(bool is_partial, binding::is_instance(object, partial_type.get()));
        if (is_method || is_static || is_class_method) {
            inner = &names::dunder_func_name;
        } else if (is_partial) {
            inner = &names::func_name;
        }
        if (inner != nullptr) {
            DOVRANE_ASSIGN_OR_RETURN(current, binding::getattr(object, *inner));
            continue;
        }
        // A callable object: its class's __call__, when that is a function.
        DOVRANE_ASSIGN_OR_RETURN(Ref call, binding::getattr_or_empty(reinterpret_cast<PyObject*>(Py_TYPE(object)),
                                                                     names::dunder_call_name));
        if (!call || reinterpret_cast<PyObject*>(Py_TYPE(call.get())) != function_type) {
            break;
        }
        current = std::move(call);
    }
    return current;
}

// Python 3.10's get_type_hints wraps the hint of every parameter whose default
// is None in Optional[...], so `info: Info = None` would stop being the info
// parameter and `limit: int = None` would turn nullable; 3.11 stopped doing so.
// On 3.10 the hints are read from a copy of the function made without its
// defaults; later interpreters read the function itself. `func` is what
// `annotated_function` gave.
binding::Result<Ref> hints_target(PyObject* function_type, PyObject* func) {
    if (binding::python_at_least(11) || reinterpret_cast<PyObject*>(Py_TYPE(func)) != function_type) {
        return Ref::borrow(func);
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref code, binding::getattr(func, names::dunder_code_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref globals, binding::getattr(func, names::dunder_globals_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::getattr(func, names::dunder_name_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref closure, binding::getattr(func, names::dunder_closure_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref copy, binding::call(function_type, {code.get(), globals.get(), name.get(),
                                                                           Py_None, closure.get()}));
    for (binding::InternedName* attribute :
         {&names::dunder_annotations_name, &names::dunder_qualname_name, &names::dunder_module_name}) {
        DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::getattr(func, *attribute));
        DOVRANE_ASSIGN_OR_RETURN(PyObject * text, attribute->get());
        if (PyObject_SetAttr(copy.get(), text, value.get()) < 0) {
            return binding::Error::fetch();
        }
    }
    // get_type_hints follows __wrapped__ to find the globals of a decorated function.
    auto wrapped = binding::getattr(func, names::dunder_wrapped_name);
    if (wrapped.ok()) {
        DOVRANE_ASSIGN_OR_RETURN(PyObject * text, names::dunder_wrapped_name.get());
        if (PyObject_SetAttr(copy.get(), text, wrapped.value().get()) < 0) {
            return binding::Error::fetch();
        }
    } else if (!wrapped.error().matches(PyExc_AttributeError)) {
        return wrapped.take_error();
    }
    return copy;
}

// "could not resolve parameter annotations for '{qualname}': {Type: text}"
binding::Error unresolved_annotations(PyObject* func, binding::Error cause) {
    std::string qualname;
    auto read = binding::getattr(func, names::dunder_qualname_name);
    if (read.ok()) {
        auto text = binding::to_str(read.value().get());
        if (text.ok()) {
            qualname = text.value();
        } else {
            binding::Status discarded = binding::discard_exception(text.take_error());
            if (!discarded.ok()) {
                return discarded.take_error();
            }
        }
    } else {
        binding::Status discarded = binding::discard_exception(read.take_error());
        if (!discarded.ok()) {
            return discarded.take_error();
        }
    }
    auto described = binding::describe_exception(cause);
    if (!described.ok()) {
        return described.take_error();
    }
    return SchemaError::new_err("could not resolve parameter annotations for '" + qualname + "': " +
                                described.value());
}

// `typing.get_type_hints(func, localns=..., include_extras=True)` with the
// owner and the host's lazy names in the local namespace, where `func` is the
// function itself or, for a method, a static or class method, a partial or a
// callable object, the function behind it; a failure is the
// SchemaError "could not resolve parameter annotations for '{}': {}".
binding::Result<Ref> resolve_annotations(PyObject* typing, PyObject* owner, PyObject* func) {
    DOVRANE_ASSIGN_OR_RETURN(Ref namespace_dict, binding::new_dict());
    if (owner != nullptr) {
        DOVRANE_ASSIGN_OR_RETURN(Ref owner_name, binding::getattr(owner, names::dunder_name_name));
        DOVRANE_TRY(binding::to_str(owner_name.get()));
        DOVRANE_TRY(binding::dict_set(namespace_dict.get(), owner_name.get(), owner));
    }
    DOVRANE_TRY(typing_utils::seed_lazy_namespace_for_callable(func, namespace_dict.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref types, binding::import_module(names::types_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref function_type, binding::getattr(types.get(), names::function_type_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref function, annotated_function(types.get(), function_type.get(), func));
    DOVRANE_ASSIGN_OR_RETURN(Ref target, hints_target(function_type.get(), function.get()));
    auto hints = typing_utils::get_type_hints(typing, target.get(), namespace_dict.get());
    if (!hints.ok()) {
        // KeyboardInterrupt and SystemExit are not annotation problems.
        if (!hints.error().matches(PyExc_Exception)) {
            return hints.take_error();
        }
        return unresolved_annotations(function.get(), hints.take_error());
    }
    DOVRANE_TRY(binding::to_dict(hints.value().get()));
    return std::move(hints).value();
}

// One argument parameter: its `Argument` configuration (the first in the
// `Annotated` metadata), type, Maybe flag, default literal and directives.
binding::Result<ArgumentDefinition> classify_argument(PyObject* typing, std::string name, PyObject* annotation,
                                                      bool has_default, std::optional<std::string> literal) {
    DOVRANE_ASSIGN_OR_RETURN(bool is_maybe, typing_utils::is_maybe_annotation(typing, annotation));
    DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts, typing_utils::unwrap_annotated(typing, annotation));
    DOVRANE_ASSIGN_OR_RETURN(Ref resolver_module, binding::import_module(names::dovrane_resolver_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref argument_class, binding::getattr(resolver_module.get(), names::argument_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref configuration, typing_utils::find_marker(parts.metadata, argument_class.get()));

    ArgumentDefinition argument;
    Ref graphql_type;
    Ref directives;
    if (configuration) {
        DOVRANE_ASSIGN_OR_RETURN(argument.graphql_name,
                                 binding::optional_str_attribute(configuration.get(), names::name_name));
        DOVRANE_ASSIGN_OR_RETURN(argument.description,
                                 binding::optional_str_attribute(configuration.get(), names::description_name));
        DOVRANE_ASSIGN_OR_RETURN(argument.deprecation_reason,
                                 binding::optional_str_attribute(configuration.get(), names::deprecation_reason_name));
        DOVRANE_ASSIGN_OR_RETURN(graphql_type, binding::getattr(configuration.get(), names::graphql_type_name));
        if (graphql_type.get() == Py_None) {
            graphql_type.reset();
        }
        DOVRANE_ASSIGN_OR_RETURN(directives, binding::getattr(configuration.get(), names::directives_name));
    }
    DOVRANE_ASSIGN_OR_RETURN(argument.arg_type, annotation_resolution::resolve_graphql_type(
                                                     typing, graphql_type ? graphql_type.get() : parts.base.get()));
    if (!directives) {
        directives = Ref::steal(PyTuple_New(0));
        if (!directives) {
            return binding::Error::fetch();
        }
    }
    DOVRANE_ASSIGN_OR_RETURN(argument.directives,
                             applied_directives::checked_applied_directives(directives.get(), "ARGUMENT_DEFINITION",
                                                                            name));
    argument.name = std::move(name);
    argument.has_default = has_default;
    if (!is_maybe) {
        argument.default_value = std::move(literal);
    }
    argument.is_maybe = is_maybe;
    return argument;
}

}  // namespace

binding::Result<ClassifiedParameters> classify_parameters(PyObject* owner, PyObject* func, PyObject* parent_marker,
                                                          PyObject* value_marker, std::string_view hint) {
    DOVRANE_ASSIGN_OR_RETURN(Ref inspect, binding::import_module(names::inspect_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(names::typing_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref resolver_module, binding::import_module(names::dovrane_resolver_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref info_marker, binding::getattr(resolver_module.get(), names::info_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref depends_marker, binding::getattr(resolver_module.get(), names::depends_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref parameter_class, binding::getattr(inspect.get(), names::parameter_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref empty, binding::getattr(parameter_class.get(), names::empty_name));

    DOVRANE_ASSIGN_OR_RETURN(Ref signature_function, binding::getattr(inspect.get(), names::signature_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref signature, binding::call(signature_function.get(), {func}));
    DOVRANE_ASSIGN_OR_RETURN(Ref parameters, binding::getattr(signature.get(), names::parameters_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref values_method, binding::getattr(parameters.get(), names::values_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref values, binding::call(values_method.get(), {}));

    // Before any parameter is looked at: an unresolvable annotation fails the
    // call wherever it stands.
    DOVRANE_ASSIGN_OR_RETURN(Ref hints, resolve_annotations(typing.get(), owner, func));

    ClassifiedParameters classified;
    DOVRANE_ASSIGN_OR_RETURN(std::vector<Ref> parameter_list, binding::collect(values.get()));
    for (const Ref& parameter : parameter_list) {
        DOVRANE_ASSIGN_OR_RETURN(std::string name, binding::str_attribute(parameter.get(), names::name_name));
        DOVRANE_ASSIGN_OR_RETURN(Ref annotation, binding::getattr(parameter.get(), names::annotation_name));
        if (annotation.get() == empty.get()) {
            if (parent_marker != nullptr && (name == "self" || name == "root")) {
                return SchemaError::new_err("resolver parameter '" + name +
                                            "' has no type annotation -- dovrane does not bind an implicit parent "
                                            "value by name; annotate it as Parent[T] instead");
            }
            return SchemaError::new_err("parameter '" + name + "' has no type annotation; annotate it as " +
                                        std::string(hint));
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref key, binding::new_str(name));
        PyObject* hinted = PyDict_GetItemWithError(hints.get(), key.get());  // borrowed
        if (hinted != nullptr) {
            annotation = Ref::borrow(hinted);
        } else if (PyErr_Occurred() != nullptr) {
            return binding::Error::fetch();
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref origin, typing_utils::get_origin(typing.get(), annotation.get()));

        if (parent_marker != nullptr && origin.get() == parent_marker) {
            if (classified.parent_parameter) {
                return SchemaError::new_err("resolver declares more than one Parent[T] parameter");
            }
            classified.parent_parameter = std::move(name);
            continue;
        }
        if (annotation.get() == info_marker.get() || origin.get() == info_marker.get()) {
            if (classified.info_parameter) {
                return SchemaError::new_err("declares more than one Info parameter");
            }
            classified.info_parameter = std::move(name);
            continue;
        }
        DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts,
                                 typing_utils::unwrap_annotated(typing.get(), annotation.get()));
        DOVRANE_ASSIGN_OR_RETURN(Ref depends, typing_utils::find_marker(parts.metadata, depends_marker.get()));
        if (depends) {
            continue;  // injected by the host at execution time
        }
        if (value_marker != nullptr && (annotation.get() == value_marker || origin.get() == value_marker)) {
            if (classified.value_parameter) {
                return SchemaError::new_err("directive declares more than one DirectiveValue[T] parameter");
            }
            classified.value_parameter = std::move(name);
            continue;
        }

        DOVRANE_ASSIGN_OR_RETURN(Ref default_value, binding::getattr(parameter.get(), names::default_name));
        bool has_default = default_value.get() != empty.get();
        std::optional<std::string> literal;
        if (has_default) {
            DOVRANE_ASSIGN_OR_RETURN(literal, values::python_default_to_graphql_literal(default_value.get()));
        }
        DOVRANE_ASSIGN_OR_RETURN(ArgumentDefinition argument,
                                 classify_argument(typing.get(), std::move(name), annotation.get(), has_default,
                                                   std::move(literal)));
        classified.arguments.push_back(std::move(argument));
    }
    return classified;
}

binding::Result<ClassifiedParameters> bind_resolver_arguments(PyObject* cls, PyObject* resolver) {
    DOVRANE_ASSIGN_OR_RETURN(Ref resolver_module, binding::import_module(names::dovrane_resolver_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref parent_marker, binding::getattr(resolver_module.get(), names::parent_name));
    // No value marker: `value_parameter` stays unset.
    return classify_parameters(cls, resolver, parent_marker.get(), nullptr, resolver_hint);
}

}  // namespace _dovrane::resolver_binding
