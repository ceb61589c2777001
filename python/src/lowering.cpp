// The lowering entry points and the lowered-field objects.
//
// Python equivalent:
//
//     def lower_query(query: str, *, variable_values: dict[str, object],
//                     operation_name: str | None = None) -> tuple[str, list[LoweredField]]: ...
//     def lower_document(document: ParsedDocument, *, variable_values: dict[str, object],
//                        operation_name: str | None = None) -> tuple[str, list[LoweredField]]: ...
//
//     @final
//     class LoweredField:                    # read-only; built only by the two functions
//         response_key: str
//         field_name: str
//         type_condition: str | None
//         arguments: dict[str, object]       # the same dict on every read
//         directives: list[LoweredDirective] # a new list on every read
//         selections: list[LoweredField]     # a new list on every read
//         line: int
//         column: int
//         is_deferred: bool
//         defer_label: str | None
//         is_streamed: bool
//         stream_initial_count: int | None
//         stream_label: str | None
//
//     @final
//     class LoweredDirective:
//         name: str
//         arguments: dict[str, object]       # the same dict on every read
//
// The variables reach @skip/@include/@defer/@stream as JSON copies, and the
// arguments as the caller's own objects, taken from `variable_values` itself.
#include "src/lowering.hpp"

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/limits.hpp"
#include "dovrane_core/lowering.hpp"
#include "dovrane_core/parser.hpp"
#include "src/error.hpp"
#include "src/parsed_document.hpp"
#include "src/values.hpp"

namespace _dovrane::lowering {

namespace {

using binding::Ref;
namespace core_lowering = dovrane_core::lowering;
namespace document = dovrane_core::document;
namespace json = dovrane_core::json;
using dovrane_core::error::ErrorCode;

// Lowered fields nest at most `limits::max_effective_depth` levels (the core
// refuses deeper plans) and argument values `limits::max_nesting_depth` (the
// parser refuses deeper ones); the checks below, with the interpreter's
// recursion guard, keep the conversion bounded should either limit change.
namespace limits = dovrane_core::limits;

binding::InternedName query_word{"query"};
binding::InternedName mutation_word{"mutation"};
binding::InternedName subscription_word{"subscription"};

constexpr const char lowered_field_doc[] =
    "A field that survived @skip/@include pruning, ready for execution.\n"
    "\n"
    "Its arguments, and those of its custom directives, are already Python\n"
    "objects, with variables substituted by the caller's own values.\n"
    "\n"
    "Lowering does not decide which resolver owns field_name, nor how the GraphQL\n"
    "argument names map to that resolver's parameters: for a field reached\n"
    "through an interface or a union that depends on the concrete value found at\n"
    "run time. type_condition only narrows which selections apply to that\n"
    "concrete type.";

constexpr const char line_doc[] =
    "The field's own 1-based line in the query text, so that an error raised\n"
    "during execution can say where in the query it came from, as parse and\n"
    "validation errors do.";

constexpr const char is_deferred_doc[] =
    "Whether the field is only deliverable after the initial payload because of\n"
    "@defer, as decided by the core's exclusivity rule. The optional defer mark is\n"
    "flattened into this and defer_label rather than a nested object, to keep the\n"
    "class simple.";

constexpr const char is_streamed_doc[] =
    "Whether the field carries @stream itself, which is only legal on a list-typed\n"
    "field: validation enforces that, lowering does not. The stream marker is\n"
    "flattened the same way, into this, stream_initial_count and stream_label.";

binding::Result<Ref> lowered_field_arguments(const PyLoweredField& field) {
    if (!field.arguments) {
        DOVRANE_ASSIGN_OR_RETURN(field.arguments, binding::new_dict());
    }
    return field.arguments;
}

binding::Result<Ref> lowered_field_response_key(const PyLoweredField& field) {
    return binding::new_str(field.selection->response_key());
}

binding::Result<Ref> lowered_field_name(const PyLoweredField& field) {
    return binding::new_str(field.selection->name.value);
}

binding::Result<Ref> lowered_field_type_condition(const PyLoweredField& field) {
    return field.type_condition != nullptr ? binding::new_str(field.type_condition->value)
                                           : binding::Result<Ref>(binding::none());
}

// A new list of the same objects: children [begin, end).
binding::Result<Ref> children_list(const PyLoweredField& field, std::uint32_t begin, std::uint32_t end) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(end - begin)));
    if (!list) {
        return binding::Error::fetch();
    }
    for (std::uint32_t i = begin; i < end; ++i) {
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i - begin), Ref(field.children[i]).release());  // steals
    }
    return list;
}

