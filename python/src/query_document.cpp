// The schema-free structural view of a query document, for code generation.
//
// Python equivalent (every class is final, read-only and built only here):
//
//     def parse_query_document(query: str) -> QueryDocument: ...
//
//     class QueryDocument:
//         operations: list[QueryOperation]         # written order
//         fragments: list[QueryFragment]           # written order
//
//     class QueryOperation:
//         operation_type: str                      # "query", "mutation" or "subscription"
//         name: str | None
//         variables: list[QueryVariableDefinition]
//         selections: list[QuerySelection]
//
//     class QueryFragment:
//         name: str
//         type_condition: str
//         selections: list[QuerySelection]
//
//     class QuerySelection:
//         kind: str                                # "field", "fragment_spread" or "inline_fragment"
//         field_name: str | None
//         alias: str | None
//         fragment_name: str | None
//         type_condition: str | None
//         directive_names: list[str]
//         selections: list[QuerySelection]
//
//     class QueryVariableDefinition:
//         name: str
//         type_str: str                            # compact: "[ID!]!"
//         has_default: bool
//
// Strings are new objects on every read; lists are new on every read and hold
// the same element objects. Nothing refers back to the text or the parsed
// document, which is dropped before the call returns.
#include "src/query_document.hpp"

#include <cstddef>
#include <utility>

#include "binding/convert.hpp"
#include "binding/errors.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/document.hpp"
#include "dovrane_core/limits.hpp"
#include "dovrane_core/parser.hpp"
#include "src/error.hpp"

namespace _dovrane::query_document {

namespace {

using binding::Ref;
namespace document = dovrane_core::document;

constexpr const char query_selection_doc[] =
    "One selection inside a selection set: a field, a named fragment spread or an\n"
    "inline fragment, told apart by kind. Only the attributes relevant to that kind\n"
    "are set; the others are None.\n"
    "\n"
    "Fragment spreads are not expanded: look fragment_name up in the document's own\n"
    "fragments.";

constexpr const char query_variable_definition_doc[] =
    "One variable definition from an operation's parameter list. Its type is given\n"
    "as text, not resolved against any schema.";

PyGetSetDef query_document_getters[] = {
    binding::getter<&PyQueryDocument::operations>("operations"),
    binding::getter<&PyQueryDocument::fragments>("fragments"),
    {},
};

PyGetSetDef query_operation_getters[] = {
    binding::getter<&PyQueryOperation::operation_type>("operation_type"),
    binding::getter<&PyQueryOperation::name>("name"),
    binding::getter<&PyQueryOperation::variables>("variables"),
    binding::getter<&PyQueryOperation::selections>("selections"),
    {},
};

PyGetSetDef query_fragment_getters[] = {
    binding::getter<&PyQueryFragment::name>("name"),
    binding::getter<&PyQueryFragment::type_condition>("type_condition"),
    binding::getter<&PyQueryFragment::selections>("selections"),
    {},
};

PyGetSetDef query_selection_getters[] = {
    binding::getter<&PyQuerySelection::kind>("kind"),
    binding::getter<&PyQuerySelection::field_name>("field_name"),
    binding::getter<&PyQuerySelection::alias>("alias"),
    binding::getter<&PyQuerySelection::fragment_name>("fragment_name"),
    binding::getter<&PyQuerySelection::type_condition>("type_condition"),
    binding::getter<&PyQuerySelection::directive_names>("directive_names"),
    binding::getter<&PyQuerySelection::selections>("selections"),
    {},
};

PyGetSetDef query_variable_definition_getters[] = {
    binding::getter<&PyQueryVariableDefinition::name>("name"),
    binding::getter<&PyQueryVariableDefinition::type_str>("type_str"),
    binding::getter<&PyQueryVariableDefinition::has_default>("has_default"),
    {},
};

std::vector<std::string> directive_names(document::Span<document::Directive> directives) {
    std::vector<std::string> names;
    names.reserve(directives.size());
    for (const document::Directive& directive : directives) {
        names.emplace_back(directive.name.value);
    }
    return names;
}

binding::Result<std::vector<Ref>> convert_selection_set(const document::SelectionSet& set, std::size_t depth);

binding::Result<Ref> convert_selection(const document::Selection& selection, std::size_t depth) {
    PyQuerySelection record;
    switch (selection.kind) {
        case document::SelectionKind::Field: {
            record.kind = "field";
            // Depth first: the sub-selections exist before the field's own object.
            DOVRANE_ASSIGN_OR_RETURN(record.selections, convert_selection_set(selection.selection_set, depth + 1));
            record.field_name.emplace(selection.name.value);
            if (selection.alias) {
                record.alias.emplace(selection.alias->value);
            }
            break;
        }
        case document::SelectionKind::FragmentSpread: {
            record.kind = "fragment_spread";
            record.fragment_name.emplace(selection.name.value);
            break;
        }
        case document::SelectionKind::InlineFragment: {
            record.kind = "inline_fragment";
            DOVRANE_ASSIGN_OR_RETURN(record.selections, convert_selection_set(selection.selection_set, depth + 1));
            if (selection.type_condition) {
                record.type_condition.emplace(selection.type_condition->name.value);
            }
            break;
        }
    }
    record.directive_names = directive_names(selection.directives);
    return binding::new_instance(query_selection_class, std::move(record));
}

// One selection set as QuerySelection objects, in written order.
binding::Result<std::vector<Ref>> convert_selection_set(const document::SelectionSet& set, std::size_t depth) {
    std::vector<Ref> selections;
    if (set.selections.empty()) {
        return selections;
    }
    binding::RecursionGuard guard(" while converting a query document");
    if (!guard.entered()) {
        return binding::Error::fetch();
    }
    // The parser refuses deeper sets; this check and the interpreter's
    // recursion guard keep the walk bounded should that change.
    if (depth > dovrane_core::limits::max_nesting_depth) {
        return binding::recursion_error("selection sets nest too deep to convert");
    }
    selections.reserve(set.selections.size());
    for (const document::Selection& selection : set.selections) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, convert_selection(selection, depth));
        selections.push_back(std::move(object));
    }
    return selections;
}

