// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/MainWindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDrag>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

#include "codec/GifImage.h"
#include "document/BackgroundWork.h"
#include "document/EditSteps.h"
#include "document/FrameListModel.h"
#include "document/RecentFiles.h"
#include "document/Recovery.h"
#include "editing/FrameCommands.h"
#include "editing/widgets/DisposalBox.h"
#include "effects/EffectCommand.h"
#include "effects/widgets/AnimationEffects.h"
#include "export/AnimationFiles.h"
#include "export/widgets/ExportDialog.h"
#include "mainwindow/HeaderBar.h"
#include "mainwindow/Icons.h"
#include "mainwindow/NoticeBar.h"
#include "mainwindow/Preview.h"
#include "mainwindow/SidePanel.h"
#include "mainwindow/ThumbnailStrip.h"
#include "mainwindow/ViewMath.h"
#include "mainwindow/Widgets.h"
#include "platform/Clipboard.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"
#include "tools/widgets/ToolDialogs.h"

namespace vorlane {

namespace {
constexpr int DesignWidth = 817;
constexpr int DesignHeight = 658;
constexpr int PanelWidths[5] = {310, 160, 80, 125, 105};
// The longest comment the comment box shows; a longer one is kept but not shown.
constexpr qsizetype CommentBoxLimit = 256 * 1024;
// Lines longer than this are wrapped anywhere rather than at word boundaries.
constexpr qsizetype LongCommentLine = 2000;
// How long the status bar points at the notes on an opened file.
constexpr int NoticeMessageMs = 10000;
// Typing in the loop count folds into one step.
constexpr int LoopTypingId = 3;

QString key(const char* name) {
    return QLatin1String(name);
}

// The files a drop carries, in order.
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (!data) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}

// A GIF, an animated WebP or an APNG: what opens as an animation when dropped.
bool isAnimation(const QString& fileName) {
    return exporting::isAnimationFile(fileName);
}

// The last export's settings, kept for the next start.
const QString ExportKey = QStringLiteral("Software\\Vorlane Gif\\Export Settings");

std::optional<exporting::ExportSettings> readExportSettings(const SettingsStore* store) {
    if (!store || !store->contains(ExportKey, key("Format"))) return std::nullopt;
    using namespace exporting;
    auto number = [store](const char* name, int fallback, int low, int high) {
        return std::clamp(store->readInt(ExportKey, key(name), fallback), low, high);
    };
    ExportSettings s;
    s.format = Format(number("Format", 0, 0, 2));
    s.colors = number("Colors", MaxColors, MinColors, MaxColors);
    s.palette = PaletteMode(number("Palette", 0, 0, 1));
    s.dither = Dithering(number("Dither", 1, 0, 2));
    s.lossy = number("Lossy", 0, 0, MaxLossy);
    s.optimize = number("Optimize", 1, 0, 1) != 0;
    s.webpLossless = number("WebpLossless", 1, 0, 1) != 0;
    s.webpQuality = number("WebpQuality", 80, 0, 100);
    bool ok = false;
    const qulonglong maxBytes = store->readString(ExportKey, key("MaxBytes")).toULongLong(&ok);
    if (ok && maxBytes > 0) s.maxBytes = maxBytes;
    return s;
}

void writeExportSettings(SettingsStore* store, const exporting::ExportSettings& s) {
    if (!store) return;
    store->writeInt(ExportKey, key("Format"), int(s.format));
    store->writeInt(ExportKey, key("Colors"), s.colors);
    store->writeInt(ExportKey, key("Palette"), int(s.palette));
    store->writeInt(ExportKey, key("Dither"), int(s.dither));
    store->writeInt(ExportKey, key("Lossy"), s.lossy);
    store->writeInt(ExportKey, key("Optimize"), s.optimize ? 1 : 0);
    store->writeInt(ExportKey, key("WebpLossless"), s.webpLossless ? 1 : 0);
    store->writeInt(ExportKey, key("WebpQuality"), s.webpQuality);
    store->writeString(ExportKey, key("MaxBytes"),
                       s.maxBytes ? QString::number(qulonglong(*s.maxBytes)) : QString());
    store->sync();
}

// The settings a View menu check mark is kept under.
const Act KeptChecks[] = {Act::Toolbars, Act::SA,        Act::ShowFrames,
                          Act::ShowVis,  Act::StatusBar, Act::ShowLoop};
} // namespace

// ======================================================================================
// Construction (FormCreate)
// ======================================================================================

TMainform::TMainform(const Platform& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform),
      m_work(std::make_unique<BackgroundWork>(platform.threadedWork)),
      m_animation(std::make_unique<AnimationModel>()),
      m_recent(std::make_unique<RecentFiles>(platform.settings)),
      m_files(std::make_unique<DocumentFiles>(*m_animation, *m_recent, platform)),
      m_commands(std::make_unique<FrameCommands>(*m_animation, platform)),
      m_frameList(std::make_unique<FrameListModel>(*m_animation)),
      m_selection(std::make_unique<QItemSelectionModel>(m_frameList.get())) {
    icons::initResources();
    setObjectName(QStringLiteral("Mainform"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    setWindowTitle(DocumentFiles::AppTitle);

    buildMenus();
    buildToolRow();
    buildCentre();
    buildStatusBar();
    auto* dispo = new TDispo(this);
    m_dispo = dispo;
    m_chooser = dispo;
    auto* effectsDialog = new TEffects(this);
    m_effectsDialog = effectsDialog;
    m_effectDialog = effectsDialog;
    connectWidgets();
    connectAnimation();

    drawheads();
    applyFlags();
    EnableButtons();
    status();
    setPanelText(0, m_statusHint);

    m_hintTimer.setObjectName(QStringLiteral("Timer1"));
    m_hintTimer.setSingleShot(true);
    m_hintTimer.setInterval(HintDelayMs);
    connect(&m_hintTimer, &QTimer::timeout, this, &TMainform::Timer1Timer);
    m_balloon = new BalloonHint(this);
    m_balloon->setObjectName(QStringLiteral("bh"));

    // Recovery copies wait while the user does: long work, or a modal dialog open.
    m_recovery = std::make_unique<RecoveryWriter>(*m_animation, *m_files);
    m_recovery->setBusyCheck(
        [this] { return m_work->busy() || QApplication::activeModalWidget() != nullptr; });

    resize(DesignWidth, DesignHeight);
}

TMainform::~TMainform() {
    m_box->disconnect(this);
    // The animation's last signals (its history emptied as it goes) find no window.
    m_animation->undoStack().disconnect(this);
    m_animation->disconnect(this);
    m_files->disconnect(this);
    m_work->disconnect(this);
    // The views hold the image; they let go before the animation goes.
    m_box->animationView()->setImage(nullptr);
    m_selection.reset();
}

QAction* TMainform::makeAction(Act act) {
    const ActionInfo& info = actionInfo(act);
    auto* item = new QAction(QString::fromUtf8(info.caption), this);
    item->setObjectName(QLatin1String(info.objectName));
    m_actions[size_t(act)] = item;
    return item;
}

QAction* TMainform::addItem(QMenu* menu, Act act) {
    QAction* item = makeAction(act);
    menu->addAction(item);
    const ActionInfo& info = actionInfo(act);
    if (*info.shortcut) addShortcut(item, QKeySequence(QLatin1String(info.shortcut)));
    return item;
}

QAction* TMainform::addUnlistedItem(QMenu* menu, Act act) {
    QAction* item = makeAction(act);
    m_unlistedOwners[item] = menu;
    addShortcut(item, QKeySequence(QLatin1String(actionInfo(act).shortcut)));
    return item;
}

QMenu* TMainform::addMenu(const QString& buttonName, const QString& menuName,
                          const QString& caption, std::function<void()> onOpen) {
    auto* menu = new QMenu(caption, this);
    menu->setObjectName(menuName);
    menu->menuAction()->setObjectName(menuName + QStringLiteral("Action"));
    auto* button = new QToolButton(m_menuBar);
    button->setObjectName(buttonName);
    button->setText(caption);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    // A menu caption, not a drop-down button: no arrow.
    button->setStyleSheet(
        QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    m_menuBar->addWidget(button);
    m_menuButtons.push_back(button);
    // Left and Right in an open menu move to the neighbouring menu, as in a menu bar.
    menu->installEventFilter(this);
    m_openHandlers[menu] = std::move(onOpen);
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { m_openHandlers[menu](); });
    return menu;
}

QMenu* TMainform::addSubmenu(QMenu* parent, const QString& name, const QString& caption,
                             std::function<void()> onOpen) {
    QMenu* menu = parent->addMenu(caption);
    menu->setObjectName(name);
    menu->menuAction()->setObjectName(name);
    if (onOpen) {
        m_openHandlers[menu] = std::move(onOpen);
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { m_openHandlers[menu](); });
    }
    return menu;
}

void TMainform::addShortcut(QAction* item, const QKeySequence& key) {
    // The item shows its key; the key itself is handled by the window, which first runs
    // the open handlers of the menus holding the item, so that the key obeys the same
    // enabled states as the item, also when the menu never opened or the item is hidden.
    if (item->shortcut().isEmpty()) item->setShortcut(key);
    item->setShortcutContext(Qt::WidgetShortcut);
    auto* shortcut = new QShortcut(key, this);
    shortcut->setObjectName(item->objectName() + QStringLiteral("Key"));
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, item] { triggerAsShortcut(item); });
}

bool TMainform::triggerAsShortcut(QAction* item) {
    // The chain of menus that hold the item, from the top.
    std::vector<QMenu*> chain;
    QMenu* holder = nullptr;
    if (auto owner = m_unlistedOwners.find(item); owner != m_unlistedOwners.end())
        holder = owner->second;
    for (QObject* w : item->associatedObjects()) {
        if (auto* m = qobject_cast<QMenu*>(w)) {
            holder = m;
            break;
        }
    }
    for (QMenu* menu = holder; menu;) {
        chain.insert(chain.begin(), menu);
        QMenu* parentMenu = nullptr;
        for (QObject* w : menu->menuAction()->associatedObjects()) {
            if (auto* m = qobject_cast<QMenu*>(w)) {
                parentMenu = m;
                break;
            }
        }
        menu = parentMenu;
    }
    if (m_work->busy() && !chain.empty() && conflictsWithWork(chain.front())) return false;
    for (QMenu* menu : chain) {
        auto handler = m_openHandlers.find(menu);
        if (handler != m_openHandlers.end() && handler->second) handler->second();
        if (!menu->menuAction()->isEnabled()) return false;
    }
    if (!item->isEnabled()) return false;
    item->trigger();
    return true;
}

