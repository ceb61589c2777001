// The GraphQL executable-document parser: a hand-written lexer and parser,
// one pass over the bytes.
//
// The text is copied once into `Document::source`, whose std::string keeps a
// NUL after the last byte: every scanning loop stops at that NUL without a
// bounds check, and only a NUL found at the end is the end of input.
//
// Nothing here recurses over input. Selection sets and values nest through
// explicit stacks, so an over-deep document is recorded as a depth failure
// while the rest of the text is still checked for syntax errors (a syntax
// error is reported before any other failure).
//
// Every node is written once, in its place in the document's arena: the lists
// of one kind at one nesting level follow one another in chunks of the arena
// (see Region), so a list's items are contiguous without being gathered
// elsewhere first. A list too large for a chunk is gathered in a reused
// spill buffer and copied once; one beyond `large_list_bytes` goes on in
// memory of its own that grows in place, never copied again. The text is read once, whatever its
// size: a failing text costs at most the nodes written before its failure,
// no more than the text without it would.
//
// Positions cost nothing until asked for: the parser writes a position anchor
// at every line start, after every carriage return and after every token or
// comment that held non-ASCII characters; between two anchors every byte is
// one column.
#include "dovrane_core/parser.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dovrane_core/limits.hpp"
#include "dovrane_core/utf8.hpp"
#include "parser/lexer.hpp"
#include "parser/literals.hpp"
#include "parser/report.hpp"
#include "scratch.hpp"

namespace dovrane_core::parser {

namespace {

using error::ErrorCode;

// The end of input, one past the last byte, stays below the largest Offset.
static_assert(limits::max_document_bytes == std::numeric_limits<Offset>::max() - 1);

// ---------------------------------------------------------------------------
// The parser

using document::Argument;
using document::Directive;
using document::FragmentDefinition;
using document::Name;
using document::ObjectField;
using document::OperationDefinition;
using document::OperationType;
using document::Selection;
using document::SelectionKind;
using document::SelectionSet;
using document::Span;
using document::TypeCondition;
using document::TypeRef;
using document::Value;
using document::ValueKind;
using document::VariableDefinition;

// Up to this many fields an object literal folds repeated keys by scanning;
// beyond it, by sorting, so hostile literals stay n log n.
constexpr std::size_t object_scan_limit = 16;

// Raw memory for one list too large for a chunk; kept per thread between
// parses, and given back when it grew beyond the scratch bound.
struct SpillBuffer {
    std::unique_ptr<std::byte[]> bytes;  // aligned for every node type
    std::size_t capacity = 0;

    // Room for `needed` bytes, the first `used` kept.
    void grow(std::size_t needed, std::size_t used) {
        if (needed <= capacity) return;
        const std::size_t size = std::max(needed, 2 * capacity);
        std::unique_ptr<std::byte[]> larger(new std::byte[size]);
        if (used != 0) std::memcpy(larger.get(), bytes.get(), used);
        bytes = std::move(larger);
        capacity = size;
    }
    void reset(detail::ScratchBudget& budget) {
        if (!budget.keep(capacity)) {
            bytes.reset();
            capacity = 0;
        }
    }
};

// No open large list.
constexpr std::size_t no_large = std::numeric_limits<std::size_t>::max();

// Where the lists of one kind at one nesting level are written: in place, in
// a chunk of the arena, one list after another, since at most one list per
// kind and level is open at a time. A list that outgrows its chunk moves to a
// new one; one that outgrows the largest chunk goes on in a spill buffer and
// is copied into the arena, exactly sized, when it closes; one that outgrows
// `large_list_bytes` moves once more, into memory of its own (see
// `Arena::open_large`), which grows in place and is cut to size when it
// closes. So no large list is copied more than once, nor held twice.
template <class T>
struct Region {
    T* start = nullptr;   // the open list's first item
    T* cursor = nullptr;  // past its last item
    T* limit = nullptr;   // the end of the chunk, the spill buffer or the large list's room
    std::size_t chunk_items = 0;  // of every chunk so far
    // While the open list is in a spill buffer or large: the buffer or the
    // arena's handle, and where the chunk stood before the list began.
    struct SpillBuffer* spill = nullptr;
    std::size_t large = no_large;
    T* chunk_cursor = nullptr;
    T* chunk_limit = nullptr;
};

// A new chunk holds half of what the region's chunks held so far, at least
// `min_chunk_items` and at most `max_chunk_bytes`, so empty tails stay a
// small part of the nodes; a smaller rest of the arena's block is taken when
// it is most of a chunk.
constexpr std::size_t min_chunk_items = 4;
constexpr std::size_t max_chunk_bytes = std::size_t{16} << 10;
// The most anchors room is made for before the text shows its lines.
constexpr std::size_t first_anchors = std::size_t{64} << 10;

// How far ahead of a region's cursor its lines are fetched.
constexpr std::size_t prefetch_bytes = 1024;
constexpr std::size_t cache_line_bytes = 64;

struct ValueFrame {
    bool is_list = false;
    Value* value = nullptr;  // the container's own value, already in its place
};

struct SelectionFrame {
    Offset offset = 0;  // the "{"
    std::uint32_t count = 0;
    // The field or inline fragment whose set this is, the last selection of
    // the set below; absent for the outermost set.
    bool has_owner = false;
};

struct Definition {
    bool is_fragment = false;
    std::size_t index = 0;
};

// The parser's stacks and notes, kept per thread between parses so a request
// pays no allocation for them; a huge query's memory is given back afterwards.
struct Scratch {
    static constexpr std::size_t selection_levels = limits::max_nesting_depth + 1;
    static constexpr std::size_t value_levels = limits::max_nesting_depth;