binding::Result<Ref> lowered_field_directives(const PyLoweredField& field) {
    return children_list(field, 0, field.directive_count);
}

binding::Result<Ref> lowered_field_selections(const PyLoweredField& field) {
    return children_list(field, field.directive_count, field.children.size());
}

dovrane_core::error::Location lowered_field_position(const PyLoweredField& field) {
    const parsed_document::PyParsedDocument& handle =
        binding::record_of<parsed_document::PyParsedDocument>(field.document.get());
    return handle.document->position(field.selection->offset);
}

binding::Result<Ref> lowered_field_line(const PyLoweredField& field) {
    return binding::new_uint(lowered_field_position(field).line);
}

binding::Result<Ref> lowered_field_column(const PyLoweredField& field) {
    return binding::new_uint(lowered_field_position(field).column);
}

binding::Result<Ref> lowered_field_is_deferred(const PyLoweredField& field) {
    return binding::boolean(field.marks != nullptr && field.marks->is_deferred);
}

binding::Result<Ref> lowered_field_defer_label(const PyLoweredField& field) {
    if (field.marks == nullptr || !field.marks->defer_label) {
        return binding::none();
    }
    return binding::new_str(*field.marks->defer_label);
}

binding::Result<Ref> lowered_field_is_streamed(const PyLoweredField& field) {
    return binding::boolean(field.marks != nullptr && field.marks->is_streamed);
}

binding::Result<Ref> lowered_field_stream_initial_count(const PyLoweredField& field) {
    if (field.marks == nullptr || !field.marks->is_streamed) {
        return binding::none();
    }
    return binding::new_int(field.marks->stream_initial_count);
}

binding::Result<Ref> lowered_field_stream_label(const PyLoweredField& field) {
    if (field.marks == nullptr || !field.marks->stream_label) {
        return binding::none();
    }
    return binding::new_str(*field.marks->stream_label);
}

PyGetSetDef lowered_field_getters[] = {
    binding::computed_getter<PyLoweredField, &lowered_field_response_key>("response_key"),
    binding::computed_getter<PyLoweredField, &lowered_field_name>("field_name"),
    binding::computed_getter<PyLoweredField, &lowered_field_type_condition>("type_condition"),
    binding::computed_getter<PyLoweredField, &lowered_field_arguments>("arguments"),
    binding::computed_getter<PyLoweredField, &lowered_field_directives>("directives"),
    binding::computed_getter<PyLoweredField, &lowered_field_selections>("selections"),
    binding::computed_getter<PyLoweredField, &lowered_field_line>("line", line_doc),
    binding::computed_getter<PyLoweredField, &lowered_field_column>("column"),
    binding::computed_getter<PyLoweredField, &lowered_field_is_deferred>("is_deferred", is_deferred_doc),
    binding::computed_getter<PyLoweredField, &lowered_field_defer_label>("defer_label"),
    binding::computed_getter<PyLoweredField, &lowered_field_is_streamed>("is_streamed", is_streamed_doc),
    binding::computed_getter<PyLoweredField, &lowered_field_stream_initial_count>("stream_initial_count"),
    binding::computed_getter<PyLoweredField, &lowered_field_stream_label>("stream_label"),
    {},
};

PyGetSetDef lowered_directive_getters[] = {
    binding::getter<&PyLoweredDirective::name>("name"),
    binding::getter<&PyLoweredDirective::arguments>("arguments"),
    {},
};

// The names of one conversion's arguments, object fields and variables as
// str objects, each made once: a plan repeats the same few names many times.
class NameCache {
public:
    binding::Result<Ref> get(std::string_view name) {
        std::size_t hash = 14695981039346656037u;  // FNV-1a
        for (char c : name) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
        }
        for (std::size_t probe = 0; probe < max_probes; ++probe) {
            Entry& entry = entries_[(hash + probe) % entries_.size()];
            if (!entry.text) {
                DOVRANE_ASSIGN_OR_RETURN(entry.text, binding::new_str(name));
                entry.name = name;
                return entry.text;
            }
            if (entry.name == name) {
                return entry.text;
            }
        }
        return binding::new_str(name);  // a crowded slot: made afresh
    }

private:
    static constexpr std::size_t max_probes = 8;
    struct Entry {
        std::string_view name;
        Ref text;
    };
    std::array<Entry, 128> entries_;
};