binding::Result<Ref> convert_variable(const document::VariableDefinition& variable) {
    return binding::new_instance(query_variable_definition_class,
                                 PyQueryVariableDefinition{std::string(variable.name.value),
                                                           document::type_text(*variable.type),
                                                           variable.default_value != nullptr});
}

binding::Result<Ref> convert_operation(const document::OperationDefinition& operation) {
    PyQueryOperation record;
    record.variables.reserve(operation.variables.size());
    for (const document::VariableDefinition& variable : operation.variables) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, convert_variable(variable));
        record.variables.push_back(std::move(object));
    }
    record.operation_type = document::operation_type_name(operation.type);
    if (operation.name) {
        record.name.emplace(operation.name->value);
    }
    DOVRANE_ASSIGN_OR_RETURN(record.selections, convert_selection_set(operation.selection_set, 0));
    return binding::new_instance(query_operation_class, std::move(record));
}

binding::Result<Ref> convert_fragment(const document::FragmentDefinition& fragment) {
    PyQueryFragment record;
    record.name = fragment.name.value;
    record.type_condition = fragment.type_condition.name.value;
    DOVRANE_ASSIGN_OR_RETURN(record.selections, convert_selection_set(fragment.selection_set, 0));
    return binding::new_instance(query_fragment_class, std::move(record));
}

constexpr binding::Parameter parse_query_document_parameters[] = {binding::required("query")};

binding::Result<Ref> parse_query_document(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
    auto parsed = dovrane_core::parser::parse_document(query);
    if (!parsed.ok()) {
        return error::raise(parsed.take_error());
    }
    const document::Document& parsed_document = *parsed.value();
    PyQueryDocument record;
    record.operations.reserve(parsed_document.operations.size());
    for (const document::OperationDefinition& operation : parsed_document.operations) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, convert_operation(operation));
        record.operations.push_back(std::move(object));
    }
    record.fragments.reserve(parsed_document.fragments.size());
    for (const document::FragmentDefinition& fragment : parsed_document.fragments) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, convert_fragment(fragment));
        record.fragments.push_back(std::move(object));
    }
    return binding::new_instance(query_document_class, std::move(record));
}

}  // namespace

binding::Class<PyQueryDocument> query_document_class{"builtins.QueryDocument", nullptr, query_document_getters};
binding::Class<PyQueryOperation> query_operation_class{"builtins.QueryOperation", nullptr, query_operation_getters};
binding::Class<PyQueryFragment> query_fragment_class{"builtins.QueryFragment", nullptr, query_fragment_getters};
binding::Class<PyQuerySelection> query_selection_class{"builtins.QuerySelection", query_selection_doc,
                                                       query_selection_getters};
binding::Class<PyQueryVariableDefinition> query_variable_definition_class{
    "builtins.QueryVariableDefinition", query_variable_definition_doc, query_variable_definition_getters};

constexpr binding::Function parse_query_document_function = {
    binding::signature("parse_query_document", parse_query_document_parameters),
    DOVRANE_DOC("parse_query_document(query)",
                "Parse query into its structural shape: the operations, each with its own\n"
                "variable definitions and selection set, plus every named fragment\n"
                "definition, for the code generator to walk.\n"
                "\n"
                "No schema is used: finding a selection's GraphQL type is the code\n"
                "generator's job, done in Python against the schema."),
    parse_query_document,
};

}  // namespace _dovrane::query_document
