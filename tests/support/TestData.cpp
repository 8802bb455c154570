// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestData.h"

#include <QFile>
#include <QTest>

namespace vorlane::test {

std::unique_ptr<gif::GifImage> makeAnimation(int frames, uint16_t w, uint16_t h,
                                             const AnimationRecords& records) {
    auto image = std::make_unique<gif::GifImage>();
    image->screenWidth = w;
    image->screenHeight = h;
    image->setGlobalColors({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}});
    for (int i = 0; i < frames; ++i) {
        gif::Frame f;
        f.setPixels(w, h, gif::Bytes(size_t(w) * h, uint8_t(i % 4)));
        if (i == 0 && records.loops >= 0)
            f.extensions.push_back(gif::Extension::makeLoop(uint16_t(records.loops)));
        if (i == 0 && !records.comment.empty())
            f.extensions.push_back(gif::Extension::makeComment(records.comment));
        if (records.controls) {
            auto gce = gif::Extension::makeGraphicControl();
            gce->control().delay = uint16_t(10 * (i + 1));
            gce->control().disposal = 1;
            f.extensions.push_back(gce);
            f.graphicControlRecord = gce;
        }
        image->appendFrame(std::move(f));
    }
    return image;
}

QString writeFile(const QString& fileName, const Bytes& bytes) {
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
            qint64(bytes.size()))
        QTest::qFail(qPrintable(QStringLiteral("cannot write ") + fileName), __FILE__, __LINE__);
    return fileName;
}

QByteArray readFile(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace vorlane::test
