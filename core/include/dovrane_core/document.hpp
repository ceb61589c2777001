// The parsed executable document: every node type of the tree, in one place.
//
// A Document is built once by `parser::parse_document` and never changed; it is
// shared by reference count (`std::shared_ptr<const Document>`) between request
// handles and the persisted-query cache. Nodes live in the document's arena and
// are trivially destructible, so freeing a document never recurses. Names and
// string contents are views into the document's own text or arena.
//
// The records are kept small, since a large query holds millions of them:
// - a `Value` holds only the member of its kind (`number`, `text`, `list` or
//   `object`; `boolean` is always readable); read the kind first;
// - a selection's `alias` and `type_condition` are `Optional`s, read like
//   std::optional (`if (selection.alias) ... selection.alias->value`), whose
//   node sits apart in the arena when present.
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

// A node that may be absent, held by pointer: read like std::optional.
template <class T>
struct Optional {
    const T* node = nullptr;

    explicit operator bool() const { return node != nullptr; }
    bool has_value() const { return node != nullptr; }
    const T& operator*() const { return *node; }
    const T* operator->() const { return node; }
    const T& value() const { return *node; }
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

// Only the member that belongs to `kind` holds anything.
struct Value {
    ValueKind kind = ValueKind::Null;
    bool boolean = false;  // Boolean; false for every other kind
    Offset offset = 0;     // where the value begins
    union {
        std::string_view text;     // Variable, String, Binary, Enum
        json::Number number;       // Number
        Span<Value> list;          // List
        Span<ObjectField> object;  // Object
    };

    Value() : text() {}
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

// Members marked [[no_unique_address]] lend their tail padding to the member
// after them: the nodes of a large query take less memory that way.

struct Directive {
    [[no_unique_address]] Name name;  // without "@"
    Offset offset = 0;                // the "@"
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
    [[no_unique_address]] Span<Selection> selections;  // empty when none was written
    Offset offset = 0;                                 // the "{"; meaningful only when written
};

enum class SelectionKind : std::uint8_t { Field, FragmentSpread, InlineFragment };

// One selection; the members that do not belong to its kind stay empty.
struct Selection {
    [[no_unique_address]] Name name;  // field: its name; spread: the fragment's name
    Offset offset = 0;  // field: its alias, else its name; spreads and inline fragments: the "..."
    Optional<Name> alias;                                // field
    Optional<TypeCondition> type_condition;              // inline fragment
    [[no_unique_address]] Span<Argument> arguments;      // field
    SelectionKind kind = SelectionKind::Field;
    Span<Directive> directives;                          // every kind
    SelectionSet selection_set;                          // field and inline fragment

    std::string_view response_key() const { return alias ? alias->value : name.value; }
};

enum class OperationType : std::uint8_t { Query, Mutation, Subscription };

// "query", "mutation", "subscription".
std::string_view operation_type_name(OperationType type);

struct VariableDefinition {
    [[no_unique_address]] Name name;  // without "$"
    Offset offset = 0;                // the "$"
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
//
// Its blocks come from a small pool kept by each thread and go back to the
// pool of the thread that frees the document, so a thread that parses one
// query after another writes into memory that is already mapped. A pool holds
// no more than the last document parsed on its thread needed, and never more
// than `pool_keep_bytes`, plus the memory of a few large lists, of at most
// `large_keep_bytes` together (as the system allocator keeps freed blocks up
// to that size); a thread that has never parsed keeps nothing.
class Arena {
public:
    // Nodes go into blocks of `block_bytes`, after a first block sized to the
    // document (up to `first_block_max_bytes`); an allocation over
    // `large_bytes` gets a block of its own.
    static constexpr std::size_t block_bytes = std::size_t{64} << 10;
    static constexpr std::size_t first_block_max_bytes = std::size_t{1} << 20;
    static constexpr std::size_t large_bytes = std::size_t{16} << 10;
    static constexpr std::size_t pool_keep_bytes = std::size_t{8} << 20;
    static constexpr std::size_t large_keep_bytes = std::size_t{32} << 20;
    // Less than this of a large list's memory is not worth keeping.
    static constexpr std::size_t large_keep_min_bytes = std::size_t{64} << 10;

    Arena() = default;
    ~Arena();
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // Sizes the first block for about `bytes` of nodes; before any allocation.
    void expect(std::size_t bytes);

    void* allocate(std::size_t bytes, std::size_t alignment) {
        auto address = reinterpret_cast<std::uintptr_t>(cursor_);
        address = (address + alignment - 1) & ~(alignment - 1);
        if (cursor_ != nullptr && address + bytes <= reinterpret_cast<std::uintptr_t>(limit_)) {
            cursor_ = reinterpret_cast<std::byte*>(address + bytes);
            return reinterpret_cast<void*>(address);
        }
        return allocate_in_new_block(bytes, alignment);
    }