// One call's conversion context: the plan, and two objects borrowed from the call.
struct Conversion {
    const core_lowering::FlatPlan& plan;
    PyObject* variable_values;  // the caller's dict
    PyObject* document;         // the ParsedDocument the plan's views point into
    // The LoweredField and LoweredDirective objects, tracked once all are built.
    binding::UntrackedInstances& instances;
    NameCache& names;
};

// `variable_values[name]` as an owned reference, or an empty one when absent.
// Read at the dict level, as the variable map was built.
binding::Result<Ref> find_variable(const Conversion& conversion, std::string_view name) {
    DOVRANE_ASSIGN_OR_RETURN(Ref key, conversion.names.get(name));
    PyObject* found = PyDict_GetItemWithError(conversion.variable_values, key.get());
    if (found == nullptr && PyErr_Occurred() != nullptr) {
        return binding::Error::fetch();
    }
    return Ref::borrow(found);
}

binding::Error undefined_variable(std::string_view name) {
    std::string message = "query references undefined variable '$";
    message.append(name);
    message.push_back('\'');
    return error::raise(dovrane_core::error::make_error(std::move(message), ErrorCode::GraphqlValidationFailed));
}

binding::Result<Ref> graphql_value_to_python(const document::Value& value, const Conversion& conversion,
                                             std::size_t depth);

binding::Result<Ref> list_to_python(const document::Value& value, const Conversion& conversion, std::size_t depth) {
    binding::RecursionGuard guard(" while converting an argument value");
    if (!guard.entered()) {
        return binding::Error::fetch();
    }
    if (depth > limits::max_nesting_depth) {
        return binding::recursion_error("argument values nest too deep to convert");
    }
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(value.list.size())));
    if (!list) {
        return binding::Error::fetch();
    }
    Py_ssize_t index = 0;
    for (const document::Value& item : value.list) {
        DOVRANE_ASSIGN_OR_RETURN(Ref converted, graphql_value_to_python(item, conversion, depth + 1));
        PyList_SetItem(list.get(), index++, converted.release());  // steals
    }
    return list;
}

binding::Result<Ref> object_to_python(const document::Value& value, const Conversion& conversion,
                                      std::size_t depth) {
    binding::RecursionGuard guard(" while converting an argument value");
    if (!guard.entered()) {
        return binding::Error::fetch();
    }
    if (depth > limits::max_nesting_depth) {
        return binding::recursion_error("argument values nest too deep to convert");
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref dict, binding::new_dict());
    // The parser folded repeated keys, so written order is insertion order.
    for (const document::ObjectField& field : value.object) {
        DOVRANE_ASSIGN_OR_RETURN(Ref converted, graphql_value_to_python(field.value, conversion, depth + 1));
        DOVRANE_ASSIGN_OR_RETURN(Ref key, conversion.names.get(field.name.value));
        DOVRANE_TRY(binding::dict_set(dict.get(), key.get(), converted.get()));
    }
    return dict;
}

binding::Result<Ref> graphql_value_to_python(const document::Value& value, const Conversion& conversion,
                                             std::size_t depth) {
    switch (value.kind) {
        case document::ValueKind::Variable: {
            DOVRANE_ASSIGN_OR_RETURN(Ref found, find_variable(conversion, value.text));
            if (!found) {
                return undefined_variable(value.text);
            }
            return found;
        }
        case document::ValueKind::Null:
            return binding::none();
        case document::ValueKind::Number:
            switch (value.number.kind) {
                // Every unsigned literal stays exact: Python ints have no upper bound.
                case json::NumberKind::UnsignedInteger: return binding::new_uint(value.number.unsigned_value);
                case json::NumberKind::NegativeInteger: return binding::new_int(value.number.negative_value);
                case json::NumberKind::FloatingPoint: return binding::new_float(value.number.float_value);
            }
            return binding::panic("unknown number kind");
        case document::ValueKind::String:
        case document::ValueKind::Enum:
            return binding::new_str(value.text);
        case document::ValueKind::Boolean:
            return binding::boolean(value.boolean);
        case document::ValueKind::Binary: {
            PyObject* bytes = PyBytes_FromStringAndSize(value.text.data(), static_cast<Py_ssize_t>(value.text.size()));
            if (bytes == nullptr) {
                return binding::Error::fetch();
            }
            return Ref::steal(bytes);
        }
        case document::ValueKind::List:
            return list_to_python(value, conversion, depth);
        case document::ValueKind::Object:
            return object_to_python(value, conversion, depth);
    }
    return binding::panic("unknown value kind");
}

