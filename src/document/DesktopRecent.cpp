// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/DesktopRecent.h"

#include "document/RecentFiles.h"
#include "platform/RecentDocuments.h"

namespace vorlane {

void tellDesktopOfRecentFiles(RecentFiles& recent, RecentDocuments& desktop) {
    QObject::connect(&recent, &RecentFiles::recorded, &recent, [&desktop](const QString& file) {
        // The desktop's list is a convenience: a failure to write it is not the user's
        // concern while opening or saving.
        if (!file.isEmpty()) desktop.add(file, QStringLiteral("image/gif"));
    });
}

} // namespace vorlane
