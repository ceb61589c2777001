#include "dovrane_core/schema.hpp"

#include <array>
#include <vector>

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

}  // namespace dovrane_core::schema