    template <class T>
    T* allocate_array(std::size_t count) {
        static_assert(std::is_trivially_destructible_v<T>, "arena nodes are never destroyed");
        if (count == 0) return nullptr;
        return static_cast<T*>(allocate(sizeof(T) * count, alignof(T)));
    }

    // Gives back the tail of the latest allocation, of `bytes` at `memory`,
    // past its first `kept` bytes; nothing when something came after it.
    void shrink_last(void* memory, std::size_t bytes, std::size_t kept) {
        if (static_cast<std::byte*>(memory) + bytes == cursor_) cursor_ = static_cast<std::byte*>(memory) + kept;
    }

    // Bytes left in the current block, for an allocation of that alignment.
    std::size_t room(std::size_t alignment) const {
        if (cursor_ == nullptr) return 0;
        auto address = reinterpret_cast<std::uintptr_t>(cursor_);
        address = (address + alignment - 1) & ~(alignment - 1);
        const auto end = reinterpret_cast<std::uintptr_t>(limit_);
        return address < end ? end - address : 0;
    }

    // Lengthens the latest allocation, which ends at `end`, by `bytes` in
    // place; false when something came after it or the block is full.
    bool extend_last(const void* end, std::size_t bytes) {
        if (end != cursor_ || static_cast<std::size_t>(limit_ - cursor_) < bytes) return false;
        cursor_ += bytes;
        return true;
    }

    // Bytes of every block taken, used or not, and of the large lists, as
    // written; and each of the two alone, what the pool may keep of each.
    std::size_t reserved_bytes() const { return reserved_bytes_ + large_written_bytes_; }
    std::size_t block_bytes_taken() const { return reserved_bytes_; }
    std::size_t large_bytes_taken() const { return large_written_bytes_; }

    // Memory of its own for one list too large for the blocks, which grows
    // in place: on Linux a mapping whose pages move, never copied, as it
    // grows, taken from the pool's kept memory when there is some (fresh
    // memory beyond what a pool keeps comes in huge pages where the system
    // gives them); elsewhere a block that grows by copy, never kept.
    // `open_large` returns the handle of room for at least `bytes`;
    // `grow_large` gives it room for at least `bytes`, maybe at a new
    // address, its first `used` bytes kept; `close_large` keeps its first
    // `used` bytes, gives the rest back, and the list moves no more.
    std::size_t open_large(std::size_t bytes);
    void grow_large(std::size_t handle, std::size_t used, std::size_t bytes);
    void close_large(std::size_t handle, std::size_t used);
    std::byte* large_memory(std::size_t handle) const { return large_[handle].memory; }
    std::size_t large_room(std::size_t handle) const { return large_[handle].bytes; }

    // The peak, since the last call on this thread, of the bytes written into
    // large lists on this thread (they bypass operator new); for benchmarks.
    static std::size_t take_large_peak_on_this_thread();

    // The pool of the calling thread keeps at most `bytes` of blocks from now
    // on (never more than `pool_keep_bytes`) and at most `large` bytes of
    // large lists' memory (never more than `large_keep_bytes`); the parser
    // sets them after each parse, from what the document took.
    static void keep_on_this_thread(std::size_t bytes, std::size_t large);

    struct Block;

private:
    void* allocate_in_new_block(std::size_t bytes, std::size_t alignment);

    struct Large {
        std::byte* memory = nullptr;
        std::size_t bytes = 0;    // room
        std::size_t written = 0;  // counted in `large_written_bytes_`
    };
    void count_written(Large& large, std::size_t written);

    Block* blocks_ = nullptr;  // the newest first
    std::vector<Large> large_;
    std::byte* cursor_ = nullptr;
    std::byte* limit_ = nullptr;
    std::size_t first_block_bytes_ = block_bytes;
    std::size_t reserved_bytes_ = 0;
    std::size_t large_written_bytes_ = 0;
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

// Positions of offsets that mostly come in ascending order, as a walk in
// written order meets them: each lookup moves on from the last one, by steps
// that double, and only an offset before the last one searches afresh.
class PositionCursor {
public:
    explicit PositionCursor(const Document& document) : document_(document) {}

    // What `Document::position` gives.
    error::Location at(Offset offset);

private:
    const Document& document_;
    std::size_t next_ = 0;  // anchors before this one are at or before the last offset
    Offset last_ = 0;
};

using SharedDocument = std::shared_ptr<const Document>;

// The operation a request runs: by name when given (exact, case-sensitive),
// else the only one.
error::Result<const OperationDefinition*> select_operation(
    const Document& document, std::optional<std::string_view> operation_name);

}  // namespace dovrane_core::document
