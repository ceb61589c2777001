// _dovrane_testing: probes of the binding layer alone, no GraphQL in them.
//
// Argument binding and conversion, docstrings and signatures, failures
// thrown out of a function body, once-cells, and a class built with and
// without a docstring.
#include <Python.h>

#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/cells.hpp"
#include "binding/classes.hpp"
#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/objects.hpp"
#include "binding/refs.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;

// probe(query, operation_name=None, *, kind, validate=False): binds and
// converts like a module function, and returns what it got.
constexpr binding::Parameter probe_parameters[] = {
    binding::required("query"),
    binding::optional("operation_name"),
    binding::keyword_required("kind"),
    binding::keyword_optional("validate"),
};
binding::Result<Ref> probe(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(1, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind, arguments.convert(2, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(bool validate, arguments.convert_or(3, binding::to_flag, false));
    DOVRANE_ASSIGN_OR_RETURN(Ref query_text, binding::new_str(query));
    Ref operation = binding::none();
    if (operation_name) {
        DOVRANE_ASSIGN_OR_RETURN(operation, binding::new_str(*operation_name));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref kind_text, binding::new_str(kind));
    Ref flag = binding::boolean(validate);
    return binding::new_tuple({query_text.get(), operation.get(), kind_text.get(), flag.get()});
}
constexpr binding::Function probe_function = {
    binding::signature("probe", probe_parameters),
    DOVRANE_DOC("probe(query, operation_name=None, *, kind, validate=False)",
                "Returns (query, operation_name, kind, validate) as bound and converted."),
    probe,
};

// probe_range(a, b=None, c=None)
constexpr binding::Parameter probe_range_parameters[] = {
    binding::required("a"),
    binding::optional("b"),
    binding::optional("c"),
};
binding::Result<Ref> probe_range(PyObject*, binding::Arguments& arguments) {
    return binding::new_tuple({arguments[0], arguments.given(1) ? arguments[1] : Py_None,
                               arguments.given(2) ? arguments[2] : Py_None});
}
constexpr binding::Function probe_range_function = {
    binding::signature("probe_range", probe_range_parameters),
    DOVRANE_DOC("probe_range(a, b=None, c=None)", "Returns (a, b, c)."),
    probe_range,
};

// probe_keywords(*, first, second, third=None)
constexpr binding::Parameter probe_keywords_parameters[] = {
    binding::keyword_required("first"),
    binding::keyword_required("second"),
    binding::keyword_optional("third"),
};
binding::Result<Ref> probe_keywords(PyObject*, binding::Arguments& arguments) {
    return binding::new_tuple({arguments[0], arguments[1], arguments.given(2) ? arguments[2] : Py_None});
}
constexpr binding::Function probe_keywords_function = {
    binding::signature("probe_keywords", probe_keywords_parameters),
    DOVRANE_DOC("probe_keywords(*, first, second, third=None)", "Returns (first, second, third)."),
    probe_keywords,
};

// probe_nothing()
binding::Result<Ref> probe_nothing(PyObject*, binding::Arguments&) { return binding::none(); }
constexpr binding::Function probe_nothing_function = {
    binding::signature("probe_nothing"),
    DOVRANE_DOC("probe_nothing()", "Takes nothing."),
    probe_nothing,
};

// probe_sequence(items): the str list conversion.
constexpr binding::Parameter probe_sequence_parameters[] = {binding::required("items")};
binding::Result<Ref> probe_sequence(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> items, arguments.convert(0, binding::to_str_list));
    std::vector<Ref> objects;
    for (const std::string& item : items) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_str(item));
        objects.push_back(std::move(object));
    }
    return binding::new_list(objects);
}
constexpr binding::Function probe_sequence_function = {
    binding::signature("probe_sequence", probe_sequence_parameters),
    DOVRANE_DOC("probe_sequence(items)", "The items, converted as a list of str."),
    probe_sequence,
};

// probe_dict(mapping): the dict conversion and the checked walk; returns the keys.
constexpr binding::Parameter probe_dict_parameters[] = {binding::required("mapping")};
binding::Result<Ref> probe_dict(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * dict, arguments.convert(0, binding::to_dict));
    binding::DictIterator entries(dict);
    std::vector<Ref> keys;
    Ref key;
    Ref value;
    for (;;) {
        DOVRANE_ASSIGN_OR_RETURN(bool more, entries.next(key, value));
        if (!more) {
            break;
        }
        keys.push_back(key);
    }
    return binding::new_list(keys);
}
constexpr binding::Function probe_dict_function = {
    binding::signature("probe_dict", probe_dict_parameters),
    DOVRANE_DOC("probe_dict(mapping)", "The keys of a dict, walked with the checked iterator."),
    probe_dict,
};

