// Validation of one operation against a compiled schema.
//
// Each rule is a free function named for what it asks of the node, with its
// message beside it. The rules of each kind of node run in one list, and the
// lists sit together at the end of this file ("The rules, in the order they
// are checked"): that order decides which error a query gets, since the first
// failing rule ends the whole validation. There is one walk over the
// operation, the rules of a node running as the walk reaches it.
//
// What the rules ask of the schema (a field by its GraphQL name, what a named
// type is, the possible types of a type) is read from the schema's index,
// built once when the schema is assembled, so that no question costs more on
// a schema of thousands of types than on one of ten.
//
// Work per call stays linear in the selections reached: a fragment body that
// passed once is not walked again, and names from the query are looked up in
// tables built from the schema's own names, or compared through sorted
// scratch lists (in pairs only within lists of a few).
#include "dovrane_core/validation.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "dovrane_core/builtin_directives.hpp"
#include "dovrane_core/builtin_scalars.hpp"
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
using document::TypeRef;
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
// Tables from name to record, over the schema's own names.
//
// They are filled once from the schema and only looked up afterwards, so a
// query's names never go in: the longest probe is fixed by the schema. The
// hash is seeded all the same, per index, so that no probe sequence can be
// planned from outside.

inline constexpr std::uint32_t not_found = 0xFFFFFFFFu;
// Up to this many records a name is found by comparing each in turn.
inline constexpr std::size_t linear_lookup_limit = 8;
// Up to this many names of the query's own (variables, the arguments of one
// node) are compared in pairs or in turn rather than sorted.
inline constexpr std::size_t small_list_limit = 16;

std::uint64_t load64(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

std::uint32_t load32(const char* bytes) {
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    return word;
}

// A name's size and its first bytes, read without passing its end: two names
// of at most 8 bytes are equal exactly when their keys are.
struct NameKey {
    std::uint64_t head = 0;
    std::uint64_t size = 0;

    friend bool operator==(const NameKey&, const NameKey&) = default;
};

NameKey name_key(std::string_view name) {
    const std::size_t size = name.size();
    const char* bytes = name.data();
    std::uint64_t head = 0;
    if (size >= 8) {
        head = load64(bytes);
    } else if (size >= 4) {
        head = load32(bytes) | (std::uint64_t{load32(bytes + size - 4)} << 32);
    } else if (size > 0) {
        head = static_cast<unsigned char>(bytes[0]) |
               (std::uint64_t{static_cast<unsigned char>(bytes[size / 2])} << 8) |
               (std::uint64_t{static_cast<unsigned char>(bytes[size - 1])} << 16);
    }
    return {head, size};
}

// Equal names, given equal keys: only bytes past the eighth are left.
bool rest_equal(std::string_view a, std::string_view b) {
    const std::size_t size = a.size();
    if (size <= 8) return true;
    for (std::size_t at = 8; at + 8 < size; at += 8) {
        if (load64(a.data() + at) != load64(b.data() + at)) return false;
    }
    return load64(a.data() + size - 8) == load64(b.data() + size - 8);
}

bool names_equal(std::string_view a, std::string_view b) {
    return name_key(a) == name_key(b) && rest_equal(a, b);
}

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ULL;
    h ^= h >> 32;
    return h;
}

std::uint32_t name_hash(const NameKey& key, std::string_view name, std::uint64_t seed) {
    std::uint64_t h = mix((key.head ^ seed) * 0x9E3779B97F4A7C15ULL ^ key.size);
    const std::size_t size = name.size();
    if (size > 8) {
        std::size_t at = 8;
        for (; at + 8 < size; at += 8) h = mix(h ^ load64(name.data() + at)) * 0x9E3779B97F4A7C15ULL;
        h = mix(h ^ load64(name.data() + size - 8));
    }
    return static_cast<std::uint32_t>(h);
}

struct NameSlot {
    std::uint32_t hash = 0;
    std::uint32_t record = not_found;  // not_found: an empty slot
};

// Records found by name hold `key` (of their `name`) and `name`; a table
// over them holds slots only past the linear limit.
struct NameTable {
    std::vector<NameSlot> slots;  // a power of two in size, at most half full
};

template <class Record>
bool record_is(const Record& record, const NameKey& key, std::string_view name) {
    return record.key == key && rest_equal(record.name, name);
}

void size_table(NameTable& table, std::size_t count) {
    std::size_t size = 16;
    while (size < count * 2) size *= 2;
    table.slots.assign(size, NameSlot{});
}

// Places `records[record]` unless an earlier record has its name: the first
// of each name is the one found, as in a scan in order.
template <class Record>
void place(NameTable& table, const Record* records, std::uint32_t record, std::uint64_t seed) {
    const Record& placed = records[record];
    const std::uint32_t hash = name_hash(placed.key, placed.name, seed);
    const std::size_t mask = table.slots.size() - 1;
    std::size_t at = hash & mask;
    for (; table.slots[at].record != not_found; at = (at + 1) & mask) {
        const NameSlot& slot = table.slots[at];
        if (slot.hash == hash && record_is(records[slot.record], placed.key, placed.name)) return;
    }
    table.slots[at] = {hash, record};
}

