// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window `TMainform`: the menu row (a tool bar of menu buttons), the tool-button
// row, the preview area, the thumbnail strip, the side panel and the status bar. It owns
// the document and turns the document's signals into widgets; its handlers are thin:
// they gather input, call the document, and refresh the command state.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include "document/Document.h"
#include "mainwindow/CommandState.h"
#include "platform/Platform.h"

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QRadioButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace vorlane {

class BalloonHint;
class DisposalChooser;
class FrameEditor;
class NoticeBar;
class PictureView;
class PreviewBox;
class SidePanel;
class ThumbnailStrip;
namespace effects {
class EffectDialog;
enum class Effect;
} // namespace effects

// What the welcome dialog answered with OK.
struct WelcomeChoice {
    enum class Kind { NewAnimation, OpenExisting, Wizard };
    Kind kind = Kind::NewAnimation;
    // With OpenExisting: the selected row of the list, -1 for none; row 0 is "Other
    // files...", rows 1..4 the recent entries F1..F4.
    int row = -1;
};

// The dialogs of the start-up sequence. Each hook may be empty; an empty one is skipped,
// so each dialog drops in when it exists.
struct StartupDialogs {
    // Whether the welcome dialog's "Don't show this box at startup" is ticked (its
    // settings are read again for the answer).
    std::function<bool()> welcomeSuppressed;
    // Shows the welcome dialog modally; nothing when it was not closed with OK.
    std::function<std::optional<WelcomeChoice>()> showWelcome;
    // The new-animation wizard.
    std::function<void()> runWizard;
    // Shows the how-to dialog when its counter and check box allow (and counts it).
    std::function<void()> showHowToIfDue;
};

class TMainform : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString SettingsKey =
        QStringLiteral("Software\\Vorlane Gif\\Mainform Settings");
    static inline const QString LanguageCode = QStringLiteral("en");
    static inline const QString HintText = QStringLiteral("Click this button to add images");
    static constexpr int HintDelayMs = 1500;
    static constexpr int HintShownMs = 8000;

    explicit TMainform(const Platform& platform, QWidget* parent = nullptr);
    ~TMainform() override;

    Document& document() { return *m_doc; }
    FrameEditor& editor() { return *m_editor; }
    // The disposal choice `methode` asks; the window's own dialog unless replaced (tests
    // answer through a fake). nullptr restores the dialog.
    void setDisposalChooser(DisposalChooser* chooser);
    // The effect settings dialog the effect commands show; the window's own unless
    // replaced (tests answer through a fake). nullptr restores the dialog.
    void setEffectDialog(effects::EffectDialog* dialog);
    // The new-animation wizard (File > "New animation Wizard...", the hidden
    // `ToolButton2`, the welcome dialog's choice).
    void ToolButton2Click();
    // What ToolButton2Click runs; the window's own wizard unless replaced (tests). An
    // empty function restores the wizard.
    void setWizardRunner(std::function<void()> run);
    const CommandFlags& flags() const { return m_flags; }

    // ---- start-up (steps after the window is shown) ----
    // New, the command-line file, the welcome dialog's choice, the how-to dialog, then
    // the hint timer.
    void startUp(const QStringList& arguments, const StartupDialogs& dialogs = {});
    // The files named on the command line: one GIF opens; several files, or one picture
    // of another format, make a new animation of their pictures in the given order with
    // the wizard's default delay and loop (CommandLineFiles.cpp).
    void openCommandLineFiles(const QStringList& files);
    void startHintTimer();
    QTimer& hintTimer() { return m_hintTimer; }
    void Timer1Timer();
    int hintCounter() const { return m_hintCounter; }

    // ---- services ----
    // The folder of the program, ending in a separator.
    static QString Basepath();
    // Hands the target whole to the desktop shell's "open" action.
    void Exec(const QString& target);

    // ---- command state and status bar ----
    void check(const QString& word);
    void EnableButtons();
    void status();
    void shapeit() { status(); }
    // The state the enabling rules read (all but the clipboard).
    WindowState currentState() const;

    // ---- thumbnail strip and selection ----
    void framesChange(int k);
    void DrawFramesOnTool();
    void ClearFramesOnTool();
    void ImageScrollChange(int p);
    // Picks slot i (1..4) / highlights it.
    void PClick(int slot);
    void PBClick(int slot);

    // ---- playback and preview ----
    void playClick();
    void stopClick();
    void nextClick();
    void backClick();
    void RewindbtnClick();
    void ForwardbtnClick();
    void BoxResize();
    void doscroll();
    void After();
    int actived() const;

    // ---- menus' open handlers ----
    void File1Click();
    void Edit1Click();
    void Voir1Click();
    void Imagesdelanimations1Click();
    void moveitemClick();
    void Afficher1Click();
    void EffetsClick();

    // ---- side panel and view toggles ----
    void drawheads();
    void expandSection(int section);   // O1Click..O3Click (0..2)
    void collapseSection(int section); // C1Click..C3Click
    void toggleSection(int section);   // LoopsbClick, ratebClick, combClick
    void ToolsClick();
    void StateClick();

    // ---- frame editing ----
    void methodeClick();
    // DefilementClick, RemplacementClick, EssuyageClick, FonduClick, SeparationVClick,
    // SeparationHClick: the dialog, then the effect on the current frame.
    void runEffect(effects::Effect effect);
    // A change of the delay field's value; the program's own writes do not modify.
    void PeriodChange(int value);
    // The delay field was left (or Enter pressed) with text that is no number.
    void periodTextRejected(const QString& text);
    // The mouse moves over the frame view.
    void ImageMouseMove();

    // ---- File menu commands ----
    void FileNewItemClick();
    void FileOpenClick();
    void recentClick(int slot); // M1Click..M4Click (1..4)
    void FileSaveClick();

    // Opens the menu of the menu row's button `index` (0: File), as its access key does.
    void openMenu(int index);
    // The action with this objectName (menu items), nullptr when there is none.
    QAction* action(const QString& name) const;
    // Runs the menus that hold the action (top down) and triggers it when it and they
    // are enabled, as its shortcut does.
    bool triggerAsShortcut(QAction* action);

    PreviewBox* box() const { return m_box; }
    ThumbnailStrip* strip() const { return m_strip; }
    SidePanel* sidePanel() const { return m_side; }
    // Status panel i (0..4).
    QLabel* statusPanel(int i) const { return m_panels.at(size_t(i)); }
    QProgressBar* progressBar() const { return m_progress; }
    // Whether the program is writing the delay field (its change must not count as an edit).
    bool writingPeriod() const { return m_writingPeriod; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildMenus();
    void buildToolRow();
    void buildCentre();
    void buildStatusBar();
    void connectDocument();
    void connectWidgets();

    QAction* addItem(QMenu* menu, const QString& name, const QString& caption,
                     const QKeySequence& shortcut = {});
    // An item of `menu` that the menu does not list; its shortcut still works, under the
    // menu's enabling. (A QAction that is merely hidden is always disabled, which would
    // lose the enabled state that its key obeys.)
    QAction* addUnlistedItem(QMenu* menu, const QString& name, const QString& caption,
                             const QKeySequence& shortcut);
    QMenu* addMenu(const QString& buttonName, const QString& menuName, const QString& caption,
                   std::function<void()> onOpen);
    QMenu* addSubmenu(QMenu* parent, const QString& name, const QString& caption,
                      std::function<void()> onOpen = {});
    void addShortcut(QAction* action, const QKeySequence& key);
    QToolButton* addToolButton(QToolBar* bar, const QString& name, const QString& caption,
                               const QString& hint, const QIcon& icon);
    QToolButton* addHiddenButton(QToolBar* bar, const QString& name, bool checkable = false);

    void applyFlags();
    void updateViews(Document::View view);
    void updateFields(const Document::Fields& fields);
    void updateLoopChoice();
    void setCommentText(const QString& text);
    void setProgress(int percent);
    void paintProgressNow();
    void setPanelText(int panel, const QString& text);
    void showFramePicture(int k);
    void installAfterPaint();
    void frameListRebuilt();
    void documentClosed();
    void selectFrame(int k);

    void readSettings();
    void writeSettings();

    Platform m_platform;
    std::unique_ptr<Document> m_doc;
    std::unique_ptr<FrameEditor> m_editor;
    CommandFlags m_flags;
    // The disposal dialog, made once; the chooser in use (the dialog or a test's fake).
    DisposalChooser* m_dispo = nullptr;
    DisposalChooser* m_chooser = nullptr;
    // The effect settings dialog, made once so its settings last; the one in use.
    effects::EffectDialog* m_effectsDialog = nullptr;
    effects::EffectDialog* m_effectDialog = nullptr;
    // Shows the wizard made once at start-up, or a test's stand-in.
    std::function<void()> m_runWizard;
    std::function<void()> m_defaultWizard;

    // Menus: the menu row's buttons and the open handler of every menu and submenu.
    QToolBar* m_menuBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::map<QMenu*, std::function<void()>> m_openHandlers;
    std::vector<QToolButton*> m_menuButtons; // the menu row, left to right
    std::map<QAction*, QMenu*> m_unlistedOwners;

    QToolButton* m_saveButton = nullptr;
    QToolButton* m_playButton = nullptr;
    QToolButton* m_stopButton = nullptr;
    QToolButton* m_cutButton = nullptr;
    QToolButton* m_copyButton = nullptr;
    QToolButton* m_pasteButton = nullptr;
    QToolButton* m_quitButton = nullptr;
    std::array<QToolButton*, 3> m_stateButtons{}; // Loopsb, rateb, comb

    QWidget* m_previewPanel = nullptr; // Panel2
    NoticeBar* m_notices = nullptr;
    PreviewBox* m_box = nullptr;
    ThumbnailStrip* m_strip = nullptr;
    SidePanel* m_side = nullptr;
    QStatusBar* m_statusBar = nullptr;
    std::array<QLabel*, 5> m_panels{};
    QProgressBar* m_progress = nullptr;
    BalloonHint* m_balloon = nullptr;

    QElapsedTimer m_progressPainted;
    QTimer m_hintTimer;
    int m_hintCounter = 0;
    bool m_settingsRead = false;
    bool m_writingPeriod = false;
    bool m_reflecting = false; // the program is setting the loop or comment controls
    bool m_commentHeld = false; // the comment is too long for the box, which shows none
};

} // namespace vorlane
