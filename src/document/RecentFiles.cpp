// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/RecentFiles.h"

#include <algorithm>

#include "platform/SettingsStore.h"

namespace vorlane {

namespace {
QString valueName(int i) {
    return QStringLiteral("F%1").arg(i);
}
} // namespace

RecentFiles::RecentFiles(SettingsStore* settings, QObject* parent)
    : QObject(parent), m_settings(settings) {}

QStringList RecentFiles::files() const {
    QStringList files;
    for (int i = 1; i <= Count; ++i)
        files << (m_settings ? m_settings->readString(Key, valueName(i)) : QString());
    return files;
}

QString RecentFiles::file(int i) const {
    return i >= 1 && i <= Count ? files().at(i - 1) : QString();
}

void RecentFiles::add(const QString& fileName) {
    Q_EMIT recorded(fileName);
    if (!m_settings) return;
    // Read now rather than at the start of the command: a Save run by the command's
    // question may have moved another file to the front meanwhile.
    const QStringList old = files();
    const int match = int(std::find(old.begin(), old.end(), fileName) - old.begin());
    if (match == 0) return;
    QStringList now = old;
    for (int i = std::min(match, Count - 1); i >= 1; --i)
        now[i] = old[i - 1];
    now[0] = fileName;
    for (int i = 0; i < Count; ++i)
        if (now[i] != old[i]) m_settings->writeString(Key, valueName(i + 1), now[i]);
    m_settings->sync();
    Q_EMIT changed();
}

} // namespace vorlane