// The position of the first record of that name, or not_found; a null table
// compares each record in turn.
template <class Record>
std::uint32_t find_in_table(const NameTable* table, const Record* records, std::uint32_t count, std::string_view name,
                            std::uint64_t seed) {
    const NameKey key = name_key(name);
    if (table == nullptr) {
        for (std::uint32_t record = 0; record < count; ++record) {
            if (record_is(records[record], key, name)) return record;
        }
        return not_found;
    }
    const std::uint32_t hash = name_hash(key, name, seed);
    const std::size_t mask = table->slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const NameSlot& slot = table->slots[at];
        if (slot.record == not_found) return not_found;
        if (slot.hash == hash && record_is(records[slot.record], key, name)) return slot.record;
    }
}

// ---------------------------------------------------------------------------
// The schema index.
//
// Records live in a few pools of the index, each record's own in a run of
// one pool, so that a schema of thousands of types costs a few allocations.

enum class TypeClass : std::uint8_t { Leaf, Composite, Unclassified };

// What a value must be where a named type is expected.
enum class ValueRule : std::uint8_t { Boolean, Int, Float, String, InputObject, Enum, Any };

// Records in declaration order in one pool; past the linear limit found
// through a table of SchemaIndex::tables.
struct Run {
    std::uint32_t begin = 0;
    std::uint32_t count = 0;
    std::uint32_t table = not_found;
};

struct TypeRecord;

// A name as a type: every name the schema registers, every name a field or an
// argument refers to, and the built-in scalars.
struct NamedType {
    NameKey key;
    std::string_view name;
    const TypeRecord* type = nullptr;  // the entry of `types` under this name
    // As a field's type: its class, and the type its selections are walked
    // against (a composite type of `types`; null for a union).
    TypeClass type_class = TypeClass::Unclassified;
    const TypeRecord* walked = nullptr;
    // As the type a value is checked against.
    ValueRule value_rule = ValueRule::Any;
};

struct ArgumentRecord {
    NameKey key;
    std::string_view name;  // the GraphQL name
    const ArgumentDefinition* definition = nullptr;
    const NamedType* named = nullptr;  // of `arg_type`
};

// The arguments of a field or directive, and whether any must be given.
struct Arguments {
    Run run;
    bool any_required = false;
};

struct FieldRecord {
    NameKey key;
    std::string_view name;  // the GraphQL name
    const FieldDefinition* definition = nullptr;
    const NamedType* named = nullptr;  // of `field_type`
    Arguments arguments;
};

struct TypeRecord {
    const TypeDefinition* definition = nullptr;
    Run fields;
    // Its possible types, ascending ids into SchemaIndex::names, in SchemaIndex::possible.
    std::uint32_t possible_begin = 0;
    std::uint32_t possible_count = 0;
};

struct DirectiveRecord {
    NameKey key;
    std::string_view name;
    const OperationDirectiveDefinition* definition = nullptr;
    Arguments arguments;
};

}  // namespace

struct SchemaIndex {
    std::uint64_t seed = 0;
    std::deque<std::string> camel_cased;  // GraphQL names that no record holds as written
    std::vector<NamedType> names;         // a name's id is its position
    NameTable name_table;
    std::vector<TypeRecord> types;        // in the order of `types`
    std::vector<DirectiveRecord> directives;
    Run directive_run;
    // The pools.
    std::vector<FieldRecord> fields;
    std::vector<ArgumentRecord> arguments;
    std::vector<std::uint32_t> possible;
    std::vector<NameTable> tables;
};

