// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/GuidanceDialogs.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QSpinBox>

#include "dialogs/About.h"
#include "dialogs/OptionsBox.h"
#include "dialogs/RecoveryDialog.h"
#include "dialogs/SmallTuto.h"
#include "dialogs/WelcomeActions.h"
#include "dialogs/Wizard.h"
#include "editing/FrameCommands.h"
#include "help/HelpPages.h"
#include "help/HelpWindow.h"

namespace vorlane {

GuidanceDialogs::GuidanceDialogs(TMainform& window, const Platform& platform, Endpoints endpoints)
    : QObject(&window), m_window(window), m_platform(platform),
      m_programFolder(TMainform::Basepath()), m_howTo(new THowForm(platform.settings, &window)),
      m_options(new TOptions(&window)),
      m_about(new TAboutBox(platform.shell, std::move(endpoints), &window)),
      m_welcome(new Twelcome(platform.settings, &window)) {
    connect(m_welcome, &Twelcome::hintRequested, &window, &TMainform::startHintTimer);
    connectItem(Act::HelpTopics, &GuidanceDialogs::Rubriquesdaide1Click);
    connectItem(Act::HowTo, &GuidanceDialogs::Manueldepriseenmain1Click);
    connectItem(Act::HomePage, &GuidanceDialogs::Visiterlesiteweb1Click);
    connectItem(Act::Mail, &GuidanceDialogs::Envoyerunemail1Click);
    connectItem(Act::About, &GuidanceDialogs::HelpAbout1Execute);
    connectItem(Act::Options, &GuidanceDialogs::Options2Click);
    // The wizard is made once and kept; the window runs it from its menu.
    auto* wizard = new Tassform(window.files(), window.animation(), platform,
                                window.commands().pictureImport(), &window);
    wizard->setWork(&window.work());
    window.setWizardRunner([wizard] { wizard->exec(); });
    qApp->installEventFilter(this);
}

void GuidanceDialogs::setProgramFolder(const QString& folder) {
    m_programFolder = folder;
    delete m_help;
    m_help = nullptr;
}

HelpWindow* GuidanceDialogs::helpWindow() {
    if (!m_help)
        m_help = new HelpWindow(help::findHelpFolder(m_programFolder), m_platform.shell, &m_window);
    return m_help;
}

bool GuidanceDialogs::eventFilter(QObject* watched, QEvent* event) {
    // The window's F1 also serves its own dialogs; this is for dialogs of no window.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1 &&
        watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        const QWidget* window = widget->window();
        if (qobject_cast<const QDialog*>(window) && window != m_help) {
            helpWindow()->showFor(widget);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void GuidanceDialogs::connectItem(Act act, void (GuidanceDialogs::*handler)()) {
    connect(m_window.action(act), &QAction::triggered, this, handler);
}

StartupDialogs GuidanceDialogs::startupDialogs() {
    StartupDialogs hooks;
    hooks.welcomeSuppressed = [this] { return welcomeSuppressed(); };
    hooks.showWelcome = [this] { return showWelcome(); };
    hooks.showHowToIfDue = [this] { showHowToIfDue(); };
    hooks.runWizard = [this] { m_window.ToolButton2Click(); };
    hooks.offerRecovery = [this] {
        return offerRecovery(m_window, m_platform, [this](QDialog& d) { return runModal(d); });
    };
    return hooks;
}

void GuidanceDialogs::setModalRunner(ModalRunner runner) {
    m_runner = std::move(runner);
}

int GuidanceDialogs::runModal(QDialog& dialog) {
    if (m_runner) return m_runner(dialog);
    return dialog.exec();
}

bool GuidanceDialogs::welcomeSuppressed() {
    m_welcome->readSettings();
    return m_welcome->startupSuppressed();
}

std::optional<WelcomeChoice> GuidanceDialogs::showWelcome() {
    // Whatever the choice, the window holds a fresh animation behind the dialog.
    m_window.FileNewItemClick();
    m_welcome->FormShow();
    if (runModal(*m_welcome) != QDialog::Accepted) return std::nullopt;
    return m_welcome->choice();
}

void GuidanceDialogs::showHowToIfDue() {
    m_howTo->readSettings();
    if (!m_howTo->dueAtStartUp()) return;
    m_howTo->countAutomaticShowing();
    runModal(*m_howTo);
}

void GuidanceDialogs::Rubriquesdaide1Click() {
    // The key reaches the window's item also from its dialogs: the active window tells
    // which, and the focus inside it which part.
    const QWidget* active = QApplication::activeWindow();
    if (!active || active == m_help) active = &m_window;
    const QWidget* focus = QApplication::focusWidget();
    helpWindow()->showFor(focus && focus->window() == active ? focus : active);
}

void GuidanceDialogs::Manueldepriseenmain1Click() {
    runModal(*m_howTo);
}

void GuidanceDialogs::Visiterlesiteweb1Click() {
    m_about->urlClick();
}

void GuidanceDialogs::Envoyerunemail1Click() {
    m_about->mailClick();
}

void GuidanceDialogs::HelpAbout1Execute() {
    runModal(*m_about);
}

void GuidanceDialogs::Options2Click() {
    m_options->welc()->setChecked(m_welcome->checkstart()->isChecked());
    m_options->undoMemory()->setValue(m_window.historyLimitMB());
    m_options->recoverySeconds()->setValue(m_window.recoverySeconds());
    if (runModal(*m_options) == QDialog::Accepted) {
        m_welcome->checkstart()->setChecked(m_options->welc()->isChecked());
        m_window.setHistoryLimitMB(m_options->undoMemory()->value());
        if (m_options->recoverySeconds()->value() != m_window.recoverySeconds())
            m_window.setRecoverySeconds(m_options->recoverySeconds()->value());
    }
    m_welcome->writeSettings();
}

} // namespace vorlane
