// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The settings store over QSettings. Keys written as registry paths
// ("\Software\Vorlane Gif\Recent") map to the organisation "Vorlane Gif" and, below it,
// a group named after the rest of the key ("Recent"), so that the native format puts
// them in the system's usual per-user place: an INI file under the user's config folder
// on Linux, HKEY_CURRENT_USER\Software\Vorlane Gif\Recent on Windows.

#include <memory>

#include <QSettings>
#include <QString>

#include "platform/SettingsStore.h"

namespace vorlane {

class QtSettingsStore : public SettingsStore {
public:
    static inline const QString Organisation = QStringLiteral("Vorlane Gif");

    // The user's own store, in the native format.
    QtSettingsStore();
    // A store in the INI file at `iniFile` (created when first written); for tests and
    // portable set-ups.
    explicit QtSettingsStore(const QString& iniFile);
    ~QtSettingsStore() override;

    bool contains(const QString& key, const QString& name) const override;
    QString readString(const QString& key, const QString& name,
                       const QString& fallback = {}) const override;
    int readInt(const QString& key, const QString& name, int fallback = 0) const override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    void writeInt(const QString& key, const QString& name, int value) override;
    void sync() override;

    // Where values of `key` live inside the organisation's settings: "" for the
    // organisation's own key, else the remaining parts joined with '/'
    // ("\Software\Vorlane Gif\Recent" -> "Recent"). Keys outside the organisation keep
    // all their parts.
    static QString groupOf(const QString& key);
    // The file or registry path the store writes to.
    QString location() const;

private:
    QString settingPath(const QString& key, const QString& name) const;

    std::unique_ptr<QSettings> m_settings;
};

} // namespace vorlane
