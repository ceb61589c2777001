#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
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

// A library scalar joins the schema's scalars with its description wherever a
// field, an argument or a directive names it, unless a type or a union has its
// name; one the caller registered keeps the caller's description.
TEST(LibraryScalars, AddedWhereReferenced) {
    using Texts = std::map<std::string, std::string, std::less<>>;
    CompiledSchema schema;
    add(schema,
        type(TypeKind::Object, "Query", {field("when", "Date!", {argument("at", "[Time]")}), field("id", "UUID")}));
    add(schema, type(TypeKind::Object, "UUID", {field("hex", "String")}));
    add_directive(schema, "since", {OperationDirectiveLocation::Field}, {argument("day", "DateTime")});
    SchemaDirectiveDefinition tag;
    tag.name = "tag";
    tag.fields.push_back({"amount", std::nullopt, named("Decimal")});
    schema.schema_directives.emplace("tag", std::move(tag));
    schema.scalar_names.insert("Time");
    schema.scalar_descriptions.emplace("Time", "Ours");
    add_library_scalars(schema);
    EXPECT_EQ(schema.scalar_names, (NameSet{"Date", "DateTime", "Decimal", "Time"}));
    EXPECT_EQ(schema.scalar_descriptions, (Texts{{"Date", "Date (isoformat)"},
                                                 {"DateTime", "Date with time (isoformat)"},
                                                 {"Decimal", "Decimal (fixed-point)"},
                                                 {"Time", "Ours"}}));

    CompiledSchema unreferenced;
    add(unreferenced, type(TypeKind::Object, "Query", {field("when", "Date"), field("id", "ID")}));
    add(unreferenced, union_type("Date", {"Query"}));
    unreferenced.scalar_names.insert("UUID");
    add_library_scalars(unreferenced);
    EXPECT_EQ(unreferenced.scalar_names, (NameSet{"UUID"}));
    EXPECT_TRUE(unreferenced.scalar_descriptions.empty());
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

// ---- What GraphQL forbids, read as the SDL prints it ---------------------------

namespace {

using dovrane_core::json::Value;
using Loc = SchemaDirectiveLocation;
using OpLoc = OperationDirectiveLocation;

// type Query { hello: String }: every case changes it once.
CompiledSchema base_schema() { return hello_schema(); }

FieldDefinition named_field(std::string name, std::string graphql_name, TypeRef type_ref) {
    FieldDefinition definition = field(std::move(name), std::move(type_ref));
    definition.graphql_name = std::move(graphql_name);
    return definition;
}

ArgumentDefinition named_argument(std::string name, std::string graphql_name, TypeRef type_ref) {
    ArgumentDefinition definition = argument(std::move(name), std::move(type_ref));
    definition.graphql_name = std::move(graphql_name);
    return definition;
}

DirectiveFieldDefinition directive_field(std::string name, TypeRef type_ref) {
    DirectiveFieldDefinition definition;
    definition.name = std::move(name);
    definition.field_type = std::move(type_ref.type);
    return definition;
}

void add_schema_directive(CompiledSchema& schema, std::string name, std::vector<Loc> locations,
                          std::vector<DirectiveFieldDefinition> fields = {}, bool repeatable = false) {
    SchemaDirectiveDefinition directive;
    directive.name = name;
    directive.locations = std::move(locations);
    directive.fields = std::move(fields);
    directive.repeatable = repeatable;
    schema.schema_directives.emplace(std::move(name), std::move(directive));
}

AppliedDirective applied(std::string name, std::vector<std::pair<std::string, Value>> arguments = {}) {
    return AppliedDirective{std::move(name), std::move(arguments)};
}

TypeDefinition& query(CompiledSchema& schema) { return schema.types.at("Query"); }
FieldDefinition& hello(CompiledSchema& schema) { return query(schema).fields.at(0); }

// Node { id: String! } and Item implementing it; cases vary either.
void add_node_and_item(CompiledSchema& schema) {
    add(schema, type(TypeKind::Interface, "Node", {field("id", "String!")}));
    add(schema, type(TypeKind::Object, "Item", {field("id", "String!")}, {"Node"}));
}

struct RuleCase {
    const char* what;
    std::function<void(CompiledSchema&)> change;
    std::optional<std::string> message;
};

void expect_cases(const std::vector<RuleCase>& cases) {
    for (const RuleCase& c : cases) {
        CompiledSchema schema = base_schema();
        c.change(schema);
        EXPECT_EQ(validate_schema_shape(schema), c.message) << c.what;
    }
}

}  // namespace

TEST(SchemaRules, TheBaseSchemaAndTheFixturesPass) {
    EXPECT_EQ(validate_schema_shape(base_schema()), std::nullopt);
    EXPECT_EQ(validate_schema_shape(hello_schema()), std::nullopt);
    EXPECT_EQ(validate_schema_shape(dashboard_schema()), std::nullopt);
}

TEST(SchemaRules, PrintedNamesAreGraphQLNames) {
    expect_cases({
        {"type", [](CompiledSchema& s) { add(s, type(TypeKind::Object, "Caf\u00e9", {field("a", "Int")})); },
         "object type name 'Caf\u00e9' is not a GraphQL name"},
        {"empty interface name", [](CompiledSchema& s) { add(s, type(TypeKind::Interface, "", {field("a", "Int")})); },
         "interface name '' is not a GraphQL name"},
        {"explicit field name", [](CompiledSchema& s) { hello(s).graphql_name = "has space"; },
         "field 'Query.hello' is named 'has space', which is not a GraphQL name"},
        {"camel-cased input field",
         [](CompiledSchema& s) { add(s, type(TypeKind::InputObject, "In", {field("first-name", "Int")})); },
         "input field 'In.first-name' is named 'first-name', which is not a GraphQL name"},
        {"argument", [](CompiledSchema& s) { hello(s).arguments.push_back(argument("1st", "Int")); },
         "argument 'Query.hello(1st)' is named '1st', which is not a GraphQL name"},
        {"argument starting with __",
         [](CompiledSchema& s) { hello(s).arguments.push_back(named_argument("x", "__x", "Int")); },
         "argument 'Query.hello(x)' is named '__x', which starts with '__', reserved for introspection"},
        {"enum value", [](CompiledSchema& s) { add(s, enum_type("E", {"A", "a b"})); },
         "enum value 'E.a b' is named 'a b', which is not a GraphQL name"},
        {"enum value starting with __", [](CompiledSchema& s) { add(s, enum_type("E", {"__V"})); },
         "enum value 'E.__V' is named '__V', which starts with '__', reserved for introspection"},
        {"union", [](CompiledSchema& s) { add(s, union_type("U-1", {"Query"})); },
         "union name 'U-1' is not a GraphQL name"},
        {"union starting with __", [](CompiledSchema& s) { add(s, union_type("__U", {"Query"})); },
         "union name '__U' starts with '__', reserved for introspection"},
        {"scalar", [](CompiledSchema& s) { s.scalar_names.insert("Money$"); },
         "scalar name 'Money$' is not a GraphQL name"},
        {"operation directive", [](CompiledSchema& s) { add_directive(s, "has space", {OpLoc::Field}); },
         "directive name '@has space' is not a GraphQL name"},
        {"operation directive argument",
         [](CompiledSchema& s) { add_directive(s, "d", {OpLoc::Field}, {named_argument("x", "bad name", "Int")}); },
         "argument '@d(x)' is named 'bad name', which is not a GraphQL name"},
        {"schema directive field",
         [](CompiledSchema& s) {
             add_schema_directive(s, "tag", {Loc::Object}, {directive_field("__x", "Int")});
             s.auto_camel_case = false;
         },
         "argument '@tag(__x)' is named '__x', which starts with '__', reserved for introspection"},
        {"camel-casing makes a __ name printable", [](CompiledSchema& s) { hello(s).name = "__hello"; }, std::nullopt},
        {"a type left out of the SDL is not read",
         [](CompiledSchema& s) { add(s, type(TypeKind::Object, "__Bad name", {field("a b", "Nope")})); },
         std::nullopt},
        {"a field left out of the SDL is not read",
         [](CompiledSchema& s) { query(s).fields.push_back(named_field("x", "__bad name", "Nope")); },
         std::nullopt},
    });
}

TEST(SchemaRules, EnumValuesAreNotTrueFalseOrNull) {
    for (const char* name : {"true", "false", "null"}) {
        CompiledSchema schema = base_schema();
        TypeDefinition e = enum_type("E", {"A"});
        e.enum_values[0].graphql_name = name;
        add(schema, std::move(e));
        EXPECT_EQ(validate_schema_shape(schema),
                  "enum value 'E.A' is named '" + std::string(name) + "', which cannot name an enum value");
    }
    CompiledSchema schema = base_schema();
    add(schema, enum_type("E", {"True", "NULL"}));
    EXPECT_EQ(validate_schema_shape(schema), std::nullopt);
}

TEST(SchemaRules, NamesAreDistinct) {
    expect_cases({
        {"fields after camel-casing",
         [](CompiledSchema& s) {
             query(s).fields = {field("first_name", "Int"), field("firstName", "Int")};
         },
         "fields 'Query.first_name' and 'Query.firstName' are both named 'firstName'"},
        {"many fields, the twins far apart",
         [](CompiledSchema& s) {
             auto& fields = query(s).fields;
             for (int i = 0; i < 40; ++i) fields.push_back(field("f" + std::to_string(i), "Int"));
             fields.push_back(field("f_3", "Int"));
             fields.push_back(field("f_1", "Int"));
         },
         "fields 'Query.f3' and 'Query.f_3' are both named 'f3'"},
        {"many distinct fields",
         [](CompiledSchema& s) {
             for (int i = 0; i < 40; ++i) query(s).fields.push_back(field("f" + std::to_string(i), "Int"));
         },
         std::nullopt},
        {"the same fields without camel-casing",
         [](CompiledSchema& s) {
             query(s).fields = {field("first_name", "Int"), field("firstName", "Int")};
             s.auto_camel_case = false;
         },
         std::nullopt},
        {"arguments",
         [](CompiledSchema& s) { hello(s).arguments = {argument("x", "Int"), named_argument("y", "x", "Int")}; },
         "arguments 'Query.hello(x)' and 'Query.hello(y)' are both named 'x'"},
        {"enum values",
         [](CompiledSchema& s) {
             TypeDefinition e = enum_type("E", {"A", "B"});
             e.enum_values[1].graphql_name = "A";
             add(s, std::move(e));
         },
         "enum values 'E.A' and 'E.B' are both named 'A'"},
        {"directive fields",
         [](CompiledSchema& s) {
             add_schema_directive(s, "tag", {Loc::Object}, {directive_field("a_b", "Int"), directive_field("aB", "Int")});
         },
         "arguments '@tag(a_b)' and '@tag(aB)' are both named 'aB'"},
        {"a type named like a built-in scalar",
         [](CompiledSchema& s) { add(s, type(TypeKind::Object, "String", {field("a", "Int")})); },
         "'String' names both an object type and a built-in scalar"},
        {"a type and a union",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::Object, "X", {field("a", "Int")}));
             add(s, union_type("X", {"Query"}));
         },
         "'X' names both an object type and a union"},
        {"a union and a scalar",
         [](CompiledSchema& s) {
             add(s, union_type("X", {"Query"}));
             s.scalar_names.insert("X");
         },
         "'X' names both a union and a scalar"},
        {"an enum and a scalar",
         [](CompiledSchema& s) {
             add(s, enum_type("X", {"A"}));
             s.scalar_names.insert("X");
         },
         "'X' names both an enum and a scalar"},
        {"a registered standard scalar is that scalar", [](CompiledSchema& s) { s.scalar_names.insert("String"); },
         std::nullopt},
        {"an operation and a schema directive",
         [](CompiledSchema& s) {
             add_directive(s, "d", {OpLoc::Field});
             add_schema_directive(s, "d", {Loc::Object});
         },
         "'@d' names both an operation directive and a schema directive"},
    });
}

