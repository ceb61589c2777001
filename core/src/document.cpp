#include "dovrane_core/document.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace dovrane_core::document {

namespace detail {

// Each block starts with this header; nodes follow it.
struct Arena::Block {
    Block* next = nullptr;
    std::size_t bytes = 0;  // the whole block, header included
    bool from_pool = false;  // taken from the thread's pool, not from the system allocator
};

namespace {

constexpr std::size_t header_bytes = 32;
static_assert(sizeof(Arena::Block) <= header_bytes);
// Blocks of other sizes (first blocks, blocks of their own) are kept up to
// this size and this many, and reused for a request within a quarter above.
constexpr std::size_t kept_other_bytes = std::size_t{4} << 20;
constexpr std::size_t kept_other_blocks = 64;

struct KeptLarge {
    std::byte* memory;
    std::size_t bytes;
};
constexpr std::size_t kept_large_lists = 16;

// The blocks a thread keeps. Constant-initialised and trivially destructible,
// so a document freed while the thread exits still finds it (closed by then,
// so its blocks are simply freed).
struct Pool {
    Arena::Block* standard;  // of `Arena::block_bytes`
    Arena::Block* others;
    std::size_t other_count;
    std::size_t bytes;
    std::size_t limit;
    // The memory of a few large lists, grown or cut when reused (Linux only).
    std::array<KeptLarge, kept_large_lists> large;
    std::size_t large_bytes;
    std::size_t large_limit;
    bool closed;
};

constinit thread_local Pool pool = {};

void free_block(Arena::Block* block) { ::operator delete(static_cast<void*>(block)); }

void free_list(Arena::Block*& head) {
    while (head != nullptr) {
        Arena::Block* next = head->next;
        free_block(head);
        head = next;
    }
}

void free_large(std::byte* memory, std::size_t bytes);

KeptLarge take_kept_large(KeptLarge& kept) {
    const KeptLarge taken = kept;
    pool.large_bytes -= kept.bytes;
    kept = {};
    return taken;
}

// Frees kept large memory, the largest first, until at most `limit` is kept.
void trim_kept_large(std::size_t limit) {
    while (pool.large_bytes > limit) {
        KeptLarge* largest = &pool.large[0];
        for (KeptLarge& kept : pool.large) {
            if (kept.bytes > largest->bytes) largest = &kept;
        }
        const KeptLarge freed = take_kept_large(*largest);
        free_large(freed.memory, freed.bytes);
    }
}

// Gives the pool's blocks back when the thread exits.
struct PoolRelease {
    bool armed = false;
    ~PoolRelease() {
        free_list(pool.standard);
        free_list(pool.others);
        trim_kept_large(0);
        pool.other_count = 0;
        pool.bytes = 0;
        pool.closed = true;
    }
};

thread_local PoolRelease pool_release;

// Large lists: their room grows by huge pages, their written bytes are
// counted per thread for benchmarks.
constexpr std::size_t page_bytes = 4096;
constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;
constinit thread_local std::size_t large_live_bytes = 0;
constinit thread_local std::size_t large_peak_bytes = 0;

std::size_t round_up(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

#if defined(__linux__)
// Memory beyond what a thread keeps is fresh for every document, and faulting
// it in by the huge page takes a fraction of the time it takes by 4 KiB
// pages. Smaller lists reuse kept pages, and 4 KiB pages hold them to what is
// written; a larger list, written from its start, has only its last huge page
// partly written.
void advise_huge_pages(std::byte* memory, std::size_t bytes) {
    if (bytes > Arena::large_keep_bytes) (void)::madvise(memory, bytes, MADV_HUGEPAGE);
}

std::byte* map_memory(std::size_t bytes) {
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    advise_huge_pages(static_cast<std::byte*>(memory), bytes);
    return static_cast<std::byte*>(memory);
}

// `memory` of `bytes` moved or grown in place to `room`.
std::byte* remap_memory(std::byte* memory, std::size_t bytes, std::size_t room) {
    void* moved = ::mremap(memory, bytes, room, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) throw std::bad_alloc();
    advise_huge_pages(static_cast<std::byte*>(moved), room);
    return static_cast<std::byte*>(moved);
}
#endif

void free_large(std::byte* memory, std::size_t bytes) {
    if (memory == nullptr) return;
#if defined(__linux__)
    ::munmap(memory, bytes);
#else
    (void)bytes;
    ::operator delete(static_cast<void*>(memory));
#endif
}

Arena::Block* pop(Arena::Block*& head) {
    Arena::Block* block = head;
    head = block->next;
    block->next = nullptr;
    block->from_pool = true;
    pool.bytes -= block->bytes;
    return block;
}

// Frees kept blocks, the odd sizes first, until the pool holds at most `limit`.
void trim_pool(std::size_t limit) {
    while (pool.bytes > limit && pool.others != nullptr) {
        free_block(pop(pool.others));
        --pool.other_count;
    }
    while (pool.bytes > limit && pool.standard != nullptr) free_block(pop(pool.standard));
}

// A kept block of `bytes` (or up to a quarter more), else a new one.
Arena::Block* take_block(std::size_t bytes) {
    if (bytes == Arena::block_bytes) {
        if (pool.standard != nullptr) return pop(pool.standard);
    } else {
        for (Arena::Block** link = &pool.others; *link != nullptr; link = &(*link)->next) {
            if ((*link)->bytes >= bytes && (*link)->bytes <= bytes + bytes / 4) {
                --pool.other_count;
                return pop(*link);
            }
        }
    }
    auto* block = static_cast<Arena::Block*>(::operator new(bytes));
    block->next = nullptr;
    block->bytes = bytes;
    block->from_pool = false;
    return block;
}

void give_back(Arena::Block* block) {
    const bool standard = block->bytes == Arena::block_bytes;
    const bool keep = !pool.closed && pool.bytes + block->bytes <= pool.limit &&
                      (standard || (block->bytes <= kept_other_bytes && pool.other_count < kept_other_blocks));
    if (!keep) {
        free_block(block);
        return;
    }
    pool_release.armed = true;  // from the first kept block on, the thread's exit frees the pool
    Arena::Block*& head = standard ? pool.standard : pool.others;
    block->next = head;
    head = block;
    pool.bytes += block->bytes;
    if (!standard) ++pool.other_count;
}

}  // namespace

Arena::~Arena() {
    // The blocks the pool gave go back to it first, then the others newest
    // first: the pool keeps the same memory from one document to the next,
    // the newest blocks when it had none. The system allocator gives memory
    // back only from the top of its heap, where the kept blocks then lie, so
    // the blocks freed below them stay mapped for the next large document
    // instead of being faulted in again.
    for (Block** link = &blocks_; *link != nullptr;) {
        Block* block = *link;
        if (!block->from_pool) {
            link = &block->next;
            continue;
        }
        *link = block->next;
        give_back(block);
    }
    while (blocks_ != nullptr) {
        Block* next = blocks_->next;
        give_back(blocks_);
        blocks_ = next;
    }
    for (Large& large : large_) {
        large_live_bytes -= std::min(large_live_bytes, large.written);
#if defined(__linux__)
        // Kept whole, or its start when only that fits.
        const std::size_t room = pool.large_limit - std::min(pool.large_limit, pool.large_bytes);
        const std::size_t kept_bytes = std::min(large.bytes, room / page_bytes * page_bytes);
        auto free_slot = std::find_if(pool.large.begin(), pool.large.end(),
                                      [](const KeptLarge& kept) { return kept.memory == nullptr; });
        if (!pool.closed && kept_bytes >= Arena::large_keep_min_bytes && free_slot != pool.large.end()) {
            if (kept_bytes < large.bytes) ::munmap(large.memory + kept_bytes, large.bytes - kept_bytes);
            pool_release.armed = true;
            *free_slot = {large.memory, kept_bytes};
            pool.large_bytes += kept_bytes;
            continue;
        }
#endif
        free_large(large.memory, large.bytes);
    }
}

void Arena::count_written(Large& large, std::size_t written) {
    large_written_bytes_ = large_written_bytes_ - large.written + written;
    large_live_bytes = large_live_bytes - std::min(large_live_bytes, large.written) + written;
    large_peak_bytes = std::max(large_peak_bytes, large_live_bytes);
    large.written = written;
}

std::size_t Arena::open_large(std::size_t bytes) {
    // Room first, so that nothing is taken before the last step that may fail.
    if (large_.size() == large_.capacity()) large_.reserve(2 * large_.size() + 4);
    Large large;
    large.bytes = round_up(bytes, huge_page_bytes);
#if defined(__linux__)
    // Kept memory, its pages already there: the smallest that is large
    // enough, else the largest, grown.
    KeptLarge* fitting = nullptr;
    KeptLarge* largest = nullptr;
    for (KeptLarge& kept : pool.large) {
        if (kept.memory == nullptr) continue;
        if (kept.bytes >= large.bytes && (fitting == nullptr || kept.bytes < fitting->bytes)) fitting = &kept;
        if (largest == nullptr || kept.bytes > largest->bytes) largest = &kept;
    }
    KeptLarge* chosen = fitting != nullptr ? fitting : largest;
    if (chosen == nullptr) {
        large.memory = map_memory(large.bytes);
    } else {
        const KeptLarge kept = take_kept_large(*chosen);
        large_.push_back({kept.memory, kept.bytes, 0});  // freed with the arena, should growing fail
        if (kept.bytes < large.bytes) {
            large_.back().memory = remap_memory(kept.memory, kept.bytes, large.bytes);
            large_.back().bytes = large.bytes;
        }
        return large_.size() - 1;
    }
#else
    large.memory = static_cast<std::byte*>(::operator new(large.bytes));
#endif
    large_.push_back(large);
    return large_.size() - 1;
}

void Arena::grow_large(std::size_t handle, std::size_t used, std::size_t bytes) {
    Large& large = large_[handle];
    count_written(large, round_up(used, page_bytes));
    if (bytes <= large.bytes) return;
    const std::size_t room = std::max(round_up(bytes, huge_page_bytes), 2 * large.bytes);
#if defined(__linux__)
    large.memory = remap_memory(large.memory, large.bytes, room);
#else
    auto* larger = static_cast<std::byte*>(::operator new(room));
    std::memcpy(larger, large.memory, used);
    ::operator delete(static_cast<void*>(large.memory));
    large.memory = larger;
#endif
    large.bytes = room;
}

void Arena::close_large(std::size_t handle, std::size_t used) {
    Large& large = large_[handle];
    const std::size_t kept = round_up(used, page_bytes);
#if defined(__linux__)
    if (kept < large.bytes) {
        ::munmap(large.memory + kept, large.bytes - kept);
        large.bytes = kept;
    }
#endif
    count_written(large, large.bytes);
}

std::size_t Arena::take_large_peak_on_this_thread() {
    const std::size_t peak = large_peak_bytes;
    large_peak_bytes = large_live_bytes;
    return peak;
}

void Arena::expect(std::size_t bytes) {
    if (blocks_ != nullptr) return;
    constexpr std::size_t page = 4096;
    first_block_bytes_ = std::min((header_bytes + bytes + page - 1) / page * page, first_block_max_bytes);
}

void Arena::keep_on_this_thread(std::size_t bytes, std::size_t large) {
    pool.limit = std::min(bytes, pool_keep_bytes);
    trim_pool(pool.limit);
    pool.large_limit = std::min(large, large_keep_bytes);
    trim_kept_large(pool.large_limit);
}

void* Arena::allocate_in_new_block(std::size_t bytes, std::size_t alignment) {
    const std::size_t needed = header_bytes + bytes + alignment;
    if (bytes > large_bytes) {
        // A block of its own, behind the current one, which stays in use.
        Block* block = take_block(needed);
        if (blocks_ == nullptr) {
            blocks_ = block;
        } else {
            block->next = blocks_->next;
            blocks_->next = block;
        }
        reserved_bytes_ += block->bytes;
        auto address = reinterpret_cast<std::uintptr_t>(block) + header_bytes;
        address = (address + alignment - 1) & ~(alignment - 1);
        return reinterpret_cast<void*>(address);
    }
    // After the first block, blocks double from its size up to `block_bytes`,
    // so a small document that outgrows its estimate stays small.
    std::size_t size = blocks_ == nullptr ? first_block_bytes_ : std::min(reserved_bytes_, block_bytes);
    if (size < needed) size = block_bytes;
    Block* block = take_block(size);
    block->next = blocks_;
    blocks_ = block;
    reserved_bytes_ += block->bytes;
    cursor_ = reinterpret_cast<std::byte*>(block) + header_bytes;
    limit_ = reinterpret_cast<std::byte*>(block) + block->bytes;
    return allocate(bytes, alignment);
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

error::Location PositionCursor::at(Offset offset) {
    const std::vector<detail::PositionAnchor>& anchors = document_.anchors;
    if (offset < last_) next_ = 0;
    last_ = offset;
    // Past every anchor at or before the offset: a few steps, as the next
    // field is mostly a line or two on; else gallop, then search the last step.
    for (int near = 0; near < 4; ++near) {
        if (next_ == anchors.size() || anchors[next_].offset > offset) {
            if (next_ == 0) return {1, static_cast<std::uint64_t>(offset) + 1};
            const detail::PositionAnchor& anchor = anchors[next_ - 1];
            return {anchor.line, static_cast<std::uint64_t>(anchor.column) + (offset - anchor.offset)};
        }
        ++next_;
    }
    std::size_t step = 1;
    std::size_t low = next_;
    while (next_ < anchors.size() && anchors[next_].offset <= offset) {
        low = next_ + 1;
        next_ = std::min(next_ + step, anchors.size());
        step *= 2;
    }
    auto it = std::upper_bound(anchors.begin() + static_cast<std::ptrdiff_t>(std::min(low, next_)),
                               anchors.begin() + static_cast<std::ptrdiff_t>(next_), offset,
                               [](Offset value, const detail::PositionAnchor& anchor) { return value < anchor.offset; });
    next_ = static_cast<std::size_t>(it - anchors.begin());
    if (next_ == 0) return {1, static_cast<std::uint64_t>(offset) + 1};
    const detail::PositionAnchor& anchor = anchors[next_ - 1];
    return {anchor.line, static_cast<std::uint64_t>(anchor.column) + (offset - anchor.offset)};
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
