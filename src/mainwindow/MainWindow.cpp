// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/MainWindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "codec/GifImage.h"
#include "dialogs/Wizard.h"
#include "editing/FrameEditor.h"
#include "editing/widgets/DisposalBox.h"
#include "effects/EffectCommand.h"
#include "effects/widgets/AnimationEffects.h"
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

QString key(const char* name) {
    return QLatin1String(name);
}
} // namespace

// ======================================================================================
// Construction (FormCreate)
// ======================================================================================

TMainform::TMainform(const Platform& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform), m_doc(std::make_unique<Document>(platform)),
      m_editor(std::make_unique<FrameEditor>(*m_doc, platform)) {
    icons::initResources();
    setObjectName(QStringLiteral("Mainform"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    setWindowTitle(Document::AppTitle);

    buildMenus();
    buildToolRow();
    buildCentre();
    buildStatusBar();
    auto* dispo = new TDispo(this);
    m_dispo = dispo;
    m_chooser = dispo;
    auto* wizard = new Tassform(*m_doc, platform, m_editor->pictureImport(), this);
    m_runWizard = [wizard] { wizard->exec(); };
    m_defaultWizard = m_runWizard;
    auto* effectsDialog = new TEffects(this);
    m_effectsDialog = effectsDialog;
    m_effectDialog = effectsDialog;
    connectWidgets();
    connectDocument();

    drawheads();
    applyFlags();
    EnableButtons();
    status();
    setPanelText(0, m_doc->statusHint());

    m_hintTimer.setObjectName(QStringLiteral("Timer1"));
    m_hintTimer.setSingleShot(true);
    m_hintTimer.setInterval(HintDelayMs);
    connect(&m_hintTimer, &QTimer::timeout, this, &TMainform::Timer1Timer);
    m_balloon = new BalloonHint(this);
    m_balloon->setObjectName(QStringLiteral("bh"));

    resize(DesignWidth, DesignHeight);
}

TMainform::~TMainform() {
    // The document image calls back into the window while it animates; cut that first.
    if (m_doc->image()) m_doc->image()->onAfterPaint = nullptr;
    m_box->animationView()->setImage(nullptr);
}

QAction* TMainform::addItem(QMenu* menu, const QString& name, const QString& caption,
                            const QKeySequence& shortcut) {
    auto* item = new QAction(caption, this);
    item->setObjectName(name);
    menu->addAction(item);
    if (!shortcut.isEmpty()) addShortcut(item, shortcut);
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

QAction* TMainform::addUnlistedItem(QMenu* menu, const QString& name, const QString& caption,
                                    const QKeySequence& shortcut) {
    auto* item = new QAction(caption, this);
    item->setObjectName(name);
    m_unlistedOwners[item] = menu;
    addShortcut(item, shortcut);
    return item;
}

void TMainform::addShortcut(QAction* item, const QKeySequence& key) {
    // The item shows its key; the key itself is handled by the window, which first runs
    // the open handlers of the menus holding the item, so that the key obeys the same
    // enabled states as the item, also when the menu never opened or the item is hidden.
    item->setShortcut(key);
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

QAction* TMainform::action(const QString& name) const {
    const QList<QAction*> all = findChildren<QAction*>(name);
    return all.isEmpty() ? nullptr : all.first();
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
    addItem(file, QStringLiteral("FileNewItem"), QStringLiteral("New"),
            QKeySequence(QStringLiteral("Ctrl+N")));
    addItem(file, QStringLiteral("FileOpenItem"), QStringLiteral("Open"),
            QKeySequence(QStringLiteral("Ctrl+O")));
    addItem(file, QStringLiteral("save1"), QStringLiteral("Save"),
            QKeySequence(QStringLiteral("Ctrl+S")));
    addItem(file, QStringLiteral("save2"), QStringLiteral("Save as..."));
    addItem(file, QStringLiteral("eos"), QStringLiteral("Save optimized as..."));
    addItem(file, QStringLiteral("retablir"), QStringLiteral("Revert"));
    file->addSeparator();
    addItem(file, QStringLiteral("ajouter"), QStringLiteral("Add image..."));
    addItem(file, QStringLiteral("inserer"), QStringLiteral("Insert image..."));
    addItem(file, QStringLiteral("enregistrercadre"), QStringLiteral("Save image as..."));
    file->addSeparator();
    addItem(file, QStringLiteral("Assistantnouvelleanimation1"),
            QStringLiteral("New animation Wizard..."));
    file->addSeparator();
    for (int i = 1; i <= 4; ++i) {
        QAction* recent = addItem(file, QStringLiteral("M%1").arg(i), QString());
        recent->setVisible(false);
    }
    QAction* n4 = file->addSeparator();
    n4->setObjectName(QStringLiteral("N4"));
    n4->setVisible(false);
    addItem(file, QStringLiteral("FileExitItem"), QStringLiteral("Quit"));

    // ---- Edit ----
    QMenu* edit = addMenu(QStringLiteral("EditButton"), QStringLiteral("Edit1"),
                          QStringLiteral("&Edit"), [this] { Edit1Click(); });
    addUnlistedItem(edit, QStringLiteral("CutItem"), QStringLiteral("Cut"),
                    QKeySequence(QStringLiteral("Ctrl+X")));
    addItem(edit, QStringLiteral("CopyItem"), QStringLiteral("Copy"),
            QKeySequence(QStringLiteral("Ctrl+C")));
    QMenu* paste = addSubmenu(edit, QStringLiteral("Paste"), QStringLiteral("Past"));
    addItem(paste, QStringLiteral("ins"), QStringLiteral("Insert"));
    addItem(paste, QStringLiteral("Enajoutantlimage1"), QStringLiteral("Add at the end"),
            QKeySequence(QStringLiteral("Ctrl+V")));
    addItem(edit, QStringLiteral("Del"), QStringLiteral("Remove"));

    // ---- View ----
    QMenu* view = addMenu(QStringLiteral("ViewButton"), QStringLiteral("Voir1"),
                          QStringLiteral("&View"), [this] { Voir1Click(); });
    const std::pair<const char*, const char*> toggles[] = {{"Tools", "Toolbars"},
                                                           {"State", "Satus bar"},
                                                           {"showloop", "Loop"},
                                                           {"showrate", "Image delay"},
                                                           {"showcomment", "Comments"}};
    for (const auto& [name, caption] : toggles) {
        QAction* item = addItem(view, QLatin1String(name), QLatin1String(caption));
        item->setCheckable(true);
        item->setChecked(true);
        if (QLatin1String(name) == QLatin1String("State")) view->addSeparator();
    }
    // Listed in the menu's definition but never shown; they change nothing.
    const std::pair<const char*, const char*> unused[] = {{"Showframes", "&Iimages list"},
                                                          {"ShowVis", "Visualizer"},
                                                          {"showhelp", "Quick help"},
                                                          {"SA", "SA"}};
    for (const auto& [name, caption] : unused) {
        QAction* item = addItem(view, QLatin1String(name), QLatin1String(caption));
        item->setCheckable(true);
        item->setVisible(false);
    }
    view->addSeparator();
    addItem(view, QStringLiteral("Options2"), QStringLiteral("Options..."));

    // ---- Image ----
    QMenu* image = addMenu(QStringLiteral("ImageButton"), QStringLiteral("Imagesdelanimations1"),
                           QStringLiteral("&Image"), [this] { Imagesdelanimations1Click(); });
    addItem(image, QStringLiteral("add1"), QStringLiteral("Add..."), QKeySequence(Qt::Key_F2));
    addItem(image, QStringLiteral("insert"), QStringLiteral("Insert..."), QKeySequence(Qt::Key_F3));
    addItem(image, QStringLiteral("sup2"), QStringLiteral("Remove"), QKeySequence(Qt::Key_Delete));
    QMenu* move = addSubmenu(image, QStringLiteral("moveitem"), QStringLiteral("Move"),
                             [this] { moveitemClick(); });
    addItem(move, QStringLiteral("arriere"), QStringLiteral("backward"),
            QKeySequence(QStringLiteral("Ctrl+Alt+R")));
    addItem(move, QStringLiteral("avant"), QStringLiteral("forward"),
            QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    addItem(image, QStringLiteral("methode"), QStringLiteral("Disposal method..."));
    addItem(image, QStringLiteral("Dup"), QStringLiteral("&Duplicate"));

    // ---- Control ----
    QMenu* control = addMenu(QStringLiteral("ControlButton"), QStringLiteral("Afficher1"),
                             QStringLiteral("&Control"), [this] { Afficher1Click(); });
    addItem(control, QStringLiteral("jouer"), QStringLiteral("Play"));
    addItem(control, QStringLiteral("arreter"), QStringLiteral("Stop"));
    addItem(control, QStringLiteral("next"), QStringLiteral("Next image"));
    addItem(control, QStringLiteral("back"), QStringLiteral("Previous image"));

    // ---- Effects ----
    QMenu* effects = addMenu(QStringLiteral("EffectsButton"), QStringLiteral("Effets"),
                             QStringLiteral("Effec&ts"), [this] { EffetsClick(); });
    addItem(effects, QStringLiteral("Defilement"), QStringLiteral("&Scroll"));
    addItem(effects, QStringLiteral("Remplacement"), QStringLiteral("Replacement"));
    addItem(effects, QStringLiteral("Essuyage"), QStringLiteral("Wipe"));
    addItem(effects, QStringLiteral("Fondu"), QStringLiteral("Fade"));
    QMenu* separation = addSubmenu(effects, QStringLiteral("sep"), QStringLiteral("&Separation"));
    addItem(separation, QStringLiteral("SeparationV"), QStringLiteral("Vertical"));
    addItem(separation, QStringLiteral("SeparationH"), QStringLiteral("Horizontal"));

    // ---- Help ----
    QMenu* help = addMenu(QStringLiteral("HelpButton"), QStringLiteral("Help1"),
                          QStringLiteral("&Help"), [] {});
    // "Help topics" opens the help window, which exists in every language: listed always.
    addItem(help, QStringLiteral("Rubriquesdaide1"), QStringLiteral("Help topics"),
            QKeySequence(Qt::Key_F1));
    addItem(help, QStringLiteral("Manueldepriseenmain1"), QStringLiteral("&How to create gifs"));
    help->addSeparator();
    addItem(help, QStringLiteral("Visiterlesiteweb1"), QStringLiteral("Vorlane Gif home page"));
    QMenu* contact =
        addSubmenu(help, QStringLiteral("Contacterlauteur1"), QStringLiteral("Contact"));
    addItem(contact, QStringLiteral("Envoyerunemail1"), QStringLiteral("by &e-mail"));
    help->addSeparator();
    addItem(help, QStringLiteral("HelpAboutItem"), QStringLiteral("&About Vorlane Gif"));
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
}

// ======================================================================================
// Wiring
// ======================================================================================

void TMainform::connectWidgets() {
    auto on = [this](const char* name, auto handler) {
        connect(action(QLatin1String(name)), &QAction::triggered, this, handler);
    };
    on("FileNewItem", &TMainform::FileNewItemClick);
    on("FileOpenItem", &TMainform::FileOpenClick);
    on("save1", &TMainform::FileSaveClick);
    on("save2", [this] { m_doc->save2Click(); });
    on("eos", [this] { m_doc->eosClick(); });
    on("retablir", [this] { m_doc->retablirClick(); });
    on("enregistrercadre", [this] { m_doc->enregistrercadreClick(); });
    for (int i = 1; i <= 4; ++i)
        connect(action(QStringLiteral("M%1").arg(i)), &QAction::triggered, this,
                [this, i] { recentClick(i); });
    on("FileExitItem", [this] { close(); });

    on("Tools", &TMainform::ToolsClick);
    on("State", &TMainform::StateClick);
    on("showloop", [this] { toggleSection(SidePanel::Loop); });
    on("showrate", [this] { toggleSection(SidePanel::Rate); });
    on("showcomment", [this] { toggleSection(SidePanel::Comments); });

    on("jouer", &TMainform::playClick);
    on("arreter", &TMainform::stopClick);
    on("next", &TMainform::nextClick);
    on("back", &TMainform::backClick);

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

    connect(m_side->infini(), &QRadioButton::clicked, this, [this] {
        if (!m_reflecting) m_doc->infiniClick();
    });
    connect(m_side->fini(), &QRadioButton::clicked, this, [this] {
        if (!m_reflecting) m_doc->finiClick();
    });
    connect(m_side->numLoops(), &QSpinBox::valueChanged, this, [this](int value) {
        if (!m_reflecting) m_doc->NumLoopsChange(value);
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
        m_doc->GifcommentChange(text);
    });

    // ---- frame editing ----
    FrameEditor* editor = m_editor.get();
    const auto plus = [editor](const char* msg) {
        return [editor, msg] { editor->Plus(QLatin1String(msg)); };
    };
    on("add1", plus("add"));
    on("ajouter", plus("add"));
    connect(m_strip->addButton(), &QToolButton::clicked, this, plus("add"));
    on("insert", plus("ins"));
    on("inserer", plus("ins"));
    on("sup2", [editor] { editor->DelClick(); });
    on("Del", [editor] { editor->DelClick(); });
    connect(m_strip->removeButton(), &QToolButton::clicked, this, [editor] { editor->DelClick(); });
    on("Dup", [editor] { editor->DupClick(); });
    on("arriere", [editor] { editor->arriereClick(); });
    on("avant", [editor] { editor->avantClick(); });
    on("CopyItem", [editor] { editor->CopyItemClick(); });
    on("CutItem", [editor] { editor->CutItemClick(); });
    on("ins", [editor] { editor->insClick(); });
    on("Enajoutantlimage1", [editor] { editor->PasteClick(); });
    on("methode", &TMainform::methodeClick);

    on("Assistantnouvelleanimation1", &TMainform::ToolButton2Click);

    // ---- effects ----
    const auto effect = [this](effects::Effect e) { return [this, e] { runEffect(e); }; };
    on("Defilement", effect(effects::Effect::Scroll));
    on("Remplacement", effect(effects::Effect::Replacement));
    on("Essuyage", effect(effects::Effect::Wipe));
    on("Fondu", effect(effects::Effect::Fade));
    on("SeparationV", effect(effects::Effect::SeparationV));
    on("SeparationH", effect(effects::Effect::SeparationH));
    connect(m_side->period(), &QSpinBox::valueChanged, this, &TMainform::PeriodChange);
    // The field refuses text beyond its range as it is typed; only an emptied field can
    // be left holding no number, and that is checked once, when the user leaves it.
    m_side->period()->installEventFilter(this);
    m_box->frameView()->setMouseTracking(true);
    m_box->frameView()->installEventFilter(this);
}

void TMainform::connectDocument() {
    Document* doc = m_doc.get();
    connect(doc, &Document::imageChanged, this, [this] {
        m_box->animationView()->setImage(m_doc->image());
        installAfterPaint();
        if (!m_doc->hasImage()) m_box->frameView()->clearPicture();
        doscroll();
    });
    connect(doc, &Document::framesRebuilt, this, &TMainform::frameListRebuilt);
    connect(doc, &Document::currentFrameChanged, this, &TMainform::framesChange);
    connect(doc, &Document::modifiedChanged, this, [this] { applyFlags(); });
    connect(doc, &Document::titleChanged, this, &QWidget::setWindowTitle);
    connect(doc, &Document::viewChanged, this, &TMainform::updateViews);
    connect(doc, &Document::fieldsChanged, this, &TMainform::updateFields);
    connect(doc, &Document::loopChoiceChanged, this, &TMainform::updateLoopChoice);
    connect(doc, &Document::commentTextChanged, this, &TMainform::setCommentText);
    connect(doc, &Document::statusHintChanged, this,
            [this](const QString& text) { setPanelText(0, text); });
    connect(doc, &Document::loadingTimeChanged, this,
            [this](const QString& text) { setPanelText(4, text); });
    connect(doc, &Document::progressChanged, this, &TMainform::setProgress);
    connect(doc, &Document::actionWord, this, [this](const QString& word) {
        check(word);
        if (word == QLatin1String("closed")) documentClosed();
    });
    connect(doc, &Document::refreshRequested, this, [this] {
        EnableButtons();
        status();
    });
    connect(doc, &Document::fileOpened, this, [this] {
        PClick(1);
        m_previewPanel->setFocus();
    });
    connect(doc, &Document::fileNotices, this, [this](const QStringList& notices) {
        m_notices->setNotices(notices);
        if (notices.isEmpty())
            m_statusBar->clearMessage();
        else
            m_statusBar->showMessage(notices.size() == 1
                                         ? QStringLiteral("Note on this file above the picture")
                                         : QStringLiteral("%1 notes on this file above the picture")
                                               .arg(notices.size()),
                                     NoticeMessageMs);
    });
    connect(doc, &Document::animationSwitched, this,
            [this](bool on) { m_box->animationView()->setSwitch(on); });

    updateViews(m_doc->view());
    updateFields(m_doc->fields());
    updateLoopChoice();
    setWindowTitle(m_doc->title());
}

// ======================================================================================
// Start-up, hint, services
// ======================================================================================

void TMainform::startUp(const QStringList& arguments, const StartupDialogs& dialogs) {
    FileNewItemClick();
    const bool fileNamed = !arguments.isEmpty();
    if (fileNamed) openCommandLineFiles(arguments);
    // A file named on the command line is what the user asked to see: the welcome step,
    // whose answers all replace the document, is skipped then.
    if (!fileNamed) {
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
    if (dialogs.showHowToIfDue) dialogs.showHowToIfDue();
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
// Command state and status bar
// ======================================================================================

WindowState TMainform::currentState() const {
    WindowState s;
    s.frameViewShown = m_doc->frameViewShown();
    s.entries = m_doc->entryCount();
    s.current = m_doc->currentFrame();
    s.hasImage = m_doc->hasImage();
    s.hasFile = m_doc->hasFile();
    s.modified = m_doc->isModified();
    return s;
}

void TMainform::check(const QString& word) {
    m_flags.check(word, m_doc->frameViewShown());
    applyFlags();
    // The speed bar's Play and Stop follow the same flags as the tool row's.
    EnableButtons();
}

void TMainform::applyFlags() {
    m_saveButton->setEnabled(m_doc->isModified());
    m_cutButton->setEnabled(m_flags.cut);
    m_copyButton->setEnabled(m_flags.copy);
    m_pasteButton->setEnabled(m_flags.paste);
    m_strip->removeButton()->setEnabled(m_flags.remove);
    m_playButton->setEnabled(m_flags.play);
    m_stopButton->setEnabled(m_flags.stop);
    m_strip->addButton()->setEnabled(m_flags.add);
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

void TMainform::status() {
    setPanelText(2, m_doc->framesStatusText());
    setPanelText(3, m_doc->sizeStatusText());
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
    if (panel == 0 && m_doc->progress() >= 0) paintProgressNow();
}

void TMainform::paintProgressNow() {
    // Long work blocks the event loop, so the status bar is painted at once; at most
    // every 40 ms, so that a burst of short operations (each frame's first picture
    // reports its rendering) costs no painting of its own.
    if (m_progressPainted.isValid() && m_progressPainted.elapsed() < 40) return;
    if (!m_statusBar->isVisible()) return;
    m_statusBar->repaint();
    m_progressPainted.start();
}

void TMainform::setProgress(int percent) {
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

void TMainform::selectFrame(int k) {
    m_doc->selectFrame(k);
}

void TMainform::framesChange(int k) {
    if (k < 0 || k >= m_doc->frameCount()) return;
    showFramePicture(k);
    m_doc->setView(Document::View::Frame);
    updateViews(Document::View::Frame);
    m_flags.play = true;
    m_flags.stop = false;
    check(QStringLiteral("selected"));
    m_side->slider()->setValue(k);
    EnableButtons();
    doscroll();
    if (m_doc->currentFrame() >= 0) {
        m_writingPeriod = true;
        m_side->period()->setValue(m_doc->getdelay(QStringLiteral("1"), k));
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

void TMainform::showFramePicture(int k) {
    const gif::GifImage* image = m_doc->image();
    QImage picture = image->ownPicture(size_t(k));
    // The frame view lets the background through exactly where the frame is transparent.
    const gif::GraphicControl* control = image->frame(size_t(k)).graphicControl();
    if (control && control->transparent && control->transparentIndex < picture.colorCount()) {
        QList<QRgb> colors = picture.colorTable();
        colors[control->transparentIndex] = 0;
        picture.setColorTable(colors);
    }
    m_box->frameView()->setPicture(picture);
}

void TMainform::DrawFramesOnTool() {
    // The frame list decides how many slots show: New empties the list before it
    // removes the image.
    m_strip->drawFrames(m_doc->image(), m_doc->entryCount());
}

void TMainform::ClearFramesOnTool() {
    m_strip->clearFrames();
}

void TMainform::ImageScrollChange(int p) {
    DrawFramesOnTool();
    const bool wasScrolling = m_strip->scrolling();
    m_strip->setScrolling(true);
    m_strip->setBadges(p);
    const int h = m_strip->highlighted();
    if (h >= 1 && h <= ThumbnailStrip::Slots) PClick(h);
    m_strip->setScrolling(wasScrolling);
}

void TMainform::PClick(int slot) {
    if (m_strip->slotHidden(slot)) return;
    stopClick();
    selectFrame(m_strip->position() + slot - 1);
    PBClick(slot);
}

void TMainform::PBClick(int slot) {
    m_strip->highlight(slot);
}

void TMainform::frameListRebuilt() {
    const int n = m_doc->entryCount();
    m_strip->setFrameCount(n);
    DrawFramesOnTool();
    m_side->slider()->setRange(0, std::max(0, m_doc->entryCount() - 1));
    m_box->animationView()->setImage(m_doc->image());
    installAfterPaint();
    EnableButtons();
    status();
    if (n == 0) m_box->frameView()->clearPicture();
}

void TMainform::documentClosed() {
    // New: the strip is emptied and its gauge returns to 0, disabled.
    ClearFramesOnTool();
    m_strip->setFrameCount(0);
    m_side->slider()->setRange(0, 0);
    m_box->frameView()->clearPicture();
    updateViews(m_doc->view());
    doscroll();
    EnableButtons();
    status();
}

// ======================================================================================
// Playback and preview
// ======================================================================================

void TMainform::playClick() {
    if (!m_doc->hasImage() || m_doc->frameCount() == 0) return;
    m_box->animationView()->setImage(m_doc->image());
    BoxResize();
    m_doc->play();
    updateViews(m_doc->view());
    check(QStringLiteral("played"));
    EnableButtons();
    if (isVisible()) repaint();
}

void TMainform::stopClick() {
    m_doc->stop();
    if (m_doc->currentFrame() >= 0) m_side->slider()->setValue(m_doc->currentFrame());
    EnableButtons();
}

void TMainform::nextClick() {
    const int n = m_doc->entryCount();
    if (n == 0) return;
    const int k = m_doc->currentFrame();
    selectFrame(k < n - 1 ? k + 1 : 0);
}

void TMainform::backClick() {
    const int n = m_doc->entryCount();
    if (n == 0) return;
    const int k = m_doc->currentFrame();
    selectFrame(k > 0 ? k - 1 : n - 1);
}

void TMainform::RewindbtnClick() {
    if (m_doc->entryCount() > 0) selectFrame(0);
}

void TMainform::ForwardbtnClick() {
    if (m_doc->entryCount() > 0) selectFrame(m_doc->entryCount() - 1);
}

void TMainform::BoxResize() {
    m_box->BoxResize();
}

void TMainform::doscroll() {
    const gif::GifImage* image = m_doc->image();
    m_box->setMarker(image ? QSize(image->screenWidth, image->screenHeight) : QSize(0, 0));
}

void TMainform::After() {
    m_side->slider()->setValue(actived());
}

int TMainform::actived() const {
    return m_box->animationView()->actived();
}

void TMainform::installAfterPaint() {
    if (gif::GifImage* image = m_doc->image()) image->onAfterPaint = [this] { After(); };
}

void TMainform::updateViews(Document::View view) {
    m_box->frameView()->setVisible(view == Document::View::Frame);
    m_box->animationView()->setVisible(view == Document::View::Animation);
}

// ======================================================================================
// Menus' open handlers
// ======================================================================================

void TMainform::File1Click() {
    const FileMenuState s = fileMenuState(currentState());
    action(QStringLiteral("save1"))->setEnabled(s.save);
    action(QStringLiteral("save2"))->setEnabled(s.saveAs);
    action(QStringLiteral("eos"))->setEnabled(s.saveOptimized);
    action(QStringLiteral("retablir"))->setEnabled(s.revert);
    action(QStringLiteral("ajouter"))->setEnabled(s.addImage);
    action(QStringLiteral("inserer"))->setEnabled(s.insertImage);
    action(QStringLiteral("enregistrercadre"))->setEnabled(s.saveImage);
    // Recent entry i always stands in slot i: an empty F1 with a filled F2 hides the
    // first item and shows the second.
    const QStringList recent = m_doc->recentFiles();
    bool any = false;
    for (int i = 1; i <= 4; ++i) {
        QAction* item = action(QStringLiteral("M%1").arg(i));
        const QString name = i <= recent.size() ? QFileInfo(recent[i - 1]).fileName() : QString();
        // "&" in a file name is doubled so that it is shown, not taken as an access key.
        item->setText(QStringLiteral("&%1 ").arg(i) +
                      QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        item->setVisible(!name.isEmpty());
        any = any || !name.isEmpty();
    }
    action(QStringLiteral("N4"))->setVisible(any);
}

void TMainform::Edit1Click() {
    // The clipboard is asked only here: on some desktops asking means a round trip to
    // the display server, too slow for the refreshes that run on every selection.
    WindowState state = currentState();
    state.clipboardHasBitmap = m_platform.clipboard && m_platform.clipboard->hasBitmap();
    const EditMenuState s = editMenuState(m_flags, state);
    action(QStringLiteral("CutItem"))->setEnabled(s.cut);
    action(QStringLiteral("CopyItem"))->setEnabled(s.copy);
    action(QStringLiteral("Del"))->setEnabled(s.remove);
    action(QStringLiteral("Paste"))->setEnabled(s.paste);
}

void TMainform::Voir1Click() {
    action(QStringLiteral("State"))->setChecked(!m_statusBar->isHidden());
    action(QStringLiteral("Tools"))->setChecked(!m_toolBar->isHidden());
    action(QStringLiteral("showloop"))->setChecked(m_stateButtons[0]->isChecked());
    action(QStringLiteral("showrate"))->setChecked(m_stateButtons[1]->isChecked());
    action(QStringLiteral("showcomment"))->setChecked(m_stateButtons[2]->isChecked());
}

void TMainform::Imagesdelanimations1Click() {
    const ImageMenuState s = imageMenuState(currentState());
    action(QStringLiteral("add1"))->setEnabled(s.add);
    action(QStringLiteral("insert"))->setEnabled(s.insert);
    action(QStringLiteral("sup2"))->setEnabled(s.remove);
    action(QStringLiteral("moveitem"))->setEnabled(s.move);
    action(QStringLiteral("methode"))->setEnabled(s.disposal);
    action(QStringLiteral("Dup"))->setEnabled(s.duplicate);
}

void TMainform::moveitemClick() {
    const ImageMenuState s = imageMenuState(currentState());
    action(QStringLiteral("arriere"))->setEnabled(s.backward);
    action(QStringLiteral("avant"))->setEnabled(s.forward);
}

void TMainform::Afficher1Click() {
    const ControlMenuState s = controlMenuState(m_flags, currentState());
    action(QStringLiteral("jouer"))->setEnabled(s.play);
    action(QStringLiteral("arreter"))->setEnabled(s.stop);
    action(QStringLiteral("next"))->setEnabled(s.next);
    action(QStringLiteral("back"))->setEnabled(s.back);
}

void TMainform::EffetsClick() {
    const EffectsMenuState s = effectsMenuState(currentState());
    action(QStringLiteral("Defilement"))->setEnabled(s.scroll);
    action(QStringLiteral("Remplacement"))->setEnabled(s.replacement);
    action(QStringLiteral("Essuyage"))->setEnabled(s.wipe);
    action(QStringLiteral("Fondu"))->setEnabled(s.fade);
    action(QStringLiteral("sep"))->setEnabled(s.separation);
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
    m_toolBar->setVisible(action(QStringLiteral("Tools"))->isChecked());
}

void TMainform::StateClick() {
    m_statusBar->setVisible(action(QStringLiteral("State"))->isChecked());
}

// ======================================================================================
// Document side panel fields
// ======================================================================================

void TMainform::updateFields(const Document::Fields& fields) {
    m_side->infini()->setEnabled(fields.loopChoices);
    m_side->fini()->setEnabled(fields.loopChoices);
    m_side->numLoops()->setEnabled(fields.numLoops);
    m_side->period()->setEnabled(fields.period);
    m_side->comment()->setEnabled(fields.comment);
}

void TMainform::updateLoopChoice() {
    const bool wasReflecting = m_reflecting;
    m_reflecting = true;
    m_side->infini()->setChecked(m_doc->loopInfinite());
    m_side->fini()->setChecked(!m_doc->loopInfinite());
    m_side->numLoops()->setValue(m_doc->numLoops());
    m_reflecting = wasReflecting;
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
    m_runWizard();
}

void TMainform::setWizardRunner(std::function<void()> run) {
    m_runWizard = run ? std::move(run) : m_defaultWizard;
}

void TMainform::setEffectDialog(effects::EffectDialog* dialog) {
    m_effectDialog = dialog ? dialog : m_effectsDialog;
}

void TMainform::runEffect(effects::Effect effect) {
    if (!effects::effectAvailable(*m_doc, effect)) return;
    const std::optional<effects::EffectSettings> settings = m_effectDialog->ask(effect);
    if (!settings) return;
    effects::runEffect(*m_doc, effect, *settings);
}

void TMainform::methodeClick() {
    m_editor->methodeClick(*m_chooser);
}

void TMainform::PeriodChange(int value) {
    m_editor->PeriodChange(QString::number(value), !m_writingPeriod);
}

void TMainform::periodTextRejected(const QString& text) {
    m_editor->PeriodChange(text, true);
}

void TMainform::ImageMouseMove() {
    setPanelText(0, QStringLiteral("To get help, press F1"));
}

bool TMainform::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const auto button = std::find_if(m_menuButtons.begin(), m_menuButtons.end(),
                                         [watched](QToolButton* b) { return b->menu() == watched; });
        if (button != m_menuButtons.end() && (key == Qt::Key_Left || key == Qt::Key_Right)) {
            auto* menu = static_cast<QMenu*>(watched);
            // Right on an item with a submenu opens the submenu, as in any menu.
            const QAction* active = menu->activeAction();
            if (key == Qt::Key_Right && active && active->menu()) return false;
            const int count = int(m_menuButtons.size());
            const int next =
                (int(button - m_menuButtons.begin()) + (key == Qt::Key_Right ? 1 : count - 1)) % count;
            menu->close();
            // Opened once the closed menu's own event loop has ended.
            QMetaObject::invokeMethod(this, [this, next] { openMenu(next); }, Qt::QueuedConnection);
            return true;
        }
    }
    if (m_box && watched == m_box->frameView() && event->type() == QEvent::MouseMove) {
        ImageMouseMove();
    } else if (m_side && watched == m_side->period()) {
        // Leaving the field for another control; a menu or another window taking the
        // focus for a moment is no end of the edit.
        const bool leaving =
            event->type() == QEvent::FocusOut &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason;
        const bool entered = event->type() == QEvent::KeyPress &&
                             (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                              static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
        if (leaving || entered) {
            // Seen before the field puts its last number back in place of the text.
            const QString text = m_side->period()->cleanText();
            bool number = false;
            text.trimmed().toInt(&number);
            // Reported after the field has finished with the event, not from inside it.
            if (!number)
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
    m_doc->FileNewItemClick();
}

void TMainform::FileOpenClick() {
    m_doc->FileOpen1Execute(Document::OpenOrigin::Dialog);
}

void TMainform::recentClick(int slot) {
    static constexpr Document::OpenOrigin origins[] = {
        Document::OpenOrigin::Recent1, Document::OpenOrigin::Recent2, Document::OpenOrigin::Recent3,
        Document::OpenOrigin::Recent4};
    if (slot >= 1 && slot <= 4) m_doc->FileOpen1Execute(origins[slot - 1]);
}

void TMainform::FileSaveClick() {
    m_doc->FileSave1Execute();
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
    if (!m_doc->FormCloseQuery()) {
        event->ignore();
        return;
    }
    m_box->animationView()->setSwitch(false);
    writeSettings();
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
    auto restoreCheck = [&](const char* name) {
        const QString property = QLatin1String(name) + QStringLiteral(".Checked");
        if (store->contains(SettingsKey, property))
            action(QLatin1String(name))->setChecked(store->readInt(SettingsKey, property) != 0);
    };
    for (const char* name : {"Tools", "SA", "Showframes", "ShowVis", "State", "showloop"})
        restoreCheck(name);
    if (store->contains(SettingsKey, key("StatusBar.Visible")))
        m_statusBar->setVisible(store->readInt(SettingsKey, key("StatusBar.Visible")) != 0);
    m_hintCounter = store->readInt(SettingsKey, key("addbtn.Tag"), 0);
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
    for (const char* name : {"Tools", "SA", "Showframes", "ShowVis", "State", "showloop"})
        store->writeInt(SettingsKey, QLatin1String(name) + QStringLiteral(".Checked"),
                        action(QLatin1String(name))->isChecked() ? 1 : 0);
    store->writeInt(SettingsKey, key("StatusBar.Visible"), m_statusBar->isHidden() ? 0 : 1);
    store->writeInt(SettingsKey, key("addbtn.Tag"), m_hintCounter);
    store->sync();
}

} // namespace vorlane