TEST(SchemaRules, ReferencesNameRegisteredTypesOfTheRightKind) {
    expect_cases({
        {"query root", [](CompiledSchema& s) { s.query_type_name = "Nope"; },
         "the query root type is 'Nope', which is not a registered type"},
        {"mutation root of another kind",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::InputObject, "In", {field("a", "Int")}));
             s.mutation_type_name = "In";
         },
         "the mutation root type is 'In', which is an input object type, not an object type"},
        {"subscription root left out",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::Object, "__Sub", {field("a", "Int")}));
             s.subscription_type_name = "__Sub";
         },
         "the subscription root type is '__Sub', which the SDL leaves out (its name starts with '__')"},
        {"field", [](CompiledSchema& s) { hello(s).field_type = type_of("[ForwardRef('B')!]"); },
         "'Query.hello' has type 'ForwardRef('B')', which is not a registered type"},
        {"a library scalar counts only once registered", [](CompiledSchema& s) { hello(s).field_type = named("Date"); },
         "'Query.hello' has type 'Date', which is not a registered type"},
        {"built-in scalars need no registration",
         [](CompiledSchema& s) {
             query(s).fields = {field("a", "ID"), field("b", "Int!"), field("c", "[Float]"), field("d", "Boolean")};
         },
         std::nullopt},
        {"output field of an input type",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::InputObject, "In", {field("a", "Int")}));
             hello(s).field_type = named("In");
         },
         "'Query.hello' has type 'In', which is an input object type, not an output type"},
        {"argument of an object type", [](CompiledSchema& s) { hello(s).arguments = {argument("x", "Query")}; },
         "'Query.hello(x)' has type 'Query', which is an object type, not an input type"},
        {"input field of a union",
         [](CompiledSchema& s) {
             add(s, union_type("U", {"Query"}));
             add(s, type(TypeKind::InputObject, "In", {field("u", "U")}));
         },
         "'In.u' has type 'U', which is a union, not an input type"},
        {"operation directive argument",
         [](CompiledSchema& s) {
             add_node_and_item(s);
             add_directive(s, "d", {OpLoc::Field}, {argument("x", "Node")});
         },
         "'@d(x)' has type 'Node', which is an interface, not an input type"},
        {"schema directive field",
         [](CompiledSchema& s) { add_schema_directive(s, "tag", {Loc::Object}, {directive_field("other", "Undefined!")}); },
         "'@tag(other)' has type 'Undefined', which is not a registered type"},
        {"an interface that is an enum",
         [](CompiledSchema& s) {
             add(s, enum_type("Color", {"RED"}));
             query(s).interfaces = {"Color"};
         },
         "'Query' implements interface 'Color', which is an enum, not an interface"},
        {"an input type that implements",
         [](CompiledSchema& s) {
             add_node_and_item(s);
             add(s, type(TypeKind::InputObject, "In", {field("id", "String!")}, {"Node"}));
         },
         "input object type 'In' implements interface 'Node', but only object types and interfaces implement "
         "interfaces"},
        {"a union member that is a scalar",
         [](CompiledSchema& s) {
             s.scalar_names.insert("Money");
             add(s, union_type("U", {"Query", "Money"}));
         },
         "union 'U' has member 'Money', which is a scalar, not an object type"},
        {"inputs reach enums and scalars",
         [](CompiledSchema& s) {
             add(s, enum_type("E", {"A"}));
             s.scalar_names.insert("Money");
             add(s, type(TypeKind::InputObject, "In", {field("e", "E"), field("m", "[Money!]")}));
             hello(s).arguments = {argument("in", "In"), argument("e", "E")};
         },
         std::nullopt},
    });
}

