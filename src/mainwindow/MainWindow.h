// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window `TMainform`: the menu row (a tool bar of menu buttons), the tool-button
// row, the preview area, the thumbnail strip, the side panel and the status bar. It owns
// the animation (model and history), its file workflows, the frame commands, the frame
// list with the one selection of frames, and the view state: which view is shown, the
// enabled fields, the command flags and the status texts. Its handlers are thin: they
// gather input, call a workflow or a command, and bring the views in line.

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include "document/AnimationModel.h"
#include "document/DocumentFiles.h"
#include "export/ExportSettings.h"
#include "mainwindow/Actions.h"
#include "mainwindow/CommandState.h"
#include "platform/Platform.h"

class QAction;
class QDialog;
class QItemSelectionModel;
class QLabel;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;
class QRadioButton;
class QShortcut;
class QSlider;
class QSpinBox;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace vorlane {

class BackgroundWork;
class BalloonHint;
class DisposalChooser;
class FrameCommands;
class FrameListModel;
class NoticeBar;
class PictureView;
class PreviewBox;
class RecentFiles;
class RecoveryWriter;
class SidePanel;
class ThumbnailStrip;
namespace effects {
class EffectDialog;
enum class Effect;
} // namespace effects
namespace tools {
class ToolDialog;
struct ToolRequest;
} // namespace tools
class TToolDialogs;

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
    // Offers the unsaved work that editors left behind; true when some was recovered
    // into the window (the welcome and how-to steps are skipped then).
    std::function<bool()> offerRecovery;
};

