#include "dovrane_core/sdl.hpp"

#include <string_view>

#include "dovrane_core/json.hpp"
#include "dovrane_core/naming.hpp"

namespace dovrane_core::sdl {

namespace {

using schema::AppliedDirective;
using schema::ArgumentDefinition;
using schema::DirectiveFieldDefinition;

// A description between """ and """. Printed as stored, except where the text
// would end the block early: """ inside it becomes \""", and a text ending in
// '"' or '\' moves the closing """ to a line of its own (block strings drop a
// trailing blank line, so the value is unchanged). `closing_indent` precedes
// that closing line.
void append_block_description(std::string& out, std::string_view text, std::string_view closing_indent) {
    out.append("\"\"\"");
    std::size_t start = 0;
    for (std::size_t found; (found = text.find("\"\"\"", start)) != std::string_view::npos; start = found + 3) {
        out.append(text.substr(start, found - start));
        out.append("\\\"\"\"");
    }
    out.append(text.substr(start));
    if (!text.empty() && (text.back() == '"' || text.back() == '\\')) {
        out.push_back('\n');
        out.append(closing_indent);
    }
    out.append("\"\"\"");
}

// The description block of a section or of a field or enum-value line.
void append_description_block(std::string& out, const std::optional<std::string>& description,
                              std::string_view indent) {
    if (!description || description->empty()) return;
    out.append(indent);
    append_block_description(out, *description, indent);
    out.push_back('\n');
}

void append_deprecation(std::string& out, const std::optional<std::string>& reason) {
    if (!reason) return;
    out.append(" @deprecated(reason: ");
    json::append_quoted_string(out, *reason, json::QuoteForm::GraphQL);
    out.push_back(')');
}

// The GraphQL name of a field, argument or directive field, appended.
void append_graphql_name(std::string& out, const std::optional<std::string>& graphql_name, const std::string& name,
                         bool auto_camel_case) {
    if (graphql_name) {
        out.append(*graphql_name);
    } else if (auto_camel_case) {
        naming::append_camel_case(out, name);
    } else {
        out.append(name);
    }
}

void append_type(std::string& out, const schema::GraphQLType& type) {
    // The common shapes without building a temporary string.
    if (type.kind == schema::GraphQLType::Kind::Named) {
        out.append(type.name);
    } else {
        out.append(type.to_sdl_string());
    }
}

// Arrays and objects nest to any depth: walked with an explicit stack.
void append_json_value(std::string& out, const json::Value& root) {
    struct Frame {
        const json::Array* array = nullptr;
        const json::Object* object = nullptr;
        std::size_t next = 0;
        json::Object::const_iterator entry;
    };
    std::vector<Frame> stack;

    // Prints a scalar, or opens a container and pushes its frame.
    const auto open = [&](const json::Value& value) {
        if (value.is_null()) {
            out.append("null");
        } else if (const bool* boolean = value.as_bool()) {
            out.append(*boolean ? "true" : "false");
        } else if (const json::Number* number = value.as_number()) {
            json::append_number_text(out, *number);
        } else if (const std::string* text = value.as_string()) {
            json::append_quoted_string(out, *text, json::QuoteForm::GraphQL);
        } else if (const json::Array* array = value.as_array()) {
            out.push_back('[');
            Frame frame;
            frame.array = array;
            stack.push_back(frame);
        } else if (const json::Object* object = value.as_object()) {
            out.push_back('{');
            Frame frame;
            frame.object = object;
            frame.entry = object->begin();
            stack.push_back(frame);
        }
    };

    open(root);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.array != nullptr) {
            if (frame.next == frame.array->size()) {
                out.push_back(']');
                stack.pop_back();
                continue;
            }
            if (frame.next > 0) out.append(", ");
            const json::Value& item = (*frame.array)[frame.next++];
            open(item);  // may grow the stack: `frame` is not used after this
        } else {
            if (frame.entry == frame.object->end()) {
                out.push_back('}');
                stack.pop_back();
                continue;
            }
            if (frame.entry != frame.object->begin()) out.append(", ");
            const auto& [key, item] = *frame.entry++;
            out.append(key);  // keys are printed raw
            out.append(": ");
            open(item);
        }
    }
}