TEST(SchemaRules, EveryElementHasSomethingToPrint) {
    expect_cases({
        {"every field left out",
         [](CompiledSchema& s) { add(s, type(TypeKind::Object, "X", {named_field("x", "__x", "Int")})); },
         "object type 'X' defines no fields the SDL prints (names starting with '__' are left out), but the GraphQL "
         "specification requires one or more"},
        {"every input field left out without camel-casing",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::InputObject, "In", {field("__x", "Int")}));
             s.auto_camel_case = false;
         },
         "input object type 'In' defines no fields the SDL prints (names starting with '__' are left out), but the "
         "GraphQL specification requires one or more"},
        {"union without members", [](CompiledSchema& s) { add(s, union_type("U", {})); },
         "union 'U' defines no members, but the GraphQL specification requires one or more"},
        {"operation directive without locations", [](CompiledSchema& s) { add_directive(s, "d", {}); },
         "directive '@d' defines no locations, but the GraphQL specification requires one or more"},
        {"schema directive without locations", [](CompiledSchema& s) { add_schema_directive(s, "tag", {}); },
         "directive '@tag' defines no locations, but the GraphQL specification requires one or more"},
    });
    // A type without any field stays pass 1's.
    CompiledSchema schema = base_schema();
    add(schema, type(TypeKind::Object, "X"));
    EXPECT_EQ(validate_schema_shape(schema),
              "object type 'X' defines no fields, but the GraphQL specification requires one or more");
}