namespace {

std::uint32_t name_id(const SchemaIndex& index, std::string_view name) {
    return find_in_table(&index.name_table, index.names.data(), static_cast<std::uint32_t>(index.names.size()), name,
                         index.seed);
}

const NamedType* find_named(const SchemaIndex& index, std::string_view name) {
    const std::uint32_t id = name_id(index, name);
    return id == not_found ? nullptr : &index.names[id];
}

std::uint32_t id_of(const SchemaIndex& index, const NamedType& named) {
    return static_cast<std::uint32_t>(&named - index.names.data());
}

std::span<const std::uint32_t> possible_types(const SchemaIndex& index, const TypeRecord& type) {
    return {index.possible.data() + type.possible_begin, type.possible_count};
}

template <class Record>
const Record* find_in_run(const SchemaIndex& index, const std::vector<Record>& pool, const Run& run,
                          std::string_view name) {
    const NameTable* table = run.table == not_found ? nullptr : &index.tables[run.table];
    const std::uint32_t i = find_in_table(table, pool.data() + run.begin, run.count, name, index.seed);
    return i == not_found ? nullptr : &pool[run.begin + i];
}

const FieldRecord* find_field(const SchemaIndex& index, const TypeRecord& type, std::string_view name) {
    return find_in_run(index, index.fields, type.fields, name);
}

// The entry of `types` under that name.
const TypeRecord* find_type(const SchemaIndex& index, std::string_view name) {
    const NamedType* named = find_named(index, name);
    return named == nullptr ? nullptr : named->type;
}

// The records of the pool from `begin` to its end as one run, keyed.
template <class Record>
Run close_run(SchemaIndex& index, std::vector<Record>& pool, std::size_t begin) {
    Run run{static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(pool.size() - begin), not_found};
    for (std::size_t i = begin; i < pool.size(); ++i) pool[i].key = name_key(pool[i].name);
    if (run.count <= linear_lookup_limit) return run;
    run.table = static_cast<std::uint32_t>(index.tables.size());
    NameTable& table = index.tables.emplace_back();
    size_table(table, run.count);
    for (std::uint32_t record = 0; record < run.count; ++record) place(table, pool.data() + begin, record, index.seed);
    return run;
}

// The GraphQL name of a field or argument: the explicit name, else the
// camel-cased Python name when the schema camel-cases, else the Python name.
std::string_view graphql_name(SchemaIndex& index, const std::optional<std::string>& explicit_name,
                              const std::string& name, bool auto_camel_case) {
    if (explicit_name) return *explicit_name;
    if (!auto_camel_case || name.find('_') == std::string::npos) return name;  // camel-casing changes nothing
    return index.camel_cased.emplace_back(naming::to_camel_case(name));
}

Arguments index_arguments(SchemaIndex& index, const std::vector<ArgumentDefinition>& definitions,
                          bool auto_camel_case) {
    Arguments arguments;
    const std::size_t begin = index.arguments.size();
    for (const ArgumentDefinition& definition : definitions) {
        index.arguments.push_back({NameKey{}, graphql_name(index, definition.graphql_name, definition.name, auto_camel_case),
                                   &definition, find_named(index, definition.arg_type.named_type())});
        arguments.any_required = arguments.any_required || definition.is_required();
    }
    arguments.run = close_run(index, index.arguments, begin);
    return arguments;
}

// What a name is as a field's type, by the first rule that applies: a
// built-in or registered scalar is a leaf, a union composite, an enum a leaf,
// any other type of `types` composite; anything else is left unclassified.
void classify(NamedType& named, const CompiledSchema& schema) {
    const bool custom_scalar = schema.scalar_names.contains(named.name);
    if (builtin_scalars::is_standard(named.name) || custom_scalar) {
        named.type_class = TypeClass::Leaf;
    } else if (schema.unions.contains(named.name)) {
        named.type_class = TypeClass::Composite;
    } else if (named.type != nullptr) {
        const bool is_enum = named.type->definition->kind == TypeKind::Enum;
        named.type_class = is_enum ? TypeClass::Leaf : TypeClass::Composite;
        if (!is_enum) named.walked = named.type;
    }
    // As a value's type: the built-in scalars by name, then custom scalars
    // (anything goes), input objects and enums; anything else takes any value.
    if (named.name == builtin_scalars::boolean_name) {
        named.value_rule = ValueRule::Boolean;
    } else if (named.name == builtin_scalars::int_name) {
        named.value_rule = ValueRule::Int;
    } else if (named.name == builtin_scalars::float_name) {
        named.value_rule = ValueRule::Float;
    } else if (named.name == builtin_scalars::string_name || named.name == builtin_scalars::id_name) {
        named.value_rule = ValueRule::String;
    } else if (!custom_scalar && named.type != nullptr) {
        const TypeKind kind = named.type->definition->kind;
        if (kind == TypeKind::InputObject) named.value_rule = ValueRule::InputObject;
        if (kind == TypeKind::Enum) named.value_rule = ValueRule::Enum;
    }
}

// Adds a name to the index's names, once; the table was sized for every mention.
void intern_name(SchemaIndex& index, std::string_view name) {
    NameTable& table = index.name_table;
    const NameKey key = name_key(name);
    const std::uint32_t hash = name_hash(key, name, index.seed);
    const std::size_t mask = table.slots.size() - 1;
    std::size_t at = hash & mask;
    for (; table.slots[at].record != not_found; at = (at + 1) & mask) {
        const NameSlot& slot = table.slots[at];
        if (slot.hash == hash && record_is(index.names[slot.record], key, name)) return;
    }
    table.slots[at] = {hash, static_cast<std::uint32_t>(index.names.size())};
    index.names.push_back({key, name});
}

// The possible types of the type whose definition bears `name`, appended to
// the pool as ascending ids: a union's members (a union of that name comes
// first), an interface's implementors, else the type itself, else nothing.
void add_possible_types(SchemaIndex& index, const CompiledSchema& schema, TypeRecord& record,
                        const std::vector<std::vector<std::uint32_t>>& implementors) {
    const std::string_view name = record.definition->name;
    std::vector<std::uint32_t>& pool = index.possible;
    const std::size_t begin = pool.size();
    const NamedType& named = *find_named(index, name);
    if (auto it = schema.unions.find(name); it != schema.unions.end()) {
        for (const std::string& member : it->second.member_names) pool.push_back(name_id(index, member));
        std::sort(pool.begin() + static_cast<std::ptrdiff_t>(begin), pool.end());
        pool.erase(std::unique(pool.begin() + static_cast<std::ptrdiff_t>(begin), pool.end()), pool.end());
    } else if (named.type == nullptr) {
        // A definition under another key: its own name is no type.
    } else if (named.type->definition->kind == TypeKind::Interface) {
        const std::vector<std::uint32_t>& ids = implementors[id_of(index, named)];  // ascending
        pool.insert(pool.end(), ids.begin(), ids.end());
    } else {
        pool.push_back(id_of(index, named));
    }
    record.possible_begin = static_cast<std::uint32_t>(begin);
    record.possible_count = static_cast<std::uint32_t>(pool.size() - begin);
}

std::shared_ptr<const SchemaIndex> build_index(const CompiledSchema& schema) {
    auto index = std::make_shared<SchemaIndex>();
    index->seed = mix(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(index.get())) ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));

    // Every name a rule may ask about, each once: the keys of `types` first,
    // so that their ids ascend in the order of `types`.
    std::size_t bound = std::size(builtin_scalars::standard) + schema.unions.size() + schema.scalar_names.size();
    std::size_t field_count = 0;
    std::size_t argument_count = 0;
    for (const auto& [key, type] : schema.types) {
        field_count += type.fields.size();
        for (const FieldDefinition& field : type.fields) argument_count += field.arguments.size();
    }
    for (const auto& [key, union_definition] : schema.unions) bound += union_definition.member_names.size();
    for (const auto& [key, directive] : schema.directives) argument_count += directive.arguments.size();
    bound += 2 * schema.types.size() + field_count + argument_count;
    size_table(index->name_table, bound);
    const auto intern = [&](std::string_view name) { intern_name(*index, name); };
    const auto intern_argument_types = [&](const std::vector<ArgumentDefinition>& arguments) {
        for (const ArgumentDefinition& argument : arguments) intern(argument.arg_type.named_type());
    };
    for (const auto& [key, type] : schema.types) intern(key);
    for (const std::string_view builtin : builtin_scalars::standard) intern(builtin);
    for (const auto& [key, type] : schema.types) {
        intern(type.name);
        for (const FieldDefinition& field : type.fields) {
            intern(field.field_type.named_type());
            intern_argument_types(field.arguments);
        }
    }
    for (const auto& [key, union_definition] : schema.unions) {
        intern(key);
        for (const std::string& member : union_definition.member_names) intern(member);
    }
    for (const std::string& scalar : schema.scalar_names) intern(scalar);
    for (const auto& [key, directive] : schema.directives) intern_argument_types(directive.arguments);
    // The bound counted every mention; the table is sized again for the names.
    index->names.shrink_to_fit();
    size_table(index->name_table, index->names.size());
    for (std::uint32_t id = 0; id < index->names.size(); ++id) place(index->name_table, index->names.data(), id, index->seed);

    index->types.resize(schema.types.size());
    std::size_t position = 0;
    for (const auto& [key, type] : schema.types) {
        TypeRecord& record = index->types[position];
        record.definition = &type;
        index->names[position].type = &record;  // the keys came first, in this order
        ++position;
    }
    for (NamedType& named : index->names) classify(named, schema);

    // Implementors of each interface name, each type once, in `types` order.
    std::vector<std::vector<std::uint32_t>> implementors(index->names.size());
    for (std::uint32_t id = 0; id < index->types.size(); ++id) {
        for (const std::string& interface_name : index->types[id].definition->interfaces) {
            const std::uint32_t interface_id = name_id(*index, interface_name);
            if (interface_id == not_found) continue;  // nothing asks for its possible types
            std::vector<std::uint32_t>& list = implementors[interface_id];
            if (list.empty() || list.back() != id) list.push_back(id);
        }
    }

    const bool camel = schema.auto_camel_case;
    index->fields.reserve(field_count);
    index->arguments.reserve(argument_count);
    for (TypeRecord& record : index->types) {
        add_possible_types(*index, schema, record, implementors);
        const std::size_t begin = index->fields.size();
        for (const FieldDefinition& field : record.definition->fields) {
            Arguments arguments = index_arguments(*index, field.arguments, camel);
            index->fields.push_back({NameKey{}, graphql_name(*index, field.graphql_name, field.name, camel), &field,
                                     find_named(*index, field.field_type.named_type()), arguments});
        }
        record.fields = close_run(*index, index->fields, begin);
    }
    for (const auto& [key, directive] : schema.directives) {
        Arguments arguments = index_arguments(*index, directive.arguments, camel);
        index->directives.push_back({NameKey{}, key, &directive, arguments});
    }
    index->directive_run = close_run(*index, index->directives, 0);
    return index;
}

