#include "dovrane_core/document.hpp"

#include <algorithm>

namespace dovrane_core::document {

namespace detail {

void* Arena::allocate(std::size_t bytes, std::size_t alignment) {
    auto misalignment = reinterpret_cast<std::uintptr_t>(cursor_) & (alignment - 1);
    std::size_t padding = misalignment ? alignment - misalignment : 0;
    if (cursor_ == nullptr || padding + bytes > remaining_) {
        std::size_t size = std::max(next_block_size_, bytes + alignment);
        // Default-initialised: the parser writes every byte it hands out.
        blocks_.push_back(std::unique_ptr<std::byte[]>(new std::byte[size]));
        reserved_bytes_ += size;
        cursor_ = blocks_.back().get();
        remaining_ = size;
        // Grow geometrically so a large document needs few blocks.
        next_block_size_ = std::min<std::size_t>(next_block_size_ * 2, std::size_t{1} << 20);
        misalignment = reinterpret_cast<std::uintptr_t>(cursor_) & (alignment - 1);
        padding = misalignment ? alignment - misalignment : 0;
    }
    std::byte* result = cursor_ + padding;
    cursor_ = result + bytes;
    remaining_ -= padding + bytes;
    return result;
}

}  // namespace detail

error::Location Document::position(Offset offset) const {
    // The last anchor at or before the offset; every byte after it is one column.
    auto it = std::upper_bound(anchors.begin(), anchors.end(), offset,
                               [](Offset value, const detail::PositionAnchor& anchor) { return value < anchor.offset; });
    if (it == anchors.begin()) return {1, static_cast<std::uint64_t>(offset) + 1};
    --it;
    return {it->line, static_cast<std::uint64_t>(it->column) + (offset - it->offset)};
}

std::size_t Document::memory_bytes() const {
    return sizeof(Document) + source.capacity() + arena.reserved_bytes() +
           operations.capacity() * sizeof(OperationDefinition) + fragments.capacity() * sizeof(FragmentDefinition) +
           anchors.capacity() * sizeof(detail::PositionAnchor) +
           fragment_index.capacity() * sizeof(detail::FragmentIndexEntry);
}

const FragmentDefinition* Document::find_fragment(std::string_view name) const {
    auto it = std::lower_bound(fragment_index.begin(), fragment_index.end(), name,
                               [](const detail::FragmentIndexEntry& entry, std::string_view value) {
                                   return entry.name < value;
                               });
    if (it == fragment_index.end() || it->name != name) return nullptr;
    return &fragments[it->index];
}

std::string type_text(const TypeRef& type) {
    // Iterative: the closing brackets of the outer levels come last.
    std::vector<bool> list_non_null;
    const TypeRef* level = &type;
    while (level->kind == TypeRef::Kind::List) {
        list_non_null.push_back(level->non_null);
        level = level->inner;
    }
    std::string text(list_non_null.size(), '[');
    text.append(level->name);
    if (level->non_null) text.push_back('!');
    for (auto it = list_non_null.rbegin(); it != list_non_null.rend(); ++it) {
        text.push_back(']');
        if (*it) text.push_back('!');
    }
    return text;
}

std::string_view operation_type_name(OperationType type) {
    switch (type) {
        case OperationType::Query: return "query";
        case OperationType::Mutation: return "mutation";
        case OperationType::Subscription: return "subscription";
    }
    return "query";
}

error::Result<const OperationDefinition*> select_operation(const Document& document,
                                                           std::optional<std::string_view> operation_name) {
    using error::ErrorCode;
    if (operation_name) {
        for (const OperationDefinition& operation : document.operations) {
            if (operation.name && operation.name->value == *operation_name) return &operation;
        }
        std::string message = "no operation named '";
        message.append(*operation_name);
        message.push_back('\'');
        return error::make_error(std::move(message), ErrorCode::GraphqlValidationFailed);
    }
    if (document.operations.size() == 1) return &document.operations.front();
    return error::make_error("document contains multiple operations; operation_name is required",
                             ErrorCode::GraphqlValidationFailed);
}

}  // namespace dovrane_core::document
