#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "dovrane_core/sdl.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"

using namespace dovrane_core;
using namespace dovrane_core::schema;
using namespace dovrane_core::test_support;
using json::Number;
using sdl::render_sdl;

namespace {

json::Value number(std::uint64_t value) { return Number::from_unsigned(value); }
json::Value text(const char* value) { return std::string(value); }

AppliedDirective directive(const char* name, std::vector<std::pair<std::string, json::Value>> arguments = {}) {
    return AppliedDirective{name, std::move(arguments)};
}

void add_union(CompiledSchema& schema, const char* name, std::vector<std::string> members,
               std::optional<std::string> description = std::nullopt) {
    schema.unions.emplace(name, UnionDefinition{name, std::move(description), std::move(members), false});
}

// Every section, with descriptions, deprecations, directives and defaults.
CompiledSchema rich_schema(bool auto_camel_case) {
    CompiledSchema schema;
    schema.auto_camel_case = auto_camel_case;
    schema.query_type_name = "Query";
    schema.mutation_type_name = "Mutation";
    schema.subscription_type_name = "Subscription";
    // Stored under the field's Python name; printed as @contact's definition names it.
    schema.schema_applied_directives = {directive("contact", {{"team_name", text("ops")}})};

    TypeDefinition query = type(TypeKind::Object, "Query");
    query.description = "The root query.\nSecond line";
    {
        FieldDefinition user = field("user_by_id", named("User"));
        user.description = "Look a user up.";
        user.arguments.push_back(argument("user_id", non_null(named("ID"))));
        ArgumentDefinition include_deleted = argument("include_deleted", named("Boolean"));
        include_deleted.has_default = true;
        include_deleted.default_value = "false";
        user.arguments.push_back(std::move(include_deleted));
        query.fields.push_back(std::move(user));

        FieldDefinition search = field("search", non_null(list(non_null(named("SearchResult")))));
        ArgumentDefinition term = argument("term", non_null(named("String")));
        term.description = "What to find";
        search.arguments.push_back(std::move(term));
        query.fields.push_back(std::move(search));

        FieldDefinition old = field("old_field", named("String"));
        old.deprecation_reason = "use \"newField\"";
        query.fields.push_back(std::move(old));

        // Camel-cased to "Secret" when the flag is on, left out when it is off.
        query.fields.push_back(field("__secret", named("Int")));
        FieldDefinition hidden = field("hidden", named("Int"));
        hidden.graphql_name = "__hidden";  // always left out
        hidden.description = "not printed";
        query.fields.push_back(std::move(hidden));
    }
    add(schema, std::move(query));

    TypeDefinition mutation = type(TypeKind::Object, "Mutation");
    {
        FieldDefinition create = field("create_user", non_null(named("User")));
        create.arguments.push_back(argument("input", non_null(named("CreateUserInput"))));
        mutation.fields.push_back(std::move(create));
    }
    add(schema, std::move(mutation));
    add(schema, type(TypeKind::Object, "Subscription", {field("on_event", named("String"))}));

    add(schema, type(TypeKind::Interface, "Node", {field("id", non_null(named("ID")))}));

    TypeDefinition user = type(TypeKind::Object, "User");
    user.interfaces = {"Node", "Entity"};
    user.directives = {directive("key", {{"fields", text("id")}}), directive("tag", {{"name", text("user")}})};
    user.one_of = true;  // ignored outside input objects
    {
        user.fields.push_back(field("id", non_null(named("ID"))));
        FieldDefinition display = field("display_name", named("String"));
        display.description = "The name shown.";
        display.default_value = "\"ignored\"";  // defaults print on input fields only
        user.fields.push_back(std::move(display));
        FieldDefinition avatar = field("avatar_url", named("String"));
        ArgumentDefinition size = argument("size", named("Int"));
        size.has_default = true;
        size.default_value = "64";
        size.deprecation_reason = "";
        size.directives = {directive("tag", {{"name", text("px")}})};
        avatar.arguments.push_back(std::move(size));
        avatar.directives = {directive("tag", {{"name", text("media")}})};
        user.fields.push_back(std::move(avatar));
    }
    add(schema, std::move(user));

    TypeDefinition input = type(TypeKind::InputObject, "CreateUserInput");
    input.one_of = true;
    input.directives = {directive("tag", {{"name", text("in")}})};
    {
        FieldDefinition display = field("display_name", named("String"));
        display.default_value = "\"anon\"";
        input.fields.push_back(std::move(display));
        input.fields.push_back(field("email", named("String")));
    }
    add(schema, std::move(input));

    add(schema, type(TypeKind::Object, "Post", {field("title", named("String"))}));

    TypeDefinition color = type(TypeKind::Enum, "Color");
    color.description = "A color.";
    {
        color.enum_values.push_back(enum_value("RED"));
        EnumValueDefinition green = enum_value("GREEN");
        green.deprecation_reason = "not used";
        color.enum_values.push_back(std::move(green));
        color.enum_values.push_back(enum_value("__INTERNAL"));  // enum values are never filtered
        EnumValueDefinition blue = enum_value("BLUE_SKY");
        blue.graphql_name = "blue_sky";  // and never camel-cased
        blue.description = "Blue.";
        blue.directives = {directive("tag", {{"name", text("b")}})};
        color.enum_values.push_back(std::move(blue));
    }
    add(schema, std::move(color));

    add(schema, type(TypeKind::Object, "__Hidden", {field("x", named("Int"))}));

    add_union(schema, "SearchResult", {"User", "Post"}, "What a search finds.");
    add_union(schema, "Empty", {});

    schema.scalar_names = {"DateTime", "Date"};
    schema.scalar_descriptions["DateTime"] = "An instant.";
    schema.scalar_descriptions["Date"] = "";  // empty: no block
    schema.scalar_specified_by_urls["DateTime"] = "https://example.com/date-time";
    schema.scalar_directives["DateTime"] = {directive("tag", {{"name", text("time")}}),
                                            directive("tag", {{"name", text("utc")}})};

    OperationDirectiveDefinition log;
    log.name = "log";
    log.description = "Logs the operation.";
    log.locations = {OperationDirectiveLocation::Query, OperationDirectiveLocation::Mutation};
    schema.directives.emplace("log", std::move(log));
    OperationDirectiveDefinition upper;
    upper.name = "upper";
    upper.locations = {OperationDirectiveLocation::Field};
    {
        ArgumentDefinition locale = argument("locale_name", named("String"));
        locale.description = "BCP 47";
        locale.has_default = true;
        locale.default_value = "\"en\"";
        upper.arguments.push_back(std::move(locale));
        upper.arguments.push_back(argument("max_length", non_null(named("Int"))));
    }
    schema.directives.emplace("upper", std::move(upper));

    SchemaDirectiveDefinition contact;
    contact.name = "contact";
    contact.description = "Who runs it.";
    contact.locations = {SchemaDirectiveLocation::Schema};
    contact.fields = {DirectiveFieldDefinition{"team_name", std::nullopt, named("String")}};
    schema.schema_directives.emplace("contact", std::move(contact));
    SchemaDirectiveDefinition key;
    key.name = "key";
    key.locations = {SchemaDirectiveLocation::Object, SchemaDirectiveLocation::Interface};
    key.fields = {DirectiveFieldDefinition{"field_set", std::string("fields"), non_null(named("String"))}};
    key.repeatable = true;
    schema.schema_directives.emplace("key", std::move(key));
    SchemaDirectiveDefinition tag;
    tag.name = "tag";
    tag.repeatable = true;
    tag.locations = {SchemaDirectiveLocation::Object, SchemaDirectiveLocation::FieldDefinition,
                     SchemaDirectiveLocation::ArgumentDefinition, SchemaDirectiveLocation::EnumValue,
                     SchemaDirectiveLocation::Scalar, SchemaDirectiveLocation::InputObject};
    tag.fields = {DirectiveFieldDefinition{"name", std::nullopt, non_null(named("String"))}};
    schema.schema_directives.emplace("tag", std::move(tag));
    return schema;
}

// @length(max_len: Int, min_len named lower_bound: Int), applied with the same
// stored keys (the explicit GraphQL name, else the Python name) at every place
// the SDL prints applied directives.
CompiledSchema schema_applying_length(bool auto_camel_case) {
    CompiledSchema schema = query_only_schema();
    schema.auto_camel_case = auto_camel_case;
    SchemaDirectiveDefinition length;
    length.name = "length";
    length.locations = {SchemaDirectiveLocation::Schema,          SchemaDirectiveLocation::Scalar,
                        SchemaDirectiveLocation::Object,          SchemaDirectiveLocation::FieldDefinition,
                        SchemaDirectiveLocation::ArgumentDefinition, SchemaDirectiveLocation::Interface,
                        SchemaDirectiveLocation::Enum,            SchemaDirectiveLocation::EnumValue,
                        SchemaDirectiveLocation::InputObject,     SchemaDirectiveLocation::InputFieldDefinition};
    length.fields = {DirectiveFieldDefinition{"max_len", std::nullopt, named("Int")},
                     DirectiveFieldDefinition{"min_len", std::string("lower_bound"), named("Int")}};
    schema.schema_directives.emplace("length", std::move(length));

    const AppliedDirective use = directive("length", {{"max_len", number(3)}, {"lower_bound", number(1)}});
    schema.schema_applied_directives = {use};

    TypeDefinition query = type(TypeKind::Object, "Query", {field("name", named("String"))});
    query.directives = {use};
    query.fields[0].directives = {use};
    FieldDefinition search = field("search", named("String"));
    search.arguments.push_back(argument("term", named("String")));
    search.arguments[0].directives = {use};
    query.fields.push_back(std::move(search));
    add(schema, std::move(query));

    TypeDefinition node = type(TypeKind::Interface, "Node", {field("id", non_null(named("ID")))});
    node.directives = {use};
    node.fields[0].directives = {use};
    add(schema, std::move(node));

    TypeDefinition filter = type(TypeKind::InputObject, "Filter", {field("term", named("String"))});
    filter.directives = {use};
    filter.fields[0].default_value = "\"x\"";
    filter.fields[0].directives = {use};
    add(schema, std::move(filter));

    TypeDefinition color = type(TypeKind::Enum, "Color");
    color.directives = {use};
    color.enum_values.push_back(enum_value("RED"));
    color.enum_values[0].directives = {use};
    add(schema, std::move(color));

    schema.scalar_names = {"Url"};
    schema.scalar_directives["Url"] = {use};

    OperationDirectiveDefinition upper;
    upper.name = "upper";
    upper.locations = {OperationDirectiveLocation::Field};
    upper.arguments.push_back(argument("locale", named("String")));
    upper.arguments[0].directives = {use};
    schema.directives.emplace("upper", std::move(upper));
    return schema;
}

std::size_t count_of(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string sdl_quoted(std::string_view value) { return sdl::quote_sdl_string(value); }

// A description printed at the start of a section (scalar S) and inline
// before an argument (a: Int): both read `printed` and nothing else.
void expect_description_printed(const char* description, const char* printed) {
    CompiledSchema schema = query_only_schema();
    schema.scalar_names = {"S"};
    schema.scalar_descriptions["S"] = description;
    EXPECT_EQ(render_sdl(schema), std::string("schema {\n  query: Query\n}\n\n") + printed + "\nscalar S")
        << description;
    ArgumentDefinition a = argument("a", named("Int"));
    a.description = description;
    EXPECT_EQ(sdl::render_argument(a, true), std::string(printed) + " a: Int") << description;
}

}  // namespace

// ---- Whole documents ---------------------------------------------------------------

TEST(RenderSdl, SmallSchema) {
    CompiledSchema schema = query_only_schema();
    FieldDefinition hello = field("hello", non_null(named("String")));
    ArgumentDefinition name = argument("name", named("String"));
    name.has_default = true;
    name.default_value = "\"world\"";
    hello.arguments.push_back(std::move(name));
    add(schema, type(TypeKind::Object, "Query", {std::move(hello)}));
    EXPECT_EQ(render_sdl(schema),
              "schema {\n"
              "  query: Query\n"
              "}\n"
              "\n"
              "type Query {\n"
              "  hello(name: String = \"world\"): String!\n"
              "}");
}

TEST(RenderSdl, RichSchemaWithCamelCase) {
    const CompiledSchema schema = rich_schema(true);
    EXPECT_EQ(render_sdl(schema), R"(schema @contact(teamName: "ops") {
  query: Query
  mutation: Mutation
  subscription: Subscription
}

"""A color."""
enum Color {
  RED
  GREEN @deprecated(reason: "not used")
  __INTERNAL
  """Blue."""
  blue_sky @tag(name: "b")
}

input CreateUserInput @tag(name: "in") @oneOf {
  displayName: String = "anon"
  email: String
}

type Mutation {
  createUser(input: CreateUserInput!): User!
}

interface Node {
  id: ID!
}

type Post {
  title: String
}

"""The root query.
Second line"""
type Query {
  """Look a user up."""
  userById(userId: ID!, includeDeleted: Boolean = false): User
  search("""What to find""" term: String!): [SearchResult!]!
  oldField: String @deprecated(reason: "use \"newField\"")
  Secret: Int
}

type Subscription {
  onEvent: String
}

type User implements Node & Entity @key(fields: "id") @tag(name: "user") {
  id: ID!
  """The name shown."""
  displayName: String
  avatarUrl(size: Int = 64 @deprecated(reason: "") @tag(name: "px")): String @tag(name: "media")
}

union Empty = 

"""What a search finds."""
union SearchResult = User | Post

scalar Date

"""An instant."""
scalar DateTime @specifiedBy(url: "https://example.com/date-time") @tag(name: "time") @tag(name: "utc")

"""Logs the operation."""
directive @log on QUERY | MUTATION

directive @upper("""BCP 47""" localeName: String = "en", maxLength: Int!) on FIELD

"""Who runs it."""
directive @contact(teamName: String) on SCHEMA

directive @key(fields: String!) repeatable on OBJECT | INTERFACE

directive @tag(name: String!) repeatable on OBJECT | FIELD_DEFINITION | ARGUMENT_DEFINITION | ENUM_VALUE | SCALAR | INPUT_OBJECT)");
}

