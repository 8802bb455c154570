// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/FrameChanges.h"

#include <algorithm>
#include <cstring>

namespace vorlane::exporting {

FrameChange changeBetween(const QImage& before, const QImage& after) {
    FrameChange change;
    const int w = after.width();
    int x0 = w, x1 = -1, y0 = -1, y1 = -1;
    for (int y = 0; y < after.height(); ++y) {
        const uint32_t* a = reinterpret_cast<const uint32_t*>(before.constScanLine(y));
        const uint32_t* b = reinterpret_cast<const uint32_t*>(after.constScanLine(y));
        if (std::memcmp(a, b, size_t(w) * 4) == 0) continue;
        int first = -1, last = -1;
        for (int x = 0; x < w; ++x) {
            if (a[x] == b[x]) continue;
            if (first < 0) first = x;
            last = x;
            ++change.changed;
            if ((b[x] >> 24) == 0) change.clears = true;
        }
        x0 = std::min(x0, first);
        x1 = std::max(x1, last);
        if (y0 < 0) y0 = y;
        y1 = y;
    }
    if (y0 >= 0) change.rect = QRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    return change;
}

} // namespace vorlane::exporting
