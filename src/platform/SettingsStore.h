// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The per-user settings store. A key is a path such as "\Software\Vorlane Gif\Recent"
// or "Software\Vorlane Gif\Mainform Settings" (a leading backslash is ignored; the
// section of a key is its last part). Missing values read as the fallback.

#include <QString>

namespace vorlane {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual bool contains(const QString& key, const QString& name) const = 0;
    virtual QString readString(const QString& key, const QString& name,
                               const QString& fallback = {}) const = 0;
    virtual int readInt(const QString& key, const QString& name, int fallback = 0) const = 0;
    virtual void writeString(const QString& key, const QString& name, const QString& value) = 0;
    virtual void writeInt(const QString& key, const QString& name, int value) = 0;
    // Writes pending changes to permanent storage.
    virtual void sync() = 0;
};

} // namespace vorlane
