// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/SystemMemory.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace vorlane::gif {

namespace {

// A number from a control-group file ("max" means none).
std::optional<uint64_t> groupValue(const char* name) {
    std::ifstream in(std::string("/sys/fs/cgroup/") + name);
    std::string text;
    if (!(in >> text) || text == "max") return std::nullopt;
    try {
        return std::stoull(text);
    } catch (...) {
        return std::nullopt;
    }
}

// A field of /proc/meminfo in bytes.
std::optional<uint64_t> memInfo(const std::string& field) {
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, field.size() + 1, field + ":") != 0) continue;
        std::istringstream rest(line.substr(field.size() + 1));
        uint64_t kib = 0;
        if (rest >> kib) return kib * 1024;
    }
    return std::nullopt;
}

uint64_t physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0) return uint64_t(pages) * uint64_t(size);
    return uint64_t(1) << 32; // unknown: as a small machine
}

} // namespace

uint64_t machineMemoryBytes() {
    static const uint64_t bytes = [] {
        uint64_t total = physicalMemory();
        if (const auto group = groupValue("memory.max")) total = std::min(total, *group);
        return total;
    }();
    return bytes;
}

uint64_t availableMemoryBytes() {
    uint64_t available = memInfo("MemAvailable").value_or(machineMemoryBytes());
    if (const auto group = groupValue("memory.max")) {
        const uint64_t used = groupValue("memory.current").value_or(0);
        available = std::min(available, *group > used ? *group - used : 0);
    }
    return std::min(available, machineMemoryBytes());
}

std::string sizeText(uint64_t bytes) {
    char text[32];
    if (bytes >= (uint64_t(1) << 30))
        std::snprintf(text, sizeof text, "%.2f GiB", double(bytes) / double(uint64_t(1) << 30));
    else if (bytes >= (uint64_t(1) << 20))
        std::snprintf(text, sizeof text, "%.0f MiB", double(bytes) / double(uint64_t(1) << 20));
    else
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

} // namespace vorlane::gif
