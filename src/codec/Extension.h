// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One extension record of a frame: graphic control, comment, application (loop and
// others), plain text, or any other label, kept as read so that it is written back
// unchanged.

#include <memory>
#include <optional>
#include <string>

#include "codec/GifTypes.h"

namespace vorlane::gif {

struct GraphicControl {
    uint8_t disposal = 0;    // 0..7
    bool userInput = false;
    bool transparent = false;
    uint8_t transparentIndex = 0;
    uint16_t delay = 0;      // hundredths of a second
    uint8_t reservedBits = 0; // bits 5..7 of the packed byte, kept for an exact round trip
};

class Extension {
public:
    explicit Extension(uint8_t label) : m_label(label) {}

    static std::shared_ptr<Extension> makeGraphicControl();
    static std::shared_ptr<Extension> makeComment(const std::string& text = {});
    // An application extension "NETSCAPE2.0" with a loop sub-block holding the count.
    static std::shared_ptr<Extension> makeLoop(uint16_t count);
    static std::shared_ptr<Extension> makeApplication(const std::string& identifier11,
                                                      std::vector<Bytes> dataBlocks);

    uint8_t label() const { return m_label; }
    bool isGraphicControl() const { return m_label == labels::GraphicControl; }
    bool isComment() const { return m_label == labels::Comment; }
    bool isApplication() const { return m_label == labels::Application; }
    bool isPlainText() const { return m_label == labels::PlainText; }

    // Fields of a graphic control record; meaningful only when isGraphicControl().
    GraphicControl& control() { return m_control; }
    const GraphicControl& control() const { return m_control; }

    // The sub-blocks of every record but a graphic control one, exactly as read: for an
    // application record the first is the identifier and authentication code; for plain
    // text the first is the 12-byte text grid header; for a comment they hold its text.
    std::vector<Bytes>& blocks() { return m_blocks; }
    const std::vector<Bytes>& blocks() const { return m_blocks; }

    // Comment text: the sub-blocks joined. Setting it splits it into 255-byte blocks.
    std::string text() const;
    void setText(const std::string& text);

    // Application identifier and authentication code as one string (normally 11
    // characters, for example "NETSCAPE2.0"); empty for other records.
    std::string applicationId() const;
    // "NETSCAPE2.0" or "ANIMEXTS1.0".
    bool isLoop() const;
    // The count of the loop sub-block (id 1); none when the record has no such block.
    std::optional<uint16_t> loopCount() const;
    // Writes the count into the loop sub-block, adding one when missing; other
    // sub-blocks (such as the buffer-size block, id 2) stay as they were.
    void setLoopCount(uint16_t count);

    std::shared_ptr<Extension> clone() const { return std::make_shared<Extension>(*this); }

private:
    uint8_t m_label;
    GraphicControl m_control;
    std::vector<Bytes> m_blocks;
};

using ExtensionPtr = std::shared_ptr<Extension>;
using ExtensionList = std::vector<ExtensionPtr>;

} // namespace vorlane::gif
