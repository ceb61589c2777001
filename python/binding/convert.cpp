#include "binding/convert.hpp"

#include <string>

#include "binding/cells.hpp"
#include "binding/objects.hpp"

namespace _dovrane::binding {

namespace {

InternedName collections_abc_name{"collections.abc"};
InternedName sequence_name{"Sequence"};
InternedName module_name{"__module__"};
InternedName bool_method_name{"__bool__"};
OnceCell<Ref> sequence_abc_cell;

bool str_equals(PyObject* object, const char* text) {
    return PyUnicode_Check(object) && PyUnicode_CompareWithASCIIString(object, text) == 0;
}

// numpy's bool scalar: `numpy.bool_` (numpy 1) or `numpy.bool` (numpy 2),
// recognised by name so numpy is never imported here.
Result<bool> is_numpy_bool(PyObject* object) {
    PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(object));
    auto module = getattr(type, module_name);
    if (!module.ok()) {
        DOVRANE_TRY(discard_exception(module.take_error()));
        return false;
    }
    if (!str_equals(module.value().get(), "numpy")) {
        return false;
    }
    DOVRANE_ASSIGN_OR_RETURN(std::string name, type_name(object));
    return name == "bool_" || name == "bool";
}

}  // namespace

Error conversion_error(std::string_view what, PyObject* object) { return conversion_error_at({}, what, object); }

Error conversion_error_at(std::string_view place, std::string_view what, PyObject* object) {
    auto name = type_name(object);
    if (!name.ok()) {
        return name.take_error();
    }
    std::string message(place);
    message.append("expected ").append(what).append(", got ").append(name.value());
    return type_error(std::move(message));
}

Result<std::string_view> to_str(PyObject* object) {
    if (!PyUnicode_Check(object)) {
        return conversion_error("str", object);
    }
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (text == nullptr) {
        return Error::fetch();
    }
    return std::string_view(text, static_cast<std::size_t>(size));
}

Result<std::optional<std::string_view>> to_optional_str(PyObject* object) {
    if (object == nullptr || object == Py_None) {
        return std::optional<std::string_view>();
    }
    DOVRANE_ASSIGN_OR_RETURN(std::string_view text, to_str(object));
    return std::optional<std::string_view>(text);
}

Result<bool> to_flag(PyObject* object) {
    if (object == Py_True) {
        return true;
    }
    if (object == Py_False) {
        return false;
    }
    DOVRANE_ASSIGN_OR_RETURN(bool numpy_bool, is_numpy_bool(object));
    if (numpy_bool) {
        DOVRANE_ASSIGN_OR_RETURN(Ref method, getattr(reinterpret_cast<PyObject*>(Py_TYPE(object)), bool_method_name));
        DOVRANE_ASSIGN_OR_RETURN(Ref answer, call(method.get(), {object}));
        if (answer.get() == Py_True || answer.get() == Py_False) {
            return answer.get() == Py_True;
        }
        return conversion_error("bool from __bool__", answer.get());
    }
    return conversion_error("bool", object);
}

Result<PyObject*> to_sequence(PyObject* object) {
    if (PyList_Check(object) || PyTuple_Check(object)) {
        return object;
    }
    if (PyUnicode_Check(object)) {
        return conversion_error("a sequence other than str", object);
    }
    DOVRANE_ASSIGN_OR_RETURN(const Ref* sequence_abc, sequence_abc_cell.get_or_build([]() -> Result<Ref> {
        DOVRANE_ASSIGN_OR_RETURN(Ref module, import_module(collections_abc_name));
        return getattr(module.get(), sequence_name);
    }));
    DOVRANE_ASSIGN_OR_RETURN(bool is_sequence, is_instance(object, sequence_abc->get()));
    if (!is_sequence) {
        return conversion_error("a sequence", object);
    }
    return object;
}

Result<PyObject*> to_dict(PyObject* object) {
    if (!PyDict_Check(object)) {
        return conversion_error("dict", object);
    }
    return object;
}

Result<std::vector<std::string>> to_str_list(PyObject* object) {
    DOVRANE_TRY(to_sequence(object));
    // Items are read one at a time: a Sequence's `__getitem__` may run code.
    Py_ssize_t size = PySequence_Size(object);
    if (size < 0) {
        return Error::fetch();
    }
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        Ref item = Ref::steal(PySequence_GetItem(object, i));
        if (!item) {
            return Error::fetch();
        }
        DOVRANE_ASSIGN_OR_RETURN(std::string_view text, to_str(item.get()));
        items.emplace_back(text);
    }
    return items;
}

Result<PyObject*> to_type(PyObject* object) {
    if (!PyType_Check(object)) {
        return conversion_error("type", object);
    }
    return object;
}

Result<std::string> str_attribute(PyObject* object, InternedName& name) {
    DOVRANE_ASSIGN_OR_RETURN(Ref value, getattr(object, name));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view text, to_str(value.get()));
    return std::string(text);
}

Result<std::optional<std::string>> optional_str_attribute(PyObject* object, InternedName& name) {
    DOVRANE_ASSIGN_OR_RETURN(Ref value, getattr(object, name));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> text, to_optional_str(value.get()));
    if (!text) {
        return std::optional<std::string>();
    }
    return std::optional<std::string>(std::string(*text));
}

DictIterator::DictIterator(PyObject* dict) : dict_(dict), size_(PyDict_Size(dict)), remaining_(size_) {}

Result<bool> DictIterator::next(Ref& key, Ref& value) {
    if (PyDict_Size(dict_) != size_) {
        size_ = -1;  // stays failed
        return panic("dictionary changed size during iteration");
    }
    PyObject* borrowed_key = nullptr;
    PyObject* borrowed_value = nullptr;
    if (!PyDict_Next(dict_, &position_, &borrowed_key, &borrowed_value)) {
        return false;
    }
    if (remaining_ == 0) {
        // More entries than the dict had: keys were removed and others added.
        size_ = -1;
        return panic("dictionary keys changed during iteration");
    }
    --remaining_;
    key = Ref::borrow(borrowed_key);
    value = Ref::borrow(borrowed_value);
    return true;
}

}  // namespace _dovrane::binding
