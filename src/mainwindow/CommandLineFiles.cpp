// SPDX-License-Identifier: GPL-3.0-or-later
// The files named on the editor's command line, as a terminal user or a file manager's
// "Open with" passes them.

#include <QFile>
#include <QFileInfo>

#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "document/DocumentFiles.h"
#include "editing/FrameCommands.h"
#include "editing/NewAnimation.h"
#include "export/AnimationFiles.h"
#include "mainwindow/MainWindow.h"

namespace vorlane {

namespace {
// A file that is no animation (a GIF by its first bytes, an animated WebP, an APNG) and
// not named as a GIF is a picture for Add; a file named .gif or .vlgf goes to Open even
// when broken, so that the user hears "Invalid file format." rather than seeing it
// turned into a frame.
bool isPictureOfAnotherFormat(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString extension = info.suffix().toLower();
    if (!info.isFile() || extension == QLatin1String("gif") || extension == QLatin1String("vlgf"))
        return false;
    return !exporting::isAnimationFile(fileName);
}
} // namespace

void TMainform::openCommandLineFiles(const QStringList& files) {
    if (files.isEmpty()) return;
    if (files.size() == 1 && !isPictureOfAnotherFormat(files.first())) {
        m_files->open(DocumentFiles::OpenOrigin::CommandLine, files.first());
        return;
    }
    // As the wizard makes it with its defaults: each picture a frame of 0.6 s, repeated
    // indefinitely; the first Save asks for a name.
    NewAnimationRequest request;
    request.name = AnimationModel::UntitledName;
    for (const QString& file : files) {
        request.files << QFileInfo(file).absoluteFilePath();
        request.names << QFileInfo(file).fileName();
    }
    NewAnimation creation(*m_files, *m_animation, m_platform, m_commands->pictureImport());
    creation.work = m_work.get();
    creation.run(request);
}

} // namespace vorlane
