// A failing SHA-256 digest, brought about by loading OpenSSL's "null"
// provider before any digest is fetched: with a provider loaded by hand the
// default one is never activated, so every fetch fails. Its own executable,
// as the provider state is process-wide and cannot be undone once a digest
// has been fetched.
#include <gtest/gtest.h>

#include <openssl/provider.h>

#include <optional>
#include <string>

#include "dovrane_core/error.hpp"
#include "dovrane_core/persisted_query.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"

using namespace dovrane_core;

TEST(PersistedQueryDigest, AFailedDigestIsAnErrorNeverAHash) {
    OSSL_PROVIDER* null_provider = OSSL_PROVIDER_load(nullptr, "null");
    ASSERT_NE(null_provider, nullptr);

    auto digest = persisted_query::sha256_hex("{ hello }");
    ASSERT_FALSE(digest.ok()) << "the digest did not fail: " << digest.value();
    EXPECT_EQ(digest.error().message, "could not compute the SHA-256 of the query");

    // Before, the failure read as the empty string, which an empty hash
    // from the client then matched.
    schema::CompiledSchema schema = test_support::query_only_schema();
    for (const char* hash : {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}) {
        auto resolved = persisted_query::resolve_persisted_query(schema, hash, "{ hello }", std::nullopt, false);
        ASSERT_FALSE(resolved.ok());
        EXPECT_EQ(resolved.error().message, "could not compute the SHA-256 of the query");
        EXPECT_EQ(resolved.error().code, error::ErrorCode::PersistedQueryMismatch);
        EXPECT_FALSE(resolved.error().locations.has_value());
    }
    EXPECT_EQ(schema.persisted_query_cache->size(), 0u);

    OSSL_PROVIDER_unload(null_provider);
}