// Empty: every key prints as stored.
const AppliedDirectiveNames& keys_as_stored() {
    static const AppliedDirectiveNames none;
    return none;
}

void append_applied_directive(std::string& out, const AppliedDirective& directive,
                              const AppliedDirectiveNames& names) {
    out.push_back('@');
    out.append(directive.name);
    if (directive.arguments.empty()) return;
    const AppliedDirectiveNames::FieldsByKey* fields = nullptr;
    if (auto it = names.fields_by_directive.find(directive.name); it != names.fields_by_directive.end()) {
        fields = &it->second;
    }
    out.push_back('(');
    bool first = true;
    for (const auto& [key, value] : directive.arguments) {
        if (!first) out.append(", ");
        first = false;
        const DirectiveFieldDefinition* field = nullptr;
        if (fields != nullptr) {
            if (auto it = fields->find(key); it != fields->end()) field = it->second;
        }
        if (field != nullptr) {
            append_graphql_name(out, field->graphql_name, field->name, names.auto_camel_case);
        } else {
            out.append(key);
        }
        out.append(": ");
        append_json_value(out, value);
    }
    out.push_back(')');
}

void append_applied_directives(std::string& out, const std::vector<AppliedDirective>& directives,
                               const AppliedDirectiveNames& names) {
    for (const AppliedDirective& directive : directives) {
        out.push_back(' ');
        append_applied_directive(out, directive, names);
    }
}

void append_argument(std::string& out, const ArgumentDefinition& argument, bool auto_camel_case,
                     const AppliedDirectiveNames& names) {
    if (argument.description && !argument.description->empty()) {
        append_block_description(out, *argument.description, {});
        out.push_back(' ');
    }
    append_graphql_name(out, argument.graphql_name, argument.name, auto_camel_case);
    out.append(": ");
    append_type(out, argument.arg_type);
    if (argument.default_value) {
        out.append(" = ");
        out.append(*argument.default_value);
    }
    append_deprecation(out, argument.deprecation_reason);
    append_applied_directives(out, argument.directives, names);
}

void append_arguments(std::string& out, const std::vector<ArgumentDefinition>& arguments, bool auto_camel_case,
                      const AppliedDirectiveNames& names) {
    if (arguments.empty()) return;
    out.push_back('(');
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0) out.append(", ");
        append_argument(out, arguments[i], auto_camel_case, names);
    }
    out.push_back(')');
}

void append_directive_field(std::string& out, const DirectiveFieldDefinition& field, bool auto_camel_case) {
    append_graphql_name(out, field.graphql_name, field.name, auto_camel_case);
    out.append(": ");
    append_type(out, field.field_type);
}

bool starts_with_double_underscore(std::string_view name) { return name.size() >= 2 && name.starts_with("__"); }

// ---- Sections ------------------------------------------------------------------

void append_schema_block(std::string& out, const schema::CompiledSchema& schema,
                         const AppliedDirectiveNames& names) {
    out.append("schema");
    append_applied_directives(out, schema.schema_applied_directives, names);
    out.append(" {\n  query: ");
    out.append(schema.query_type_name);
    out.push_back('\n');
    if (schema.mutation_type_name) {
        out.append("  mutation: ");
        out.append(*schema.mutation_type_name);
        out.push_back('\n');
    }
    if (schema.subscription_type_name) {
        out.append("  subscription: ");
        out.append(*schema.subscription_type_name);
        out.push_back('\n');
    }
    out.push_back('}');
}