void TMainform::openMenu(int index) {
    if (index < 0 || index >= int(m_menuButtons.size())) return;
    QToolButton* button = m_menuButtons[size_t(index)];
    if (!button->isVisible() || !button->isEnabled() || !button->menu()) return;
    // Shown without a nested event loop of its own, under its button.
    button->menu()->popup(button->mapToGlobal(QPoint(0, button->height())));
    button->menu()->setActiveAction(button->menu()->actions().value(0));
}

void TMainform::buildMenus() {
    m_menuBar = new QToolBar(QStringLiteral("Menu"), this);
    m_menuBar->setObjectName(QStringLiteral("MenuToolBar"));
    m_menuBar->setMovable(false);
    m_menuBar->setFloatable(false);
    m_menuBar->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, m_menuBar);
    addToolBarBreak(Qt::TopToolBarArea);

    // F10 opens the first menu; Alt and the underlined letter opens any (the buttons'
    // captions carry their access keys).
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    menuKey->setObjectName(QStringLiteral("MenuKey"));
    connect(menuKey, &QShortcut::activated, this, [this] { openMenu(0); });

    // ---- File ----
    QMenu* file = addMenu(QStringLiteral("FileButton"), QStringLiteral("File1"),
                          QStringLiteral("&File"), [this] { File1Click(); });
    for (Act act : {Act::FileNew, Act::FileOpen, Act::Save, Act::SaveAs, Act::SaveOptimized,
                    Act::Export, Act::Revert})
        addItem(file, act);
    file->addSeparator();
    for (Act act : {Act::AddImageFile, Act::InsertImageFile, Act::SaveImage})
        addItem(file, act);
    file->addSeparator();
    addItem(file, Act::Wizard);
    file->addSeparator();
    for (Act act : {Act::Recent1, Act::Recent2, Act::Recent3, Act::Recent4})
        addItem(file, act)->setVisible(false);
    m_recentSeparator = file->addSeparator();
    m_recentSeparator->setObjectName(QStringLiteral("N4"));
    m_recentSeparator->setVisible(false);
    addItem(file, Act::Quit);

    // ---- Edit ----
    QMenu* edit = addMenu(QStringLiteral("EditButton"), QStringLiteral("Edit1"),
                          QStringLiteral("&Edit"), [this] { Edit1Click(); });
    addItem(edit, Act::Undo);
    // Ctrl+Y is the other desktop convention for Redo.
    addShortcut(addItem(edit, Act::Redo), QKeySequence(QStringLiteral("Ctrl+Y")));
    edit->addSeparator();
    addUnlistedItem(edit, Act::Cut);
    addItem(edit, Act::Copy);
    m_pasteMenu = addSubmenu(edit, QStringLiteral("Paste"), QStringLiteral("Past"));
    addItem(m_pasteMenu, Act::PasteInsert);
    addItem(m_pasteMenu, Act::PasteAdd);
    addItem(edit, Act::Remove);
    edit->addSeparator();
    addItem(edit, Act::SelectAll);

    // ---- View ----
    QMenu* view = addMenu(QStringLiteral("ViewButton"), QStringLiteral("Voir1"),
                          QStringLiteral("&View"), [this] { Voir1Click(); });
    for (Act act :
         {Act::Toolbars, Act::StatusBar, Act::ShowLoop, Act::ShowRate, Act::ShowComment}) {
        QAction* item = addItem(view, act);
        item->setCheckable(true);
        item->setChecked(true);
        if (act == Act::StatusBar) view->addSeparator();
    }
    // Listed in the menu's definition but never shown; they change nothing.
    for (Act act : {Act::ShowFrames, Act::ShowVis, Act::ShowHelp, Act::SA}) {
        QAction* item = addItem(view, act);
        item->setCheckable(true);
        item->setVisible(false);
    }
    view->addSeparator();
    buildZoomItems(view);
    view->addSeparator();
    addItem(view, Act::Options);

    // ---- Image ----
    QMenu* image = addMenu(QStringLiteral("ImageButton"), QStringLiteral("Imagesdelanimations1"),
                           QStringLiteral("&Image"), [this] { Imagesdelanimations1Click(); });
    addItem(image, Act::ImageAdd);
    addItem(image, Act::ImageInsert);
    addItem(image, Act::ImageRemove);
    m_moveMenu = addSubmenu(image, QStringLiteral("moveitem"), QStringLiteral("Move"),
                            [this] { moveitemClick(); });
    addItem(m_moveMenu, Act::Backward);
    addItem(m_moveMenu, Act::Forward);
    addItem(image, Act::Disposal);
    addItem(image, Act::Duplicate);

    // ---- Animation ----
    buildAnimationMenu();

    // ---- Control ----
    QMenu* control = addMenu(QStringLiteral("ControlButton"), QStringLiteral("Afficher1"),
                             QStringLiteral("&Control"), [this] { Afficher1Click(); });
    for (Act act : {Act::Play, Act::Stop, Act::Next, Act::Back})
        addItem(control, act);

    // ---- Effects ----
    QMenu* effects = addMenu(QStringLiteral("EffectsButton"), QStringLiteral("Effets"),
                             QStringLiteral("Effec&ts"), [this] { EffetsClick(); });
    for (Act act : {Act::Scroll, Act::Replacement, Act::Wipe, Act::Fade})
        addItem(effects, act);
    m_separationMenu = addSubmenu(effects, QStringLiteral("sep"), QStringLiteral("&Separation"));
    addItem(m_separationMenu, Act::SeparationV);
    addItem(m_separationMenu, Act::SeparationH);

    // ---- Help ----
    QMenu* help = addMenu(QStringLiteral("HelpButton"), QStringLiteral("Help1"),
                          QStringLiteral("&Help"), [] {});
    // "Help topics" opens the help window, which exists in every language: listed always.
    addItem(help, Act::HelpTopics);
    addItem(help, Act::HowTo);
    help->addSeparator();
    addItem(help, Act::HomePage);
    QMenu* contact =
        addSubmenu(help, QStringLiteral("Contacterlauteur1"), QStringLiteral("Contact"));
    addItem(contact, Act::Mail);
    help->addSeparator();
    addItem(help, Act::About);
}

QToolButton* TMainform::addToolButton(QToolBar* bar, const QString& name, const QString& caption,
                                      const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setIcon(icon);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}

QToolButton* TMainform::addHiddenButton(QToolBar* bar, const QString& name, bool checkable) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setCheckable(checkable);
    QAction* holder = bar->addWidget(button);
    holder->setVisible(false);
    return button;
}