TEST(SchemaRules, ImplementationsAsGraphQLReadsThem) {
    const auto item = [](CompiledSchema& s) -> TypeDefinition& { return s.types.at("Item"); };
    const auto node = [](CompiledSchema& s) -> TypeDefinition& { return s.types.at("Node"); };
    expect_cases({
        {"the fixture", [](CompiledSchema& s) { add_node_and_item(s); }, std::nullopt},
        {"same Python name, another GraphQL name",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             item(s).fields[0].graphql_name = "ident";
         },
         "'Item' does not implement field 'id' declared by interface 'Node'"},
        {"a field type that is no subtype",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             item(s).fields[0].field_type = type_of("[Int]!");
         },
         "'Item.id' has type '[Int]!', which does not match type 'String!' declared by interface 'Node'"},
        {"subtypes: non-null, implementations and union members",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             add(s, union_type("U", {"Item"}));
             node(s).fields.push_back(field("next", "Node"));
             node(s).fields.push_back(field("all", "[U]"));
             item(s).fields.push_back(field("next", "Item!"));
             item(s).fields.push_back(field("all", "[Item!]!"));
         },
         std::nullopt},
        {"a list where the interface has none",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             node(s).fields.push_back(field("next", "Node"));
             item(s).fields.push_back(field("next", "[Item]"));
         },
         "'Item.next' has type '[Item]', which does not match type 'Node' declared by interface 'Node'"},
        {"an argument of the interface missing",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             node(s).fields[0].arguments = {argument("x", "Int")};
         },
         "'Item.id' does not take argument 'x' declared by interface 'Node'"},
        {"an argument of another type",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             node(s).fields[0].arguments = {argument("x", "Int")};
             item(s).fields[0].arguments = {argument_with_default("x", "Int!", "1")};
         },
         "'Item.id(x)' has type 'Int!', which does not match type 'Int' declared by interface 'Node'"},
        {"an added argument that prints as required",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             item(s).fields[0].arguments = {argument("limit", "Int!", true)};  // a default without a literal
         },
         "'Item.id' adds required argument 'limit' not declared by interface 'Node'"},
        {"an added optional argument",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             item(s).fields[0].arguments = {argument_with_default("limit", "Int!", "1"), argument("after", "ID")};
         },
         std::nullopt},
        {"an interface listed twice",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             item(s).interfaces = {"Node", "Node"};
         },
         "'Item' implements interface 'Node' more than once"},
        {"an interface implementing itself",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             node(s).interfaces = {"Node"};
         },
         "interface 'Node' implements itself"},
        {"the interfaces of an interface",
         [&](CompiledSchema& s) {
             add_node_and_item(s);
             add(s, type(TypeKind::Interface, "Entity", {field("id", "String!")}, {"Node"}));
             item(s).interfaces = {"Entity"};
         },
         "'Item' implements interface 'Entity' but not interface 'Node', which 'Entity' implements"},
    });
}

