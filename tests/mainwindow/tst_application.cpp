// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's application object: captions as the window system shows them, and errors
// that escape a command into the event loop.

#include <stdexcept>

#include <QEvent>
#include <QTest>
#include <QWidget>
#include <qpa/qplatformwindow.h>

#include "dialogs/GuidanceDialogs.h"
#include "mainwindow/Application.h"
#include "mainwindow/MainWindow.h"
#include "support/FakePlatform.h"

using vorlane::Application;

namespace {

// The caption the window system is given for a title (what xcb, Wayland and Windows
// show), as Qt's platform plugins format it.
struct PlatformTitle : QPlatformWindow {
    using QPlatformWindow::formatWindowTitle;
};

// Throws whatever it is told to from its event handler.
class Thrower : public QObject {
public:
    std::function<void()> toss;
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) toss();
        return QObject::event(e);
    }
};

} // namespace

class TestApplication : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captionsAreShownAsTheyAre();
    void escapedErrorsAreReported();
};

void TestApplication::captionsAreShownAsTheyAre() {
    // Regression: with the display name set, every dialog read "Welcome — Vorlane Gif".
    vorlane::test::FakePlatform fakes;
    vorlane::TMainform window(fakes.platform());
    vorlane::GuidanceDialogs guidance(window, fakes.platform());
    int checked = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle().isEmpty()) continue;
        QCOMPARE(PlatformTitle::formatWindowTitle(w->windowTitle(), QStringLiteral(" \u2014 ")),
                 w->windowTitle());
        ++checked;
    }
    QVERIFY(checked >= 5); // the window, welcome, how-to, About, options, ...
}

void TestApplication::escapedErrorsAreReported() {
    auto* app = static_cast<Application*>(QCoreApplication::instance());
    QStringList reported;
    app->setErrorReporter([&](const QString& message) { reported << message; });
    Thrower thrower;
    QEvent event(QEvent::User);
    thrower.toss = [] { throw std::runtime_error("Disk on fire"); };
    QCoreApplication::sendEvent(&thrower, &event);
    thrower.toss = [] { throw std::bad_alloc(); };
    QCoreApplication::sendEvent(&thrower, &event);
    thrower.toss = [] { throw 42; };
    QCoreApplication::sendEvent(&thrower, &event);
    QCOMPARE(reported, (QStringList{QStringLiteral("Disk on fire"), Application::OutOfMemory,
                                    Application::UnknownError}));
    app->setErrorReporter({});
}

int main(int argc, char** argv) {
    Application app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
