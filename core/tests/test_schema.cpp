#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"

using namespace dovrane_core::schema;
using namespace dovrane_core::test_support;

namespace {

using NameSet = std::set<std::string, std::less<>>;

UnionMap one_union(const char* name, std::vector<std::string> members) {
    UnionMap unions;
    unions.emplace(name, union_type(name, std::move(members)));
    return unions;
}

// Node with a String! field and an Item implementing it; tests vary Item.
TypeMap interface_fixture(FieldDefinition item_field) {
    TypeMap types;
    add(types, type(TypeKind::Interface, "Node", {field("id", non_null(named("String")))}));
    TypeDefinition item = type(TypeKind::Object, "Item", {std::move(item_field)});
    item.interfaces = {"Node"};
    add(types, std::move(item));
    return types;
}

}  // namespace

TEST(GraphQLType, SdlText) {
    EXPECT_EQ(named("String").to_sdl_string(), "String");
    EXPECT_EQ(non_null(list(named("String"))).to_sdl_string(), "[String]!");
    EXPECT_EQ(list(non_null(named("String"))).to_sdl_string(), "[String!]");
    EXPECT_EQ(non_null(list(non_null(named("Int")))).to_sdl_string(), "[Int!]!");
    EXPECT_EQ(list(list(named("String"))).to_sdl_string(), "[[String]]");
    EXPECT_EQ(non_null(list(non_null(named("Int")))).named_type(), "Int");
}

TEST(GraphQLType, CopyIsDeep) {
    GraphQLType original = non_null(list(named("Int")));
    GraphQLType copy = original;
    original.inner->inner->name = "Float";
    original.inner->kind = GraphQLType::Kind::NonNull;
    EXPECT_EQ(copy.to_sdl_string(), "[Int]!");
    EXPECT_NE(copy.inner.get(), original.inner.get());

    GraphQLType assigned = named("X");
    assigned = copy;
    EXPECT_EQ(assigned.to_sdl_string(), "[Int]!");
    assigned = assigned;  // self-assignment keeps the value
    EXPECT_EQ(assigned.to_sdl_string(), "[Int]!");

    // Records copy their types deeply too.
    FieldDefinition f = field("f", list(named("A")));
    FieldDefinition g = f;
    f.field_type.inner->name = "B";
    EXPECT_EQ(g.field_type.to_sdl_string(), "[A]");
}

TEST(GraphQLType, LongChainsCopyPrintAndDestroyWithoutRecursion) {
    constexpr int depth = 1'000'000;
    GraphQLType type = named("Int");
    for (int i = 0; i < depth; ++i) type = (i % 2 == 0) ? list(std::move(type)) : non_null(std::move(type));
    GraphQLType copy = type;
    const std::string text = copy.to_sdl_string();
    EXPECT_EQ(text.size(), 3 + depth + depth / 2);
    EXPECT_EQ(copy.named_type(), "Int");
}

TEST(ArgumentDefinition, RequiredMeansNonNullWithoutDefault) {
    EXPECT_TRUE(argument("a", non_null(named("Int"))).is_required());
    EXPECT_FALSE(argument("a", named("Int")).is_required());
    EXPECT_FALSE(argument("a", non_null(named("Int")), true).is_required());
    // has_default without a stored literal still makes it optional.
    ArgumentDefinition no_literal = argument("a", non_null(named("Int")), true);
    no_literal.default_value.reset();
    EXPECT_FALSE(no_literal.is_required());
    EXPECT_FALSE(argument("a", list(non_null(named("Int")))).is_required());
}

TEST(Naming, GraphQLNameRule) {
    EXPECT_EQ(graphql_name_of(std::nullopt, "first_name", true), "firstName");
    EXPECT_EQ(graphql_name_of(std::nullopt, "first_name", false), "first_name");
    EXPECT_EQ(graphql_name_of(std::nullopt, "__x", true), "X");
    EXPECT_EQ(graphql_name_of(std::nullopt, "__x", false), "__x");
    EXPECT_EQ(graphql_name_of(std::string("given"), "first_name", true), "given");
    EXPECT_EQ(graphql_name_of(std::string(""), "first_name", true), "");
    EXPECT_EQ(graphql_name_of(std::string(""), "first_name", false), "");

    EnumValueDefinition value;
    value.name = "DARK_MODE";
    EXPECT_EQ(value.graphql_name_or_name(), "DARK_MODE");
    value.graphql_name = "dark";
    EXPECT_EQ(value.graphql_name_or_name(), "dark");
}