TEST(SchemaRules, InputRules) {
    const auto input = [](std::vector<FieldDefinition> fields, bool one_of = false) {
        return [fields = std::move(fields), one_of](CompiledSchema& s) {
            TypeDefinition in = type(TypeKind::InputObject, "In", fields);
            in.one_of = one_of;
            add(s, std::move(in));
        };
    };
    FieldDefinition deprecated = field("a", "Int!");
    deprecated.deprecation_reason = "old";
    FieldDefinition deprecated_with_default = field_with_default("a", "Int!", "1");
    deprecated_with_default.deprecation_reason = "old";
    expect_cases({
        {"one-of, non-null", input({field("a", "Int"), field("b", "Int!")}, true),
         "'In.b' is non-null, but the fields of one-of input object type 'In' must be nullable"},
        {"one-of, with a default", input({field_with_default("a", "Int", "null")}, true),
         "'In.a' has a default value, which the fields of one-of input object type 'In' cannot have"},
        {"one-of, nullable without defaults", input({field("a", "Int"), field("b", "[Int!]")}, true), std::nullopt},
        {"a required input field deprecated", input({deprecated}),
         "'In.a' is required and cannot be deprecated"},
        {"a deprecated input field with a default", input({deprecated_with_default}), std::nullopt},
        {"a required argument deprecated",
         [](CompiledSchema& s) {
             hello(s).arguments = {argument("x", "Int!", true)};  // no literal: the SDL prints it required
             hello(s).arguments[0].deprecation_reason = "old";
         },
         "'Query.hello(x)' is required and cannot be deprecated"},
        {"a required operation-directive argument deprecated",
         [](CompiledSchema& s) {
             add_directive(s, "d", {OpLoc::Field}, {argument("x", "Int!")});
             s.directives.at("d").arguments[0].deprecation_reason = "";
         },
         "'@d(x)' is required and cannot be deprecated"},
        {"an input type holding itself", input({field("a", "In!")}),
         "input object type 'In' holds itself through the non-null fields 'In.a', so no value of it can be written"},
        {"two input types holding each other",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::InputObject, "B", {field("x", "Int"), field("a", "A!")}));
             add(s, type(TypeKind::InputObject, "A", {field("b", "B!")}));
             add(s, type(TypeKind::InputObject, "C", {field("b", "B!")}));
         },
         "input object type 'A' holds itself through the non-null fields 'A.b', 'B.a', so no value of it can be "
         "written"},
        {"through a list or a nullable field", input({field("a", "[In!]!"), field("b", "In")}), std::nullopt},
    });
}

