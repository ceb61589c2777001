// Lowering: one operation plus the request's variables into the execution plan.
//
// @skip/@include applied, fragments flattened with their type conditions,
// @defer/@stream marked. Names, labels and argument values point into the
// parsed document, which the plan keeps alive through its shared holder.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/json.hpp"

namespace dovrane_core::lowering {

// The request's variables as JSON, by name without "$".
using VariableMap = json::Object;

struct DeferMarker {
    std::optional<std::string_view> label;
};

struct StreamMarker {
    std::optional<std::string_view> label;
    std::int64_t initial_count = 0;
};

struct LoweredArgument {
    std::string_view name;
    const document::Value* value = nullptr;  // unresolved: variables stay references
};

struct LoweredDirective {
    std::string_view name;  // without "@"
    std::vector<LoweredArgument> arguments;
};

struct LoweredField {
    std::string_view response_key;  // alias, else name
    std::string_view field_name;
    std::optional<std::string_view> type_condition;
    std::vector<LoweredArgument> arguments;
    std::vector<LoweredDirective> directives;  // less the built-in directives
    std::vector<LoweredField> selections;
    std::optional<DeferMarker> defer;
    std::optional<StreamMarker> stream;
    std::uint64_t line = 0;
    std::uint64_t column = 0;
};

struct LoweredOperation {
    document::OperationType operation_type = document::OperationType::Query;
    std::vector<LoweredField> fields;
    document::SharedDocument document;  // keeps every view above alive
};

// A plan stays within `limits::max_effective_depth`, `max_lowered_fields`
// and `max_lowered_argument_values`; beyond them lowering fails.
error::Result<LoweredOperation> lower_document(const document::SharedDocument& document,
                                               const VariableMap& variables,
                                               std::optional<std::string_view> operation_name);

// The same plan laid out flat, for a caller that builds its own objects from
// it (the Python module) instead of reading LoweredField trees: one record
// per lowered field, every level's fields contiguous, a field's sub-selection
// the fields [first_child, first_child + child_count) of the same array.
// Names, arguments and directives are read from the field's selection:
// `arguments` and `directives` as `lower_arguments`/`lower_directives` give
// them, a directive kept when `is_carried_directive` holds for its name.
struct FlatField {
    const document::Selection* selection = nullptr;  // its response key, name, arguments and directives
    const document::Name* type_condition = nullptr;  // null when selected outside any fragment
    std::uint32_t first_child = 0;
    std::uint32_t child_count = 0;
    std::uint32_t line = 0;
    std::uint32_t column = 0;
    std::uint32_t defer = 0;   // into FlatPlan::defers; 0 when not deferred
    std::uint32_t stream = 0;  // into FlatPlan::streams; 0 when not streamed
};

// Its buffers go back to the thread that frees it, for the next lowering.
class FlatPlan {
public:
    document::OperationType operation_type = document::OperationType::Query;
    std::uint32_t top_count = 0;  // the operation's own fields: fields[0, top_count)
    std::vector<FlatField> fields;
    std::vector<DeferMarker> defers;    // the first one unused
    std::vector<StreamMarker> streams;  // the first one unused
    document::SharedDocument document;  // keeps every view above alive

    FlatPlan() = default;
    FlatPlan(FlatPlan&&) = default;
    FlatPlan& operator=(FlatPlan&&) = default;
    ~FlatPlan();

    const DeferMarker* defer_of(const FlatField& field) const {
        return field.defer != 0 ? &defers[field.defer] : nullptr;
    }
    const StreamMarker* stream_of(const FlatField& field) const {
        return field.stream != 0 ? &streams[field.stream] : nullptr;
    }
};

error::Result<FlatPlan> lower_flat(const document::SharedDocument& document, const VariableMap& variables,
                                   std::optional<std::string_view> operation_name);

// Every directive but the built-in ones (skip, include, defer and stream) is
// carried into the plan.
bool is_carried_directive(std::string_view name);

}  // namespace dovrane_core::lowering
