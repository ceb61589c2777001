// Union description: `describe_union` and the read-only `UnionInfo` it returns.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/schema.hpp"

namespace _dovrane::union_info {

// `UnionInfo`: copies of the definition's fields, and the definition itself.
struct PyUnionInfo {
    std::string name;
    std::optional<std::string> description;
    std::vector<std::string> member_names;
    bool has_custom_resolve_type = false;
    dovrane_core::schema::UnionDefinition definition;  // hidden; compile_schema takes it back

    static PyUnionInfo from(dovrane_core::schema::UnionDefinition definition);

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

extern binding::Class<PyUnionInfo> union_info_class;

// The union that `annotation` declares: a bare union (its name the member
// names joined), or a union or single type in `Annotated` with the host's
// `UnionDefinition` marker (its name, description and resolver). Every member
// must be a lazy placeholder or a class declared as an object type.
binding::Result<PyUnionInfo> describe_union(PyObject* annotation);

// A member written `Annotated[X, LazyReference(...)]` becomes the placeholder
// the reference makes of X (when X is a forward reference) or X itself; any
// other member is returned as it is.
binding::Result<binding::Ref> normalize_lazy_member(PyObject* typing, PyObject* member);

// The hidden definition of a UnionInfo; the layer's TypeError for any other object.
binding::Result<const dovrane_core::schema::UnionDefinition*> union_definition_of(PyObject* object);

// describe_union(annotation)
extern const binding::Function describe_union_function;

}  // namespace _dovrane::union_info
