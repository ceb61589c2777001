#include "dovrane_core/sdl.hpp"

#include <cstdint>
#include <string_view>

#include "dovrane_core/json.hpp"
#include "dovrane_core/naming.hpp"

namespace dovrane_core::sdl {

namespace {

using schema::AppliedDirective;
using schema::ArgumentDefinition;
using schema::DirectiveFieldDefinition;

// The text of a block string: """ inside it becomes \""", which reads back as """.
void append_block_text(std::string& out, std::string_view text) {
    std::size_t start = 0;
    for (std::size_t found; (found = text.find("\"\"\"", start)) != std::string_view::npos; start = found + 3) {
        out.append(text.substr(start, found - start));
        out.append("\\\"\"\"");
    }
    out.append(text.substr(start));
}

enum class DescriptionForm : std::uint8_t {
    Block,          // """text"""
    BlockOwnLines,  // """ and a line break, the text, a line break and """
    Quoted,         // "text" with escapes
};

bool is_blank_line(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// A reader takes a block string's value: lines split at CR, LF or CR LF, the
// common indentation of every line but the first removed, leading and
// trailing blank lines dropped. The block form is used only where that value
// is the text itself. One pass over the bytes, each line looked at where it
// ends: this runs for every description printed.
DescriptionForm description_form(std::string_view text) {
    std::size_t line_start = 0;
    bool later_line_flush = false;  // a later line starts at column one
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 || byte == '\t') continue;
        // CR would read back as LF; the other control characters are
        // invisible in a block, and older readers refuse them there.
        if (byte != '\n') return DescriptionForm::Quoted;
        const std::string_view line = text.substr(line_start, i - line_start);
        if (is_blank_line(line)) {
            if (line_start == 0) return DescriptionForm::Quoted;  // a leading blank line
        } else if (line_start > 0 && line[0] != ' ' && line[0] != '\t') {
            later_line_flush = true;
        }
        line_start = i + 1;
    }
    const std::string_view last_line = text.substr(line_start);
    if (is_blank_line(last_line)) return DescriptionForm::Quoted;  // a trailing blank line, or only spaces
    if (line_start == 0 || later_line_flush || (last_line[0] != ' ' && last_line[0] != '\t')) {
        return DescriptionForm::Block;
    }
    // Every later line is indented: the first line, moved below the opening
    // """, takes part in the common indentation, and holds it at zero unless
    // it is indented too.
    return text[0] == ' ' || text[0] == '\t' ? DescriptionForm::Quoted : DescriptionForm::BlockOwnLines;
}

// A description printed so that it reads back as stored. In the block form a
// text ending in '"' or '\' moves the closing """ to a line of its own (a
// trailing blank line is dropped on reading); `closing_indent` precedes that
// closing line.
void append_description(std::string& out, std::string_view text, std::string_view closing_indent) {
    constexpr std::string_view quotes = "\"\"\"";
    const DescriptionForm form = description_form(text);
    if (form == DescriptionForm::Quoted) {
        json::append_quoted_string(out, text, json::QuoteForm::GraphQL);
        return;
    }
    const bool own_lines = form == DescriptionForm::BlockOwnLines;
    out.append(quotes);
    if (own_lines) out.push_back('\n');
    append_block_text(out, text);
    if (own_lines || text.back() == '"' || text.back() == '\\') {
        out.push_back('\n');
        out.append(closing_indent);
    }
    out.append(quotes);
}

// The description block of a section or of a field or enum-value line.
void append_description_block(std::string& out, const std::optional<std::string>& description,
                              std::string_view indent) {
    if (!description || description->empty()) return;
    out.append(indent);
    append_description(out, *description, indent);
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

// A name that reads back as an enum value, not as another literal or as text
// that is no name at all.
bool prints_as_enum_value(std::string_view name) {
    return naming::is_graphql_name(name) && name != "true" && name != "false" && name != "null";
}

// The type a value stands at: without its non-null wrapper, and for a value
// that is not a list at a list type, the item type (GraphQL reads a single
// value in place of a list of one).
const schema::GraphQLType* place_type(const json::Value& value, const schema::GraphQLType* type) {
    using Kind = schema::GraphQLType::Kind;
    while (type != nullptr && type->kind != Kind::Named) {
        if (type->kind == Kind::List && value.as_array() != nullptr) break;
        type = type->inner.get();
    }
    return type;
}

// Whether `text`, at a place of type `type`, names one of that enum's values.
bool names_enum_value(const std::string& text, const schema::GraphQLType* type, const AppliedDirectiveNames& names) {
    if (type == nullptr || type->kind != schema::GraphQLType::Kind::Named) return false;
    const auto values = names.enum_values_by_type.find(type->name);
    return values != names.enum_values_by_type.end() && values->second.count(text) != 0 &&
           prints_as_enum_value(text);
}

// The fields of the input object a value of type `type` stands for, when known.
const AppliedDirectiveNames::InputFieldsByKey* input_fields(const schema::GraphQLType* type,
                                                          const AppliedDirectiveNames& names) {
    if (type == nullptr || type->kind != schema::GraphQLType::Kind::Named) return nullptr;
    const auto fields = names.input_fields_by_type.find(type->name);
    return fields != names.input_fields_by_type.end() ? &fields->second : nullptr;
}

// Arrays and objects nest to any depth: walked with an explicit stack. `type`,
// when known, is the definition's type of the value: it tells where a string
// is an enum value (see AppliedDirectiveNames).
void append_json_value(std::string& out, const json::Value& root, const schema::GraphQLType* type,
                       const AppliedDirectiveNames& names) {
    struct Frame {
        const json::Array* array = nullptr;
        const json::Object* object = nullptr;
        const schema::GraphQLType* item_type = nullptr;  // the array's item type, when known
        const AppliedDirectiveNames::InputFieldsByKey* fields = nullptr;  // the object's input fields, when known
        std::size_t next = 0;
        json::Object::const_iterator entry;
    };
    std::vector<Frame> stack;

    // Prints a scalar, or opens a container and pushes its frame.
    const auto open = [&](const json::Value& value, const schema::GraphQLType* value_type) {
        value_type = place_type(value, value_type);
        if (value.is_null()) {
            out.append("null");
        } else if (const bool* boolean = value.as_bool()) {
            out.append(*boolean ? "true" : "false");
        } else if (const json::Number* number = value.as_number()) {
            json::append_number_text(out, *number);
        } else if (const std::string* text = value.as_string()) {
            if (names_enum_value(*text, value_type, names)) {
                out.append(*text);
            } else {
                json::append_quoted_string(out, *text, json::QuoteForm::GraphQL);
            }
        } else if (const json::Array* array = value.as_array()) {
            out.push_back('[');
            Frame frame;
            frame.array = array;
            if (value_type != nullptr && value_type->kind == schema::GraphQLType::Kind::List) {
                frame.item_type = value_type->inner.get();
            }
            stack.push_back(frame);
        } else if (const json::Object* object = value.as_object()) {
            out.push_back('{');
            Frame frame;
            frame.object = object;
            frame.fields = input_fields(value_type, names);
            frame.entry = object->begin();
            stack.push_back(frame);
        }
    };

    open(root, type);
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
            open(item, frame.item_type);  // may grow the stack: `frame` is not used after this
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
            const schema::GraphQLType* item_type = nullptr;
            if (frame.fields != nullptr) {
                if (auto field = frame.fields->find(key); field != frame.fields->end()) {
                    item_type = &field->second->field_type;
                }
            }
            open(item, item_type);
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
        append_json_value(out, value, field != nullptr ? &field->field_type : nullptr, names);
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
        append_description(out, *argument.description, {});
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
    append_description_block(out, union_definition.description, {});
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
        append_description(out, it->second, {});
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
    std::vector<const std::string*> reached;  // named types of directive and input fields
    for (const auto& [key, directive] : schema.schema_directives) {
        AppliedDirectiveNames::FieldsByKey& fields = names.fields_by_directive[key];
        // Explicit names first, so a Python name never shadows one; the first
        // field of a name wins.
        for (const DirectiveFieldDefinition& field : directive.fields) {
            if (field.graphql_name) fields.try_emplace(*field.graphql_name, &field);
        }
        for (const DirectiveFieldDefinition& field : directive.fields) {
            fields.try_emplace(field.name, &field);
            reached.push_back(&field.field_type.named_type());
        }
    }
    // The enums and input objects those fields reach, each indexed once
    // (input objects may refer to each other in cycles).
    while (!reached.empty()) {
        const std::string& type_name = *reached.back();
        reached.pop_back();
        const auto type = schema.types.find(type_name);
        if (type == schema.types.end()) continue;
        const schema::TypeDefinition& definition = type->second;
        if (definition.kind == schema::TypeKind::Enum) {
            const auto [values, added] = names.enum_values_by_type.try_emplace(definition.name);
            if (!added) continue;
            for (const schema::EnumValueDefinition& value : definition.enum_values) {
                values->second.insert(value.graphql_name_or_name());
            }
        } else if (definition.kind == schema::TypeKind::InputObject) {
            const auto [input_fields, added] = names.input_fields_by_type.try_emplace(definition.name);
            if (!added) continue;
            // Printed names first, as for directive fields.
            for (const schema::FieldDefinition& field : definition.fields) {
                input_fields->second.try_emplace(
                    schema::graphql_name_of(field.graphql_name, field.name, schema.auto_camel_case), &field);
            }
            for (const schema::FieldDefinition& field : definition.fields) {
                input_fields->second.try_emplace(field.name, &field);
                reached.push_back(&field.field_type.named_type());
            }
        }
    }
    return names;
}

std::string render_json_value(const json::Value& value) {
    std::string out;
    append_json_value(out, value, nullptr, keys_as_stored());
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
