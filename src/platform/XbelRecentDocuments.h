// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The freedesktop.org list of recently used files: an XBEL file (by default
// ~/.local/share/recently-used.xbel) shared by every program of the desktop. Qt has no
// interface to it on Linux, so it is written here, in freedesktop.org's desktop
// bookmark layout:
//
//   <bookmark href="file:///..." added=".." modified=".." visited="..">
//     <info><metadata owner="http://freedesktop.org">
//       <mime:mime-type type="image/gif"/>
//       <bookmark:applications>
//         <bookmark:application name=".." exec="'vorlane-gif %u'" modified=".." count="n"/>
//
// Other programs' entries, and whatever else the file holds, are kept as they are; the
// file is rewritten in one step (a temporary file renamed over it). A file that is not
// well-formed XBEL is left alone: it may be another program's mid-write or a newer
// format, and rewriting it would lose what it holds.

#include <functional>

#include <QDateTime>

#include "platform/RecentDocuments.h"

namespace vorlane {

class XbelRecentDocuments : public RecentDocuments {
public:
    // Files larger than this are not read (and so not rewritten).
    static constexpr qint64 MaxFileBytes = 32 * 1024 * 1024;

    // `xbelFile`: the list's file; `application`: the name other programs show for us;
    // `exec`: how to start us on a file, with %u for its URL.
    explicit XbelRecentDocuments(QString xbelFile = defaultFile(),
                                 QString application = QStringLiteral("Vorlane Gif"),
                                 QString exec = QStringLiteral("'vorlane-gif %u'"));

    bool add(const QString& fileName, const QString& mimeType) override;

    // The desktop's list of the user: recently-used.xbel in the XDG data folder.
    static QString defaultFile();
    // The clock the time stamps come from (UTC); tests set their own.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }

private:
    QString m_file;
    QString m_application;
    QString m_exec;
    std::function<QDateTime()> m_now;
};

} // namespace vorlane