void append_field_line(std::string& out, std::string& name, const schema::FieldDefinition& field,
                       schema::TypeKind owner_kind, bool auto_camel_case, const AppliedDirectiveNames& names) {
    name.clear();
    append_graphql_name(name, field.graphql_name, field.name, auto_camel_case);
    if (starts_with_double_underscore(name)) return;  // introspection names are not part of the SDL
    append_description_block(out, field.description, "  ");
    out.append("  ");
    out.append(name);
    append_arguments(out, field.arguments, auto_camel_case, names);
    out.append(": ");
    append_type(out, field.field_type);
    if (owner_kind == schema::TypeKind::InputObject && field.default_value) {
        out.append(" = ");
        out.append(*field.default_value);
    }
    append_deprecation(out, field.deprecation_reason);
    append_applied_directives(out, field.directives, names);
    out.push_back('\n');
}

void append_enum_value_line(std::string& out, const schema::EnumValueDefinition& value,
                            const AppliedDirectiveNames& names) {
    append_description_block(out, value.description, "  ");
    out.append("  ");
    out.append(value.graphql_name_or_name());
    append_deprecation(out, value.deprecation_reason);
    append_applied_directives(out, value.directives, names);
    out.push_back('\n');
}

void append_type_section(std::string& out, std::string& scratch, const schema::TypeDefinition& type,
                         bool auto_camel_case, const AppliedDirectiveNames& names) {
    append_description_block(out, type.description, {});
    out.append(schema::type_kind_keyword(type.kind));
    out.push_back(' ');
    out.append(type.name);
    if (!type.interfaces.empty()) {
        out.append(" implements ");
        for (std::size_t i = 0; i < type.interfaces.size(); ++i) {
            if (i > 0) out.append(" & ");
            out.append(type.interfaces[i]);
        }
    }
    append_applied_directives(out, type.directives, names);
    if (type.kind == schema::TypeKind::InputObject && type.one_of) out.append(" @oneOf");
    out.append(" {\n");
    if (type.kind == schema::TypeKind::Enum) {
        for (const auto& value : type.enum_values) append_enum_value_line(out, value, names);
    } else {
        for (const auto& field : type.fields) {
            append_field_line(out, scratch, field, type.kind, auto_camel_case, names);
        }
    }
    out.push_back('}');
}

void append_union_section(std::string& out, const schema::UnionDefinition& union_definition) {
    out.append("union ");
    out.append(union_definition.name);
    out.append(" = ");
    for (std::size_t i = 0; i < union_definition.member_names.size(); ++i) {
        if (i > 0) out.append(" | ");
        out.append(union_definition.member_names[i]);
    }
}

void append_scalar_section(std::string& out, const schema::CompiledSchema& schema, const std::string& name,
                           const AppliedDirectiveNames& names) {
    if (auto it = schema.scalar_descriptions.find(name); it != schema.scalar_descriptions.end() && !it->second.empty()) {
        append_block_description(out, it->second, {});
        out.push_back('\n');
    }
    out.append("scalar ");
    out.append(name);
    if (auto it = schema.scalar_specified_by_urls.find(name); it != schema.scalar_specified_by_urls.end()) {
        out.append(" @specifiedBy(url: ");
        json::append_quoted_string(out, it->second, json::QuoteForm::GraphQL);
        out.push_back(')');
    }
    if (auto it = schema.scalar_directives.find(name); it != schema.scalar_directives.end()) {
        append_applied_directives(out, it->second, names);
    }
}

void append_operation_directive_section(std::string& out, const schema::OperationDirectiveDefinition& directive,
                                        bool auto_camel_case, const AppliedDirectiveNames& names) {
    append_description_block(out, directive.description, {});
    out.append("directive @");
    out.append(directive.name);
    append_arguments(out, directive.arguments, auto_camel_case, names);
    out.append(" on ");
    for (std::size_t i = 0; i < directive.locations.size(); ++i) {
        if (i > 0) out.append(" | ");
        out.append(schema::operation_directive_location_name(directive.locations[i]));
    }
}

