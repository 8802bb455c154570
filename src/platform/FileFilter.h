// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Translation of file-type filters written as "Description (*.x)|*.x|Other|*.y;*.z"
// (pairs of description and pattern list, separated by '|') into what Qt's file dialogs
// take, and the choice of the extension a save dialog appends.

#include <QString>
#include <QStringList>

namespace vorlane::filefilter {

struct Entry {
    QString description;
    QStringList patterns; // "*.gif", "*.vlgf"
};

// The pairs of a filter. A trailing description without patterns gets "*".
QList<Entry> parse(const QString& filter);

// Qt name filters, one per pair: "Description (*.x *.y)". A description that already
// ends in its patterns in parentheses is kept as it is.
QStringList toQt(const QString& filter);

// The extension (without dot) a save dialog appends to a name that has none while the
// Qt name filter `selected` is chosen: the filter's own extension when it names exactly
// one ("*.vlgf" -> "vlgf"), else `defaultExtension`. Empty `defaultExtension` means no
// extension is ever appended.
QString suffixFor(const QString& filter, const QString& selected, const QString& defaultExtension);

} // namespace vorlane::filefilter
