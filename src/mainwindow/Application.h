// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The editor's application object. It names the program without setting a display name
// (the window system would append one to every dialog's caption), and it catches what a
// command lets escape into the event loop: the user hears the error's message and the
// program, with the user's unsaved work, goes on. When one of its dialogs closes, the
// window under it takes the focus back, also where no window manager hands it back
// (keys would otherwise go nowhere until the user clicks).

#include <functional>

#include <QApplication>

namespace vorlane {

class Application : public QApplication {
    Q_OBJECT
public:
    using ErrorReporter = std::function<void(const QString& message)>;
    // Shown for an escaped error that carries no message of its own.
    static inline const QString UnknownError =
        QStringLiteral("An unexpected error occurred. Your work is still open; save it to "
                       "keep it.");
    static inline const QString OutOfMemory =
        QStringLiteral("There is not enough memory to complete the operation.");

    Application(int& argc, char** argv);

    // Where escaped errors are reported; without one they go to the warning log.
    void setErrorReporter(ErrorReporter reporter) { m_report = std::move(reporter); }

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void report(const QString& message);
    void focusUnder(QObject* hidden);

    ErrorReporter m_report;
    bool m_reporting = false;
};

} // namespace vorlane