TEST(RenderSdl, RichSchemaWithoutCamelCase) {
    const std::string sdl = render_sdl(rich_schema(false));
    // Only the naming differs; spot every name the flag touches.
    for (const char* line : {
             "schema @contact(team_name: \"ops\") {\n",
             "  user_by_id(user_id: ID!, include_deleted: Boolean = false): User\n",
             "  old_field: String @deprecated(reason: \"use \\\"newField\\\"\")\n",
             "  create_user(input: CreateUserInput!): User!\n",
             "  on_event: String\n",
             "  display_name: String = \"anon\"\n",
             "  avatar_url(size: Int = 64 @deprecated(reason: \"\") @tag(name: \"px\")): String @tag(name: \"media\")\n",
             "directive @upper(\"\"\"BCP 47\"\"\" locale_name: String = \"en\", max_length: Int!) on FIELD",
             "directive @contact(team_name: String) on SCHEMA",
             "directive @key(fields: String!) repeatable",
             "  blue_sky @tag(name: \"b\")\n",
         }) {
        EXPECT_NE(sdl.find(line), std::string::npos) << line;
    }
    // "__secret" keeps its underscores and is left out; nothing else is lost.
    EXPECT_EQ(sdl.find("ecret"), std::string::npos);
    EXPECT_EQ(sdl.find("idden"), std::string::npos);
    EXPECT_EQ(sdl.find("oldField:"), std::string::npos);
    EXPECT_EQ(sdl.find("userById"), std::string::npos);
    EXPECT_EQ(render_sdl(rich_schema(false)), sdl);  // deterministic
}

