#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"
#include "dovrane_core/validation.hpp"

using namespace dovrane_core;
using namespace dovrane_core::test_support;
using error::ErrorCode;
using schema::ArgumentDefinition;
using schema::CompiledSchema;
using schema::FieldDefinition;
using schema::GraphQLType;
using schema::OperationDirectiveLocation;
using schema::TypeDefinition;
using schema::TypeKind;

namespace {

// ---------------------------------------------------------------------------
// The harness schema, in SDL terms (Python names in parentheses where the
// camel-cased GraphQL name differs):
//
//   scalar DateTime
//   interface Node { id: ID! }   interface Named { name: String! }   interface Lonely { id: ID! }
//   enum Role { ADMIN VIEWER GUEST (member "guest", explicit name) }
//   input UserFilter { role: Role, namePrefix (name_prefix): String, tags: [String!],
//                      minAge (min_age): Int! = 18, requiredName (required_name): String!,
//                      nested: UserFilter }
//   type User implements Node & Named { id: ID!, name: String!, friends: [User!]!,
//                                       bestFriend (best_friend): User, tags: [String] }
//   type Post implements Node { id: ID!, title: String }
//   union SearchResult = User | Post
//   type Query {
//     hello: String   echo(text: String): String   user(id: ID!): User
//     users(first: Int, role: Role, ids: [ID!], filter: UserFilter): [User!]!
//     node(id: ID!): Node   lonely: Lonely   search(text: String): [SearchResult!]!
//     userName (user_name): String   renamed (python_only, explicit): String
//     mystery: Unknown   filterField (filter_field): UserFilter   role: Role
//     page(limit: Int! has-default, offset: Int): String
//     count(value: Int): String   ratio(value: Float): String   flag(value: Boolean): String
//     ident(value: ID): String   when(value: DateTime): String   strict(value: Int!): String
//     ints(values: [Int!]): String   strictInts (strict_ints)(values: [Int!]!): String
//     who(value: User): String   either(value: SearchResult): String
//     greet(firstName (first_name): String): String
//   }
//   type Mutation { createUser (create_user)(name: String!): User }
//   type Subscription { userAdded (user_added): User, postAdded (post_added): Post }
//   directive @upper on FIELD
//   directive @tag(name: String!) on FIELD | FRAGMENT_SPREAD | INLINE_FRAGMENT
//   directive @limit(maxCount (max_count): Int) on FIELD
//   directive @defer(x: Int) on FIELD   -- registered, but never consulted

CompiledSchema harness_schema() {
    CompiledSchema schema;
    schema.query_type_name = "Query";
    schema.mutation_type_name = "Mutation";
    schema.subscription_type_name = "Subscription";
    schema.scalar_names.insert("DateTime");

    add(schema, type(TypeKind::Interface, "Node", [] {
            std::vector<FieldDefinition> f;
            f.push_back(field("id", non_null(named("ID"))));
            return f;
        }()));
    add(schema, type(TypeKind::Interface, "Named", [] {
            std::vector<FieldDefinition> f;
            f.push_back(field("name", non_null(named("String"))));
            return f;
        }()));
    add(schema, type(TypeKind::Interface, "Lonely", [] {
            std::vector<FieldDefinition> f;
            f.push_back(field("id", non_null(named("ID"))));
            return f;
        }()));

    TypeDefinition role = enum_type("Role", {"ADMIN", "VIEWER"});
    schema::EnumValueDefinition guest = enum_value("guest");
    guest.graphql_name = "GUEST";
    role.enum_values.push_back(guest);
    add(schema, std::move(role));

    {
        std::vector<FieldDefinition> f;
        f.push_back(field("role", named("Role")));
        f.push_back(field("name_prefix", named("String")));
        f.push_back(field("tags", list(non_null(named("String")))));
        f.push_back(field("min_age", non_null(named("Int"))));
        f.back().default_value = "18";
        f.push_back(field("required_name", non_null(named("String"))));
        f.push_back(field("nested", named("UserFilter")));
        add(schema, type(TypeKind::InputObject, "UserFilter", std::move(f)));
    }
    {
        std::vector<FieldDefinition> f;
        f.push_back(field("id", non_null(named("ID"))));
        f.push_back(field("name", non_null(named("String"))));
        f.push_back(field("friends", non_null(list(non_null(named("User"))))));
        f.push_back(field("best_friend", named("User")));
        f.push_back(field("tags", list(named("String"))));
        add(schema, type(TypeKind::Object, "User", std::move(f), {"Node", "Named"}));
    }
    {
        std::vector<FieldDefinition> f;
        f.push_back(field("id", non_null(named("ID"))));
        f.push_back(field("title", named("String")));
        add(schema, type(TypeKind::Object, "Post", std::move(f), {"Node"}));
    }
    add(schema, union_type("SearchResult", {"User", "Post"}));

    {
        auto single = [](const char* name, GraphQLType arg_type) {
            std::vector<ArgumentDefinition> a;
            a.push_back(argument("value", std::move(arg_type)));
            return field(name, named("String"), std::move(a));
        };
        std::vector<FieldDefinition> f;
        f.push_back(field("hello", named("String")));
        f.push_back(single("echo", named("String")));
        f.back().arguments.back().name = "text";
        {
            std::vector<ArgumentDefinition> a;
            a.push_back(argument("id", non_null(named("ID"))));
            f.push_back(field("user", named("User"), std::move(a)));
        }
        {
            std::vector<ArgumentDefinition> a;
            a.push_back(argument("first", named("Int")));
            a.push_back(argument("role", named("Role")));
            a.push_back(argument("ids", list(non_null(named("ID")))));
            a.push_back(argument("filter", named("UserFilter")));
            f.push_back(field("users", non_null(list(non_null(named("User")))), std::move(a)));
        }
        {
            std::vector<ArgumentDefinition> a;
            a.push_back(argument("id", non_null(named("ID"))));
            f.push_back(field("node", named("Node"), std::move(a)));
        }
        f.push_back(field("lonely", named("Lonely")));
        {
            std::vector<ArgumentDefinition> a;
            a.push_back(argument("text", named("String")));
            f.push_back(field("search", non_null(list(non_null(named("SearchResult")))), std::move(a)));
        }
        f.push_back(field("user_name", named("String")));
        f.push_back(field("python_only", named("String")));
        f.back().graphql_name = "renamed";
        f.push_back(field("mystery", named("Unknown")));
        f.push_back(field("filter_field", named("UserFilter")));
        f.push_back(field("role", named("Role")));
        {
            std::vector<ArgumentDefinition> a;
            a.push_back(argument("limit", non_null(named("Int")), true));
            a.push_back(argument("offset", named("Int")));
            f.push_back(field("page", named("String"), std::move(a)));
        }
        f.push_back(single("count", named("Int")));
        f.push_back(single("ratio", named("Float")));
        f.push_back(single("flag", named("Boolean")));
        f.push_back(single("ident", named("ID")));
        f.push_back(single("when", named("DateTime")));
        f.push_back(single("strict", non_null(named("Int"))));
        f.push_back(single("ints", list(non_null(named("Int")))));
        f.back().arguments.back().name = "values";
        f.push_back(single("strict_ints", non_null(list(non_null(named("Int"))))));
        f.back().arguments.back().name = "values";
        f.push_back(single("who", named("User")));
        f.push_back(single("either", named("SearchResult")));
        f.push_back(single("greet", named("String")));
        f.back().arguments.back().name = "first_name";
        add(schema, type(TypeKind::Object, "Query", std::move(f)));
    }
    {
        std::vector<ArgumentDefinition> a;
        a.push_back(argument("name", non_null(named("String"))));
        std::vector<FieldDefinition> f;
        f.push_back(field("create_user", named("User"), std::move(a)));
        add(schema, type(TypeKind::Object, "Mutation", std::move(f)));
    }
    {
        std::vector<FieldDefinition> f;
        f.push_back(field("user_added", named("User")));
        f.push_back(field("post_added", named("Post")));
        add(schema, type(TypeKind::Object, "Subscription", std::move(f)));
    }

    add_directive(schema, "upper", {OperationDirectiveLocation::Field});
    {
        std::vector<ArgumentDefinition> a;
        a.push_back(argument("name", non_null(named("String"))));
        add_directive(schema, "tag",
                      {OperationDirectiveLocation::Field, OperationDirectiveLocation::FragmentSpread,
                       OperationDirectiveLocation::InlineFragment},
                      std::move(a));
    }
    {
        std::vector<ArgumentDefinition> a;
        a.push_back(argument("max_count", named("Int")));
        add_directive(schema, "limit", {OperationDirectiveLocation::Field}, std::move(a));
    }
    {
        std::vector<ArgumentDefinition> a;
        a.push_back(argument("x", named("Int")));
        add_directive(schema, "defer", {OperationDirectiveLocation::Field}, std::move(a));
    }
    return schema;
}

const CompiledSchema& harness() {
    static const CompiledSchema schema = [] {
        CompiledSchema indexed = harness_schema();
        validation::index_schema(indexed);
        return indexed;
    }();
    return schema;
}

// The same schema without an index: validation indexes it for each call.
const CompiledSchema& unindexed_harness() {
    static const CompiledSchema schema = harness_schema();
    return schema;
}

struct Outcome {
    bool passed = false;
    std::string message;
    ErrorCode code = ErrorCode::GraphqlValidationFailed;
    std::optional<std::vector<error::Location>> locations;
};

Outcome validate(const CompiledSchema& schema, std::string_view query,
                 std::optional<std::string_view> operation_name = std::nullopt) {
    auto parsed = parser::parse_document(query);
    if (!parsed) {
        ADD_FAILURE() << "query does not parse: " << parsed.error().message << "\n" << query;
        return {};
    }
    error::MaybeError error = validation::validate_query(*parsed.value(), schema, operation_name);
    if (!error) return {true, {}, {}, {}};
    return {false, error->message, error->code, error->locations};
}

Outcome validate(std::string_view query, std::optional<std::string_view> operation_name = std::nullopt) {
    return validate(harness(), query, operation_name);
}

std::string describe(const Outcome& outcome) {
    if (outcome.passed) return "passed";
    std::string text = outcome.message + " [" + std::string(error::error_code_wire_name(outcome.code)) + "]";
    if (outcome.locations) {
        for (const auto& location : *outcome.locations) {
            text += " " + std::to_string(location.line) + ":" + std::to_string(location.column);
        }
    }
    return text;
}

std::string located(const char* message, ErrorCode code, std::uint64_t line, std::uint64_t column) {
    return std::string(message) + " [" + std::string(error::error_code_wire_name(code)) + "] " +
           std::to_string(line) + ":" + std::to_string(column);
}

std::string unlocated(const char* message, ErrorCode code) {
    return std::string(message) + " [" + std::string(error::error_code_wire_name(code)) + "]";
}

struct Case {
    const char* rule;
    const char* query;
    std::string expected;  // "passed", or message [CODE] line:column
};

void expect_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(describe(validate(c.query)), c.expected) << c.rule << "\n" << c.query;
        EXPECT_EQ(describe(validate(unindexed_harness(), c.query)), c.expected) << "unindexed: " << c.rule;
    }
}