TEST(Locations, WireNamesRoundTripExactly) {
    EXPECT_EQ(schema_directive_location_name(SchemaDirectiveLocation::Schema), "SCHEMA");
    EXPECT_EQ(schema_directive_location_name(SchemaDirectiveLocation::InputFieldDefinition), "INPUT_FIELD_DEFINITION");
    EXPECT_EQ(operation_directive_location_name(OperationDirectiveLocation::Query), "QUERY");
    EXPECT_EQ(operation_directive_location_name(OperationDirectiveLocation::InlineFragment), "INLINE_FRAGMENT");
    for (std::size_t i = 0; i < schema_directive_location_count; ++i) {
        const auto location = static_cast<SchemaDirectiveLocation>(i);
        EXPECT_EQ(parse_schema_directive_location(schema_directive_location_name(location)), location);
    }
    for (std::size_t i = 0; i < operation_directive_location_count; ++i) {
        const auto location = static_cast<OperationDirectiveLocation>(i);
        EXPECT_EQ(parse_operation_directive_location(operation_directive_location_name(location)), location);
    }
    EXPECT_EQ(parse_schema_directive_location("object"), std::nullopt);
    EXPECT_EQ(parse_schema_directive_location("OBJECT "), std::nullopt);
    EXPECT_EQ(parse_schema_directive_location(""), std::nullopt);
    EXPECT_EQ(parse_operation_directive_location("VARIABLE_DEFINITION"), std::nullopt);
    EXPECT_EQ(type_kind_keyword(TypeKind::InputObject), "input");
    EXPECT_EQ(type_kind_keyword(TypeKind::Enum), "enum");
}

TEST(CompiledSchema, IsMoveOnlyAndOwnsItsCache) {
    static_assert(!std::is_copy_constructible_v<CompiledSchema>);
    static_assert(std::is_nothrow_move_constructible_v<CompiledSchema>);
    CompiledSchema schema;
    EXPECT_TRUE(schema.auto_camel_case);
    ASSERT_NE(schema.persisted_query_cache, nullptr);
    auto* cache = schema.persisted_query_cache.get();
    CompiledSchema moved = std::move(schema);
    EXPECT_EQ(moved.persisted_query_cache.get(), cache);
}

TEST(ReferencedTypeNames, FieldAndArgumentTypesOnly) {
    TypeMap types;
    FieldDefinition f = field("dates", non_null(list(non_null(named("Date")))));
    f.arguments.push_back(argument("id", named("ID")));
    TypeDefinition query = type(TypeKind::Object, "Query", {std::move(f)});
    query.interfaces = {"Node"};  // interfaces do not count
    add(types, std::move(query));
    add(types, enum_type("Color", {"RED"}));
    EXPECT_EQ(referenced_type_names(types), (NameSet{"Date", "ID"}));
    EXPECT_TRUE(referenced_type_names({}).empty());
}

TEST(SchemaShape, EmptyMapsPass) { EXPECT_EQ(validate_schema_shape({}, {}, {}), std::nullopt); }

TEST(SchemaShape, EmptyTypes) {
    struct Case {
        TypeKind kind;
        const char* message;
    };
    const Case cases[] = {
        {TypeKind::Object, "object type 'T' defines no fields, but the GraphQL specification requires one or more"},
        {TypeKind::Interface, "interface 'T' defines no fields, but the GraphQL specification requires one or more"},
        {TypeKind::InputObject,
         "input object type 'T' defines no fields, but the GraphQL specification requires one or more"},
        {TypeKind::Enum, "enum 'T' defines no values, but the GraphQL specification requires one or more"},
    };
    for (const Case& c : cases) {
        TypeMap types;
        add(types, type(c.kind, "T"));
        EXPECT_EQ(validate_schema_shape(types, {}, {}), c.message);
    }

    // An object with enum values but no fields is still empty; an enum with fields but no values too.
    TypeMap types;
    TypeDefinition object = enum_type("T", {"A"});
    object.kind = TypeKind::Object;
    add(types, std::move(object));
    EXPECT_NE(validate_schema_shape(types, {}, {}), std::nullopt);

    // The first in byte order is reported.
    TypeMap two;
    add(two, type(TypeKind::Object, "B"));
    add(two, type(TypeKind::Object, "a"));
    add(two, type(TypeKind::Object, "A"));
    EXPECT_EQ(validate_schema_shape(two, {}, {}),
              "object type 'A' defines no fields, but the GraphQL specification requires one or more");
}