    // Lists too large for a chunk, by kind and level (see Region); `spilled`
    // once any of them holds memory.
    bool spilled = false;
    std::array<SpillBuffer, selection_levels> selection_spills;
    std::array<SpillBuffer, value_levels> item_spills;
    std::array<SpillBuffer, value_levels> field_spills;
    SpillBuffer argument_spill;
    SpillBuffer directive_spill;
    SpillBuffer variable_spill;
    std::vector<SelectionFrame> selection_stack;
    std::vector<ValueFrame> value_stack;
    std::vector<std::pair<Offset, bool>> type_stack;  // list levels: "[" offset, non-null
    std::vector<Definition> definitions;
    std::vector<std::uint32_t> order;
    std::vector<bool> dropped;

    void reset() {
        detail::ScratchBudget budget;
        detail::reset_scratch(selection_stack, budget);
        detail::reset_scratch(value_stack, budget);
        detail::reset_scratch(type_stack, budget);
        detail::reset_scratch(definitions, budget);
        detail::reset_scratch(order, budget);
        if (!budget.keep(dropped.capacity() / 8)) std::vector<bool>().swap(dropped);
        if (!spilled) return;
        std::size_t kept = 0;
        const auto reset_spill = [&](SpillBuffer& spill) {
            spill.reset(budget);
            kept += spill.capacity;
        };
        for (SpillBuffer& spill : selection_spills) reset_spill(spill);
        for (SpillBuffer& spill : item_spills) reset_spill(spill);
        for (SpillBuffer& spill : field_spills) reset_spill(spill);
        reset_spill(argument_spill);
        reset_spill(directive_spill);
        reset_spill(variable_spill);
        spilled = kept != 0;
    }
};

const char* token_kind_text(TokenKind kind) {
    switch (kind) {
        case TokenKind::EndOfInput: return "end of input";
        case TokenKind::Bang: return "\"!\"";
        case TokenKind::Dollar: return "\"$\"";
        case TokenKind::Ampersand: return "\"&\"";
        case TokenKind::ParenLeft: return "\"(\"";
        case TokenKind::ParenRight: return "\")\"";
        case TokenKind::Spread: return "\"...\"";
        case TokenKind::Colon: return "\":\"";
        case TokenKind::Equals: return "\"=\"";
        case TokenKind::At: return "\"@\"";
        case TokenKind::BracketLeft: return "\"[\"";
        case TokenKind::BracketRight: return "\"]\"";
        case TokenKind::BraceLeft: return "\"{\"";
        case TokenKind::Pipe: return "\"|\"";
        case TokenKind::BraceRight: return "\"}\"";
        case TokenKind::Name: return "Name";
        case TokenKind::Int: return "Int";
        case TokenKind::Float: return "Float";
        case TokenKind::String: return "String";
        case TokenKind::BlockString: return "BlockString";
    }
    return "token";
}

struct Parser {
    // Nesting levels that have regions; deeper ones fail the parse, and what
    // they hold is read for its syntax only.
    static constexpr std::size_t selection_levels = Scratch::selection_levels;
    static constexpr std::size_t value_levels = Scratch::value_levels;

    document::Document& document;
    SyntaxFailure syntax;
    Lexer lexer;
    Token token;

    // The first number or depth failure, in text order; reported only when
    // the text has no syntax error.
    bool has_limit_failure = false;
    bool limit_is_depth = false;
    Offset limit_offset = 0;

    Scratch& scratch;
    std::vector<SelectionFrame>& selection_stack;
    std::vector<ValueFrame>& value_stack;
    std::vector<std::pair<Offset, bool>>& type_stack;
    std::vector<Definition>& definitions;

    std::array<Region<Selection>, selection_levels> selection_regions;
    std::array<Region<Value>, value_levels> item_regions;
    std::array<Region<ObjectField>, value_levels> field_regions;
    Region<Argument> argument_region;
    Region<Directive> directive_region;
    Region<VariableDefinition> variable_region;

    // Where a level too deep writes the nodes it does not keep.
    Selection unused_selection;
    Value unused_value;
    ObjectField unused_field;

