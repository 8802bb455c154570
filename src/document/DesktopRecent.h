// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Passes each file the document records as recently used (opened, saved) on to the
// desktop's own list, so that other programs' file dialogs and launchers offer it too.

namespace vorlane {

class RecentFiles;
class RecentDocuments;

// From now on, for as long as both live; the files are GIF data whatever their name.
void tellDesktopOfRecentFiles(RecentFiles& recent, RecentDocuments& desktop);

} // namespace vorlane