TEST(RenderSdl, SchemaBlock) {
    CompiledSchema schema = query_only_schema();
    schema.query_type_name = "Root";  // printed although no such type exists
    EXPECT_EQ(render_sdl(schema), "schema {\n  query: Root\n}");
    schema.subscription_type_name = "Events";
    EXPECT_EQ(render_sdl(schema), "schema {\n  query: Root\n  subscription: Events\n}");
    schema.mutation_type_name = "Changes";
    schema.schema_applied_directives = {directive("a"), directive("b")};
    EXPECT_EQ(render_sdl(schema), "schema @a @b {\n  query: Root\n  mutation: Changes\n  subscription: Events\n}");
}

TEST(RenderSdl, WhatIsFilteredByDoubleUnderscore) {
    CompiledSchema schema = query_only_schema();
    add(schema, type(TypeKind::Object, "__Type", {field("x", named("Int"))}));
    add(schema, type(TypeKind::Object, "_", {field("x", named("Int"))}));  // shorter than "__": kept
    add_union(schema, "__U", {"_"});
    schema.scalar_names = {"__S"};
    EXPECT_EQ(render_sdl(schema),
              "schema {\n  query: Query\n}\n\ntype _ {\n  x: Int\n}\n\nunion __U = _\n\nscalar __S");

    // The field filter looks at the output name, after camel-casing.
    CompiledSchema fields = query_only_schema();
    FieldDefinition explicit_name = field("plain", named("Int"));
    explicit_name.graphql_name = "__plain";
    FieldDefinition single = field("_x", named("Int"));
    add(fields, type(TypeKind::Object, "T", {field("__x", named("Int")), std::move(explicit_name), std::move(single)}));
    EXPECT_EQ(render_sdl(fields), "schema {\n  query: Query\n}\n\ntype T {\n  X: Int\n  X: Int\n}");
    fields.auto_camel_case = false;
    EXPECT_EQ(render_sdl(fields), "schema {\n  query: Query\n}\n\ntype T {\n  _x: Int\n}");
}

TEST(RenderSdl, SectionsSortByBytes) {
    CompiledSchema schema = query_only_schema();
    for (const char* name : {"apple", "Zebra", "ab", "AB", "Ab", "A"}) add(schema, type(TypeKind::Object, name));
    schema.scalar_names = {"b", "B", "a"};
    std::string sdl = render_sdl(schema);
    EXPECT_EQ(sdl,
              "schema {\n  query: Query\n}\n\ntype A {\n}\n\ntype AB {\n}\n\ntype Ab {\n}\n\ntype Zebra {\n}\n\n"
              "type ab {\n}\n\ntype apple {\n}\n\nscalar B\n\nscalar a\n\nscalar b");
}

