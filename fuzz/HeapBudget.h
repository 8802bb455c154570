// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The memory budget asserted while fuzzing: what an operation holds at its peak, above
// what was held before it, must stay within 1.5 bytes a composed pixel (screen area x
// frame count) plus the limits' slack and a bounded cost per byte of input: records,
// sub-blocks and frames are kept as objects, up to about 40 bytes for a record of three
// bytes in the file, so 64 bytes an input byte. The fuzzing limits are scaled down, so the
// ratio, not the size, is what catches a small input that makes a large allocation.
//
// The peak is counted by the sanitizer allocator's hooks (every fuzz build runs under
// AddressSanitizer, whose allocator glibc's mallinfo2() does not see).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <sanitizer/allocator_interface.h>

#include "codec/GifReader.h"

namespace vorlane::fuzz {

class HeapWatch {
public:
    // Starts counting (once per process); the peak starts from what is in use now.
    static void start() {
        static const bool installed = [] {
            __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree);
            return true;
        }();
        (void)installed;
        peak().store(inUse().load());
    }
    static size_t current() { return size_t(inUse().load()); }
    static size_t highest() { return size_t(peak().load()); }

private:
    static std::atomic<int64_t>& inUse() {
        static std::atomic<int64_t> bytes{0};
        return bytes;
    }
    static std::atomic<int64_t>& peak() {
        static std::atomic<int64_t> bytes{0};
        return bytes;
    }
    static void onMalloc(const volatile void*, size_t size) {
        const int64_t now = inUse().fetch_add(int64_t(size)) + int64_t(size);
        int64_t seen = peak().load();
        while (now > seen && !peak().compare_exchange_weak(seen, now)) {
        }
    }
    static void onFree(const volatile void* p) {
        if (p) inUse().fetch_sub(int64_t(__sanitizer_get_allocated_size(const_cast<const void*>(p))));
    }
};

// Aborts with a finding when the peak since `before` was taken (HeapWatch::start, then
// HeapWatch::current()) exceeds the budget of an animation of `frames` pictures of
// `screenPixels` read from `inputBytes` bytes.
inline void checkHeapBudget(const char* what, size_t before, uint64_t screenPixels,
                            uint64_t frames, size_t inputBytes, const gif::ReadLimits& limits) {
    const uint64_t budget = gif::memoryBudget(screenPixels, frames, limits) + 64 * uint64_t(inputBytes);
    const size_t used = HeapWatch::highest() > before ? HeapWatch::highest() - before : 0;
    if (used <= budget) return;
    std::fprintf(stderr,
                 "heap budget: %s held %zu bytes at its peak, over the budget of %llu bytes "
                 "(%llu frames of %llu pixels, %zu bytes of input)\n",
                 what, used, static_cast<unsigned long long>(budget),
                 static_cast<unsigned long long>(frames),
                 static_cast<unsigned long long>(screenPixels), inputBytes);
    std::abort();
}

} // namespace vorlane::fuzz
