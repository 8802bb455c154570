// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

namespace vorlane {

// A monotonic clock in milliseconds (a duration measured across midnight or a change
// of the wall clock stays true).
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
};

} // namespace vorlane
