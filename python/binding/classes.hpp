// Read-only Python classes over C++ records.
//
// Every class of the module is an immutable record: Python cannot construct,
// subclass or change it; it has no instance dict and no weak references; its
// attributes are read-only getters; it takes part in garbage collection. Its
// name is "builtins.X", so `__module__` is "builtins" (a dotted name is
// required, or 3.12+ warns).
//
// A record type T lists the Python objects it owns for the collector:
//
//     struct PyGraphQLType {
//         ...
//         binding::Ref of_type;
//         template <class Visit> void for_each_ref(Visit&& visit) { visit(of_type); }
//     };
//
// and a class is a short table:
//
//     PyGetSetDef graphql_type_getters[] = {
//         binding::getter<&PyGraphQLType::name>("name"),
//         binding::getter<&PyGraphQLType::of_type>("of_type"),
//         {},
//     };
//     binding::Class<PyGraphQLType> graphql_type_class{"builtins.GraphQLTypeInfo", doc, graphql_type_getters};
//
// The type object is created once per process, on first use. Instances come
// from `new_instance`, which constructs the record before the collector can
// see the object; an instance holds a reference to its type.
//
// A record may also define `Ref detach_chain()`, giving up the one child
// object through which instances nest (`of_type`): dealloc then frees a long
// chain iteratively instead of recursing once per level. A record whose
// instances nest as a tree defines `void detach_children(std::vector<Ref>&)`
// instead, appending the children it gives up (`selections`), and dealloc
// frees the tree from a work list.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/objects.hpp"
#include "binding/refs.hpp"

namespace _dovrane::binding {

template <class T>
struct Instance {
    PyObject_HEAD
    T record;
};

template <class T>
T& record_of(PyObject* self) {
    return reinterpret_cast<Instance<T>*>(self)->record;
}

// For `for_each_ref`: hands each Ref, or each Ref of a vector, to `visit`.
//     template <class Visit> void for_each_ref(Visit&& visit) { binding::visit_refs(visit, type_info, arguments); }
template <class Visit, class... Fields>
void visit_refs(Visit& visit, Fields&... fields) {
    auto one = [&visit](auto& field) {
        if constexpr (std::is_same_v<std::decay_t<decltype(field)>, Ref>) {
            visit(field);
        } else {
            for (Ref& ref : field) {
                visit(ref);
            }
        }
    };
    (one(fields), ...);
}

template <class T>
struct Class {
    Class(const char* qualified_name, const char* doc, PyGetSetDef* getters)
        : qualified_name(qualified_name), doc(doc), getters(getters) {}

    const char* qualified_name;  // "builtins.X"
    const char* doc;             // or null: no class docstring
    PyGetSetDef* getters;        // static, ends with an empty entry
    OnceCell<Ref> type;

