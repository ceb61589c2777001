// Counts the bytes allocated through operator new, on one thread, for the
// tests and benchmarks that weigh memory. It replaces the global operator new
// and delete: include it in one source file of a program only.
#pragma once

#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace dovrane_core::test_support {

inline std::size_t live_bytes = 0;
inline std::size_t peak_bytes = 0;

inline void* counted(void* memory) {
    if (memory == nullptr) throw std::bad_alloc();
    live_bytes += malloc_usable_size(memory);
    peak_bytes = std::max(peak_bytes, live_bytes);
    return memory;
}

inline void uncounted(void* memory) {
    if (memory == nullptr) return;
    live_bytes -= malloc_usable_size(memory);
    std::free(memory);
}

}  // namespace dovrane_core::test_support

void* operator new(std::size_t size) { return dovrane_core::test_support::counted(std::malloc(size)); }
void* operator new[](std::size_t size) { return dovrane_core::test_support::counted(std::malloc(size)); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    return dovrane_core::test_support::counted(std::aligned_alloc(align, (size + align - 1) & ~(align - 1)));
}
void* operator new[](std::size_t size, std::align_val_t alignment) { return operator new(size, alignment); }
void operator delete(void* memory) noexcept { dovrane_core::test_support::uncounted(memory); }
void operator delete[](void* memory) noexcept { dovrane_core::test_support::uncounted(memory); }
void operator delete(void* memory, std::size_t) noexcept { dovrane_core::test_support::uncounted(memory); }
void operator delete[](void* memory, std::size_t) noexcept { dovrane_core::test_support::uncounted(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { dovrane_core::test_support::uncounted(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { dovrane_core::test_support::uncounted(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    dovrane_core::test_support::uncounted(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    dovrane_core::test_support::uncounted(memory);
}
