// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtShell.h"

#include <QDesktopServices>
#include <QRegularExpression>

namespace vorlane {

QUrl QtShell::urlFor(const QString& target) {
    // A scheme is two or more letters before a colon; a single letter is a Windows drive
    // ("C:\help.chm"), which is a file.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(target).hasMatch()) return QUrl(target, QUrl::TolerantMode);
    return QUrl::fromLocalFile(target);
}

void QtShell::open(const QString& target) {
    QDesktopServices::openUrl(urlFor(target));
}

} // namespace vorlane
