// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/GifBuilder.h"

#include <algorithm>
#include <map>

namespace vorlane::test {

namespace {
void put16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v & 0xFF));
    b.push_back(uint8_t(v >> 8));
}

int tableBits(size_t n) {
    int bits = 1;
    while ((size_t(1) << bits) < n)
        ++bits;
    return bits;
}

void subBlocks(Bytes& out, const Bytes& data) {
    for (size_t pos = 0; pos < data.size(); pos += 255) {
        const size_t n = std::min<size_t>(255, data.size() - pos);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + pos, data.begin() + pos + n);
    }
    out.push_back(0);
}
} // namespace

GifBuilder& GifBuilder::header(const char* version) {
    m_bytes.insert(m_bytes.end(), {'G', 'I', 'F'});
    m_bytes.insert(m_bytes.end(), version, version + 3);
    return *this;
}

void GifBuilder::colorTable(const std::vector<uint32_t>& colors) {
    const size_t n = size_t(1) << tableBits(colors.size());
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = i < colors.size() ? colors[i] : 0;
        m_bytes.push_back(uint8_t(c >> 16));
        m_bytes.push_back(uint8_t(c >> 8));
        m_bytes.push_back(uint8_t(c));
    }
}

GifBuilder& GifBuilder::screen(uint16_t width, uint16_t height, const std::vector<uint32_t>& globalColors,
                               uint8_t background) {
    put16(m_bytes, width);
    put16(m_bytes, height);
    uint8_t packed = 0x70; // colour resolution 8 bits
    if (!globalColors.empty())
        packed |= 0x80 | uint8_t(tableBits(globalColors.size()) - 1);
    m_bytes.push_back(packed);
    m_bytes.push_back(background);
    m_bytes.push_back(0);
    if (!globalColors.empty())
        colorTable(globalColors);
    return *this;
}

GifBuilder& GifBuilder::graphicControl(uint8_t disposal, uint16_t delay, int transparentIndex,
                                       bool userInput) {
    m_bytes.insert(m_bytes.end(), {0x21, 0xF9, 4});
    uint8_t packed = uint8_t((disposal & 7) << 2);
    if (userInput)
        packed |= 2;
    if (transparentIndex >= 0)
        packed |= 1;
    m_bytes.push_back(packed);
    put16(m_bytes, delay);
    m_bytes.push_back(uint8_t(transparentIndex >= 0 ? transparentIndex : 0));
    m_bytes.push_back(0);
    return *this;
}

GifBuilder& GifBuilder::comment(const std::string& text) {
    m_bytes.insert(m_bytes.end(), {0x21, 0xFE});
    subBlocks(m_bytes, Bytes(text.begin(), text.end()));
    return *this;
}

GifBuilder& GifBuilder::loop(uint16_t count, const char* id) {
    return application(id, {Bytes{1, uint8_t(count & 0xFF), uint8_t(count >> 8)}});
}

GifBuilder& GifBuilder::application(const std::string& id11, const std::vector<Bytes>& blocks) {
    m_bytes.insert(m_bytes.end(), {0x21, 0xFF, uint8_t(id11.size())});
    m_bytes.insert(m_bytes.end(), id11.begin(), id11.end());
    for (const Bytes& b : blocks) {
        m_bytes.push_back(uint8_t(b.size()));
        m_bytes.insert(m_bytes.end(), b.begin(), b.end());
    }
    m_bytes.push_back(0);
    return *this;
}

GifBuilder& GifBuilder::plainText(const std::string& text) {
    m_bytes.insert(m_bytes.end(), {0x21, 0x01, 12, 0, 0, 0, 0, 64, 0, 16, 0, 8, 16, 1, 0});
    subBlocks(m_bytes, Bytes(text.begin(), text.end()));
    return *this;
}

Bytes GifBuilder::lzwBlocks(const std::vector<uint8_t>& indices, int minCodeSize) {
    // Textbook LZW with a map from (prefix code, byte) to code; the table is cleared
    // whenever it fills to 4096 codes.
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    Bytes data;
    uint32_t acc = 0;
    int accBits = 0;
    int codeSize = minCodeSize + 1;
    auto emit = [&](int code) {
        acc |= uint32_t(code) << accBits;
        accBits += codeSize;
        while (accBits >= 8) {
            data.push_back(uint8_t(acc & 0xFF));
            acc >>= 8;
            accBits -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = end + 1;
    emit(clear);
    int prefix = -1;
    for (uint8_t px : indices) {
        if (prefix < 0) {
            prefix = px;
            continue;
        }
        auto it = table.find({prefix, px});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            table[{prefix, px}] = next++;
            if (next > (1 << codeSize) && codeSize < 12)
                ++codeSize;
        } else {
            emit(clear);
            table.clear();
            next = end + 1;
            codeSize = minCodeSize + 1;
        }
        prefix = px;
    }
    if (prefix >= 0) {
        emit(prefix);
        // The decoder widens its codes after this last one as after any other, so the
        // end code goes out at the width it will read.
        if (next >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
    }
    emit(end);
    if (accBits > 0)
        data.push_back(uint8_t(acc & 0xFF));
    Bytes out{uint8_t(minCodeSize)};
    subBlocks(out, data);
    return out;
}

GifBuilder& GifBuilder::image(uint16_t left, uint16_t top, uint16_t width, uint16_t height,
                              const std::vector<uint8_t>& indices, const std::vector<uint32_t>& localColors,
                              bool interlaced, int minCodeSize) {
    m_bytes.push_back(0x2C);
    put16(m_bytes, left);
    put16(m_bytes, top);
    put16(m_bytes, width);
    put16(m_bytes, height);
    uint8_t packed = interlaced ? 0x40 : 0;
    if (!localColors.empty())
        packed |= 0x80 | uint8_t(tableBits(localColors.size()) - 1);
    m_bytes.push_back(packed);
    if (!localColors.empty())
        colorTable(localColors);
    std::vector<uint8_t> rows = indices;
    if (interlaced && height > 0 && indices.size() == size_t(width) * height) {
        rows.clear();
        for (int pass = 0; pass < 4; ++pass) {
            static const int start[4] = {0, 4, 2, 1};
            static const int step[4] = {8, 8, 4, 2};
            for (int y = start[pass]; y < height; y += step[pass])
                rows.insert(rows.end(), indices.begin() + size_t(y) * width,
                            indices.begin() + size_t(y + 1) * width);
        }
    }
    if (minCodeSize < 0) {
        const uint8_t highest = indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end());
        minCodeSize = std::max(2, tableBits(size_t(highest) + 1));
    }
    const Bytes coded = lzwBlocks(rows, minCodeSize);
    m_bytes.insert(m_bytes.end(), coded.begin(), coded.end());
    return *this;
}

GifBuilder& GifBuilder::trailer() {
    m_bytes.push_back(0x3B);
    return *this;
}

GifBuilder& GifBuilder::raw(const Bytes& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

} // namespace vorlane::test