    // The short name, for messages.
    std::string_view name() const {
        std::string_view full = qualified_name;
        return full.substr(full.rfind('.') + 1);
    }
};

namespace detail {

template <class T>
int traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    // Heap types: the instance holds a reference to its type.
    Py_VISIT(Py_TYPE(self));
    int failed = 0;
    record_of<T>(self).for_each_ref([&](Ref& ref) {
        if (failed == 0 && ref) {
            failed = visit(ref.get(), arg);
        }
    });
    return failed;
}

template <class T>
int clear(PyObject* self) noexcept {
    record_of<T>(self).for_each_ref([](Ref& ref) { ref.reset(); });
    return 0;
}

template <class T>
void free_instance(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    record_of<T>(self).~T();
    // One type per record type, made once per process: its tp_free never changes.
    static const auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_memory(self);
    Py_DECREF(reinterpret_cast<PyObject*>(type));
}

template <class T>
void dealloc(PyObject* self) noexcept {
    if constexpr (requires(T& record) { record.detach_chain(); }) {
        PyTypeObject* type = Py_TYPE(self);
        Ref next = record_of<T>(self).detach_chain();
        free_instance<T>(self);
        // Unlink each further level we hold the last reference to before
        // dropping it, so its dealloc does not recurse into the next one.
        while (next && Py_TYPE(next.get()) == type && Py_REFCNT(next.get()) == 1) {
            Ref child = record_of<T>(next.get()).detach_chain();
            next = std::move(child);
        }
    } else if constexpr (requires(T& record, std::vector<Ref>& out) { record.detach_children(out); }) {
        PyTypeObject* type = Py_TYPE(self);
        std::vector<Ref> pending;
        record_of<T>(self).detach_children(pending);
        free_instance<T>(self);
        // A child we hold the last reference to gives up its own children
        // before it is dropped, so its dealloc finds none to recurse into.
        while (!pending.empty()) {
            Ref child = std::move(pending.back());
            pending.pop_back();
            if (child && Py_TYPE(child.get()) == type && Py_REFCNT(child.get()) == 1) {
                record_of<T>(child.get()).detach_children(pending);
            }
        }
    } else {
        free_instance<T>(self);
    }
}

// C++ value -> new Python object, for the generic getters.
inline Result<Ref> to_python(const std::string& value) { return new_str(value); }
inline Result<Ref> to_python(std::string_view value) { return new_str(value); }
inline Result<Ref> to_python(const std::optional<std::string>& value) {
    return value ? new_str(*value) : Result<Ref>(none());
}
inline Result<Ref> to_python(const std::optional<std::string_view>& value) {
    return value ? new_str(*value) : Result<Ref>(none());
}
// A new list of new strs on every read.
inline Result<Ref> to_python(const std::vector<std::string>& value) { return new_str_list(value); }
inline Result<Ref> to_python(bool value) { return boolean(value); }
inline Result<Ref> to_python(std::int64_t value) { return new_int(value); }
inline Result<Ref> to_python(std::uint64_t value) { return new_uint(value); }
inline Result<Ref> to_python(const std::optional<std::int64_t>& value) {
    return value ? new_int(*value) : Result<Ref>(none());
}
// The same object on every read; None when absent.
inline Result<Ref> to_python(const Ref& value) { return value ? value : none(); }
// A new list holding the same objects on every read.
inline Result<Ref> to_python(const std::vector<Ref>& value) { return new_list(value); }

template <class M>
struct member_of;
template <class T, class V>
struct member_of<V T::*> {
    using record = T;
};

template <auto Member>
PyObject* get_member(PyObject* self, void*) noexcept {
    using T = typename member_of<decltype(Member)>::record;
    try {
        Result<Ref> value = to_python(record_of<T>(self).*Member);
        if (!value.ok()) {
            value.take_error().restore();
            return nullptr;
        }
        return std::move(value).value().release();
    } catch (...) {
        set_error_from_current_exception();
        return nullptr;
    }
}

template <class T, Result<Ref> (*Compute)(const T&)>
PyObject* get_computed(PyObject* self, void*) noexcept {
    try {
        Result<Ref> value = Compute(record_of<T>(self));
        if (!value.ok()) {
            value.take_error().restore();
            return nullptr;
        }
        return std::move(value).value().release();
    } catch (...) {
        set_error_from_current_exception();
        return nullptr;
    }
}

}  // namespace detail

// A read-only attribute showing a record field: a str for a string, None or
// a str for an optional string, a bool, an int, the same object for a Ref,
// a new list of the same objects for a vector of Refs, a new list of new
// strs for a vector of strings.
template <auto Member>
constexpr PyGetSetDef getter(const char* name, const char* doc = nullptr) {
    return PyGetSetDef{name, &detail::get_member<Member>, nullptr, doc, nullptr};
}

// A read-only attribute computed from the record.
template <class T, Result<Ref> (*Compute)(const T&)>
constexpr PyGetSetDef computed_getter(const char* name, const char* doc = nullptr) {
    return PyGetSetDef{name, &detail::get_computed<T, Compute>, nullptr, doc, nullptr};
}

