// Validation of one operation against a compiled schema.
//
// Each rule is a free function named for what it asks of the node, with its
// message beside it. The rules of each kind of node run in one list, and the
// lists sit together at the end of this file ("The rules, in the order they
// are checked"): that order decides which error a query gets, since the first
// failing rule ends the whole validation. There is one walk over the
// operation, the rules of a node running as the walk reaches it.
//
// Work per call stays linear in the selections reached: a fragment body that
// passed once is not walked again, and names from the query are compared
// through sorted scratch lists, never all pairs and never hashed.
#include "dovrane_core/validation.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dovrane_core/builtin_directives.hpp"
#include "dovrane_core/limits.hpp"
#include "dovrane_core/naming.hpp"

namespace dovrane_core::validation {

namespace {

using document::Argument;
using document::Directive;
using document::Document;
using document::FragmentDefinition;
using document::Offset;
using document::OperationDefinition;
using document::OperationType;
using document::Selection;
using document::SelectionKind;
using document::SelectionSet;
using document::Span;
using document::Value;
using document::ValueKind;
using document::VariableDefinition;
using error::BoxedError;
using error::concat;
using error::ErrorCode;
using error::MaybeError;
using schema::ArgumentDefinition;
using schema::CompiledSchema;
using schema::FieldDefinition;
using schema::GraphQLType;
using schema::OperationDirectiveDefinition;
using schema::OperationDirectiveLocation;
using schema::TypeDefinition;
using schema::TypeKind;
using builtin_directives::BuiltinArgument;
using builtin_directives::BuiltinDirective;

// ---------------------------------------------------------------------------
// Working state of one call.

struct DeclaredVariable {
    std::string_view name;  // without "$"
    GraphQLType type;
    bool has_default = false;
};

struct FragmentState {
    bool on_stack = false;     // being expanded on the current path
    bool validated = false;    // its body passed once in this call
    bool keys_walked = false;  // the subscription key walk went through it once
    std::uint32_t height = 0;  // levels its body reached below its own level
};

struct NameAt {
    std::string_view name;
    std::uint32_t index = 0;
};

struct Context {
    const Document& document;
    const CompiledSchema& schema;
    // Sorted by name; no name twice (checked before it is built).
    std::vector<DeclaredVariable> variables;
    // By index into document.fragments; the fragment stack is `on_stack`.
    std::vector<FragmentState> fragments;
    // Possible types by type, sorted, computed on first need in this call.
    std::map<const TypeDefinition*, std::vector<std::string_view>> possible_types_by_type;
    std::vector<NameAt> scratch_names;
    // Deepest level any walked selection set reached so far.
    std::size_t deepest = 0;
};

// Marks a fragment as being expanded for as long as the guard lives, so every
// step leaves the fragment stack as it found it.
class FragmentStackGuard {
public:
    explicit FragmentStackGuard(FragmentState& state) : state_(state) { state_.on_stack = true; }
    ~FragmentStackGuard() { state_.on_stack = false; }
    FragmentStackGuard(const FragmentStackGuard&) = delete;
    FragmentStackGuard& operator=(const FragmentStackGuard&) = delete;

private:
    FragmentState& state_;
};

// ---------------------------------------------------------------------------
// The nodes that rules check. Each holds what earlier rules found out about
// it, for the later ones; a rule that settles the node (nothing more is
// checked of it, and it passes) sets `settled`.

enum class TypeClass : std::uint8_t { Leaf, Composite, Unclassified };

struct OperationNode {
    std::optional<std::string_view> name;
    const OperationDefinition* operation = nullptr;  // operation_is_selected
    const std::string* root_type_name = nullptr;     // schema_has_the_root_type
    const TypeDefinition* root = nullptr;            // root_type_is_registered
    bool settled = false;
};

struct FieldNode {
    const Selection& field;
    const TypeDefinition& parent;
    std::size_t level;
    // field_is_defined: the definition, and the class of its named type.
    const FieldDefinition* definition = nullptr;
    TypeClass type_class = TypeClass::Unclassified;
    const TypeDefinition* type = nullptr;  // that named type, when in `types`
    bool settled = false;
};

struct FragmentSpreadNode {
    const Selection& spread;
    const TypeDefinition& parent;
    std::size_t level;
    const FragmentDefinition* fragment = nullptr;  // fragment_is_defined
    FragmentState* state = nullptr;                // fragment_is_defined
    const TypeDefinition* condition = nullptr;     // fragment_type_condition_is_defined
    bool settled = false;
};

struct InlineFragmentNode {
    const Selection& fragment;
    const TypeDefinition& parent;
    std::size_t level;
    // inline_type_condition_is_defined; the parent without a type condition.
    const TypeDefinition* condition = nullptr;
    bool settled = false;
};

struct DirectiveNode {
    const Directive& directive;
    OperationDirectiveLocation location;
    const BuiltinDirective* builtin = nullptr;                 // skip_and_include_are_left_to_lowering
    const OperationDirectiveDefinition* definition = nullptr;  // directive_is_defined
    bool settled = false;
};

// The arguments of @defer or @stream.
struct IncrementalArgumentNode {
    const Argument& argument;
    const BuiltinDirective& builtin;
    const BuiltinArgument* match = nullptr;  // incremental_argument_is_defined
    bool settled = false;
};

// The arguments of a field or a custom directive. The owner is what carries
// them: a field by its name as written, a directive by its bare name.
struct ArgumentsNode {
    Span<Argument> arguments;
    const std::vector<ArgumentDefinition>& definitions;
    std::string_view owner_name;
    Offset owner_offset;
    // Definitions matched by some argument; past 64 the missing check scans.
    std::uint64_t matched = 0;
    bool settled = false;
};

struct ArgumentNode {
    ArgumentsNode& arguments;
    const Argument& argument;
    const ArgumentDefinition* definition = nullptr;  // argument_is_defined
    bool settled = false;
};

// Runs the rules in the order given, up to the first that fails or settles
// the node. Each rule is a direct call the compiler can inline.
template <auto rule, auto... later_rules, class Node>
MaybeError check_in_order(Context& context, Node& node) {
    if (MaybeError error = rule(context, node)) return error;
    if constexpr (sizeof...(later_rules) == 0) {
        return nullptr;
    } else {
        if (node.settled) return nullptr;
        return check_in_order<later_rules...>(context, node);
    }
}

// The lists of rules and the loops over a node's children, defined at the end
// of this file.
MaybeError validate_selection_set(Context& context, const SelectionSet& selection_set, const TypeDefinition& parent,
                                  std::size_t level);
MaybeError validate_directives(Context& context, Span<Directive> directives, OperationDirectiveLocation location);
MaybeError validate_incremental_directive_arguments(Context& context, Span<Argument> arguments,
                                                    const BuiltinDirective& builtin);
MaybeError check_arguments(Context& context, ArgumentsNode& arguments);
MaybeError check_argument(Context& context, ArgumentNode& argument);

// ---------------------------------------------------------------------------
// Shared helpers.

// A boxed error with exactly one location.
BoxedError error_at(std::string message, ErrorCode code, error::Location location) {
    return error::make_error_at(std::move(message), code, location);
}

BoxedError error_at(const Context& context, std::string message, ErrorCode code, Offset offset) {
    return error_at(std::move(message), code, context.document.position(offset));
}

// Index of the first item whose name repeats an earlier one, in written order.
// Sorting (name, index) pairs finds it in n log n for any n, with no hashing.
template <class Item, class NameOf>
std::optional<std::size_t> first_repeated_name(Span<Item> items, NameOf name_of, std::vector<NameAt>& scratch) {
    if (items.size() < 2) return std::nullopt;
    scratch.clear();
    for (std::uint32_t i = 0; i < items.size(); ++i) scratch.push_back({name_of(items[i]), i});
    std::sort(scratch.begin(), scratch.end(), [](const NameAt& a, const NameAt& b) {
        return a.name != b.name ? a.name < b.name : a.index < b.index;
    });
    // Within a run of one name the second entry is that name's first repeat.
    std::optional<std::size_t> first;
    for (std::size_t i = 1; i < scratch.size(); ++i) {
        if (scratch[i].name == scratch[i - 1].name && (i < 2 || scratch[i - 2].name != scratch[i].name)) {
            if (!first || scratch[i].index < *first) first = scratch[i].index;
        }
    }
    return first;
}

const DeclaredVariable* find_variable(const Context& context, std::string_view name) {
    auto it = std::lower_bound(context.variables.begin(), context.variables.end(), name,
                               [](const DeclaredVariable& v, std::string_view n) { return v.name < n; });
    if (it == context.variables.end() || it->name != name) return nullptr;
    return &*it;
}

std::size_t fragment_index(const Context& context, const FragmentDefinition& fragment) {
    return static_cast<std::size_t>(&fragment - context.document.fragments.data());
}

// ---------------------------------------------------------------------------
// Names.

// Whether `to_camel_case(name)` equals `target`, without building the string
// for the usual ASCII names; the full Unicode mapping decides the rest.
bool camel_case_equals(std::string_view name, std::string_view target) {
    std::size_t matched = 0;
    bool after_underscore = false;
    for (char raw : name) {
        if (raw == '_') {
            after_underscore = true;
            continue;
        }
        auto byte = static_cast<unsigned char>(raw);
        if (after_underscore) {
            after_underscore = false;
            if (byte >= 0x80) return naming::to_camel_case(name) == target;
            if (byte >= 'a' && byte <= 'z') byte = static_cast<unsigned char>(byte - 'a' + 'A');
        }
        if (matched == target.size() || static_cast<unsigned char>(target[matched]) != byte) return false;
        ++matched;
    }
    return matched == target.size();
}

// The GraphQL name rule of fields and arguments, as a comparison.
bool graphql_name_equals(const std::optional<std::string>& graphql_name, const std::string& name,
                         bool auto_camel_case, std::string_view target) {
    if (graphql_name) return *graphql_name == target;
    if (auto_camel_case) return camel_case_equals(name, target);
    return name == target;
}

// The first field, in declaration order, whose GraphQL name is `name`.
const FieldDefinition* find_field(const std::vector<FieldDefinition>& fields, std::string_view name,
                                  bool auto_camel_case) {
    for (const FieldDefinition& field : fields) {
        if (graphql_name_equals(field.graphql_name, field.name, auto_camel_case, name)) return &field;
    }
    return nullptr;
}

const ArgumentDefinition* find_argument_definition(const std::vector<ArgumentDefinition>& definitions,
                                                   std::string_view name, bool auto_camel_case,
                                                   std::size_t& index) {
    for (std::size_t i = 0; i < definitions.size(); ++i) {
        const ArgumentDefinition& definition = definitions[i];
        if (graphql_name_equals(definition.graphql_name, definition.name, auto_camel_case, name)) {
            index = i;
            return &definition;
        }
    }
    return nullptr;
}

bool is_builtin_scalar(std::string_view name) {
    return name == "ID" || name == "Int" || name == "Float" || name == "String" || name == "Boolean";
}

const TypeDefinition* find_type(const CompiledSchema& schema, std::string_view name) {
    auto it = schema.types.find(name);
    return it == schema.types.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------------------
// Values against types.

std::string_view value_kind_word(ValueKind kind) {
    switch (kind) {
        case ValueKind::Number: return "a number";
        case ValueKind::String: return "a string";
        case ValueKind::Boolean: return "a boolean";
        case ValueKind::Binary: return "binary data";
        case ValueKind::Enum: return "an enum value";
        case ValueKind::List: return "a list";
        case ValueKind::Object: return "an object";
        // Decided before any message names a kind.
        case ValueKind::Variable: return "a variable";
        case ValueKind::Null: return "null";
    }
    return "a value";
}

// Whether a variable of the declared type may stand where `expected` is
// wanted. With the allowance a nullable declaration fills a non-null
// position, at every depth.
bool variable_type_fits(const GraphQLType& declared, const GraphQLType& expected, bool allowance) {
    const GraphQLType* d = &declared;
    const GraphQLType* e = &expected;
    for (;;) {
        if (d->kind == GraphQLType::Kind::NonNull) {
            if (e->kind == GraphQLType::Kind::NonNull) e = e->inner.get();
            d = d->inner.get();
        } else if (e->kind == GraphQLType::Kind::List) {
            if (d->kind != GraphQLType::Kind::List) return false;
            d = d->inner.get();
            e = e->inner.get();
        } else if (e->kind == GraphQLType::Kind::NonNull) {
            if (!allowance) return false;
            e = e->inner.get();
        } else {
            return d->kind == GraphQLType::Kind::Named && d->name == e->name;
        }
    }
}

std::optional<std::string> check_value_matches_type(const Context& context, const Value& value,
                                                    const GraphQLType& expected, bool slack);

std::optional<std::string> check_named_value(const Context& context, const Value& value,
                                             const std::string& type_name) {
    const ValueKind kind = value.kind;
    if (type_name == "Boolean") {
        if (kind == ValueKind::Boolean) return std::nullopt;
        return concat({"expected a boolean, got ", value_kind_word(kind)});
    }
    if (type_name == "Int") {
        if (kind == ValueKind::Number) {
            if (value.number.is_integer()) return std::nullopt;
            return std::string("expected an integer, got a floating-point number");
        }
        return concat({"expected an integer, got ", value_kind_word(kind)});
    }
    if (type_name == "Float") {
        if (kind == ValueKind::Number) return std::nullopt;
        return concat({"expected a number, got ", value_kind_word(kind)});
    }
    if (type_name == "String" || type_name == "ID") {
        if (kind == ValueKind::String) return std::nullopt;
        return concat({"expected a string, got ", value_kind_word(kind)});
    }
    const CompiledSchema& schema = context.schema;
    // Custom scalars take any literal.
    if (schema.scalar_names.find(type_name) != schema.scalar_names.end()) return std::nullopt;
    const TypeDefinition* type = find_type(schema, type_name);
    if (type == nullptr) return std::nullopt;  // a union or a name found nowhere
    if (type->kind == TypeKind::InputObject) {
        if (kind != ValueKind::Object) {
            return concat({"expected an input object for '", type_name, "', got ", value_kind_word(kind)});
        }
        // Unknown and left-out input fields are not looked for.
        for (const document::ObjectField& field : value.object) {
            const FieldDefinition* definition = find_field(type->fields, field.name.value, schema.auto_camel_case);
            if (definition == nullptr) continue;
            auto tail = check_value_matches_type(context, field.value, definition->field_type,
                                                 definition->default_value.has_value());
            if (tail) return concat({"field '", field.name.value, "': ", *tail});
        }
        return std::nullopt;
    }
    if (type->kind == TypeKind::Enum) {
        if (kind != ValueKind::Enum) {
            return concat({"expected a value of enum '", type_name, "', got ", value_kind_word(kind)});
        }
        for (const schema::EnumValueDefinition& member : type->enum_values) {
            if (member.graphql_name_or_name() == value.text) return std::nullopt;
        }
        return concat({"'", value.text, "' is not a valid value for enum '", type_name, "'"});
    }
    return std::nullopt;  // an object or interface type accepts anything here
}

// Nothing when the value fits, else the tail the caller puts in its message.
// Recursion follows the value's nesting, which the parser bounds.
std::optional<std::string> check_value_matches_type(const Context& context, const Value& value,
                                                    const GraphQLType& expected, bool slack) {
    if (value.kind == ValueKind::Variable) {
        const DeclaredVariable* variable = find_variable(context, value.text);
        if (variable == nullptr) return concat({"references undefined variable '$", value.text, "'"});
        if (variable_type_fits(variable->type, expected, slack || variable->has_default)) return std::nullopt;
        return concat({"expects '", expected.to_sdl_string(), "', but variable '$", value.text,
                       "' is declared as '", variable->type.to_sdl_string(), "'"});
    }
    if (value.kind == ValueKind::Null) {
        if (expected.is_non_null()) return std::string("must not be null");
        return std::nullopt;
    }
    const GraphQLType& nullable = expected.is_non_null() ? *expected.inner : expected;
    if (nullable.kind == GraphQLType::Kind::List) {
        if (value.kind != ValueKind::List) return concat({"expected a list, got ", value_kind_word(value.kind)});
        for (const Value& element : value.list) {
            auto tail = check_value_matches_type(context, element, *nullable.inner, false);
            if (tail) return tail;
        }
        return std::nullopt;
    }
    return check_named_value(context, value, nullable.name);
}

// ---------------------------------------------------------------------------
// Helpers of the rules below.

// The bare wire name ("FIELD"), as location messages show it.
std::string_view operation_directive_location_str(OperationDirectiveLocation location) {
    return schema::operation_directive_location_name(location);
}

// The type a built-in argument's text names, made once for every argument of
// the table: a named type, non-null when the text ends in "!".
const GraphQLType& builtin_argument_type(const BuiltinArgument& argument) {
    struct Made {
        const BuiltinArgument* argument;
        GraphQLType type;
    };
    static const std::vector<Made> made = [] {
        std::vector<Made> types;
        for (const BuiltinDirective& directive : builtin_directives::directives) {
            for (const BuiltinArgument& each : directive.arguments) {
                std::string_view text = each.type;
                const bool non_null = text.ends_with('!');
                if (non_null) text.remove_suffix(1);
                GraphQLType type = GraphQLType::named(std::string(text));
                types.push_back({&each, non_null ? GraphQLType::non_null(std::move(type)) : std::move(type)});
            }
        }
        return types;
    }();
    for (const Made& entry : made) {
        if (entry.argument == &argument) return entry.type;
    }
    std::abort();  // every argument of the table was made above
}

// Lowering alone reads @skip and @include.
bool is_skip_or_include(std::string_view name) {
    return name == builtin_directives::skip.name || name == builtin_directives::include.name;
}

TypeClass classify_named_type(const CompiledSchema& schema, std::string_view name, const TypeDefinition*& type) {
    type = nullptr;
    if (is_builtin_scalar(name)) return TypeClass::Leaf;
    if (schema.scalar_names.find(name) != schema.scalar_names.end()) return TypeClass::Leaf;
    if (schema.unions.find(name) != schema.unions.end()) return TypeClass::Composite;
    type = find_type(schema, name);
    if (type == nullptr) return TypeClass::Unclassified;
    return type->kind == TypeKind::Enum ? TypeClass::Leaf : TypeClass::Composite;
}

// Union members; an interface's implementors in `types` order; else the type
// itself; else nothing.
std::vector<std::string_view> possible_types(std::string_view type_name, const CompiledSchema& schema) {
    std::vector<std::string_view> result;
    if (auto it = schema.unions.find(type_name); it != schema.unions.end()) {
        result.assign(it->second.member_names.begin(), it->second.member_names.end());
        return result;
    }
    const TypeDefinition* type = find_type(schema, type_name);
    if (type == nullptr) return result;
    if (type->kind != TypeKind::Interface) {
        result.push_back(type->name);
        return result;
    }
    for (const auto& [name, candidate] : schema.types) {
        if (std::find(candidate.interfaces.begin(), candidate.interfaces.end(), type_name) !=
            candidate.interfaces.end()) {
            result.push_back(name);
        }
    }
    return result;
}

// Sorted possible types of a type in `types`, computed once per call: an
// interface's list scans every type.
const std::vector<std::string_view>& sorted_possible_types(Context& context, const TypeDefinition& type) {
    auto it = context.possible_types_by_type.find(&type);
    if (it == context.possible_types_by_type.end()) {
        std::vector<std::string_view> names = possible_types(type.name, context.schema);
        std::sort(names.begin(), names.end());
        it = context.possible_types_by_type.emplace(&type, std::move(names)).first;
    }
    return it->second;
}

// A variable's parsed type as a schema type; each level wrapped at most once.
GraphQLType convert_parser_type(const document::TypeRef& type) {
    std::vector<const document::TypeRef*> levels;  // outermost first
    const document::TypeRef* level = &type;
    while (level->kind == document::TypeRef::Kind::List) {
        levels.push_back(level);
        level = level->inner;
    }
    GraphQLType result = GraphQLType::named(std::string(level->name));
    if (level->non_null) result = GraphQLType::non_null(std::move(result));
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
        result = GraphQLType::list(std::move(result));
        if ((*it)->non_null) result = GraphQLType::non_null(std::move(result));
    }
    return result;
}

// Distinct response keys of a subscription's root selections, through inline
// fragments and spreads but not into fields. False when the walk gives up:
// @skip/@include anywhere on the way, an undefined or cyclic spread, or more
// nesting than validation allows (the selection walk then reports it). A
// fragment walked once added all its keys already, so it is not walked again.
bool root_response_key_count(Context& context, const SelectionSet& selection_set,
                             std::vector<std::string_view>& keys, std::size_t level) {
    for (const Selection& selection : selection_set.selections) {
        for (const Directive& directive : selection.directives) {
            if (is_skip_or_include(directive.name.value)) return false;
        }
        switch (selection.kind) {
            case SelectionKind::Field: keys.push_back(selection.response_key()); break;
            case SelectionKind::InlineFragment:
                if (level + 1 > limits::max_effective_depth) return false;
                if (!root_response_key_count(context, selection.selection_set, keys, level + 1)) return false;
                break;
            case SelectionKind::FragmentSpread: {
                const FragmentDefinition* fragment = context.document.find_fragment(selection.name.value);
                if (fragment == nullptr) return false;
                FragmentState& state = context.fragments[fragment_index(context, *fragment)];
                if (state.on_stack || level + 1 > limits::max_effective_depth) return false;
                if (state.keys_walked) break;
                bool complete = false;
                {
                    FragmentStackGuard on_stack(state);
                    complete = root_response_key_count(context, fragment->selection_set, keys, level + 1);
                }
                if (!complete) return false;
                state.keys_walked = true;
                break;
            }
        }
    }
    return true;
}

std::size_t distinct_count(std::vector<std::string_view>& keys) {
    std::sort(keys.begin(), keys.end());
    return static_cast<std::size_t>(std::unique(keys.begin(), keys.end()) - keys.begin());
}

void build_declared_variables(Context& context, const OperationDefinition& operation) {
    context.variables.reserve(operation.variables.size());
    for (const VariableDefinition& variable : operation.variables) {
        context.variables.push_back(
            {variable.name.value, convert_parser_type(*variable.type), variable.default_value != nullptr});
    }
    std::sort(context.variables.begin(), context.variables.end(),
              [](const DeclaredVariable& a, const DeclaredVariable& b) { return a.name < b.name; });
}

// ---------------------------------------------------------------------------
// Rules shared by several kinds of node.

// limits::effective_depth_message
// The operation's selection set is level 0; each field's sub-selection set,
// each fragment expansion and each inline fragment adds one, as in lowering.
// Fragments can chain past the parser's per-definition bound, so this bound
// keeps every walk's stack small.
MaybeError nesting_is_within_the_limit(const Context& context, std::size_t next_level, Offset offset) {
    if (next_level <= limits::max_effective_depth) return nullptr;
    return error_at(context, limits::effective_depth_message, ErrorCode::GraphqlValidationFailed, offset);
}

// "fragment on '{}' can never apply to '{}' -- they share no possible types"
MaybeError check_fragment_is_possible(Context& context, const TypeDefinition& condition,
                                      const TypeDefinition& parent, Offset offset) {
    if (&condition == &parent) return nullptr;  // shares all its possible types, or has none
    const std::vector<std::string_view>& condition_types = sorted_possible_types(context, condition);
    const std::vector<std::string_view>& parent_types = sorted_possible_types(context, parent);
    // An interface nothing implements accepts every fragment.
    if (condition_types.empty() || parent_types.empty()) return nullptr;
    auto a = condition_types.begin();
    auto b = parent_types.begin();
    while (a != condition_types.end() && b != parent_types.end()) {
        if (*a == *b) return nullptr;
        if (*a < *b) ++a;
        else ++b;
    }
    return error_at(context,
                    concat({"fragment on '", condition.name, "' can never apply to '", parent.name,
                            "' -- they share no possible types"}),
                    ErrorCode::InvalidFragmentTarget, offset);
}

// ---------------------------------------------------------------------------
// Rules of the operation.

// Errors of operation selection pass through unchanged.
MaybeError operation_is_selected(Context& context, OperationNode& node) {
    auto selected = document::select_operation(context.document, node.name);
    if (!selected) return selected.take_error();
    node.operation = selected.value();
    return nullptr;
}

// "document contains a mutation, but the schema has no mutation type", and
// the subscription twin.
MaybeError schema_has_the_root_type(Context& context, OperationNode& node) {
    const CompiledSchema& schema = context.schema;
    node.root_type_name = &schema.query_type_name;
    if (node.operation->type == OperationType::Mutation) {
        if (!schema.mutation_type_name) {
            return error::make_error("document contains a mutation, but the schema has no mutation type",
                                     ErrorCode::GraphqlValidationFailed);
        }
        node.root_type_name = &*schema.mutation_type_name;
    } else if (node.operation->type == OperationType::Subscription) {
        if (!schema.subscription_type_name) {
            return error::make_error("document contains a subscription, but the schema has no subscription type",
                                     ErrorCode::GraphqlValidationFailed);
        }
        node.root_type_name = &*schema.subscription_type_name;
    }
    return nullptr;
}

// "schema's root type '{}' is not registered"
MaybeError root_type_is_registered(Context& context, OperationNode& node) {
    node.root = find_type(context.schema, *node.root_type_name);
    if (node.root != nullptr) return nullptr;
    return error::make_error(concat({"schema's root type '", *node.root_type_name, "' is not registered"}),
                             ErrorCode::GraphqlValidationFailed);
}

// "variable '${}' is declared more than once", at the later definition.
MaybeError variables_are_declared_once(Context& context, OperationNode& node) {
    const OperationDefinition& operation = *node.operation;
    auto repeated = first_repeated_name(
        operation.variables, [](const VariableDefinition& v) { return v.name.value; }, context.scratch_names);
    if (!repeated) return nullptr;
    const VariableDefinition& variable = operation.variables[*repeated];
    return error_at(context, concat({"variable '$", variable.name.value, "' is declared more than once"}),
                    ErrorCode::GraphqlValidationFailed, variable.offset);
}

// "a subscription operation must have exactly one root field, but this one selects {}"
MaybeError subscription_selects_one_root_field(Context& context, OperationNode& node) {
    const OperationDefinition& operation = *node.operation;
    if (operation.type != OperationType::Subscription) return nullptr;
    std::vector<std::string_view> keys;
    if (!root_response_key_count(context, operation.selection_set, keys, 0)) return nullptr;
    const std::size_t count = distinct_count(keys);
    if (count == 1) return nullptr;
    return error_at(context,
                    concat({"a subscription operation must have exactly one root field, but this one selects ",
                            std::to_string(count)}),
                    ErrorCode::GraphqlValidationFailed, operation.selection_set.offset);
}

// The variables are declared, once each, only now: the selections read them.
MaybeError operation_selections_are_valid(Context& context, OperationNode& node) {
    build_declared_variables(context, *node.operation);
    return validate_selection_set(context, node.operation->selection_set, *node.root, 0);
}

// ---------------------------------------------------------------------------
// Rules of a field.

MaybeError field_directives_are_valid(Context& context, FieldNode& node) {
    return validate_directives(context, node.field.directives, OperationDirectiveLocation::Field);
}

// Nothing else of __typename is checked, neither arguments nor selections.
MaybeError typename_is_always_valid(Context&, FieldNode& node) {
    node.settled = node.field.name.value == "__typename";
    return nullptr;
}

// "field '{}' does not exist on type '{}'"
MaybeError field_is_defined(Context& context, FieldNode& node) {
    const CompiledSchema& schema = context.schema;
    const Selection& field = node.field;
    node.definition = find_field(node.parent.fields, field.name.value, schema.auto_camel_case);
    if (node.definition == nullptr) {
        return error_at(context,
                        concat({"field '", field.name.value, "' does not exist on type '", node.parent.name, "'"}),
                        ErrorCode::UnknownField, field.offset);
    }
    node.type_class = classify_named_type(schema, node.definition->field_type.named_type(), node.type);
    return nullptr;
}

MaybeError field_arguments_are_valid(Context& context, FieldNode& node) {
    ArgumentsNode arguments{node.field.arguments, node.definition->arguments, node.field.name.value,
                            node.field.offset};
    return check_arguments(context, arguments);
}

// "directive '@stream' can only be applied to a list-typed field, but '{}' is '{}'"
MaybeError stream_is_on_a_list_field(Context& context, FieldNode& node) {
    const Directive* stream = nullptr;
    for (const Directive& directive : node.field.directives) {
        if (directive.name.value == builtin_directives::stream.name) {
            stream = &directive;
            break;
        }
    }
    if (stream == nullptr) return nullptr;
    const GraphQLType& type = node.definition->field_type;
    const GraphQLType& nullable = type.is_non_null() ? *type.inner : type;
    if (nullable.kind != GraphQLType::Kind::Named) return nullptr;
    return error_at(context,
                    concat({"directive '@stream' can only be applied to a list-typed field, but '",
                            node.field.name.value, "' is '", type.to_sdl_string(), "'"}),
                    ErrorCode::InvalidDirectiveLocation, stream->offset);
}

// "field '{}' is of leaf type '{}' and cannot have a selection set"
MaybeError leaf_field_has_no_selection_set(Context& context, FieldNode& node) {
    if (node.type_class != TypeClass::Leaf || node.field.selection_set.selections.empty()) return nullptr;
    return error_at(context,
                    concat({"field '", node.field.name.value, "' is of leaf type '",
                            node.definition->field_type.named_type(), "' and cannot have a selection set"}),
                    ErrorCode::UnknownField, node.field.selection_set.offset);
}

// "field '{}' is of composite type '{}' and must have a selection set"
MaybeError composite_field_has_a_selection_set(Context& context, FieldNode& node) {
    if (node.type_class != TypeClass::Composite || !node.field.selection_set.selections.empty()) return nullptr;
    return error_at(context,
                    concat({"field '", node.field.name.value, "' is of composite type '",
                            node.definition->field_type.named_type(), "' and must have a selection set"}),
                    ErrorCode::UnknownField, node.field.offset);
}

// Union-typed and unclassified fields' selections are not walked: only
// composite types in `types` have fields to check them against.
MaybeError field_selections_are_walked_below_object_types(Context&, FieldNode& node) {
    node.settled = node.type_class != TypeClass::Composite || node.type == nullptr;
    return nullptr;
}

MaybeError field_nesting_is_within_the_limit(Context& context, FieldNode& node) {
    return nesting_is_within_the_limit(context, node.level + 1, node.field.offset);
}

MaybeError field_selections_are_valid(Context& context, FieldNode& node) {
    return validate_selection_set(context, node.field.selection_set, *node.type, node.level + 1);
}

// ---------------------------------------------------------------------------
// Rules of a fragment spread.

MaybeError spread_directives_are_valid(Context& context, FragmentSpreadNode& node) {
    return validate_directives(context, node.spread.directives, OperationDirectiveLocation::FragmentSpread);
}

// "undefined fragment '{}'"
MaybeError fragment_is_defined(Context& context, FragmentSpreadNode& node) {
    node.fragment = context.document.find_fragment(node.spread.name.value);
    if (node.fragment == nullptr) {
        return error_at(context, concat({"undefined fragment '", node.spread.name.value, "'"}),
                        ErrorCode::InvalidFragmentTarget, node.spread.offset);
    }
    node.state = &context.fragments[fragment_index(context, *node.fragment)];
    return nullptr;
}

// "Fragment cycle detected involving '{}'"
MaybeError fragment_is_not_in_a_cycle(Context& context, FragmentSpreadNode& node) {
    if (!node.state->on_stack) return nullptr;
    return error_at(context, concat({"Fragment cycle detected involving '", node.spread.name.value, "'"}),
                    ErrorCode::InvalidFragmentTarget, node.spread.offset);
}

// "fragment '{}' targets unknown type '{}'", at the definition's "on"
MaybeError fragment_type_condition_is_defined(Context& context, FragmentSpreadNode& node) {
    const FragmentDefinition& fragment = *node.fragment;
    node.condition = find_type(context.schema, fragment.type_condition.name.value);
    if (node.condition != nullptr) return nullptr;
    return error_at(context,
                    concat({"fragment '", fragment.name.value, "' targets unknown type '",
                            fragment.type_condition.name.value, "'"}),
                    ErrorCode::InvalidFragmentTarget, fragment.type_condition.offset);
}

MaybeError spread_is_possible(Context& context, FragmentSpreadNode& node) {
    return check_fragment_is_possible(context, *node.condition, node.parent, node.spread.offset);
}

MaybeError spread_nesting_is_within_the_limit(Context& context, FragmentSpreadNode& node) {
    return nesting_is_within_the_limit(context, node.level + 1, node.spread.offset);
}

// A body that passed once passes again, against its own type condition, as
// long as it still fits under the depth bound from here.
MaybeError fragment_selections_are_valid(Context& context, FragmentSpreadNode& node) {
    FragmentState& state = *node.state;
    const std::size_t body_level = node.level + 1;
    if (state.validated && body_level + state.height <= limits::max_effective_depth) {
        context.deepest = std::max(context.deepest, body_level + state.height);
        return nullptr;
    }
    const std::size_t outer_deepest = context.deepest;
    context.deepest = body_level;
    MaybeError error;
    {
        FragmentStackGuard on_stack(state);
        error = validate_selection_set(context, node.fragment->selection_set, *node.condition, body_level);
    }
    if (!error) {
        state.validated = true;
        state.height = static_cast<std::uint32_t>(context.deepest - body_level);
    }
    context.deepest = std::max(outer_deepest, context.deepest);
    return error;
}

// ---------------------------------------------------------------------------
// Rules of an inline fragment.

MaybeError inline_fragment_directives_are_valid(Context& context, InlineFragmentNode& node) {
    return validate_directives(context, node.fragment.directives, OperationDirectiveLocation::InlineFragment);
}

// "inline fragment targets unknown type '{}'"
MaybeError inline_type_condition_is_defined(Context& context, InlineFragmentNode& node) {
    const auto& type_condition = node.fragment.type_condition;
    if (!type_condition) {
        node.condition = &node.parent;
        return nullptr;
    }
    node.condition = find_type(context.schema, type_condition->name.value);
    if (node.condition != nullptr) return nullptr;
    return error_at(context, concat({"inline fragment targets unknown type '", type_condition->name.value, "'"}),
                    ErrorCode::InvalidFragmentTarget, type_condition->offset);
}

MaybeError inline_fragment_is_possible(Context& context, InlineFragmentNode& node) {
    const auto& type_condition = node.fragment.type_condition;
    if (!type_condition) return nullptr;
    return check_fragment_is_possible(context, *node.condition, node.parent, type_condition->offset);
}

MaybeError inline_nesting_is_within_the_limit(Context& context, InlineFragmentNode& node) {
    return nesting_is_within_the_limit(context, node.level + 1, node.fragment.offset);
}

MaybeError inline_fragment_selections_are_valid(Context& context, InlineFragmentNode& node) {
    return validate_selection_set(context, node.fragment.selection_set, *node.condition, node.level + 1);
}

// ---------------------------------------------------------------------------
// Rules of a directive on a field, spread or inline fragment.

BoxedError directive_not_allowed(const Context& context, const DirectiveNode& node) {
    // "directive '@{}' is not allowed at this location ({})"
    return error_at(context,
                    concat({"directive '@", node.directive.name.value, "' is not allowed at this location (",
                            operation_directive_location_str(node.location), ")"}),
                    ErrorCode::InvalidDirectiveLocation, node.directive.offset);
}

// Lowering alone decides @skip and @include; the others of the built-in
// table are @defer and @stream.
MaybeError skip_and_include_are_left_to_lowering(Context&, DirectiveNode& node) {
    node.builtin = builtin_directives::find(node.directive.name.value);
    node.settled = node.builtin == &builtin_directives::skip || node.builtin == &builtin_directives::include;
    return nullptr;
}

// "directive '@defer' is not allowed at this location ({})" off a spread or
// inline fragment, and '@stream' off a field: the table's locations.
MaybeError incremental_directive_is_allowed_here(Context& context, DirectiveNode& node) {
    if (node.builtin == nullptr || builtin_directives::allows(*node.builtin, node.location)) return nullptr;
    return directive_not_allowed(context, node);
}

// @defer and @stream are settled here, before the schema is asked: an
// operation directive registered under either name is never used.
MaybeError incremental_arguments_are_valid(Context& context, DirectiveNode& node) {
    if (node.builtin == nullptr) return nullptr;
    node.settled = true;
    return validate_incremental_directive_arguments(context, node.directive.arguments, *node.builtin);
}

// "unknown directive '@{}'"
MaybeError directive_is_defined(Context& context, DirectiveNode& node) {
    std::string_view name = node.directive.name.value;
    auto it = context.schema.directives.find(name);
    if (it == context.schema.directives.end()) {
        return error_at(context, concat({"unknown directive '@", name, "'"}), ErrorCode::InvalidDirectiveLocation,
                        node.directive.offset);
    }
    node.definition = &it->second;
    return nullptr;
}

// "directive '@{}' is not allowed at this location ({})"
MaybeError directive_is_allowed_here(Context& context, DirectiveNode& node) {
    const std::vector<OperationDirectiveLocation>& locations = node.definition->locations;
    if (std::find(locations.begin(), locations.end(), node.location) != locations.end()) return nullptr;
    return directive_not_allowed(context, node);
}

MaybeError directive_arguments_are_valid(Context& context, DirectiveNode& node) {
    ArgumentsNode arguments{node.directive.arguments, node.definition->arguments, node.directive.name.value,
                            node.directive.offset};
    return check_arguments(context, arguments);
}

// ---------------------------------------------------------------------------
// Rules of the arguments of @defer and @stream: no duplicate or missing
// checks; lowering reads the values.

// "unknown argument '{}' on '@{}'"
MaybeError incremental_argument_is_defined(Context& context, IncrementalArgumentNode& node) {
    node.match = builtin_directives::find_argument(node.builtin, node.argument.name.value);
    if (node.match != nullptr) return nullptr;
    return error_at(context,
                    concat({"unknown argument '", node.argument.name.value, "' on '@", node.builtin.name, "'"}),
                    ErrorCode::UnknownArgument, node.argument.name.offset);
}

// "argument '{}' on '@{}' {}"
MaybeError incremental_argument_value_fits(Context& context, IncrementalArgumentNode& node) {
    auto tail = check_value_matches_type(context, node.argument.value, builtin_argument_type(*node.match), true);
    if (!tail) return nullptr;
    return error_at(context,
                    concat({"argument '", node.argument.name.value, "' on '@", node.builtin.name, "' ", *tail}),
                    ErrorCode::ArgumentTypeMismatch, node.argument.value.offset);
}

// ---------------------------------------------------------------------------
// Rules of the arguments of a field or a custom directive.

// "argument '{}' is provided more than once on '{}'"
MaybeError arguments_are_given_once(Context& context, ArgumentsNode& node) {
    auto repeated = first_repeated_name(
        node.arguments, [](const Argument& argument) { return argument.name.value; }, context.scratch_names);
    if (!repeated) return nullptr;
    const Argument& argument = node.arguments[*repeated];
    return error_at(context,
                    concat({"argument '", argument.name.value, "' is provided more than once on '", node.owner_name,
                            "'"}),
                    ErrorCode::UnknownArgument, argument.name.offset);
}

// Each argument whole, in written order, before the next.
MaybeError each_argument_is_valid(Context& context, ArgumentsNode& node) {
    for (const Argument& argument : node.arguments) {
        ArgumentNode argument_node{node, argument};
        if (auto error = check_argument(context, argument_node)) return error;
    }
    return nullptr;
}

// "missing required argument '{}' on '{}'"
MaybeError required_arguments_are_given(Context& context, ArgumentsNode& node) {
    const bool camel = context.schema.auto_camel_case;
    for (std::size_t i = 0; i < node.definitions.size(); ++i) {
        const ArgumentDefinition& definition = node.definitions[i];
        if (!definition.is_required()) continue;
        if (i < 64 && (node.matched & (std::uint64_t{1} << i))) continue;
        // Unmatched by index; an argument may still carry its name when an
        // earlier definition shares it.
        bool given = false;
        for (const Argument& argument : node.arguments) {
            if (graphql_name_equals(definition.graphql_name, definition.name, camel, argument.name.value)) {
                given = true;
                break;
            }
        }
        if (!given) {
            std::string name = schema::graphql_name_of(definition.graphql_name, definition.name, camel);
            return error_at(context, concat({"missing required argument '", name, "' on '", node.owner_name, "'"}),
                            ErrorCode::ArgumentTypeMismatch, node.owner_offset);
        }
    }
    return nullptr;
}

// "unknown argument '{}' on '{}'"
MaybeError argument_is_defined(Context& context, ArgumentNode& node) {
    std::size_t index = 0;
    node.definition = find_argument_definition(node.arguments.definitions, node.argument.name.value,
                                               context.schema.auto_camel_case, index);
    if (node.definition == nullptr) {
        return error_at(context,
                        concat({"unknown argument '", node.argument.name.value, "' on '", node.arguments.owner_name,
                                "'"}),
                        ErrorCode::UnknownArgument, node.argument.name.offset);
    }
    if (index < 64) node.arguments.matched |= std::uint64_t{1} << index;
    return nullptr;
}

// "argument '{}' on '{}' {}"
MaybeError argument_value_fits(Context& context, ArgumentNode& node) {
    const ArgumentDefinition& definition = *node.definition;
    auto tail = check_value_matches_type(context, node.argument.value, definition.arg_type, definition.has_default);
    if (!tail) return nullptr;
    return error_at(context,
                    concat({"argument '", node.argument.name.value, "' on '", node.arguments.owner_name, "' ",
                            *tail}),
                    ErrorCode::ArgumentTypeMismatch, node.argument.value.offset);
}

// ---------------------------------------------------------------------------
// The rules, in the order they are checked. The first that fails ends the
// validation; a node's rules all run before the walk reaches the next node.

MaybeError check_operation(Context& context, OperationNode& operation) {
    return check_in_order<operation_is_selected,                //
                          schema_has_the_root_type,             //
                          root_type_is_registered,              //
                          variables_are_declared_once,          //
                          subscription_selects_one_root_field,  //
                          operation_selections_are_valid>(context, operation);
}

MaybeError check_field(Context& context, FieldNode& field) {
    return check_in_order<field_directives_are_valid,                      //
                          typename_is_always_valid,                        //
                          field_is_defined,                                //
                          field_arguments_are_valid,                       //
                          stream_is_on_a_list_field,                       //
                          leaf_field_has_no_selection_set,                 //
                          composite_field_has_a_selection_set,             //
                          field_selections_are_walked_below_object_types,  //
                          field_nesting_is_within_the_limit,               //
                          field_selections_are_valid>(context, field);
}

MaybeError check_fragment_spread(Context& context, FragmentSpreadNode& spread) {
    return check_in_order<spread_directives_are_valid,         //
                          fragment_is_defined,                 //
                          fragment_is_not_in_a_cycle,          //
                          fragment_type_condition_is_defined,  //
                          spread_is_possible,                  //
                          spread_nesting_is_within_the_limit,  //
                          fragment_selections_are_valid>(context, spread);
}

MaybeError check_inline_fragment(Context& context, InlineFragmentNode& fragment) {
    return check_in_order<inline_fragment_directives_are_valid,  //
                          inline_type_condition_is_defined,      //
                          inline_fragment_is_possible,           //
                          inline_nesting_is_within_the_limit,    //
                          inline_fragment_selections_are_valid>(context, fragment);
}

MaybeError check_directive(Context& context, DirectiveNode& directive) {
    return check_in_order<skip_and_include_are_left_to_lowering,  //
                          incremental_directive_is_allowed_here,  //
                          incremental_arguments_are_valid,        //
                          directive_is_defined,                   //
                          directive_is_allowed_here,              //
                          directive_arguments_are_valid>(context, directive);
}

MaybeError check_arguments(Context& context, ArgumentsNode& arguments) {
    return check_in_order<arguments_are_given_once,  //
                          each_argument_is_valid,    //
                          required_arguments_are_given>(context, arguments);
}

MaybeError check_argument(Context& context, ArgumentNode& argument) {
    return check_in_order<argument_is_defined,  //
                          argument_value_fits>(context, argument);
}

MaybeError check_incremental_argument(Context& context, IncrementalArgumentNode& argument) {
    return check_in_order<incremental_argument_is_defined,  //
                          incremental_argument_value_fits>(context, argument);
}

// Selections, directives and @defer/@stream arguments in written order, each
// whole, everything below it included, before the next.

MaybeError validate_selection_set(Context& context, const SelectionSet& selection_set, const TypeDefinition& parent,
                                  std::size_t level) {
    context.deepest = std::max(context.deepest, level);
    for (const Selection& selection : selection_set.selections) {
        MaybeError error;
        switch (selection.kind) {
            case SelectionKind::Field: {
                FieldNode field{selection, parent, level};
                error = check_field(context, field);
                break;
            }
            case SelectionKind::FragmentSpread: {
                FragmentSpreadNode spread{selection, parent, level};
                error = check_fragment_spread(context, spread);
                break;
            }
            case SelectionKind::InlineFragment: {
                InlineFragmentNode fragment{selection, parent, level};
                error = check_inline_fragment(context, fragment);
                break;
            }
        }
        if (error) return error;
    }
    return nullptr;
}

MaybeError validate_directives(Context& context, Span<Directive> directives, OperationDirectiveLocation location) {
    for (const Directive& directive : directives) {
        DirectiveNode node{directive, location};
        if (auto error = check_directive(context, node)) return error;
    }
    return nullptr;
}

MaybeError validate_incremental_directive_arguments(Context& context, Span<Argument> arguments,
                                                    const BuiltinDirective& builtin) {
    for (const Argument& argument : arguments) {
        IncrementalArgumentNode node{argument, builtin};
        if (auto error = check_incremental_argument(context, node)) return error;
    }
    return nullptr;
}

}  // namespace

MaybeError validate_query(const Document& document, const CompiledSchema& schema,
                          std::optional<std::string_view> operation_name) {
    Context context{document, schema, {}, {}, {}, {}, 0};
    context.fragments.resize(document.fragments.size());
    OperationNode operation{operation_name};
    return check_operation(context, operation);
}

}  // namespace dovrane_core::validation