    Parser(document::Document& target, Scratch& space)
        : document(target),
          scratch(space),
          selection_stack(space.selection_stack),
          value_stack(space.value_stack),
          type_stack(space.type_stack),
          definitions(space.definitions) {
        const char* text = document.source.c_str();
        lexer.begin = lexer.cursor = text;
        lexer.end = text + document.source.size();
        lexer.anchors = &document.anchors;
        lexer.failure = &syntax;
        // Room for a line start every 16 bytes, up to a bound: a large text
        // grows its room once it has seen how many lines it has, so that one
        // of few lines (one long string) reserves little.
        lexer.start_anchors(std::min<std::size_t>(document.source.size() / 16, first_anchors));
    }

    bool failed() const { return syntax.failed; }
    std::string_view text(Offset start, Offset end) const {
        return std::string_view(document.source).substr(start, end - start);
    }
    std::string_view token_text() const { return text(token.start, token.end); }

    [[gnu::always_inline]] bool advance() { return lexer.next(token); }

    bool fail_expected(std::string_view expected) {
        if (syntax.failed) return false;
        std::string description = "expected ";
        description.append(expected);
        description += ", found ";
        description += token_kind_text(token.kind);
        if (token.kind == TokenKind::Name || token.kind == TokenKind::Int || token.kind == TokenKind::Float) {
            description += " \"";
            description.append(token_text());
            description += '"';
        }
        syntax.failed = true;
        syntax.start = token.start;
        syntax.end = token.end;
        syntax.has_end = token.end > token.start;
        syntax.description = std::move(description);
        return false;
    }

    void note_depth_failure(Offset offset) { note_limit_failure(offset, true); }
    void note_limit_failure(Offset offset, bool is_depth) {
        if (has_limit_failure && limit_offset <= offset) return;
        has_limit_failure = true;
        limit_is_depth = is_depth;
        limit_offset = offset;
    }

    bool is(TokenKind kind) const { return token.kind == kind; }
    bool is_keyword(std::string_view word) const { return token.kind == TokenKind::Name && token_text() == word; }

    bool expect(TokenKind kind, std::string_view expected) {
        if (token.kind != kind) return fail_expected(expected);
        return advance();
    }

    // -----------------------------------------------------------------------
    // Lists in their regions

    // Opens a list at the region's cursor.
    template <class T>
    void open_list(Region<T>* region) {
        if (region != nullptr) region->start = region->cursor;
    }

    // The next item of the open list, in place; `unused` when nothing is kept.
    template <class T>
    T& add_item(Region<T>* region, T& unused) {
        return region != nullptr ? add_item(*region) : unused;
    }
    template <class T>
    T& add_item(Region<T>& region) {
        if (region.cursor == region.limit) return add_beyond_chunk(region);
        // The lines some items on, for writing: the regions of many levels
        // are written side by side, more streams than the hardware follows,
        // and a large document's nodes are far beyond the caches.
        const char* ahead = reinterpret_cast<const char*>(region.cursor) + prefetch_bytes;
        for (std::size_t line = 0; line < sizeof(T); line += cache_line_bytes) __builtin_prefetch(ahead + line, 1);
        return *new (region.cursor++) T();
    }

    template <class T>
    [[gnu::noinline]] T& add_beyond_chunk(Region<T>& region) {
        const std::size_t count = static_cast<std::size_t>(region.cursor - region.start);
        if (region.spill == nullptr && region.large == no_large && count + 1 <= max_chunk_bytes / sizeof(T)) {
            move_to_chunk(region, std::min(2 * count + 1, max_chunk_bytes / sizeof(T)));
        } else if (region.large != no_large || (count + 1) * sizeof(T) > large_list_bytes) {
            move_to_large(region, count);
        } else {
            // Into the spill buffer, which doubles; the chunk takes the next
            // list where this one began.
            SpillBuffer& spill = spill_of(region);
            scratch.spilled = true;
            const std::size_t items = std::max<std::size_t>(2 * count, 64);
            if (region.spill == nullptr) {
                region.spill = &spill;
                region.chunk_cursor = region.start;
                region.chunk_limit = region.limit;
                spill.grow(items * sizeof(T), 0);
                if (count != 0) std::memcpy(spill.bytes.get(), static_cast<void*>(region.start), count * sizeof(T));
            } else {
                spill.grow(items * sizeof(T), count * sizeof(T));
            }
            region.start = reinterpret_cast<T*>(spill.bytes.get());
            region.cursor = region.start + count;
            region.limit = region.start + spill.capacity / sizeof(T);
        }
        return *new (region.cursor++) T();
    }

    // The open list, of `count` items, into a large list of its own with room
    // for twice as many: out of the spill buffer (the one copy), or grown in
    // place.
    template <class T>
    void move_to_large(Region<T>& region, std::size_t count) {
        document::detail::Arena& arena = document.arena;
        const std::size_t used = count * sizeof(T);
        if (region.large == no_large) {
            if (region.spill == nullptr) {
                region.chunk_cursor = region.start;
                region.chunk_limit = region.limit;
            }
            region.large = arena.open_large(2 * used);
            std::memcpy(arena.large_memory(region.large), static_cast<void*>(region.start), used);
            region.spill = nullptr;
        } else {
            arena.grow_large(region.large, used, 2 * used);
        }
        region.start = reinterpret_cast<T*>(arena.large_memory(region.large));
        region.cursor = region.start + count;
        region.limit = region.start + arena.large_room(region.large) / sizeof(T);
    }

