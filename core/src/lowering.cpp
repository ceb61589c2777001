// Lowering: one operation of a parsed document into the execution plan.
//
// Two steps. The walk goes over the selections once, in written order, and
// builds a plan: every field it keeps, and per selection set a body of items
// (a field, or a body spliced in by a fragment). A fragment's body is lowered
// once per lowering (pruning reads only the variables) and every later spread
// refers to that body, so a chain or a bomb of fragments costs its text plus
// the count of what it adds, never a copy per level. Then the plan is written
// out flat, one record per lowered field, and the @defer marks of each
// field-level selection set are settled there once, over all the fragments
// spliced into it. LoweredField trees are built from the flat plan.
#include "dovrane_core/lowering.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "dovrane_core/builtin_directives.hpp"
#include "dovrane_core/limits.hpp"
#include "scratch.hpp"

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

BoxedError validation_error(std::string message) {
    return error::make_error(std::move(message), ErrorCode::GraphqlValidationFailed);
}

BoxedError nesting_error() {
    return validation_error(limits::effective_depth_message);
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
bool is_lowering_directive(std::string_view name) { return builtin_directives::find(name) != nullptr; }

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
        const bool is_skip = directive.name.value == builtin_directives::skip.name;
        if (!is_skip && directive.name.value != builtin_directives::include.name) continue;
        const Argument* condition = find_argument(directive.arguments, builtin_directives::if_argument);
        if (condition == nullptr) return validation_error(concat({"@", directive.name.value, " requires an 'if' argument"}));
        Result<bool> value = resolve_boolean_argument(condition->value, variables, directive.name.value);
        if (!value) return value.take_error();
        if (value.value() == is_skip) return true;
    }
    return false;
}

// The first @defer of a spread or inline fragment; `if` is read before `label`.
Result<std::optional<DeferMarker>> defer_label(Span<Directive> directives, const VariableMap& variables) {
    const Directive* defer = find_directive(directives, builtin_directives::defer.name);
    if (defer == nullptr) return std::optional<DeferMarker>();
    if (const Argument* condition = find_argument(defer->arguments, builtin_directives::if_argument)) {
        Result<bool> active = resolve_boolean_argument(condition->value, variables, builtin_directives::defer.name);
        if (!active) return active.take_error();
        if (!active.value()) return std::optional<DeferMarker>();
    }
    DeferMarker mark;
    if (const Argument* label = find_argument(defer->arguments, builtin_directives::label_argument)) {
        Result<std::string_view> text = resolve_label_argument(label->value, builtin_directives::defer.name);
        if (!text) return text.take_error();
        mark.label = text.value();
    }
    return std::optional<DeferMarker>(mark);
}