// The class's type object (borrowed; it lives for the process), created on
// first use.
template <class T>
Result<PyTypeObject*> class_type(Class<T>& cls) {
    DOVRANE_ASSIGN_OR_RETURN(const Ref* type, cls.type.get_or_build([&cls]() -> Result<Ref> {
        // A slot the class lacks is left out: a {0, nullptr} entry in its
        // place would end the table there and drop every slot after it.
        const PyType_Slot wanted[] = {
            {Py_tp_doc, const_cast<char*>(cls.doc)},
            {Py_tp_traverse, reinterpret_cast<void*>(&detail::traverse<T>)},
            {Py_tp_clear, reinterpret_cast<void*>(&detail::clear<T>)},
            {Py_tp_dealloc, reinterpret_cast<void*>(&detail::dealloc<T>)},
            {Py_tp_getset, cls.getters},
        };
        PyType_Slot slots[std::size(wanted) + 1] = {};
        std::size_t count = 0;
        for (const PyType_Slot& slot : wanted) {
            if (slot.pfunc != nullptr) {
                slots[count++] = slot;
            }
        }
        PyType_Spec spec = {
            cls.qualified_name,
            static_cast<int>(sizeof(Instance<T>)),
            0,
            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
            slots,
        };
        PyObject* created = PyType_FromSpec(&spec);
        if (created == nullptr) {
            return Error::fetch();
        }
        return Ref::steal(created);
    }));
    return reinterpret_cast<PyTypeObject*>(type->get());
}

// The type object as a new reference, for registering the class.
template <class T>
Result<Ref> class_object(Class<T>& cls) {
    DOVRANE_ASSIGN_OR_RETURN(PyTypeObject * type, class_type(cls));
    return Ref::borrow(reinterpret_cast<PyObject*>(type));
}

// A new instance holding `T(arguments...)`, not yet tracked by the
// collector; hand it to `UntrackedInstances` or track it before Python code
// can reach it.
template <class T, class... Arguments>
Result<Ref> new_untracked_instance(Class<T>& cls, Arguments&&... arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyTypeObject * type, class_type(cls));
    // It holds a new reference to `type`.
    PyObject* object = _PyObject_GC_New(type);
    if (object == nullptr) {
        return Error::fetch();
    }
    try {
        new (&record_of<T>(object)) T(std::forward<Arguments>(arguments)...);
    } catch (...) {
        auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
        free_memory(object);
        Py_DECREF(reinterpret_cast<PyObject*>(type));
        throw;
    }
    return Ref::steal(object);
}

// A new instance holding `record`.
template <class T>
Result<Ref> new_instance(Class<T>& cls, T record) {
    DOVRANE_ASSIGN_OR_RETURN(Ref object, new_untracked_instance(cls, std::move(record)));
    PyObject_GC_Track(object.get());
    return object;
}

// Instances built in bulk (a whole tree of them) and tracked by the collector
// together once built: while they are being built no Python code can reach
// them, so no cycle through them can exist yet, and collections that the
// building sets off do not walk them again and again. An instance freed
// before `track_all` (the building failed) is freed untracked.
class UntrackedInstances {
public:
    // A new instance of `T(arguments...)`; its record may still be filled in
    // place (`record_of`) until `track_all`.
    template <class T, class... Arguments>
    Result<Ref> add(Class<T>& cls, Arguments&&... arguments) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, new_untracked_instance(cls, std::forward<Arguments>(arguments)...));
        objects_.push_back(object.get());
        return object;
    }
    // Room for `count` instances, when the caller knows how many it builds.
    void reserve(std::size_t count) { objects_.reserve(count); }
    // Every instance must still be alive, held by what was built.
    void track_all() {
        for (PyObject* object : objects_) {
            PyObject_GC_Track(object);
        }
        objects_.clear();
    }

private:
    std::vector<PyObject*> objects_;  // borrowed: held by the tree being built
};

// The record of an instance of exactly this class; the layer's TypeError
// ("expected TypeInfo, got dict") otherwise. Subclasses cannot exist.
template <class T>
Result<T*> to_instance(Class<T>& cls, PyObject* object) {
    const Ref* type = cls.type.get();
    if (type == nullptr || reinterpret_cast<PyObject*>(Py_TYPE(object)) != type->get()) {
        return conversion_error(cls.name(), object);
    }
    return &record_of<T>(object);
}

}  // namespace _dovrane::binding
