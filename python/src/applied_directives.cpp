// Applied directives, read at schema build time. Nothing here is exposed to
// Python by itself; in Python terms, extraction reads:
//
//     def extract_applied_directives(directives):
//         for item in directives:                  # an item without a descriptor is skipped
//             d = item.__dovrane_directive_info__
//             yield AppliedDirective(d.name, [(f.name if f.graphql_name is None else f.graphql_name,
//                                              python_to_json_value(getattr(item, f.name)))
//                                             for f in d.fields])
#include "src/applied_directives.hpp"

#include <string>
#include <utility>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "src/error.hpp"
#include "src/host_names.hpp"
#include "src/values.hpp"

namespace _dovrane::applied_directives {

namespace {

using binding::Ref;
using dovrane_core::schema::AppliedDirective;

// The descriptor of a directive instance; empty for an item that is not one
// (its lookup raised an Exception, which is discarded).
binding::Result<Ref> directive_descriptor(PyObject* item) {
    auto descriptor = binding::getattr(item, names::dunder_dovrane_directive_info_name);
    if (!descriptor.ok()) {
        DOVRANE_TRY(binding::discard_exception(descriptor.take_error()));
        return Ref();
    }
    return std::move(descriptor).value();
}

binding::Status append_argument(AppliedDirective& directive, PyObject* instance, PyObject* field) {
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::getattr(field, names::name_name));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view name_text, binding::to_str(name.get()));
    DOVRANE_ASSIGN_OR_RETURN(Ref graphql_name, binding::getattr(field, names::graphql_name_name));
    std::string key;
    if (graphql_name.get() == Py_None) {
        key = name_text;
    } else {
        DOVRANE_ASSIGN_OR_RETURN(std::string_view graphql_text, binding::to_str(graphql_name.get()));
        key = graphql_text;
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::getattr(instance, name.get()));
    DOVRANE_ASSIGN_OR_RETURN(dovrane_core::json::Value json, values::python_to_json_value(value.get()));
    directive.arguments.emplace_back(std::move(key), std::move(json));
    return {};
}

// "A, B" from the declared locations, in order, repeats kept.
std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += names[i];
    }
    return out;
}

}  // namespace

binding::Result<std::vector<AppliedDirective>> extract_applied_directives(PyObject* directives) {
    std::vector<AppliedDirective> result;
    DOVRANE_TRY(binding::for_each_item(directives, [&result](PyObject* item) -> binding::Status {
        DOVRANE_ASSIGN_OR_RETURN(Ref descriptor, directive_descriptor(item));
        if (!descriptor) {
            return {};
        }
        AppliedDirective directive;
        DOVRANE_ASSIGN_OR_RETURN(directive.name, binding::str_attribute(descriptor.get(), names::name_name));
        DOVRANE_ASSIGN_OR_RETURN(Ref fields, binding::getattr(descriptor.get(), names::fields_name));
        DOVRANE_TRY(binding::for_each_item(fields.get(), [&directive, item](PyObject* field) {
            return append_argument(directive, item, field);
        }));
        result.push_back(std::move(directive));
        return {};
    }));
    return result;
}

binding::Status validate_directive_locations(PyObject* directives, std::string_view location,
                                             std::string_view target) {
    return binding::for_each_item(directives, [location, target](PyObject* item) -> binding::Status {
        DOVRANE_ASSIGN_OR_RETURN(Ref descriptor, directive_descriptor(item));
        if (!descriptor) {
            return {};
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref locations, binding::getattr(descriptor.get(), names::locations_name));
        DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> declared, binding::to_str_list(locations.get()));
        for (const std::string& name : declared) {
            if (name == location) {
                return {};
            }
        }
        DOVRANE_ASSIGN_OR_RETURN(std::string name, binding::str_attribute(descriptor.get(), names::name_name));
        std::string message = "directive '@";
        message.append(name).append("' cannot be applied to '").append(target).append("' (");
        message.append(location).append("); declared locations: ").append(joined(declared));
        return error::SchemaError::new_err(std::move(message));
    });
}

binding::Result<Ref> directive_instance_list(PyObject* directives, std::string_view place,
                                            std::string_view item_word) {
    // Iterable means a class with __iter__ or __getitem__, as iter() reads it.
    PyObject* cls = reinterpret_cast<PyObject*>(Py_TYPE(directives));
    DOVRANE_ASSIGN_OR_RETURN(Ref iter_method, binding::getattr_or_empty(cls, names::dunder_iter_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref getitem_method, binding::getattr_or_empty(cls, names::dunder_getitem_name));
    if (PyUnicode_Check(directives) || (!iter_method && !getitem_method)) {
        return binding::conversion_error_at(place, "an iterable of directive instances", directives);
    }
    Ref items = Ref::steal(PySequence_List(directives));
    if (!items) {
        return binding::Error::fetch();
    }
    const Py_ssize_t count = PyList_Size(items.get());
    for (Py_ssize_t i = 0; i < count; ++i) {
        Ref item = Ref::borrow(PyList_GetItem(items.get(), i));  // owned: the lookup may run Python code
        DOVRANE_ASSIGN_OR_RETURN(Ref descriptor, directive_descriptor(item.get()));
        if (!descriptor) {
            std::string item_place(place);
            item_place.append(item_word).append(" ").append(std::to_string(i)).append(": ");
            return binding::conversion_error_at(item_place, "a directive instance", item.get());
        }
    }
    return items;
}

binding::Result<std::vector<AppliedDirective>> checked_applied_directives(PyObject* directives,
                                                                          std::string_view location,
                                                                          std::string_view target) {
    Ref items = Ref::steal(PySequence_List(directives));
    if (!items) {
        return binding::Error::fetch();
    }
    DOVRANE_TRY(validate_directive_locations(items.get(), location, target));
    return extract_applied_directives(items.get());
}

}  // namespace _dovrane::applied_directives
