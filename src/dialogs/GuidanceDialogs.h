// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The guidance dialogs of the editor (welcome, how-to, About, options), made once for a
// main window and kept until it goes, and the commands that reach them or the outside:
// the Help menu (help window, home page, mail, how-to, About) and View > "Options...".
// F1 opens the help window at the page for the window or dialog that has the focus.
// It also supplies the start-up sequence's welcome and how-to steps.
//
// Every modal showing goes through one runner, so that tests answer the dialogs by acting
// on their controls without a nested event loop.

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

#include "dialogs/Endpoints.h"
#include "mainwindow/MainWindow.h"
#include "platform/Platform.h"

class QDialog;

namespace vorlane {

class HelpWindow;
class TAboutBox;
class THowForm;
class TOptions;
class Twelcome;

class GuidanceDialogs : public QObject {
    Q_OBJECT
public:
    // Shows a dialog modally and returns its result (QDialog::Accepted or Rejected).
    using ModalRunner = std::function<int(QDialog&)>;

    // Makes the dialogs as children of `window` and connects the window's Help menu items
    // and "Options...".
    GuidanceDialogs(TMainform& window, const Platform& platform, Endpoints endpoints = {});

    // The welcome and how-to steps of the start-up sequence; the welcome dialog's wizard
    // choice runs the window's wizard.
    StartupDialogs startupDialogs();

    // Replaces how dialogs are shown modally; an empty runner restores exec().
    void setModalRunner(ModalRunner runner);
    // The folder the help pages are looked for from (see help::findHelpFolder); the
    // program's folder unless replaced.
    void setProgramFolder(const QString& folder);
    // The help window, made at its first use.
    HelpWindow* helpWindow();

    // ---- start-up steps ----
    // Reads the welcome settings again: whether the welcome dialog is switched off.
    bool welcomeSuppressed();
    // Starts a new, empty animation behind the dialog, fills its recent rows and shows it;
    // the choice when it closes with OK.
    std::optional<WelcomeChoice> showWelcome();
    // Reads the how-to settings again; when the dialog is due, counts it and shows it.
    void showHowToIfDue();

    // ---- menu commands ----
    void Rubriquesdaide1Click();      // Help topics, F1
    void Manueldepriseenmain1Click(); // How to create gifs
    void Visiterlesiteweb1Click();    // home page
    void Envoyerunemail1Click();      // Contact > by e-mail
    void HelpAbout1Execute();         // About
    void Options2Click();             // View > Options...

    Twelcome* welcome() const { return m_welcome; }
    THowForm* howTo() const { return m_howTo; }
    TAboutBox* about() const { return m_about; }
    TOptions* options() const { return m_options; }

protected:
    // F1 in a dialog opens the help at the dialog's page (the main window has its own
    // key, the item's).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int runModal(QDialog& dialog);
    void connectItem(Act act, void (GuidanceDialogs::*handler)());

    TMainform& m_window;
    Platform m_platform;
    QString m_programFolder;
    HelpWindow* m_help = nullptr;
    ModalRunner m_runner;
    THowForm* m_howTo;
    TOptions* m_options;
    TAboutBox* m_about;
    Twelcome* m_welcome;
};

} // namespace vorlane
