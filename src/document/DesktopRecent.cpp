// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/DesktopRecent.h"

#include "document/Document.h"
#include "platform/RecentDocuments.h"

namespace vorlane {

void tellDesktopOfRecentFiles(Document& document, RecentDocuments& desktop) {
    QObject::connect(&document, &Document::recentFilesChanged, &document, [&document, &desktop] {
        const QString latest = document.recentFiles().value(0);
        // The desktop's list is a convenience: a failure to write it is not the user's
        // concern while opening or saving.
        if (!latest.isEmpty()) desktop.add(latest, QStringLiteral("image/gif"));
    });
}

} // namespace vorlane
