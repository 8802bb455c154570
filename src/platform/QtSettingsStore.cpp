// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtSettingsStore.h"

#include <QStringList>
#include <QVariant>

namespace vorlane {

QtSettingsStore::QtSettingsStore()
    // No application name: the organisation's key itself is the store's root, as in
    // "Software\Vorlane Gif".
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             Organisation)) {}

QtSettingsStore::QtSettingsStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() = default;

QString QtSettingsStore::groupOf(const QString& key) {
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() >= 2 &&
        parts[0].compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0 &&
        parts[1].compare(Organisation, Qt::CaseInsensitive) == 0)
        parts = parts.mid(2);
    return parts.join(QLatin1Char('/'));
}

QString QtSettingsStore::settingPath(const QString& key, const QString& name) const {
    const QString group = groupOf(key);
    return group.isEmpty() ? name : group + QLatin1Char('/') + name;
}

QString QtSettingsStore::location() const {
    return m_settings->fileName();
}

bool QtSettingsStore::contains(const QString& key, const QString& name) const {
    return m_settings->contains(settingPath(key, name));
}

QString QtSettingsStore::readString(const QString& key, const QString& name,
                                    const QString& fallback) const {
    const QVariant value = m_settings->value(settingPath(key, name));
    return value.isValid() ? value.toString() : fallback;
}

int QtSettingsStore::readInt(const QString& key, const QString& name, int fallback) const {
    const QVariant value = m_settings->value(settingPath(key, name));
    if (!value.isValid()) return fallback;
    // INI files hold text; a value that is not a number reads as the fallback rather
    // than as 0.
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : fallback;
}

void QtSettingsStore::writeString(const QString& key, const QString& name, const QString& value) {
    m_settings->setValue(settingPath(key, name), value);
}

void QtSettingsStore::writeInt(const QString& key, const QString& name, int value) {
    m_settings->setValue(settingPath(key, name), value);
}

void QtSettingsStore::sync() {
    m_settings->sync();
}

} // namespace vorlane