constexpr ErrorCode validation_failed = ErrorCode::GraphqlValidationFailed;
constexpr ErrorCode unknown_field = ErrorCode::UnknownField;
constexpr ErrorCode unknown_argument = ErrorCode::UnknownArgument;
constexpr ErrorCode mismatch = ErrorCode::ArgumentTypeMismatch;
constexpr ErrorCode bad_directive = ErrorCode::InvalidDirectiveLocation;
constexpr ErrorCode bad_fragment = ErrorCode::InvalidFragmentTarget;

}  // namespace

// Each located rule comes after echo(text: "€€"), so a column counted in bytes
// would land four places too far right.
TEST(Validation, EachRuleReportsItsMessageCodeAndPosition) {
    expect_cases({
        {"variable declared twice", "query($s: String = \"€€\", $a: Int, $a: Int) { hello }",
         located("variable '$a' is declared more than once", validation_failed, 1, 35)},
        {"subscription with two root fields", "subscription { userAdded { id } postAdded { id } }",
         located("a subscription operation must have exactly one root field, but this one selects 2",
                 validation_failed, 1, 14)},
        {"unknown field", "{ echo(text: \"€€\") nope }",
         located("field 'nope' does not exist on type 'Query'", unknown_field, 1, 20)},
        {"unknown field under an alias is named, located at the alias", "{ echo(text: \"€€\") x: nope }",
         located("field 'nope' does not exist on type 'Query'", unknown_field, 1, 20)},
        {"stream on a non-list field", "{ echo(text: \"€€\") user(id: \"1\") @stream { id } }",
         located("directive '@stream' can only be applied to a list-typed field, but 'user' is 'User'", bad_directive,
                 1, 34)},
        {"leaf with a selection set", "{ echo(text: \"€€\") hello { x } }",
         located("field 'hello' is of leaf type 'String' and cannot have a selection set", unknown_field, 1, 26)},
        {"composite without a selection set", "{ echo(text: \"€€\") user(id: \"1\") }",
         located("field 'user' is of composite type 'User' and must have a selection set", unknown_field, 1, 20)},
        {"undefined fragment", "{ echo(text: \"€€\") ...Missing }",
         located("undefined fragment 'Missing'", bad_fragment, 1, 20)},
        {"fragment cycle", "{ ...F }\nfragment F on Query { echo(text: \"€€\") ...F }",
         located("Fragment cycle detected involving 'F'", bad_fragment, 2, 40)},
        {"fragment on an unknown type", "{ ...F }\nfragment F on Nowhere { echo(text: \"€€\") }",
         located("fragment 'F' targets unknown type 'Nowhere'", bad_fragment, 2, 12)},
        {"inline fragment on an unknown type", "{ echo(text: \"€€\") ... on Nowhere { hello } }",
         located("inline fragment targets unknown type 'Nowhere'", bad_fragment, 1, 24)},
        {"impossible inline fragment, at its on",
         "{ user(id: \"€\") { ... on Post { id } } }",
         located("fragment on 'Post' can never apply to 'User' -- they share no possible types", bad_fragment, 1,
                 23)},
        {"impossible spread, at its dots", "{ user(id: \"€\") { ...P } }\nfragment P on Post { id }",
         located("fragment on 'Post' can never apply to 'User' -- they share no possible types", bad_fragment, 1,
                 19)},
        {"defer on a field", "{ echo(text: \"€€\") hello @defer }",
         located("directive '@defer' is not allowed at this location (FIELD)", bad_directive, 1, 26)},
        {"stream on an inline fragment", "{ echo(text: \"€€\") ... @stream { hello } }",
         located("directive '@stream' is not allowed at this location (INLINE_FRAGMENT)", bad_directive, 1, 24)},
        {"unknown directive", "{ echo(text: \"€€\") hello @shout }",
         located("unknown directive '@shout'", bad_directive, 1, 26)},
        {"directive at an undeclared location", "{ echo(text: \"€€\") ...F @upper }\nfragment F on Query { hello }",
         located("directive '@upper' is not allowed at this location (FRAGMENT_SPREAD)", bad_directive, 1, 25)},
        {"unknown defer argument", "{ echo(text: \"€€\") ... @defer(x: 1) { hello } }",
         located("unknown argument 'x' on '@defer'", unknown_argument, 1, 31)},
        {"bad defer argument value, at the value", "{ echo(text: \"€€\") ... @defer(if: \"yes\") { hello } }",
         located("argument 'if' on '@defer' expected a boolean, got a string", mismatch, 1, 35)},
        {"argument given twice, at the later one", "{ echo(text: \"€€\") count(value: 1, value: 2) }",
         located("argument 'value' is provided more than once on 'count'", unknown_argument, 1, 36)},
        {"unknown argument", "{ echo(text: \"€€\") count(size: 1) }",
         located("unknown argument 'size' on 'count'", unknown_argument, 1, 26)},
        {"bad argument value, at the value", "{ echo(text: \"€€\") count(value: \"1\") }",
         located("argument 'value' on 'count' expected an integer, got a string", mismatch, 1, 33)},
        {"required argument missing, at the owner", "{ echo(text: \"€€\") strict }",
         located("missing required argument 'value' on 'strict'", mismatch, 1, 20)},
        {"custom directive arguments are owned by its bare name", "{ echo(text: \"€€\") hello @tag(label: \"x\") }",
         located("unknown argument 'label' on 'tag'", unknown_argument, 1, 31)},
        {"custom directive required argument missing, at the directive", "{ echo(text: \"€€\") hello @tag }",
         located("missing required argument 'name' on 'tag'", mismatch, 1, 26)},
    });
}