TEST(RenderSdl, TypeHeaders) {
    CompiledSchema schema = query_only_schema();
    TypeDefinition object = type(TypeKind::Object, "O", {field("x", named("Int"))});
    object.one_of = true;
    object.fields[0].default_value = "1";
    add(schema, std::move(object));
    TypeDefinition input = type(TypeKind::InputObject, "I", {field("x", named("Int"))});
    input.one_of = true;
    input.fields[0].default_value = "1";
    input.fields[0].deprecation_reason = "old";
    add(schema, std::move(input));
    TypeDefinition enumeration = type(TypeKind::Enum, "E");
    enumeration.fields.push_back(field("ignored", named("Int")));  // an enum prints its values only
    enumeration.enum_values.push_back(enum_value("A"));
    add(schema, std::move(enumeration));
    TypeDefinition interface = type(TypeKind::Interface, "N", {field("x", named("Int"))});
    interface.interfaces = {"M"};
    add(schema, std::move(interface));
    EXPECT_EQ(render_sdl(schema),
              "schema {\n  query: Query\n}\n\n"
              "enum E {\n  A\n}\n\n"
              "input I @oneOf {\n  x: Int = 1 @deprecated(reason: \"old\")\n}\n\n"
              "interface N implements M {\n  x: Int\n}\n\n"
              "type O {\n  x: Int\n}");
}

TEST(RenderSdl, Descriptions) {
    CompiledSchema schema = query_only_schema();
    TypeDefinition t = type(TypeKind::Object, "T");
    t.description = "";  // empty: no block, no line break
    FieldDefinition two_lines = field("a", named("Int"));
    two_lines.description = "first\nsecond";  // the second line is not indented
    t.fields.push_back(std::move(two_lines));
    FieldDefinition quotes = field("b", named("Int"));
    quotes.description = "say \"\"\"hi\"\"\" now";
    t.fields.push_back(std::move(quotes));
    FieldDefinition ends_quote = field("c", named("Int"));
    ends_quote.description = "called \"c\"";
    t.fields.push_back(std::move(ends_quote));
    FieldDefinition empty = field("d", named("Int"));
    empty.description = "";
    t.fields.push_back(std::move(empty));
    add(schema, std::move(t));
    EXPECT_EQ(render_sdl(schema),
              "schema {\n  query: Query\n}\n\n"
              "type T {\n"
              "  \"\"\"first\nsecond\"\"\"\n"
              "  a: Int\n"
              "  \"\"\"say \\\"\"\"hi\\\"\"\" now\"\"\"\n"
              "  b: Int\n"
              "  \"\"\"called \"c\"\n"
              "  \"\"\"\n"
              "  c: Int\n"
              "  d: Int\n"
              "}");
}

// Block strings end at the first unescaped """: the text must not end the
// block early, and its value must survive.
TEST(RenderSdl, DescriptionsThatWouldCloseTheBlockEarly) {
    struct Case {
        const char* description;
        const char* block;
    };
    const Case cases[] = {
        {"a\"\"\"b", "\"\"\"a\\\"\"\"b\"\"\""},
        {"\"\"\"", "\"\"\"\\\"\"\"\n\"\"\""},           // ends with a quote too
        {"\"\"\"\"", "\"\"\"\\\"\"\"\"\n\"\"\""},
        {"x\"", "\"\"\"x\"\n\"\"\""},
        {"C:\\", "\"\"\"C:\\\n\"\"\""},                 // \""" would be an escaped quote
        {"a\\\"\"\"b", "\"\"\"a\\\\\"\"\"b\"\"\""},      // \\""" reads back as \"""
        {"it's \"\"", "\"\"\"it's \"\"\n\"\"\""},
        {"\"start", "\"\"\"\"start\"\"\""},             // a leading quote is harmless
    };
    for (const Case& c : cases) expect_description_printed(c.description, c.block);
}

// A reader takes the block-string value of a description: lines split at CR,
// LF or CR LF, the common indentation of the later lines removed, blank lines
// at either end dropped. What the block form cannot hold is quoted.
TEST(RenderSdl, DescriptionsReadBackAsStored) {
    struct Case {
        const char* description;
        const char* printed;  // at the start of a section
    };
    const Case cases[] = {
        {"One line.", R"("""One line.""")"},
        {"first\nsecond", "\"\"\"first\nsecond\"\"\""},
        {"a\n\nb", "\"\"\"a\n\nb\"\"\""},                         // a blank line inside stays
        {"  starts indented\nflush", "\"\"\"  starts indented\nflush\"\"\""},  // the first line keeps its indent
        {"  only line", R"("""  only line""")"},
        {"\tTab", "\"\"\"\tTab\"\"\""},
        {"trailing space ", R"("""trailing space """)"},
        {"caf\u00e9 \u2615 \u2028 x", "\"\"\"caf\u00e9 \u2615 \u2028 x\"\"\""},
        // Every later line indented: the first line moves below the opening
        // """, where it holds the common indentation at zero.
        {"first\n  second", "\"\"\"\nfirst\n  second\n\"\"\""},
        {"a\n  \n\tb", "\"\"\"\na\n  \n\tb\n\"\"\""},
        {"a\n  b\"", "\"\"\"\na\n  b\"\n\"\"\""},
        {"a\n\n  b\n\tc", "\"\"\"\na\n\n  b\n\tc\n\"\"\""},
        {"a\n  b\nc", "\"\"\"a\n  b\nc\"\"\""},  // the last line at column one
        {"a\n  b\nc\n  d", "\"\"\"a\n  b\nc\n  d\"\"\""},
        // Quoted: no block holds these.
        {"Ends here.\n", R"("Ends here.\n")"},
        {"x \n", R"("x \n")"},
        {"a\n ", R"("a\n ")"},                                    // a blank last line
        {"\nafter a blank line", R"("\nafter a blank line")"},
        {" \nx", R"(" \nx")"},
        {"   ", R"("   ")"},
        {"  both\n  indented", R"("  both\n  indented")"},
        {"a\rb", R"("a\rb")"},                                    // CR would read back as LF
        {"a\r\nb", R"("a\r\nb")"},
        {"bell\x07", R"("bell\u{7}")"},
        {"\x1f\"q\" \\", R"("\u{1f}\"q\" \\")"},
    };
    for (const Case& c : cases) expect_description_printed(c.description, c.printed);
}

// The same rule at every place a description prints; a closing """ on a line
// of its own takes the place's indent.
TEST(RenderSdl, DescriptionsInEveryPlace) {
    CompiledSchema schema = query_only_schema();
    const std::string quoted = "Ends here.\n";
    const std::string own_lines = "first\n  second";

    TypeDefinition object = type(TypeKind::Object, "O", {field("a", named("Int"))});
    object.description = quoted;
    object.fields[0].description = own_lines;
    object.fields[0].arguments.push_back(argument("x", named("Int")));
    object.fields[0].arguments[0].description = own_lines;
    object.fields[0].arguments.push_back(argument("y", named("Int")));
    object.fields[0].arguments[1].description = quoted;
    add(schema, std::move(object));
    TypeDefinition enumeration = type(TypeKind::Enum, "E");
    enumeration.description = own_lines;
    enumeration.enum_values.push_back(enum_value("A"));
    enumeration.enum_values[0].description = quoted;
    add(schema, std::move(enumeration));
    add_union(schema, "U", {"O"}, quoted);
    OperationDirectiveDefinition operation;
    operation.name = "op";
    operation.description = quoted;
    operation.locations = {OperationDirectiveLocation::Field};
    operation.arguments.push_back(argument("z", named("Int")));
    operation.arguments[0].description = own_lines;
    schema.directives.emplace("op", std::move(operation));
    SchemaDirectiveDefinition tag;
    tag.name = "tag";
    tag.description = own_lines;
    tag.locations = {SchemaDirectiveLocation::Object};
    schema.schema_directives.emplace("tag", std::move(tag));

    EXPECT_EQ(render_sdl(schema), R"(schema {
  query: Query
}

"""
first
  second
"""
enum E {
  "Ends here.\n"
  A
}

"Ends here.\n"
type O {
  """
first
  second
  """
  a("""
first
  second
""" x: Int, "Ends here.\n" y: Int): Int
}

"Ends here.\n"
union U = O

"Ends here.\n"
directive @op("""
first
  second
""" z: Int) on FIELD

"""
first
  second
"""
directive @tag on OBJECT)");
    ArgumentDefinition inline_quoted = argument("x", named("Int"));
    inline_quoted.description = quoted;
    EXPECT_EQ(sdl::render_argument(inline_quoted, true), R"("Ends here.\n" x: Int)");
}

