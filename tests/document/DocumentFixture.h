#pragma once

// Shared helpers of the document tests: animations made in memory and a document wired
// to the fake platform.

#include <memory>

#include "codec/GifImage.h"
#include "document/Document.h"
#include "support/FakePlatform.h"

namespace vorlane::test {

// An animation of `frames` solid frames of w x h, frame i in colour index i % 4 of a
// four-colour global table, each with a graphic control record (delay 10 * (i + 1))
// unless `withControls` is false.
inline std::unique_ptr<gif::GifImage> makeAnimation(int frames, uint16_t w = 8, uint16_t h = 6,
                                                    bool withControls = true) {
    auto image = std::make_unique<gif::GifImage>();
    image->screenWidth = w;
    image->screenHeight = h;
    image->setGlobalColors({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}});
    for (int i = 0; i < frames; ++i) {
        gif::Frame f;
        f.setPixels(w, h, gif::Bytes(size_t(w) * h, uint8_t(i % 4)));
        if (withControls) {
            auto gce = gif::Extension::makeGraphicControl();
            gce->control().delay = uint16_t(10 * (i + 1));
            f.extensions.push_back(gce);
            f.graphicControlRecord = gce;
        }
        image->appendFrame(std::move(f));
    }
    return image;
}

// A document on the fakes; `loaded(n)` gives it an animation of n frames as the editing
// commands do (image, frame list, loop record), without opening a file.
struct DocumentFixture {
    FakePlatform fakes;
    Document doc{fakes.platform()};

    void loaded(int frames) {
        doc.setImage(makeAnimation(frames));
        doc.ren();
        doc.makeloopongif();
        doc.setModified(false);
    }
};

} // namespace vorlane::test