    // The open list into a new chunk with room for `items`, its items so far
    // copied over.
    template <class T>
    [[gnu::noinline]] void move_to_chunk(Region<T>& region, std::size_t items) {
        const std::size_t share = std::clamp(region.chunk_items / 2, min_chunk_items, max_chunk_bytes / sizeof(T));
        std::size_t size = std::max(share, items);
        const std::size_t room = document.arena.room(alignof(T)) / sizeof(T);
        if (room < size && room >= std::max(items, size / 2)) size = room;
        region.chunk_items += size;
        T* chunk = document.arena.allocate_array<T>(size);
        const std::size_t count = static_cast<std::size_t>(region.cursor - region.start);
        if (count != 0) std::memcpy(static_cast<void*>(chunk), region.start, count * sizeof(T));
        region.start = chunk;
        region.cursor = chunk + count;
        region.limit = chunk + size;
    }

    SpillBuffer& spill_of(Region<Selection>& region) {
        return scratch.selection_spills[static_cast<std::size_t>(&region - selection_regions.data())];
    }
    SpillBuffer& spill_of(Region<Value>& region) {
        return scratch.item_spills[static_cast<std::size_t>(&region - item_regions.data())];
    }
    SpillBuffer& spill_of(Region<ObjectField>& region) {
        return scratch.field_spills[static_cast<std::size_t>(&region - field_regions.data())];
    }
    SpillBuffer& spill_of(Region<Argument>&) { return scratch.argument_spill; }
    SpillBuffer& spill_of(Region<Directive>&) { return scratch.directive_spill; }
    SpillBuffer& spill_of(Region<VariableDefinition>&) { return scratch.variable_spill; }

    // The finished list; the region's next list starts in its chunk again.
    template <class T>
    Span<T> close_list(Region<T>* region) {
        if (region == nullptr) return {};
        Span<T> span;
        span.count = static_cast<std::uint32_t>(region->cursor - region->start);
        if (region->spill == nullptr && region->large == no_large) {
            if (span.count == 0) return {};
            span.items = region->start;
            region->start = region->cursor;
            return span;
        }
        if (region->large != no_large) {
            document.arena.close_large(region->large, span.count * sizeof(T));
            span.items = region->start;
            region->large = no_large;
        } else {
            T* items = document.arena.allocate_array<T>(span.count);
            std::memcpy(static_cast<void*>(items), region->start, span.count * sizeof(T));
            span.items = items;
            region->spill = nullptr;
        }
        region->start = region->cursor = region->chunk_cursor;
        region->limit = region->chunk_limit;
        return span;
    }

    template <class T, std::size_t levels>
    static Region<T>* region_at(std::array<Region<T>, levels>& regions, std::size_t level) {
        return level < levels ? &regions[level] : nullptr;
    }

    // A new node in the arena.
    template <class T>
    T* new_node() {
        return new (document.arena.allocate_array<T>(1)) T();
    }

    std::string_view to_arena_text(std::string_view value) {
        if (value.empty()) return {};
        char* chars = document.arena.allocate_array<char>(value.size());
        std::memcpy(chars, value.data(), value.size());
        return {chars, value.size()};
    }

    std::string_view block_string_text(std::string_view raw) {
        if (raw.empty()) return {};
        char* chars = document.arena.allocate_array<char>(raw.size());
        const std::size_t length =
            write_block_string_value(raw, token.has_carriage_return, token.has_escape, chars);
        document.arena.shrink_last(chars, raw.size(), length);
        return {length != 0 ? chars : nullptr, length};
    }

    // Name
    bool parse_name(Name& name, std::string_view expected = "Name") {
        if (token.kind != TokenKind::Name) return fail_expected(expected);
        name.value = token_text();
        name.offset = token.start;
        return advance();
    }

    // -----------------------------------------------------------------------
    // Definitions

    // Document : Definition+
    bool parse_document() {
        const bool parsed = parse_definitions();
        lexer.finish_anchors();
        return parsed;
    }

    bool parse_definitions() {
        if (!advance()) return false;
        if (is(TokenKind::EndOfInput)) return fail_expected("a definition");
        while (!is(TokenKind::EndOfInput)) {
            if (!parse_definition()) return false;
        }
        return true;
    }

    // ExecutableDefinition : OperationDefinition | FragmentDefinition
    bool parse_definition() {
        if (is(TokenKind::BraceLeft)) {
            OperationDefinition operation;
            operation.offset = token.start;
            if (!parse_selection_set(operation.selection_set)) return false;
            return add_operation(operation);
        }
        if (is_keyword("fragment")) return parse_fragment_definition();
        if (is_keyword("query") || is_keyword("mutation") || is_keyword("subscription")) {
            return parse_operation_definition();
        }
        return fail_expected("\"query\", \"mutation\", \"subscription\", \"fragment\" or \"{\"");
    }