TEST(RenderSdl, UnionDescriptions) {
    CompiledSchema schema = query_only_schema();
    add_union(schema, "A", {"X"}, "Either.");
    add_union(schema, "B", {"X"}, "");  // empty: no block
    add_union(schema, "C", {"X", "Y"});
    add_union(schema, "D", {}, "Nothing yet.");
    EXPECT_EQ(render_sdl(schema),
              "schema {\n  query: Query\n}\n\n\"\"\"Either.\"\"\"\nunion A = X\n\nunion B = X\n\n"
              "union C = X | Y\n\n\"\"\"Nothing yet.\"\"\"\nunion D = ");
}

TEST(RenderSdl, Scalars) {
    CompiledSchema schema = query_only_schema();
    schema.scalar_names = {"Url"};
    schema.scalar_specified_by_urls["Url"] = "https://x.dev/\"q\"";
    schema.scalar_directives["Url"] = {};
    EXPECT_EQ(render_sdl(schema), "schema {\n  query: Query\n}\n\nscalar Url @specifiedBy(url: \"https://x.dev/\\\"q\\\"\")");
    // Lookups for names outside scalar_names print nothing.
    schema.scalar_names.clear();
    EXPECT_EQ(render_sdl(schema), "schema {\n  query: Query\n}");
}

TEST(RenderSdl, Directives) {
    CompiledSchema schema = query_only_schema();
    OperationDirectiveDefinition bare;
    bare.name = "bare";
    schema.directives.emplace("bare", std::move(bare));
    SchemaDirectiveDefinition plain;
    plain.name = "plain";
    plain.locations = {SchemaDirectiveLocation::InputFieldDefinition};
    schema.schema_directives.emplace("plain", std::move(plain));
    EXPECT_EQ(render_sdl(schema),
              "schema {\n  query: Query\n}\n\ndirective @bare on \n\ndirective @plain on INPUT_FIELD_DEFINITION");
}

TEST(RenderSdl, LeavesTheCacheAlone) {
    CompiledSchema schema = rich_schema(true);
    EXPECT_EQ(render_sdl(schema), render_sdl(schema));
    EXPECT_EQ(schema.persisted_query_cache->size(), 0u);
}

// ---- Argument names of applied directives --------------------------------------------

// Other tools read a use's argument names against the directive's definition.
TEST(AppliedDirectiveNames, UsesNameArgumentsAsTheDefinitionDoes) {
    struct Case {
        bool auto_camel_case;
        const char* definition;
        const char* use;
    };
    const Case cases[] = {
        {true, "directive @length(maxLen: Int, lower_bound: Int) on ", "@length(maxLen: 3, lower_bound: 1)"},
        {false, "directive @length(max_len: Int, lower_bound: Int) on ", "@length(max_len: 3, lower_bound: 1)"},
    };
    for (const Case& c : cases) {
        const std::string sdl = render_sdl(schema_applying_length(c.auto_camel_case));
        const std::string use = c.use;
        EXPECT_NE(sdl.find(c.definition), std::string::npos) << c.definition;
        const std::string lines[] = {
            "schema " + use + " {\n",
            "type Query " + use + " {\n",
            "  name: String " + use + "\n",
            "  search(term: String " + use + "): String\n",
            "interface Node " + use + " {\n",
            "  id: ID! " + use + "\n",
            "input Filter " + use + " {\n",
            "  term: String = \"x\" " + use + "\n",
            "enum Color " + use + " {\n",
            "  RED " + use + "\n",
            "scalar Url " + use + "\n",
            "directive @upper(locale: String " + use + ") on FIELD",
        };
        for (const std::string& line : lines) EXPECT_NE(sdl.find(line), std::string::npos) << c.use << "\n" << line;
        // Every use is one of those lines; the other "@length(" is the definition.
        EXPECT_EQ(count_of(sdl, "@length("), std::size(lines) + 1) << sdl;
    }
}

