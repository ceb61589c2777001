// What the fuzz harnesses share: a failing check that aborts (so libFuzzer
// keeps the input), the position check of a parsed document, and the record
// split of the harnesses whose inputs carry several parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"

namespace fuzz_support {

using namespace dovrane_core;

[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "fuzz check failed: %s %.*s\n", what, static_cast<int>(detail.size()), detail.data());
    std::abort();
}

inline void require(bool holds, const char* what, std::string_view detail = {}) {
    if (!holds) fail(what, detail);
}

// 0xFF never occurs in UTF-8, so it splits a harness input into its parts
// without limiting what the query texts hold otherwise.
inline constexpr char record_separator = '\xFF';

inline std::vector<std::string_view> split_records(std::string_view input) {
    std::vector<std::string_view> records;
    for (;;) {
        std::size_t at = input.find(record_separator);
        records.push_back(input.substr(0, at));
        if (at == std::string_view::npos) return records;
        input.remove_prefix(at + 1);
    }
}

// Line and column of every byte by the plain rule: a line feed starts a line,
// a carriage return sets the column back to 1, every other character (not
// byte) advances the column by one.
inline std::vector<error::Location> naive_positions(std::string_view text) {
    std::vector<error::Location> table(text.size() + 1);
    std::uint64_t line = 1;
    std::uint64_t column = 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        table[i] = {line, column};
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if (byte == '\r') {
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    }
    table[text.size()] = {line, column};
    return table;
}

// Every located node of the document: its position is the plain rule's, and
// it sits on the character it is documented to sit on.
class PositionCheck {
public:
    explicit PositionCheck(const document::Document& document)
        : document_(document), table_(naive_positions(document.source)) {}

    void run() {
        for (const document::OperationDefinition& operation : document_.operations) {
            at(operation.offset, 0);
            require(std::string_view("{qms").find(document_.source[operation.offset]) != std::string_view::npos,
                    "operation not at its keyword or brace");
            if (operation.name) name(*operation.name);
            for (const document::VariableDefinition& variable : operation.variables) {
                at(variable.offset, '$');
                name(variable.name);
                if (variable.type) at(variable.type->offset, 0);
                if (variable.default_value) value(*variable.default_value, 0);
                directives(variable.directives);
            }
            directives(operation.directives);
            selection_set(operation.selection_set, 0);
        }
        for (const document::FragmentDefinition& fragment : document_.fragments) {
            at(fragment.offset, 'f');
            name(fragment.name);
            at(fragment.type_condition.offset, 'o');
            name(fragment.type_condition.name);
            require(document_.find_fragment(fragment.name.value) == &fragment, "find_fragment misses",
                    fragment.name.value);
            directives(fragment.directives);
            selection_set(fragment.selection_set, 0);
        }
    }

private:
    void at(document::Offset offset, char expected) {
        require(offset < document_.source.size(), "offset past the text");
        if (expected) require(document_.source[offset] == expected, "node not on its character");
        const error::Location got = document_.position(offset);
        require(got == table_[offset], "position differs from the plain count");
    }

    void name(const document::Name& name) {
        at(name.offset, 0);
        require(!name.value.empty(), "empty name");
        require(document_.source.compare(name.offset, name.value.size(), name.value) == 0, "name not at its offset");
    }

    void directives(const document::Span<document::Directive>& list) {
        for (const document::Directive& directive : list) {
            at(directive.offset, '@');
            name(directive.name);
            arguments(directive.arguments);
        }
    }

    void arguments(const document::Span<document::Argument>& list) {
        for (const document::Argument& argument : list) {
            name(argument.name);
            value(argument.value, 0);
        }
    }

    // Values and selection sets nest at most 64 levels (the parser's limit).
    void value(const document::Value& value, int depth) {
        require(depth <= 200, "value nests past the parser's limit");
        at(value.offset, 0);
        // Only the member of the value's kind is live.
        if (value.kind == document::ValueKind::List) {
            for (const document::Value& item : value.list) this->value(item, depth + 1);
        } else if (value.kind == document::ValueKind::Object) {
            for (const document::ObjectField& field : value.object) {
                name(field.name);
                this->value(field.value, depth + 1);
            }
        }
    }

    void selection_set(const document::SelectionSet& set, int depth) {
        require(depth <= 200, "selections nest past the parser's limit");
        if (!set.selections.empty()) at(set.offset, '{');
        for (const document::Selection& selection : set.selections) {
            switch (selection.kind) {
                case document::SelectionKind::Field:
                    at(selection.offset, 0);
                    if (selection.alias) {
                        name(*selection.alias);
                        require(selection.alias->offset == selection.offset, "field not at its alias");
                    } else {
                        require(selection.name.offset == selection.offset, "field not at its name");
                    }
                    name(selection.name);
                    arguments(selection.arguments);
                    break;
                case document::SelectionKind::FragmentSpread:
                    at(selection.offset, '.');
                    name(selection.name);
                    break;
                case document::SelectionKind::InlineFragment:
                    at(selection.offset, '.');
                    if (selection.type_condition) {
                        at(selection.type_condition->offset, 'o');
                        name(selection.type_condition->name);
                    }
                    break;
            }
            directives(selection.directives);
            selection_set(selection.selection_set, depth + 1);
        }
    }

    const document::Document& document_;
    std::vector<error::Location> table_;
};

// An error's locations: absent or one or two, each inside the text.
inline void check_error_locations(const error::GraphQLError& error, std::string_view text) {
    require(!error.message.empty(), "empty error message");
    if (!error.locations) return;
    require(!error.locations->empty() && error.locations->size() <= 2, "error with no or too many locations");
    const error::Location end = naive_positions(text).back();
    for (const error::Location& location : *error.locations) {
        require(location.line >= 1 && location.column >= 1, "error location below 1:1");
        require(location.line <= end.line, "error location past the last line");
    }
}

}  // namespace fuzz_support
