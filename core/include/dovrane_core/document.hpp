// The parsed executable document: every node type of the tree, in one place.
//
// A Document is built once by `parser::parse_document` and never changed; it is
// shared by reference count (`std::shared_ptr<const Document>`) between request
// handles and the persisted-query cache. Nodes live in the document's arena and
// are trivially destructible, so freeing a document never recurses. Names and
// string contents are views into the document's own text or arena.
//
// Positions are byte offsets; `Document::position` turns one into a 1-based
// line and a column counted in characters, only when asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "dovrane_core/error.hpp"
#include "dovrane_core/json.hpp"

namespace dovrane_core::document {

using Offset = std::uint32_t;  // byte offset into Document::source

// A read-only run of nodes in the arena.
template <class T>
struct Span {
    const T* items = nullptr;
    std::uint32_t count = 0;

    const T* begin() const { return items; }
    const T* end() const { return items + count; }
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const T& operator[](std::size_t i) const { return items[i]; }
};

struct Name {
    std::string_view value;
    Offset offset = 0;
};

enum class ValueKind : std::uint8_t {
    Variable,  // text: the name without "$"
    Null,
    Number,    // number
    String,    // text: the decoded contents
    Boolean,   // boolean
    Binary,    // text: the bytes; never produced from query text
    Enum,      // text: the name
    List,      // list
    Object,    // object, in written order, repeated keys folded
};

struct ObjectField;

struct Value {
    ValueKind kind = ValueKind::Null;
    bool boolean = false;
    Offset offset = 0;  // where the value begins
    json::Number number;
    std::string_view text;
    Span<Value> list;
    Span<ObjectField> object;
};

// In an object literal a repeated key keeps its first position and last value.
struct ObjectField {
    Name name;
    Value value;
};

struct Argument {
    Name name;  // an argument is located at its name
    Value value;
};

struct Directive {
    Name name;          // without "@"
    Offset offset = 0;  // the "@"
    Span<Argument> arguments;
};

struct TypeRef {
    enum class Kind : std::uint8_t { Named, List };
    Kind kind = Kind::Named;
    bool non_null = false;
    Offset offset = 0;
    std::string_view name;          // Named
    const TypeRef* inner = nullptr;  // List
};

// The compact text form: "ID", "[ID!]!", whatever spacing the query used.
std::string type_text(const TypeRef& type);

struct TypeCondition {
    Name name;
    Offset offset = 0;  // the "on"
};

struct Selection;

struct SelectionSet {
    Span<Selection> selections;  // empty when none was written
    Offset offset = 0;           // the "{"; meaningful only when written
};

enum class SelectionKind : std::uint8_t { Field, FragmentSpread, InlineFragment };

// One selection; the members that do not belong to its kind stay empty.
struct Selection {
    SelectionKind kind = SelectionKind::Field;
    Offset offset = 0;  // field: its alias, else its name; spreads and inline fragments: the "..."
    std::optional<Name> alias;                     // field
    Name name;                                     // field: its name; spread: the fragment's name
    std::optional<TypeCondition> type_condition;   // inline fragment
    Span<Argument> arguments;                      // field
    Span<Directive> directives;                    // every kind
    SelectionSet selection_set;                    // field and inline fragment

    std::string_view response_key() const { return alias ? alias->value : name.value; }
};

enum class OperationType : std::uint8_t { Query, Mutation, Subscription };

// "query", "mutation", "subscription".
std::string_view operation_type_name(OperationType type);

struct VariableDefinition {
    Name name;          // without "$"
    Offset offset = 0;  // the "$"
    const TypeRef* type = nullptr;
    const Value* default_value = nullptr;  // null when no default was written
    Span<Directive> directives;
};

struct OperationDefinition {
    OperationType type = OperationType::Query;
    std::optional<Name> name;  // absent for an anonymous operation
    Offset offset = 0;         // its keyword, or the "{" of a bare selection set
    Span<VariableDefinition> variables;
    Span<Directive> directives;
    SelectionSet selection_set;
};

struct FragmentDefinition {
    Name name;
    Offset offset = 0;  // the "fragment" keyword
    TypeCondition type_condition;
    Span<Directive> directives;
    SelectionSet selection_set;
};

namespace detail {

// Bump allocator for nodes; nodes are trivially destructible and freed in bulk.
class Arena {
public:
    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    void* allocate(std::size_t bytes, std::size_t alignment);

    template <class T>
    T* allocate_array(std::size_t count) {
        static_assert(std::is_trivially_destructible_v<T>, "arena nodes are never destroyed");
        if (count == 0) return nullptr;
        return static_cast<T*>(allocate(sizeof(T) * count, alignof(T)));
    }

    // Bytes of every block taken from the heap, used or not.
    std::size_t reserved_bytes() const { return reserved_bytes_; }

private:
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    std::byte* cursor_ = nullptr;
    std::size_t remaining_ = 0;
    std::size_t next_block_size_ = 4096;
    std::size_t reserved_bytes_ = 0;
};

// A point where the column count restarts or is known: every line start, every
// carriage return, and the end of each run holding non-ASCII characters.
// Between two anchors every byte is one ASCII character.
struct PositionAnchor {
    Offset offset = 0;
    std::uint32_t line = 1;
    std::uint32_t column = 1;
};

struct FragmentIndexEntry {
    std::string_view name;
    std::uint32_t index = 0;  // into Document::fragments
};

}  // namespace detail

struct Document {
    Document() = default;
    // Views point into the document itself: it never moves or copies.
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    std::string source;                               // the query text, exactly as given
    std::vector<OperationDefinition> operations;      // written order
    std::vector<FragmentDefinition> fragments;        // written order, unique names

    // 1-based line and column (in characters) of a byte offset into `source`.
    error::Location position(Offset offset) const;

    const FragmentDefinition* find_fragment(std::string_view name) const;

    // Heap bytes the document holds: its text, its nodes and its indexes. Cheap
    // (no walk of the tree); what the persisted-query cache weighs it by.
    std::size_t memory_bytes() const;

    // Filled by the parser.
    detail::Arena arena;
    std::vector<detail::PositionAnchor> anchors;          // ascending by offset
    std::vector<detail::FragmentIndexEntry> fragment_index;  // sorted by name
};

using SharedDocument = std::shared_ptr<const Document>;

// The operation a request runs: by name when given (exact, case-sensitive),
// else the only one.
error::Result<const OperationDefinition*> select_operation(
    const Document& document, std::optional<std::string_view> operation_name);

}  // namespace dovrane_core::document