// A bare variable the caller did not supply leaves its argument out; any
// other value is converted, a later argument of one name replacing an earlier.
binding::Result<Ref> convert_arguments(document::Span<document::Argument> arguments, const Conversion& conversion) {
    DOVRANE_ASSIGN_OR_RETURN(Ref dict, binding::new_dict());
    for (const document::Argument& argument : arguments) {
        Ref converted;
        if (argument.value.kind == document::ValueKind::Variable) {
            DOVRANE_ASSIGN_OR_RETURN(converted, find_variable(conversion, argument.value.text));
            if (!converted) {
                continue;
            }
        } else {
            DOVRANE_ASSIGN_OR_RETURN(converted, graphql_value_to_python(argument.value, conversion, 0));
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref key, conversion.names.get(argument.name.value));
        DOVRANE_TRY(binding::dict_set(dict.get(), key.get(), converted.get()));
    }
    return dict;
}

// One field of the flat plan, its sub-fields with it. Errors surface in this
// order: the field's directive arguments, everything inside its sub-fields,
// its own arguments.
binding::Result<Ref> convert_field(const core_lowering::FlatField& field, const Conversion& conversion,
                                   std::size_t depth) {
    const document::Selection& selection = *field.selection;
    // Built in place: nothing can reach it before the whole plan is tracked.
    DOVRANE_ASSIGN_OR_RETURN(Ref object, conversion.instances.add(lowered_field_class));
    PyLoweredField& record = binding::record_of<PyLoweredField>(object.get());
    std::uint32_t carried = 0;
    for (const document::Directive& directive : selection.directives) {
        carried += core_lowering::is_carried_directive(directive.name.value) ? 1 : 0;
    }
    if (!record.children.reserve(carried + field.child_count)) {
        return binding::Error::fetch();
    }
    for (const document::Directive& directive : selection.directives) {
        if (!core_lowering::is_carried_directive(directive.name.value)) {
            continue;
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref arguments, convert_arguments(directive.arguments, conversion));
        DOVRANE_ASSIGN_OR_RETURN(Ref directive_object,
                                 conversion.instances.add(lowered_directive_class,
                                                          PyLoweredDirective{directive.name.value, std::move(arguments),
                                                                             Ref::borrow(conversion.document)}));
        record.children.push_back(std::move(directive_object));
    }
    record.directive_count = record.children.size();
    if (field.child_count != 0) {
        binding::RecursionGuard guard(" while converting a lowered field");
        if (!guard.entered()) {
            return binding::Error::fetch();
        }
        if (depth >= limits::max_effective_depth) {
            return binding::recursion_error("lowered fields nest too deep to convert");
        }
        for (std::uint32_t i = 0; i < field.child_count; ++i) {
            DOVRANE_ASSIGN_OR_RETURN(Ref child,
                                     convert_field(conversion.plan.fields[field.first_child + i], conversion, depth + 1));
            record.children.push_back(std::move(child));
        }
    }
    if (!selection.arguments.empty()) {
        DOVRANE_ASSIGN_OR_RETURN(record.arguments, convert_arguments(selection.arguments, conversion));
    }
    record.selection = &selection;
    record.type_condition = field.type_condition;
    const core_lowering::DeferMarker* defer = conversion.plan.defer_of(field);
    const core_lowering::StreamMarker* stream = conversion.plan.stream_of(field);
    if (defer != nullptr || stream != nullptr) {
        record.marks = std::make_unique<PyLoweredField::Marks>();
        if (defer != nullptr) {
            record.marks->is_deferred = true;
            record.marks->defer_label = defer->label;
        }
        if (stream != nullptr) {
            record.marks->is_streamed = true;
            record.marks->stream_initial_count = stream->initial_count;
            record.marks->stream_label = stream->label;
        }
    }
    record.document = Ref::borrow(conversion.document);
    return object;
}

binding::Result<Ref> operation_type_word(document::OperationType type) {
    binding::InternedName* word = &query_word;
    switch (type) {
        case document::OperationType::Query: word = &query_word; break;
        case document::OperationType::Mutation: word = &mutation_word; break;
        case document::OperationType::Subscription: word = &subscription_word; break;
    }
    DOVRANE_ASSIGN_OR_RETURN(PyObject * text, word->get());
    return Ref::borrow(text);
}