// ---------------------------------------------------------------------------
// Working state of one call.

struct DeclaredVariable {
    std::string_view name;  // without "$"
    const TypeRef* type = nullptr;
    bool has_default = false;
};

struct FragmentState {
    bool on_stack = false;     // being expanded on the current path
    bool validated = false;    // its body passed once in this call
    bool keys_walked = false;  // the subscription key walk went through it once
    std::uint32_t height = 0;  // levels its body reached below its own level
    const TypeRecord* condition = nullptr;  // its type condition, once found
};

struct NameAt {
    std::string_view name;
    std::uint32_t index = 0;
};

struct Context {
    const Document& document;
    const CompiledSchema& schema;
    const SchemaIndex& index;
    // No name twice (checked before it is built); sorted by name past
    // `small_list_limit`.
    std::vector<DeclaredVariable> variables;
    // By index into document.fragments; the fragment stack is `on_stack`.
    std::vector<FragmentState> fragments;
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

struct OperationNode {
    std::optional<std::string_view> name;
    const OperationDefinition* operation = nullptr;  // operation_is_selected
    const std::string* root_type_name = nullptr;     // schema_has_the_root_type
    const TypeRecord* root = nullptr;                // root_type_is_registered
    bool settled = false;
};

struct FieldNode {
    const Selection& field;
    const TypeRecord& parent;
    std::size_t level;
    const FieldRecord* definition = nullptr;  // field_is_defined
    bool settled = false;
};

struct FragmentSpreadNode {
    const Selection& spread;
    const TypeRecord& parent;
    std::size_t level;
    const FragmentDefinition* fragment = nullptr;  // fragment_is_defined
    FragmentState* state = nullptr;                // fragment_is_defined
    const TypeRecord* condition = nullptr;         // fragment_type_condition_is_defined
    bool settled = false;
};

struct InlineFragmentNode {
    const Selection& fragment;
    const TypeRecord& parent;
    std::size_t level;
    // inline_type_condition_is_defined; the parent without a type condition.
    const TypeRecord* condition = nullptr;
    bool settled = false;
};

struct DirectiveNode {
    const Directive& directive;
    OperationDirectiveLocation location;
    const BuiltinDirective* builtin = nullptr;    // skip_and_include_are_left_to_lowering
    const DirectiveRecord* definition = nullptr;  // directive_is_defined
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
    const Arguments& definitions;
    std::string_view owner_name;
    Offset owner_offset;
    // Definitions matched by some argument; past 64 the missing check scans.
    std::uint64_t matched = 0;
    bool settled = false;
};

struct ArgumentNode {
    ArgumentsNode& arguments;
    const Argument& argument;
    const ArgumentRecord* definition = nullptr;  // argument_is_defined
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
MaybeError validate_selection_set(Context& context, const SelectionSet& selection_set, const TypeRecord& parent,
                                  std::size_t level);
MaybeError validate_each_directive(Context& context, Span<Directive> directives, OperationDirectiveLocation location);
// Most selections carry none: that case stays inline.
inline MaybeError validate_directives(Context& context, Span<Directive> directives,
                                      OperationDirectiveLocation location) {
    if (directives.empty()) return nullptr;
    return validate_each_directive(context, directives, location);
}
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
// A few items are compared in pairs; more are sorted as (name, index) pairs,
// which finds it in n log n for any n, with no hashing.
template <class Item, class NameOf>
std::optional<std::size_t> first_repeated_name(Span<Item> items, NameOf name_of, std::vector<NameAt>& scratch) {
    if (items.size() < 2) return std::nullopt;
    if (items.size() <= small_list_limit) {
        for (std::size_t i = 1; i < items.size(); ++i) {
            for (std::size_t j = 0; j < i; ++j) {
                if (names_equal(name_of(items[i]), name_of(items[j]))) return i;
            }
        }
        return std::nullopt;
    }
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
    const std::vector<DeclaredVariable>& variables = context.variables;
    if (variables.size() <= small_list_limit) {
        for (const DeclaredVariable& variable : variables) {
            if (names_equal(variable.name, name)) return &variable;
        }
        return nullptr;
    }
    auto it = std::lower_bound(variables.begin(), variables.end(), name,
                               [](const DeclaredVariable& v, std::string_view n) { return v.name < n; });
    if (it == variables.end() || it->name != name) return nullptr;
    return &*it;
}

// The few fragments of a usual document are compared in turn.
const FragmentDefinition* find_fragment(const Context& context, std::string_view name) {
    const std::vector<FragmentDefinition>& fragments = context.document.fragments;
    if (fragments.size() > linear_lookup_limit) return context.document.find_fragment(name);
    for (const FragmentDefinition& fragment : fragments) {
        if (names_equal(fragment.name.value, name)) return &fragment;
    }
    return nullptr;
}

std::size_t fragment_index(const Context& context, const FragmentDefinition& fragment) {
    return static_cast<std::size_t>(&fragment - context.document.fragments.data());
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

// A variable's parsed type as a schema type; each level wrapped at most once.
GraphQLType convert_parser_type(const TypeRef& type) {
    std::vector<const TypeRef*> levels;  // outermost first
    const TypeRef* level = &type;
    while (level->kind == TypeRef::Kind::List) {
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

// Whether a variable of the declared type may stand where `expected` is
// wanted. With the allowance a nullable declaration fills a non-null
// position, at every depth. The declared type is read as written: a level's
// "!" is the NonNull around it.
bool variable_type_fits(const TypeRef& declared, const GraphQLType& expected, bool allowance) {
    const TypeRef* d = &declared;
    bool d_non_null = d->non_null;  // the "!" of the declared level, not yet stepped into
    const GraphQLType* e = &expected;
    for (;;) {
        if (d_non_null) {
            if (e->kind == GraphQLType::Kind::NonNull) e = e->inner.get();
            d_non_null = false;
        } else if (e->kind == GraphQLType::Kind::List) {
            if (d->kind != TypeRef::Kind::List) return false;
            d = d->inner;
            d_non_null = d->non_null;
            e = e->inner.get();
        } else if (e->kind == GraphQLType::Kind::NonNull) {
            if (!allowance) return false;
            e = e->inner.get();
        } else {
            return d->kind == TypeRef::Kind::Named && names_equal(d->name, e->name);
        }
    }
}

// `named` is the named type under every wrapper of `expected`.
std::optional<std::string> check_value_matches_type(const Context& context, const Value& value,
                                                    const GraphQLType& expected, const NamedType& named, bool slack);

std::optional<std::string> check_named_value(const Context& context, const Value& value, const NamedType& named) {
    const ValueKind kind = value.kind;
    switch (named.value_rule) {
        case ValueRule::Boolean:
            if (kind == ValueKind::Boolean) return std::nullopt;
            return concat({"expected a boolean, got ", value_kind_word(kind)});
        case ValueRule::Int:
            if (kind == ValueKind::Number) {
                if (value.number.is_integer()) return std::nullopt;
                return std::string("expected an integer, got a floating-point number");
            }
            return concat({"expected an integer, got ", value_kind_word(kind)});
        case ValueRule::Float:
            if (kind == ValueKind::Number) return std::nullopt;
            return concat({"expected a number, got ", value_kind_word(kind)});
        case ValueRule::String:
            if (kind == ValueKind::String) return std::nullopt;
            return concat({"expected a string, got ", value_kind_word(kind)});
        case ValueRule::InputObject: {
            if (kind != ValueKind::Object) {
                return concat({"expected an input object for '", named.name, "', got ", value_kind_word(kind)});
            }
            // Unknown and left-out input fields are not looked for.
            for (const document::ObjectField& field : value.object) {
                const FieldRecord* record = find_field(context.index, *named.type, field.name.value);
                if (record == nullptr) continue;
                const FieldDefinition& definition = *record->definition;
                auto tail = check_value_matches_type(context, field.value, definition.field_type, *record->named,
                                                     definition.default_value.has_value());
                if (tail) return concat({"field '", field.name.value, "': ", *tail});
            }
            return std::nullopt;
        }
        case ValueRule::Enum:
            if (kind != ValueKind::Enum) {
                return concat({"expected a value of enum '", named.name, "', got ", value_kind_word(kind)});
            }
            for (const schema::EnumValueDefinition& member : named.type->definition->enum_values) {
                if (names_equal(member.graphql_name_or_name(), value.text)) return std::nullopt;
            }
            return concat({"'", value.text, "' is not a valid value for enum '", named.name, "'"});
        case ValueRule::Any: return std::nullopt;  // custom scalars, object types, unions, unknown names
    }
    return std::nullopt;
}

// Nothing when the value fits, else the tail the caller puts in its message.
// Recursion follows the value's nesting, which the parser bounds.
std::optional<std::string> check_value_matches_type(const Context& context, const Value& value,
                                                    const GraphQLType& expected, const NamedType& named, bool slack) {
    if (value.kind == ValueKind::Variable) {
        const DeclaredVariable* variable = find_variable(context, value.text);
        if (variable == nullptr) return concat({"references undefined variable '$", value.text, "'"});
        if (variable_type_fits(*variable->type, expected, slack || variable->has_default)) return std::nullopt;
        return concat({"expects '", expected.to_sdl_string(), "', but variable '$", value.text,
                       "' is declared as '", convert_parser_type(*variable->type).to_sdl_string(), "'"});
    }
    if (value.kind == ValueKind::Null) {
        if (expected.is_non_null()) return std::string("must not be null");
        return std::nullopt;
    }
    const GraphQLType& nullable = expected.is_non_null() ? *expected.inner : expected;
    if (nullable.kind == GraphQLType::Kind::List) {
        if (value.kind != ValueKind::List) return concat({"expected a list, got ", value_kind_word(value.kind)});
        for (const Value& element : value.list) {
            auto tail = check_value_matches_type(context, element, *nullable.inner, named, false);
            if (tail) return tail;
        }
        return std::nullopt;
    }
    return check_named_value(context, value, named);
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

// Whether two ascending id lists share one: each id of the shorter one is
// looked for in the longer, so an object type against an interface of
// thousands costs a binary search.
bool share_an_id(std::span<const std::uint32_t> a, std::span<const std::uint32_t> b) {
    const std::span<const std::uint32_t> shorter = a.size() <= b.size() ? a : b;
    const std::span<const std::uint32_t> longer = a.size() <= b.size() ? b : a;
    auto from = longer.begin();
    for (std::uint32_t id : shorter) {
        from = std::lower_bound(from, longer.end(), id);
        if (from == longer.end()) return false;
        if (*from == id) return true;
    }
    return false;
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
                const FragmentDefinition* fragment = find_fragment(context, selection.name.value);
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
        context.variables.push_back({variable.name.value, variable.type, variable.default_value != nullptr});
    }
    if (context.variables.size() > small_list_limit) {
        std::sort(context.variables.begin(), context.variables.end(),
                  [](const DeclaredVariable& a, const DeclaredVariable& b) { return a.name < b.name; });
    }
}

// ---------------------------------------------------------------------------
// Rules shared by several kinds of node.

// limits::effective_depth_message
// The operation's selection set is level 0; each field's sub-selection set,
// each fragment expansion and each inline fragment adds one, as in lowering.
// Fragments can chain past the parser's per-definition bound, so this bound
// keeps every walk's stack small.
BoxedError nesting_error(const Context& context, Offset offset) {
    return error_at(context, limits::effective_depth_message, ErrorCode::GraphqlValidationFailed, offset);
}

inline MaybeError nesting_is_within_the_limit(const Context& context, std::size_t next_level, Offset offset) {
    if (next_level <= limits::max_effective_depth) return nullptr;
    return nesting_error(context, offset);
}

// "fragment on '{}' can never apply to '{}' -- they share no possible types"
MaybeError check_fragment_is_possible(Context& context, const TypeRecord& condition, const TypeRecord& parent,
                                      Offset offset) {
    if (&condition == &parent) return nullptr;  // shares all its possible types, or has none
    // An interface nothing implements accepts every fragment.
    const std::span<const std::uint32_t> condition_types = possible_types(context.index, condition);
    const std::span<const std::uint32_t> parent_types = possible_types(context.index, parent);
    if (condition_types.empty() || parent_types.empty()) return nullptr;
    if (share_an_id(condition_types, parent_types)) return nullptr;
    return error_at(context,
                    concat({"fragment on '", condition.definition->name, "' can never apply to '",
                            parent.definition->name, "' -- they share no possible types"}),
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
    node.root = find_type(context.index, *node.root_type_name);
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
    const Selection& field = node.field;
    node.definition = find_field(context.index, node.parent, field.name.value);
    if (node.definition != nullptr) return nullptr;
    return error_at(context,
                    concat({"field '", field.name.value, "' does not exist on type '", node.parent.definition->name,
                            "'"}),
                    ErrorCode::UnknownField, field.offset);
}

MaybeError field_arguments_are_valid(Context& context, FieldNode& node) {
    // Nothing given and nothing required: no rule of the arguments can fail.
    if (node.field.arguments.empty() && !node.definition->arguments.any_required) return nullptr;
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
    const GraphQLType& type = node.definition->definition->field_type;
    const GraphQLType& nullable = type.is_non_null() ? *type.inner : type;
    if (nullable.kind != GraphQLType::Kind::Named) return nullptr;
    return error_at(context,
                    concat({"directive '@stream' can only be applied to a list-typed field, but '",
                            node.field.name.value, "' is '", type.to_sdl_string(), "'"}),
                    ErrorCode::InvalidDirectiveLocation, stream->offset);
}

// "field '{}' is of leaf type '{}' and cannot have a selection set"
MaybeError leaf_field_has_no_selection_set(Context& context, FieldNode& node) {
    if (node.definition->named->type_class != TypeClass::Leaf || node.field.selection_set.selections.empty()) {
        return nullptr;
    }
    return error_at(context,
                    concat({"field '", node.field.name.value, "' is of leaf type '", node.definition->named->name,
                            "' and cannot have a selection set"}),
                    ErrorCode::UnknownField, node.field.selection_set.offset);
}

// "field '{}' is of composite type '{}' and must have a selection set"
MaybeError composite_field_has_a_selection_set(Context& context, FieldNode& node) {
    if (node.definition->named->type_class != TypeClass::Composite || !node.field.selection_set.selections.empty()) {
        return nullptr;
    }
    return error_at(context,
                    concat({"field '", node.field.name.value, "' is of composite type '", node.definition->named->name,
                            "' and must have a selection set"}),
                    ErrorCode::UnknownField, node.field.offset);
}

// Union-typed and unclassified fields' selections are not walked: only
// composite types in `types` have fields to check them against.
MaybeError field_selections_are_walked_below_object_types(Context&, FieldNode& node) {
    node.settled = node.definition->named->walked == nullptr;
    return nullptr;
}

MaybeError field_nesting_is_within_the_limit(Context& context, FieldNode& node) {
    return nesting_is_within_the_limit(context, node.level + 1, node.field.offset);
}

MaybeError field_selections_are_valid(Context& context, FieldNode& node) {
    return validate_selection_set(context, node.field.selection_set, *node.definition->named->walked, node.level + 1);
}

// ---------------------------------------------------------------------------
// Rules of a fragment spread.

MaybeError spread_directives_are_valid(Context& context, FragmentSpreadNode& node) {
    return validate_directives(context, node.spread.directives, OperationDirectiveLocation::FragmentSpread);
}

// "undefined fragment '{}'"
MaybeError fragment_is_defined(Context& context, FragmentSpreadNode& node) {
    node.fragment = find_fragment(context, node.spread.name.value);
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
    if (node.state->condition == nullptr) {
        node.state->condition = find_type(context.index, fragment.type_condition.name.value);
    }
    node.condition = node.state->condition;
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
    node.condition = find_type(context.index, type_condition->name.value);
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
    node.definition = find_in_run(context.index, context.index.directives, context.index.directive_run, name);
    if (node.definition != nullptr) return nullptr;
    return error_at(context, concat({"unknown directive '@", name, "'"}), ErrorCode::InvalidDirectiveLocation,
                    node.directive.offset);
}

// "directive '@{}' is not allowed at this location ({})"
MaybeError directive_is_allowed_here(Context& context, DirectiveNode& node) {
    const std::vector<OperationDirectiveLocation>& locations = node.definition->definition->locations;
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
    const GraphQLType& type = builtin_argument_type(*node.match);
    auto tail = check_value_matches_type(context, node.argument.value, type, *find_named(context.index, type.named_type()),
                                         true);
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
    const Run& run = node.definitions.run;
    for (std::size_t i = 0; i < run.count; ++i) {
        const ArgumentRecord& definition = context.index.arguments[run.begin + i];
        if (!definition.definition->is_required()) continue;
        if (i < 64 && (node.matched & (std::uint64_t{1} << i))) continue;
        // Unmatched by index; an argument may still carry its name when an
        // earlier definition shares it.
        bool given = false;
        for (const Argument& argument : node.arguments) {
            if (argument.name.value == definition.name) {
                given = true;
                break;
            }
        }
        if (!given) {
            return error_at(context,
                            concat({"missing required argument '", definition.name, "' on '", node.owner_name, "'"}),
                            ErrorCode::ArgumentTypeMismatch, node.owner_offset);
        }
    }
    return nullptr;
}

// "unknown argument '{}' on '{}'"
MaybeError argument_is_defined(Context& context, ArgumentNode& node) {
    node.definition =
        find_in_run(context.index, context.index.arguments, node.arguments.definitions.run, node.argument.name.value);
    if (node.definition == nullptr) {
        return error_at(context,
                        concat({"unknown argument '", node.argument.name.value, "' on '", node.arguments.owner_name,
                                "'"}),
                        ErrorCode::UnknownArgument, node.argument.name.offset);
    }
    const auto index = static_cast<std::size_t>(node.definition - context.index.arguments.data()) -
                       node.arguments.definitions.run.begin;
    if (index < 64) node.arguments.matched |= std::uint64_t{1} << index;
    return nullptr;
}

// "argument '{}' on '{}' {}"
MaybeError argument_value_fits(Context& context, ArgumentNode& node) {
    const ArgumentDefinition& definition = *node.definition->definition;
    auto tail = check_value_matches_type(context, node.argument.value, definition.arg_type, *node.definition->named,
                                         definition.has_default);
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

MaybeError validate_selection_set(Context& context, const SelectionSet& selection_set, const TypeRecord& parent,
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

MaybeError validate_each_directive(Context& context, Span<Directive> directives, OperationDirectiveLocation location) {
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
    // A schema assembled without an index is indexed for this call alone.
    std::shared_ptr<const SchemaIndex> built;
    const SchemaIndex* index = schema.validation_index.get();
    if (index == nullptr) {
        built = build_index(schema);
        index = built.get();
    }
    Context context{document, schema, *index, {}, {}, {}, 0};
    context.fragments.resize(document.fragments.size());
    OperationNode operation{operation_name};
    return check_operation(context, operation);
}

void index_schema(CompiledSchema& schema) {
    schema.validation_index.reset();
    schema.validation_index = build_index(schema);
}

}  // namespace dovrane_core::validation