// The first @stream of a field; `if`, then `initialCount`, then `label`,
// whatever order they are written in.
Result<std::optional<StreamMarker>> stream_marker(Span<Directive> directives, const VariableMap& variables) {
    const Directive* stream = find_directive(directives, builtin_directives::stream.name);
    if (stream == nullptr) return std::optional<StreamMarker>();
    StreamMarker marker;
    if (stream->arguments.empty()) return std::optional<StreamMarker>(marker);
    if (const Argument* condition = find_argument(stream->arguments, builtin_directives::if_argument)) {
        Result<bool> active = resolve_boolean_argument(condition->value, variables, builtin_directives::stream.name);
        if (!active) return active.take_error();
        if (!active.value()) return std::optional<StreamMarker>();
    }
    if (const Argument* count = find_argument(stream->arguments, builtin_directives::initial_count_argument)) {
        Result<std::int64_t> value = resolve_initial_count(count->value, variables);
        if (!value) return value.take_error();
        marker.initial_count = value.value();
    }
    if (const Argument* label = find_argument(stream->arguments, builtin_directives::label_argument)) {
        Result<std::string_view> text = resolve_label_argument(label->value, builtin_directives::stream.name);
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
// The plan the walk builds

// A plan holds no more fields, items, bodies or marks than the fields it
// lowers to, which the field limit bounds: 32 bits index them.
using PlanIndex = std::uint32_t;
using MarkIndex = std::uint32_t;  // into Plan::marks; 0 is no mark

// A lowered selection set as its parent holds it. `mark` belongs to levels
// that held nothing but this body (a fragment whose one selection is a
// deferred spread, say): they span exactly the body's fields, so their marks
// test uniqueness over the body itself, and the outermost of them counts.
struct BodyRef {
    PlanIndex body = 0;  // into Plan::bodies; 0 is the empty body
    MarkIndex mark = 0;
};

// A field the walk kept; every place it is spliced into shares it, and its
// sub-selection with it.
struct PlanField {
    const Selection* selection = nullptr;  // key, name, arguments and directives
    const document::Name* type_condition = nullptr;
    BodyRef selections;
    std::uint32_t line = 0;
    std::uint32_t column = 0;
    std::uint32_t stream = 0;  // into Plan::streams; 0 is none
};

// One entry of a body: a field, or a body spliced in by a fragment. The
// fragment's `mark` lands on a spliced field only where no other field of the
// enclosing body shares its response key.
struct Item {
    bool is_body = false;
    PlanIndex field = 0;  // into Plan::fields, when not a body
    BodyRef body;
    MarkIndex mark = 0;
};

struct Body {
    PlanIndex first_item = 0;  // into Plan::items
    PlanIndex item_count = 0;
    std::size_t fields = 0;  // at this level, once the bodies spliced in are flattened
    bool has_marks = false;  // a mark on an item here, or in a body spliced in
};

struct Plan {
    std::vector<PlanField> fields;
    std::vector<Item> items;
    std::vector<Body> bodies;            // the empty body first
    std::vector<DeferMarker> marks;      // one per @defer that placed a mark, after an unused first
    std::vector<StreamMarker> streams;   // one per active @stream, after an unused first

    void reset(detail::ScratchBudget& budget) {
        detail::reset_scratch(fields, budget);
        detail::reset_scratch(items, budget);
        detail::reset_scratch(bodies, budget);
        detail::reset_scratch(marks, budget);
        detail::reset_scratch(streams, budget);
        bodies.emplace_back();
        marks.emplace_back();
        streams.emplace_back();
    }
};

// ---------------------------------------------------------------------------
// The selection walk

// Per fragment definition, for one lowering.
struct FragmentState {
    bool on_stack = false;           // being expanded on the current path
    bool definition_read = false;    // its own @skip/@include evaluated, once
    bool definition_pruned = false;
    bool lowered = false;            // `body` holds the body's lowering
    std::size_t field_count = 0;      // fields the body adds, nested ones included
    std::size_t argument_values = 0;  // their argument weight
    std::size_t depth = 0;            // levels the body reaches below its own
    BodyRef body;
};

struct Walk {
    const document::Document& document;
    const VariableMap& variables;
    Plan& plan;
    std::vector<Item>& open_items;           // of the selection sets being walked, innermost last
    std::vector<FragmentState>& fragments;  // by index into document.fragments
    document::PositionCursor positions;     // fields are mostly met in written order
    std::size_t field_count = 0;
    std::size_t argument_values = 0;
    std::size_t deepest = 0;  // deepest selection-set level reached so far
};

BoxedError lower_selection_set(Walk& walk, const SelectionSet& selection_set, const document::Name* type_condition,
                               std::size_t depth, BodyRef& out);

// Ends the selection set whose items start at `begin` of the open items. A set
// whose one item is a spliced body is that body, under the item's mark when it
// has one: a chain of such levels costs nothing per level.
BodyRef close_body(Walk& walk, std::size_t begin) {
    std::vector<Item>& open = walk.open_items;
    Plan& plan = walk.plan;
    if (open.size() == begin) return BodyRef{};
    if (open.size() == begin + 1 && open.back().is_body) {
        BodyRef only = open.back().body;
        if (open.back().mark != 0) only.mark = open.back().mark;
        open.pop_back();
        return only;
    }
    Body body;
    body.first_item = static_cast<PlanIndex>(plan.items.size());
    body.item_count = static_cast<PlanIndex>(open.size() - begin);
    for (std::size_t i = begin; i < open.size(); ++i) {
        const Item& item = open[i];
        if (!item.is_body) {
            ++body.fields;
            continue;
        }
        const Body& spliced = plan.bodies[item.body.body];
        body.fields += spliced.fields;
        body.has_marks = body.has_marks || item.mark != 0 || item.body.mark != 0 || spliced.has_marks;
    }
    plan.items.insert(plan.items.end(), open.begin() + static_cast<std::ptrdiff_t>(begin), open.end());
    open.resize(begin);
    plan.bodies.push_back(body);
    return BodyRef{static_cast<PlanIndex>(plan.bodies.size() - 1), 0};
}

// A fragment's body into the enclosing set, under the fragment's @defer mark;
// an empty body adds nothing.
void splice(Walk& walk, const BodyRef& body, const std::optional<DeferMarker>& defer) {
    if (walk.plan.bodies[body.body].fields == 0) return;
    MarkIndex mark = 0;
    if (defer) {
        mark = static_cast<MarkIndex>(walk.plan.marks.size());
        walk.plan.marks.push_back(*defer);
    }
    walk.open_items.push_back(Item{true, 0, body, mark});
}

// Field : Alias? Name Arguments? Directives? SelectionSet?
BoxedError lower_field(Walk& walk, const Selection& selection, const document::Name* type_condition,
                       std::size_t depth) {
    Result<bool> pruned = should_prune(selection.directives, walk.variables);
    if (!pruned) return pruned.take_error();
    if (pruned.value()) return nullptr;
    if (++walk.field_count > limits::max_lowered_fields) return validation_error(limits::lowered_fields_message);

    // Before the sub-selection moves the position cursor on.
    const error::Location position = walk.positions.at(selection.offset);
    // The sub-selection comes before the field's own @stream, so its errors
    // are reported first.
    BodyRef selections;
    const SelectionSet& sub_selection = selection.selection_set;
    if (!sub_selection.selections.empty()) {
        if (depth + 1 > limits::max_effective_depth) return nesting_error();
        if (BoxedError failure = lower_selection_set(walk, sub_selection, nullptr, depth + 1, selections)) {
            return failure;
        }
    }
    Result<std::optional<StreamMarker>> stream = stream_marker(selection.directives, walk.variables);
    if (!stream) return stream.take_error();
    std::uint32_t stream_index = 0;
    if (stream.value()) {
        stream_index = static_cast<std::uint32_t>(walk.plan.streams.size());
        walk.plan.streams.push_back(*stream.value());
    }

    walk.argument_values += field_argument_values(selection);
    if (walk.argument_values > limits::max_lowered_argument_values) {
        return validation_error(limits::lowered_argument_values_message);
    }
    walk.open_items.push_back(Item{false, static_cast<PlanIndex>(walk.plan.fields.size()), {}, 0});
    // Written member by member in place: a record put together on the stack
    // and copied in is read back before its stores have landed.
    PlanField& field = walk.plan.fields.emplace_back();
    field.selection = &selection;
    field.type_condition = type_condition;
    field.selections = selections;
    field.line = static_cast<std::uint32_t>(position.line);
    field.column = static_cast<std::uint32_t>(position.column);
    field.stream = stream_index;
    return nullptr;
}

// A fragment's body, lowered one level below the spread. A body lowered
// before is shared when it stays within the limits there; otherwise it is
// walked again, so a limit fails exactly where a plain walk would fail.
BoxedError expand_fragment(Walk& walk, const FragmentDefinition& fragment, FragmentState& state, std::size_t depth,
                           BodyRef& body) {
    const std::size_t body_depth = depth + 1;
    if (state.lowered && walk.field_count + state.field_count <= limits::max_lowered_fields &&
        walk.argument_values + state.argument_values <= limits::max_lowered_argument_values &&
        body_depth + state.depth <= limits::max_effective_depth) {
        body = state.body;
        walk.field_count += state.field_count;
        walk.argument_values += state.argument_values;
        walk.deepest = std::max(walk.deepest, body_depth + state.depth);
        return nullptr;
    }
    if (body_depth > limits::max_effective_depth) return nesting_error();

    const std::size_t fields_before = walk.field_count;
    const std::size_t values_before = walk.argument_values;
    const std::size_t deepest_before = walk.deepest;
    walk.deepest = body_depth;
    state.on_stack = true;
    BoxedError failure =
        lower_selection_set(walk, fragment.selection_set, &fragment.type_condition.name, body_depth, body);
    state.on_stack = false;
    if (failure) return failure;
    if (!state.lowered) {
        state.lowered = true;
        state.body = body;
        state.field_count = walk.field_count - fields_before;
        state.argument_values = walk.argument_values - values_before;
        state.depth = walk.deepest - body_depth;
    }
    walk.deepest = std::max(walk.deepest, deepest_before);
    return nullptr;
}

// An undefined or cyclic spread, located at its "..." as validation would
// locate it: below a union-typed field a spread reaches lowering unvalidated.
BoxedError spread_error(const Walk& walk, const Selection& spread, std::string message, ErrorCode code) {
    return error::make_error_at(std::move(message), code, walk.document.position(spread.offset));
}

// FragmentSpread : ... FragmentName Directives?
BoxedError lower_fragment_spread(Walk& walk, const Selection& selection, std::size_t depth) {
    Result<bool> pruned = should_prune(selection.directives, walk.variables);
    if (!pruned) return pruned.take_error();
    if (pruned.value()) return nullptr;

    const std::string_view name = selection.name.value;
    const FragmentDefinition* fragment = walk.document.find_fragment(name);
    if (fragment == nullptr) {
        return spread_error(walk, selection, concat({"undefined fragment '", name, "'"}),
                            ErrorCode::GraphqlValidationFailed);
    }
    if (walk.fragments.empty()) walk.fragments.resize(walk.document.fragments.size());
    FragmentState& state = walk.fragments[static_cast<std::size_t>(fragment - walk.document.fragments.data())];
    // The definition's directives read the variables only, so they decide
    // the same at every spread.
    if (!state.definition_read) {
        Result<bool> definition_pruned = should_prune(fragment->directives, walk.variables);
        if (!definition_pruned) return definition_pruned.take_error();
        state.definition_read = true;
        state.definition_pruned = definition_pruned.value();
    }
    if (state.definition_pruned) return nullptr;

    if (state.on_stack) {
        return spread_error(walk, selection, concat({"Fragment cycle detected involving '", name, "'"}),
                            ErrorCode::InvalidFragmentTarget);
    }
    // Only the spread's own @defer counts, never the definition's.
    Result<std::optional<DeferMarker>> mark = defer_label(selection.directives, walk.variables);
    if (!mark) return mark.take_error();

    BodyRef body;
    if (BoxedError failure = expand_fragment(walk, *fragment, state, depth, body)) return failure;
    splice(walk, body, mark.value());
    return nullptr;
}

// InlineFragment : ... TypeCondition? Directives? SelectionSet
BoxedError lower_inline_fragment(Walk& walk, const Selection& selection, const document::Name* type_condition,
                                 std::size_t depth) {
    Result<bool> pruned = should_prune(selection.directives, walk.variables);
    if (!pruned) return pruned.take_error();
    if (pruned.value()) return nullptr;

    if (selection.type_condition) type_condition = &selection.type_condition->name;
    Result<std::optional<DeferMarker>> mark = defer_label(selection.directives, walk.variables);
    if (!mark) return mark.take_error();

    if (depth + 1 > limits::max_effective_depth) return nesting_error();
    BodyRef body;
    if (BoxedError failure = lower_selection_set(walk, selection.selection_set, type_condition, depth + 1, body)) {
        return failure;
    }
    splice(walk, body, mark.value());
    return nullptr;
}

// SelectionSet : { Selection+ }
BoxedError lower_selection_set(Walk& walk, const SelectionSet& selection_set, const document::Name* type_condition,
                               std::size_t depth, BodyRef& out) {
    walk.deepest = std::max(walk.deepest, depth);
    const std::size_t begin = walk.open_items.size();
    for (const Selection& selection : selection_set.selections) {
        BoxedError failure;
        switch (selection.kind) {
            case SelectionKind::Field:
                failure = lower_field(walk, selection, type_condition, depth);
                break;
            case SelectionKind::FragmentSpread:
                failure = lower_fragment_spread(walk, selection, depth);
                break;
            case SelectionKind::InlineFragment:
                failure = lower_inline_fragment(walk, selection, type_condition, depth);
                break;
        }
        if (failure) return failure;
    }
    out = close_body(walk, begin);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Writing the plan out flat
//
// Each field-level selection set (the operation's, each field's) is written
// as one level: its fields, flattened through every body spliced into it, in
// order, one after another. Its defer marks are settled there in one pass. A
// mark on the path to a field lands on it when its range holds no other field
// of the same response key; ranges on a path nest, so uniqueness holds from
// some mark inwards, and the outermost mark that holds wins.

// A mark on the path being written, over the fields [begin, end) of the level.
struct OpenMark {
    std::size_t begin = 0;
    std::size_t end = 0;
    MarkIndex mark = 0;
};

struct Writer {
    const Plan& plan;
    std::vector<FlatField>& out;
    std::vector<PlanIndex>& pending;  // plan fields of the levels being written, innermost last
    // Settling one level's marks: where each field's key is unique, the range
    // strictly between the fields of the same key before and after it.
    std::vector<PlanIndex>& order;
    std::vector<std::size_t>& unique_from;
    std::vector<std::size_t>& unique_to;
    std::vector<OpenMark>& marks;
};

// The level's fields in order, flattened through the bodies spliced into it;
// their plan fields are noted for the levels below. Bodies nest no deeper
// than the effective-depth bound, so this recursion is bounded too.
void write_fields(Writer& writer, PlanIndex body_index) {
    const Body& body = writer.plan.bodies[body_index];
    for (PlanIndex i = 0; i < body.item_count; ++i) {
        const Item& item = writer.plan.items[body.first_item + i];
        if (item.is_body) {
            write_fields(writer, item.body.body);
            continue;
        }
        const PlanField& planned = writer.plan.fields[item.field];
        FlatField& field = writer.out.emplace_back();
        field.selection = planned.selection;
        field.type_condition = planned.type_condition;
        field.line = planned.line;
        field.column = planned.column;
        field.stream = planned.stream;
        writer.pending.push_back(item.field);
    }
}

// `level` is the level's first field in `out`.
void place_marks(Writer& writer, const BodyRef& ref, std::size_t level, std::size_t& cursor) {
    const Body& body = writer.plan.bodies[ref.body];
    if (writer.marks.empty() && ref.mark == 0 && !body.has_marks) {
        cursor += body.fields;
        return;
    }
    const std::size_t begin = cursor;
    const std::size_t end = cursor + body.fields;
    if (ref.mark != 0) writer.marks.push_back({begin, end, ref.mark});
    for (PlanIndex i = 0; i < body.item_count; ++i) {
        const Item& item = writer.plan.items[body.first_item + i];
        if (item.is_body) {
            if (item.mark != 0) writer.marks.push_back({begin, end, item.mark});
            place_marks(writer, item.body, level, cursor);
            if (item.mark != 0) writer.marks.pop_back();
            continue;
        }
        const std::size_t from = writer.unique_from[cursor];
        const std::size_t to = writer.unique_to[cursor];
        auto holds = std::partition_point(writer.marks.begin(), writer.marks.end(), [&](const OpenMark& open) {
            return open.begin < from || open.end > to;
        });
        if (holds != writer.marks.end()) writer.out[level + cursor].defer = holds->mark;
        ++cursor;
    }
    if (ref.mark != 0) writer.marks.pop_back();
}

std::string_view response_key(const FlatField& field) { return field.selection->response_key(); }

void settle_defer_marks(Writer& writer, const BodyRef& ref, std::size_t level, std::size_t count) {
    const FlatField* fields = writer.out.data() + level;
    writer.order.resize(count);
    for (std::size_t i = 0; i < count; ++i) writer.order[i] = static_cast<PlanIndex>(i);
    std::sort(writer.order.begin(), writer.order.end(), [&](PlanIndex a, PlanIndex b) {
        const int compared = response_key(fields[a]).compare(response_key(fields[b]));
        return compared != 0 ? compared < 0 : a < b;
    });
    writer.unique_from.assign(count, 0);
    writer.unique_to.assign(count, count);
    for (std::size_t i = 1; i < count; ++i) {
        const PlanIndex before = writer.order[i - 1];
        const PlanIndex after = writer.order[i];
        if (response_key(fields[before]) != response_key(fields[after])) continue;
        writer.unique_to[before] = after;
        writer.unique_from[after] = before + std::size_t{1};
    }
    writer.marks.clear();
    std::size_t cursor = 0;
    place_marks(writer, ref, level, cursor);
}

// Writes a level and, after it, the levels below; returns where the level
// starts. Field levels nest no deeper than the effective-depth bound.
std::size_t write_level(Writer& writer, const BodyRef& ref) {
    const Plan& plan = writer.plan;
    const std::size_t level = writer.out.size();
    const std::size_t base = writer.pending.size();
    write_fields(writer, ref.body);
    const std::size_t count = writer.out.size() - level;
    if (ref.mark != 0 || plan.bodies[ref.body].has_marks) settle_defer_marks(writer, ref, level, count);
    for (std::size_t i = 0; i < count; ++i) {
        const BodyRef& selections = plan.fields[writer.pending[base + i]].selections;
        const std::size_t children = plan.bodies[selections.body].fields;
        if (children == 0) continue;
        const std::size_t first = write_level(writer, selections);
        writer.out[level + i].first_child = static_cast<std::uint32_t>(first);
        writer.out[level + i].child_count = static_cast<std::uint32_t>(children);
    }
    writer.pending.resize(base);
    return level;
}

// A lowering's working memory, kept on its thread for the next lowering. A
// plan of 100 000 fields needs about 10 MB; beyond `keep_bytes` it is given
// back.
struct Scratch {
    static constexpr std::size_t keep_bytes = std::size_t{8} << 20;

    Plan plan;
    std::vector<Item> open_items;
    std::vector<FragmentState> fragments;
    std::vector<PlanIndex> pending;
    std::vector<PlanIndex> order;
    std::vector<std::size_t> unique_from;
    std::vector<std::size_t> unique_to;
    std::vector<OpenMark> marks;

    void reset() {
        detail::ScratchBudget budget{keep_bytes};
        plan.reset(budget);
        detail::reset_scratch(open_items, budget);
        detail::reset_scratch(fragments, budget);
        detail::reset_scratch(pending, budget);
        detail::reset_scratch(order, budget);
        detail::reset_scratch(unique_from, budget);
        detail::reset_scratch(unique_to, budget);
        detail::reset_scratch(marks, budget);
    }
};

// A flat plan's buffers between lowerings on this thread: each freed plan
// leaves its own here when the slot is empty, and the next plan takes them.
// A lowering while another plan holds them simply gets new ones.
struct FlatBuffers {
    std::vector<FlatField> fields;
    std::vector<DeferMarker> defers;
    std::vector<StreamMarker> streams;
};

thread_local FlatBuffers spare_buffers;

template <class T>
void keep_spare(std::vector<T>& freed, std::vector<T>& slot) {
    if (slot.capacity() != 0 || freed.capacity() * sizeof(T) > Scratch::keep_bytes) return;
    freed.clear();
    slot.swap(freed);
}

// The LoweredField records of the level [first, first + count) of a flat
// plan; bounded by the effective depth.
std::vector<LoweredField> tree_level(const FlatPlan& flat, std::size_t first, std::size_t count) {
    std::vector<LoweredField> level;
    level.reserve(count);
    for (std::size_t i = first; i < first + count; ++i) {
        const FlatField& field = flat.fields[i];
        const Selection& selection = *field.selection;
        // Member by member: clang before 16 (the fuzz harnesses' compiler)
        // lacks parenthesised aggregate initialisation.
        LoweredField& lowered = level.emplace_back();
        lowered.response_key = selection.response_key();
        lowered.field_name = selection.name.value;
        if (field.type_condition != nullptr) lowered.type_condition = field.type_condition->value;
        lowered.arguments = lower_arguments(selection.arguments);
        lowered.directives = lower_directives(selection.directives);
        lowered.selections = tree_level(flat, field.first_child, field.child_count);
        if (const DeferMarker* mark = flat.defer_of(field)) lowered.defer = *mark;
        if (const StreamMarker* marker = flat.stream_of(field)) lowered.stream = *marker;
        lowered.line = field.line;
        lowered.column = field.column;
    }
    return level;
}

}  // namespace

bool is_carried_directive(std::string_view name) { return !is_lowering_directive(name); }

FlatPlan::~FlatPlan() {
    keep_spare(fields, spare_buffers.fields);
    keep_spare(defers, spare_buffers.defers);
    keep_spare(streams, spare_buffers.streams);
}

error::Result<FlatPlan> lower_flat(const document::SharedDocument& document, const VariableMap& variables,
                                   std::optional<std::string_view> operation_name) {
    Result<const document::OperationDefinition*> selected = document::select_operation(*document, operation_name);
    if (!selected) return selected.take_error();
    const document::OperationDefinition& operation = *selected.value();

    thread_local Scratch scratch;
    detail::ScratchLease lease(scratch);
    // The operation's variable definitions (and their defaults) and its own
    // directives are never read: only the request's variables count.
    Walk walk{*document, variables, scratch.plan, scratch.open_items, scratch.fragments,
              document::PositionCursor(*document)};
    BodyRef root;
    if (BoxedError failure = lower_selection_set(walk, operation.selection_set, nullptr, 0, root)) {
        return failure;
    }
    FlatPlan flat;
    flat.operation_type = operation.type;
    flat.fields.swap(spare_buffers.fields);
    flat.defers.swap(spare_buffers.defers);
    flat.streams.swap(spare_buffers.streams);
    flat.fields.reserve(walk.field_count);
    Writer writer{scratch.plan,  flat.fields,        scratch.pending, scratch.order,
                  scratch.unique_from, scratch.unique_to, scratch.marks};
    write_level(writer, root);
    flat.top_count = static_cast<std::uint32_t>(scratch.plan.bodies[root.body].fields);
    flat.defers.assign(scratch.plan.marks.begin(), scratch.plan.marks.end());
    flat.streams.assign(scratch.plan.streams.begin(), scratch.plan.streams.end());
    flat.document = document;
    return flat;
}

error::Result<LoweredOperation> lower_document(const document::SharedDocument& document, const VariableMap& variables,
                                               std::optional<std::string_view> operation_name) {
    Result<FlatPlan> flat = lower_flat(document, variables, operation_name);
    if (!flat) return flat.take_error();
    LoweredOperation lowered;
    lowered.operation_type = flat.value().operation_type;
    lowered.fields = tree_level(flat.value(), 0, flat.value().top_count);
    lowered.document = document;
    return lowered;
}

}  // namespace dovrane_core::lowering
