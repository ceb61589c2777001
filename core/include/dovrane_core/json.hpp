// JSON values: the model of applied-directive arguments and request variables.
//
// null, bool, a number of three kinds, string, array, and an object whose keys
// iterate in ascending byte order. Numbers print through `append_number_text`
// and strings through `append_quoted_string`, which the SDL printer and the
// Python default literals share.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dovrane_core::json {

enum class NumberKind : std::uint8_t {
    UnsignedInteger,  // 0 ..= 2^64-1
    NegativeInteger,  // -2^63 ..= -1
    FloatingPoint,    // a finite double
};

struct Number {
    NumberKind kind = NumberKind::UnsignedInteger;
    union {
        std::uint64_t unsigned_value;
        std::int64_t negative_value;
        double float_value;
    };

    Number() : unsigned_value(0) {}
    static Number from_unsigned(std::uint64_t v);
    // Non-negative values become UnsignedInteger, negative ones NegativeInteger.
    static Number from_signed(std::int64_t v);
    // The caller guarantees `v` is finite.
    static Number from_double(double v);

    bool is_integer() const { return kind != NumberKind::FloatingPoint; }
    // The value as a signed 64-bit integer, when it is an integer that fits.
    bool as_int64(std::int64_t& out) const;
};

bool operator==(const Number& a, const Number& b);

struct Value;
using Array = std::vector<Value>;
// std::string compares through char_traits<char>, which orders as unsigned
// bytes: exactly the key order JSON objects need. std::less<> allows lookups by
// string_view.
using Object = std::map<std::string, Value, std::less<>>;

struct Value {
    std::variant<std::nullptr_t, bool, Number, std::string, Array, Object> data;

    Value() : data(nullptr) {}
    Value(std::nullptr_t) : data(nullptr) {}
    Value(bool b) : data(b) {}
    Value(Number n) : data(n) {}
    Value(std::string s) : data(std::move(s)) {}
    Value(Array a) : data(std::move(a)) {}
    Value(Object o) : data(std::move(o)) {}

    bool is_null() const { return std::holds_alternative<std::nullptr_t>(data); }
    const bool* as_bool() const { return std::get_if<bool>(&data); }
    const Number* as_number() const { return std::get_if<Number>(&data); }
    const std::string* as_string() const { return std::get_if<std::string>(&data); }
    const Array* as_array() const { return std::get_if<Array>(&data); }
    const Object* as_object() const { return std::get_if<Object>(&data); }
};

bool operator==(const Value& a, const Value& b);

// The number text: integers in plain decimal; doubles with the shortest
// round-trip digits, as a plain decimal for decimal exponents -5..15 and in
// exponent form ("1e+16", "1.5e-7") otherwise; zero is "0.0".
void append_number_text(std::string& out, const Number& number);
void append_double_text(std::string& out, double value);
std::string number_text(const Number& number);

// How `append_quoted_string` spells a string between its double quotes.
enum class QuoteForm : std::uint8_t {
    // JSON: \" \\ \b \f \n \r \t, "\u001f" for the other control characters,
    // every other byte as it is.
    Json,
    // A GraphQL string literal, as the SDL prints it: \" \\ \n \r \t, "\u{1f}"
    // (lower-case hex, no leading zeros) for the other control characters,
    // U+007F, combining marks and the code points that do not print; a byte
    // that is not well-formed UTF-8 becomes U+FFFD, so the text stays UTF-8.
    GraphQL,
};

// Appends `text` as a quoted string literal of the given form.
void append_quoted_string(std::string& out, std::string_view text, QuoteForm form = QuoteForm::Json);

// Compact JSON text, for tests and diagnostics (not used on the wire).
std::string to_json_text(const Value& value);

}  // namespace dovrane_core::json