TEST(Validation, OperationLevelRulesHaveNoLocation) {
    const CompiledSchema no_roots = hello_schema();
    EXPECT_EQ(describe(validate(no_roots, "mutation($a: Int, $a: Int) { nope }")),
              unlocated("document contains a mutation, but the schema has no mutation type", validation_failed));
    EXPECT_EQ(describe(validate(no_roots, "subscription { a b }")),
              unlocated("document contains a subscription, but the schema has no subscription type",
                        validation_failed));

    CompiledSchema unregistered;
    unregistered.query_type_name = "Root";
    EXPECT_EQ(describe(validate(unregistered, "{ hello }")),
              unlocated("schema's root type 'Root' is not registered", validation_failed));

    EXPECT_EQ(describe(validate("query A { hello } query B { hello }")),
              unlocated("document contains multiple operations; operation_name is required", validation_failed));
    EXPECT_EQ(describe(validate("query A { hello }", "q")), unlocated("no operation named 'q'", validation_failed));
    EXPECT_EQ(describe(validate("query A { hello } query B { nope }", "A")), "passed");
    EXPECT_EQ(describe(validate("mutation { createUser(name: \"n\") { id } }")), "passed");
}

TEST(Validation, FirstErrorFollowsTheOrderOfTheRules) {
    expect_cases({
        {"with a mutation type, duplicate variables come before the fields", "mutation($a: Int, $a: Int) { nope }",
         located("variable '$a' is declared more than once", validation_failed, 1, 19)},
        {"duplicate variables come before the subscription rule",
         "subscription($a: Int, $a: Int) { userAdded { id } postAdded { id } }",
         located("variable '$a' is declared more than once", validation_failed, 1, 23)},
        {"the subscription rule comes before the selection walk", "subscription { userAdded { id } nope }",
         located("a subscription operation must have exactly one root field, but this one selects 2",
                 validation_failed, 1, 14)},
        {"a field's directives come before the field lookup", "{ nope @shout }",
         located("unknown directive '@shout'", bad_directive, 1, 8)},
        {"every duplicate argument comes before any unknown one", "{ count(size: 1, size: 2) }",
         located("argument 'size' is provided more than once on 'count'", unknown_argument, 1, 18)},
        {"arguments come before the stream rule", "{ user(id: 1) @stream { id } }",
         located("argument 'id' on 'user' expected a string, got a number", mismatch, 1, 12)},
        {"every argument is checked before any missing one", "{ strict(other: 1) }",
         located("unknown argument 'other' on 'strict'", unknown_argument, 1, 10)},
        {"selections are checked whole, in written order", "{ user(id: \"1\") { nope } alsoNope }",
         located("field 'nope' does not exist on type 'User'", unknown_field, 1, 19)},
        {"a spread's directives come before the fragment lookup", "{ ...Missing @upper }",
         located("directive '@upper' is not allowed at this location (FRAGMENT_SPREAD)", bad_directive, 1, 14)},
    });
    // Without a mutation type the mutation rule comes before variables and fields.
    CompiledSchema query_only = query_only_schema();
    add(query_only, type(TypeKind::Object, "Query", {}));
    EXPECT_EQ(describe(validate(query_only, "mutation($a: Int, $a: Int) { nope }")),
              unlocated("document contains a mutation, but the schema has no mutation type", validation_failed));
}

