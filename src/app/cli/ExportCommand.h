// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line's `export IN OUT [options]`: the editor's export without a window.

#include <optional>

#include <QString>
#include <QStringList>

#include "cli/Commands.h"
#include "export/ExportSettings.h"

namespace vorlane::cli {

// The settings the options after IN and OUT ask for; OUT's extension picks the format.
// On a usage error: none, and `error` says what is wrong.
std::optional<exporting::ExportSettings>
parseExportOptions(const QString& out, const QStringList& args, QString& error);

// Opens IN as the editor does (GIF, animated WebP or APNG) and writes OUT. With a size
// limit, the settings the search chose are noted on standard error.
int exportFile(const QString& in, const QString& out, const exporting::ExportSettings& settings,
               const Options& options = {});

} // namespace vorlane::cli