void append_schema_directive_section(std::string& out, const schema::SchemaDirectiveDefinition& directive,
                                     bool auto_camel_case) {
    append_description_block(out, directive.description, {});
    out.append("directive @");
    out.append(directive.name);
    if (!directive.fields.empty()) {
        out.push_back('(');
        for (std::size_t i = 0; i < directive.fields.size(); ++i) {
            if (i > 0) out.append(", ");
            append_directive_field(out, directive.fields[i], auto_camel_case);
        }
        out.push_back(')');
    }
    if (directive.repeatable) out.append(" repeatable");
    out.append(" on ");
    for (std::size_t i = 0; i < directive.locations.size(); ++i) {
        if (i > 0) out.append(" | ");
        out.append(schema::schema_directive_location_name(directive.locations[i]));
    }
}

constexpr std::string_view section_separator = "\n\n";

}  // namespace

std::string render_sdl(const schema::CompiledSchema& schema) {
    // Every group is a std::map or std::set ordered by byte-wise key, which is
    // the order the sections print in.
    std::string out;
    std::string scratch;  // field names, reused across lines
    const bool camel = schema.auto_camel_case;
    const AppliedDirectiveNames names = index_applied_directive_names(schema);

    append_schema_block(out, schema, names);
    for (const auto& [key, type] : schema.types) {
        if (starts_with_double_underscore(key)) continue;
        out.append(section_separator);
        append_type_section(out, scratch, type, camel, names);
    }
    for (const auto& [key, union_definition] : schema.unions) {
        out.append(section_separator);
        append_union_section(out, union_definition);
    }
    for (const std::string& name : schema.scalar_names) {
        out.append(section_separator);
        append_scalar_section(out, schema, name, names);
    }
    for (const auto& [key, directive] : schema.directives) {
        out.append(section_separator);
        append_operation_directive_section(out, directive, camel, names);
    }
    for (const auto& [key, directive] : schema.schema_directives) {
        out.append(section_separator);
        append_schema_directive_section(out, directive, camel);
    }
    return out;
}

AppliedDirectiveNames index_applied_directive_names(const schema::CompiledSchema& schema) {
    AppliedDirectiveNames names;
    names.auto_camel_case = schema.auto_camel_case;
    for (const auto& [key, directive] : schema.schema_directives) {
        AppliedDirectiveNames::FieldsByKey& fields = names.fields_by_directive[key];
        // Explicit names first, so a Python name never shadows one; the first
        // field of a name wins.
        for (const DirectiveFieldDefinition& field : directive.fields) {
            if (field.graphql_name) fields.try_emplace(*field.graphql_name, &field);
        }
        for (const DirectiveFieldDefinition& field : directive.fields) fields.try_emplace(field.name, &field);
    }
    return names;
}

std::string render_json_value(const json::Value& value) {
    std::string out;
    append_json_value(out, value);
    return out;
}

std::string render_applied_directive(const AppliedDirective& directive) {
    return render_applied_directive(directive, keys_as_stored());
}

std::string render_applied_directives(const std::vector<AppliedDirective>& directives) {
    return render_applied_directives(directives, keys_as_stored());
}

std::string render_applied_directive(const AppliedDirective& directive, const AppliedDirectiveNames& names) {
    std::string out;
    append_applied_directive(out, directive, names);
    return out;
}

std::string render_applied_directives(const std::vector<AppliedDirective>& directives,
                                      const AppliedDirectiveNames& names) {
    std::string out;
    append_applied_directives(out, directives, names);
    return out;
}

std::string render_argument(const ArgumentDefinition& argument, bool auto_camel_case) {
    std::string out;
    append_argument(out, argument, auto_camel_case, keys_as_stored());
    return out;
}

std::string render_arguments(const std::vector<ArgumentDefinition>& arguments, bool auto_camel_case) {
    std::string out;
    append_arguments(out, arguments, auto_camel_case, keys_as_stored());
    return out;
}

std::string render_directive_field(const DirectiveFieldDefinition& field, bool auto_camel_case) {
    std::string out;
    append_directive_field(out, field, auto_camel_case);
    return out;
}

std::string quote_sdl_string(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    json::append_quoted_string(out, text, json::QuoteForm::GraphQL);
    return out;
}

}  // namespace dovrane_core::sdl