TEST(AppliedDirectiveNames, UnknownDirectivesAndKeysPrintAsStored) {
    CompiledSchema schema = schema_applying_length(true);
    schema.directives.at("upper").arguments.push_back(argument("locale_name", named("String")));
    schema.schema_applied_directives = {
        directive("length", {{"max_len", number(3)}, {"extra_key", number(2)}, {"maxLen", number(4)}}),
        directive("other", {{"max_len", number(1)}}),
        // Applied directives are schema directives: an operation directive's
        // arguments rename nothing.
        directive("upper", {{"locale_name", text("en")}}),
    };
    const std::string sdl = render_sdl(schema);
    EXPECT_EQ(sdl.substr(0, sdl.find('{')),
              "schema @length(maxLen: 3, extra_key: 2, maxLen: 4) @other(max_len: 1) @upper(locale_name: \"en\") ");
    EXPECT_NE(sdl.find("directive @upper(locale: String @length(maxLen: 3, lower_bound: 1), localeName: String)"),
              std::string::npos);
}

TEST(AppliedDirectiveNames, AnExplicitNameIsFoundBeforeAPythonName) {
    CompiledSchema schema = query_only_schema();
    SchemaDirectiveDefinition pick;
    pick.name = "pick";
    pick.locations = {SchemaDirectiveLocation::Schema};
    pick.fields = {DirectiveFieldDefinition{"a_b", std::nullopt, named("Int")},
                   DirectiveFieldDefinition{"c", std::string("a_b"), named("Int")},
                   DirectiveFieldDefinition{"d_e", std::string("shown"), named("Int")}};
    schema.schema_directives.emplace("pick", std::move(pick));
    // "a_b" is c's explicit name before it is a_b's Python name; "d_e" is
    // found by its Python name and prints as its explicit one.
    schema.schema_applied_directives = {directive("pick", {{"a_b", number(1)}, {"d_e", number(2)}})};
    EXPECT_EQ(render_sdl(schema),
              "schema @pick(a_b: 1, shown: 2) {\n  query: Query\n}\n\n"
              "directive @pick(aB: Int, a_b: Int, shown: Int) on SCHEMA");
}

// @hook over enum Event (ORDER_CREATED, and PAID named ORDER_PAID), applied
// with JSON strings: those at an enum place that name a value print bare.
TEST(AppliedDirectiveNames, EnumValuesPrintAsEnumValues) {
    CompiledSchema schema = query_only_schema();
    TypeDefinition event = type(TypeKind::Enum, "Event");
    event.enum_values.push_back(enum_value("ORDER_CREATED"));
    event.enum_values.push_back(enum_value("PAID"));
    event.enum_values[1].graphql_name = "ORDER_PAID";
    for (const char* odd : {"null", "has space", "true"}) {  // names no literal can spell
        event.enum_values.push_back(enum_value(odd));
    }
    add(schema, std::move(event));
    add(schema, type(TypeKind::Object, "Order", {field("id", named("ID"))}));
    SchemaDirectiveDefinition hook;
    hook.name = "hook";
    hook.locations = {SchemaDirectiveLocation::Schema};
    hook.fields = {DirectiveFieldDefinition{"events", std::nullopt, list(non_null(named("Event")))},
                   DirectiveFieldDefinition{"first", std::nullopt, named("Event")},
                   DirectiveFieldDefinition{"when", std::string("at"), non_null(named("Event"))},
                   DirectiveFieldDefinition{"nested", std::nullopt, non_null(list(list(named("Event"))))},
                   DirectiveFieldDefinition{"label", std::nullopt, named("String")},
                   DirectiveFieldDefinition{"order", std::nullopt, named("Order")}};
    schema.schema_directives.emplace("hook", std::move(hook));

    struct Case {
        const char* key;
        json::Value value;
        const char* printed;
    };
    const Case cases[] = {
        {"events", json::Array{text("ORDER_CREATED"), text("ORDER_PAID")}, "events: [ORDER_CREATED, ORDER_PAID]"},
        {"events", json::Array{text("PAID"), text("order_created"), text("")}, R"(events: ["PAID", "order_created", ""])"},
        {"events", text("ORDER_CREATED"), "events: ORDER_CREATED"},  // one value in place of a list
        {"events", json::Array{json::Array{text("ORDER_CREATED")}}, R"(events: [["ORDER_CREATED"]])"},
        {"events", json::Array{json::Value(), number(1)}, "events: [null, 1]"},
        {"first", text("ORDER_PAID"), "first: ORDER_PAID"},
        {"first", json::Array{text("ORDER_PAID")}, R"(first: ["ORDER_PAID"])"},
        {"first", json::Object{{"v", text("ORDER_PAID")}}, R"(first: {v: "ORDER_PAID"})"},
        {"first", text("null"), R"(first: "null")"},
        {"first", text("true"), R"(first: "true")"},
        {"first", text("has space"), R"(first: "has space")"},
        {"at", text("ORDER_CREATED"), "at: ORDER_CREATED"},    // Event!, found by its explicit name
        {"when", text("ORDER_CREATED"), "at: ORDER_CREATED"},  // and by its Python name
        {"nested", json::Array{json::Array{text("ORDER_CREATED")}, text("ORDER_PAID")},
         "nested: [[ORDER_CREATED], ORDER_PAID]"},
        {"label", text("ORDER_CREATED"), R"(label: "ORDER_CREATED")"},
        {"order", text("ORDER_CREATED"), R"(order: "ORDER_CREATED")"},
        {"unknown", text("ORDER_CREATED"), R"(unknown: "ORDER_CREATED")"},
    };
    for (const Case& c : cases) {
        schema.schema_applied_directives = {directive("hook", {{c.key, c.value}})};
        const std::string sdl = render_sdl(schema);
        EXPECT_EQ(sdl.substr(0, sdl.find(" {\n")), std::string("schema @hook(") + c.printed + ")") << c.printed;
    }

    // Another directive's field of the same name, and the printers without
    // the schema's names, print the string as stored.
    const AppliedDirective other = directive("other", {{"first", text("ORDER_PAID")}});
    const AppliedDirective use = directive("hook", {{"first", text("ORDER_PAID")}});
    const sdl::AppliedDirectiveNames names = sdl::index_applied_directive_names(schema);
    EXPECT_EQ(sdl::render_applied_directive(other, names), R"(@other(first: "ORDER_PAID"))");
    EXPECT_EQ(sdl::render_applied_directive(use, names), "@hook(first: ORDER_PAID)");
    EXPECT_EQ(sdl::render_applied_directive(use), R"(@hook(first: "ORDER_PAID"))");
    EXPECT_EQ(sdl::render_json_value(text("ORDER_PAID")), R"("ORDER_PAID")");
}

