// Working memory a call leaves on its thread for the next call, so that a
// request pays no allocation for it.
#pragma once

#include <cstddef>
#include <vector>

namespace dovrane_core::detail {

// A thread keeps at most this much of one module's scratch between calls:
// an idle thread holds no huge request's memory.
inline constexpr std::size_t scratch_keep_bytes = std::size_t{4} << 20;

// What the rest of one reset may still keep; the vectors reset first keep
// theirs first.
struct ScratchBudget {
    std::size_t bytes = scratch_keep_bytes;

    // Takes `size` bytes from the budget when they fit.
    bool keep(std::size_t size) {
        if (size > bytes) return false;
        bytes -= size;
        return true;
    }
};

// Empties `items`, keeping its memory while the budget allows.
template <class T>
void reset_scratch(std::vector<T>& items, ScratchBudget& budget) {
    if (budget.keep(items.capacity() * sizeof(T))) {
        items.clear();
    } else {
        std::vector<T>().swap(items);
    }
}

// Resets a call's scratch (any type with `reset()`) on entry and on every
// way out.
template <class Scratch>
struct ScratchLease {
    Scratch& scratch;
    explicit ScratchLease(Scratch& space) : scratch(space) { scratch.reset(); }
    ~ScratchLease() { scratch.reset(); }
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;
};

}  // namespace dovrane_core::detail