TEST(SchemaRules, AppliedDirectivesMatchTheirDefinitions) {
    const auto with_tag = [](CompiledSchema& s, std::vector<Loc> locations, bool repeatable = false) {
        add_schema_directive(s, "tag", std::move(locations), {directive_field("name", "String!")}, repeatable);
    };
    const auto tag = [] { return applied("tag", {{"name", Value(std::string("x"))}}); };
    expect_cases({
        {"not registered", [](CompiledSchema& s) { query(s).directives = {applied("nope")}; },
         "directive '@nope' applied to 'Query' is not a registered schema directive"},
        {"at a location it does not declare",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Object, Loc::Enum});
             hello(s).directives = {tag()};
         },
         "directive '@tag' cannot be applied to 'Query.hello' (FIELD_DEFINITION); declared locations: OBJECT, ENUM"},
        {"every location the SDL prints",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Schema, Loc::Scalar, Loc::Object, Loc::FieldDefinition, Loc::ArgumentDefinition,
                          Loc::Interface, Loc::Enum, Loc::EnumValue, Loc::InputObject, Loc::InputFieldDefinition});
             s.schema_applied_directives = {tag()};
             query(s).directives = {tag()};
             hello(s).directives = {tag()};
             hello(s).arguments = {argument("x", "Int")};
             hello(s).arguments[0].directives = {tag()};
             s.scalar_names.insert("Money");
             s.scalar_directives["Money"] = {tag()};
             TypeDefinition e = enum_type("E", {"A"});
             e.directives = {tag()};
             e.enum_values[0].directives = {tag()};
             add(s, std::move(e));
             TypeDefinition in = type(TypeKind::InputObject, "In", {field("a", "Int")});
             in.directives = {tag()};
             in.fields[0].directives = {tag()};
             add(s, std::move(in));
             add(s, type(TypeKind::Interface, "Node", {field("a", "Int")}));
             s.types.at("Node").directives = {tag()};
         },
         std::nullopt},
        {"on the schema",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Object});
             s.schema_applied_directives = {tag()};
         },
         "directive '@tag' cannot be applied to 'schema' (SCHEMA); declared locations: OBJECT"},
        {"on an enum value",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Enum});
             TypeDefinition e = enum_type("E", {"A"});
             e.enum_values[0].directives = {tag()};
             add(s, std::move(e));
         },
         "directive '@tag' cannot be applied to 'E.A' (ENUM_VALUE); declared locations: ENUM"},
        {"on an operation directive's argument",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::FieldDefinition});
             add_directive(s, "d", {OpLoc::Field}, {argument("x", "Int")});
             s.directives.at("d").arguments[0].directives = {tag()};
         },
         "directive '@tag' cannot be applied to '@d(x)' (ARGUMENT_DEFINITION); declared locations: FIELD_DEFINITION"},
        {"repeated",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Object});
             query(s).directives = {tag(), tag()};
         },
         "directive '@tag' is applied to 'Query' more than once, but it is not repeatable"},
        {"repeated and repeatable",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Object}, true);
             query(s).directives = {tag(), tag()};
         },
         std::nullopt},
        {"an argument it does not declare",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Object});
             query(s).directives = {applied("tag", {{"name", Value(std::string("x"))}, {"x", Value(nullptr)}})};
         },
         "directive '@tag' applied to 'Query' has argument 'x', which '@tag' does not declare"},
        {"a non-null argument not given",
         [&](CompiledSchema& s) {
             with_tag(s, {Loc::Object});
             query(s).directives = {applied("tag")};
         },
         "directive '@tag' applied to 'Query' lacks argument 'name', which is required"},
        {"keys by explicit GraphQL name or Python name",
         [&](CompiledSchema& s) {
             DirectiveFieldDefinition renamed = directive_field("page_url", "String!");
             renamed.graphql_name = "url";
             add_schema_directive(s, "doc", {Loc::Object}, {renamed, directive_field("anchor_name", "String")});
             query(s).directives = {applied("doc", {{"url", Value(std::string("u"))}, {"anchor_name", Value(nullptr)}})};
         },
         std::nullopt},
        {"on a type the SDL leaves out",
         [](CompiledSchema& s) {
             add(s, type(TypeKind::Object, "__Hidden", {field("a", "Int")}));
             s.types.at("__Hidden").directives = {applied("nope")};
         },
         std::nullopt},
        {"on a scalar the SDL does not print", [](CompiledSchema& s) { s.scalar_directives["Ghost"] = {applied("nope")}; },
         std::nullopt},
    });
}

