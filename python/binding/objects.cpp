#include "binding/objects.hpp"

namespace _dovrane::binding {

namespace {

Result<Ref> owned_or_error(PyObject* object) {
    if (object == nullptr) {
        return Error::fetch();
    }
    return Ref::steal(object);
}

InternedName operator_name{"operator"};
InternedName length_hint_name{"length_hint"};
InternedName name_name{"__name__"};
OnceCell<Ref> length_hint_cell;

}  // namespace

Result<Ref> getattr(PyObject* object, InternedName& name) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * text, name.get());
    return owned_or_error(PyObject_GetAttr(object, text));
}

Result<Ref> getattr(PyObject* object, PyObject* name) { return owned_or_error(PyObject_GetAttr(object, name)); }

Result<Ref> getattr_or_empty(PyObject* object, InternedName& name) {
    auto value = getattr(object, name);
    if (!value.ok()) {
        DOVRANE_TRY(discard_exception(value.take_error()));
        return Ref();
    }
    return value;
}

Result<Ref> import_module(InternedName& name) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * text, name.get());
    return owned_or_error(PyImport_Import(text));
}

Result<Ref> call(PyObject* callable, std::initializer_list<PyObject*> args, PyObject* kwargs) {
    if (args.size() == 0 && kwargs == nullptr) {
        return owned_or_error(PyObject_CallNoArgs(callable));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref tuple, new_tuple(args));
    return owned_or_error(PyObject_Call(callable, tuple.get(), kwargs));
}

Result<bool> is_instance(PyObject* object, PyObject* cls) {
    int answer = PyObject_IsInstance(object, cls);
    if (answer < 0) {
        return Error::fetch();
    }
    return answer == 1;
}

Result<bool> equals(PyObject* a, PyObject* b) {
    int answer = PyObject_RichCompareBool(a, b, Py_EQ);
    if (answer < 0) {
        return Error::fetch();
    }
    return answer == 1;
}

Result<Ref> str_of(PyObject* object) { return owned_or_error(PyObject_Str(object)); }

Result<Py_ssize_t> length_hint(PyObject* object) {
    if (PyList_CheckExact(object)) {
        return PyList_Size(object);
    }
    if (PyTuple_CheckExact(object)) {
        return PyTuple_Size(object);
    }
    auto function = length_hint_cell.get_or_build([]() -> Result<Ref> {
        DOVRANE_ASSIGN_OR_RETURN(Ref module, import_module(operator_name));
        return getattr(module.get(), length_hint_name);
    });
    Ref hint;
    if (function.ok()) {
        auto answer = call(function.value()->get(), {object});
        if (answer.ok()) {
            hint = std::move(answer).value();
        } else {
            std::move(answer).take_error().restore();
        }
    } else {
        std::move(function).take_error().restore();
    }
    Py_ssize_t size = hint ? PyLong_AsSsize_t(hint.get()) : -1;
    if (size >= 0) {
        return size;
    }
    if (PyErr_Occurred() != nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_Exception)) {
            return Error::fetch();
        }
        PyErr_WriteUnraisable(object);
    }
    return Py_ssize_t{0};
}

Result<std::vector<Ref>> collect(PyObject* iterable) {
    DOVRANE_ASSIGN_OR_RETURN(Py_ssize_t hint, length_hint(iterable));
    Ref iterator = Ref::steal(PyObject_GetIter(iterable));
    if (!iterator) {
        return Error::fetch();
    }
    std::vector<Ref> items;
    items.reserve(static_cast<std::size_t>(hint));
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
        items.push_back(std::move(item));
    }
    if (PyErr_Occurred() != nullptr) {
        return Error::fetch();
    }
    return items;
}

Result<std::string> type_name(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(Ref name, getattr(reinterpret_cast<PyObject*>(Py_TYPE(object)), name_name));
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
    if (text == nullptr) {
        Status discarded = discard_current_exception();
        if (!discarded.ok()) {
            return discarded.take_error();
        }
        return std::string("object");
    }
    return std::string(text, static_cast<std::size_t>(size));
}

Ref none() { return Ref::borrow(Py_None); }

Ref boolean(bool value) { return Ref::borrow(value ? Py_True : Py_False); }

Result<Ref> new_str(std::string_view text) {
    return owned_or_error(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

Result<Ref> new_str_lossy(std::string_view text) {
    return owned_or_error(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

Result<Ref> new_int(std::int64_t value) { return owned_or_error(PyLong_FromLongLong(value)); }

Result<Ref> new_uint(std::uint64_t value) { return owned_or_error(PyLong_FromUnsignedLongLong(value)); }

Result<Ref> new_float(double value) { return owned_or_error(PyFloat_FromDouble(value)); }

Result<Ref> new_list(const std::vector<Ref>& items) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) {
        return Error::fetch();
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), Ref(items[i]).release());  // steals
    }
    return list;
}

Result<Ref> new_tuple(std::initializer_list<PyObject*> items) {
    Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(items.size())));
    if (!tuple) {
        return Error::fetch();
    }
    Py_ssize_t index = 0;
    for (PyObject* item : items) {
        PyTuple_SetItem(tuple.get(), index++, Ref::borrow(item).release());  // steals
    }
    return tuple;
}

Result<Ref> new_dict() { return owned_or_error(PyDict_New()); }

Status dict_set(PyObject* dict, PyObject* key, PyObject* value) {
    if (PyDict_SetItem(dict, key, value) < 0) {
        return Error::fetch();
    }
    return {};
}

}  // namespace _dovrane::binding