    bool add_operation(const OperationDefinition& operation) {
        definitions.push_back({false, document.operations.size()});
        document.operations.push_back(operation);
        return true;
    }

    // OperationDefinition : OperationType Name? VariableDefinitions? Directives? SelectionSet
    bool parse_operation_definition() {
        OperationDefinition operation;
        operation.offset = token.start;
        const std::string_view keyword = token_text();
        operation.type = keyword == "query"      ? OperationType::Query
                         : keyword == "mutation" ? OperationType::Mutation
                                                 : OperationType::Subscription;
        if (!advance()) return false;
        if (is(TokenKind::Name)) {
            Name name;
            if (!parse_name(name)) return false;
            operation.name = name;
        }
        if (is(TokenKind::ParenLeft) && !parse_variable_definitions(operation.variables)) return false;
        if (!parse_directives(operation.directives, false)) return false;
        if (!is(TokenKind::BraceLeft)) return fail_expected("\"{\"");
        if (!parse_selection_set(operation.selection_set)) return false;
        return add_operation(operation);
    }

    // FragmentDefinition : fragment FragmentName TypeCondition Directives? SelectionSet
    bool parse_fragment_definition() {
        FragmentDefinition fragment;
        fragment.offset = token.start;
        if (!advance()) return false;
        if (is_keyword("on")) return fail_expected("a fragment name");
        if (!parse_name(fragment.name, "a fragment name")) return false;
        if (!is_keyword("on")) return fail_expected("\"on\"");
        fragment.type_condition.offset = token.start;
        if (!advance()) return false;
        if (!parse_name(fragment.type_condition.name)) return false;
        if (!parse_directives(fragment.directives, false)) return false;
        if (!is(TokenKind::BraceLeft)) return fail_expected("\"{\"");
        if (!parse_selection_set(fragment.selection_set)) return false;
        definitions.push_back({true, document.fragments.size()});
        document.fragments.push_back(fragment);
        return true;
    }

    // VariableDefinitions : ( VariableDefinition+ )
    // VariableDefinition : Variable : Type DefaultValue? Directives[Const]?
    // (directives are taken before or after the default value)
    bool parse_variable_definitions(Span<VariableDefinition>& out) {
        if (!advance()) return false;
        if (is(TokenKind::ParenRight)) return fail_expected("\"$\"");
        Region<VariableDefinition>* region = &variable_region;
        open_list(region);
        while (!is(TokenKind::ParenRight)) {
            VariableDefinition& variable = add_item(*region);
            variable.offset = token.start;
            if (!expect(TokenKind::Dollar, "\"$\"")) return false;
            if (!parse_name(variable.name)) return false;
            if (!expect(TokenKind::Colon, "\":\"")) return false;
            if (!parse_type(variable.type)) return false;
            const bool directives_first = is(TokenKind::At);
            if (!parse_directives(variable.directives, true)) return false;
            if (is(TokenKind::Equals)) {
                if (!advance()) return false;
                Value* value = new_node<Value>();
                if (!parse_value(*value, true)) return false;
                variable.default_value = value;
                if (!directives_first && !parse_directives(variable.directives, true)) return false;
            }
        }
        out = close_list(region);
        return advance();
    }

    // Type : NamedType | [ Type ] | Type !   (iterative over list levels)
    bool parse_type(const TypeRef*& out) {
        const std::size_t begin = type_stack.size();
        while (is(TokenKind::BracketLeft)) {
            if (type_stack.size() - begin == limits::max_nesting_depth) note_depth_failure(token.start);
            type_stack.push_back({token.start, false});
            if (!advance()) return false;
        }
        TypeRef* type = new_node<TypeRef>();
        type->offset = token.start;
        if (token.kind != TokenKind::Name) return fail_expected("a type");
        type->name = token_text();
        if (!advance()) return false;
        if (is(TokenKind::Bang)) {
            type->non_null = true;
            if (!advance()) return false;
        }
        while (type_stack.size() > begin) {
            if (!expect(TokenKind::BracketRight, "\"]\"")) return false;
            TypeRef* list = new_node<TypeRef>();
            list->kind = TypeRef::Kind::List;
            list->offset = type_stack.back().first;
            list->inner = type;
            type_stack.pop_back();
            if (is(TokenKind::Bang)) {
                list->non_null = true;
                if (!advance()) return false;
            }
            type = list;
        }
        out = type;
        return true;
    }

    // Directives : Directive+     Directive : @ Name Arguments?
    bool parse_directives(Span<Directive>& out, bool is_const) {
        if (!is(TokenKind::At)) return true;
        Region<Directive>* region = &directive_region;
        open_list(region);
        while (is(TokenKind::At)) {
            Directive& directive = add_item(*region);
            directive.offset = token.start;
            if (!advance()) return false;
            if (!parse_name(directive.name)) return false;
            if (is(TokenKind::ParenLeft) && !parse_arguments(directive.arguments, is_const)) return false;
        }
        out = close_list(region);
        return true;
    }

