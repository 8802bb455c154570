// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The new-animation wizard `Tassform` ("Assistant nouvelle animation"): four pages (a
// name; loop and delay; the list of picture files; the final page that runs the
// creation), with "< Previous", "Next >" and "Cancel". Made once and kept: the delay
// and loop count keep their values from one use to the next.

#include <QDialog>
#include <QStringList>

#include "platform/Platform.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

namespace vorlane {

class AnimationModel;
class BackgroundWork;
class DocumentFiles;
namespace formats {
class PictureImport;
}

class Tassform : public QDialog {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("Assistant nouvelle animation");
    static inline const QString NameMissing =
        QStringLiteral("Please enter a name for new animation");
    static inline const QString ListEmpty = QStringLiteral("Please add images to the list");
    static inline const QString CancelQuestion = QStringLiteral(
        "Are you sure you want to quit the wizard and cancel the creation of new animation?");

    // Where the frames are made (nullptr: on this thread).
    void setWork(BackgroundWork* work) { m_work = work; }

    Tassform(DocumentFiles& files, AnimationModel& animation, const Platform& platform,
             const formats::PictureImport& import, QWidget* parent = nullptr);

    // The handlers of the buttons and lists.
    void SuivClick();
    void PreClick();
    void CancelClick();
    void Button2Click();
    void SupClick();
    void UPClick();
    void DownClick();

    // The page shown, 0..3.
    int page() const;
    // The full paths behind the list's entries, entry for entry.
    const QStringList& paths() const { return m_paths; }

protected:
    void showEvent(QShowEvent* event) override; // FormShow: a fresh start
    void hideEvent(QHideEvent* event) override; // FormHide
    // Esc asks as Cancel does.
    void reject() override;

private:
    void goTo(int page);
    void ListeClick();
    void updateupdown();
    void moveEntry(int step);
    // The creation run; returns whether the wizard may close.
    bool create();

    DocumentFiles& m_files;
    BackgroundWork* m_work = nullptr;
    bool m_creatingNow = false; // the animation is being made: Cancel stops that
    AnimationModel& m_animation;
    Platform m_platform;
    const formats::PictureImport& m_import;

    QStackedWidget* m_pages;
    QLineEdit* m_name;
    QRadioButton* m_forever;
    QRadioButton* m_times;
    QSpinBox* m_loops;
    QSpinBox* m_delay;
    QListWidget* m_list;
    QStringList m_paths; // the hidden list of full paths
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
    QLabel* m_creating;
    QProgressBar* m_progress;
    QPushButton* m_previous;
    QPushButton* m_next;
};

} // namespace vorlane
