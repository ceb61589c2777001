// Working memory a call leaves on its thread for the next call, so that a
// request pays no allocation for it.
#pragma once

#include <cstddef>
#include <vector>

namespace dovrane_core::detail {

// Beyond this a scratch vector is given back rather than kept: an idle
// thread holds no huge request's memory.
inline constexpr std::size_t scratch_keep_bytes = std::size_t{1} << 20;

// Empties `items`, keeping its memory unless that grew beyond the bound.
template <class T>
void reset_scratch(std::vector<T>& items) {
    if (items.capacity() * sizeof(T) > scratch_keep_bytes) {
        std::vector<T>().swap(items);
    } else {
        items.clear();
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