class TMainform : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString SettingsKey =
        QStringLiteral("Software\\Vorlane Gif\\Mainform Settings");
    static inline const QString LanguageCode = QStringLiteral("en");
    static inline const QString HintText = QStringLiteral("Click this button to add images");
    static inline const QString HelpHint = QStringLiteral("To get help, press F1");
    static constexpr int HintDelayMs = 1500;
    static constexpr int HintShownMs = 8000;

    // Which of the two views of the preview area is shown.
    enum class View { Frame, Animation, None };
    // Enabled states of the side panel's fields.
    struct Fields {
        bool loopChoices = false; // `infini` and `fini`
        bool numLoops = false;    // `NumLoops`
        bool period = false;      // `Period`
        bool comment = false;     // `Gifcomment`
        friend bool operator==(const Fields&, const Fields&) = default;
    };

    explicit TMainform(const Platform& platform, QWidget* parent = nullptr);
    ~TMainform() override;

    AnimationModel& animation() { return *m_animation; }
    DocumentFiles& files() { return *m_files; }
    FrameCommands& commands() { return *m_commands; }
    BackgroundWork& work() { return *m_work; }
    FrameListModel& frameList() { return *m_frameList; }
    QItemSelectionModel& selection() { return *m_selection; }
    RecentFiles& recentFiles() { return *m_recent; }

    // The disposal choice `methode` asks; the window's own dialog unless replaced (tests
    // answer through a fake). nullptr restores the dialog.
    void setDisposalChooser(DisposalChooser* chooser);
    // The effect settings dialog the effect commands show; the window's own unless
    // replaced (tests answer through a fake). nullptr restores the dialog.
    void setEffectDialog(effects::EffectDialog* dialog);
    // The dialogs of the Animation menu's tools that take values; the window's own
    // unless replaced (tests answer through a fake). nullptr restores the dialogs.
    void setToolDialog(tools::ToolDialog* dialog);
    // The new-animation wizard (File > "New animation Wizard...", the hidden
    // `ToolButton2`, the welcome dialog's choice): the dialogs layer puts it here.
    void ToolButton2Click();
    void setWizardRunner(std::function<void()> run);
    // How the Export dialog is shown: exec() unless replaced (tests act on its controls).
    void setExportRunner(std::function<void(QDialog&)> run);
    const CommandFlags& flags() const { return m_flags; }
    // The undo history's memory for pictures no longer in the animation, in MB; kept in
    // the settings ("Undo memory").
    int historyLimitMB() const;
    void setHistoryLimitMB(int megabytes);
    QAction* action(Act act) const { return m_actions[size_t(act)]; }

    // ---- recovery copies of unsaved work (document/Recovery.h) ----
    RecoveryWriter& recovery() { return *m_recovery; }
    // Where the copies go; none are written without a folder (tests leave it unset).
    void setRecoveryFolder(const QString& folder);
    // Seconds between copies, 0 for none; kept in the settings ("RecoverySeconds").
    int recoverySeconds() const { return m_recoverySeconds; }
    void setRecoverySeconds(int seconds);

    // ---- start-up (steps after the window is shown) ----
    // New, the command-line files, the welcome dialog's choice, the how-to dialog, then
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

    // ---- view state ----
    View view() const { return m_view; }
    bool frameViewShown() const { return m_view == View::Frame; }
    Fields fields() const { return m_fields; }
    // The current frame, -1 for none; the selected frames (the current one among them).
    int currentFrame() const;
    FrameSelection frameSelection() const;
    // Makes frame k current and the only one selected (-1: none).
    void selectFrame(int k);
    void setFrameSelection(const FrameSelection& selection);

    // ---- command state and status bar ----
    void check(ActionWord word);
    void EnableButtons();
    void status();
    void shapeit() { status(); }
    // The state the enabling rules read (all but the clipboard).
    WindowState currentState() const;
    // Panel 2: "Aucune image" without an image, else "<frames> image(s)", with the count
    // of selected frames when there are several.
    QString framesStatusText() const;
    // Panel 3: "" without an image, else "Animation <width>x<height>".
    QString sizeStatusText() const;

    // ---- thumbnail strip and selection ----
    void framesChange(int k);
    void DrawFramesOnTool();
    void ClearFramesOnTool();
    void ImageScrollChange(int p);
    // Picks slot i (1..4) / highlights it. With Ctrl the slot's frame joins or leaves the
    // selection; with Shift the selection runs from the current frame to it.
    void PClick(int slot, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
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
    void AnimationClick();

    // ---- side panel and view toggles ----
    void drawheads();
    void expandSection(int section);   // O1Click..O3Click (0..2)
    void collapseSection(int section); // C1Click..C3Click
    void toggleSection(int section);   // LoopsbClick, ratebClick, combClick
    void ToolsClick();
    void StateClick();
    void infiniClick();
    void finiClick();
    void NumLoopsChange(int value);
    void GifcommentChange(const QString& text);

    // ---- frame editing ----
    void Plus(bool insert); // Add ("add") or Insert ("ins") of picture files
    void DelClick();
    void DupClick();
    void arriereClick();
    void avantClick();
    void CopyItemClick();
    void CutItemClick();
    void PasteClick(bool insertVariant = false);
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
    void undoClick();
    void redoClick();

    // ---- Animation menu and zoom (AnimationMenu.cpp) ----
    // The tool of an Animation menu item: its dialog where it takes values, then the
    // tool on the worker as one step, on the whole animation or the selected frames.
    void runTool(Act act);
    // What the tool dialogs are shown for: the animation, the selection, and with
    // `picture` what the current frame (else the first) shows.
    tools::ToolRequest toolRequest(bool picture) const;
    // The preview's zoom: a factor (1 is 100 %) or PreviewBox::FitZoom.
    void setZoom(double zoom);
    // The zoom panel: "" without an image, else "400 %", or "Fit 37 %" while the zoom
    // fits the animation into the box.
    QString zoomStatusText() const;
    QLabel* zoomPanel() const { return m_zoomPanel; }

    // ---- drag and drop ----
    // Files or frames dropped in front of frame `index` of the strip.
    void stripDrop(const QMimeData* data, int index, bool copy);
    // Files dropped on the preview: added at the end, or opened (a GIF on an empty window,
    // or with Ctrl).
    void previewDrop(const QMimeData* data, bool open);
    // The data a drag of the selected frames carries: their rows for the strip, and PNG
    // files of them for a file manager.
    QMimeData* dragData();

    // ---- File menu commands ----
    void FileNewItemClick();
    void FileOpenClick();
    void recentClick(int slot); // M1Click..M4Click (1..4)
    void FileSaveClick();

    // Runs the menus that hold the action (top down) and triggers it when it and they
    // are enabled, as its shortcut does.
    bool triggerAsShortcut(QAction* action);
    // Opens the menu of the menu row's button `index` (0: File), as its access key does.
    void openMenu(int index);

    PreviewBox* box() const { return m_box; }
    ThumbnailStrip* strip() const { return m_strip; }
    SidePanel* sidePanel() const { return m_side; }
    NoticeBar* noticeBar() const { return m_notices; }
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
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    // The Animation menu, the View menu's zoom items and the zoom panel, with their
    // handlers (AnimationMenu.cpp).
    void buildAnimationMenu();
    void buildZoomItems(QMenu* view);
    void buildZoomPanel();
    void connectAnimationMenu();
    void updateZoomChecks();
    void buildToolRow();
    void buildCentre();
    void buildStatusBar();
    void connectAnimation();
    void connectWidgets();

    QAction* addItem(QMenu* menu, Act act);
    // An item of `menu` that the menu does not list; its shortcut still works, under the
    // menu's enabling. (A QAction that is merely hidden is always disabled, which would
    // lose the enabled state that its key obeys.)
    QAction* addUnlistedItem(QMenu* menu, Act act);
    QAction* makeAction(Act act);
    QMenu* addMenu(const QString& buttonName, const QString& menuName, const QString& caption,
                   std::function<void()> onOpen);
    QMenu* addSubmenu(QMenu* parent, const QString& name, const QString& caption,
                      std::function<void()> onOpen = {});
    void addShortcut(QAction* action, const QKeySequence& key);
    QToolButton* addToolButton(QToolBar* bar, const QString& name, const QString& caption,
                               const QString& hint, const QIcon& icon);
    QToolButton* addHiddenButton(QToolBar* bar, const QString& name, bool checkable = false);

    // ---- view state ----
    void setView(View view);
    void setFields(const Fields& fields);
    // Enables the side panel's fields by frame count (`CheckNil`).
    void CheckNil();
    void setStatusHint(const QString& text);
    void setLoadingTime(const QString& text);
    void progress(gif::Stage stage, int percent, gif::ProgressMessage message);
    void setProgress(int percent);
    void paintProgressNow();
    void setPanelText(int panel, const QString& text);

    void applyFlags();
    void updateViews();
    void updateFields();
    void updateLoopChoice();
    void setCommentText(const QString& text);
    void showFramePicture(int k);
    void showAnimation();
    // After frames came, went or moved: the strip's range and slots, the slider's range,
    // the player buttons, the fields and the status.
    void framesRebuilt();
    void selectionChanged();
    void fileOpened(const QStringList& notices, bool empty);
    void documentClosed();
    void pushLoop(const LoopSetting& loop, bool typing = false);
    // The frames of the step's selection after a command that made them current.
    void afterEdit();
    void extendSelection(int step, bool extend);
    void startFrameDrag();

    void readSettings();
    void writeSettings();

    // Long work runs there; while it runs, the commands that would change the animation
    // or its file are off, and Cancel (or Esc) stops it.
    void workBusyChanged(bool busy);
    bool conflictsWithWork(QMenu* topMenu) const;

    Platform m_platform;
    std::unique_ptr<BackgroundWork> m_work;
    std::unique_ptr<AnimationModel> m_animation;
    std::unique_ptr<RecentFiles> m_recent;
    std::unique_ptr<DocumentFiles> m_files;
    std::unique_ptr<FrameCommands> m_commands;
    std::unique_ptr<FrameListModel> m_frameList;
    std::unique_ptr<QItemSelectionModel> m_selection;
    std::unique_ptr<RecoveryWriter> m_recovery;
    int m_recoverySeconds = 60;
    CommandFlags m_flags;
    View m_view = View::Frame;
    Fields m_fields;
    QString m_statusHint = HelpHint;
    int m_progressPercent = -1;
    bool m_playing = false;

    // The disposal dialog, made once; the chooser in use (the dialog or a test's fake).
    DisposalChooser* m_dispo = nullptr;
    DisposalChooser* m_chooser = nullptr;
    // The effect settings dialog, made once so its settings last; the one in use.
    effects::EffectDialog* m_effectsDialog = nullptr;
    effects::EffectDialog* m_effectDialog = nullptr;
    std::function<void()> m_runWizard;
    // The tool dialogs, made once so their values last; the ones in use.
    std::unique_ptr<TToolDialogs> m_toolDialogs;
    tools::ToolDialog* m_toolDialog = nullptr;
    QLabel* m_zoomPanel = nullptr;
    std::function<void(QDialog&)> m_runExport;
    std::optional<exporting::ExportSettings> m_exportSettings; // of the last export

    // Menus: the menu row's buttons and the open handler of every menu and submenu.
    QToolBar* m_menuBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    std::array<QAction*, size_t(Act::Count)> m_actions{};
    std::map<QMenu*, std::function<void()>> m_openHandlers;
    std::map<QAction*, QMenu*> m_unlistedOwners;
    std::vector<QToolButton*> m_menuButtons; // the menu row, left to right
    QMenu* m_pasteMenu = nullptr;
    QMenu* m_moveMenu = nullptr;
    QMenu* m_separationMenu = nullptr;
    QAction* m_recentSeparator = nullptr;

    QToolButton* m_saveButton = nullptr;
    QToolButton* m_playButton = nullptr;
    QToolButton* m_stopButton = nullptr;
    QToolButton* m_undoButton = nullptr;
    QToolButton* m_redoButton = nullptr;
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
    QToolButton* m_cancelWork = nullptr;
    QShortcut* m_cancelKey = nullptr;
    bool m_closeWhenIdle = false; // a close came while work ran: it was cancelled
    BalloonHint* m_balloon = nullptr;

    QElapsedTimer m_progressPainted;
    QTimer m_hintTimer;
    int m_hintCounter = 0;
    bool m_settingsRead = false;
    bool m_writingPeriod = false;
    bool m_periodMixed = false; // the selected frames' delays differ: the field is empty
    bool m_reflecting = false;  // the program is setting the loop or comment controls
    bool m_commentHeld = false; // the comment is too long for the box, which shows none
    bool m_selecting = false;   // the window itself changes the selection
    int m_anchor = -1;          // where Shift and a click select from
};

} // namespace vorlane