TEST(Validation, SubscriptionRootFieldCount) {
    expect_cases({
        {"one field", "subscription { userAdded { id } }", "passed"},
        {"the same field twice counts one key", "subscription { userAdded { id } userAdded { name } }", "passed"},
        {"two fields under one alias count one key", "subscription { x: userAdded { id } x: postAdded { id } }",
         "passed"},
        {"keys through fragments count", "subscription { ...S ... on Subscription { postAdded { id } } }\n"
                                         "fragment S on Subscription { userAdded { id } }",
         located("a subscription operation must have exactly one root field, but this one selects 2",
                 validation_failed, 1, 14)},
        {"a fragment spread twice adds its keys once", "subscription { ...S ...S }\n"
                                                       "fragment S on Subscription { userAdded { id } }",
         "passed"},
        {"__typename counts like any field", "subscription { __typename userAdded { id } }",
         located("a subscription operation must have exactly one root field, but this one selects 2",
                 validation_failed, 1, 14)},
        {"skip on any root selection skips the rule", "subscription { userAdded { id } postAdded @skip(if: false) { id } }",
         "passed"},
        {"include inside a fragment skips the rule",
         "subscription { ...S }\nfragment S on Subscription { userAdded { id } postAdded @include(if: true) { id } }",
         "passed"},
        {"an undefined fragment skips the rule, then fails the walk", "subscription { userAdded { id } ...Missing }",
         located("undefined fragment 'Missing'", bad_fragment, 1, 33)},
    });
}

TEST(Validation, FieldsAndTheirTypes) {
    expect_cases({
        {"__typename skips arguments and selection checks", "{ __typename(x: 1) { anything } }", "passed"},
        {"__typename still has its directives checked", "{ __typename @defer }",
         located("directive '@defer' is not allowed at this location (FIELD)", bad_directive, 1, 14)},
        {"a camel-cased field is found by its GraphQL name", "{ userName }", "passed"},
        {"a camel-cased field is not found by its Python name", "{ user_name }",
         located("field 'user_name' does not exist on type 'Query'", unknown_field, 1, 3)},
        {"an explicit GraphQL name is the only name", "{ renamed }", "passed"},
        {"the Python name of an explicitly named field is unknown", "{ pythonOnly }",
         located("field 'pythonOnly' does not exist on type 'Query'", unknown_field, 1, 3)},
        {"stream on a list field passes", "{ users @stream(initialCount: 2) { id } }", "passed"},
        {"stream names the whole declared type", "{ user(id: \"1\") { bestFriend @stream { id } } }",
         located("directive '@stream' can only be applied to a list-typed field, but 'bestFriend' is 'User'",
                 bad_directive, 1, 30)},
        {"stream shows the non-null mark", "{ user(id: \"1\") { name @stream } }",
         located("directive '@stream' can only be applied to a list-typed field, but 'name' is 'String!'",
                 bad_directive, 1, 24)},
        {"an enum field is a leaf", "{ role { x } }",
         located("field 'role' is of leaf type 'Role' and cannot have a selection set", unknown_field, 1, 8)},
        {"a custom scalar field is a leaf", "{ user(id: \"1\") { id { x } } }",
         located("field 'id' is of leaf type 'ID' and cannot have a selection set", unknown_field, 1, 22)},
        {"an input-object field is composite and walked", "{ filterField { role namePrefix nope } }",
         located("field 'nope' does not exist on type 'UserFilter'", unknown_field, 1, 33)},
        {"a union field's selections are not walked", "{ search { nope ... on Anything { x } } }", "passed"},
        {"a union field needs a selection set", "{ search }",
         located("field 'search' is of composite type 'SearchResult' and must have a selection set",
                 unknown_field, 1, 3)},
        {"an unclassified field is not checked at all", "{ mystery { whatever } plain: mystery }", "passed"},
        {"an interface field takes fragments on implementors", "{ node(id: \"1\") { id ... on User { name } } }",
         "passed"},
    });
    CompiledSchema plain = harness_schema();
    plain.auto_camel_case = false;
    EXPECT_EQ(describe(validate(plain, "{ user_name greet(first_name: \"x\") }")), "passed");
    EXPECT_EQ(describe(validate(plain, "{ userName }")),
              located("field 'userName' does not exist on type 'Query'", unknown_field, 1, 3));
}

