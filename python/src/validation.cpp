// The request entries that parse and validate.
//
// Python equivalent:
//
//     def parse_query(query: str) -> ParsedDocument: ...
//     def validate_query(query: str, schema: CompiledSchema, operation_name: str | None = None) -> None: ...
//     def validate_document(document: ParsedDocument, schema: CompiledSchema,
//                           operation_name: str | None = None) -> None: ...
#include "src/validation.hpp"

#include <optional>
#include <string_view>
#include <utility>

#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/parser.hpp"
#include "dovrane_core/validation.hpp"
#include "src/compiled_schema.hpp"
#include "src/error.hpp"
#include "src/parsed_document.hpp"

namespace _dovrane::validation {

namespace {

using binding::Ref;
using dovrane_core::document::SharedDocument;
using dovrane_core::schema::CompiledSchema;

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
    return parsed_document::new_parsed_document(std::move(parsed).value());
}

// ---------------------------------------------------------------------------
// validate_query, validate_document

// None, or the first rule the selected operation breaks, raised.
binding::Result<Ref> validate_against(const dovrane_core::document::Document& document, const CompiledSchema& schema,
                                      std::optional<std::string_view> operation_name) {
    if (auto failure = dovrane_core::validation::validate_query(document, schema, operation_name)) {
        return error::raise(std::move(failure));
    }
    return binding::none();
}

constexpr binding::Parameter validate_query_parameters[] = {
    binding::required("query"),
    binding::required("schema"),
    binding::optional("operation_name"),
};

binding::Result<Ref> validate_query(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(const CompiledSchema* schema, arguments.convert(1, compiled_schema::compiled_schema_of));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(2, binding::to_optional_str));
    auto parsed = dovrane_core::parser::parse_document(query);
    if (!parsed.ok()) {
        return error::raise(parsed.take_error());
    }
    // The document is dropped here either way: the one-shot form caches nothing.
    return validate_against(*parsed.value(), *schema, operation_name);
}

constexpr binding::Parameter validate_document_parameters[] = {
    binding::required("document"),
    binding::required("schema"),
    binding::optional("operation_name"),
};

binding::Result<Ref> validate_document(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const SharedDocument* document, arguments.convert(0, parsed_document::shared_document_of));
    DOVRANE_ASSIGN_OR_RETURN(const CompiledSchema* schema, arguments.convert(1, compiled_schema::compiled_schema_of));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(2, binding::to_optional_str));
    return validate_against(**document, *schema, operation_name);
}

}  // namespace

constexpr binding::Function parse_query_function = {
    binding::signature("parse_query", parse_query_parameters),
    DOVRANE_DOC("parse_query(query)",
                "Parse query into a reusable handle: the first step of the request\n"
                "pipeline. Everything downstream (validate_document, lower_document) takes\n"
                "the handle, so the text is parsed only once."),
    parse_query,
};

constexpr binding::Function validate_query_function = {
    binding::signature("validate_query", validate_query_parameters),
    DOVRANE_DOC("validate_query(query, schema, operation_name=None)",
                "Parse query and validate its operation, named or not, against schema.\n"
                "Requested fields must exist on their parent types, arguments must be\n"
                "declared and type-check, directives must stand at legal locations, and\n"
                "fragment spreads and inline fragments must target real types.\n"
                "\n"
                "Raises the first violation found as the host package's GraphQLError, as\n"
                "the parser too reports only one error per call; returns None when the\n"
                "query is valid. Nothing is kept: the next call parses the text again."),
    validate_query,
};

constexpr binding::Function validate_document_function = {
    binding::signature("validate_document", validate_document_parameters),
    DOVRANE_DOC("validate_document(document, schema, operation_name=None)",
                "Validate an already parsed ParsedDocument against schema, with the same\n"
                "rules and errors as validate_query.\n"
                "\n"
                "It is the counterpart of parse_query: taking the handle instead of the\n"
                "text keeps parsing and validation separate steps, so that the host's parse\n"
                "and validate hooks can each wrap one. The handle is not changed and can be\n"
                "validated or lowered again."),
    validate_document,
};

}  // namespace _dovrane::validation