// `handle` is the ParsedDocument holding `parsed`; the plan's objects keep it.
binding::Result<Ref> lower_parsed_document(PyObject* handle, const document::SharedDocument& parsed,
                                           PyObject* variable_values, std::optional<std::string_view> operation_name) {
    DOVRANE_ASSIGN_OR_RETURN(core_lowering::VariableMap variables, values::variable_map(variable_values));
    auto lowered = core_lowering::lower_flat(parsed, variables, operation_name);
    if (!lowered.ok()) {
        return error::raise(lowered.take_error());
    }
    const core_lowering::FlatPlan& plan = lowered.value();
    binding::UntrackedInstances instances;
    instances.reserve(plan.fields.size());  // and a few directive objects beyond
    NameCache names;
    const Conversion conversion{plan, variable_values, handle, instances, names};
    Ref fields = Ref::steal(PyList_New(static_cast<Py_ssize_t>(plan.top_count)));
    if (!fields) {
        return binding::Error::fetch();
    }
    for (std::uint32_t i = 0; i < plan.top_count; ++i) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, convert_field(plan.fields[i], conversion, 0));
        PyList_SetItem(fields.get(), static_cast<Py_ssize_t>(i), object.release());  // steals
    }
    instances.track_all();
    DOVRANE_ASSIGN_OR_RETURN(Ref operation_type, operation_type_word(plan.operation_type));
    return binding::new_tuple({operation_type.get(), fields.get()});
}

constexpr binding::Parameter lower_query_parameters[] = {
    binding::required("query"),
    binding::keyword_required("variable_values"),
    binding::keyword_optional("operation_name"),
};

binding::Result<Ref> lower_query(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(PyObject * variable_values, arguments.convert(1, binding::to_dict));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(2, binding::to_optional_str));
    auto parsed = dovrane_core::parser::parse_document(query);
    if (!parsed.ok()) {
        return error::raise(parsed.take_error());
    }
    document::SharedDocument shared = std::move(parsed).value();
    // A handle of its own, which the plan's objects keep instead of the text.
    DOVRANE_ASSIGN_OR_RETURN(Ref handle, parsed_document::new_parsed_document(shared));
    return lower_parsed_document(handle.get(), shared, variable_values, operation_name);
}

constexpr binding::Parameter lower_document_parameters[] = {
    binding::required("document"),
    binding::keyword_required("variable_values"),
    binding::keyword_optional("operation_name"),
};

binding::Result<Ref> lower_document(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const document::SharedDocument* parsed,
                             arguments.convert(0, parsed_document::shared_document_of));
    DOVRANE_ASSIGN_OR_RETURN(PyObject * variable_values, arguments.convert(1, binding::to_dict));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(2, binding::to_optional_str));
    return lower_parsed_document(arguments[0], *parsed, variable_values, operation_name);
}

}  // namespace

binding::Class<PyLoweredField> lowered_field_class{"builtins.LoweredField", lowered_field_doc, lowered_field_getters};
binding::Class<PyLoweredDirective> lowered_directive_class{"builtins.LoweredDirective", "",
                                                           lowered_directive_getters};

constexpr binding::Function lower_query_function = {
    binding::signature("lower_query", lower_query_parameters),
    DOVRANE_DOC("lower_query(query, *, variable_values, operation_name=None)",
                "Parse query and lower its operation, named or not, into a tree of\n"
                "LoweredField objects. @skip/@include selections are pruned and fragment\n"
                "spreads and inline fragments flattened, with each directive's `if`\n"
                "evaluated against variable_values, and $variable references in field and\n"
                "directive arguments substituted from it the same way.\n"
                "\n"
                "Like validate_query, the lowering is schema-free: it needs only the\n"
                "document and the request's variables, because resolver binding and\n"
                "interface or union dispatch need a concrete value that exists only once\n"
                "execution reaches the field.\n"
                "\n"
                "Returns (operation_type, fields). The operation type (\"query\",\n"
                "\"mutation\" or \"subscription\") lets the executor pick the schema's\n"
                "matching root type before resolving anything."),
    lower_query,
};

constexpr binding::Function lower_document_function = {
    binding::signature("lower_document", lower_document_parameters),
    DOVRANE_DOC("lower_document(document, *, variable_values, operation_name=None)",
                "The same lowering as lower_query, on an already parsed ParsedDocument.\n"
                "The normal road is to parse once, validate the handle and lower the same\n"
                "handle.\n"
                "\n"
                "This is also what makes a persisted-query replay cheaper: parsing and\n"
                "validation are skipped, and only the work that depends on this request's\n"
                "variables (evaluating @skip/@include, substituting arguments) is done\n"
                "again."),
    lower_document,
};

}  // namespace _dovrane::lowering
