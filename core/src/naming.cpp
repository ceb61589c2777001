#include "dovrane_core/naming.hpp"

#include "dovrane_core/utf8.hpp"
#include "unicode_tables.hpp"

namespace dovrane_core::naming {

void append_camel_case(std::string& out, std::string_view name) {
    bool after_underscore = false;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const char c = name[pos];
        if (c == '_') {
            after_underscore = true;
            ++pos;
            continue;
        }
        if (!after_underscore) {
            out.push_back(c);  // bytes are copied as they are, UTF-8 or not
            ++pos;
            continue;
        }
        after_underscore = false;
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c);
            ++pos;
            continue;
        }
        const utf8::Decoded decoded = utf8::decode(name, pos);
        if (!decoded.valid) {
            out.push_back(c);  // a stray byte has no case; keep it
            ++pos;
            continue;
        }
        char32_t upper[unicode::max_case_mapping_length];
        const std::size_t count = unicode::upper_case_mapping(decoded.code_point, upper);
        for (std::size_t i = 0; i < count; ++i) utf8::append(out, upper[i]);
        pos += decoded.length;
    }
}

std::string to_camel_case(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    append_camel_case(out, name);
    return out;
}

std::string lower_case_first_character(std::string_view text) {
    std::string out;
    if (text.empty()) {
        return out;
    }
    out.reserve(text.size() + 2);
    const utf8::Decoded decoded = utf8::decode(text, 0);
    if (!decoded.valid) {
        out.push_back(text[0]);
    } else {
        char32_t lower[unicode::max_case_mapping_length];
        const std::size_t count = unicode::lower_case_mapping(decoded.code_point, lower);
        for (std::size_t i = 0; i < count; ++i) utf8::append(out, lower[i]);
    }
    out.append(text.substr(decoded.length));
    return out;
}

bool is_graphql_name(std::string_view name) {
    const auto is_start = [](char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.empty() || !is_start(name.front())) return false;
    for (char c : name.substr(1)) {
        if (!is_start(c) && !(c >= '0' && c <= '9')) return false;
    }
    return true;
}

const char* unicode_version() { return unicode::unicode_version(); }

}  // namespace dovrane_core::naming