TEST(SchemaShape, ImplementedInterfaceMustBeRegistered) {
    TypeMap types = interface_fixture(field("id", non_null(named("String"))));
    types.at("Item").interfaces = {"Node", "Missing"};
    const auto scalar_and_union = one_union("Missing", {"Item"});
    EXPECT_EQ(validate_schema_shape(types, scalar_and_union, {"Missing"}),
              "'Item' implements interface 'Missing', which is not a registered type");
}

TEST(SchemaShape, ImplementationsMatchInterfaceFields) {
    // Matched by Python name; same GraphQL name is not enough.
    FieldDefinition renamed = field("ident", non_null(named("String")));
    renamed.graphql_name = "id";
    EXPECT_EQ(validate_schema_shape(interface_fixture(std::move(renamed)), {}, {}),
              "'Item' does not implement field 'id' declared by interface 'Node'");
    EXPECT_EQ(validate_schema_shape(interface_fixture(field("ID", non_null(named("String")))), {}, {}),
              "'Item' does not implement field 'id' declared by interface 'Node'");

    // Only the outermost nullability is compared.
    EXPECT_EQ(validate_schema_shape(interface_fixture(field("id", non_null(list(named("Int"))))), {}, {}),
              std::nullopt);
    EXPECT_EQ(validate_schema_shape(interface_fixture(field("id", named("String"))), {}, {}),
              "'Item.id' is nullable, but interface 'Node' declares it as non-null");
}

TEST(SchemaShape, ImplementationsAddNoRequiredArguments) {
    const auto with_argument = [](ArgumentDefinition a) {
        FieldDefinition f = field("id", non_null(named("String")));
        f.arguments.push_back(std::move(a));
        return validate_schema_shape(interface_fixture(std::move(f)), {}, {});
    };
    EXPECT_EQ(with_argument(argument("limit", non_null(named("Int")))),
              "'Item.id' adds required argument 'limit' not declared by interface 'Node'");
    EXPECT_EQ(with_argument(argument("limit", non_null(named("Int")), true)), std::nullopt);
    EXPECT_EQ(with_argument(argument("limit", named("Int"))), std::nullopt);

    // Declared by the interface (by name, whatever its type): accepted.
    TypeMap types = interface_fixture(field("id", non_null(named("String"))));
    types.at("Node").fields[0].arguments.push_back(argument("limit", named("String")));
    types.at("Item").fields[0].arguments.push_back(argument("limit", non_null(named("Int"))));
    EXPECT_EQ(validate_schema_shape(types, {}, {}), std::nullopt);
}

TEST(SchemaShape, AnyRegisteredTypeServesAsInterface) {
    // An enum has no fields to demand.
    TypeMap types;
    add(types, enum_type("Color", {"RED"}));
    TypeDefinition item = type(TypeKind::Object, "Item", {field("x", named("Int"))});
    item.interfaces = {"Color"};
    add(types, std::move(item));
    EXPECT_EQ(validate_schema_shape(types, {}, {}), std::nullopt);
}

TEST(SchemaShape, UnionMembersMustBeRegistered) {
    TypeMap types;
    add(types, type(TypeKind::Object, "Cat", {field("name", named("String"))}));
    EXPECT_EQ(validate_schema_shape(types, one_union("Pet", {"Cat"}), {}), std::nullopt);
    EXPECT_EQ(validate_schema_shape(types, one_union("Pet", {"Cat", "Date"}), {"Date"}), std::nullopt);
    EXPECT_EQ(validate_schema_shape(types, one_union("Pet", {"Cat", "Dog"}), {}),
              "union 'Pet' has member 'Dog', which is not a registered type");
    // Another union is not a registered type.
    UnionMap unions = one_union("Pet", {"Other"});
    unions.emplace("Other", UnionDefinition{"Other", std::nullopt, {"Cat"}, false});
    EXPECT_EQ(validate_schema_shape(types, unions, {}),
              "union 'Pet' has member 'Other', which is not a registered type");
}

TEST(SchemaShape, PassesRunInOrder) {
    // An empty type is reported before a bad implementation or a bad union member.
    TypeMap types = interface_fixture(field("other", named("Int")));
    add(types, type(TypeKind::Object, "Zed"));
    EXPECT_EQ(validate_schema_shape(types, one_union("U", {"Nope"}), {}),
              "object type 'Zed' defines no fields, but the GraphQL specification requires one or more");
    types.erase("Zed");
    EXPECT_EQ(validate_schema_shape(types, one_union("U", {"Nope"}), {}),
              "'Item' does not implement field 'id' declared by interface 'Node'");
}