TEST(Validation, Fragments) {
    expect_cases({
        {"spreading a fragment twice side by side is not a cycle", "{ ...F ...F }\nfragment F on Query { hello }",
         "passed"},
        {"spreading a fragment twice indirectly is not a cycle",
         "{ ...A ...B }\nfragment A on Query { ...C }\nfragment B on Query { ...C }\nfragment C on Query { hello }",
         "passed"},
        {"two fragments spreading each other are a cycle, reported at the inner spread",
         "{ ...F }\nfragment F on Query { ...G }\nfragment G on Query { hello ...F }",
         located("Fragment cycle detected involving 'F'", bad_fragment, 3, 29)},
        {"a fragment nothing spreads is never validated", "{ hello }\nfragment F on Nowhere { nope }", "passed"},
        {"a fragment on an unknown type fails at its first spread, located at its on",
         "{ hello ...F }\nfragment F on Nowhere { nope }",
         located("fragment 'F' targets unknown type 'Nowhere'", bad_fragment, 2, 12)},
        {"a fragment on a union targets an unknown type", "{ ...F }\nfragment F on SearchResult { __typename }",
         located("fragment 'F' targets unknown type 'SearchResult'", bad_fragment, 2, 12)},
        {"an inline fragment on a union targets an unknown type", "{ ... on SearchResult { __typename } }",
         located("inline fragment targets unknown type 'SearchResult'", bad_fragment, 1, 7)},
        {"an inline fragment on a scalar targets an unknown type", "{ ... on String { __typename } }",
         located("inline fragment targets unknown type 'String'", bad_fragment, 1, 7)},
        {"an inline fragment on an implemented interface passes", "{ user(id: \"1\") { ... on Named { name } } }",
         "passed"},
        {"an inline fragment on an interface nothing implements passes",
         "{ user(id: \"1\") { ... on Lonely { id } } }", "passed"},
        {"an interface nothing implements accepts any fragment", "{ lonely { ... on Post { id } } }", "passed"},
        {"two interfaces sharing an implementor overlap", "{ node(id: \"1\") { ... on Named { name } } }", "passed"},
        {"an interface parent accepts only its implementors", "{ node(id: \"1\") { ... on Query { hello } } }",
         located("fragment on 'Query' can never apply to 'Node' -- they share no possible types", bad_fragment, 1,
                 23)},
        {"an inline fragment without a type condition uses the enclosing type", "{ ... { hello nope } }",
         located("field 'nope' does not exist on type 'Query'", unknown_field, 1, 15)},
        {"a fragment body is validated against its own type condition",
         "{ node(id: \"1\") { ...U } }\nfragment U on User { name nope }",
         located("field 'nope' does not exist on type 'User'", unknown_field, 2, 27)},
        {"a spread's checks run at every spread of an already validated fragment",
         "{ ...U user(id: \"1\") { ...U } }\nfragment U on Query { hello }",
         located("fragment on 'Query' can never apply to 'User' -- they share no possible types", bad_fragment, 1,
                 24)},
    });
}

TEST(Validation, DirectivesAndTheirArguments) {
    expect_cases({
        {"skip and include are never checked", "{ hello @skip @include(if: \"x\", what: 1) ...F @skip(x: 1) }\n"
                                               "fragment F on Query { hello }",
         "passed"},
        {"defer on a spread and an inline fragment passes",
         "{ ...F @defer(if: true, label: \"a\") ... @defer { hello } }\nfragment F on Query { hello }", "passed"},
        {"stream with a nullable or non-null Int variable passes",
         "query($a: Int, $b: Int!) { users @stream(initialCount: $a) { id } more: users @stream(initialCount: $b) { id } }",
         "passed"},
        {"stream with a String variable fails",
         "query($a: String) { users @stream(initialCount: $a) { id } }",
         located("argument 'initialCount' on '@stream' expects 'Int', but variable '$a' is declared as 'String'",
                 mismatch, 1, 49)},
        {"a registered operation directive named defer is never used", "{ hello @defer(x: 1) }",
         located("directive '@defer' is not allowed at this location (FIELD)", bad_directive, 1, 9)},
        {"a directive may repeat on one node", "{ hello @upper @upper @tag(name: \"a\") @tag(name: \"b\") }", "passed"},
        {"a camel-cased directive argument is found by its GraphQL name",
         "{ hello @limit(maxCount: 1) }", "passed"},
        {"a directive argument's bad value is owned by the bare name", "{ hello @limit(maxCount: \"1\") }",
         located("argument 'maxCount' on 'limit' expected an integer, got a string", mismatch, 1, 26)},
        {"an argument given twice is reported even when the first is unknown", "{ count(size: 1, size: 2) }",
         located("argument 'size' is provided more than once on 'count'", unknown_argument, 1, 18)},
        {"the first repeat in written order wins", "{ users(role: ADMIN, first: 1, first: 2, role: VIEWER) { id } }",
         located("argument 'first' is provided more than once on 'users'", unknown_argument, 1, 32)},
        {"a camel-cased argument is found by its GraphQL name", "{ greet(firstName: \"a\") }", "passed"},
        {"a camel-cased argument is not found by its Python name", "{ greet(first_name: \"a\") }",
         located("unknown argument 'first_name' on 'greet'", unknown_argument, 1, 9)},
        {"a required argument given as null fails at the value", "{ strict(value: null) }",
         located("argument 'value' on 'strict' must not be null", mismatch, 1, 17)},
        {"a non-null argument with a default may be left out", "{ page }", "passed"},
    });
}

