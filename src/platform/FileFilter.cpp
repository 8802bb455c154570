// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileFilter.h"

namespace vorlane::filefilter {

QList<Entry> parse(const QString& filter) {
    QList<Entry> entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns;
        if (i + 1 < parts.size())
            patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        patterns.removeAll(QString());
        if (description.isEmpty() && patterns.isEmpty()) continue;
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        entries.push_back(
            {description.isEmpty() ? patterns.join(QLatin1Char(' ')) : description, patterns});
    }
    return entries;
}

QStringList toQt(const QString& filter) {
    QStringList result;
    for (const Entry& e : parse(filter)) {
        const QString list = e.patterns.join(QLatin1Char(' '));
        const QString tail = QLatin1Char('(') + list + QLatin1Char(')');
        // Qt reads the patterns from the last parentheses of the text; a description
        // that shows them already needs nothing added.
        if (e.description.endsWith(tail))
            result << e.description;
        else
            result << e.description + QLatin1Char(' ') + tail;
    }
    return result;
}

QString suffixFor(const QString& filter, const QString& selected, const QString& defaultExtension) {
    if (defaultExtension.isEmpty()) return {};
    const QList<Entry> entries = parse(filter);
    const QStringList qt = toQt(filter);
    for (qsizetype i = 0; i < qt.size(); ++i) {
        if (qt[i] != selected) continue;
        const QStringList& patterns = entries[i].patterns;
        if (patterns.size() == 1 && patterns[0].startsWith(QLatin1String("*."))) {
            const QString ext = patterns[0].mid(2);
            if (!ext.isEmpty() && !ext.contains(QLatin1Char('*')) &&
                !ext.contains(QLatin1Char('?')))
                return ext;
        }
        break;
    }
    return defaultExtension;
}

} // namespace vorlane::filefilter
