// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <sched.h>
#include <system_error>
#include <thread>
#include <vector>

namespace vorlane::gif {

unsigned workerCount() {
    static const unsigned count = [] {
        unsigned n = std::max(1u, std::thread::hardware_concurrency());
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) == 0) n = unsigned(std::max(1, CPU_COUNT(&set)));
        return std::min(n, 8u);
    }();
    return count;
}

unsigned threadsFor(uint64_t pixels) {
    return pixels < ThreadedPixels ? 1 : workerCount();
}

void parallelFor(size_t count, const std::function<void(size_t)>& work,
                 const std::function<void(size_t)>& report, unsigned maxThreads) {
    const size_t threads = std::min<size_t>(maxThreads, count);
    if (threads <= 1) {
        for (size_t k = 0; k < count; ++k) {
            work(k);
            if (report) report(k + 1);
        }
        return;
    }

    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::atomic<bool> stop{false};
    std::mutex failureMutex;
    std::exception_ptr failure;
    auto fail = [&](std::exception_ptr e) {
        const std::lock_guard lock(failureMutex);
        if (!failure) failure = std::move(e);
        stop.store(true);
    };
    auto loop = [&](bool reporting) {
        while (!stop.load(std::memory_order_relaxed)) {
            const size_t k = next.fetch_add(1);
            if (k >= count) return;
            try {
                work(k);
                const size_t finished = done.fetch_add(1) + 1;
                if (reporting && report) report(finished);
            } catch (...) {
                fail(std::current_exception());
                return;
            }
        }
    };

    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (size_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(loop, false);
        } catch (const std::system_error&) {
            break; // no more threads to be had: the ones running do the work
        }
    }
    loop(true);
    for (std::thread& helper : helpers)
        helper.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace vorlane::gif
