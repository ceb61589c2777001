// The request entries that parse and validate.
//
// Python equivalent:
//
//     def parse_query(query: str) -> ParsedDocument: ...
//
//     @final
//     class ParsedDocument:              # opaque; built only by this module
//         query_text: str                # read-only; a new str on every read
#include "validation.hpp"

#include <string_view>
#include <utility>

#include "convert.hpp"
#include "dovrane_core/parser.hpp"
#include "error.hpp"
#include "objects.hpp"

namespace _dovrane::validation {

namespace {

using binding::Ref;
using dovrane_core::document::SharedDocument;

// ---------------------------------------------------------------------------
// ParsedDocument

constexpr const char parsed_document_doc[] =
    "An opaque handle to a parsed GraphQL document; it exposes no structure to\n"
    "Python.\n"
    "\n"
    "Its only purpose is to be handed back to validate_document and\n"
    "lower_document, so that a document is parsed exactly once per request and\n"
    "the host's parse and validate extension hooks wrap two distinct steps. It is\n"
    "also what a persisted-query hit returns. query_text rides along because\n"
    "execution needs the source; it is empty for a hash-only replay.";

binding::Result<Ref> query_text(const PyParsedDocument& handle) {
    if (handle.query_text_override) {
        return binding::new_str(*handle.query_text_override);
    }
    return binding::new_str(handle.document->source);
}

PyGetSetDef parsed_document_getters[] = {
    binding::computed_getter<PyParsedDocument, &query_text>("query_text"),
    {},
};

// ---------------------------------------------------------------------------
// parse_query

constexpr binding::Parameter parse_query_parameters[] = {binding::required("query")};

binding::Result<Ref> parse_query(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
    auto parsed = dovrane_core::parser::parse_document(query);
    if (!parsed.ok()) {
        return error::raise(parsed.take_error());
    }
    // The document keeps its own copy of the text, which `query_text` serves.
    return new_parsed_document(std::move(parsed).value());
}

}  // namespace

binding::Class<PyParsedDocument> parsed_document_class{"builtins.ParsedDocument", parsed_document_doc,
                                                       parsed_document_getters};

binding::Result<Ref> new_parsed_document(SharedDocument document, std::optional<std::string> query_text_override) {
    return binding::new_instance(parsed_document_class,
                                 PyParsedDocument{std::move(document), std::move(query_text_override)});
}

binding::Result<const SharedDocument*> shared_document_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PyParsedDocument * handle, binding::to_instance(parsed_document_class, object));
    return &handle->document;
}

constexpr binding::Function parse_query_function = {
    binding::signature("parse_query", parse_query_parameters),
    DOVRANE_DOC("parse_query(query)",
                "Parse query into a reusable handle: the first step of the request\n"
                "pipeline. Everything downstream (validate_document, lower_document) takes\n"
                "the handle, so the text is parsed only once."),
    parse_query,
};

}  // namespace _dovrane::validation
