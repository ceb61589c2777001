// Owned references to Python objects.
//
// A `Ref` owns one strong reference and drops it when it goes out of scope.
// Every reference the layer keeps or passes between functions is a `Ref`;
// bare `PyObject*` means borrowed, valid only while its owner keeps it.
//
// Borrowed references from containers (`PyDict_Next`, `PyList_GetItem`,
// `PyTuple_GetItem`, `PyDict_GetItemWithError`) must become owned with
// `Ref::borrow` before anything that can run Python code: a value's
// `__index__` may mutate the container being walked and free the item.
#pragma once

#include <Python.h>

#include <utility>

namespace _dovrane::binding {

class Ref {
public:
    Ref() = default;
    Ref(const Ref& other) : object_(other.object_) { Py_XINCREF(object_); }
    Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }

    // Takes over a new reference (the result of a call that returns one).
    static Ref steal(PyObject* object) { return Ref(object); }
    // Makes a borrowed reference owned.
    static Ref borrow(PyObject* object) {
        Py_XINCREF(object);
        return Ref(object);
    }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Gives up ownership, for APIs that steal a reference or for returning to Python.
    [[nodiscard]] PyObject* release() { return std::exchange(object_, nullptr); }
    // Drops the reference now (tp_clear).
    void reset() {
        PyObject* old = std::exchange(object_, nullptr);
        Py_XDECREF(old);
    }

private:
    explicit Ref(PyObject* object) : object_(object) {}
    PyObject* object_ = nullptr;
};

}  // namespace _dovrane::binding
