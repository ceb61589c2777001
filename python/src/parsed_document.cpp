// The ParsedDocument handle.
//
// Python equivalent:
//
//     @final
//     class ParsedDocument:              # opaque; built only by this module
//         query_text: str                # read-only; a new str on every read
#include "src/parsed_document.hpp"

#include <utility>

#include "binding/objects.hpp"

namespace _dovrane::parsed_document {

namespace {

using binding::Ref;
using dovrane_core::document::SharedDocument;

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

}  // namespace _dovrane::parsed_document
