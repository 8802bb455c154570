// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The set of platform services handed to the document and the windows. Wired together
// only in the programs' main functions (the real ones) and in tests (the fakes).

namespace vorlane {

class Clipboard;
class Clock;
class FileDialogs;
class Prompts;
class SettingsStore;
class Shell;

struct Platform {
    SettingsStore* settings = nullptr;
    Prompts* prompts = nullptr;
    FileDialogs* dialogs = nullptr;
    Clipboard* clipboard = nullptr;
    Shell* shell = nullptr;
    Clock* clock = nullptr;
    // Long work (opening, saving, effects, tools) runs on a worker thread while the
    // window stays responsive; off, it runs on the window's thread (most tests).
    bool threadedWork = false;
};

} // namespace vorlane
