// Lowering: one operation of a parsed document into the execution plan.
//
// One walk over the selections in written order. Each selection set lowers
// straight into its caller's vector (a field's `selections`, or the range a
// fragment splices into its parent), so flattening moves nothing. Fragment
// bodies lower the same way wherever they are spread (pruning reads only the
// variables), so a body lowered once is copied at its later spreads: a
// fragment bomb costs its output, which the limits below bound, not 2^n walks.
#include "dovrane_core/lowering.hpp"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>

namespace dovrane_core::lowering {

namespace {

using document::Argument;
using document::Directive;
using document::FragmentDefinition;
using document::Selection;
using document::SelectionKind;
using document::SelectionSet;
using document::Span;
using document::Value;
using document::ValueKind;
using error::BoxedError;
using error::concat;
using error::ErrorCode;
using error::Result;

static_assert(max_effective_depth == 256, "the nesting message quotes the limit");
static_assert(max_lowered_fields == 100000, "the size message quotes the limit");
static_assert(max_lowered_argument_values == 1000000, "the size message quotes the limit");

// Up to this many entries a selection set counts response keys by scanning;
// beyond it, by a sorted copy of the keys, so the count stays n log n.
constexpr std::size_t key_scan_limit = 32;

BoxedError validation_error(std::string message) {
    return error::make_error(std::move(message), ErrorCode::GraphqlValidationFailed);
}

BoxedError nesting_error() {
    return validation_error("query nesting exceeds the limit of 256");
}

// The first argument of that name counts; later ones are ignored.
const Argument* find_argument(Span<Argument> arguments, std::string_view name) {
    for (const Argument& argument : arguments) {
        if (argument.name.value == name) return &argument;
    }
    return nullptr;
}

const Directive* find_directive(Span<Directive> directives, std::string_view name) {
    for (const Directive& directive : directives) {
        if (directive.name.value == name) return &directive;
    }
    return nullptr;
}

// The directives lowering consumes; every other one is carried into the plan.
bool is_lowering_directive(std::string_view name) {
    return name == "skip" || name == "include" || name == "defer" || name == "stream";
}

// ---------------------------------------------------------------------------
// Directive arguments

// `if` of @skip, @include, @defer and @stream: a boolean literal or a variable
// holding a JSON boolean.
Result<bool> resolve_boolean_argument(const Value& value, const VariableMap& variables, std::string_view directive) {
    if (value.kind == ValueKind::Boolean) return value.boolean;
    if (value.kind != ValueKind::Variable) {
        return validation_error(concat({"@", directive, "(if: ...) argument must be a boolean or a variable"}));
    }
    auto found = variables.find(value.text);
    if (found == variables.end()) {
        return validation_error(
            concat({"@", directive, "(if: $", value.text, ") references undefined variable '$", value.text, "'"}));
    }
    if (const bool* flag = found->second.as_bool()) return *flag;
    return validation_error(concat({"variable '$", value.text, "' used in @", directive, "(if: ...) must be a boolean"}));
}

// `label` of @defer and @stream: only a string literal.
Result<std::string_view> resolve_label_argument(const Value& value, std::string_view directive) {
    if (value.kind == ValueKind::String) return value.text;
    return validation_error(concat({"@", directive, "(label: ...) must be a static string, not a variable"}));
}

// `initialCount` of @stream: a signed 64-bit integer, literal or variable.
Result<std::int64_t> resolve_initial_count(const Value& value, const VariableMap& variables) {
    std::int64_t count = 0;
    if (value.kind == ValueKind::Variable) {
        auto found = variables.find(value.text);
        if (found == variables.end()) {
            return validation_error(concat(
                {"@stream(initialCount: $", value.text, ") references undefined variable '$", value.text, "'"}));
        }
        const json::Number* number = found->second.as_number();
        if (number != nullptr && number->as_int64(count)) return count;
        return validation_error(
            concat({"variable '$", value.text, "' used in @stream(initialCount: ...) must be an integer"}));
    }
    if (value.kind == ValueKind::Number && value.number.as_int64(count)) return count;
    return validation_error("@stream(initialCount: ...) argument must be an integer or a variable");
}

// @skip and @include in written order; the first that decides wins, and the
// directives after it are not evaluated.
Result<bool> should_prune(Span<Directive> directives, const VariableMap& variables) {
    for (const Directive& directive : directives) {
        const bool is_skip = directive.name.value == "skip";
        if (!is_skip && directive.name.value != "include") continue;
        const Argument* condition = find_argument(directive.arguments, "if");
        if (condition == nullptr) return validation_error(concat({"@", directive.name.value, " requires an 'if' argument"}));
        Result<bool> value = resolve_boolean_argument(condition->value, variables, directive.name.value);
        if (!value) return value.take_error();
        if (value.value() == is_skip) return true;
    }
    return false;
}

// The first @defer of a spread or inline fragment; `if` is read before `label`.
Result<std::optional<DeferMarker>> defer_label(Span<Directive> directives, const VariableMap& variables) {
    const Directive* defer = find_directive(directives, "defer");
    if (defer == nullptr) return std::optional<DeferMarker>();
    if (const Argument* condition = find_argument(defer->arguments, "if")) {
        Result<bool> active = resolve_boolean_argument(condition->value, variables, "defer");
        if (!active) return active.take_error();
        if (!active.value()) return std::optional<DeferMarker>();
    }
    DeferMarker mark;
    if (const Argument* label = find_argument(defer->arguments, "label")) {
        Result<std::string_view> text = resolve_label_argument(label->value, "defer");
        if (!text) return text.take_error();
        mark.label = text.value();
    }
    return std::optional<DeferMarker>(mark);
}

// The first @stream of a field; `if`, then `initialCount`, then `label`,
// whatever order they are written in.
Result<std::optional<StreamMarker>> stream_marker(Span<Directive> directives, const VariableMap& variables) {
    const Directive* stream = find_directive(directives, "stream");
    if (stream == nullptr) return std::optional<StreamMarker>();
    StreamMarker marker;
    if (stream->arguments.empty()) return std::optional<StreamMarker>(marker);
    if (const Argument* condition = find_argument(stream->arguments, "if")) {
        Result<bool> active = resolve_boolean_argument(condition->value, variables, "stream");
        if (!active) return active.take_error();
        if (!active.value()) return std::optional<StreamMarker>();
    }
    if (const Argument* count = find_argument(stream->arguments, "initialCount")) {
        Result<std::int64_t> value = resolve_initial_count(count->value, variables);
        if (!value) return value.take_error();
        marker.initial_count = value.value();
    }
    if (const Argument* label = find_argument(stream->arguments, "label")) {
        Result<std::string_view> text = resolve_label_argument(label->value, "stream");
        if (!text) return text.take_error();
        marker.label = text.value();
    }
    return std::optional<StreamMarker>(marker);
}

// ---------------------------------------------------------------------------
// Arguments and directives carried into the plan

std::vector<LoweredArgument> lower_arguments(Span<Argument> arguments) {
    std::vector<LoweredArgument> lowered;
    lowered.reserve(arguments.size());
    for (const Argument& argument : arguments) lowered.push_back({argument.name.value, &argument.value});
    return lowered;
}

std::vector<LoweredDirective> lower_directives(Span<Directive> directives) {
    std::vector<LoweredDirective> lowered;
    std::size_t kept = 0;
    for (const Directive& directive : directives) kept += is_lowering_directive(directive.name.value) ? 0 : 1;
    if (kept == 0) return lowered;
    lowered.reserve(kept);
    for (const Directive& directive : directives) {
        if (is_lowering_directive(directive.name.value)) continue;
        lowered.push_back({directive.name.value, lower_arguments(directive.arguments)});
    }
    return lowered;
}

// Nodes of a value tree. The parser bounds value nesting, so this recursion is
// bounded too.
std::size_t value_nodes(const Value& value) {
    std::size_t nodes = 1;
    if (value.kind == ValueKind::List) {
        for (const Value& item : value.list) nodes += value_nodes(item);
    } else if (value.kind == ValueKind::Object) {
        for (const document::ObjectField& field : value.object) nodes += value_nodes(field.value);
    }
    return nodes;
}

std::size_t argument_values(Span<Argument> arguments) {
    std::size_t nodes = 0;
    for (const Argument& argument : arguments) nodes += value_nodes(argument.value);
    return nodes;
}

// What a field's arguments and carried directives weigh in the plan: every
// value node, plus one per carried directive.
std::size_t field_argument_values(const Selection& field) {
    std::size_t nodes = argument_values(field.arguments);
    for (const Directive& directive : field.directives) {
        if (!is_lowering_directive(directive.name.value)) nodes += 1 + argument_values(directive.arguments);
    }
    return nodes;
}

// ---------------------------------------------------------------------------
// The selection walk

// Per fragment definition, for one lowering.
struct FragmentState {
    bool on_stack = false;  // being expanded on the current path
    bool lowered = false;   // `fields` holds the body's lowering
    std::size_t field_count = 0;      // fields in `fields`, nested ones included
    std::size_t argument_values = 0;  // their argument weight
    std::size_t depth = 0;            // levels the body reaches below its own
    std::vector<LoweredField> fields;
};

struct Walk {
    const document::Document& document;
    const VariableMap& variables;
    std::vector<FragmentState> fragments;  // by index into document.fragments
    std::size_t field_count = 0;
    std::size_t argument_values = 0;
    std::size_t deepest = 0;  // deepest selection-set level reached so far
};

// Fields [begin, end) of a selection set's output, spliced in from one
// fragment that carries a defer mark.
struct PendingMark {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::optional<std::string_view> label;
};

BoxedError lower_selection_set(Walk& walk, const SelectionSet& selection_set,
                               std::optional<std::string_view> type_condition, std::size_t depth,
                               std::vector<LoweredField>& out);

// Field : Alias? Name Arguments? Directives? SelectionSet?
BoxedError lower_field(Walk& walk, const Selection& selection, std::optional<std::string_view> type_condition,
                       std::size_t depth, std::vector<LoweredField>& out) {
    Result<bool> pruned = should_prune(selection.directives, walk.variables);
    if (!pruned) return pruned.take_error();
    if (pruned.value()) return nullptr;
    if (++walk.field_count > max_lowered_fields) return validation_error("query lowers to more than 100000 fields");

    LoweredField& field = out.emplace_back();
    field.response_key = selection.response_key();
    field.field_name = selection.name.value;
    // The sub-selection comes before the field's own @stream, so its errors
    // are reported first.
    const SelectionSet& sub_selection = selection.selection_set;
    if (!sub_selection.selections.empty()) {
        if (depth + 1 > max_effective_depth) return nesting_error();
        field.selections.reserve(sub_selection.selections.size());
        if (BoxedError failure = lower_selection_set(walk, sub_selection, std::nullopt, depth + 1, field.selections)) {
            return failure;
        }
    }
    Result<std::optional<StreamMarker>> stream = stream_marker(selection.directives, walk.variables);
    if (!stream) return stream.take_error();
    field.stream = stream.value();
    field.type_condition = type_condition;

    walk.argument_values += field_argument_values(selection);
    if (walk.argument_values > max_lowered_argument_values) {
        return validation_error("query lowers to more than 1000000 argument values");
    }
    field.arguments = lower_arguments(selection.arguments);
    field.directives = lower_directives(selection.directives);
    const error::Location position = walk.document.position(selection.offset);
    field.line = position.line;
    field.column = position.column;
    return nullptr;
}

// A fragment's body, lowered one level below the spread. A body lowered
// before is copied when the copy stays within the limits; otherwise it is
// walked again, so a limit fails exactly where a plain walk would fail.
BoxedError expand_fragment(Walk& walk, const FragmentDefinition& fragment, FragmentState& state, std::size_t depth,
                           std::vector<LoweredField>& out) {
    const std::size_t body_depth = depth + 1;
    if (state.lowered && walk.field_count + state.field_count <= max_lowered_fields &&
        walk.argument_values + state.argument_values <= max_lowered_argument_values &&
        body_depth + state.depth <= max_effective_depth) {
        out.insert(out.end(), state.fields.begin(), state.fields.end());
        walk.field_count += state.field_count;
        walk.argument_values += state.argument_values;
        walk.deepest = std::max(walk.deepest, body_depth + state.depth);
        return nullptr;
    }
    if (body_depth > max_effective_depth) return nesting_error();

    const std::size_t begin = out.size();
    const std::size_t fields_before = walk.field_count;
    const std::size_t values_before = walk.argument_values;
    const std::size_t deepest_before = walk.deepest;
    walk.deepest = body_depth;
    state.on_stack = true;
    BoxedError failure =
        lower_selection_set(walk, fragment.selection_set, fragment.type_condition.name.value, body_depth, out);
    state.on_stack = false;
    if (failure) return failure;
    if (!state.lowered) {
        state.lowered = true;
        state.fields.assign(out.begin() + static_cast<std::ptrdiff_t>(begin), out.end());
        state.field_count = walk.field_count - fields_before;
        state.argument_values = walk.argument_values - values_before;
        state.depth = walk.deepest - body_depth;
    }
    walk.deepest = std::max(walk.deepest, deepest_before);
    return nullptr;
}

// FragmentSpread : ... FragmentName Directives?
BoxedError lower_fragment_spread(Walk& walk, const Selection& selection, std::size_t depth,
                                 std::vector<LoweredField>& out, std::vector<PendingMark>& pending) {
    Result<bool> pruned = should_prune(selection.directives, walk.variables);
    if (!pruned) return pruned.take_error();
    if (pruned.value()) return nullptr;

    const std::string_view name = selection.name.value;
    const FragmentDefinition* fragment = walk.document.find_fragment(name);
    if (fragment == nullptr) return validation_error(concat({"undefined fragment '", name, "'"}));
    Result<bool> definition_pruned = should_prune(fragment->directives, walk.variables);
    if (!definition_pruned) return definition_pruned.take_error();
    if (definition_pruned.value()) return nullptr;

    if (walk.fragments.empty()) walk.fragments.resize(walk.document.fragments.size());
    FragmentState& state = walk.fragments[static_cast<std::size_t>(fragment - walk.document.fragments.data())];
    if (state.on_stack) {
        return error::make_error(concat({"Fragment cycle detected involving '", name, "'"}),
                                 ErrorCode::InvalidFragmentTarget);
    }
    // Only the spread's own @defer counts, never the definition's.
    Result<std::optional<DeferMarker>> mark = defer_label(selection.directives, walk.variables);
    if (!mark) return mark.take_error();

    const std::size_t begin = out.size();
    if (BoxedError failure = expand_fragment(walk, *fragment, state, depth, out)) return failure;
    if (mark.value() && out.size() > begin) pending.push_back({begin, out.size(), mark.value()->label});
    return nullptr;
}

// InlineFragment : ... TypeCondition? Directives? SelectionSet
BoxedError lower_inline_fragment(Walk& walk, const Selection& selection,
                                 std::optional<std::string_view> type_condition, std::size_t depth,
                                 std::vector<LoweredField>& out, std::vector<PendingMark>& pending) {
    Result<bool> pruned = should_prune(selection.directives, walk.variables);
    if (!pruned) return pruned.take_error();
    if (pruned.value()) return nullptr;

    if (selection.type_condition) type_condition = selection.type_condition->name.value;
    Result<std::optional<DeferMarker>> mark = defer_label(selection.directives, walk.variables);
    if (!mark) return mark.take_error();

    if (depth + 1 > max_effective_depth) return nesting_error();
    const std::size_t begin = out.size();
    if (BoxedError failure = lower_selection_set(walk, selection.selection_set, type_condition, depth + 1, out)) {
        return failure;
    }
    if (mark.value() && out.size() > begin) pending.push_back({begin, out.size(), mark.value()->label});
    return nullptr;
}

// A mark lands on a field only when no other entry of this selection set
// shares its response key; a dropped mark leaves any inner mark in place.
void apply_defer_marks(std::vector<LoweredField>& out, std::size_t start, const std::vector<PendingMark>& pending) {
    const std::size_t entries = out.size() - start;
    std::vector<std::string_view> sorted_keys;
    if (entries > key_scan_limit) {
        sorted_keys.reserve(entries);
        for (std::size_t i = start; i < out.size(); ++i) sorted_keys.push_back(out[i].response_key);
        std::sort(sorted_keys.begin(), sorted_keys.end());
    }
    auto key_is_unique = [&](std::string_view key) {
        if (entries > key_scan_limit) {
            auto [first, last] = std::equal_range(sorted_keys.begin(), sorted_keys.end(), key);
            return last - first == 1;
        }
        std::size_t count = 0;
        for (std::size_t i = start; i < out.size(); ++i) count += out[i].response_key == key ? 1 : 0;
        return count == 1;
    };
    for (const PendingMark& mark : pending) {
        for (std::size_t i = mark.begin; i < mark.end; ++i) {
            if (key_is_unique(out[i].response_key)) out[i].defer = DeferMarker{mark.label};
        }
    }
}

// SelectionSet : { Selection+ }
// Appends the lowered fields to `out`, then applies the defer marks of the
// fragments spliced in at this level.
BoxedError lower_selection_set(Walk& walk, const SelectionSet& selection_set,
                               std::optional<std::string_view> type_condition, std::size_t depth,
                               std::vector<LoweredField>& out) {
    walk.deepest = std::max(walk.deepest, depth);
    const std::size_t start = out.size();
    std::vector<PendingMark> pending;  // allocates only when a fragment is deferred
    for (const Selection& selection : selection_set.selections) {
        BoxedError failure;
        switch (selection.kind) {
            case SelectionKind::Field:
                failure = lower_field(walk, selection, type_condition, depth, out);
                break;
            case SelectionKind::FragmentSpread:
                failure = lower_fragment_spread(walk, selection, depth, out, pending);
                break;
            case SelectionKind::InlineFragment:
                failure = lower_inline_fragment(walk, selection, type_condition, depth, out, pending);
                break;
        }
        if (failure) return failure;
    }
    if (!pending.empty()) apply_defer_marks(out, start, pending);
    return nullptr;
}

}  // namespace

error::Result<LoweredOperation> lower_document(const document::SharedDocument& document, const VariableMap& variables,
                                               std::optional<std::string_view> operation_name) {
    Result<const document::OperationDefinition*> selected = document::select_operation(*document, operation_name);
    if (!selected) return selected.take_error();
    const document::OperationDefinition& operation = *selected.value();

    // The operation's variable definitions (and their defaults) and its own
    // directives are never read: only the request's variables count.
    Walk walk{*document, variables, {}};
    LoweredOperation lowered;
    lowered.operation_type = operation.type;
    lowered.fields.reserve(operation.selection_set.selections.size());
    if (BoxedError failure = lower_selection_set(walk, operation.selection_set, std::nullopt, 0, lowered.fields)) {
        return failure;
    }
    lowered.document = document;
    return lowered;
}

}  // namespace dovrane_core::lowering
