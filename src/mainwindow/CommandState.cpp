// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/CommandState.h"

namespace vorlane {

void CommandFlags::check(ActionWord word, bool frameViewShown) {
    switch (word) {
    case ActionWord::Closed:
        cut = copy = paste = remove = play = stop = false;
        break;
    case ActionWord::Opened:
        cut = copy = paste = remove = true;
        break;
    case ActionWord::Pasted:
        // While playing, pasting leaves every flag as it was.
        if (frameViewShown) {
            cut = copy = remove = play = true;
            stop = false;
        }
        break;
    case ActionWord::Played:
        cut = copy = remove = play = false;
        paste = stop = true;
        break;
    case ActionWord::Alsup:
        cut = copy = remove = play = stop = false;
        paste = true;
        break;
    case ActionWord::Selected:
        cut = copy = paste = remove = play = true;
        stop = false;
        break;
    }
    add = frameViewShown;
}

SpeedBarState speedBarState(const CommandFlags& flags, const WindowState& state) {
    SpeedBarState s;
    s.play = flags.play;
    s.stop = flags.stop;
    const int n = state.entries;
    const int k = state.current;
    // With frames but no current frame (k = -1) all four navigation buttons are on.
    s.rewind = s.back = k != 0 && state.frameViewShown && n > 0;
    s.next = s.forward = n > 0 && k != n - 1 && state.frameViewShown;
    return s;
}

FileMenuState fileMenuState(const WindowState& state) {
    FileMenuState s;
    s.save = state.modified;
    s.saveAs = s.saveOptimized = state.hasImage;
    s.exportAnimation = state.hasImage && state.entries > 0 && state.frameViewShown;
    s.revert = state.modified && state.hasFile;
    const bool editing = state.frameViewShown && state.hasCurrent();
    s.addImage = s.insertImage = s.saveImage = editing;
    return s;
}

EditMenuState editMenuState(const CommandFlags& flags, const WindowState& state) {
    EditMenuState s;
    // Undo and Redo change the frames: not while the animation plays.
    s.undo = state.canUndo && state.frameViewShown;
    s.redo = state.canRedo && state.frameViewShown;
    s.cut = flags.cut;
    s.copy = flags.copy;
    s.remove = flags.remove;
    s.paste = state.clipboardHasBitmap;
    return s;
}

ImageMenuState imageMenuState(const WindowState& state) {
    ImageMenuState s;
    s.add = state.frameViewShown;
    const bool onFrame = state.frameViewShown && state.hasCurrent();
    s.insert = s.remove = s.move = s.disposal = s.duplicate = onFrame;
    s.backward = onFrame && state.current > 0;
    s.forward = onFrame && state.current < state.entries - 1;
    return s;
}

AnimationMenuState animationMenuState(const WindowState& state) {
    AnimationMenuState s;
    const bool frames = state.frameViewShown && state.hasImage && state.entries > 0;
    s.geometry = s.timing = frames;
    s.order = frames && state.entries >= 2;
    return s;
}

ControlMenuState controlMenuState(const CommandFlags& flags, const WindowState& state) {
    ControlMenuState s;
    s.play = flags.play;
    s.stop = flags.stop;
    s.next = s.back = flags.play && state.hasCurrent() && state.entries >= 2;
    return s;
}

EffectsMenuState effectsMenuState(const WindowState& state) {
    EffectsMenuState s;
    if (!state.hasCurrent()) return s;
    s.scroll = true;
    s.replacement = s.wipe = s.fade = s.separation = state.current > 0;
    return s;
}

} // namespace vorlane