TEST(Validation, VariableAllowance) {
    expect_cases({
        {"an undeclared variable", "{ count(value: $n) }",
         located("argument 'value' on 'count' references undefined variable '$n'", mismatch, 1, 16)},
        {"nullable variable for a non-null argument", "query($n: Int) { strict(value: $n) }",
         located("argument 'value' on 'strict' expects 'Int!', but variable '$n' is declared as 'Int'", mismatch, 1,
                 32)},
        {"a variable default allows it", "query($n: Int = 3) { strict(value: $n) }", "passed"},
        {"even a null default allows it", "query($n: Int = null) { strict(value: $n) }", "passed"},
        {"an argument default allows it", "query($n: Int) { page(limit: $n) }", "passed"},
        {"the allowance holds at every depth", "query($l: [Int] = []) { strictInts(values: $l) }", "passed"},
        {"without it the same use fails", "query($l: [Int]) { strictInts(values: $l) }",
         located("argument 'values' on 'strictInts' expects '[Int!]!', but variable '$l' is declared as '[Int]'",
                 mismatch, 1, 39)},
        {"a non-null variable fills a nullable position", "query($n: Int!) { count(value: $n) }", "passed"},
        {"a list variable never fills a named position", "query($l: [Int]) { count(value: $l) }",
         located("argument 'value' on 'count' expects 'Int', but variable '$l' is declared as '[Int]'", mismatch, 1,
                 33)},
        {"a named variable never fills a list position", "query($n: Int = 1) { ints(values: $n) }",
         located("argument 'values' on 'ints' expects '[Int!]', but variable '$n' is declared as 'Int'", mismatch, 1,
                 35)},
        {"names must match exactly", "query($n: Float) { count(value: $n) }",
         located("argument 'value' on 'count' expects 'Int', but variable '$n' is declared as 'Float'", mismatch, 1,
                 33)},
        {"a variable inside a list element gets no allowance", "query($n: Int) { ints(values: [1, $n]) }",
         located("argument 'values' on 'ints' expects 'Int!', but variable '$n' is declared as 'Int'", mismatch, 1,
                 31)},
        {"an input field default gives its variable the allowance",
         "query($n: Int, $s: String!) { users(filter: {minAge: $n, requiredName: $s}) { id } }", "passed"},
    });
}

TEST(Validation, LiteralValues) {
    expect_cases({
        {"a single value is never a list", "{ ints(values: 1) }",
         located("argument 'values' on 'ints' expected a list, got a number", mismatch, 1, 16)},
        {"a bad list element gives its own tail, no index", "{ ints(values: [1, \"2\"]) }",
         located("argument 'values' on 'ints' expected an integer, got a string", mismatch, 1, 16)},
        {"an empty list matches", "{ strictInts(values: []) }", "passed"},
        {"an integer beyond 32 bits is an Int", "{ count(value: 12345678901234) }", "passed"},
        {"a fraction is not an Int", "{ count(value: 1.5) }",
         located("argument 'value' on 'count' expected an integer, got a floating-point number", mismatch, 1, 16)},
        {"an exponent is not an Int", "{ count(value: 1e3) }",
         located("argument 'value' on 'count' expected an integer, got a floating-point number", mismatch, 1, 16)},
        {"an integer is a Float", "{ ratio(value: 2) }", "passed"},
        {"a string is not a Float", "{ ratio(value: \"2\") }",
         located("argument 'value' on 'ratio' expected a number, got a string", mismatch, 1, 16)},
        {"an ID takes no number", "{ ident(value: 7) }",
         located("argument 'value' on 'ident' expected a string, got a number", mismatch, 1, 16)},
        {"a Boolean takes no enum value", "{ flag(value: TRUE) }",
         located("argument 'value' on 'flag' expected a boolean, got an enum value", mismatch, 1, 15)},
        {"a String takes no list", "{ echo(text: [\"a\"]) }",
         located("argument 'text' on 'echo' expected a string, got a list", mismatch, 1, 14)},
        {"an Int takes no object", "{ count(value: {a: 1}) }",
         located("argument 'value' on 'count' expected an integer, got an object", mismatch, 1, 16)},
        {"a custom scalar takes anything", "{ a: when(value: 1) b: when(value: [1, {x: \"y\"}]) c: when(value: X) }",
         "passed"},
        {"an object-typed or union-typed argument takes anything",
         "{ who(value: 1) either(value: {a: [1]}) }", "passed"},
        {"an input object takes unknown and leaves out required fields",
         "{ users(filter: {unknown: 1, namePrefix: \"a\"}) { id } }", "passed"},
        {"an input field's bad value is wrapped", "{ users(filter: {tags: [\"a\", 2]}) { id } }",
         located("argument 'filter' on 'users' field 'tags': expected a string, got a number", mismatch, 1, 17)},
        {"nested input fields wrap once per level", "{ users(filter: {nested: {role: \"ADMIN\"}}) { id } }",
         located("argument 'filter' on 'users' field 'nested': field 'role': expected a value of enum 'Role', got a "
                 "string",
                 mismatch, 1, 17)},
        {"an input object takes no scalar", "{ users(filter: 1) { id } }",
         located("argument 'filter' on 'users' expected an input object for 'UserFilter', got a number", mismatch,
                 1, 17)},
        {"an enum takes a member", "{ users(role: ADMIN) { id } }", "passed"},
        {"an enum member with an explicit name is taken by that name only",
         "{ a: users(role: GUEST) { id } b: users(role: guest) { id } }",
         located("argument 'role' on 'users' 'guest' is not a valid value for enum 'Role'", mismatch, 1, 47)},
        {"an enum takes no string", "{ users(role: \"ADMIN\") { id } }",
         located("argument 'role' on 'users' expected a value of enum 'Role', got a string", mismatch, 1, 15)},
        {"an enum member is never camel-cased or case-folded", "{ users(role: admin) { id } }",
         located("argument 'role' on 'users' 'admin' is not a valid value for enum 'Role'", mismatch, 1, 15)},
        {"null fills any nullable position", "{ count(value: null) ints(values: null) }", "passed"},
        {"null inside a non-null list element", "{ ints(values: [1, null]) }",
         located("argument 'values' on 'ints' must not be null", mismatch, 1, 16)},
    });
}

