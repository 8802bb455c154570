// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How much memory this process can have, for limits that follow what an animation
// really holds rather than a fixed pixel count.

#include <cstdint>
#include <string>

namespace vorlane::gif {

// The machine's memory, or the limit of the control group the process runs in when that
// is lower. Found once; it does not change while the program runs.
uint64_t machineMemoryBytes();

// The memory a new allocation can have now without pushing other memory out: what the
// system counts as available (free, and caches it can drop), within the control group's
// limit less what the group already uses.
uint64_t availableMemoryBytes();

// "1.50 GiB", "640 MiB": a size as a person reads it.
std::string sizeText(uint64_t bytes);

} // namespace vorlane::gif