    // Arguments : ( Argument+ )     Argument : Name : Value
    bool parse_arguments(Span<Argument>& out, bool is_const) {
        if (!advance()) return false;
        if (is(TokenKind::ParenRight)) return fail_expected("an argument name");
        Region<Argument>* region = &argument_region;
        open_list(region);
        while (!is(TokenKind::ParenRight)) {
            Argument& argument = add_item(*region);
            if (!parse_name(argument.name, "an argument name")) return false;
            if (!expect(TokenKind::Colon, "\":\"")) return false;
            if (!parse_value(argument.value, is_const)) return false;
        }
        out = close_list(region);
        return advance();
    }

    // -----------------------------------------------------------------------
    // Values

    // A scalar value or a variable at the current token, into a fresh value.
    bool parse_scalar(Value& value, bool is_const) {
        value.offset = token.start;
        switch (token.kind) {
            case TokenKind::Dollar: {
                if (is_const) return fail_expected("a constant value");
                if (!advance()) return false;
                if (token.kind != TokenKind::Name) return fail_expected("a variable name");
                value.kind = ValueKind::Variable;
                value.text = token_text();
                return advance();
            }
            case TokenKind::Int:
            case TokenKind::Float: {
                value.kind = ValueKind::Number;
                value.number = json::Number();
                if (read_number(token_text(), token.kind == TokenKind::Float, value.number) != NumberProblem::None) {
                    note_limit_failure(token.start, false);
                }
                return advance();
            }
            case TokenKind::String: {
                value.kind = ValueKind::String;
                const std::string_view body = text(token.start + 1, token.end - 1);
                value.text = token.has_escape ? to_arena_text(unescape_string(body)) : body;
                return advance();
            }
            case TokenKind::BlockString: {
                value.kind = ValueKind::String;
                value.text = block_string_text(text(token.start + 3, token.end - 3));
                return advance();
            }
            case TokenKind::Name: {
                const std::string_view name = token_text();
                if (name == "true" || name == "false") {
                    value.kind = ValueKind::Boolean;
                    value.boolean = name == "true";
                } else if (name == "null") {
                    value.kind = ValueKind::Null;
                } else {
                    value.kind = ValueKind::Enum;
                    value.text = name;
                }
                return advance();
            }
            default: return fail_expected("a value");
        }
    }

