#include "dovrane_core/schema.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "dovrane_core/builtin_scalars.hpp"
#include "dovrane_core/naming.hpp"

namespace dovrane_core::schema {

// ---- GraphQLType -------------------------------------------------------------
// Wrapper chains come from annotations and query text, so every walk over one
// is a loop: no chain length can overflow the stack.

GraphQLType::GraphQLType(const GraphQLType& other) : kind(other.kind), name(other.name) {
    GraphQLType* copy = this;
    for (const GraphQLType* source = other.inner.get(); source != nullptr; source = source->inner.get()) {
        copy->inner = std::make_unique<GraphQLType>();
        copy = copy->inner.get();
        copy->kind = source->kind;
        copy->name = source->name;
    }
}

GraphQLType& GraphQLType::operator=(const GraphQLType& other) {
    if (this != &other) *this = GraphQLType(other);
    return *this;
}

GraphQLType::~GraphQLType() {
    // Unlink one node at a time, so each destroyed node has no inner left.
    std::unique_ptr<GraphQLType> next = std::move(inner);
    while (next) next = std::move(next->inner);
}

GraphQLType GraphQLType::named(std::string name) {
    GraphQLType type;
    type.kind = Kind::Named;
    type.name = std::move(name);
    return type;
}

GraphQLType GraphQLType::list(GraphQLType element) {
    GraphQLType type;
    type.kind = Kind::List;
    type.inner = std::make_unique<GraphQLType>(std::move(element));
    return type;
}

GraphQLType GraphQLType::non_null(GraphQLType wrapped) {
    GraphQLType type;
    type.kind = Kind::NonNull;
    type.inner = std::make_unique<GraphQLType>(std::move(wrapped));
    return type;
}

const std::string& GraphQLType::named_type() const {
    static const std::string none;  // a wrapper built without its inner type
    const GraphQLType* type = this;
    while (type->kind != Kind::Named) {
        if (!type->inner) return none;
        type = type->inner.get();
    }
    return type->name;
}

std::string GraphQLType::to_sdl_string() const {
    // Outermost first: "[" for each List on the way down, then the name, then
    // the closers innermost first.
    std::vector<Kind> wrappers;
    const GraphQLType* type = this;
    while (type != nullptr && type->kind != Kind::Named) {
        wrappers.push_back(type->kind);
        type = type->inner.get();
    }
    std::string out;
    for (Kind wrapper : wrappers) {
        if (wrapper == Kind::List) out.push_back('[');
    }
    if (type != nullptr) out.append(type->name);
    for (auto it = wrappers.rbegin(); it != wrappers.rend(); ++it) out.push_back(*it == Kind::List ? ']' : '!');
    return out;
}

// ---- Names -------------------------------------------------------------------

std::string_view type_kind_keyword(TypeKind kind) {
    switch (kind) {
        case TypeKind::Object: return "type";
        case TypeKind::Interface: return "interface";
        case TypeKind::InputObject: return "input";
        case TypeKind::Enum: return "enum";
    }
    return "type";
}

namespace {

constexpr std::array<std::string_view, schema_directive_location_count> schema_location_names = {
    "SCHEMA", "SCALAR",    "OBJECT",     "FIELD_DEFINITION", "ARGUMENT_DEFINITION",   "INTERFACE",
    "UNION",  "ENUM",      "ENUM_VALUE", "INPUT_OBJECT",     "INPUT_FIELD_DEFINITION",
};

constexpr std::array<std::string_view, operation_directive_location_count> operation_location_names = {
    "QUERY", "MUTATION", "SUBSCRIPTION", "FIELD", "FRAGMENT_DEFINITION", "FRAGMENT_SPREAD", "INLINE_FRAGMENT",
};

}  // namespace

std::string_view schema_directive_location_name(SchemaDirectiveLocation location) {
    const auto index = static_cast<std::size_t>(location);
    return index < schema_location_names.size() ? schema_location_names[index] : std::string_view{};
}

std::string_view operation_directive_location_name(OperationDirectiveLocation location) {
    const auto index = static_cast<std::size_t>(location);
    return index < operation_location_names.size() ? operation_location_names[index] : std::string_view{};
}

std::optional<SchemaDirectiveLocation> parse_schema_directive_location(std::string_view name) {
    for (std::size_t i = 0; i < schema_location_names.size(); ++i) {
        if (schema_location_names[i] == name) return static_cast<SchemaDirectiveLocation>(i);
    }
    return std::nullopt;
}

std::optional<OperationDirectiveLocation> parse_operation_directive_location(std::string_view name) {
    for (std::size_t i = 0; i < operation_location_names.size(); ++i) {
        if (operation_location_names[i] == name) return static_cast<OperationDirectiveLocation>(i);
    }
    return std::nullopt;
}

bool is_introspection_name(std::string_view name) { return name.size() >= 2 && name.starts_with("__"); }

std::string graphql_name_of(const std::optional<std::string>& graphql_name, const std::string& name,
                            bool auto_camel_case) {
    if (graphql_name) return *graphql_name;
    if (auto_camel_case) return naming::to_camel_case(name);
    return name;
}

// ---- Referenced types and the shape check ------------------------------------

std::set<std::string, std::less<>> referenced_type_names(
    const std::map<std::string, TypeDefinition, std::less<>>& types) {
    std::set<std::string, std::less<>> names;
    for (const auto& [key, type] : types) {
        for (const FieldDefinition& field : type.fields) {
            names.insert(field.field_type.named_type());
            for (const ArgumentDefinition& argument : field.arguments) names.insert(argument.arg_type.named_type());
        }
    }
    return names;
}

void add_library_scalars(CompiledSchema& schema) {
    std::set<std::string, std::less<>> referenced = referenced_type_names(schema.types);
    for (const auto& [key, directive] : schema.directives) {
        for (const ArgumentDefinition& argument : directive.arguments) {
            referenced.insert(argument.arg_type.named_type());
        }
    }
    for (const auto& [key, directive] : schema.schema_directives) {
        for (const DirectiveFieldDefinition& field : directive.fields) referenced.insert(field.field_type.named_type());
    }
    for (const builtin_scalars::LibraryScalar& scalar : builtin_scalars::library) {
        if (!referenced.contains(scalar.name) || schema.types.contains(scalar.name) ||
            schema.unions.contains(scalar.name)) {
            continue;
        }
        if (schema.scalar_names.emplace(scalar.name).second) {
            schema.scalar_descriptions.insert_or_assign(std::string(scalar.name), std::string(scalar.description));
        }
    }
}

namespace {

// Pass 1: every object, interface and input object has a field, every enum a value.
std::optional<std::string> check_no_empty_types(const std::map<std::string, TypeDefinition, std::less<>>& types) {
    // The map is ordered by name in byte order, the order this pass reports in.
    for (const auto& [key, type] : types) {
        const char* kind_word = nullptr;
        const char* member_word = "fields";
        bool empty = false;
        switch (type.kind) {
            case TypeKind::Object: kind_word = "object type"; empty = type.fields.empty(); break;
            case TypeKind::Interface: kind_word = "interface"; empty = type.fields.empty(); break;
            case TypeKind::InputObject: kind_word = "input object type"; empty = type.fields.empty(); break;
            case TypeKind::Enum:
                kind_word = "enum";
                member_word = "values";
                empty = type.enum_values.empty();
                break;
        }
        if (empty && kind_word != nullptr) {
            return std::string(kind_word) + " '" + type.name + "' defines no " + member_word +
                   ", but the GraphQL specification requires one or more";
        }
    }
    return std::nullopt;
}

// The first field of `type` with this Python name.
const FieldDefinition* find_field_by_name(
    const std::map<std::string_view, const FieldDefinition*, std::less<>>& index, std::string_view name) {
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

// Pass 2: each implemented interface is registered, and each of its fields is
// present (by Python name), no less non-null, and not given new required arguments.
std::optional<std::string> check_implementations(const std::map<std::string, TypeDefinition, std::less<>>& types) {
    std::map<std::string_view, const FieldDefinition*, std::less<>> fields_by_name;
    std::set<std::string_view, std::less<>> interface_argument_names;
    for (const auto& [key, type] : types) {
        if (type.interfaces.empty()) continue;
        // Index T's fields once; the first of a repeated name wins.
        fields_by_name.clear();
        for (const FieldDefinition& field : type.fields) fields_by_name.emplace(field.name, &field);

        for (const std::string& interface_name : type.interfaces) {
            auto found = types.find(interface_name);
            if (found == types.end()) {
                return "'" + type.name + "' implements interface '" + interface_name +
                       "', which is not a registered type";
            }
            const TypeDefinition& interface = found->second;
            for (const FieldDefinition& interface_field : interface.fields) {
                const FieldDefinition* field = find_field_by_name(fields_by_name, interface_field.name);
                if (field == nullptr) {
                    return "'" + type.name + "' does not implement field '" + interface_field.name +
                           "' declared by interface '" + interface.name + "'";
                }
                if (interface_field.field_type.is_non_null() && !field->field_type.is_non_null()) {
                    return "'" + type.name + "." + interface_field.name + "' is nullable, but interface '" +
                           interface.name + "' declares it as non-null";
                }
                interface_argument_names.clear();
                for (const ArgumentDefinition& argument : interface_field.arguments) {
                    interface_argument_names.insert(argument.name);
                }
                for (const ArgumentDefinition& argument : field->arguments) {
                    if (argument.is_required() && !interface_argument_names.contains(argument.name)) {
                        return "'" + type.name + "." + interface_field.name + "' adds required argument '" +
                               argument.name + "' not declared by interface '" + interface.name + "'";
                    }
                }
            }
        }
    }
    return std::nullopt;
}

// Pass 3: every union member is a registered type or scalar.
std::optional<std::string> check_union_members(const std::map<std::string, TypeDefinition, std::less<>>& types,
                                               const std::map<std::string, UnionDefinition, std::less<>>& unions,
                                               const std::set<std::string, std::less<>>& scalars) {
    for (const auto& [key, union_definition] : unions) {
        for (const std::string& member : union_definition.member_names) {
            if (!types.contains(member) && !scalars.contains(member)) {
                return "union '" + union_definition.name + "' has member '" + member +
                       "', which is not a registered type";
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> validate_schema_shape(const std::map<std::string, TypeDefinition, std::less<>>& types,
                                                 const std::map<std::string, UnionDefinition, std::less<>>& unions,
                                                 const std::set<std::string, std::less<>>& scalars) {
    if (auto message = check_no_empty_types(types)) return message;
    if (auto message = check_implementations(types)) return message;
    return check_union_members(types, unions, scalars);
}

// ---- What GraphQL forbids ----------------------------------------------------
// The passes after the three above read the schema as its SDL prints it: names
// after the GraphQL-name rule, and without the types and fields whose names
// start with "__" (the SDL leaves them out). Each walks the sections in the
// SDL's order (types, unions, scalars, operation directives, schema
// directives), every group sorted by name, so a schema always reports the same
// first problem.

namespace {

// What a name refers to, for the messages and the kind rules.
enum class NamedKind : std::uint8_t { Missing, LeftOut, Object, Interface, InputObject, Enum, Union, Scalar };

NamedKind named_kind(TypeKind kind) {
    switch (kind) {
        case TypeKind::Object: return NamedKind::Object;
        case TypeKind::Interface: return NamedKind::Interface;
        case TypeKind::InputObject: return NamedKind::InputObject;
        case TypeKind::Enum: return NamedKind::Enum;
    }
    return NamedKind::Object;
}

// "an object type", "a union": a kind as a message names it.
std::string_view kind_with_article(NamedKind kind) {
    switch (kind) {
        case NamedKind::Object: return "an object type";
        case NamedKind::Interface: return "an interface";
        case NamedKind::InputObject: return "an input object type";
        case NamedKind::Enum: return "an enum";
        case NamedKind::Union: return "a union";
        case NamedKind::Scalar: return "a scalar";
        case NamedKind::Missing:
        case NamedKind::LeftOut: break;
    }
    return "";
}

// The word of pass 1 for a type's kind.
std::string_view kind_word(TypeKind kind) {
    switch (kind) {
        case TypeKind::Object: return "object type";
        case TypeKind::Interface: return "interface";
        case TypeKind::InputObject: return "input object type";
        case TypeKind::Enum: return "enum";
    }
    return "type";
}

// One field as the SDL prints it.
struct PrintedField {
    const FieldDefinition* field = nullptr;
    std::string name;                         // its GraphQL name
    std::vector<std::string> argument_names;  // its arguments' GraphQL names, in order
};

// A type the SDL prints, with the fields it prints.
struct PrintedType {
    const TypeDefinition* type = nullptr;
    std::vector<PrintedField> fields;

    const PrintedField* find(std::string_view name) const {
        for (const PrintedField& field : fields) {
            if (field.name == name) return &field;
        }
        return nullptr;
    }
};

// The schema as the SDL reads, built once for every pass.
struct SchemaReading {
    const CompiledSchema& schema;
    std::map<std::string_view, PrintedType, std::less<>> types;  // sorted by name, as `schema.types`

    // Built-in scalars first, the names most fields use; pass 4 made sure no
    // type or union takes one of their names.
    NamedKind kind_of(std::string_view name) const {
        if (builtin_scalars::is_standard(name)) return NamedKind::Scalar;
        if (auto it = schema.types.find(name); it != schema.types.end()) {
            return is_introspection_name(name) ? NamedKind::LeftOut : named_kind(it->second.kind);
        }
        if (schema.unions.contains(name)) return NamedKind::Union;
        if (schema.scalar_names.contains(name) || builtin_scalars::is_standard(name)) return NamedKind::Scalar;
        return NamedKind::Missing;
    }
};

SchemaReading read_schema(const CompiledSchema& schema) {
    SchemaReading reading{schema, {}};
    const bool camel = schema.auto_camel_case;
    for (const auto& [key, type] : schema.types) {
        if (is_introspection_name(key)) continue;
        PrintedType printed;
        printed.type = &type;
        if (type.kind != TypeKind::Enum) {
            printed.fields.reserve(type.fields.size());
            for (const FieldDefinition& field : type.fields) {
                std::string name = graphql_name_of(field.graphql_name, field.name, camel);
                if (is_introspection_name(name)) continue;
                PrintedField& entry = printed.fields.emplace_back();
                entry.field = &field;
                entry.name = std::move(name);
                entry.argument_names.reserve(field.arguments.size());
                for (const ArgumentDefinition& argument : field.arguments) {
                    entry.argument_names.push_back(graphql_name_of(argument.graphql_name, argument.name, camel));
                }
            }
        }
        reading.types.emplace(key, std::move(printed));
    }
    return reading;
}

std::string quoted(std::string_view text) {
    std::string out = "'";
    out.append(text);
    out.push_back('\'');
    return out;
}

// 'T.f', 'T.f(x)', '@d(x)': elements named by their Python names, as the
// shape check names them.
std::string field_path(const TypeDefinition& type, const FieldDefinition& field) {
    return quoted(type.name + "." + field.name);
}
std::string argument_path(const TypeDefinition& type, const FieldDefinition& field, const ArgumentDefinition& argument) {
    return quoted(type.name + "." + field.name + "(" + argument.name + ")");
}
std::string directive_argument_path(std::string_view directive, std::string_view argument) {
    std::string path = "@";
    path.append(directive).append("(").append(argument).append(")");
    return quoted(path);
}

// ---- Pass 4: names -----------------------------------------------------------

// Why a printed name is refused, or nothing.
std::optional<std::string_view> name_problem(std::string_view name) {
    if (!naming::is_graphql_name(name)) return "is not a GraphQL name";
    if (is_introspection_name(name)) return "starts with '__', reserved for introspection";
    return std::nullopt;
}

// "{kind} name '{name}' {problem}": a type, union, scalar or directive.
std::optional<std::string> check_own_name(std::string_view kind, std::string_view shown, std::string_view name) {
    if (auto problem = name_problem(name)) {
        return std::string(kind) + " name " + quoted(shown) + " " + std::string(*problem);
    }
    return std::nullopt;
}

// The printed names of one element's members seen so far, each with the
// member's index; the names must outlive it. Most elements have a few
// members, searched in a list; past that, an ordered map keeps it n log n.
struct SeenNames {
    static constexpr std::size_t list_limit = 32;
    std::vector<std::pair<std::string_view, std::size_t>> few;
    std::map<std::string_view, std::size_t, std::less<>> many;

    void clear() {
        few.clear();
        many.clear();
    }

    // The earlier member that printed `name`, or nothing, `index` then
    // taking the name.
    std::optional<std::size_t> insert(std::string_view name, std::size_t index) {
        if (many.empty()) {
            for (const auto& [seen, at] : few) {
                if (seen == name) return at;
            }
            if (few.size() < list_limit) {
                few.emplace_back(name, index);
                return std::nullopt;
            }
            many.insert(few.begin(), few.end());
        }
        auto [it, inserted] = many.try_emplace(name, index);
        if (inserted) return std::nullopt;
        return it->second;
    }
};

// Member `index` of one element prints `name`: a GraphQL name, distinct from
// the earlier members'. `path_of(index)` names a member in messages, built
// only for a message since this runs over every field of the schema.
//   "{member} {path} is named '{name}', which {problem}"
//   "{members} {first} and {second} are both named '{name}'"
template <class PathOf>
std::optional<std::string> check_member_name(SeenNames& seen, std::string_view member, std::string_view members,
                                             std::string_view name, std::size_t index, PathOf path_of) {
    if (auto problem = name_problem(name)) {
        return std::string(member) + " " + path_of(index) + " is named " + quoted(name) + ", which " +
               std::string(*problem);
    }
    auto earlier = seen.insert(name, index);
    if (!earlier) return std::nullopt;
    return std::string(members) + " " + path_of(*earlier) + " and " + path_of(index) + " are both named " +
           quoted(name);
}

// `path_of(argument)` names an argument in messages.
template <class PathOf>
std::optional<std::string> check_argument_names(const std::vector<ArgumentDefinition>& arguments,
                                                const std::vector<std::string>& names, PathOf path_of) {
    SeenNames seen;
    auto path_at = [&](std::size_t i) { return path_of(arguments[i]); };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (auto message = check_member_name(seen, "argument", "arguments", names[i], i, path_at)) return message;
    }
    return std::nullopt;
}

std::vector<std::string> argument_names(const std::vector<ArgumentDefinition>& arguments, bool camel) {
    std::vector<std::string> names;
    names.reserve(arguments.size());
    for (const ArgumentDefinition& argument : arguments) {
        names.push_back(graphql_name_of(argument.graphql_name, argument.name, camel));
    }
    return names;
}

std::optional<std::string> check_names(const SchemaReading& reading) {
    const CompiledSchema& schema = reading.schema;
    SeenNames seen;  // reused, one element after another
    for (const auto& [key, printed] : reading.types) {
        const TypeDefinition& type = *printed.type;
        if (auto message = check_own_name(kind_word(type.kind), type.name, type.name)) return message;
        if (builtin_scalars::is_standard(type.name)) {
            return quoted(type.name) + " names both " + std::string(kind_with_article(named_kind(type.kind))) +
                   " and a built-in scalar";
        }
        seen.clear();
        if (type.kind == TypeKind::Enum) {
            const auto& values = type.enum_values;
            auto path_of = [&](std::size_t i) { return quoted(type.name + "." + values[i].name); };
            for (std::size_t i = 0; i < values.size(); ++i) {
                const std::string& name = values[i].graphql_name_or_name();
                // A twin of an earlier value named true, false or null is never
                // reached: that earlier value is refused first.
                if (auto message = check_member_name(seen, "enum value", "enum values", name, i, path_of)) {
                    return message;
                }
                if (name == "true" || name == "false" || name == "null") {
                    return "enum value " + path_of(i) + " is named " + quoted(name) +
                           ", which cannot name an enum value";
                }
            }
            continue;
        }
        const bool input = type.kind == TypeKind::InputObject;
        const auto& fields = printed.fields;
        auto path_of = [&](std::size_t i) { return field_path(type, *fields[i].field); };
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const PrintedField& field = fields[i];
            if (auto message = check_member_name(seen, input ? "input field" : "field",
                                                 input ? "input fields" : "fields", field.name, i, path_of)) {
                return message;
            }
            if (auto message = check_argument_names(
                    field.field->arguments, field.argument_names,
                    [&](const ArgumentDefinition& argument) { return argument_path(type, *field.field, argument); })) {
                return message;
            }
        }
    }
    for (const auto& [key, union_definition] : schema.unions) {
        if (auto message = check_own_name("union", union_definition.name, union_definition.name)) return message;
        if (auto it = schema.types.find(key); it != schema.types.end()) {
            return quoted(key) + " names both " + std::string(kind_with_article(named_kind(it->second.kind))) +
                   " and a union";
        }
        if (builtin_scalars::is_standard(key)) return quoted(key) + " names both a union and a built-in scalar";
    }
    for (const std::string& name : schema.scalar_names) {
        if (auto message = check_own_name("scalar", name, name)) return message;
        if (auto it = schema.types.find(name); it != schema.types.end()) {
            return quoted(name) + " names both " + std::string(kind_with_article(named_kind(it->second.kind))) +
                   " and a scalar";
        }
        if (schema.unions.contains(name)) return quoted(name) + " names both a union and a scalar";
    }
    for (const auto& entry : schema.directives) {
        const auto& directive = entry.second;  // a lambda below captures it
        if (auto message = check_own_name("directive", "@" + directive.name, directive.name)) return message;
        if (auto message = check_argument_names(
                directive.arguments, argument_names(directive.arguments, schema.auto_camel_case),
                [&](const ArgumentDefinition& argument) {
                    return directive_argument_path(directive.name, argument.name);
                })) {
            return message;
        }
    }
    for (const auto& entry : schema.schema_directives) {
        const auto& directive = entry.second;  // a lambda below captures it
        if (auto message = check_own_name("directive", "@" + directive.name, directive.name)) return message;
        if (schema.directives.contains(entry.first)) {
            return quoted("@" + directive.name) + " names both an operation directive and a schema directive";
        }
        std::vector<std::string> names;
        names.reserve(directive.fields.size());
        for (const DirectiveFieldDefinition& field : directive.fields) {
            names.push_back(graphql_name_of(field.graphql_name, field.name, schema.auto_camel_case));
        }
        seen.clear();
        auto path_of = [&](std::size_t i) { return directive_argument_path(directive.name, directive.fields[i].name); };
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (auto message = check_member_name(seen, "argument", "arguments", names[i], i, path_of)) return message;
        }
    }
    return std::nullopt;
}

// ---- Pass 5: references --------------------------------------------------------

enum class Position : std::uint8_t { Output, Input };

// Why a reference to `name` from a place of `position` is refused, as the
// end of a message (", which is not a registered type"), or nothing.
std::optional<std::string> reference_problem(const SchemaReading& reading, std::string_view name, Position position) {
    const NamedKind kind = reading.kind_of(name);
    switch (kind) {
        case NamedKind::Missing: return ", which is not a registered type";
        case NamedKind::LeftOut: return ", which the SDL leaves out (its name starts with '__')";
        case NamedKind::InputObject:
            if (position == Position::Output) return ", which is an input object type, not an output type";
            return std::nullopt;
        case NamedKind::Object:
        case NamedKind::Interface:
        case NamedKind::Union:
            if (position == Position::Input) {
                return ", which is " + std::string(kind_with_article(kind)) + ", not an input type";
            }
            return std::nullopt;
        case NamedKind::Enum:
        case NamedKind::Scalar: return std::nullopt;
    }
    return std::nullopt;
}

// "{subject} has type '{named}'{problem}".
// `subject()` is called only for a message.
template <class Subject>
std::optional<std::string> check_type_reference(const SchemaReading& reading, Subject subject,
                                                const GraphQLType& type, Position position) {
    const std::string& named = type.named_type();
    if (auto problem = reference_problem(reading, named, position)) {
        return subject() + " has type " + quoted(named) + *problem;
    }
    return std::nullopt;
}

// What a root type, an interface or a union member must be.
std::optional<std::string> check_kind_reference(const SchemaReading& reading, const std::string& subject,
                                                std::string_view name, NamedKind wanted) {
    const NamedKind kind = reading.kind_of(name);
    if (kind == wanted) return std::nullopt;
    if (kind == NamedKind::Missing) return subject + ", which is not a registered type";
    if (kind == NamedKind::LeftOut) return subject + ", which the SDL leaves out (its name starts with '__')";
    return subject + ", which is " + std::string(kind_with_article(kind)) + ", not " +
           std::string(kind_with_article(wanted));
}

std::optional<std::string> check_references(const SchemaReading& reading) {
    const CompiledSchema& schema = reading.schema;
    const std::pair<const char*, const std::string*> roots[] = {
        {"query", &schema.query_type_name},
        {"mutation", schema.mutation_type_name ? &*schema.mutation_type_name : nullptr},
        {"subscription", schema.subscription_type_name ? &*schema.subscription_type_name : nullptr},
    };
    for (const auto& [operation, name] : roots) {
        if (name == nullptr) continue;
        if (auto message = check_kind_reference(
                reading, std::string("the ") + operation + " root type is " + quoted(*name), *name, NamedKind::Object)) {
            return message;
        }
    }
    for (const auto& [key, printed] : reading.types) {
        const TypeDefinition& type = *printed.type;
        for (const std::string& interface_name : type.interfaces) {
            if (type.kind != TypeKind::Object && type.kind != TypeKind::Interface) {
                return std::string(kind_word(type.kind)) + " " + quoted(type.name) + " implements interface " +
                       quoted(interface_name) + ", but only object types and interfaces implement interfaces";
            }
            if (auto message = check_kind_reference(
                    reading, quoted(type.name) + " implements interface " + quoted(interface_name), interface_name,
                    NamedKind::Interface)) {
                return message;
            }
        }
        const Position field_position = type.kind == TypeKind::InputObject ? Position::Input : Position::Output;
        for (const PrintedField& field : printed.fields) {
            if (auto message = check_type_reference(
                    reading, [&] { return field_path(type, *field.field); }, field.field->field_type, field_position)) {
                return message;
            }
            for (const ArgumentDefinition& argument : field.field->arguments) {
                if (auto message = check_type_reference(
                        reading, [&] { return argument_path(type, *field.field, argument); }, argument.arg_type,
                        Position::Input)) {
                    return message;
                }
            }
        }
    }
    for (const auto& [key, union_definition] : schema.unions) {
        for (const std::string& member : union_definition.member_names) {
            if (auto message = check_kind_reference(
                    reading, "union " + quoted(union_definition.name) + " has member " + quoted(member), member,
                    NamedKind::Object)) {
                return message;
            }
        }
    }
    for (const auto& entry : schema.directives) {
        const auto& directive = entry.second;  // a lambda below captures it
        for (const ArgumentDefinition& argument : directive.arguments) {
            if (auto message = check_type_reference(
                    reading, [&] { return directive_argument_path(directive.name, argument.name); }, argument.arg_type,
                    Position::Input)) {
                return message;
            }
        }
    }
    for (const auto& entry : schema.schema_directives) {
        const auto& directive = entry.second;  // a lambda below captures it
        for (const DirectiveFieldDefinition& field : directive.fields) {
            if (auto message = check_type_reference(
                    reading, [&] { return directive_argument_path(directive.name, field.name); }, field.field_type,
                    Position::Input)) {
                return message;
            }
        }
    }
    return std::nullopt;
}

// ---- Pass 6: nothing to print ----------------------------------------------------

constexpr std::string_view one_or_more = ", but the GraphQL specification requires one or more";

std::optional<std::string> check_nothing_printed(const SchemaReading& reading) {
    const CompiledSchema& schema = reading.schema;
    for (const auto& [key, printed] : reading.types) {
        // A type with no fields at all is pass 1's.
        const TypeDefinition& type = *printed.type;
        if (type.kind != TypeKind::Enum && !type.fields.empty() && printed.fields.empty()) {
            return std::string(kind_word(type.kind)) + " " + quoted(type.name) +
                   " defines no fields the SDL prints (names starting with '__' are left out)" +
                   std::string(one_or_more);
        }
    }
    for (const auto& [key, union_definition] : schema.unions) {
        if (union_definition.member_names.empty()) {
            return "union " + quoted(union_definition.name) + " defines no members" + std::string(one_or_more);
        }
    }
    for (const auto& [key, directive] : schema.directives) {
        if (directive.locations.empty()) {
            return "directive " + quoted("@" + directive.name) + " defines no locations" + std::string(one_or_more);
        }
    }
    for (const auto& [key, directive] : schema.schema_directives) {
        if (directive.locations.empty()) {
            return "directive " + quoted("@" + directive.name) + " defines no locations" + std::string(one_or_more);
        }
    }
    return std::nullopt;
}

// ---- Pass 7: implementations, by GraphQL names and types -------------------------

bool same_type(const GraphQLType& a, const GraphQLType& b) {
    const GraphQLType* x = &a;
    const GraphQLType* y = &b;
    while (x != nullptr && y != nullptr) {
        if (x->kind != y->kind) return false;
        if (x->kind == GraphQLType::Kind::Named) return x->name == y->name;
        x = x->inner.get();
        y = y->inner.get();
    }
    return x == y;
}

// Whether a value of `sub` always is a value of `super`: the same wrappers,
// where `sub` may add non-null marks, around a named type that is `super`'s or
// one of its possible types (an implementation of an interface, a member of a
// union). One wrapper is peeled per step.
bool is_subtype(const SchemaReading& reading, const GraphQLType& sub, const GraphQLType& super) {
    const GraphQLType* x = &sub;
    const GraphQLType* y = &super;
    while (x != nullptr && y != nullptr) {
        if (y->kind == GraphQLType::Kind::NonNull) {
            if (x->kind != GraphQLType::Kind::NonNull) return false;
            x = x->inner.get();
            y = y->inner.get();
        } else if (x->kind == GraphQLType::Kind::NonNull) {
            x = x->inner.get();
        } else if (y->kind == GraphQLType::Kind::List || x->kind == GraphQLType::Kind::List) {
            if (x->kind != y->kind) return false;
            x = x->inner.get();
            y = y->inner.get();
        } else {
            if (x->name == y->name) return true;
            auto possible = reading.types.find(x->name);
            if (reading.kind_of(y->name) == NamedKind::Interface) {
                if (possible == reading.types.end()) return false;
                const auto& interfaces = possible->second.type->interfaces;
                return std::find(interfaces.begin(), interfaces.end(), y->name) != interfaces.end();
            }
            if (auto union_definition = reading.schema.unions.find(y->name);
                union_definition != reading.schema.unions.end()) {
                const auto& members = union_definition->second.member_names;
                return reading.kind_of(x->name) == NamedKind::Object &&
                       std::find(members.begin(), members.end(), x->name) != members.end();
            }
            return false;
        }
    }
    return false;
}

// An argument the SDL prints as required: non-null with no default printed.
bool prints_as_required(const ArgumentDefinition& argument) {
    return argument.arg_type.is_non_null() && !argument.default_value;
}

std::optional<std::string> check_field_implements(const SchemaReading& reading, const TypeDefinition& type,
                                                  const PrintedField& field, const TypeDefinition& interface,
                                                  const PrintedField& interface_field) {
    const FieldDefinition& own = *field.field;
    const FieldDefinition& declared = *interface_field.field;
    auto by_interface = [&] { return "declared by interface " + quoted(interface.name); };
    if (!is_subtype(reading, own.field_type, declared.field_type)) {
        return field_path(type, own) + " has type " + quoted(own.field_type.to_sdl_string()) +
               ", which does not match type " + quoted(declared.field_type.to_sdl_string()) + " " + by_interface();
    }
    for (std::size_t i = 0; i < declared.arguments.size(); ++i) {
        const std::string& name = interface_field.argument_names[i];
        auto found = std::find(field.argument_names.begin(), field.argument_names.end(), name);
        if (found == field.argument_names.end()) {
            return field_path(type, own) + " does not take argument " + quoted(name) + " " + by_interface();
        }
        const ArgumentDefinition& argument = own.arguments[static_cast<std::size_t>(found - field.argument_names.begin())];
        if (!same_type(argument.arg_type, declared.arguments[i].arg_type)) {
            return argument_path(type, own, argument) + " has type " + quoted(argument.arg_type.to_sdl_string()) +
                   ", which does not match type " + quoted(declared.arguments[i].arg_type.to_sdl_string()) + " " +
                   by_interface();
        }
    }
    for (std::size_t i = 0; i < own.arguments.size(); ++i) {
        const std::string& name = field.argument_names[i];
        if (prints_as_required(own.arguments[i]) &&
            std::find(interface_field.argument_names.begin(), interface_field.argument_names.end(), name) ==
                interface_field.argument_names.end()) {
            return field_path(type, own) + " adds required argument " + quoted(own.arguments[i].name) +
                   " not declared by interface " + quoted(interface.name);
        }
    }
    return std::nullopt;
}

std::optional<std::string> check_implementations_as_printed(const SchemaReading& reading) {
    for (const auto& [key, printed] : reading.types) {
        const TypeDefinition& type = *printed.type;
        for (std::size_t i = 0; i < type.interfaces.size(); ++i) {
            const std::string& interface_name = type.interfaces[i];
            if (interface_name == type.name) return "interface " + quoted(type.name) + " implements itself";
            if (std::find(type.interfaces.begin(), type.interfaces.begin() + static_cast<std::ptrdiff_t>(i),
                          interface_name) != type.interfaces.begin() + static_cast<std::ptrdiff_t>(i)) {
                return quoted(type.name) + " implements interface " + quoted(interface_name) + " more than once";
            }
            // Pass 5 made every name an interface the SDL prints.
            const PrintedType& interface = reading.types.find(interface_name)->second;
            for (const std::string& ancestor : interface.type->interfaces) {
                if (ancestor != type.name &&
                    std::find(type.interfaces.begin(), type.interfaces.end(), ancestor) == type.interfaces.end()) {
                    return quoted(type.name) + " implements interface " + quoted(interface_name) +
                           " but not interface " + quoted(ancestor) + ", which " + quoted(interface_name) +
                           " implements";
                }
            }
            for (const PrintedField& interface_field : interface.fields) {
                const PrintedField* field = printed.find(interface_field.name);
                if (field == nullptr) {
                    return quoted(type.name) + " does not implement field " + quoted(interface_field.name) +
                           " declared by interface " + quoted(interface_name);
                }
                if (auto message = check_field_implements(reading, type, *field, *interface.type, interface_field)) {
                    return message;
                }
            }
        }
    }
    return std::nullopt;
}

// ---- Pass 8: input rules ---------------------------------------------------------

// `path()` is called only for a message.
template <class Path>
std::optional<std::string> check_required_not_deprecated(Path path, bool required,
                                                         const std::optional<std::string>& deprecation_reason) {
    if (required && deprecation_reason) return path() + " is required and cannot be deprecated";
    return std::nullopt;
}

// The first input object type that holds itself through non-null fields of
// input object types, walking from each type in name order: such a value
// could never be written down.
std::optional<std::string> check_input_cycles(const SchemaReading& reading) {
    struct Step {
        const PrintedType* type;
        std::size_t next_field = 0;
    };
    std::set<std::string_view, std::less<>> done;
    std::vector<Step> path;
    std::map<std::string_view, std::size_t, std::less<>> on_path;  // type name -> index in `path`
    for (const auto& [key, start] : reading.types) {
        if (start.type->kind != TypeKind::InputObject || done.contains(key)) continue;
        path.push_back({&start});
        on_path.emplace(key, 0);
        while (!path.empty()) {
            Step& step = path.back();
            if (step.next_field == step.type->fields.size()) {
                on_path.erase(step.type->type->name);
                done.insert(step.type->type->name);
                path.pop_back();
                continue;
            }
            const FieldDefinition& field = *step.type->fields[step.next_field++].field;
            const GraphQLType* inner = field.field_type.is_non_null() ? field.field_type.inner.get() : nullptr;
            if (inner == nullptr || inner->kind != GraphQLType::Kind::Named) continue;
            const std::string& target = inner->name;
            auto next = reading.types.find(target);
            if (next == reading.types.end() || next->second.type->kind != TypeKind::InputObject) continue;
            if (auto cycle = on_path.find(target); cycle != on_path.end()) {
                std::string fields;
                for (std::size_t i = cycle->second; i < path.size(); ++i) {
                    if (!fields.empty()) fields.append(", ");
                    const PrintedType& at = *path[i].type;
                    fields.append(field_path(*at.type, *at.fields[path[i].next_field - 1].field));
                }
                return "input object type " + quoted(target) + " holds itself through the non-null fields " + fields +
                       ", so no value of it can be written";
            }
            if (done.contains(target)) continue;
            on_path.emplace(next->first, path.size());
            path.push_back({&next->second});
        }
    }
    return std::nullopt;
}

std::optional<std::string> check_input_rules(const SchemaReading& reading) {
    for (const auto& [key, printed] : reading.types) {
        const TypeDefinition& type = *printed.type;
        for (const PrintedField& printed_field : printed.fields) {
            const FieldDefinition& field = *printed_field.field;
            if (type.kind == TypeKind::InputObject) {
                if (type.one_of && field.field_type.is_non_null()) {
                    return field_path(type, field) + " is non-null, but the fields of one-of input object type " +
                           quoted(type.name) + " must be nullable";
                }
                if (type.one_of && field.default_value) {
                    return field_path(type, field) + " has a default value, which the fields of one-of input " +
                           "object type " + quoted(type.name) + " cannot have";
                }
                if (auto message = check_required_not_deprecated(
                        [&] { return field_path(type, field); }, field.field_type.is_non_null() && !field.default_value,
                        field.deprecation_reason)) {
                    return message;
                }
                continue;
            }
            for (const ArgumentDefinition& argument : field.arguments) {
                if (auto message = check_required_not_deprecated([&] { return argument_path(type, field, argument); },
                                                                 prints_as_required(argument),
                                                                 argument.deprecation_reason)) {
                    return message;
                }
            }
        }
    }
    for (const auto& entry : reading.schema.directives) {
        const auto& directive = entry.second;  // a lambda below captures it
        for (const ArgumentDefinition& argument : directive.arguments) {
            if (auto message = check_required_not_deprecated(
                    [&] { return directive_argument_path(directive.name, argument.name); },
                    prints_as_required(argument), argument.deprecation_reason)) {
                return message;
            }
        }
    }
    return check_input_cycles(reading);
}

// ---- Pass 9: applied directives ----------------------------------------------------

// The field of `directive` that an applied argument's key stands for: by its
// explicit GraphQL name first, then by its Python name, as the SDL finds it.
const DirectiveFieldDefinition* field_for_key(const SchemaDirectiveDefinition& directive, std::string_view key) {
    for (const DirectiveFieldDefinition& field : directive.fields) {
        if (field.graphql_name && *field.graphql_name == key) return &field;
    }
    for (const DirectiveFieldDefinition& field : directive.fields) {
        if (field.name == key) return &field;
    }
    return nullptr;
}

// The directives applied to one element: each registered, allowed at
// `location`, not repeated unless repeatable, given exactly the arguments
// its definition declares, the non-null ones included. `target` is quoted.
std::optional<std::string> check_applied(const CompiledSchema& schema, const std::vector<AppliedDirective>& applied,
                                         SchemaDirectiveLocation location, const std::string& target) {
    for (std::size_t i = 0; i < applied.size(); ++i) {
        const AppliedDirective& use = applied[i];
        const std::string shown = quoted("@" + use.name);
        auto found = schema.schema_directives.find(use.name);
        if (found == schema.schema_directives.end()) {
            return "directive " + shown + " applied to " + target + " is not a registered schema directive";
        }
        const SchemaDirectiveDefinition& directive = found->second;
        if (std::find(directive.locations.begin(), directive.locations.end(), location) == directive.locations.end()) {
            std::string declared;
            for (SchemaDirectiveLocation allowed : directive.locations) {
                if (!declared.empty()) declared.append(", ");
                declared.append(schema_directive_location_name(allowed));
            }
            return "directive " + shown + " cannot be applied to " + target + " (" +
                   std::string(schema_directive_location_name(location)) + "); declared locations: " + declared;
        }
        if (!directive.repeatable) {
            for (std::size_t j = 0; j < i; ++j) {
                if (applied[j].name == use.name) {
                    return "directive " + shown + " is applied to " + target +
                           " more than once, but it is not repeatable";
                }
            }
        }
        std::vector<const DirectiveFieldDefinition*> given;
        for (const auto& [key, value] : use.arguments) {
            const DirectiveFieldDefinition* field = field_for_key(directive, key);
            if (field == nullptr) {
                return "directive " + shown + " applied to " + target + " has argument " + quoted(key) + ", which " +
                       shown + " does not declare";
            }
            given.push_back(field);
        }
        for (const DirectiveFieldDefinition& field : directive.fields) {
            if (field.field_type.is_non_null() && std::find(given.begin(), given.end(), &field) == given.end()) {
                return "directive " + shown + " applied to " + target + " lacks argument " +
                       quoted(graphql_name_of(field.graphql_name, field.name, schema.auto_camel_case)) +
                       ", which is required";
            }
        }
    }
    return std::nullopt;
}

SchemaDirectiveLocation type_location(TypeKind kind) {
    switch (kind) {
        case TypeKind::Object: return SchemaDirectiveLocation::Object;
        case TypeKind::Interface: return SchemaDirectiveLocation::Interface;
        case TypeKind::InputObject: return SchemaDirectiveLocation::InputObject;
        case TypeKind::Enum: return SchemaDirectiveLocation::Enum;
    }
    return SchemaDirectiveLocation::Object;
}

std::optional<std::string> check_applied_directives(const SchemaReading& reading) {
    const CompiledSchema& schema = reading.schema;
    if (auto message = check_applied(schema, schema.schema_applied_directives, SchemaDirectiveLocation::Schema,
                                     quoted("schema"))) {
        return message;
    }
    for (const auto& [key, printed] : reading.types) {
        const TypeDefinition& type = *printed.type;
        if (auto message = check_applied(schema, type.directives, type_location(type.kind), quoted(type.name))) {
            return message;
        }
        if (type.kind == TypeKind::Enum) {
            for (const EnumValueDefinition& value : type.enum_values) {
                if (auto message = check_applied(schema, value.directives, SchemaDirectiveLocation::EnumValue,
                                                 quoted(type.name + "." + value.name))) {
                    return message;
                }
            }
        }
        const SchemaDirectiveLocation field_location = type.kind == TypeKind::InputObject
                                                           ? SchemaDirectiveLocation::InputFieldDefinition
                                                           : SchemaDirectiveLocation::FieldDefinition;
        for (const PrintedField& printed_field : printed.fields) {
            const FieldDefinition& field = *printed_field.field;
            if (auto message = check_applied(schema, field.directives, field_location, field_path(type, field))) {
                return message;
            }
            for (const ArgumentDefinition& argument : field.arguments) {
                if (auto message = check_applied(schema, argument.directives,
                                                 SchemaDirectiveLocation::ArgumentDefinition,
                                                 argument_path(type, field, argument))) {
                    return message;
                }
            }
        }
    }
    for (const std::string& name : schema.scalar_names) {
        if (auto it = schema.scalar_directives.find(name); it != schema.scalar_directives.end()) {
            if (auto message = check_applied(schema, it->second, SchemaDirectiveLocation::Scalar, quoted(name))) {
                return message;
            }
        }
    }
    for (const auto& [key, directive] : schema.directives) {
        for (const ArgumentDefinition& argument : directive.arguments) {
            if (auto message = check_applied(schema, argument.directives, SchemaDirectiveLocation::ArgumentDefinition,
                                             directive_argument_path(directive.name, argument.name))) {
                return message;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> validate_schema_shape(const CompiledSchema& schema) {
    if (auto message = validate_schema_shape(schema.types, schema.unions, schema.scalar_names)) return message;
    const SchemaReading reading = read_schema(schema);
    if (auto message = check_names(reading)) return message;
    if (auto message = check_references(reading)) return message;
    if (auto message = check_nothing_printed(reading)) return message;
    if (auto message = check_implementations_as_printed(reading)) return message;
    if (auto message = check_input_rules(reading)) return message;
    return check_applied_directives(reading);
}

}  // namespace dovrane_core::schema
