// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's commands as a table: one entry per menu item, with its objectName (which
// tests and the help find it by), its caption and its key. The window makes one QAction
// per entry and reaches them by this enum, never by looking names up.

#include <array>
#include <cstddef>

namespace vorlane {

enum class Act {
    // File
    FileNew, FileOpen, Save, SaveAs, SaveOptimized, Export, Revert, AddImageFile,
    InsertImageFile, SaveImage, Wizard, Recent1, Recent2, Recent3, Recent4, Quit,
    // Edit
    Undo, Redo, Cut, Copy, PasteInsert, PasteAdd, Remove, SelectAll,
    // View
    Toolbars, StatusBar, ShowLoop, ShowRate, ShowComment, ShowFrames, ShowVis, ShowHelp, SA,
    Options, ZoomFit, Zoom100, Zoom200, Zoom400, Zoom800, ZoomIn, ZoomOut,
    // Image
    ImageAdd, ImageInsert, ImageRemove, Backward, Forward, Disposal, Duplicate,
    // Animation
    Resize, Crop, AutoCrop, RotateCw, Rotate180, RotateCcw, FlipH, FlipV, Reverse, Yoyo,
    KeepEvery, Dedupe, Speed, Delay,
    // Control
    Play, Stop, Next, Back,
    // Effects
    Scroll, Replacement, Wipe, Fade, SeparationV, SeparationH,
    // Help
    HelpTopics, HowTo, HomePage, Mail, About,
    Count
};

struct ActionInfo {
    const char* objectName;
    const char* caption;
    const char* shortcut; // "" for none
};

inline constexpr std::array<ActionInfo, size_t(Act::Count)> ActionTable = {{
    {"FileNewItem", "New", "Ctrl+N"},
    {"FileOpenItem", "Open", "Ctrl+O"},
    {"save1", "Save", "Ctrl+S"},
    {"save2", "Save as...", ""},
    {"eos", "Save optimized as...", ""},
    {"export", "Export...", "Ctrl+E"},
    {"retablir", "Revert", ""},
    {"ajouter", "Add image...", ""},
    {"inserer", "Insert image...", ""},
    {"enregistrercadre", "Save image as...", ""},
    {"Assistantnouvelleanimation1", "New animation Wizard...", ""},
    {"M1", "", ""},
    {"M2", "", ""},
    {"M3", "", ""},
    {"M4", "", ""},
    {"FileExitItem", "Quit", ""},
    {"UndoItem", "Undo", "Ctrl+Z"},
    {"RedoItem", "Redo", "Ctrl+Shift+Z"},
    {"CutItem", "Cut", "Ctrl+X"},
    {"CopyItem", "Copy", "Ctrl+C"},
    {"ins", "Insert", ""},
    {"Enajoutantlimage1", "Add at the end", "Ctrl+V"},
    {"Del", "Remove", ""},
    {"SelectAllItem", "Select all images", ""},
    {"Tools", "Toolbars", ""},
    {"State", "Satus bar", ""},
    {"showloop", "Loop", ""},
    {"showrate", "Image delay", ""},
    {"showcomment", "Comments", ""},
    {"Showframes", "&Iimages list", ""},
    {"ShowVis", "Visualizer", ""},
    {"showhelp", "Quick help", ""},
    {"SA", "SA", ""},
    {"Options2", "Options...", ""},
    {"ZoomFitItem", "Zoom to fit", ""},
    {"Zoom100Item", "Actual size (100 %)", "Ctrl+0"},
    {"Zoom200Item", "200 %", ""},
    {"Zoom400Item", "400 %", ""},
    {"Zoom800Item", "800 %", ""},
    {"ZoomInItem", "Zoom in", "Ctrl++"},
    {"ZoomOutItem", "Zoom out", "Ctrl+-"},
    {"add1", "Add...", "F2"},
    {"insert", "Insert...", "F3"},
    {"sup2", "Remove", "Del"},
    {"arriere", "backward", "Ctrl+Alt+R"},
    {"avant", "forward", "Ctrl+Alt+V"},
    {"methode", "Disposal method...", ""},
    {"Dup", "&Duplicate", ""},
    {"ResizeItem", "Resize...", ""},
    {"CropItem", "Crop...", ""},
    {"AutoCropItem", "Auto-crop", ""},
    {"RotateCwItem", "Rotate 90° clockwise", ""},
    {"Rotate180Item", "Rotate 180°", ""},
    {"RotateCcwItem", "Rotate 90° counter-clockwise", ""},
    {"FlipHItem", "Flip horizontally", ""},
    {"FlipVItem", "Flip vertically", ""},
    {"ReverseItem", "Reverse", ""},
    {"YoyoItem", "Yo-yo", ""},
    {"KeepEveryItem", "Keep every n-th image...", ""},
    {"DedupeItem", "Remove duplicate images", ""},
    {"SpeedItem", "Speed...", ""},
    {"DelayItem", "Set delay...", ""},
    {"jouer", "Play", ""},
    {"arreter", "Stop", ""},
    {"next", "Next image", ""},
    {"back", "Previous image", ""},
    {"Defilement", "&Scroll", ""},
    {"Remplacement", "Replacement", ""},
    {"Essuyage", "Wipe", ""},
    {"Fondu", "Fade", ""},
    {"SeparationV", "Vertical", ""},
    {"SeparationH", "Horizontal", ""},
    {"Rubriquesdaide1", "Help topics", "F1"},
    {"Manueldepriseenmain1", "&How to create gifs", ""},
    {"Visiterlesiteweb1", "Vorlane Gif home page", ""},
    {"Envoyerunemail1", "by &e-mail", ""},
    {"HelpAboutItem", "&About Vorlane Gif", ""},
}};

inline constexpr const ActionInfo& actionInfo(Act act) {
    return ActionTable[size_t(act)];
}

} // namespace vorlane