// @hook(filter: Filter, filters: [Filter!]) over input Filter, whose fields
// reach enum Event directly, through a list and through Filter itself.
TEST(AppliedDirectiveNames, EnumValuesInsideInputObjects) {
    CompiledSchema schema = query_only_schema();
    add(schema, enum_type("Event", {"ORDER_CREATED", "ORDER_PAID"}));
    TypeDefinition filter = type(TypeKind::InputObject, "Filter",
                                 {field("kind", named("Event")), field("event_list", list(non_null(named("Event")))),
                                  field("inner", named("Filter")), field("label", named("String")),
                                  field("x_y", named("String")), field("b", named("Event"))});
    filter.fields[5].graphql_name = "x_y";  // a printed name wins over another field's Python name
    add(schema, std::move(filter));
    SchemaDirectiveDefinition hook;
    hook.name = "hook";
    hook.locations = {SchemaDirectiveLocation::Schema};
    hook.fields = {DirectiveFieldDefinition{"filter", std::nullopt, named("Filter")},
                   DirectiveFieldDefinition{"filters", std::nullopt, list(non_null(named("Filter")))}};
    schema.schema_directives.emplace("hook", std::move(hook));

    const auto object = [](const char* key, json::Value value) { return json::Value(json::Object{{key, value}}); };
    struct Case {
        const char* key;
        json::Value value;
        const char* printed;
    };
    const Case cases[] = {
        {"filter", object("kind", text("ORDER_PAID")), "filter: {kind: ORDER_PAID}"},
        {"filter", object("eventList", json::Array{text("ORDER_CREATED")}), "filter: {eventList: [ORDER_CREATED]}"},
        {"filter", object("event_list", text("ORDER_PAID")), "filter: {event_list: ORDER_PAID}"},  // Python name
        {"filter", object("inner", object("inner", object("kind", text("ORDER_PAID")))),
         "filter: {inner: {inner: {kind: ORDER_PAID}}}"},
        {"filter", object("label", text("ORDER_PAID")), R"(filter: {label: "ORDER_PAID"})"},
        {"filter", object("x_y", text("ORDER_PAID")), "filter: {x_y: ORDER_PAID}"},
        {"filter", object("xY", text("ORDER_PAID")), R"(filter: {xY: "ORDER_PAID"})"},
        {"filter", object("unknown", text("ORDER_PAID")), R"(filter: {unknown: "ORDER_PAID"})"},
        {"filter", object("kind", text("true")), R"(filter: {kind: "true"})"},
        {"filter", object("kind", text("OTHER")), R"(filter: {kind: "OTHER"})"},
        {"filter", text("ORDER_PAID"), R"(filter: "ORDER_PAID")"},
        {"filters", json::Array{object("kind", text("ORDER_PAID")), object("kind", text("ORDER_CREATED"))},
         "filters: [{kind: ORDER_PAID}, {kind: ORDER_CREATED}]"},
        {"filters", object("kind", text("ORDER_PAID")), "filters: {kind: ORDER_PAID}"},  // one in place of a list
        {"filters", json::Array{json::Array{object("kind", text("ORDER_PAID"))}}, R"(filters: [[{kind: "ORDER_PAID"}]])"},
    };
    for (const Case& c : cases) {
        schema.schema_applied_directives = {directive("hook", {{c.key, c.value}})};
        const std::string sdl = render_sdl(schema);
        EXPECT_EQ(sdl.substr(0, sdl.find(" {\n")), std::string("schema @hook(") + c.printed + ")") << c.printed;
    }
}

TEST(AppliedDirectiveNames, PublicPrinters) {
    const CompiledSchema schema = schema_applying_length(true);
    const sdl::AppliedDirectiveNames names = sdl::index_applied_directive_names(schema);
    const AppliedDirective use = directive("length", {{"max_len", number(3)}, {"lower_bound", number(1)}});
    EXPECT_EQ(sdl::render_applied_directive(use, names), "@length(maxLen: 3, lower_bound: 1)");
    EXPECT_EQ(sdl::render_applied_directives({use, directive("x", {{"max_len", number(1)}}), directive("length")},
                                             names),
              " @length(maxLen: 3, lower_bound: 1) @x(max_len: 1) @length");
    // Without the schema's names, keys print as stored.
    EXPECT_EQ(sdl::render_applied_directive(use), "@length(max_len: 3, lower_bound: 1)");
}

// ---- Printers ------------------------------------------------------------------------

TEST(SdlStringQuoting, Table) {
    struct Case {
        std::string input;
        const char* output;
    };
    const Case cases[] = {
        {"plain", "\"plain\""},
        {"", "\"\""},
        {"a\"b\\c\nd", "\"a\\\"b\\\\c\\nd\""},
        {"\t\r", "\"\\t\\r\""},
        {std::string("\0", 1), "\"\\u{0}\""},  // "\0" is no GraphQL escape
        {"\x07", "\"\\u{7}\""},
        {"\x08\x0C", "\"\\u{8}\\u{c}\""},      // no \b or \f short forms
        {"\x1F\x7F", "\"\\u{1f}\\u{7f}\""},
        {"it's a/b ", "\"it's a/b \""},
        {"\u00E9", "\"\u00E9\""},
        {"\u00A0", "\"\\u{a0}\""},             // Zs other than SPACE
        {"e\u0301", "\"e\\u{301}\""},          // Grapheme_Extend
        {"\uFE0F\U000E0100", "\"\\u{fe0f}\\u{e0100}\""},
        {"\u200B\uFEFF", "\"\\u{200b}\\u{feff}\""},  // Cf
        {"\u2028\u2029\u3000", "\"\\u{2028}\\u{2029}\\u{3000}\""},
        {"\uE000\U0010FFFD", "\"\\u{e000}\\u{10fffd}\""},  // Co
        {"\u0378\U0010FFFF\U000E0000", "\"\\u{378}\\u{10ffff}\\u{e0000}\""},  // Cn
        {"\u4E00\u3400\U00020000\uAC00\U0001F600", "\"\u4E00\u3400\U00020000\uAC00\U0001F600\""},  // ranged blocks
        {"a\xFF" "b", "\"a\uFFFDb\""},          // not UTF-8: replaced, the output stays valid
    };
    for (const Case& c : cases) EXPECT_EQ(sdl_quoted(c.input), c.output) << c.output;
}