    // Folds repeated keys of `count` fields in place: the first position, the
    // last value. Keeps written order otherwise. Returns the fields kept.
    std::size_t fold_repeated_keys(ObjectField* fields, std::size_t count) {
        if (count < 2) return count;
        std::size_t kept = 0;
        if (count <= object_scan_limit) {
            for (std::size_t i = 0; i < count; ++i) {
                std::size_t j = 0;
                while (j < kept && fields[j].name.value != fields[i].name.value) ++j;
                if (j < kept) {
                    fields[j].value = fields[i].value;
                } else {
                    fields[kept++] = fields[i];
                }
            }
            return kept;
        }
        std::vector<std::uint32_t>& order = scratch.order;
        std::vector<bool>& dropped = scratch.dropped;
        order.resize(count);
        for (std::size_t i = 0; i < count; ++i) order[i] = static_cast<std::uint32_t>(i);
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            const int compared = fields[a].name.value.compare(fields[b].name.value);
            return compared != 0 ? compared < 0 : a < b;
        });
        dropped.assign(count, false);
        for (std::size_t i = 0; i < count;) {
            std::size_t j = i + 1;
            while (j < count && fields[order[j]].name.value == fields[order[i]].name.value) dropped[order[j++]] = true;
            if (j - i > 1) fields[order[i]].value = fields[order[j - 1]].value;
            i = j;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!dropped[i]) fields[kept++] = fields[i];
        }
        return kept;
    }

    // Opens a list or object at the current token, in `value`'s place.
    bool open_container(Value& value, bool is_list) {
        const std::size_t level = value_stack.size();
        if (level == limits::max_nesting_depth) note_depth_failure(token.start);
        value.kind = is_list ? ValueKind::List : ValueKind::Object;
        value.offset = token.start;
        if (is_list) {
            open_list(region_at(item_regions, level));
        } else {
            open_list(region_at(field_regions, level));
        }
        value_stack.push_back({is_list, &value});
        return advance();
    }

    void close_container() {
        const ValueFrame frame = value_stack.back();
        value_stack.pop_back();
        const std::size_t level = value_stack.size();
        if (frame.is_list) {
            frame.value->list = close_list(region_at(item_regions, level));
            return;
        }
        Region<ObjectField>* region = region_at(field_regions, level);
        if (region != nullptr) {
            const std::size_t written = static_cast<std::size_t>(region->cursor - region->start);
            region->cursor = region->start + fold_repeated_keys(region->start, written);
        }
        frame.value->object = close_list(region);
    }

    // Value : Variable | IntValue | FloatValue | StringValue | BooleanValue |
    //         NullValue | EnumValue | ListValue | ObjectValue
    // Lists and objects nest through `value_stack`, not recursion; every
    // value is written once, in its place.
    bool parse_value(Value& out, bool is_const) {
        value_stack.clear();
        Value* target = &out;
        for (;;) {
            if (is(TokenKind::BracketLeft) || is(TokenKind::BraceLeft)) {
                if (!open_container(*target, is(TokenKind::BracketLeft))) return false;
            } else if (!parse_scalar(*target, is_const)) {
                return false;
            }
            // Close every container the next token ends, then give the next
            // value its place.
            for (;;) {
                if (value_stack.empty()) return true;
                if (!is(value_stack.back().is_list ? TokenKind::BracketRight : TokenKind::BraceRight)) break;
                close_container();
                if (!advance()) return false;
            }
            const ValueFrame& frame = value_stack.back();
            const std::size_t level = value_stack.size() - 1;
            if (frame.is_list) {
                target = &add_item(region_at(item_regions, level), unused_value);
                continue;
            }
            // ObjectField : Name : Value
            ObjectField& field = add_item(region_at(field_regions, level), unused_field);
            if (!parse_name(field.name, "a field name or \"}\"")) return false;
            if (!expect(TokenKind::Colon, "\":\"")) return false;
            target = &field.value;
        }
    }

    // -----------------------------------------------------------------------
    // Selections

    // Opens a selection set at its "{".
    void open_selection_set(bool has_owner) {
        SelectionFrame frame;
        frame.offset = token.start;
        frame.has_owner = has_owner;
        open_list(region_at(selection_regions, selection_stack.size()));
        selection_stack.push_back(frame);
    }

    // The next selection of the innermost open set, in place.
    Selection& add_selection() {
        ++selection_stack.back().count;
        return add_item(region_at(selection_regions, selection_stack.size() - 1), unused_selection);
    }

    // The finished set's selections; the frame is popped.
    Span<Selection> close_selection_set() {
        selection_stack.pop_back();
        return close_list(region_at(selection_regions, selection_stack.size()));
    }

    // The field or inline fragment whose set was just closed: the last
    // selection of the set now innermost.
    Selection& owner_of_closed_set() {
        Region<Selection>* region = region_at(selection_regions, selection_stack.size() - 1);
        return region != nullptr ? region->cursor[-1] : unused_selection;
    }

    // SelectionSet : { Selection+ }
    // Selection : Field | FragmentSpread | InlineFragment
    // Nested sets go through `selection_stack`, not recursion; every
    // selection is written once, in its place.
    bool parse_selection_set(SelectionSet& out) {
        selection_stack.clear();
        open_selection_set(false);
        if (!advance()) return false;
        for (;;) {
            if (is(TokenKind::BraceRight)) {
                if (selection_stack.back().count == 0) return fail_expected("a selection");
                SelectionSet set;
                set.offset = selection_stack.back().offset;
                const bool has_owner = selection_stack.back().has_owner;
                set.selections = close_selection_set();
                if (!advance()) return false;
                if (!has_owner) {
                    out = set;
                    return true;
                }
                owner_of_closed_set().selection_set = set;
                continue;
            }
            if (!is(TokenKind::Spread) && !is(TokenKind::Name)) return fail_expected("a selection or \"}\"");
            Selection& selection = add_selection();
            selection.offset = token.start;
            if (is(TokenKind::Spread)) {
                if (!advance()) return false;
                if (is(TokenKind::Name) && !is_keyword("on")) {
                    // FragmentSpread : ... FragmentName Directives?
                    selection.kind = SelectionKind::FragmentSpread;
                    if (!parse_name(selection.name)) return false;
                    if (!parse_directives(selection.directives, false)) return false;
                    continue;
                }
                // InlineFragment : ... TypeCondition? Directives? SelectionSet
                selection.kind = SelectionKind::InlineFragment;
                if (is_keyword("on")) {
                    TypeCondition* condition = new_node<TypeCondition>();
                    condition->offset = token.start;
                    if (!advance()) return false;
                    if (!parse_name(condition->name)) return false;
                    selection.type_condition.node = condition;
                }
                if (!parse_directives(selection.directives, false)) return false;
                if (!is(TokenKind::BraceLeft)) return fail_expected("\"{\"");
            } else {
                // Field : Alias? Name Arguments? Directives? SelectionSet?
                selection.kind = SelectionKind::Field;
                if (!parse_name(selection.name)) return false;
                if (is(TokenKind::Colon)) {
                    if (!advance()) return false;
                    Name* alias = new_node<Name>();
                    *alias = selection.name;
                    selection.alias.node = alias;
                    if (!parse_name(selection.name)) return false;
                }
                if (is(TokenKind::ParenLeft) && !parse_arguments(selection.arguments, false)) return false;
                if (!parse_directives(selection.directives, false)) return false;
                if (!is(TokenKind::BraceLeft)) continue;
            }
            // A nested selection set: the level below the outermost is 1.
            if (selection_stack.size() > limits::max_nesting_depth) note_depth_failure(token.start);
            open_selection_set(true);
            if (!advance()) return false;
        }
    }
};

