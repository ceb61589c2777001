// Test support, never part of the library: the schemas that more than one
// test, benchmark or fuzz harness runs against, built once here.
#pragma once

#include <cstddef>
#include <string>
#include <tuple>

#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"
#include "dovrane_core/validation.hpp"

namespace dovrane_core::test_support {

// The query root named "Query", and nothing registered.
inline schema::CompiledSchema query_only_schema() {
    schema::CompiledSchema schema;
    schema.query_type_name = "Query";
    return schema;
}

// type Query { hello: String }
inline schema::CompiledSchema hello_schema() {
    schema::CompiledSchema schema = query_only_schema();
    add(schema, type(schema::TypeKind::Object, "Query", {field("hello", "String")}));
    return schema;
}

// interface Node { id: ID! }, object types T0 ... T{count - 1} implementing
// it, each with id and name, and type Query { node: Node }: a schema whose
// size is all in one interface's possible types. Not indexed.
inline schema::CompiledSchema interface_schema(std::size_t count) {
    using schema::TypeKind;
    schema::CompiledSchema schema = query_only_schema();
    add(schema, type(TypeKind::Interface, "Node", {field("id", "ID!")}));
    for (std::size_t i = 0; i < count; ++i) {
        add(schema, type(TypeKind::Object, "T" + std::to_string(i), {field("id", "ID!"), field("name", "String")},
                         {"Node"}));
    }
    add(schema, type(TypeKind::Object, "Query", {field("node", "Node")}));
    return schema;
}

// The schema that bench/data/schema.graphql describes, with Python
// (snake_case) names and auto_camel_case on, as the extension builds it,
// indexed for validation.
inline schema::CompiledSchema dashboard_schema() {
    using schema::TypeKind;
    schema::CompiledSchema schema;
    schema.query_type_name = "Query";
    schema.mutation_type_name = "Mutation";
    schema.subscription_type_name = "Subscription";
    schema.scalar_names = {"DateTime", "JSON"};
    schema.auto_camel_case = true;

    const auto page = [] { return argument("page", "PageInput", true); };
    add(schema, type(TypeKind::Interface, "Node", {field("id", "ID!")}));
    add(schema, type(TypeKind::Interface, "Content",
                     {field("id", "ID!"), field("title", "String!"), field("created_at", "DateTime!"),
                      field("author", "User")},
                     {"Node"}));
    add(schema, enum_type("Role", {"ADMIN", "EDITOR", "VIEWER"}));
    add(schema, enum_type("OrderDirection", {"ASC", "DESC"}));
    add(schema, enum_type("PostStatus", {"DRAFT", "PUBLISHED", "ARCHIVED"}));
    add(schema, type(TypeKind::InputObject, "PageInput",
                     {field_with_default("first", "Int", "10"), field("after", "String"), field("last", "Int"),
                      field("before", "String")}));
    add(schema, type(TypeKind::InputObject, "PostFilter",
                     {field("status", "PostStatus"), field("tags", "[String!]"), field("author_id", "ID"),
                      field("search", "String"), field("created_after", "DateTime")}));
    add(schema, type(TypeKind::InputObject, "PostOrder",
                     {field("field", "String!"), field_with_default("direction", "OrderDirection", "ASC")}));
    add(schema, type(TypeKind::InputObject, "CreatePostInput",
                     {field("title", "String!"), field("body", "String!"), field_with_default("tags", "[String!]", "[]"),
                      field_with_default("status", "PostStatus", "DRAFT")}));
    add(schema, type(TypeKind::Object, "PageInfo",
                     {field("has_next_page", "Boolean!"), field("has_previous_page", "Boolean!"),
                      field("start_cursor", "String"), field("end_cursor", "String")}));
    add(schema, type(TypeKind::Object, "User",
                     {field("id", "ID!"), field("name", "String!"), field("email", "String"), field("role", "Role!"),
                      field("avatar", "String", {argument("size", "Int", true)}),
                      field("posts", "PostConnection!",
                            {page(), argument("filter", "PostFilter", true), argument("order", "[PostOrder!]", true)}),
                      field("followers", "UserConnection!", {page()}), field("following", "UserConnection!", {page()}),
                      field("profile", "Profile")},
                     {"Node"}));
    add(schema, type(TypeKind::Object, "Profile",
                     {field("bio", "String"), field("website", "String"), field("location", "String"),
                      field("joined_at", "DateTime!")}));
    add(schema, type(TypeKind::Object, "Post",
                     {field("id", "ID!"), field("title", "String!"),
                      field("body", "String!", {argument("format", "String", true)}), field("created_at", "DateTime!"),
                      field("updated_at", "DateTime"), field("author", "User"), field("status", "PostStatus!"),
                      field("tags", "[String!]!"), field("comments", "CommentConnection!", {page()}),
                      field("reactions", "[Reaction!]!"), field("metadata", "JSON")},
                     {"Node", "Content"}));
    add(schema, type(TypeKind::Object, "Comment",
                     {field("id", "ID!"), field("title", "String!"), field("created_at", "DateTime!"),
                      field("author", "User"), field("text", "String!"),
                      field("replies", "CommentConnection!", {page()}), field("parent", "Comment")},
                     {"Node", "Content"}));
    add(schema, type(TypeKind::Object, "Reaction",
                     {field("kind", "String!"), field("count", "Int!"), field("viewer_has_reacted", "Boolean!")}));
    for (const auto& [connection, edge, node] :
         {std::tuple{"PostConnection", "PostEdge", "Post!"}, std::tuple{"UserConnection", "UserEdge", "User!"},
          std::tuple{"CommentConnection", "CommentEdge", "Comment!"}}) {
        add(schema, type(TypeKind::Object, edge, {field("cursor", "String!"), field("node", node)}));
        const std::string edges = std::string("[") + edge + "!]!";
        add(schema, type(TypeKind::Object, connection,
                         {field("edges", edges.c_str()), field("page_info", "PageInfo!"),
                          field("total_count", "Int!")}));
    }
    add(schema, union_type("SearchResult", {"User", "Post", "Comment"}));
    add(schema, type(TypeKind::Object, "Query",
                     {field("node", "Node", {argument("id", "ID!")}), field("viewer", "User"),
                      field("user", "User", {argument("id", "ID!")}),
                      field("users", "UserConnection!", {page(), argument("role", "Role", true)}),
                      field("post", "Post", {argument("id", "ID!")}),
                      field("posts", "PostConnection!",
                            {page(), argument("filter", "PostFilter", true), argument("order", "[PostOrder!]", true)}),
                      field("search", "[SearchResult!]!", {argument("text", "String!"), argument("first", "Int", true)})}));
    add(schema, type(TypeKind::Object, "Mutation",
                     {field("create_post", "Post", {argument("input", "CreatePostInput!")}),
                      field("react", "Reaction", {argument("post_id", "ID!"), argument("kind", "String!")})}));
    add(schema, type(TypeKind::Object, "Subscription",
                     {field("post_added", "Post", {argument("author_id", "ID", true)})}));
    validation::index_schema(schema);
    return schema;
}

}  // namespace dovrane_core::test_support