// Where validation is narrower than GraphQL's own rules; the README lists these.
TEST(Validation, RulesItDoesNotRun) {
    expect_cases({
        {"fields with one response key need not agree",
         "{ a: hello a: echo(text: \"x\") user(id: \"1\") { id } user(id: \"2\") { name } }", "passed"},
        {"a declared variable need not be used", "query($unused: Int) { hello }", "passed"},
        {"a variable's default is not checked against its type", "query($n: Int = \"text\") { count(value: $n) }",
         "passed"},
        {"a repeated input field keeps its last value; the first is never seen",
         "{ users(filter: {namePrefix: 1, namePrefix: \"a\"}) { id } }", "passed"},
        {"__schema is no known field", "{ __schema { types { name } } }",
         located("field '__schema' does not exist on type 'Query'", unknown_field, 1, 3)},
        {"__type is no known field", "{ __type(name: \"User\") { name } }",
         located("field '__type' does not exist on type 'Query'", unknown_field, 1, 3)},
        {"an operation's own directives are not checked", "query @upper @nope { hello }", "passed"},
        {"a variable definition's directives are not checked", "query($n: Int @upper @nope) { count(value: $n) }",
         "passed"},
        {"a fragment definition's directives are not checked",
         "{ ...F } fragment F on Query @upper @nope { hello }", "passed"},
        {"a variable's type need not name a known type", "query($v: Nope, $w: [Missing!]) { hello }", "passed"},
        {"an integer beyond 64 bits is read as floating-point, so it is no Int",
         "{ a: count(value: 18446744073709551615) b: count(value: 18446744073709551616) }",
         located("argument 'value' on 'count' expected an integer, got a floating-point number", mismatch, 1, 57)},
    });
}

// Mends: one call never re-walks a fragment body that already passed, and
// nesting across fragments is bounded.

namespace {

// F0 { ...F1 ...F1 } F1 { ...F2 ...F2 } ...: 2^levels spreads when expanded.
std::string fragment_bomb(int levels, const char* leaf) {
    std::string query = "{ ...F0 }\n";
    for (int i = 0; i < levels; ++i) {
        query += "fragment F" + std::to_string(i) + " on Query { ...F" + std::to_string(i + 1) + " ...F" +
                 std::to_string(i + 1) + " }\n";
    }
    query += "fragment F" + std::to_string(levels) + " on Query { " + leaf + " }\n";
    return query;
}

// F0 { ...F1 } F1 { ...F2 } ... Fn { <leaf> }, every fragment on `on`.
std::string fragment_chain(int length, const char* root = "{ ...F0 }", const char* on = "Query",
                           const char* leaf = "hello") {
    std::string query = std::string(root) + "\n";
    for (int i = 0; i < length; ++i) {
        query.append("fragment F").append(std::to_string(i)).append(" on ").append(on);
        query.append(" { ...F").append(std::to_string(i + 1)).append(" }\n");
    }
    query.append("fragment F").append(std::to_string(length)).append(" on ").append(on);
    query.append(" { ").append(leaf).append(" }\n");
    return query;
}

}  // namespace

TEST(ValidationMends, AFortyLevelFragmentBombValidatesOnce) {
    EXPECT_EQ(describe(validate(fragment_bomb(40, "hello"))), "passed");
    // An error at the bottom is still found, at the same place.
    Outcome outcome = validate(fragment_bomb(40, "nope"));
    EXPECT_EQ(outcome.message, "field 'nope' does not exist on type 'Query'");
    ASSERT_TRUE(outcome.locations);
    EXPECT_EQ((*outcome.locations)[0], (error::Location{42, 25}));
}

TEST(ValidationMends, AFortyLevelBombInASubscriptionCountsItsKeysOnce) {
    std::string query = "subscription { ...F0 }\n";
    for (int i = 0; i < 40; ++i) {
        query += "fragment F" + std::to_string(i) + " on Subscription { ...F" + std::to_string(i + 1) + " ...F" +
                 std::to_string(i + 1) + " }\n";
    }
    EXPECT_EQ(describe(validate(query + "fragment F40 on Subscription { userAdded { id } }")), "passed");
    EXPECT_EQ(describe(validate(query + "fragment F40 on Subscription { userAdded { id } postAdded { id } }")),
              located("a subscription operation must have exactly one root field, but this one selects 2",
                      validation_failed, 1, 14));
}

TEST(ValidationMends, ATenThousandFragmentChainFailsAtTheDepthLimit) {
    Outcome outcome = validate(fragment_chain(10000));
    EXPECT_EQ(outcome.message, "query nesting exceeds the limit of 256");
    EXPECT_EQ(outcome.code, validation_failed);
    // The spread that would open level 257 sits in F255, on line 257.
    ASSERT_TRUE(outcome.locations);
    EXPECT_EQ((*outcome.locations)[0], (error::Location{257, 26}));

    // The root-field count gives up past the limit; the walk then reports it.
    Outcome subscription =
        validate(fragment_chain(10000, "subscription { ...F0 }", "Subscription", "userAdded { id } postAdded { id }"));
    EXPECT_EQ(describe(subscription), located("query nesting exceeds the limit of 256", validation_failed, 257, 33));
}

TEST(ValidationMends, TheDepthLimitCountsFieldsFragmentsAndInlineFragments) {
    // 256 levels below the operation's selection set pass, one more fails.
    EXPECT_EQ(describe(validate(fragment_chain(255))), "passed");
    EXPECT_EQ(describe(validate(fragment_chain(256))),
              located("query nesting exceeds the limit of 256", validation_failed, 257, 26));

    // Fields: each fragment nests its next spread two fields deep.
    auto nested = [](int fragments, const char* innermost) {
        std::string query = "{ ...F0 }\n";
        for (int i = 0; i < fragments; ++i) {
            query += "fragment F" + std::to_string(i) + " on User { bestFriend { bestFriend { ...F" +
                     std::to_string(i + 1) + " } } }\n";
        }
        return query + "fragment F" + std::to_string(fragments) + " on User { " + innermost + " }\n";
    };
    // Root is Query, so start from a user field instead.
    auto through_user = [&](int fragments, const char* innermost) {
        std::string query = nested(fragments, innermost);
        query.replace(0, 9, "{ user(id: \"1\") { ...F0 } }");
        return query;
    };
    // user (1) + spread (2) + per fragment 3 levels: 2 + 3*84 = 254, then bestFriend { } 255, 256.
    EXPECT_EQ(describe(validate(through_user(84, "bestFriend { bestFriend { id } }"))), "passed");
    Outcome deeper = validate(through_user(84, "bestFriend { bestFriend { bestFriend { id } } }"));
    EXPECT_EQ(deeper.message, "query nesting exceeds the limit of 256");
    ASSERT_TRUE(deeper.locations);
    // At the third bestFriend of F84, whose selection set would open level 257.
    EXPECT_EQ((*deeper.locations)[0], (error::Location{86, 50}));

    // Inline fragments count as a level too.
    std::string inline_chain = "{ ...F0 }\n";
    for (int i = 0; i < 128; ++i) {
        inline_chain += "fragment F" + std::to_string(i) + " on Query { ... { ...F" + std::to_string(i + 1) + " } }\n";
    }
    inline_chain += "fragment F128 on Query { ... { hello } }\n";
    Outcome inline_outcome = validate(inline_chain);
    EXPECT_EQ(inline_outcome.message, "query nesting exceeds the limit of 256");
    ASSERT_TRUE(inline_outcome.locations);
    // Fi's body is level 2i+1, its inline fragment 2i+2: the spread in F127 opens 257.
    EXPECT_EQ((*inline_outcome.locations)[0], (error::Location{129, 32}));
}

