// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>

#include "platform/Clock.h"

namespace vorlane {

// Milliseconds since the clock was made, from the system's monotonic clock.
class QtClock : public Clock {
public:
    QtClock() { m_timer.start(); }
    qint64 nowMs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

} // namespace vorlane
