// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/Extension.h"

#include <algorithm>

namespace vorlane::gif {

namespace {
constexpr uint8_t LoopSubBlockId = 1;
}

std::shared_ptr<Extension> Extension::makeGraphicControl() {
    return std::make_shared<Extension>(labels::GraphicControl);
}

std::shared_ptr<Extension> Extension::makeComment(const std::string& text) {
    auto e = std::make_shared<Extension>(labels::Comment);
    e->setText(text);
    return e;
}

std::shared_ptr<Extension> Extension::makeApplication(const std::string& identifier11,
                                                      std::vector<Bytes> dataBlocks) {
    auto e = std::make_shared<Extension>(labels::Application);
    e->m_blocks.emplace_back(identifier11.begin(), identifier11.end());
    for (auto& b : dataBlocks)
        e->m_blocks.push_back(std::move(b));
    return e;
}

std::shared_ptr<Extension> Extension::makeLoop(uint16_t count) {
    return makeApplication("NETSCAPE2.0",
                           {Bytes{LoopSubBlockId, uint8_t(count & 0xFF), uint8_t(count >> 8)}});
}

std::string Extension::text() const {
    std::string out;
    for (const auto& b : m_blocks)
        out.append(b.begin(), b.end());
    return out;
}

void Extension::setText(const std::string& text) {
    m_blocks.clear();
    for (size_t pos = 0; pos < text.size(); pos += 255) {
        const size_t n = std::min<size_t>(255, text.size() - pos);
        m_blocks.emplace_back(text.begin() + pos, text.begin() + pos + n);
    }
}

std::string Extension::applicationId() const {
    if (!isApplication() || m_blocks.empty())
        return {};
    return std::string(m_blocks.front().begin(), m_blocks.front().end());
}

bool Extension::isLoop() const {
    const std::string id = applicationId();
    return id == "NETSCAPE2.0" || id == "ANIMEXTS1.0";
}

std::optional<uint16_t> Extension::loopCount() const {
    if (!isLoop())
        return std::nullopt;
    for (size_t i = 1; i < m_blocks.size(); ++i) {
        const Bytes& b = m_blocks[i];
        if (b.size() >= 3 && b[0] == LoopSubBlockId)
            return uint16_t(b[1] | (b[2] << 8));
    }
    return std::nullopt;
}

void Extension::setLoopCount(uint16_t count) {
    for (size_t i = 1; i < m_blocks.size(); ++i) {
        Bytes& b = m_blocks[i];
        if (b.size() >= 3 && b[0] == LoopSubBlockId) {
            b[1] = uint8_t(count & 0xFF);
            b[2] = uint8_t(count >> 8);
            return;
        }
    }
    if (m_blocks.empty())
        m_blocks.emplace_back();
    m_blocks.insert(m_blocks.begin() + 1, Bytes{LoopSubBlockId, uint8_t(count & 0xFF),
                                                uint8_t(count >> 8)});
}

} // namespace vorlane::gif
