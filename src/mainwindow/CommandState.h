// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command flags of the main window and the enabling rules of its commands, as plain
// values with no widget in them. The window copies these values into its buttons and
// menu items; keeping the rules here puts each command's enabled state in one function
// that tests can check directly.

namespace vorlane {

// The named moments at which the command flags are set.
enum class ActionWord {
    Closed,   // the animation was emptied by New
    Opened,   // a file was opened
    Pasted,   // images were imported or pasted
    Played,   // playback started; the wizard finished
    Alsup,    // the last frame was cut or removed
    Selected, // a frame became the current frame
};

// Flags set at named moments by action words. They are not recomputed from the document:
// a flag keeps the value its last word gave it. The modified flag is not among them: it
// lives in the animation (AnimationModel::isModified) and the Save button follows it.
struct CommandFlags {
    bool cut = true;
    bool copy = true;
    bool paste = true; // kept for completeness; no command reads it
    bool remove = true;
    bool play = false;
    bool stop = false;
    bool add = true;

    // Applies an action word, then sets `add` to whether the frame view is shown.
    void check(ActionWord word, bool frameViewShown);

    friend bool operator==(const CommandFlags&, const CommandFlags&) = default;
};

// What the enabling rules read from the window and the document.
struct WindowState {
    bool frameViewShown = true;
    int entries = 0;  // frame-list entries
    int current = -1; // current frame, -1 for none
    bool hasImage = false;
    bool hasFile = false;
    bool modified = false;
    bool clipboardHasBitmap = false;
    int selected = 0; // selected frames (the current one among them)
    bool canUndo = false;
    bool canRedo = false;

    bool hasCurrent() const { return current >= 0 && current < entries; }
};

// The six buttons of the speed bar.
struct SpeedBarState {
    bool play = false;
    bool stop = false;
    bool rewind = false;
    bool back = false;
    bool next = false;
    bool forward = false;
    friend bool operator==(const SpeedBarState&, const SpeedBarState&) = default;
};
SpeedBarState speedBarState(const CommandFlags& flags, const WindowState& state);

struct FileMenuState {
    bool save = false;
    bool saveAs = false;
    bool saveOptimized = false;
    bool exportAnimation = false; // Export...: frames to export, and not while playing
    bool revert = false;
    bool addImage = false;
    bool insertImage = false;
    bool saveImage = false;
    friend bool operator==(const FileMenuState&, const FileMenuState&) = default;
};
FileMenuState fileMenuState(const WindowState& state);

struct EditMenuState {
    bool undo = false;
    bool redo = false;
    bool cut = false;
    bool copy = false;
    bool paste = false; // the paste submenu with both of its entries
    bool remove = false;
    friend bool operator==(const EditMenuState&, const EditMenuState&) = default;
};
EditMenuState editMenuState(const CommandFlags& flags, const WindowState& state);

struct ImageMenuState {
    bool add = false;
    bool insert = false;
    bool remove = false;
    bool move = false;     // the Move submenu
    bool backward = false; // its entries, narrowed when the submenu opens
    bool forward = false;
    bool disposal = false;
    bool duplicate = false;
    friend bool operator==(const ImageMenuState&, const ImageMenuState&) = default;
};
ImageMenuState imageMenuState(const WindowState& state);

// The Animation menu: tools on the whole animation or on the selected frames. Like the
// Image commands, none while the animation plays or without frames; those that change
// the order of the frames need two of them.
struct AnimationMenuState {
    bool geometry = false; // resize, crop, auto-crop, rotate, flip
    bool order = false;    // reverse, yo-yo, keep every n-th, remove duplicates
    bool timing = false;   // speed, set delay
    friend bool operator==(const AnimationMenuState&, const AnimationMenuState&) = default;
};
AnimationMenuState animationMenuState(const WindowState& state);

struct ControlMenuState {
    bool play = false;
    bool stop = false;
    bool next = false;
    bool back = false;
    friend bool operator==(const ControlMenuState&, const ControlMenuState&) = default;
};
ControlMenuState controlMenuState(const CommandFlags& flags, const WindowState& state);

struct EffectsMenuState {
    bool scroll = false;
    bool replacement = false;
    bool wipe = false;
    bool fade = false;
    bool separation = false;
    friend bool operator==(const EffectsMenuState&, const EffectsMenuState&) = default;
};
EffectsMenuState effectsMenuState(const WindowState& state);

} // namespace vorlane
