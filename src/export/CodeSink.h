// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// LZW codes of the export's own coders appended to a byte string, least significant bit
// first, as a GIF's image data holds them.

#include <cstdint>

#include "codec/GifTypes.h"

namespace vorlane::exporting {

class CodeSink {
public:
    explicit CodeSink(gif::Bytes& out) : m_out(out) {}
    void put(uint32_t code, int size) {
        m_bits |= uint64_t(code) << m_count;
        m_count += size;
        while (m_count >= 8) {
            m_out.push_back(uint8_t(m_bits));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    // Writes the last partial byte.
    void finish() {
        if (m_count > 0) m_out.push_back(uint8_t(m_bits));
        m_bits = 0;
        m_count = 0;
    }

private:
    gif::Bytes& m_out;
    uint64_t m_bits = 0;
    int m_count = 0;
};

} // namespace vorlane::exporting
