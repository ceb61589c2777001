// Conversions from Python objects to C++ values, and the checked dict walk.
//
// A failed conversion is a TypeError "expected str, got int" (the type's
// `__name__`); argument binding prefixes it with the parameter
// ("argument 'query': expected str, got int"). Errors raised by Python code
// that a conversion runs (numpy's `__bool__`, the str encoder) pass unchanged.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/cells.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"

namespace _dovrane::binding {

// TypeError "expected {what}, got {type name of object}".
Error conversion_error(std::string_view what, PyObject* object);
// The same after `place`, which says where in the argument the object stood
// ("item 2: expected str, got int").
Error conversion_error_at(std::string_view place, std::string_view what, PyObject* object);

// A str (or subclass) as UTF-8, valid while the object lives. A str holding
// lone surrogates fails with the encoder's UnicodeEncodeError.
Result<std::string_view> to_str(PyObject* object);
// None (or a parameter that was not given, null) is absent; otherwise a str.
Result<std::optional<std::string_view>> to_optional_str(PyObject* object);
// True or False only: ints are refused. numpy's bool scalar is read through
// its `__bool__`.
Result<bool> to_flag(PyObject* object);
// Any sequence (a list, a tuple, or an instance of collections.abc.Sequence)
// but a str, returned as the object itself.
Result<PyObject*> to_sequence(PyObject* object);
// A dict or dict subclass, returned as the object itself.
Result<PyObject*> to_dict(PyObject* object);
// A sequence (as `to_sequence`) whose items are all str, copied out in order.
Result<std::vector<std::string>> to_str_list(PyObject* object);
// A class (a type object), returned as the object itself.
Result<PyObject*> to_type(PyObject* object);

// `getattr(object, name)` converted as `to_str` and `to_optional_str` do,
// the text copied out.
Result<std::string> str_attribute(PyObject* object, InternedName& name);
Result<std::optional<std::string>> optional_str_attribute(PyObject* object, InternedName& name);

// Walks a dict with `PyDict_Next`, checking at every step that it keeps its
// size and keys: code run on an item may mutate the dict, which would
// otherwise skip or repeat entries. A change ends the walk with the panic
// exception ("dictionary changed size during iteration" or "dictionary keys
// changed during iteration"). Keys and values come out owned.
//
//     DictIterator items(dict);
//     Ref key, value;
//     for (;;) {
//         DOVRANE_ASSIGN_OR_RETURN(bool more, items.next(key, value));
//         if (!more) break;
//         ...
//     }
class DictIterator {
public:
    // The caller keeps `dict` alive for the walk.
    explicit DictIterator(PyObject* dict);
    // Fills `key` and `value` and returns true, or returns false at the end.
    Result<bool> next(Ref& key, Ref& value);

private:
    PyObject* dict_;
    Py_ssize_t position_ = 0;
    Py_ssize_t size_;
    Py_ssize_t remaining_;
};

}  // namespace _dovrane::binding
