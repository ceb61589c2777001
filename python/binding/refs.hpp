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

#include <cstdint>
#include <new>
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

// A fixed-capacity array of Refs in the interpreter's own allocator (so the
// interpreter lock must be held), for records that hold many children and
// are made by the thousand: 16 bytes, one allocation, none when empty.
class RefArray {
public:
    RefArray() = default;
    RefArray(const RefArray&) = delete;
    RefArray& operator=(const RefArray&) = delete;
    RefArray(RefArray&& other) noexcept
        : items_(std::exchange(other.items_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    ~RefArray() {
        truncate(0);
        PyMem_Free(items_);
    }

    // Room for `capacity` refs, once, before any is added; false with
    // MemoryError raised when it cannot be had.
    bool reserve(std::uint32_t capacity) {
        if (capacity == 0) return true;
        items_ = static_cast<Ref*>(PyMem_Malloc(sizeof(Ref) * capacity));
        if (items_ == nullptr) {
            PyErr_NoMemory();
            return false;
        }
        capacity_ = capacity;
        return true;
    }
    // Within the reserved room.
    void push_back(Ref ref) { new (items_ + size_++) Ref(std::move(ref)); }
    // Drops the refs from `size` on.
    void truncate(std::uint32_t size) {
        while (size_ > size) items_[--size_].~Ref();
    }

    Ref* begin() { return items_; }
    Ref* end() { return items_ + size_; }
    const Ref* begin() const { return items_; }
    const Ref* end() const { return items_ + size_; }
    std::uint32_t size() const { return size_; }
    const Ref& operator[](std::uint32_t index) const { return items_[index]; }
    Ref& operator[](std::uint32_t index) { return items_[index]; }

private:
    Ref* items_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t capacity_ = 0;
};

}  // namespace _dovrane::binding
