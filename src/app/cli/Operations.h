// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The operations of the command line's `edit`, as its arguments spell them.

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "tools/Operation.h"

namespace vorlane::cli {

// The operations given after IN and OUT, in order ("--resize 200x0", "--flip=h", ...);
// one --filter sets the filter of every resize. On a usage error: none, and `error`
// says what is wrong.
std::optional<std::vector<tools::Operation>> parseOperations(const QStringList& args,
                                                             QString& error);

// The operation as given on the command line, for messages ("--rotate 90").
QString operationText(const tools::Operation& operation);

} // namespace vorlane::cli
