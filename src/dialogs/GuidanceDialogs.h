// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The guidance dialogs of the editor (welcome, how-to, About, options), made once for a
// main window and kept until it goes, and the commands that reach them or the outside:
// the Help menu (help file, home page, mail, how-to, About) and View > "Options...".
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

class TAboutBox;
class THowForm;
class TOptions;
class Twelcome;

class GuidanceDialogs : public QObject {
    Q_OBJECT
public:
    static inline const QString HelpFileName = QStringLiteral("Vorlane.chm");
    static inline const QString MissingHelpFile =
        QStringLiteral("The help file \"%1\" was not found.");

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
    // The folder the help file is looked for in, ending in a separator; the program's
    // folder unless replaced.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }
    QString helpFilePath() const { return m_programFolder + HelpFileName; }

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

private:
    int runModal(QDialog& dialog);
    void connectItem(const QString& name, void (GuidanceDialogs::*handler)());

    TMainform& m_window;
    Platform m_platform;
    QString m_programFolder;
    ModalRunner m_runner;
    THowForm* m_howTo;
    TOptions* m_options;
    TAboutBox* m_about;
    Twelcome* m_welcome;
};

} // namespace vorlane
