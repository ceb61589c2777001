#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "dovrane_core/error.hpp"
#include "dovrane_core/persisted_query.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"

using namespace dovrane_core;
using error::ErrorCode;
using persisted_query::resolve_persisted_query;
using persisted_query::sha256_hex;
using test_support::hello_schema;

namespace {

// Registers `text` under its own hash.
error::Result<persisted_query::ResolvedQuery> register_text(const schema::CompiledSchema& schema, std::string_view text,
                                                            std::optional<std::string_view> operation_name,
                                                            bool validate) {
    return resolve_persisted_query(schema, sha256_hex(text).value(), text, operation_name, validate);
}

error::Result<persisted_query::ResolvedQuery> hash_only(const schema::CompiledSchema& schema, std::string_view text,
                                                        std::optional<std::string_view> operation_name = std::nullopt,
                                                        bool validate = true) {
    return resolve_persisted_query(schema, sha256_hex(text).value(), std::nullopt, operation_name, validate);
}

void expect_not_found(const error::Result<persisted_query::ResolvedQuery>& result) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message, "PersistedQueryNotFound");
    EXPECT_EQ(result.error().code, ErrorCode::PersistedQueryNotFound);
    EXPECT_FALSE(result.error().locations.has_value());
}

void expect_failure(const error::Result<persisted_query::ResolvedQuery>& result, std::string_view message) {
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message, message);
}

}  // namespace

TEST(PersistedQueries, RegisteringThenAskingByHashReturnsTheSameDocument) {
    schema::CompiledSchema schema = hello_schema();
    const std::string text = "{ hello }";
    auto registered = register_text(schema, text, std::nullopt, true);
    ASSERT_TRUE(registered.ok()) << registered.error().message;
    EXPECT_TRUE(registered->registered);
    ASSERT_NE(registered->document, nullptr);

    auto hit = hash_only(schema, text);
    ASSERT_TRUE(hit.ok()) << hit.error().message;
    EXPECT_FALSE(hit->registered);
    EXPECT_EQ(hit->document, registered->document);  // shared, not parsed again

    // Sending the text again registers it again.
    auto again = register_text(schema, text, std::nullopt, true);
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(again->registered);
}

TEST(PersistedQueries, AHashNeverRegisteredIsNotFound) {
    schema::CompiledSchema schema = hello_schema();
    expect_not_found(hash_only(schema, "{ hello }"));
    expect_not_found(hash_only(schema, "{ hello }", std::nullopt, false));
}

TEST(PersistedQueries, AnUpperCaseHashDoesNotMatchItsText) {
    schema::CompiledSchema schema = hello_schema();
    const std::string text = "{ hello }";
    std::string upper = sha256_hex(text).value();
    for (char& c : upper) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    auto result = resolve_persisted_query(schema, upper, text, std::nullopt, true);
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message, "provided sha256Hash does not match the hash of the query");
    EXPECT_EQ(result.error().code, ErrorCode::PersistedQueryMismatch);
    EXPECT_FALSE(result.error().locations.has_value());
    expect_not_found(hash_only(schema, text));
}

TEST(PersistedQueries, FailuresOnTheTextRoadStoreNothing) {
    schema::CompiledSchema schema = hello_schema();

    auto unparsable = register_text(schema, "{ hello", std::nullopt, true);
    ASSERT_FALSE(unparsable.ok());
    EXPECT_EQ(unparsable.error().code, ErrorCode::GraphqlParseFailed);
    expect_not_found(hash_only(schema, "{ hello"));

    auto invalid = register_text(schema, "{ nope }", std::nullopt, true);
    expect_failure(invalid, "field 'nope' does not exist on type 'Query'");
    EXPECT_EQ(invalid.error().code, ErrorCode::UnknownField);
    expect_not_found(hash_only(schema, "{ nope }", std::nullopt, false));

    auto unnamed = register_text(schema, "query A { hello }", "B", true);
    expect_failure(unnamed, "no operation named 'B'");
    EXPECT_EQ(unnamed.error().code, ErrorCode::GraphqlValidationFailed);
    expect_not_found(hash_only(schema, "query A { hello }", std::nullopt, false));
}