// probe_type(cls)
constexpr binding::Parameter probe_type_parameters[] = {binding::required("cls")};
binding::Result<Ref> probe_type(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, arguments.convert(0, binding::to_type));
    return Ref::borrow(cls);
}
constexpr binding::Function probe_type_function = {
    binding::signature("probe_type", probe_type_parameters),
    DOVRANE_DOC("probe_type(cls)", "The class, converted as a type."),
    probe_type,
};

// fail(kind, message): "panic" raises the panic exception; "bad_alloc" and
// "runtime_error" throw that C++ exception out of the function body.
constexpr binding::Parameter fail_parameters[] = {binding::required("kind"), binding::required("message")};
binding::Result<Ref> fail(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view message, arguments.convert(1, binding::to_str));
    if (kind == "panic") {
        return binding::panic(std::string(message));
    }
    if (kind == "bad_alloc") {
        throw std::bad_alloc();
    }
    throw std::runtime_error(std::string(message));
}
constexpr binding::Function fail_function = {
    binding::signature("fail", fail_parameters),
    DOVRANE_DOC("fail(kind, message)", "Fails the way kind names."),
    fail,
};

// once_cell(index, builder): the value of test cell `index` (0 to 7),
// building it with builder() on first use.
binding::OnceCell<Ref> test_cells[8];
constexpr binding::Parameter once_cell_parameters[] = {binding::required("index"), binding::required("builder")};
binding::Result<Ref> once_cell(PyObject*, binding::Arguments& arguments) {
    Py_ssize_t index = PyLong_AsSsize_t(arguments[0]);
    if (index < 0 || index >= 8) {
        return PyErr_Occurred() ? binding::Error::fetch() : binding::value_error("index out of range");
    }
    PyObject* builder = arguments[1];
    DOVRANE_ASSIGN_OR_RETURN(const Ref* value,
                             test_cells[index].get_or_build([builder] { return binding::call(builder, {}); }));
    return *value;
}
constexpr binding::Function once_cell_function = {
    binding::signature("once_cell", once_cell_parameters),
    DOVRANE_DOC("once_cell(index, builder)", "The value of a test cell, built by builder() on first use."),
    once_cell,
};

// probe_record(value, *, documented): an instance of a class with or without
// a docstring, holding value.
struct ProbeRecord {
    Ref value;
    template <class Visit>
    void for_each_ref(Visit&& visit) {
        visit(value);
    }
};
PyGetSetDef probe_record_getters[] = {
    binding::getter<&ProbeRecord::value>("value"),
    {},
};
binding::Class<ProbeRecord> documented_record_class{"builtins.DocumentedRecord", "A record with a docstring.",
                                                    probe_record_getters};
binding::Class<ProbeRecord> undocumented_record_class{"builtins.UndocumentedRecord", nullptr, probe_record_getters};
constexpr binding::Parameter probe_record_parameters[] = {binding::required("value"),
                                                          binding::keyword_required("documented")};
binding::Result<Ref> probe_record(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(bool documented, arguments.convert(1, binding::to_flag));
    return binding::new_instance(documented ? documented_record_class : undocumented_record_class,
                                 ProbeRecord{Ref::borrow(arguments[0])});
}
constexpr binding::Function probe_record_function = {
    binding::signature("probe_record", probe_record_parameters),
    DOVRANE_DOC("probe_record(value, *, documented)",
                "An instance holding value, of a class with a docstring or of one without."),
    probe_record,
};

const Registration binding_probe_registrations[] = {
    {"probe", &binding::method_def<probe_function>},
    {"probe_range", &binding::method_def<probe_range_function>},
    {"probe_keywords", &binding::method_def<probe_keywords_function>},
    {"probe_nothing", &binding::method_def<probe_nothing_function>},
    {"probe_sequence", &binding::method_def<probe_sequence_function>},
    {"probe_dict", &binding::method_def<probe_dict_function>},
    {"probe_type", &binding::method_def<probe_type_function>},
    {"fail", &binding::method_def<fail_function>},
    {"once_cell", &binding::method_def<once_cell_function>},
    {"probe_record", &binding::method_def<probe_record_function>},
};

}  // namespace

std::span<const Registration> binding_probes() { return binding_probe_registrations; }

}  // namespace _dovrane::testing
