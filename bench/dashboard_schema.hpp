// The schema that bench/data/schema.graphql describes, built as core records
// with Python (snake_case) names and auto_camel_case on, as the extension
// builds them. Shared by the validation benchmark and the fuzz harnesses.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "dovrane_core/schema.hpp"

namespace dashboard {

using namespace dovrane_core;
using schema::ArgumentDefinition;
using schema::FieldDefinition;
using schema::GraphQLType;
using schema::TypeDefinition;
using schema::TypeKind;

// "[String!]!" and the like.
inline GraphQLType type_of(std::string_view text) {
    if (!text.empty() && text.back() == '!') return GraphQLType::non_null(type_of(text.substr(0, text.size() - 1)));
    if (!text.empty() && text.front() == '[') return GraphQLType::list(type_of(text.substr(1, text.size() - 2)));
    return GraphQLType::named(std::string(text));
}

inline ArgumentDefinition arg(const char* name, const char* type, bool has_default = false) {
    ArgumentDefinition definition;
    definition.name = name;
    definition.arg_type = type_of(type);
    definition.has_default = has_default;
    return definition;
}

inline FieldDefinition field(const char* name, const char* type,
                             std::initializer_list<ArgumentDefinition> arguments = {},
                             const char* default_value = nullptr) {
    FieldDefinition definition;
    definition.name = name;
    definition.field_type = type_of(type);
    definition.arguments.assign(arguments.begin(), arguments.end());
    if (default_value) definition.default_value = default_value;
    return definition;
}

inline void add_type(schema::CompiledSchema& schema, TypeKind kind, const char* name,
                     std::vector<FieldDefinition> fields, std::vector<std::string> interfaces = {}) {
    TypeDefinition definition;
    definition.kind = kind;
    definition.name = name;
    definition.fields = std::move(fields);
    definition.interfaces = std::move(interfaces);
    schema.types.emplace(name, std::move(definition));
}

inline void add_enum(schema::CompiledSchema& schema, const char* name, std::initializer_list<const char*> members) {
    TypeDefinition definition;
    definition.kind = TypeKind::Enum;
    definition.name = name;
    for (const char* member : members) {
        schema::EnumValueDefinition value;
        value.name = member;
        definition.enum_values.push_back(std::move(value));
    }
    schema.types.emplace(name, std::move(definition));
}

inline schema::CompiledSchema dashboard_schema() {
    schema::CompiledSchema schema;
    schema.query_type_name = "Query";
    schema.mutation_type_name = "Mutation";
    schema.subscription_type_name = "Subscription";
    schema.scalar_names = {"DateTime", "JSON"};
    schema.auto_camel_case = true;

    const auto page = [] { return arg("page", "PageInput", true); };
    add_type(schema, TypeKind::Interface, "Node", {field("id", "ID!")});
    add_type(schema, TypeKind::Interface, "Content",
             {field("id", "ID!"), field("title", "String!"), field("created_at", "DateTime!"), field("author", "User")},
             {"Node"});
    add_enum(schema, "Role", {"ADMIN", "EDITOR", "VIEWER"});
    add_enum(schema, "OrderDirection", {"ASC", "DESC"});
    add_enum(schema, "PostStatus", {"DRAFT", "PUBLISHED", "ARCHIVED"});
    add_type(schema, TypeKind::InputObject, "PageInput",
             {field("first", "Int", {}, "10"), field("after", "String"), field("last", "Int"),
              field("before", "String")});
    add_type(schema, TypeKind::InputObject, "PostFilter",
             {field("status", "PostStatus"), field("tags", "[String!]"), field("author_id", "ID"),
              field("search", "String"), field("created_after", "DateTime")});
    add_type(schema, TypeKind::InputObject, "PostOrder",
             {field("field", "String!"), field("direction", "OrderDirection", {}, "ASC")});
    add_type(schema, TypeKind::InputObject, "CreatePostInput",
             {field("title", "String!"), field("body", "String!"), field("tags", "[String!]", {}, "[]"),
              field("status", "PostStatus", {}, "DRAFT")});
    add_type(schema, TypeKind::Object, "PageInfo",
             {field("has_next_page", "Boolean!"), field("has_previous_page", "Boolean!"),
              field("start_cursor", "String"), field("end_cursor", "String")});
    add_type(schema, TypeKind::Object, "User",
             {field("id", "ID!"), field("name", "String!"), field("email", "String"), field("role", "Role!"),
              field("avatar", "String", {arg("size", "Int", true)}),
              field("posts", "PostConnection!",
                    {page(), arg("filter", "PostFilter", true), arg("order", "[PostOrder!]", true)}),
              field("followers", "UserConnection!", {page()}), field("following", "UserConnection!", {page()}),
              field("profile", "Profile")},
             {"Node"});
    add_type(schema, TypeKind::Object, "Profile",
             {field("bio", "String"), field("website", "String"), field("location", "String"),
              field("joined_at", "DateTime!")});
    add_type(schema, TypeKind::Object, "Post",
             {field("id", "ID!"), field("title", "String!"), field("body", "String!", {arg("format", "String", true)}),
              field("created_at", "DateTime!"), field("updated_at", "DateTime"), field("author", "User"),
              field("status", "PostStatus!"), field("tags", "[String!]!"),
              field("comments", "CommentConnection!", {page()}), field("reactions", "[Reaction!]!"),
              field("metadata", "JSON")},
             {"Node", "Content"});
    add_type(schema, TypeKind::Object, "Comment",
             {field("id", "ID!"), field("title", "String!"), field("created_at", "DateTime!"), field("author", "User"),
              field("text", "String!"), field("replies", "CommentConnection!", {page()}),
              field("parent", "Comment")},
             {"Node", "Content"});
    add_type(schema, TypeKind::Object, "Reaction",
             {field("kind", "String!"), field("count", "Int!"), field("viewer_has_reacted", "Boolean!")});
    for (const auto& [connection, edge, node] :
         {std::tuple{"PostConnection", "PostEdge", "Post!"}, std::tuple{"UserConnection", "UserEdge", "User!"},
          std::tuple{"CommentConnection", "CommentEdge", "Comment!"}}) {
        add_type(schema, TypeKind::Object, edge, {field("cursor", "String!"), field("node", node)});
        const std::string edges = std::string("[") + edge + "!]!";
        add_type(schema, TypeKind::Object, connection,
                 {field("edges", edges.c_str()), field("page_info", "PageInfo!"), field("total_count", "Int!")});
    }
    schema::UnionDefinition search_result;
    search_result.name = "SearchResult";
    search_result.member_names = {"User", "Post", "Comment"};
    schema.unions.emplace("SearchResult", std::move(search_result));
    add_type(schema, TypeKind::Object, "Query",
             {field("node", "Node", {arg("id", "ID!")}), field("viewer", "User"),
              field("user", "User", {arg("id", "ID!")}),
              field("users", "UserConnection!", {page(), arg("role", "Role", true)}),
              field("post", "Post", {arg("id", "ID!")}),
              field("posts", "PostConnection!",
                    {page(), arg("filter", "PostFilter", true), arg("order", "[PostOrder!]", true)}),
              field("search", "[SearchResult!]!", {arg("text", "String!"), arg("first", "Int", true)})});
    add_type(schema, TypeKind::Object, "Mutation",
             {field("create_post", "Post", {arg("input", "CreatePostInput!")}),
              field("react", "Reaction", {arg("post_id", "ID!"), arg("kind", "String!")})});
    add_type(schema, TypeKind::Object, "Subscription", {field("post_added", "Post", {arg("author_id", "ID", true)})});
    return schema;
}

}  // namespace dashboard
