// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes and file dialogs, driven while they are open: titles, texts, icons,
// buttons, the answer of a box closed without a choice, and the extension a save dialog
// adds before it asks about overwriting.

#include <functional>

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "platform/widgets/QtFileDialogs.h"
#include "platform/widgets/QtPrompts.h"

using namespace vorlane;
using Answer = Prompts::Answer;

namespace {
// Runs `step` on the modal window once it is shown (polling the event loop, since the
// window opens inside the call under test).
void whenModal(std::function<void(QWidget*)> step) {
    QTimer::singleShot(0, [step] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) {
            whenModal(step);
            return;
        }
        step(modal);
    });
}
} // namespace

class TestWidgets : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void messageBox_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("expected"); // QMessageBox::StandardButtons
        QTest::addColumn<int>("click");    // the button to click; 0 closes the box
        QTest::addColumn<int>("answer");
        using B = Prompts::Buttons;
        const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel,
                  ok = QMessageBox::Ok;
        QTest::newRow("ok") << int(B::Ok) << ok << ok << int(Answer::Ok);
        QTest::newRow("ok closed") << int(B::Ok) << ok << 0 << int(Answer::Ok);
        QTest::newRow("yes no: no") << int(B::YesNo) << (yes | no) << no << int(Answer::No);
        QTest::newRow("yes no closed") << int(B::YesNo) << (yes | no) << 0 << int(Answer::No);
        QTest::newRow("yes cancel: yes")
            << int(B::YesCancel) << (yes | cancel) << yes << int(Answer::Yes);
        QTest::newRow("yes cancel closed")
            << int(B::YesCancel) << (yes | cancel) << 0 << int(Answer::Cancel);
        QTest::newRow("three: no")
            << int(B::YesNoCancel) << (yes | no | cancel) << no << int(Answer::No);
        QTest::newRow("three closed")
            << int(B::YesNoCancel) << (yes | no | cancel) << 0 << int(Answer::Cancel);
    }
    void messageBox() {
        QFETCH(int, buttons);
        QFETCH(int, expected);
        QFETCH(int, click);
        QFETCH(int, answer);
        QString title;
        QString text;
        int shown = 0;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenModal([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            shown = int(box->standardButtons());
            if (click)
                box->button(QMessageBox::StandardButton(click))->click();
            else
                QTest::keyClick(box, Qt::Key_Escape);
        });
        QtPrompts prompts;
        const Answer result = prompts.ask(Prompts::Icon::Confirmation, Prompts::Buttons(buttons),
                                          QStringLiteral("Line one\nline two?"));
        QCOMPARE(int(result), answer);
        QCOMPARE(title, QStringLiteral("Vorlane Gif"));
        QCOMPARE(text, QStringLiteral("Line one\nline two?"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(shown, expected);
    }

    void iconKinds() {
        const QList<QPair<Prompts::Icon, QMessageBox::Icon>> kinds{
            {Prompts::Icon::Information, QMessageBox::Information},
            {Prompts::Icon::Warning, QMessageBox::Warning},
            {Prompts::Icon::Error, QMessageBox::Critical}};
        for (const auto& [kind, expected] : kinds) {
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            whenModal([&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                icon = box->icon();
                box->button(QMessageBox::Ok)->click();
            });
            QtPrompts().tell(kind, QStringLiteral("x"));
            QCOMPARE(icon, expected);
        }
    }

    // The suffix follows the chosen type, and the overwrite question is about the file
    // that will really be written.
    void saveDialogAddsTheChosenTypesExtension() {
        QTemporaryDir dir;
        QFile existing(dir.filePath(QStringLiteral("old.gif")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        const FileDialogs::SaveRequest request{
            QStringLiteral("Save as"),
            QStringLiteral("GIF image (*.gif)|*.gif|Vorlane Gif format (*.vlgf)|*.vlgf"),
            QStringLiteral("gif"), dir.filePath(QStringLiteral("start.gif")), true};
        QtFileDialogs dialogs;

        const auto type = [](QWidget* w, const QString& name, int filter) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Save as"));
            QCOMPARE(dialog->nameFilters(),
                     (QStringList{QStringLiteral("GIF image (*.gif)"),
                                  QStringLiteral("Vorlane Gif format (*.vlgf)")}));
            auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            QVERIFY(combo);
            combo->setCurrentIndex(filter);
            Q_EMIT combo->textActivated(combo->currentText()); // as the user's choice does
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
            QMetaObject::invokeMethod(dialog, "accept");
        };

        whenModal([&](QWidget* w) { type(w, QStringLiteral("anim"), 1); });
        QCOMPARE(dialogs.savePicture(request),
                 std::optional(dir.filePath(QStringLiteral("anim.vlgf"))));

        whenModal([&](QWidget* w) { type(w, QStringLiteral("plain"), 0); });
        QCOMPARE(dialogs.savePicture(request),
                 std::optional(dir.filePath(QStringLiteral("plain.gif"))));

        bool asked = false;
        whenModal([&](QWidget* w) {
            whenModal([&](QWidget* question) {
                // The question opens inside the file dialog's accept.
                auto* box = qobject_cast<QMessageBox*>(question);
                QVERIFY(box);
                asked = true;
                box->button(QMessageBox::Yes)->click();
            });
            type(w, QStringLiteral("old"), 0);
        });
        QCOMPARE(dialogs.savePicture(request),
                 std::optional(dir.filePath(QStringLiteral("old.gif"))));
        QVERIFY(asked);
    }

    void cancelledDialogsGiveNothing() {
        QtFileDialogs dialogs;
        whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
        QVERIFY(!dialogs.openPicture({QString(), QStringLiteral("GIF image (*.gif)|*.gif"), {}}));
        whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
        QVERIFY(dialogs.openPictures({QString(), QStringLiteral("All|*"), {}}).isEmpty());
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