// Conflicts among definitions, in written order: an anonymous operation beside
// another, a repeated operation name, a repeated fragment name.
error::BoxedError check_definitions(const document::Document& document, const std::vector<Definition>& definitions) {
    std::map<std::string_view, std::size_t> operation_names;
    std::map<std::string_view, std::size_t> fragment_names;
    const OperationDefinition* anonymous = nullptr;
    const OperationDefinition* first_operation = nullptr;
    auto two_locations = [&](std::string message, Offset later, Offset earlier) {
        auto error = error::make_error(std::move(message), ErrorCode::GraphqlParseFailed);
        error->locations = std::vector<Location>{document.position(later), document.position(earlier)};
        return error;
    };
    for (const Definition& definition : definitions) {
        if (definition.is_fragment) {
            const FragmentDefinition& fragment = document.fragments[definition.index];
            auto [it, inserted] = fragment_names.emplace(fragment.name.value, definition.index);
            if (!inserted) {
                return two_locations("fragment " + std::string(fragment.name.value) + " is defined twice",
                                     fragment.offset, document.fragments[it->second].offset);
            }
            continue;
        }
        const OperationDefinition& operation = document.operations[definition.index];
        if (!operation.name) {
            if (first_operation != nullptr) {
                // Beside an earlier anonymous one, else the first named one.
                const OperationDefinition* other = anonymous != nullptr ? anonymous : first_operation;
                return two_locations("document contains multiple operations", operation.offset, other->offset);
            }
            anonymous = &operation;
        } else {
            if (anonymous != nullptr) {
                return two_locations("document contains multiple operations", anonymous->offset, operation.offset);
            }
            auto [it, inserted] = operation_names.emplace(operation.name->value, definition.index);
            if (!inserted) {
                return two_locations("operation " + std::string(operation.name->value) + " is defined twice",
                                     operation.offset, document.operations[it->second].offset);
            }
        }
        if (first_operation == nullptr) first_operation = &operation;
    }
    if (document.operations.empty()) {
        return error::make_error("document does not contain an operation", ErrorCode::GraphqlParseFailed);
    }
    return nullptr;
}

// The failure the parser met, if any: its first syntax error, else its
// first number or depth failure.
error::BoxedError parse_failure(const document::Document& document, const Parser& parser) {
    const auto locate = [&](Offset offset) { return exact_position(document, offset); };
    if (parser.syntax.failed) {
        const Location start = locate(parser.syntax.start);
        auto error = error::make_error(syntax_report(document, parser.syntax, start), ErrorCode::GraphqlParseFailed);
        std::vector<Location> locations{start};
        if (parser.syntax.has_end) locations.push_back(locate(parser.syntax.end));
        error->locations = std::move(locations);
        return error;
    }
    if (parser.has_limit_failure) {
        if (parser.limit_is_depth) {
            return error::make_error(limits::nesting_depth_message, ErrorCode::GraphqlParseFailed);
        }
        return error::make_error_at("invalid number: number too large to fit in target type",
                                    ErrorCode::GraphqlParseFailed, locate(parser.limit_offset));
    }
    return nullptr;
}

}  // namespace

error::Result<document::SharedDocument> parse_document(std::string_view text) {
    auto parsed = std::make_shared<document::Document>();
    if (text.size() > limits::max_document_bytes) {
        return error::make_error(limits::document_size_message, ErrorCode::GraphqlParseFailed);
    }
    parsed->source.assign(text.data(), text.size());

    thread_local Scratch scratch;
    detail::ScratchLease lease(scratch);
    // Nodes take five to six bytes a byte of ordinary text, and a small
    // document leaves a quarter or so at the ends of its lists' chunks.
    parsed->arena.expect(text.size() * 8 + 4096);
    Parser parser(*parsed, scratch);
    parser.parse_document();
    // The thread's pool keeps what this document's blocks took, for the next parse.
    document::detail::Arena::keep_on_this_thread(parsed->arena.block_bytes_taken(),
                                                 parsed->arena.large_bytes_taken());
    if (error::BoxedError failure = parse_failure(*parsed, parser)) return failure;
    if (error::BoxedError conflict = check_definitions(*parsed, scratch.definitions)) return conflict;

    parsed->fragment_index.reserve(parsed->fragments.size());
    for (std::size_t i = 0; i < parsed->fragments.size(); ++i) {
        parsed->fragment_index.push_back({parsed->fragments[i].name.value, static_cast<std::uint32_t>(i)});
    }
    std::sort(parsed->fragment_index.begin(), parsed->fragment_index.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return document::SharedDocument(std::move(parsed));
}

}  // namespace dovrane_core::parser