TEST(PersistedQueries, WithoutValidationAnInvalidTextIsStored) {
    schema::CompiledSchema schema = hello_schema();
    // The operation name is not even looked at.
    auto stored = register_text(schema, "{ nope }", "Missing", false);
    ASSERT_TRUE(stored.ok()) << stored.error().message;
    EXPECT_TRUE(stored->registered);
    auto hit = hash_only(schema, "{ nope }", std::nullopt, false);
    ASSERT_TRUE(hit.ok());
    EXPECT_FALSE(hit->registered);
    EXPECT_EQ(hit->document, stored->document);
    // Asked to validate, the hash-only road checks what was never checked.
    expect_failure(hash_only(schema, "{ nope }", std::nullopt, true), "field 'nope' does not exist on type 'Query'");
}

TEST(PersistedQueries, AHashOnlyRequestValidatesAnOperationThatRegistrationDidNot) {
    schema::CompiledSchema schema = hello_schema();
    const std::string text = "query A { hello } query B { nope }";
    auto registered = register_text(schema, text, "A", true);
    ASSERT_TRUE(registered.ok()) << registered.error().message;

    auto same = hash_only(schema, text, "A");
    ASSERT_TRUE(same.ok()) << same.error().message;
    EXPECT_EQ(same->document, registered->document);

    auto other = hash_only(schema, text, "B");
    expect_failure(other, "field 'nope' does not exist on type 'Query'");
    EXPECT_EQ(other.error().code, ErrorCode::UnknownField);
    ASSERT_TRUE(other.error().locations.has_value());
    EXPECT_EQ((*other.error().locations)[0], (error::Location{1, 29}));

    // Selection errors come through too.
    expect_failure(hash_only(schema, text), "document contains multiple operations; operation_name is required");
    expect_failure(hash_only(schema, text, "C"), "no operation named 'C'");

    // Not asked to validate, the cached document is returned as it is.
    auto unchecked = hash_only(schema, text, "B", false);
    ASSERT_TRUE(unchecked.ok());
    EXPECT_EQ(unchecked->document, registered->document);
}

TEST(PersistedQueries, ValidatingAnotherOperationOnAHitLeavesTheEntryAsItWas) {
    schema::CompiledSchema schema = hello_schema();
    const std::string text = "query A { hello } query B { hello }";
    ASSERT_TRUE(register_text(schema, text, "B", true).ok());
    auto entry = schema.persisted_query_cache->get(sha256_hex(text).value());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->validated_operation, std::optional<std::size_t>{1});

    auto other = hash_only(schema, text, "A");
    ASSERT_TRUE(other.ok()) << other.error().message;
    EXPECT_EQ(other->document, entry->document);
    EXPECT_EQ(schema.persisted_query_cache->get(sha256_hex(text).value()), entry);

    ASSERT_TRUE(register_text(schema, text, std::nullopt, false).ok());
    EXPECT_EQ(schema.persisted_query_cache->get(sha256_hex(text).value())->validated_operation, std::nullopt);
}

TEST(PersistedQueries, ATextTooLargeToCacheIsServedButNotStored) {
    schema::CompiledSchema schema = hello_schema();
    schema.persisted_query_cache = std::make_unique<persisted_query::PersistedQueryCache>(64 * 1024);
    std::string text = "{";
    for (int i = 0; i < 20000; ++i) text += " hello";
    text += " }";
    auto registered = register_text(schema, text, std::nullopt, true);
    ASSERT_TRUE(registered.ok()) << registered.error().message;
    EXPECT_TRUE(registered->registered);
    ASSERT_NE(registered->document, nullptr);
    EXPECT_EQ(registered->document->source, text);
    expect_not_found(hash_only(schema, text));

    // A small one still fits beside nothing else.
    ASSERT_TRUE(register_text(schema, "{ hello }", std::nullopt, true).ok());
    ASSERT_TRUE(hash_only(schema, "{ hello }").ok());
}
