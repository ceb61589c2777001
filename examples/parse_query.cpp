// Parses a GraphQL query (a file named on the command line, or stdin) and
// prints its operations and fragments, or the error with its locations.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/parser.hpp"

using namespace dovrane_core;

namespace {

void print_selections(const document::SelectionSet& set) {
    for (const document::Selection& selection : set.selections) {
        switch (selection.kind) {
            case document::SelectionKind::Field:
                std::cout << "    " << selection.response_key();
                if (selection.alias) std::cout << ": " << selection.name.value;
                if (!selection.selection_set.selections.empty()) std::cout << " { ... }";
                break;
            case document::SelectionKind::FragmentSpread:
                std::cout << "    ..." << selection.name.value;
                break;
            case document::SelectionKind::InlineFragment:
                std::cout << "    ...";
                if (selection.type_condition) std::cout << " on " << selection.type_condition->name.value;
                std::cout << " { ... }";
                break;
        }
        std::cout << '\n';
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string text;
    if (argc > 1) {
        std::ifstream in(argv[1], std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << argv[1] << '\n';
            return 2;
        }
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }

    auto parsed = parser::parse_document(text);
    if (!parsed) {
        const error::GraphQLError& failure = parsed.error();
        std::cout << error::error_code_wire_name(failure.code) << '\n' << failure.message << '\n';
        if (failure.locations) {
            for (const error::Location& location : *failure.locations) {
                std::cout << "at " << location.line << ':' << location.column << '\n';
            }
        }
        return 1;
    }
    const document::Document& document = *parsed.value();
    for (const document::OperationDefinition& operation : document.operations) {
        const error::Location at = document.position(operation.offset);
        std::cout << document::operation_type_name(operation.type) << ' '
                  << (operation.name ? std::string(operation.name->value) : "(anonymous)") << " at " << at.line << ':'
                  << at.column << '\n';
        for (const document::VariableDefinition& variable : operation.variables) {
            std::cout << "  $" << variable.name.value << ": " << document::type_text(*variable.type)
                      << (variable.default_value ? " (with default)" : "") << '\n';
        }
        std::cout << "  selects:\n";
        print_selections(operation.selection_set);
    }
    for (const document::FragmentDefinition& fragment : document.fragments) {
        std::cout << "fragment " << fragment.name.value << " on " << fragment.type_condition.name.value << '\n';
        print_selections(fragment.selection_set);
    }
    return 0;
}