void TMainform::buildToolRow() {
    m_toolBar = new QToolBar(QStringLiteral("Tools"), this);
    m_toolBar->setObjectName(QStringLiteral("ToolBar1"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->toggleViewAction()->setVisible(false);
    m_toolBar->setIconSize(QSize(24, 24));
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    auto* newButton = addToolButton(
        m_toolBar, QStringLiteral("tbNew"), QStringLiteral("New"), QStringLiteral("New"),
        icons::themed(QStringLiteral("document-new"), QStringLiteral("new")));
    auto* openButton = addToolButton(
        m_toolBar, QStringLiteral("ToolButton1"), QStringLiteral("Open"), QStringLiteral("Open"),
        icons::themed(QStringLiteral("document-open"), QStringLiteral("open")));
    m_saveButton =
        addToolButton(m_toolBar, QStringLiteral("save"), QStringLiteral("Save"),
                      QStringLiteral("Save current file"),
                      icons::themed(QStringLiteral("document-save"), QStringLiteral("save")));
    m_toolBar->addSeparator();
    m_undoButton = addToolButton(
        m_toolBar, QStringLiteral("undo"), QStringLiteral("Undo"), QStringLiteral("Undo"),
        icons::themed(QStringLiteral("edit-undo"), QStringLiteral("undo")));
    m_redoButton = addToolButton(
        m_toolBar, QStringLiteral("redo"), QStringLiteral("Redo"), QStringLiteral("Redo"),
        icons::themed(QStringLiteral("edit-redo"), QStringLiteral("redo")));
    m_toolBar->addSeparator();
    m_playButton = addToolButton(
        m_toolBar, QStringLiteral("play"), QStringLiteral("Play"), QStringLiteral("Play animation"),
        icons::themed(QStringLiteral("media-playback-start"), QStringLiteral("play")));
    m_stopButton = addToolButton(
        m_toolBar, QStringLiteral("stop"), QStringLiteral("Stop"), QStringLiteral("Stop animation"),
        icons::themed(QStringLiteral("media-playback-stop"), QStringLiteral("stop")));
    // Homes of command flags and section states; never shown.
    m_quitButton = addHiddenButton(m_toolBar, QStringLiteral("ToolButton4"));
    m_cutButton = addHiddenButton(m_toolBar, QStringLiteral("cut"));
    m_copyButton = addHiddenButton(m_toolBar, QStringLiteral("copy"));
    m_pasteButton = addHiddenButton(m_toolBar, QStringLiteral("past"));
    // The wizard's button is kept hidden; File > "New animation Wizard..." runs the same.
    auto* wizardButton = addHiddenButton(m_toolBar, QStringLiteral("ToolButton2"));
    wizardButton->setToolTip(QStringLiteral("New animation wizard"));
    connect(wizardButton, &QToolButton::clicked, this, &TMainform::ToolButton2Click);
    m_stateButtons[0] = addHiddenButton(m_toolBar, QStringLiteral("Loopsb"), true);
    m_stateButtons[1] = addHiddenButton(m_toolBar, QStringLiteral("rateb"), true);
    m_stateButtons[2] = addHiddenButton(m_toolBar, QStringLiteral("comb"), true);
    for (QToolButton* b : m_stateButtons)
        b->setChecked(true);

    connect(newButton, &QToolButton::clicked, this, &TMainform::FileNewItemClick);
    connect(openButton, &QToolButton::clicked, this, &TMainform::FileOpenClick);
    connect(m_saveButton, &QToolButton::clicked, this, &TMainform::FileSaveClick);
    connect(m_undoButton, &QToolButton::clicked, this, &TMainform::undoClick);
    connect(m_redoButton, &QToolButton::clicked, this, &TMainform::redoClick);
    connect(m_playButton, &QToolButton::clicked, this, &TMainform::playClick);
    connect(m_stopButton, &QToolButton::clicked, this, &TMainform::stopClick);
    connect(m_quitButton, &QToolButton::clicked, this, &QWidget::close);
}

void TMainform::buildCentre() {
    auto* centre = new QWidget(this);
    centre->setObjectName(QStringLiteral("Centre"));
    auto* columns = new QHBoxLayout(centre);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    auto* left = new QWidget(centre);
    auto* rows = new QVBoxLayout(left);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    m_previewPanel = new QWidget(left);
    m_previewPanel->setObjectName(QStringLiteral("Panel2"));
    m_previewPanel->setFocusPolicy(Qt::StrongFocus);
    auto* previewLayout = new QVBoxLayout(m_previewPanel);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->setSpacing(0);
    m_notices = new NoticeBar(m_previewPanel);
    previewLayout->addWidget(m_notices);
    m_box = new PreviewBox(m_previewPanel);
    previewLayout->addWidget(m_box);
    m_strip = new ThumbnailStrip(left);
    rows->addWidget(m_previewPanel, 1);
    rows->addWidget(m_strip, 0);
    columns->addWidget(left, 1);

    m_side = new SidePanel;
    auto* sideScroll = new QScrollArea(centre);
    sideScroll->setObjectName(QStringLiteral("SideScroll"));
    sideScroll->setWidget(m_side);
    sideScroll->setWidgetResizable(true);
    sideScroll->setFrameShape(QFrame::NoFrame);
    sideScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sideScroll->setFixedWidth(m_side->minimumWidth() +
                              sideScroll->verticalScrollBar()->sizeHint().width());
    columns->addWidget(sideScroll, 0);
    setCentralWidget(centre);
}

void TMainform::buildStatusBar() {
    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->setSizeGripEnabled(true);
    setStatusBar(m_statusBar);
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(m_statusBar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        if (i == 0) {
            // The hint panel takes the room the others leave.
            panel->setMinimumWidth(120);
            m_statusBar->addWidget(panel, 1);
        } else {
            panel->setMinimumWidth(PanelWidths[i]);
            panel->setFrameShape(QFrame::StyledPanel);
            panel->setFrameShadow(QFrame::Sunken);
            m_statusBar->addPermanentWidget(panel);
        }
        m_panels[size_t(i)] = panel;
    }
    // The progress bar of long work lies in panel 1.
    m_progress = new QProgressBar(m_panels[1]);
    m_progress->setObjectName(QStringLiteral("ProgressBar"));
    m_progress->setRange(0, 100);
    m_progress->setTextVisible(false);
    m_progress->setGeometry(3, 1, 153, 17);
    m_progress->hide();
    // Beside it while long work runs: Cancel, as Esc does.
    m_cancelWork = new QToolButton(m_statusBar);
    m_cancelWork->setObjectName(QStringLiteral("CancelWork"));
    m_cancelWork->setText(QStringLiteral("Cancel"));
    m_cancelWork->setToolTip(QStringLiteral("Stop this work (Esc); nothing changes"));
    m_cancelWork->setAutoRaise(true);
    m_statusBar->insertPermanentWidget(1, m_cancelWork);
    m_cancelWork->hide();
    m_cancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_cancelKey->setObjectName(QStringLiteral("CancelWorkKey"));
    m_cancelKey->setContext(Qt::WindowShortcut);
    m_cancelKey->setEnabled(false);
    connect(m_cancelWork, &QToolButton::clicked, m_work.get(), &BackgroundWork::cancel);
    connect(m_cancelKey, &QShortcut::activated, m_work.get(), &BackgroundWork::cancel);
    connect(m_work.get(), &BackgroundWork::busyChanged, this, &TMainform::workBusyChanged);
    m_files->setWork(m_work.get());
    m_commands->setWork(m_work.get());
    buildZoomPanel();
}

bool TMainform::conflictsWithWork(QMenu* topMenu) const {
    // Reading the window goes on: the View, Control and Help menus stay; every other
    // menu changes the animation or its file.
    static const QStringList reading = {QStringLiteral("Voir1"), QStringLiteral("Afficher1"),
                                        QStringLiteral("Help1")};
    return topMenu && !reading.contains(topMenu->objectName());
}

void TMainform::workBusyChanged(bool busy) {
    m_cancelWork->setVisible(busy);
    m_cancelKey->setEnabled(busy);
    for (QToolButton* button : m_menuButtons)
        if (conflictsWithWork(button->menu())) button->setEnabled(!busy);
    applyFlags();
    updateFields();
    if (!busy && m_closeWhenIdle) {
        m_closeWhenIdle = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

// ======================================================================================
// Wiring
// ======================================================================================

void TMainform::connectWidgets() {
    auto on = [this](Act act, auto handler) {
        connect(action(act), &QAction::triggered, this, handler);
    };
    on(Act::FileNew, &TMainform::FileNewItemClick);
    on(Act::FileOpen, &TMainform::FileOpenClick);
    on(Act::Save, &TMainform::FileSaveClick);
    on(Act::SaveAs, [this] { m_files->saveAs(); });
    on(Act::SaveOptimized, [this] { m_files->saveOptimizedAs(); });
    on(Act::Export, [this] {
        if (m_animation->frameCount() == 0) return;
        // A snapshot: the dialog exports it and never touches the animation.
        ExportDialog dialog(m_animation->imageForSaving(m_animation->comment()), currentFrame(),
                            m_files->hasFile() ? m_files->path() : m_animation->name(), m_platform,
                            m_work.get(), this);
        // Opens as the last export was made, in this session or before.
        if (!m_exportSettings) m_exportSettings = readExportSettings(m_platform.settings);
        if (m_exportSettings) dialog.setSettings(*m_exportSettings);
        if (m_runExport)
            m_runExport(dialog);
        else
            dialog.exec();
        if (dialog.result() == QDialog::Accepted) {
            m_exportSettings = dialog.settings();
            writeExportSettings(m_platform.settings, *m_exportSettings);
        }
    });
    on(Act::Revert, [this] {
        stopClick();
        m_files->revert();
    });
    on(Act::SaveImage, [this] { m_files->saveFrameAsBitmap(currentFrame()); });
    on(Act::Recent1, [this] { recentClick(1); });
    on(Act::Recent2, [this] { recentClick(2); });
    on(Act::Recent3, [this] { recentClick(3); });
    on(Act::Recent4, [this] { recentClick(4); });
    on(Act::Quit, [this] { close(); });

    on(Act::Undo, &TMainform::undoClick);
    on(Act::Redo, &TMainform::redoClick);
    on(Act::SelectAll, [this] {
        FrameSelection all;
        all.current =
            currentFrame() >= 0 ? currentFrame() : (m_animation->frameCount() > 0 ? 0 : -1);
        for (int i = 0; i < m_animation->frameCount(); ++i)
            all.rows.push_back(i);
        setFrameSelection(all);
    });

    on(Act::Toolbars, &TMainform::ToolsClick);
    on(Act::StatusBar, &TMainform::StateClick);
    on(Act::ShowLoop, [this] { toggleSection(SidePanel::Loop); });
    on(Act::ShowRate, [this] { toggleSection(SidePanel::Rate); });
    on(Act::ShowComment, [this] { toggleSection(SidePanel::Comments); });

    on(Act::Play, &TMainform::playClick);
    on(Act::Stop, &TMainform::stopClick);
    on(Act::Next, &TMainform::nextClick);
    on(Act::Back, &TMainform::backClick);

    connect(m_side->playBtn(), &QToolButton::clicked, this, &TMainform::playClick);
    connect(m_side->stopBtn(), &QToolButton::clicked, this, &TMainform::stopClick);
    connect(m_side->rewindBtn(), &QToolButton::clicked, this, &TMainform::RewindbtnClick);
    connect(m_side->backBtn(), &QToolButton::clicked, this, &TMainform::backClick);
    connect(m_side->nextBtn(), &QToolButton::clicked, this, &TMainform::nextClick);
    connect(m_side->forwardBtn(), &QToolButton::clicked, this, &TMainform::ForwardbtnClick);

    for (int i = 0; i < 3; ++i) {
        HeaderBar* header = m_side->section(SidePanel::SectionId(i))->header();
        connect(header, &HeaderBar::clicked, this, [this, i] { toggleSection(i); });
        connect(header, &HeaderBar::collapseClicked, this, [this, i] { collapseSection(i); });
        connect(header, &HeaderBar::expandClicked, this, [this, i] { expandSection(i); });
        connect(m_stateButtons[size_t(i)], &QToolButton::clicked, this,
                [this, i] { toggleSection(i); });
    }

    connect(m_strip, &ThumbnailStrip::slotClicked, this, &TMainform::PClick);
    connect(m_strip->gauge(), &QScrollBar::valueChanged, this, &TMainform::ImageScrollChange);
    connect(m_strip, &ThumbnailStrip::navigateRequested, this, &TMainform::extendSelection);
    connect(m_strip, &ThumbnailStrip::selectAllRequested, this,
            [this] { action(Act::SelectAll)->trigger(); });
    connect(m_strip, &ThumbnailStrip::reduceRequested, this, [this] {
        if (currentFrame() >= 0)
            setFrameSelection(FrameSelection{currentFrame(), {currentFrame()}});
    });
    connect(m_strip, &ThumbnailStrip::dragRequested, this, [this](int slot) {
        // A drag from a frame outside the selection drags that frame alone.
        const int frame = m_strip->position() + slot - 1;
        if (!m_selection->isRowSelected(frame)) selectFrame(frame);
        startFrameDrag();
    });
    connect(m_strip, &ThumbnailStrip::dropped, this, &TMainform::stripDrop);
    connect(m_box, &PreviewBox::dropped, this, &TMainform::previewDrop);

    connect(m_side->infini(), &QRadioButton::clicked, this, [this] {
        if (!m_reflecting) infiniClick();
    });
    connect(m_side->fini(), &QRadioButton::clicked, this, [this] {
        if (!m_reflecting) finiClick();
    });
    connect(m_side->numLoops(), &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_reflecting) NumLoopsChange(value);
    });
    connect(m_side->comment(), &QPlainTextEdit::textChanged, this, [this] {
        if (m_reflecting) return;
        const QString text = m_side->comment()->toPlainText();
        // A comment too long for the box is kept until the user types a new one.
        if (m_commentHeld) {
            if (text.isEmpty()) return;
            m_commentHeld = false;
            m_side->comment()->setPlaceholderText(QString());
        }
        GifcommentChange(text);
    });

    // ---- frame editing ----
    on(Act::ImageAdd, [this] { Plus(false); });
    on(Act::AddImageFile, [this] { Plus(false); });
    connect(m_strip->addButton(), &QToolButton::clicked, this, [this] { Plus(false); });
    on(Act::ImageInsert, [this] { Plus(true); });
    on(Act::InsertImageFile, [this] { Plus(true); });
    on(Act::ImageRemove, &TMainform::DelClick);
    on(Act::Remove, &TMainform::DelClick);
    connect(m_strip->removeButton(), &QToolButton::clicked, this, &TMainform::DelClick);
    on(Act::Duplicate, &TMainform::DupClick);
    on(Act::Backward, &TMainform::arriereClick);
    on(Act::Forward, &TMainform::avantClick);
    on(Act::Copy, &TMainform::CopyItemClick);
    on(Act::Cut, &TMainform::CutItemClick);
    on(Act::PasteInsert, [this] { PasteClick(true); });
    on(Act::PasteAdd, [this] { PasteClick(false); });
    on(Act::Disposal, &TMainform::methodeClick);

    on(Act::Wizard, &TMainform::ToolButton2Click);

    // ---- effects ----
    const auto effect = [this](effects::Effect e) { return [this, e] { runEffect(e); }; };
    on(Act::Scroll, effect(effects::Effect::Scroll));
    on(Act::Replacement, effect(effects::Effect::Replacement));
    on(Act::Wipe, effect(effects::Effect::Wipe));
    on(Act::Fade, effect(effects::Effect::Fade));
    on(Act::SeparationV, effect(effects::Effect::SeparationV));
    on(Act::SeparationH, effect(effects::Effect::SeparationH));
    connectAnimationMenu();
    connect(m_side->period(), &QSpinBox::valueChanged, this, &TMainform::PeriodChange);
    // The field refuses text beyond its range as it is typed; only an emptied field can
    // be left holding no number, and that is checked once, when the user leaves it.
    m_side->period()->installEventFilter(this);
    m_side->numLoops()->installEventFilter(this);
    m_side->comment()->installEventFilter(this);
    m_box->frameView()->setMouseTracking(true);
    m_box->frameView()->installEventFilter(this);
    m_box->animationView()->setAfterPaint([this] { After(); });
}

void TMainform::connectAnimation() {
    AnimationModel* a = m_animation.get();
    connect(a, &AnimationModel::reset, this, [this] {
        framesRebuilt();
        CheckNil();
        updateLoopChoice();
        setCommentText(m_animation->comment());
    });
    connect(a, &AnimationModel::framesInserted, this, &TMainform::framesRebuilt);
    connect(a, &AnimationModel::framesRemoved, this, &TMainform::framesRebuilt);
    connect(a, &AnimationModel::framesMoved, this, &TMainform::framesRebuilt);
    connect(a, &AnimationModel::imagePresenceChanged, this, [this] {
        framesRebuilt();
        if (!m_animation->hasImage()) m_box->frameView()->clearPicture();
    });
    connect(a, &AnimationModel::screenChanged, this, [this] {
        doscroll();
        status();
    });
    connect(a, &AnimationModel::framesChanged, this, [this](int first, int last) {
        DrawFramesOnTool();
        const int k = currentFrame();
        if (k >= first && k <= last && frameViewShown()) {
            showFramePicture(k);
            if (!m_side->period()->hasFocus()) framesChange(k);
        }
    });
    connect(a, &AnimationModel::loopChanged, this, [this] {
        updateLoopChoice();
        CheckNil();
    });
    connect(a, &AnimationModel::commentChanged, this,
            [this] { setCommentText(m_animation->comment()); });
    connect(a, &AnimationModel::modifiedChanged, this, [this] { applyFlags(); });
    connect(a, &AnimationModel::selectionRestored, this, &TMainform::setFrameSelection);
    connect(&a->undoStack(), &QUndoStack::undoTextChanged, this, [this](const QString& text) {
        action(Act::Undo)->setText(text.isEmpty() ? QStringLiteral("Undo")
                                                  : QStringLiteral("Undo ") + text);
        m_undoButton->setToolTip(action(Act::Undo)->text());
    });
    connect(&a->undoStack(), &QUndoStack::redoTextChanged, this, [this](const QString& text) {
        action(Act::Redo)->setText(text.isEmpty() ? QStringLiteral("Redo")
                                                  : QStringLiteral("Redo ") + text);
        m_redoButton->setToolTip(action(Act::Redo)->text());
    });
    connect(&a->undoStack(), &QUndoStack::canUndoChanged, this, [this] { applyFlags(); });
    connect(&a->undoStack(), &QUndoStack::canRedoChanged, this, [this] { applyFlags(); });

    connect(m_selection.get(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                // Only a selection the window makes runs the selection routine; the
                // selection model's own moves while frames come and go do not.
                if (m_selecting) framesChange(current.row());
            });
    connect(m_selection.get(), &QItemSelectionModel::selectionChanged, this,
            &TMainform::selectionChanged);

    DocumentFiles* files = m_files.get();
    connect(files, &DocumentFiles::titleChanged, this, &QWidget::setWindowTitle);
    connect(files, &DocumentFiles::opening, this, [this] {
        m_playing = false;
        m_box->animationView()->setSwitch(false);
        setView(View::None);
    });
    connect(files, &DocumentFiles::openFailed, this, [this] {
        // The animation is as it was: so is its view.
        setView(View::Frame);
        setProgress(-1);
        setStatusHint(HelpHint);
        if (currentFrame() >= 0) framesChange(currentFrame());
    });
    connect(files, &DocumentFiles::opened, this, &TMainform::fileOpened);
    connect(files, &DocumentFiles::cleared, this, &TMainform::documentClosed);
    connect(files, &DocumentFiles::loadingTimeChanged, this, &TMainform::setLoadingTime);
    connect(files, &DocumentFiles::progress, this, &TMainform::progress);
    m_commands->onProgress = [this](gif::Stage stage, int percent, gif::ProgressMessage message) {
        progress(stage, percent, message);
    };

    updateViews();
    updateFields();
    updateLoopChoice();
    setWindowTitle(m_files->title());
}

// ======================================================================================
// Start-up, hint, services
// ======================================================================================

void TMainform::startUp(const QStringList& arguments, const StartupDialogs& dialogs) {
    FileNewItemClick();
    const bool fileNamed = !arguments.isEmpty();
    if (fileNamed) openCommandLineFiles(arguments);
    // Unsaved work left behind is offered when no file was named (copies not recovered
    // now stay for a later start); the work recovered is what the user sees then.
    const bool recovered = !fileNamed && dialogs.offerRecovery && dialogs.offerRecovery();
    // A file named on the command line is what the user asked to see: the welcome step,
    // whose answers all replace the document, is skipped then.
    if (!fileNamed && !recovered) {
        const bool suppressed = dialogs.welcomeSuppressed && dialogs.welcomeSuppressed();
        if (!suppressed && dialogs.showWelcome) {
            if (const std::optional<WelcomeChoice> choice = dialogs.showWelcome()) {
                switch (choice->kind) {
                case WelcomeChoice::Kind::OpenExisting:
                    if (choice->row <= 0)
                        FileOpenClick();
                    else if (choice->row <= 4)
                        recentClick(choice->row);
                    break;
                case WelcomeChoice::Kind::Wizard:
                    if (dialogs.runWizard) dialogs.runWizard();
                    break;
                case WelcomeChoice::Kind::NewAnimation:
                    FileNewItemClick();
                    break;
                }
            }
        } else if (suppressed) {
            FileNewItemClick();
        }
    }
    if (!recovered && dialogs.showHowToIfDue) dialogs.showHowToIfDue();
    // Back to the window once the start-up dialogs are gone, also where no window
    // manager hands the focus back.
    activateWindow();
    startHintTimer();
}

void TMainform::startHintTimer() {
    m_hintTimer.start();
}

void TMainform::Timer1Timer() {
    m_hintTimer.stop();
    if (!isActiveWindow()) return;
    if (m_hintCounter <= 2) m_balloon->showAt(m_strip->addButton(), HintText, HintShownMs);
    ++m_hintCounter;
}

QString TMainform::Basepath() {
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

void TMainform::Exec(const QString& target) {
    if (m_platform.shell) m_platform.shell->open(target);
}

// ======================================================================================
// View state
// ======================================================================================

void TMainform::setView(View view) {
    if (m_view == view) return;
    m_view = view;
    updateViews();
    applyFlags();
}

void TMainform::updateViews() {
    m_box->frameView()->setVisible(m_view == View::Frame);
    m_box->animationView()->setVisible(m_view == View::Animation);
}

void TMainform::setFields(const Fields& fields) {
    if (m_fields == fields) return;
    m_fields = fields;
    updateFields();
}

void TMainform::CheckNil() {
    const bool any = m_animation->frameCount() > 0;
    setFields({any, any && !m_animation->loop().infinite, any, any});
}

void TMainform::setStatusHint(const QString& text) {
    if (m_statusHint == text) return;
    m_statusHint = text;
    setPanelText(0, text);
}

void TMainform::setLoadingTime(const QString& text) {
    setPanelText(4, text);
}

void TMainform::progress(gif::Stage stage, int percent, gif::ProgressMessage message) {
    if (stage == gif::Stage::Ending) {
        setProgress(-1);
        setStatusHint(HelpHint);
        return;
    }
    setStatusHint(DocumentFiles::progressText(message));
    setProgress(std::clamp(percent, 0, 100));
}

int TMainform::currentFrame() const {
    const QModelIndex current = m_selection->currentIndex();
    return current.isValid() && current.row() < m_animation->frameCount() ? current.row() : -1;
}

FrameSelection TMainform::frameSelection() const {
    FrameSelection s;
    s.current = currentFrame();
    for (const QModelIndex& index : m_selection->selectedRows())
        if (index.row() < m_animation->frameCount()) s.rows.push_back(index.row());
    std::sort(s.rows.begin(), s.rows.end());
    if (s.rows.empty() && s.current >= 0) s.rows.push_back(s.current);
    return s;
}

void TMainform::selectFrame(int k) {
    if (k < -1 || k >= m_animation->frameCount()) return;
    const bool changed = k != currentFrame();
    const bool wasSelecting = m_selecting;
    m_selecting = false;
    if (k < 0)
        m_selection->clear();
    else
        m_selection->setCurrentIndex(m_frameList->index(k), QItemSelectionModel::ClearAndSelect);
    m_selecting = wasSelecting;
    // Like a list, selecting the entry that is already current raises no change.
    if (changed && k >= 0) framesChange(k);
}

void TMainform::setFrameSelection(const FrameSelection& selection) {
    const int n = m_animation->frameCount();
    const bool wasSelecting = m_selecting;
    m_selecting = false;
    QItemSelection rows;
    for (const int r : selection.rows)
        if (r >= 0 && r < n) rows.select(m_frameList->index(r), m_frameList->index(r));
    if (selection.current >= 0 && selection.current < n)
        m_selection->setCurrentIndex(m_frameList->index(selection.current),
                                     QItemSelectionModel::NoUpdate);
    else
        m_selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    m_selection->select(rows, QItemSelectionModel::ClearAndSelect);
    m_selecting = wasSelecting;
    if (n == 0) {
        // Nothing left to show or play.
        m_box->frameView()->clearPicture();
        check(ActionWord::Alsup);
    }
    if (selection.current >= 0 && selection.current < n) framesChange(selection.current);
    selectionChanged();
    EnableButtons();
    status();
}

// ======================================================================================
// Command state and status bar
// ======================================================================================

WindowState TMainform::currentState() const {
    WindowState s;
    s.frameViewShown = frameViewShown();
    s.entries = m_animation->frameCount();
    s.current = currentFrame();
    s.hasImage = m_animation->hasImage();
    s.hasFile = m_files->hasFile();
    s.modified = m_animation->isModified();
    s.selected = int(frameSelection().rows.size());
    s.canUndo = m_animation->undoStack().canUndo();
    s.canRedo = m_animation->undoStack().canRedo();
    return s;
}

void TMainform::check(ActionWord word) {
    m_flags.check(word, frameViewShown());
    applyFlags();
    // The speed bar's Play and Stop follow the same flags as the tool row's.
    EnableButtons();
}

void TMainform::applyFlags() {
    // While long work runs, nothing that changes the animation or its file.
    const bool idle = !m_work->busy();
    m_saveButton->setEnabled(idle && m_animation->isModified());
    m_cutButton->setEnabled(idle && m_flags.cut);
    m_copyButton->setEnabled(m_flags.copy);
    m_pasteButton->setEnabled(idle && m_flags.paste);
    m_strip->removeButton()->setEnabled(idle && m_flags.remove);
    m_playButton->setEnabled(m_flags.play);
    m_stopButton->setEnabled(m_flags.stop);
    m_strip->addButton()->setEnabled(idle && m_flags.add);
    const EditMenuState edit = editMenuState(m_flags, currentState());
    m_undoButton->setEnabled(idle && edit.undo);
    m_redoButton->setEnabled(idle && edit.redo);
    for (const char* name : {"tbNew", "ToolButton1", "ToolButton2"})
        if (auto* button = m_toolBar->findChild<QToolButton*>(QLatin1String(name)))
            button->setEnabled(idle);
}

void TMainform::EnableButtons() {
    const SpeedBarState s = speedBarState(m_flags, currentState());
    m_side->playBtn()->setEnabled(s.play);
    m_side->stopBtn()->setEnabled(s.stop);
    m_side->rewindBtn()->setEnabled(s.rewind);
    m_side->backBtn()->setEnabled(s.back);
    m_side->nextBtn()->setEnabled(s.next);
    m_side->forwardBtn()->setEnabled(s.forward);
}

QString TMainform::framesStatusText() const {
    if (!m_animation->hasImage()) return QStringLiteral("Aucune image");
    QString text = QString::number(m_animation->frameCount()) + QStringLiteral(" image(s)");
    const int selected = int(frameSelection().rows.size());
    if (selected > 1) text += QStringLiteral(", %1 selected").arg(selected);
    return text;
}

QString TMainform::sizeStatusText() const {
    if (!m_animation->hasImage()) return {};
    const QSize screen = m_animation->screen();
    return QStringLiteral("Animation %1x%2").arg(screen.width()).arg(screen.height());
}

void TMainform::status() {
    setPanelText(2, framesStatusText());
    setPanelText(3, sizeStatusText());
    if (m_zoomPanel) m_zoomPanel->setText(zoomStatusText());
}

void TMainform::setPanelText(int panel, const QString& text) {
    QLabel* label = m_panels[size_t(panel)];
    if (label->text() == text) return;
    label->setText(text);
    // The other panels keep their design widths unless their text needs more room.
    if (panel > 0)
        label->setMinimumWidth(
            std::max(PanelWidths[panel],
                     label->fontMetrics().horizontalAdvance(text) + 2 * label->frameWidth() + 8));
    if (panel == 0 && m_progressPercent >= 0) paintProgressNow();
}

void TMainform::paintProgressNow() {
    // Long work blocks the event loop, so the status bar is painted at once; at most
    // every 40 ms, so that a burst of short operations costs no painting of its own.
    if (m_progressPainted.isValid() && m_progressPainted.elapsed() < 40) return;
    if (!m_statusBar->isVisible()) return;
    m_statusBar->repaint();
    m_progressPainted.start();
}

void TMainform::setProgress(int percent) {
    m_progressPercent = percent;
    if (percent < 0) {
        m_progress->setValue(0);
        m_progress->hide();
        return;
    }
    m_progress->setValue(percent);
    m_progress->show();
    paintProgressNow();
}

bool TMainform::event(QEvent* event) {
    // Hints of the menu items and controls under the pointer go to panel 0.
    if (event->type() == QEvent::StatusTip) {
        setPanelText(0, static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

// ======================================================================================
// Thumbnail strip and selection
// ======================================================================================

void TMainform::framesChange(int k) {
    if (k < 0 || k >= m_animation->frameCount()) return;
    showFramePicture(k);
    setView(View::Frame);
    m_flags.play = true;
    m_flags.stop = false;
    check(ActionWord::Selected);
    m_side->slider()->setValue(k);
    EnableButtons();
    doscroll();
    if (currentFrame() >= 0) {
        // The delay of the selected frames: their common value, or nothing when they
        // differ.
        const FrameSelection selection = frameSelection();
        const int delay = m_animation->delay(k);
        m_periodMixed = std::any_of(selection.rows.begin(), selection.rows.end(),
                                    [&](int r) { return m_animation->delay(r) != delay; });
        m_writingPeriod = true;
        m_side->period()->setBlank(false);
        m_side->period()->setValue(delay);
        m_side->period()->setBlank(m_periodMixed);
        m_writingPeriod = false;
    }

    // Keep the strip in step with the current frame. The highlight is set before the
    // gauge moves, so that the scroll handler, which runs at once, re-picks the same
    // slot; that re-pick selects frame k again, which raises no further change.
    const int p = m_strip->position();
    if (m_strip->scrolling()) {
        const int r = (k - p) % ThumbnailStrip::Slots; // takes the sign of k - p
        if (r >= 0) PBClick(r + 1);
    } else if (p <= k && k <= p + 3) {
        PBClick(k - p + 1);
    } else if (k < p) {
        PBClick(1);
        m_strip->setPosition(k);
    } else {
        PBClick(4);
        m_strip->setPosition(k - 3);
    }
}

void TMainform::selectionChanged() {
    QSet<int> rows;
    for (const int r : frameSelection().rows)
        rows.insert(r);
    m_strip->markSelected(rows);
    status();
}

void TMainform::showFramePicture(int k) {
    QImage picture = m_animation->ownPicture(k);
    // The frame view lets the background through exactly where the frame is transparent.
    const gif::GraphicControl* control = m_animation->frame(k).graphicControl();
    if (control && control->transparent && control->transparentIndex < picture.colorCount()) {
        QList<QRgb> colors = picture.colorTable();
        colors[control->transparentIndex] = 0;
        picture.setColorTable(colors);
    }
    m_box->frameView()->setPicture(picture);
}

void TMainform::DrawFramesOnTool() {
    m_strip->drawFrames(m_frameList.get(), m_animation->frameCount());
}

void TMainform::ClearFramesOnTool() {
    m_strip->clearFrames();
}

void TMainform::ImageScrollChange(int p) {
    DrawFramesOnTool();
    const bool wasScrolling = m_strip->scrolling();
    m_strip->setScrolling(true);
    m_strip->setBadges(p);
    if (frameSelection().rows.size() > 1) {
        // Several frames are selected: scrolling to reach others keeps them, and the
        // highlight marks the current frame where it is in view.
        const int k = currentFrame();
        PBClick(k >= p && k < p + ThumbnailStrip::Slots ? k - p + 1 : 0);
    } else {
        const int h = m_strip->highlighted();
        if (h >= 1 && h <= ThumbnailStrip::Slots) PClick(h);
    }
    m_strip->setScrolling(wasScrolling);
}

void TMainform::PClick(int slot, Qt::KeyboardModifiers modifiers) {
    if (m_strip->slotHidden(slot)) return;
    stopClick();
    const int frame = m_strip->position() + slot - 1;
    if (m_strip->scrolling()) {
        // The strip scrolled under its highlight: the frame now shown there becomes
        // current. Re-picking the current frame changes nothing, so a selection of
        // several frames survives the strip following its current frame.
        if (frame != currentFrame()) selectFrame(frame);
    } else if (modifiers & Qt::ControlModifier) {
        // The frame joins or leaves the selection and becomes current.
        FrameSelection s = frameSelection();
        const auto at = std::find(s.rows.begin(), s.rows.end(), frame);
        if (at != s.rows.end() && s.rows.size() > 1)
            s.rows.erase(at);
        else if (at == s.rows.end())
            s.rows.push_back(frame);
        std::sort(s.rows.begin(), s.rows.end());
        s.current = frame;
        setFrameSelection(s);
    } else if ((modifiers & Qt::ShiftModifier) && currentFrame() >= 0) {
        // From the frame last picked, which scrolling the strip does not move.
        const int anchor =
            m_anchor >= 0 && m_anchor < m_animation->frameCount() ? m_anchor : currentFrame();
        FrameSelection s;
        for (int i = std::min(anchor, frame); i <= std::max(anchor, frame); ++i)
            s.rows.push_back(i);
        s.current = frame;
        setFrameSelection(s);
    } else {
        selectFrame(frame);
        m_anchor = frame;
    }
    PBClick(slot);
}

void TMainform::extendSelection(int step, bool extend) {
    const int n = m_animation->frameCount();
    const int k = currentFrame();
    if (n == 0) return;
    const int next = std::clamp(k < 0 ? 0 : k + step, 0, n - 1);
    if (!extend) {
        stopClick();
        selectFrame(next);
        m_anchor = next;
        return;
    }
    // Shift and an arrow grow or shrink the selection from its far end.
    FrameSelection s = frameSelection();
    if (std::find(s.rows.begin(), s.rows.end(), next) == s.rows.end())
        s.rows.push_back(next);
    else if (next != k)
        s.rows.erase(std::find(s.rows.begin(), s.rows.end(), k));
    std::sort(s.rows.begin(), s.rows.end());
    s.current = next;
    setFrameSelection(s);
}

void TMainform::PBClick(int slot) {
    m_strip->highlight(slot);
}

void TMainform::framesRebuilt() {
    const int n = m_animation->frameCount();
    // The fields follow whether there are frames at all; an edit that keeps some leaves
    // them as they were, so that undoing it gives back the window as it was.
    const bool hadFrames = m_fields.period;
    m_strip->setFrameCount(n);
    DrawFramesOnTool();
    m_side->slider()->setRange(0, std::max(0, n - 1));
    const LoopSetting loop = m_animation->loop();
    m_box->animationView()->setImage(
        m_animation->image(), loop.infinite ? std::nullopt : std::optional<int>(loop.count + 1));
    if (hadFrames != (n > 0) || !m_fields.loopChoices) CheckNil();
    EnableButtons();
    status();
    doscroll();
    if (n == 0) m_box->frameView()->clearPicture();
}

void TMainform::fileOpened(const QStringList& notices, bool empty) {
    m_notices->setNotices(notices);
    if (notices.isEmpty())
        m_statusBar->clearMessage();
    else
        m_statusBar->showMessage(
            notices.size() == 1
                ? QStringLiteral("Note on this file above the picture")
                : QStringLiteral("%1 notes on this file above the picture").arg(notices.size()),
            NoticeMessageMs);
    m_playing = false;
    m_box->animationView()->setSwitch(false);
    if (empty) {
        // A file without images opens as an empty animation does after New: nothing to
        // play or remove, pictures can be added; its loop choice and comment are shown.
        setView(View::Frame);
        m_selection->clear();
        check(ActionWord::Alsup);
    } else {
        setView(View::Animation);
        m_selection->clear();
        selectFrame(0);
        PClick(1);
        check(ActionWord::Opened);
    }
    m_side->slider()->setRange(0, std::max(0, m_animation->frameCount() - 1));
    EnableButtons();
    status();
    CheckNil();
    m_previewPanel->setFocus();
}

void TMainform::documentClosed() {
    // New: the strip is emptied and its gauge returns to 0, disabled.
    m_notices->setNotices({});
    m_statusBar->clearMessage();
    m_playing = false;
    m_box->animationView()->setSwitch(false);
    m_selection->clear();
    ClearFramesOnTool();
    m_strip->setFrameCount(0);
    m_side->slider()->setRange(0, 0);
    m_box->frameView()->clearPicture();
    setView(View::Frame);
    check(ActionWord::Closed);
    doscroll();
    EnableButtons();
    status();
    CheckNil();
}

// ======================================================================================
// Playback and preview
// ======================================================================================

void TMainform::playClick() {
    if (!m_animation->hasImage() || m_animation->frameCount() == 0) return;
    const LoopSetting loop = m_animation->loop();
    m_box->animationView()->setImage(
        m_animation->image(), loop.infinite ? std::nullopt : std::optional<int>(loop.count + 1));
    BoxResize();
    setView(View::Animation);
    if (isVisible()) repaint();
    check(ActionWord::Played);
    EnableButtons();
    setFields({});
    // Off, then on: the animation starts again from its first frame.
    m_playing = true;
    m_box->animationView()->setSwitch(false);
    m_box->animationView()->setSwitch(true);
}

void TMainform::stopClick() {
    m_playing = false;
    m_box->animationView()->setSwitch(false);
    if (currentFrame() < 0 && m_animation->frameCount() > 0) selectFrame(0);
    if (currentFrame() >= 0) {
        framesChange(currentFrame());
        m_side->slider()->setValue(currentFrame());
    }
    EnableButtons();
    setFields({true, true, true, true});
}

void TMainform::nextClick() {
    const int n = m_animation->frameCount();
    if (n == 0) return;
    const int k = currentFrame();
    selectFrame(k < n - 1 ? k + 1 : 0);
}

void TMainform::backClick() {
    const int n = m_animation->frameCount();
    if (n == 0) return;
    const int k = currentFrame();
    selectFrame(k > 0 ? k - 1 : n - 1);
}

void TMainform::RewindbtnClick() {
    if (m_animation->frameCount() > 0) selectFrame(0);
}

void TMainform::ForwardbtnClick() {
    if (m_animation->frameCount() > 0) selectFrame(m_animation->frameCount() - 1);
}

void TMainform::BoxResize() {
    m_box->BoxResize();
}

void TMainform::doscroll() {
    m_box->setMarker(m_animation->hasImage() ? m_animation->screen() : QSize(0, 0));
}

void TMainform::After() {
    m_side->slider()->setValue(actived());
}

int TMainform::actived() const {
    return m_box->animationView()->actived();
}

// ======================================================================================
// Menus' open handlers
// ======================================================================================

void TMainform::File1Click() {
    const FileMenuState s = fileMenuState(currentState());
    action(Act::Save)->setEnabled(s.save);
    action(Act::SaveAs)->setEnabled(s.saveAs);
    action(Act::SaveOptimized)->setEnabled(s.saveOptimized);
    action(Act::Export)->setEnabled(s.exportAnimation);
    action(Act::Revert)->setEnabled(s.revert);
    action(Act::AddImageFile)->setEnabled(s.addImage);
    action(Act::InsertImageFile)->setEnabled(s.insertImage);
    action(Act::SaveImage)->setEnabled(s.saveImage);
    // Recent entry i always stands in slot i: an empty F1 with a filled F2 hides the
    // first item and shows the second.
    const QStringList recent = m_recent->files();
    bool any = false;
    const Act slots[] = {Act::Recent1, Act::Recent2, Act::Recent3, Act::Recent4};
    for (int i = 1; i <= 4; ++i) {
        QAction* item = action(slots[i - 1]);
        const QString name = i <= recent.size() ? QFileInfo(recent[i - 1]).fileName() : QString();
        // "&" in a file name is doubled so that it is shown, not taken as an access key.
        item->setText(QStringLiteral("&%1 ").arg(i) +
                      QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setVisible(!name.isEmpty());
        any = any || !name.isEmpty();
    }
    m_recentSeparator->setVisible(any);
}

void TMainform::Edit1Click() {
    // The clipboard is asked only here: on some desktops asking means a round trip to
    // the display server, too slow for the refreshes that run on every selection.
    WindowState state = currentState();
    state.clipboardHasBitmap = m_platform.clipboard && m_platform.clipboard->hasBitmap();
    const EditMenuState s = editMenuState(m_flags, state);
    action(Act::Undo)->setEnabled(s.undo);
    action(Act::Redo)->setEnabled(s.redo);
    action(Act::Cut)->setEnabled(s.cut);
    action(Act::Copy)->setEnabled(s.copy);
    action(Act::Remove)->setEnabled(s.remove);
    m_pasteMenu->menuAction()->setEnabled(s.paste);
    action(Act::SelectAll)->setEnabled(state.entries > 0 && state.frameViewShown);
}

void TMainform::Voir1Click() {
    updateZoomChecks();
    action(Act::StatusBar)->setChecked(!m_statusBar->isHidden());
    action(Act::Toolbars)->setChecked(!m_toolBar->isHidden());
    action(Act::ShowLoop)->setChecked(m_stateButtons[0]->isChecked());
    action(Act::ShowRate)->setChecked(m_stateButtons[1]->isChecked());
    action(Act::ShowComment)->setChecked(m_stateButtons[2]->isChecked());
}

void TMainform::Imagesdelanimations1Click() {
    const ImageMenuState s = imageMenuState(currentState());
    action(Act::ImageAdd)->setEnabled(s.add);
    action(Act::ImageInsert)->setEnabled(s.insert);
    action(Act::ImageRemove)->setEnabled(s.remove);
    m_moveMenu->menuAction()->setEnabled(s.move);
    action(Act::Disposal)->setEnabled(s.disposal);
    action(Act::Duplicate)->setEnabled(s.duplicate);
}

void TMainform::moveitemClick() {
    const ImageMenuState s = imageMenuState(currentState());
    // With several frames selected, a move is possible while any of them can move.
    const FrameSelection selection = frameSelection();
    const int n = m_animation->frameCount();
    const bool onFrame = s.move;
    action(Act::Backward)
        ->setEnabled(
            onFrame && std::any_of(selection.rows.begin(), selection.rows.end(), [&](int r) {
                return r > 0 &&
                       !std::binary_search(selection.rows.begin(), selection.rows.end(), r - 1);
            }));
    action(Act::Forward)
        ->setEnabled(
            onFrame && std::any_of(selection.rows.begin(), selection.rows.end(), [&](int r) {
                return r < n - 1 &&
                       !std::binary_search(selection.rows.begin(), selection.rows.end(), r + 1);
            }));
}

void TMainform::Afficher1Click() {
    const ControlMenuState s = controlMenuState(m_flags, currentState());
    action(Act::Play)->setEnabled(s.play);
    action(Act::Stop)->setEnabled(s.stop);
    action(Act::Next)->setEnabled(s.next);
    action(Act::Back)->setEnabled(s.back);
}

void TMainform::EffetsClick() {
    const EffectsMenuState s = effectsMenuState(currentState());
    action(Act::Scroll)->setEnabled(s.scroll);
    action(Act::Replacement)->setEnabled(s.replacement);
    action(Act::Wipe)->setEnabled(s.wipe);
    action(Act::Fade)->setEnabled(s.fade);
    m_separationMenu->menuAction()->setEnabled(s.separation);
}

// ======================================================================================
// Side panel and view toggles
// ======================================================================================

void TMainform::drawheads() {
    const QPixmap picture =
        QPixmap::fromImage(headerImage(HeaderBar::Height, palette().color(QPalette::Button), 2000,
                                       barColours(palette()).headerStart));
    for (HeaderBar* header : m_side->headers())
        header->setPicture(picture);
    m_strip->header()->setPicture(picture);
}

void TMainform::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_side) drawheads();
}

void TMainform::expandSection(int section) {
    m_side->section(SidePanel::SectionId(section))->setExpanded(true);
    m_stateButtons[size_t(section)]->setChecked(true);
}

void TMainform::collapseSection(int section) {
    m_side->section(SidePanel::SectionId(section))->setExpanded(false);
    m_stateButtons[size_t(section)]->setChecked(false);
}

void TMainform::toggleSection(int section) {
    QToolButton* state = m_stateButtons[size_t(section)];
    if (state->isChecked())
        collapseSection(section);
    else
        expandSection(section);
}

void TMainform::ToolsClick() {
    // The menu item's check mark was flipped by the click.
    m_toolBar->setVisible(action(Act::Toolbars)->isChecked());
}

void TMainform::StateClick() {
    m_statusBar->setVisible(action(Act::StatusBar)->isChecked());
}

void TMainform::updateFields() {
    const bool idle = !m_work->busy();
    m_side->infini()->setEnabled(idle && m_fields.loopChoices);
    m_side->fini()->setEnabled(idle && m_fields.loopChoices);
    m_side->numLoops()->setEnabled(idle && m_fields.numLoops);
    m_side->period()->setEnabled(idle && m_fields.period);
    m_side->comment()->setEnabled(idle && m_fields.comment);
}

void TMainform::updateLoopChoice() {
    const bool wasReflecting = m_reflecting;
    m_reflecting = true;
    const LoopSetting loop = m_animation->loop();
    m_side->infini()->setChecked(loop.infinite);
    m_side->fini()->setChecked(!loop.infinite);
    m_side->numLoops()->setValue(loop.count);
    m_reflecting = wasReflecting;
    const LoopSetting shown = loop;
    if (m_animation->hasImage())
        m_box->animationView()->setImage(m_animation->image(),
                                         shown.infinite ? std::nullopt
                                                        : std::optional<int>(shown.count + 1));
}

void TMainform::pushLoop(const LoopSetting& loop, bool typing) {
    // The loop writer does nothing without frames.
    if (m_animation->frameCount() == 0) return;
    auto step =
        std::make_unique<SetLoopStep>(QStringLiteral("Loop"), loop, typing ? LoopTypingId : -1);
    step->before = step->after = frameSelection();
    m_animation->push(std::move(step));
}

void TMainform::infiniClick() {
    pushLoop({true, m_animation->loop().count});
    CheckNil();
    m_box->animationView()->setSwitch(false);
}

void TMainform::finiClick() {
    pushLoop({false, m_animation->loop().count});
    CheckNil();
    m_box->animationView()->setSwitch(false);
}

void TMainform::NumLoopsChange(int value) {
    // The count field of the record holds 16 bits; the field's range is 1..65535 so that
    // what the user sees is what the file says.
    pushLoop({m_animation->loop().infinite, std::clamp(value, 1, 0xFFFF)}, true);
}

void TMainform::GifcommentChange(const QString& text) {
    // The box echoes the texts the animation puts into it; those are no edits. The
    // comment is part of the animation as soon as there are frames to carry it.
    if (text == m_animation->comment() || m_animation->frameCount() == 0) return;
    auto step = std::make_unique<SetCommentStep>(QStringLiteral("Comment"), text, true);
    step->before = step->after = frameSelection();
    m_animation->push(std::move(step));
}

void TMainform::setCommentText(const QString& text) {
    QPlainTextEdit* box = m_side->comment();
    const bool hold = text.size() > CommentBoxLimit;
    if (!hold && !m_commentHeld && box->toPlainText() == text) return;
    const bool wasReflecting = m_reflecting;
    m_reflecting = true;
    m_commentHeld = hold;
    if (hold) {
        // Laying out megabytes of text takes the box seconds to minutes; the comment is
        // kept as it is, and whatever the user types replaces it.
        box->clear();
        box->setPlaceholderText(
            QStringLiteral("The comment of this file is too long to show here (%1 characters). "
                           "It is kept as it is; type a new comment to replace it.")
                .arg(QLocale().toString(text.size())));
    } else {
        box->setPlaceholderText(QString());
        // Wrapping a very long line at word boundaries costs time that grows with the
        // square of its length; such lines are wrapped anywhere.
        bool longLine = false;
        qsizetype run = 0;
        for (const QChar c : text) {
            run = (c == QLatin1Char('\n')) ? 0 : run + 1;
            if (run > LongCommentLine) {
                longLine = true;
                break;
            }
        }
        box->setWordWrapMode(longLine ? QTextOption::WrapAnywhere
                                      : QTextOption::WrapAtWordBoundaryOrAnywhere);
        box->setPlainText(text);
    }
    m_reflecting = wasReflecting;
}

// ======================================================================================
// Frame editing
// ======================================================================================

void TMainform::setDisposalChooser(DisposalChooser* chooser) {
    m_chooser = chooser ? chooser : m_dispo;
}

void TMainform::ToolButton2Click() {
    if (m_runWizard) m_runWizard();
}

void TMainform::setWizardRunner(std::function<void()> run) {
    m_runWizard = std::move(run);
}

void TMainform::setExportRunner(std::function<void(QDialog&)> run) {
    m_runExport = std::move(run);
}

int TMainform::historyLimitMB() const {
    return int(m_animation->historyLimit() >> 20);
}

void TMainform::setHistoryLimitMB(int megabytes) {
    m_animation->setHistoryLimit(qint64(std::max(1, megabytes)) << 20);
    if (m_platform.settings) {
        m_platform.settings->writeInt(SettingsKey, key("UndoMemory"), historyLimitMB());
        m_platform.settings->sync();
    }
}

void TMainform::setRecoveryFolder(const QString& folder) {
    m_recovery->setFolder(folder);
}

void TMainform::setRecoverySeconds(int seconds) {
    m_recoverySeconds = std::clamp(seconds, 0, RecoveryWriter::MaxSeconds);
    m_recovery->setIntervalSeconds(m_recoverySeconds);
    if (m_platform.settings) {
        m_platform.settings->writeInt(SettingsKey, key("RecoverySeconds"), m_recoverySeconds);
        m_platform.settings->sync();
    }
}

void TMainform::setEffectDialog(effects::EffectDialog* dialog) {
    m_effectDialog = dialog ? dialog : m_effectsDialog;
}

void TMainform::Plus(bool insert) {
    if (m_commands->addFiles(insert, frameSelection())) check(ActionWord::Pasted);
    EnableButtons();
    status();
}

void TMainform::DelClick() {
    m_commands->remove(frameSelection());
}

void TMainform::DupClick() {
    m_commands->duplicate(frameSelection());
}

void TMainform::arriereClick() {
    m_commands->move(frameSelection(), -1);
}

void TMainform::avantClick() {
    m_commands->move(frameSelection(), +1);
}

void TMainform::CopyItemClick() {
    m_commands->copy(frameSelection());
}

void TMainform::CutItemClick() {
    m_commands->cut(frameSelection());
}

void TMainform::PasteClick(bool insertVariant) {
    if (m_commands->paste(insertVariant, frameSelection())) check(ActionWord::Pasted);
    status();
}

void TMainform::runEffect(effects::Effect effect) {
    if (!effects::effectAvailable(*m_animation, currentFrame(), effect)) return;
    const std::optional<effects::EffectSettings> settings = m_effectDialog->ask(effect);
    if (!settings) return;
    effects::runEffect(*m_animation, frameSelection(), effect, *settings, m_work.get(),
                       [this](gif::Stage stage, int percent, gif::ProgressMessage message) {
                           progress(stage, percent, message);
                       });
    EnableButtons();
    status();
}

void TMainform::methodeClick() {
    m_commands->chooseDisposal(frameSelection(), *m_chooser);
}

void TMainform::PeriodChange(int value) {
    if (m_writingPeriod) return;
    m_periodMixed = false;
    m_commands->setDelay(QString::number(value), frameSelection());
}

void TMainform::periodTextRejected(const QString& text) {
    m_commands->setDelay(text, frameSelection());
}

void TMainform::ImageMouseMove() {
    setPanelText(0, HelpHint);
}

void TMainform::undoClick() {
    if (!frameViewShown() || !m_animation->undoStack().canUndo()) return;
    m_animation->closeMerging();
    m_animation->undoStack().undo();
}

void TMainform::redoClick() {
    if (!frameViewShown() || !m_animation->undoStack().canRedo()) return;
    m_animation->undoStack().redo();
}

// ======================================================================================
// Drag and drop
// ======================================================================================

QMimeData* TMainform::dragData() {
    const FrameSelection selection = frameSelection();
    auto* data = new QMimeData;
    QByteArray rows;
    for (const int r : selection.rows)
        rows += QByteArray::number(r) + ' ';
    data->setData(ThumbnailStrip::FrameDragType, rows.trimmed());
    // For a file manager: each frame as a PNG file, transparent where the frame is.
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/vorlane-gif-drag-XXXXXX"));
    QList<QUrl> urls;
    const QString stem = QFileInfo(m_animation->name()).completeBaseName();
    for (const int r : selection.rows) {
        const QString file = folder.filePath(
            QStringLiteral("%1-%2.png").arg(stem).arg(r + 1, 3, 10, QLatin1Char('0')));
        if (m_commands->clipboardPicture(r).save(file, "PNG")) urls << QUrl::fromLocalFile(file);
    }
    data->setUrls(urls);
    return data;
}

void TMainform::startFrameDrag() {
    if (!frameViewShown() || m_animation->frameCount() == 0) return;
    auto* drag = new QDrag(m_strip);
    drag->setMimeData(dragData());
    const int k = currentFrame();
    if (k >= 0) {
        const QImage thumb = m_frameList->thumbnail(k, QSize(64, 48), devicePixelRatioF());
        if (!thumb.isNull()) drag->setPixmap(QPixmap::fromImage(thumb));
    }
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void TMainform::stripDrop(const QMimeData* data, int index, bool copy) {
    if (!data || !frameViewShown() || m_work->busy()) return;
    if (data->hasFormat(ThumbnailStrip::FrameDragType)) {
        // Frames of this window: moved there (copied with Ctrl).
        FrameSelection s;
        for (const QByteArray& row : data->data(ThumbnailStrip::FrameDragType).split(' '))
            if (!row.isEmpty()) s.rows.push_back(row.toInt());
        std::sort(s.rows.begin(), s.rows.end());
        if (s.rows.empty()) return;
        s.current = currentFrame() >= 0 ? currentFrame() : s.rows.front();
        if (copy) {
            m_commands->copy(s);
            FrameSelection at{std::clamp(index, 0, m_animation->frameCount()), {}};
            if (index >= m_animation->frameCount())
                m_commands->paste(false, at);
            else
                m_commands->paste(true, at);
        } else {
            m_commands->moveTo(s, index);
        }
        return;
    }
    const QStringList files = droppedFiles(data);
    if (files.isEmpty()) return;
    if (m_commands->insertFiles(files, index, frameSelection())) check(ActionWord::Pasted);
    status();
}

void TMainform::previewDrop(const QMimeData* data, bool open) {
    const QStringList files = droppedFiles(data);
    if (files.isEmpty() || m_work->busy()) return;
    // An animation dropped on an empty window, or with Ctrl, opens as a file.
    if (files.size() == 1 && isAnimation(files.front()) &&
        (open || m_animation->frameCount() == 0)) {
        m_files->open(DocumentFiles::OpenOrigin::CommandLine, files.front());
        return;
    }
    if (!frameViewShown()) return;
    if (m_commands->insertFiles(files, m_animation->frameCount(), frameSelection()))
        check(ActionWord::Pasted);
    status();
}

// ======================================================================================
// Events
// ======================================================================================

bool TMainform::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto button =
            std::find_if(m_menuButtons.begin(), m_menuButtons.end(),
                         [watched](QToolButton* b) { return b->menu() == watched; });
        if (button != m_menuButtons.end() && (key == Qt::Key_Left || key == Qt::Key_Right)) {
            auto* menu = static_cast<QMenu*>(watched);
            // Right on an item with a submenu opens the submenu, as in any menu.
            const QAction* active = menu->activeAction();
            if (key == Qt::Key_Right && active && active->menu()) return false;
            const int count = int(m_menuButtons.size());
            const int next =
                (int(button - m_menuButtons.begin()) + (key == Qt::Key_Right ? 1 : count - 1)) %
                count;
            menu->close();
            // Opened once the closed menu's own event loop has ended.
            QMetaObject::invokeMethod(
                this, [this, next] { openMenu(next); }, Qt::QueuedConnection);
            return true;
        }
    }
    if (m_box && watched == m_box->frameView() && event->type() == QEvent::MouseMove) {
        ImageMouseMove();
    } else if (m_side && (watched == m_side->period() || watched == m_side->numLoops() ||
                          watched == m_side->comment())) {
        // Leaving the field for another control; a menu or another window taking the
        // focus for a moment is no end of the edit.
        const bool leaving =
            event->type() == QEvent::FocusOut &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason;
        const bool entered = event->type() == QEvent::KeyPress &&
                             (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                              static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
        // One edit of a field is one step of the history.
        if (leaving || (entered && watched != m_side->comment())) m_animation->closeMerging();
        if (watched == m_side->period() && (leaving || entered)) {
            // Seen before the field puts its last number back in place of the text.
            const QString text = m_side->period()->cleanText();
            bool number = false;
            text.trimmed().toInt(&number);
            // Frames of different delays leave the field empty until the user types.
            if (!number && !(m_periodMixed && text.isEmpty()))
                QMetaObject::invokeMethod(
                    this, [this, text] { periodTextRejected(text); }, Qt::QueuedConnection);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ======================================================================================
// File menu commands
// ======================================================================================

void TMainform::FileNewItemClick() {
    m_files->newAnimation();
}

void TMainform::FileOpenClick() {
    m_files->open(DocumentFiles::OpenOrigin::Dialog);
}

void TMainform::recentClick(int slot) {
    static constexpr DocumentFiles::OpenOrigin origins[] = {
        DocumentFiles::OpenOrigin::Recent1, DocumentFiles::OpenOrigin::Recent2,
        DocumentFiles::OpenOrigin::Recent3, DocumentFiles::OpenOrigin::Recent4};
    if (slot >= 1 && slot <= 4) m_files->open(origins[slot - 1]);
}

void TMainform::FileSaveClick() {
    m_files->save();
}

// ======================================================================================
// Window events and settings
// ======================================================================================

void TMainform::showEvent(QShowEvent* event) {
    if (!m_settingsRead) {
        m_settingsRead = true;
        readSettings();
    }
    QMainWindow::showEvent(event);
    m_previewPanel->setFocus();
}

void TMainform::closeEvent(QCloseEvent* event) {
    if (m_work->busy()) {
        // The work stops first; the window closes once it did, with its usual question.
        m_closeWhenIdle = true;
        m_work->cancel();
        event->ignore();
        return;
    }
    if (!m_files->mayClose()) {
        event->ignore();
        return;
    }
    m_box->animationView()->setSwitch(false);
    writeSettings();
    // Saved, or its changes given up: the recovery copy has served.
    m_recovery->discard();
    event->accept();
}

void TMainform::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    doscroll();
}

void TMainform::readSettings() {
    SettingsStore* store = m_platform.settings;
    if (!store) return;
    if (store->contains(SettingsKey, key("Width")) && store->contains(SettingsKey, key("Height"))) {
        const QRect placement(
            store->readInt(SettingsKey, key("Left")), store->readInt(SettingsKey, key("Top")),
            store->readInt(SettingsKey, key("Width")), store->readInt(SettingsKey, key("Height")));
        // A placement that lies on no screen any more (a monitor was removed) is dropped.
        bool onScreen = false;
        for (const QScreen* screen : QGuiApplication::screens())
            onScreen = onScreen || screen->availableGeometry().intersects(placement);
        if (placement.width() > 0 && placement.height() > 0 && onScreen) {
            move(placement.topLeft());
            resize(placement.size());
        }
        if (store->readInt(SettingsKey, key("Maximized")) != 0)
            setWindowState(QMainWindow::windowState() | Qt::WindowMaximized);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    for (const Act act : KeptChecks) {
        const QString property =
            QLatin1String(actionInfo(act).objectName) + QStringLiteral(".Checked");
        if (store->contains(SettingsKey, property))
            action(act)->setChecked(store->readInt(SettingsKey, property) != 0);
    }
    if (store->contains(SettingsKey, key("StatusBar.Visible")))
        m_statusBar->setVisible(store->readInt(SettingsKey, key("StatusBar.Visible")) != 0);
    m_hintCounter = store->readInt(SettingsKey, key("addbtn.Tag"), 0);
    if (store->contains(SettingsKey, key("UndoMemory")))
        m_animation->setHistoryLimit(
            qint64(std::max(1, store->readInt(SettingsKey, key("UndoMemory")))) << 20);
    if (store->contains(SettingsKey, key("RecoverySeconds"))) {
        m_recoverySeconds = std::clamp(store->readInt(SettingsKey, key("RecoverySeconds")), 0,
                                       RecoveryWriter::MaxSeconds);
        m_recovery->setIntervalSeconds(m_recoverySeconds);
    }
}

void TMainform::writeSettings() {
    SettingsStore* store = m_platform.settings;
    if (!store) return;
    // The position of the frame and the size of the inside, as move() and resize() take
    // them back.
    const QRect placement = isMaximized() ? normalGeometry() : QRect(pos(), size());
    store->writeInt(SettingsKey, key("Left"), placement.x());
    store->writeInt(SettingsKey, key("Top"), placement.y());
    store->writeInt(SettingsKey, key("Width"), placement.width());
    store->writeInt(SettingsKey, key("Height"), placement.height());
    store->writeInt(SettingsKey, key("Maximized"), isMaximized() ? 1 : 0);
    for (const Act act : KeptChecks)
        store->writeInt(SettingsKey,
                        QLatin1String(actionInfo(act).objectName) + QStringLiteral(".Checked"),
                        action(act)->isChecked() ? 1 : 0);
    store->writeInt(SettingsKey, key("StatusBar.Visible"), m_statusBar->isHidden() ? 0 : 1);
    store->writeInt(SettingsKey, key("addbtn.Tag"), m_hintCounter);
    store->sync();
}

} // namespace vorlane
