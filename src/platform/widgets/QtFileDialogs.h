// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/FileDialogs.h"

namespace vorlane {

// File choosers as QFileDialog, over `parent` when given.
class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    std::optional<QString> openPicture(const OpenRequest& request) override;
    QStringList openPictures(const OpenRequest& request) override;
    std::optional<QString> savePicture(const SaveRequest& request) override;
    std::optional<QString> saveFile(const SaveRequest& request) override;

private:
    QStringList runOpen(const OpenRequest& request, bool multiple);
    std::optional<QString> runSave(const SaveRequest& request);

    QPointer<QWidget> m_parent;
};

} // namespace vorlane
