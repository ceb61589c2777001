// The lowering entry points and the lowered-field objects.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/document.hpp"

namespace _dovrane::lowering {

// `LoweredDirective`: a custom directive of a lowered field.
struct PyLoweredDirective {
    std::string_view name;     // without "@"; a view into the document
    binding::Ref arguments;    // dict: the same object on every read
    binding::Ref document;     // the ParsedDocument whose text `name` views

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, arguments, document);
    }
};

// `LoweredField`: one field of the execution plan. Its strings are views into
// the parsed document, which the `document` handle keeps alive: sharing one
// handle costs a reference count per object, copying would cost the strings.
// A plan holds many of them, so the record is kept small.
struct PyLoweredField {
    const dovrane_core::document::Selection* selection = nullptr;  // key, name and position
    const dovrane_core::document::Name* type_condition = nullptr;  // None when null
    // dict: the same object on every read. Most fields take no arguments:
    // theirs is made on the first read, not for every field of every plan.
    mutable binding::Ref arguments;
    // The LoweredDirective objects, then the LoweredField objects of the
    // sub-selection.
    binding::RefArray children;
    std::uint32_t directive_count = 0;
    // Few fields are deferred or streamed: their marks sit apart.
    struct Marks {
        bool is_deferred = false;
        bool is_streamed = false;
        std::optional<std::string_view> defer_label;
        std::optional<std::string_view> stream_label;
        std::int64_t stream_initial_count = 0;  // when streamed
    };
    std::unique_ptr<Marks> marks;  // null when neither
    // The ParsedDocument the views point into; `line` and `column` are
    // worked out from it when read, which is seldom.
    binding::Ref document;

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, arguments, children, document);
    }
    // Plans nest up to the lowering's depth limit: dealloc frees them from a
    // work list. Only a sub-field with sub-fields of its own could make it
    // recurse, so the leaves, most of a plan, are dropped here directly.
    void detach_children(std::vector<binding::Ref>& out) {
        for (std::uint32_t i = directive_count; i < children.size(); ++i) {
            if (!children[i]) {
                continue;  // already given up to the collector's clear
            }
            const PyLoweredField& child = binding::record_of<PyLoweredField>(children[i].get());
            if (child.children.size() > child.directive_count) {
                out.push_back(std::move(children[i]));
            }
        }
        children.truncate(directive_count);
    }
};

extern binding::Class<PyLoweredField> lowered_field_class;
extern binding::Class<PyLoweredDirective> lowered_directive_class;

// lower_query(query, *, variable_values, operation_name=None)
extern const binding::Function lower_query_function;
// lower_document(document, *, variable_values, operation_name=None)
extern const binding::Function lower_document_function;

}  // namespace _dovrane::lowering
