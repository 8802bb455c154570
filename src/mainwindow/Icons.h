// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Icons of the main window: the desktop theme's icon where it has one of that meaning,
// else our own from the resources; small arrows painted in code.

#include <QIcon>
#include <QPixmap>

namespace vorlane::icons {

// Registers the compiled-in resources (they live in a static library, so they must be
// registered explicitly). Safe to call more than once.
void initResources();

// `themeName` from the desktop theme, else ":/icons/<ownName>.svg".
QIcon themed(const QString& themeName, const QString& ownName);

// A 12 x 12 arrow in `colour` (the header captions'): pointing up to collapse, down to
// expand; drawn at `devicePixelRatio` so that it stays sharp on a scaled screen.
QPixmap arrow(bool collapse, const QColor& colour, qreal devicePixelRatio = 1.0);

} // namespace vorlane::icons
