// The schema-free structural view of a query document, for code generation.
#pragma once

#include <Python.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/refs.hpp"

namespace _dovrane::query_document {

struct PyQueryDocument {
    std::vector<binding::Ref> operations;  // QueryOperation objects, written order
    std::vector<binding::Ref> fragments;   // QueryFragment objects, written order

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, operations, fragments);
    }
};

struct PyQueryOperation {
    std::string_view operation_type;  // "query", "mutation" or "subscription" (static text)
    std::optional<std::string> name;
    std::vector<binding::Ref> variables;   // QueryVariableDefinition objects
    std::vector<binding::Ref> selections;  // QuerySelection objects

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, variables, selections);
    }
};

struct PyQueryFragment {
    std::string name;
    std::string type_condition;
    std::vector<binding::Ref> selections;  // QuerySelection objects

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, selections);
    }
};

struct PyQuerySelection {
    std::string_view kind;  // "field", "fragment_spread" or "inline_fragment" (static text)
    std::optional<std::string> field_name;
    std::optional<std::string> alias;
    std::optional<std::string> fragment_name;
    std::optional<std::string> type_condition;
    std::vector<std::string> directive_names;
    std::vector<binding::Ref> selections;  // QuerySelection objects

    template <class Visit>
    void for_each_ref(Visit&& visit) {
        binding::visit_refs(visit, selections);
    }
    // Selections nest: dealloc frees them from a work list.
    void detach_children(std::vector<binding::Ref>& out) {
        for (binding::Ref& child : selections) {
            out.push_back(std::move(child));
        }
        selections.clear();
    }
};

struct PyQueryVariableDefinition {
    std::string name;
    std::string type_str;
    bool has_default = false;

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

extern binding::Class<PyQueryDocument> query_document_class;
extern binding::Class<PyQueryOperation> query_operation_class;
extern binding::Class<PyQueryFragment> query_fragment_class;
extern binding::Class<PyQuerySelection> query_selection_class;
extern binding::Class<PyQueryVariableDefinition> query_variable_definition_class;

// parse_query_document(query)
extern const binding::Function parse_query_document_function;

}  // namespace _dovrane::query_document