TEST(SchemaRules, PassesRunInOrderAndEachInNameOrder) {
    // A bad name (pass 4) comes before an undefined reference (pass 5), which
    // comes before a union without members (pass 6); within a pass, the first
    // section in SDL order, then by name.
    CompiledSchema schema = base_schema();
    add(schema, union_type("Empty", {}));
    hello(schema).field_type = named("Nope");
    add(schema, type(TypeKind::Object, "Zed", {field("a b", "Int")}));
    add(schema, type(TypeKind::Object, "Bad", {field("c d", "Int")}));
    EXPECT_EQ(validate_schema_shape(schema), "field 'Bad.c d' is named 'c d', which is not a GraphQL name");
    schema.types.erase("Bad");
    EXPECT_EQ(validate_schema_shape(schema), "field 'Zed.a b' is named 'a b', which is not a GraphQL name");
    schema.types.erase("Zed");
    EXPECT_EQ(validate_schema_shape(schema), "'Query.hello' has type 'Nope', which is not a registered type");
    hello(schema).field_type = named("String");
    EXPECT_EQ(validate_schema_shape(schema),
              "union 'Empty' defines no members, but the GraphQL specification requires one or more");
    // The three passes before them come first.
    add(schema, type(TypeKind::Object, "Void"));
    EXPECT_EQ(validate_schema_shape(schema),
              "object type 'Void' defines no fields, but the GraphQL specification requires one or more");
}
