// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/Application.h"

#include <exception>
#include <new>

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "document/DocumentFiles.h"

namespace vorlane {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(DocumentFiles::AppTitle);
    setOrganizationName(DocumentFiles::AppTitle);
    // No application display name: the window system appends it to every top-level
    // window's caption ("Welcome — Vorlane Gif"); each caption names the program
    // where it should.
}

bool Application::notify(QObject* receiver, QEvent* event) {
    if (event->type() == QEvent::Hide) focusUnder(receiver);
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        report(OutOfMemory);
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        report(message.isEmpty() ? UnknownError : message);
    } catch (...) {
        report(UnknownError);
    }
    return false;
}

void Application::focusUnder(QObject* hidden) {
    if (!hidden->isWidgetType()) return;
    auto* widget = static_cast<QWidget*>(hidden);
    // Dialogs and windows only: a menu or a tooltip that closes hands nothing back (a
    // menu's command may be opening a dialog that must keep the focus).
    const Qt::WindowType type = widget->windowType();
    if (!widget->isWindow() || !widget->parentWidget() ||
        (type != Qt::Dialog && type != Qt::Window && type != Qt::Sheet))
        return;
    // Once the hide is through: a dialog shown in its place (the next of a sequence)
    // keeps the focus.
    QPointer<QWidget> under = widget->parentWidget()->window();
    QTimer::singleShot(0, this, [under] {
        if (!under || !under->isVisible()) return;
        const QWidget* modal = activeModalWidget();
        if (modal && modal != under) return;
        const QWidget* active = activeWindow();
        if (!active || !active->isVisible()) under->activateWindow();
    });
}

void Application::report(const QString& message) {
    // A failure while the report itself is up (its box runs an event loop) is not
    // reported on top of it.
    if (m_reporting || !m_report) {
        qWarning("%s", qPrintable(message));
        return;
    }
    m_reporting = true;
    try {
        m_report(message);
    } catch (...) {
        qWarning("%s", qPrintable(message));
    }
    m_reporting = false;
}

} // namespace vorlane
