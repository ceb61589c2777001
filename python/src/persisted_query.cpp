// Automatic persisted queries from Python.
//
// Python equivalent:
//
//     def resolve_persisted_query(sha256_hash: str, schema: CompiledSchema, *, query: str | None = None,
//                                 operation_name: str | None = None,
//                                 validate: bool = True) -> PersistedQueryResult: ...
//
//     @final
//     class PersistedQueryResult:        # built only by this module
//         cache_hit: bool                # read-only
//         document: ParsedDocument       # read-only; the same object on every read
#include "src/persisted_query.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/persisted_query.hpp"
#include "src/compiled_schema.hpp"
#include "src/error.hpp"
#include "src/parsed_document.hpp"

namespace _dovrane::persisted_query {

namespace {

using binding::Ref;

constexpr const char persisted_query_result_doc[] =
    "What resolve_persisted_query produced: whether the hash was already cached,\n"
    "plus the document itself, so that the caller can execute it without going\n"
    "back through parsing and validation.";

constexpr const char cache_hit_doc[] =
    "True if the hash was already in the cache; False if query was just parsed,\n"
    "validated and registered under it.";

PyGetSetDef persisted_query_result_getters[] = {
    binding::getter<&PyPersistedQueryResult::cache_hit>("cache_hit", cache_hit_doc),
    binding::getter<&PyPersistedQueryResult::document>("document"),
    {},
};

constexpr binding::Parameter resolve_persisted_query_parameters[] = {
    binding::required("sha256_hash"),
    binding::required("schema"),
    binding::keyword_optional("query"),
    binding::keyword_optional("operation_name"),
    binding::keyword_optional("validate"),
};

binding::Result<Ref> resolve_persisted_query(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view sha256_hash, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(const dovrane_core::schema::CompiledSchema* schema,
                             arguments.convert(1, compiled_schema::compiled_schema_of));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> query, arguments.convert(2, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(3, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(bool validate, arguments.convert_or(4, binding::to_flag, true));

    auto resolved =
        dovrane_core::persisted_query::resolve_persisted_query(*schema, sha256_hash, query, operation_name, validate);
    if (!resolved.ok()) {
        return error::raise(resolved.take_error());
    }
    // The core hands back the document itself, so the handle never depends on
    // the cache still holding the entry: any entry may be evicted at once.
    // Given the text, the document was parsed from it, and its own source is
    // that text; a hash-only replay has no text from the client.
    dovrane_core::persisted_query::ResolvedQuery& found = resolved.value();
    std::optional<std::string> query_text_override;
    if (!query) {
        query_text_override.emplace();
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref document,
                             parsed_document::new_parsed_document(std::move(found.document),
                                                                  std::move(query_text_override)));
    return binding::new_instance(persisted_query_result_class,
                                 PyPersistedQueryResult{!found.registered, std::move(document)});
}

}  // namespace

binding::Class<PyPersistedQueryResult> persisted_query_result_class{
    "builtins.PersistedQueryResult", persisted_query_result_doc, persisted_query_result_getters};

constexpr binding::Function resolve_persisted_query_function = {
    binding::signature("resolve_persisted_query", resolve_persisted_query_parameters),
    DOVRANE_DOC("resolve_persisted_query(sha256_hash, schema, *, query=None, operation_name=None, validate=True)",
                "Serve the automatic persisted queries protocol from schema's cache.\n"
                "\n"
                "Given sha256_hash alone, look the document up: a miss raises the host\n"
                "package's GraphQLError with the code PERSISTED_QUERY_NOT_FOUND, after which\n"
                "the client is expected to resend with query. Given query too, check that\n"
                "sha256_hash is its lowercase hex SHA-256 (PERSISTED_QUERY_MISMATCH when it\n"
                "is not), parse it, validate it unless validate is False, and register the\n"
                "document under the hash.\n"
                "\n"
                "On success, returns the document with the hit flag, so that a request can\n"
                "proceed straight to lowering. validate=False mirrors the host's setting\n"
                "that turns query validation off."),
    resolve_persisted_query,
};

}  // namespace _dovrane::persisted_query
