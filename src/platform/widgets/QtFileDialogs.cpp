// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/widgets/QtFileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

#include "platform/FileFilter.h"

namespace vorlane {

namespace {
void startAt(QFileDialog& dialog, const QString& file) {
    if (file.isEmpty()) return;
    const QFileInfo info(file);
    if (info.isDir()) {
        dialog.setDirectory(info.absoluteFilePath());
        return;
    }
    if (info.absoluteDir().exists()) dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
}
// Gives the focus back to the window a dialog stood over, where no window manager does.
void refocus(QWidget* parent) {
    if (parent) parent->window()->activateWindow();
}
} // namespace

QStringList QtFileDialogs::runOpen(const OpenRequest& request, bool multiple) {
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setNameFilters(filefilter::toQt(request.filter));
    dialog.setOption(QFileDialog::ReadOnly, false);
    startAt(dialog, request.initialFile);
    const int result = dialog.exec();
    refocus(m_parent);
    if (result != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

std::optional<QString> QtFileDialogs::runSave(const SaveRequest& request) {
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = filefilter::toQt(request.filter);
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.askOverwrite);
    // The dialog appends the suffix before it asks about overwriting, so the question is
    // about the file that will really be written. The suffix follows the chosen filter:
    // "x" under "Vorlane Gif format (*.vlgf)" becomes x.vlgf.
    const auto updateSuffix = [&dialog, &request](const QString& selected) {
        dialog.setDefaultSuffix(
            filefilter::suffixFor(request.filter, selected, request.defaultExtension));
    };
    if (!filters.isEmpty()) updateSuffix(filters.front());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, updateSuffix);
    startAt(dialog, request.initialFile);
    const int result = dialog.exec();
    refocus(m_parent);
    if (result != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.front();
}

std::optional<QString> QtFileDialogs::openPicture(const OpenRequest& request) {
    const QStringList files = runOpen(request, false);
    if (files.isEmpty()) return std::nullopt;
    return files.front();
}

QStringList QtFileDialogs::openPictures(const OpenRequest& request) {
    return runOpen(request, true);
}

std::optional<QString> QtFileDialogs::savePicture(const SaveRequest& request) {
    return runSave(request);
}

std::optional<QString> QtFileDialogs::saveFile(const SaveRequest& request) {
    return runSave(request);
}

} // namespace vorlane
