// The object protocol as Result-returning calls: attributes, calls, imports,
// instance checks, comparisons, and new objects from C++ values.
//
// Every function takes borrowed arguments and returns owned references. Any
// of them may run Python code.
#pragma once

#include <Python.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "binding/cells.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"

namespace _dovrane::binding {

// `getattr(object, name)`.
Result<Ref> getattr(PyObject* object, InternedName& name);
Result<Ref> getattr(PyObject* object, PyObject* name);
// `getattr(object, name)`, or an empty Ref when the lookup raised an
// `Exception`, which is discarded; any other exception is returned.
Result<Ref> getattr_or_empty(PyObject* object, InternedName& name);
// `import name`, through the interpreter's import function (`PyImport_Import`),
// so an already loaded module comes from `sys.modules`.
Result<Ref> import_module(InternedName& name);
// `callable(*args)` and `callable(*args, **kwargs)`; `kwargs` may be null.
Result<Ref> call(PyObject* callable, std::initializer_list<PyObject*> args, PyObject* kwargs = nullptr);
// `isinstance(object, cls)`.
Result<bool> is_instance(PyObject* object, PyObject* cls);
// `a == b`, as a truth value.
Result<bool> equals(PyObject* a, PyObject* b);
// `str(object)`.
Result<Ref> str_of(PyObject* object);
// `operator.length_hint(object)`, for sizing a vector before iterating. A
// failing hint is not the caller's error: it goes to the unraisable hook and
// the hint is 0 (an exception that is not an `Exception` still propagates).
Result<Py_ssize_t> length_hint(PyObject* object);
// Collects the items of any iterable, in order.
Result<std::vector<Ref>> collect(PyObject* iterable);
// Walks any iterable, calling `visit(item)` (PyObject* -> Status) on each item
// as the iterator yields it, and stops at the first error. Each item is owned
// while it is visited.
template <class Visit>
Status for_each_item(PyObject* iterable, Visit&& visit) {
    Ref iterator = Ref::steal(PyObject_GetIter(iterable));
    if (!iterator) {
        return Error::fetch();
    }
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
        DOVRANE_TRY(visit(item.get()));
    }
    if (PyErr_Occurred() != nullptr) {
        return Error::fetch();
    }
    return {};
}

// `type(object).__name__` as text, for messages ("int", "TypeInfo").
Result<std::string> type_name(PyObject* object);

// New objects from C++ values.
Ref none();
Ref boolean(bool value);
Result<Ref> new_str(std::string_view text);        // the text must be UTF-8
Result<Ref> new_str_lossy(std::string_view text);  // invalid UTF-8 becomes U+FFFD
Result<Ref> new_int(std::int64_t value);
Result<Ref> new_uint(std::uint64_t value);
Result<Ref> new_float(double value);
// A list holding the same objects (new references to them).
Result<Ref> new_list(const std::vector<Ref>& items);
// A list of new strs, in the order of `texts` (a sized range of UTF-8 strings).
template <class Texts>
Result<Ref> new_str_list(const Texts& texts) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(texts.size())));
    if (!list) {
        return Error::fetch();
    }
    Py_ssize_t index = 0;
    for (const auto& text : texts) {
        DOVRANE_ASSIGN_OR_RETURN(Ref item, new_str(text));
        PyList_SetItem(list.get(), index++, item.release());  // steals
    }
    return list;
}
Result<Ref> new_tuple(std::initializer_list<PyObject*> items);
Result<Ref> new_dict();
// `dict[key] = value`.
Status dict_set(PyObject* dict, PyObject* key, PyObject* value);

}  // namespace _dovrane::binding
