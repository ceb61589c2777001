// Parse and lower with fuzzed variables. Input: the query text, then, after a
// 0xFF byte, the bytes the variables are drawn from (and which operation to
// name). Lowering answers with a plan within its limits, the same plan twice,
// every field located at a field of the text; or an error, located at the
// "..." of the spread when a spread is undefined or cyclic, else without
// locations.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>
#include <utility>

#include "dovrane_core/builtin_directives.hpp"
#include "dovrane_core/limits.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"
#include "fuzz_support.hpp"

using namespace dovrane_core;
using fuzz_support::require;

namespace {

// Draws bytes from the tail of the input; zero once it runs out.
struct ByteSource {
    std::string_view bytes;
    std::uint8_t next() {
        if (bytes.empty()) return 0;
        const auto byte = static_cast<std::uint8_t>(bytes.front());
        bytes.remove_prefix(1);
        return byte;
    }
};

json::Value draw_value(ByteSource& source, int depth) {
    const std::uint8_t kind = source.next();
    switch (kind % 9) {
        case 0: return nullptr;
        case 1: return true;
        case 2: return false;
        case 3: return json::Number::from_unsigned(source.next() * 257u + source.next());
        case 4: return json::Number::from_signed(-1 - static_cast<std::int64_t>(source.next()));
        case 5: return json::Number::from_double(source.next() / 7.0);
        case 6: return std::string(kind % 2 ? "ok" : "\xC3\xA9");
        case 7: {
            json::Array items;
            const int count = depth < 3 ? source.next() % 4 : 0;
            for (int i = 0; i < count; ++i) items.push_back(draw_value(source, depth + 1));
            return items;
        }
        default: {
            json::Object fields;
            const int count = depth < 3 ? source.next() % 3 : 0;
            for (int i = 0; i < count; ++i) {
                fields.emplace(std::string(1, static_cast<char>('a' + i)), draw_value(source, depth + 1));
            }
            return fields;
        }
    }
}

// Where every field of the text is.
void field_positions(const document::Document& document, const document::SelectionSet& set,
                     std::set<std::pair<std::uint64_t, std::uint64_t>>& out) {
    for (const document::Selection& selection : set.selections) {
        if (selection.kind == document::SelectionKind::Field) {
            const error::Location at = document.position(selection.offset);
            out.emplace(at.line, at.column);
        }
        field_positions(document, selection.selection_set, out);
    }
}

struct PlanCheck {
    const std::set<std::pair<std::uint64_t, std::uint64_t>>& positions;
    std::size_t fields = 0;
    std::string shape;  // a flat rendering, compared between two runs

    void walk(const std::vector<lowering::LoweredField>& list, std::size_t depth) {
        require(depth <= limits::max_effective_depth + 1, "plan nests past its limit");
        for (const lowering::LoweredField& field : list) {
            ++fields;
            require(!field.response_key.empty() && !field.field_name.empty(), "field without a name");
            require(positions.count({field.line, field.column}) == 1, "field not located at a field of the text");
            for (const lowering::LoweredArgument& argument : field.arguments) {
                require(argument.value != nullptr, "argument without a value");
            }
            for (const lowering::LoweredDirective& directive : field.directives) {
                require(builtin_directives::find(directive.name) == nullptr,
                        "a lowering directive carried into the plan");
            }
            shape.append(field.response_key).push_back(':');
            shape.append(field.field_name).push_back(field.type_condition ? '?' : ' ');
            shape.append(std::to_string(field.arguments.size()));
            shape.push_back(field.defer ? 'd' : field.stream ? 's' : '-');
            shape.push_back('(');
            walk(field.selections, depth + 1);
            shape.push_back(')');
        }
    }
};

void lower_and_check(const document::SharedDocument& document, const lowering::VariableMap& variables,
                     std::optional<std::string_view> operation_name,
                     const std::set<std::pair<std::uint64_t, std::uint64_t>>& positions) {
    auto first = lowering::lower_document(document, variables, operation_name);
    auto second = lowering::lower_document(document, variables, operation_name);
    require(first.ok() == second.ok(), "lowering differs between two runs");
    if (!first) {
        const error::GraphQLError& error = first.error();
        require(error.message == second.error().message, "lowering differs between two runs");
        // An undefined or cyclic spread is located at its "...", nothing else.
        const bool spread_error = error.message.starts_with("undefined fragment '") ||
                                  error.message.starts_with("Fragment cycle detected involving '");
        require(error.locations.has_value() == spread_error, "a lowering error located or not", error.message);
        if (spread_error) {
            require(error.locations->size() == 1, "a spread's error with other than one location", error.message);
            const std::string_view text = document->source;
            const std::vector<error::Location> table = fuzz_support::naive_positions(text);
            bool at_a_spread = false;
            for (std::size_t i = 0; i + 3 <= text.size() && !at_a_spread; ++i) {
                at_a_spread = table[i] == error.locations->front() && text.compare(i, 3, "...") == 0;
            }
            require(at_a_spread, "a spread's error not located at a \"...\"", error.message);
        }
        require(error.code == error::ErrorCode::GraphqlValidationFailed ||
                    error.code == error::ErrorCode::InvalidFragmentTarget,
                "a lowering error with another code", error.message);
        return;
    }
    require(first->document == document, "plan does not hold its document");
    PlanCheck a{positions, 0, {}};
    a.walk(first->fields, 0);
    PlanCheck b{positions, 0, {}};
    b.walk(second->fields, 0);
    require(a.shape == b.shape, "lowering differs between two runs");
    require(a.fields <= limits::max_lowered_fields, "plan holds more fields than its limit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find(fuzz_support::record_separator);
    auto parsed = parser::parse_document(input.substr(0, split));
    if (!parsed) return 0;
    const document::SharedDocument& document = parsed.value();
    ByteSource source{split == std::string_view::npos ? std::string_view() : input.substr(split + 1)};

    // Every declared variable may get a value; some stay missing.
    lowering::VariableMap variables;
    for (const document::OperationDefinition& operation : document->operations) {
        for (const document::VariableDefinition& variable : operation.variables) {
            if (source.next() % 4 == 0) continue;
            variables.insert_or_assign(std::string(variable.name.value), draw_value(source, 0));
        }
    }
    std::optional<std::string_view> operation_name;
    if (const std::uint8_t pick = source.next(); pick != 0) {
        const document::OperationDefinition& operation = document->operations[pick % document->operations.size()];
        operation_name = operation.name ? operation.name->value : std::string_view("missing");
    }

    std::set<std::pair<std::uint64_t, std::uint64_t>> positions;
    for (const document::OperationDefinition& operation : document->operations) {
        field_positions(*document, operation.selection_set, positions);
    }
    for (const document::FragmentDefinition& fragment : document->fragments) {
        field_positions(*document, fragment.selection_set, positions);
    }
    lower_and_check(document, variables, operation_name, positions);
    return 0;
}