// Escapes next to runs of plain text, and the sequences that are not UTF-8,
// which JSON text would copy as they are.
TEST(SdlStringQuoting, EscapesBetweenRunsAndBrokenSequences) {
    struct Case {
        std::string input;
        const char* output;
    };
    const Case cases[] = {
        {"\"start", "\"\\\"start\""},
        {"end\\", "\"end\\\\\""},
        {"ab\"\"cd\x7F\x7F" "ef", "\"ab\\\"\\\"cd\\u{7f}\\u{7f}ef\""},
        {"x\u00E9y\u2028z", "\"x\u00E9y\\u{2028}z\""},
        {"\U0001F600", "\"\U0001F600\""},
        {"x\xE2\x82", "\"x\uFFFD\uFFFD\""},          // cut short at the end
        {"\xED\xA0\x80", "\"\uFFFD\uFFFD\uFFFD\""},    // a surrogate
        {"\xC0\xAF" "a", "\"\uFFFD\uFFFDa\""},          // overlong
        {"\x80\xBF", "\"\uFFFD\uFFFD\""},               // continuation bytes alone
    };
    for (const Case& c : cases) EXPECT_EQ(sdl_quoted(c.input), c.output) << c.output;
    std::string quoted;
    json::append_quoted_string(quoted, "a\bb", json::QuoteForm::GraphQL);
    EXPECT_EQ(quoted, "\"a\\u{8}b\"");
}

TEST(RenderJsonValue, NumbersScalarsAndContainers) {
    struct Case {
        json::Value value;
        const char* text;
    };
    json::Object unsorted;
    unsorted.emplace("b", number(1));
    unsorted.emplace("a", number(2));
    json::Object raw_keys;
    raw_keys.emplace("a b", number(1));
    raw_keys.emplace("q\"k", text("v"));
    const Case cases[] = {
        {number(0), "0"},
        {Number::from_signed(-7), "-7"},
        {number(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
        {Number::from_signed(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {Number::from_double(2.0), "2.0"},
        {Number::from_double(123456789.125), "123456789.125"},
        {Number::from_double(1e21), "1e+21"},
        {Number::from_double(-0.0), "-0.0"},
        {Number::from_double(0.000001), "1e-6"},
        {Number::from_double(1e15), "1000000000000000.0"},
        {json::Value(), "null"},
        {json::Value(true), "true"},
        {json::Value(false), "false"},
        {text("a\"\u00A0"), "\"a\\\"\\u{a0}\""},
        {json::Array{}, "[]"},
        {json::Object{}, "{}"},
        {json::Array{number(1), text("a"), json::Array{json::Value()}, json::Object{}}, "[1, \"a\", [null], {}]"},
        {unsorted, "{a: 2, b: 1}"},
        {raw_keys, "{a b: 1, q\"k: \"v\"}"},
        {json::Object{{"o", json::Object{{"l", json::Array{number(1), number(2)}}}}}, "{o: {l: [1, 2]}}"},
    };
    for (const Case& c : cases) EXPECT_EQ(sdl::render_json_value(c.value), c.text) << c.text;
}

TEST(RenderJsonValue, DeepNesting) {
    // Deep enough to show nesting is not limited; json::Value's own destructor
    // recurses, which bounds how deep a test value can be built.
    constexpr int depth = 2'000;
    json::Value value = number(1);
    for (int i = 0; i < depth; ++i) {
        json::Array wrapper;
        wrapper.push_back(std::move(value));  // an initializer list would copy
        value = std::move(wrapper);
    }
    const std::string out = sdl::render_json_value(value);
    EXPECT_EQ(out, std::string(depth, '[') + "1" + std::string(depth, ']'));
}

TEST(RenderAppliedDirectives, OrderAndSpacing) {
    EXPECT_EQ(sdl::render_applied_directive(directive("d")), "@d");
    EXPECT_EQ(sdl::render_applied_directive(directive("d", {{"z", number(1)}, {"a", number(2)}})), "@d(z: 1, a: 2)");
    EXPECT_EQ(sdl::render_applied_directive(directive("d", {{"first_name", json::Value()}})), "@d(first_name: null)");
    EXPECT_EQ(sdl::render_applied_directives({directive("a"), directive("b")}), " @a @b");
    EXPECT_EQ(sdl::render_applied_directives({}), "");
}

TEST(RenderArguments, ArgumentText) {
    ArgumentDefinition a = argument("first_name", non_null(named("String")));
    EXPECT_EQ(sdl::render_argument(a, true), "firstName: String!");  // required, no default
    EXPECT_EQ(sdl::render_argument(a, false), "first_name: String!");
    a.graphql_name = "given";
    EXPECT_EQ(sdl::render_argument(a, true), "given: String!");
    EXPECT_EQ(sdl::render_argument(a, false), "given: String!");

    ArgumentDefinition b = argument("__ids", list(named("Int")));
    EXPECT_EQ(sdl::render_argument(b, true), "Ids: [Int]");  // arguments are never filtered
    EXPECT_EQ(sdl::render_argument(b, false), "__ids: [Int]");
    b.description = "";
    b.default_value = "[1, 2]";
    EXPECT_EQ(sdl::render_argument(b, false), "__ids: [Int] = [1, 2]");
    b.description = "The\nids";
    b.default_value = "";
    b.deprecation_reason = "";
    b.directives = {directive("x"), directive("y", {{"k", text("v")}})};
    EXPECT_EQ(sdl::render_argument(b, false),
              "\"\"\"The\nids\"\"\" __ids: [Int] =  @deprecated(reason: \"\") @x @y(k: \"v\")");

    EXPECT_EQ(sdl::render_arguments({}, true), "");
    EXPECT_EQ(sdl::render_arguments({argument("a_b", named("Int")), argument("c", named("String"))}, true),
              "(aB: Int, c: String)");
}

TEST(RenderArguments, DirectiveField) {
    DirectiveFieldDefinition f{"team_name", std::nullopt, non_null(list(named("String")))};
    EXPECT_EQ(sdl::render_directive_field(f, true), "teamName: [String]!");
    EXPECT_EQ(sdl::render_directive_field(f, false), "team_name: [String]!");
    f.graphql_name = "";
    EXPECT_EQ(sdl::render_directive_field(f, true), ": [String]!");
}
