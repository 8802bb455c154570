// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The four recently opened files: text values "F1".."F4" under the per-user key
// "\Software\Vorlane Gif\Recent", F1 the most recent. A file opened or saved moves to
// the front; names are compared exactly (letter case matters).

#include <QObject>
#include <QString>
#include <QStringList>

namespace vorlane {

class SettingsStore;

class RecentFiles : public QObject {
    Q_OBJECT
public:
    static inline const QString Key = QStringLiteral("\\Software\\Vorlane Gif\\Recent");
    static constexpr int Count = 4;

    explicit RecentFiles(SettingsStore* settings, QObject* parent = nullptr);

    // F1..F4 as stored ("" where empty or missing).
    QStringList files() const;
    // Entry i (1..4), "" when empty.
    QString file(int i) const;
    // Move to front: the entries before the match (all of them for a new name, the last
    // one dropped) move one place down; only the values that change are written.
    void add(const QString& fileName);

Q_SIGNALS:
    void changed();
    // A file was recorded as used (opened or saved), also when it was F1 already.
    void recorded(const QString& fileName);

private:
    SettingsStore* m_settings;
};

} // namespace vorlane