TEST(ValidationMends, AValidatedFragmentSpreadDeeperIsCheckedAgainstTheLimit) {
    // D nests 200 levels; first spread shallow (passes), then from 60 levels
    // down, where its body no longer fits.
    std::string query = "{ ...D ...S0 }\n";
    for (int i = 0; i < 60; ++i) {
        query += "fragment S" + std::to_string(i) + " on Query { ...S" + std::to_string(i + 1) + " }\n";
    }
    query += "fragment S60 on Query { ...D }\n";
    query += "fragment D on Query { ...E0 }\n";
    for (int i = 0; i < 200; ++i) {
        query += "fragment E" + std::to_string(i) + " on Query { ...E" + std::to_string(i + 1) + " }\n";
    }
    query += "fragment E200 on Query { hello }\n";
    Outcome outcome = validate(query);
    EXPECT_EQ(outcome.message, "query nesting exceeds the limit of 256");
    ASSERT_TRUE(outcome.locations);
    // Level 257 opens at the spread inside E193 (S0..S60 and D take 62 levels, plus E0..E193).
    EXPECT_EQ((*outcome.locations)[0], (error::Location{257, 26}));
}

TEST(ValidationMends, ManyArgumentsAndVariablesFindTheFirstRepeat) {
    std::string variables;
    std::string arguments;
    for (int i = 0; i < 2000; ++i) {
        const std::string number = std::to_string(i);
        variables.append("$v").append(number).append(": Int ");
        arguments.append("x").append(number).append(": 1 ");
    }
    EXPECT_EQ(validate("query(" + variables + "$v7: Int $v3: Int) { hello }").message,
              "variable '$v7' is declared more than once");
    EXPECT_EQ(validate("{ hello(" + arguments + "x9: 2 x1: 3) }").message,
              "argument 'x9' is provided more than once on 'hello'");
    EXPECT_EQ(validate("{ hello(" + arguments + ") }").message, "unknown argument 'x0' on 'hello'");
}

// ---------------------------------------------------------------------------
// The schema's index

// What validation asks of the schema's shape is answered alike at any size,
// with the index kept with the schema and with one built for the call.
TEST(ValidationIndex, PossibleTypesAtScale) {
    const auto build = [] {
        CompiledSchema schema = interface_schema(3000);
        add(schema, type(TypeKind::Interface, "Named", {field("name", "String")}));
        add(schema, type(TypeKind::Interface, "Empty", {field("id", "ID!")}));
        add(schema, type(TypeKind::Object, "Lone", {field("id", "ID!")}));
        schema.types.at("T5").interfaces.push_back("Named");
        schema.types.at("T2998").interfaces.push_back("Named");
        schema.types.at("Query").fields.push_back(field("named", "Named"));
        schema.types.at("Query").fields.push_back(field("lone", "Lone"));
        return schema;
    };
    const CompiledSchema unindexed = build();
    CompiledSchema indexed = build();
    validation::index_schema(indexed);
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"{ node { ... on T2999 { id } ... on T0 { name } } }", "passed"},
        {"{ node { ... on Node { ... on T17 { id } } } }", "passed"},
        {"{ named { ... on Node { id } } }", "passed"},  // they share T5 and T2998
        {"{ node { ... on Empty { id } } }", "passed"},  // nothing implements Empty
        {"{ named { ... on T2998 { id } } }", "passed"},
        {"{ node { ... on Lone { id } } }",
         located("fragment on 'Lone' can never apply to 'Node' -- they share no possible types", bad_fragment, 1, 14)},
        {"{ named { ... on T6 { id } } }",
         located("fragment on 'T6' can never apply to 'Named' -- they share no possible types", bad_fragment, 1, 15)},
        {"{ lone { ...F } } fragment F on Named { name }",
         located("fragment on 'Named' can never apply to 'Lone' -- they share no possible types", bad_fragment, 1, 10)},
        {"{ node { ... on T3000 { id } } }",
         located("inline fragment targets unknown type 'T3000'", bad_fragment, 1, 14)},
    };
    for (const auto& [query, expected] : cases) {
        EXPECT_EQ(describe(validate(indexed, query)), expected) << query;
        EXPECT_EQ(describe(validate(unindexed, query)), expected) << "unindexed: " << query;
    }
}

// The index points into the schema's records, which a move keeps in place
// (the Python handle takes the schema over by moving it); adding to a schema
// through the builders drops an index that no longer covers it.
TEST(ValidationIndex, SurvivesAMoveAndIsDroppedByTheBuilders) {
    CompiledSchema schema = interface_schema(3);
    validation::index_schema(schema);
    CompiledSchema moved = std::move(schema);
    ASSERT_NE(moved.validation_index, nullptr);
    EXPECT_EQ(describe(validate(moved, "{ node { ... on T2 { name } } }")), "passed");
    add(moved, type(TypeKind::Object, "T9", {field("id", "ID!")}, {"Node"}));
    EXPECT_EQ(moved.validation_index, nullptr);
    EXPECT_EQ(describe(validate(moved, "{ node { ... on T9 { id } } }")), "passed");
}
