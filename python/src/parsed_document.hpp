// The `ParsedDocument` handle, which carries a parsed document between the
// calls of one request: parse, validate, lower, and a persisted-query hit.
#pragma once

#include <Python.h>

#include <optional>
#include <string>

#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/document.hpp"

namespace _dovrane::parsed_document {

// `ParsedDocument`: an opaque handle over a shared parsed document.
struct PyParsedDocument {
    dovrane_core::document::SharedDocument document;  // hidden; shared, never copied
    // `query_text` is the document's own source unless this overrides it: a
    // hash-only persisted query has a document but no text from the client.
    std::optional<std::string> query_text_override;

    template <class Visit>
    void for_each_ref(Visit&&) {}
};

extern binding::Class<PyParsedDocument> parsed_document_class;

// A new handle over `document`; its `query_text` is the document's source, or
// `query_text_override` when one is given.
binding::Result<binding::Ref> new_parsed_document(dovrane_core::document::SharedDocument document,
                                                  std::optional<std::string> query_text_override = std::nullopt);

// The shared document of a handle; the layer's TypeError for any other object.
binding::Result<const dovrane_core::document::SharedDocument*> shared_document_of(PyObject* object);

}  // namespace _dovrane::parsed_document
