// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The animation document: the one animation being edited. It owns the codec image and
// the state the main window shows beside it (name, path, has-file and modified flags,
// frame list with its current frame, loop choice, comment, which view is shown, status
// texts), and emits signals so the window can follow every change without polling.
// Every change to the animation goes through a method of this class.
//
// Operation names follow the editor's established vocabulary (ren, getdelay,
// creategces, loopext, makeloopongif, FileOpen1Execute, ...) so that the window's
// handlers read as thin calls into the document.

#include <memory>

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>

#include "codec/GifImage.h"
#include "platform/Platform.h"

namespace vorlane {

class Document : public QObject {
    Q_OBJECT
public:
    // Where an opening starts, which decides where the file name comes from.
    enum class OpenOrigin { Dialog, Recent1, Recent2, Recent3, Recent4, CommandLine, Revert };
    // Which of the two views of the preview area is shown.
    enum class View { Frame, Animation, None };
    enum class SaveResult { Saved, Cancelled, Failed };

    // Enabled states of the side panel's fields.
    struct Fields {
        bool loopChoices = false; // `infini` and `fini`
        bool numLoops = false;    // `NumLoops`
        bool period = false;      // `Period`
        bool comment = false;     // `Gifcomment`
        friend bool operator==(const Fields&, const Fields&) = default;
    };

    static inline const QString AppTitle = QStringLiteral("Vorlane Gif");
    static inline const QString UntitledName = QStringLiteral("Untitled.gif");
    static inline const QString RecentKey = QStringLiteral("\\Software\\Vorlane Gif\\Recent");

    explicit Document(const Platform& platform, QObject* parent = nullptr);
    ~Document() override;

    // ---- the document image ----
    // None for a new animation before its first frame, and after a failed open.
    gif::GifImage* image() { return m_image.get(); }
    const gif::GifImage* image() const { return m_image.get(); }
    bool hasImage() const { return m_image != nullptr; }
    // Replaces the document image (nullptr removes it), installs the document's progress
    // and animation-switch handlers on it and emits imageChanged. The frame list is not
    // touched: callers run `ren` and select what they want afterwards.
    void setImage(std::unique_ptr<gif::GifImage> image);
    // Frames of the document image; 0 without an image.
    int frameCount() const;

    // ---- names and flags ----
    QString name() const { return m_name; }
    QString path() const { return m_path; }
    // name + " - " + "Vorlane Gif"
    QString title() const;
    bool hasFile() const { return m_hasFile; }
    bool isModified() const { return m_modified; }
    // Marks the document modified without the refreshes of `changed`.
    void setModified(bool modified);

    // ---- frame list ----
    // Entry labels "#001: name", one per frame after `ren`.
    QStringList frameLabels() const { return m_labels; }
    int entryCount() const { return int(m_labels.size()); }
    // Index of the selected entry, -1 when none.
    int currentFrame() const { return m_current; }
    // Selects entry k (-1 for none). Emits currentFrameChanged only when the selection
    // changes, as a list does.
    void selectFrame(int k);
    // Emits currentFrameChanged for the current entry although it did not change (the
    // stop command runs the selection routine again).
    void reselectCurrentFrame();
    // Number of the entry about to be appended to a list of `entries` entries:
    // "001" .. "099", "100", "1000".
    static QString NextIndex(int entries);

    // ---- views and side panel fields ----
    View view() const { return m_view; }
    void setView(View view);
    bool frameViewShown() const { return m_view == View::Frame; }
    Fields fields() const { return m_fields; }
    void setFields(const Fields& fields);

    // ---- model operations ----
    // Rebuilds the frame list from the document image; nothing is selected afterwards.
    // Requires an image.
    void ren();
    // With the selector "1": the delay of frame i in hundredths of a second, giving the
    // frame a graphic control record first when it has none.
    int getdelay(const QString& selector, int frame);
    // Gives every frame without a graphic control record a new one (all fields 0),
    // entered in its extension list.
    void creategces();
    // Marks the document modified and asks the window to refresh buttons and status.
    void changed();
    // Enables the side panel's fields by frame count.
    void CheckNil();

    // ---- loop and comment ----
    bool loopInfinite() const { return m_loopInfinite; }
    int numLoops() const { return m_numLoops; }
    // The loop record of frame 0 (the first one when there are several), created at the
    // head of its records when missing; nullptr without frames.
    gif::Extension* loopext();
    void loopdoopened();
    void makeloopongif();
    // makeloopongif for a command that changed the frames.
    void writeLoopChoice() { makeloopongif(); }
    void infiniClick();
    void finiClick();
    void NumLoopsChange(int value);
    bool thereiscommentext() const;
    int comextindex();
    void addcommenttogif();
    void commentdoopened();
    QString commentText() const { return m_comment; }
    bool commentArmed() const { return m_commentArmed; }
    // Every change of the comment box's text, by the user or by the program.
    void GifcommentChange(const QString& text);

    // ---- opening, saving, new, closing ----
    // `fileName` is used by the command-line origin only.
    void FileOpen1Execute(OpenOrigin origin, const QString& fileName = {});
    SaveResult FileSave1Execute();
    void save2Click();
    void eosClick();
    void retablirClick();
    void enregistrercadreClick();
    // New, after the save question.
    void FileNewItemClick();
    // The close request's question: whether the window may close.
    bool FormCloseQuery();
    // F1..F4 as stored ("" where empty or missing).
    QStringList recentFiles() const;

    // ---- playback state ----
    // Play: graphic control records for all, animation view, fields disabled, switch
    // off then on. Stop: switch off, select the first entry when none, run the
    // selection routine again, fields enabled.
    void play();
    void stop();

    // ---- status texts ----
    // Panel 0 (hints and progress texts) and panel 4 (loading time).
    QString statusHint() const { return m_statusHint; }
    QString loadingTime() const { return m_loadingTime; }
    // Progress bar percentage during long work, -1 when no bar is drawn.
    int progress() const { return m_progress; }
    // Panel 2: "Aucune image" without an image, else "<entries> image(s)".
    QString framesStatusText() const;
    // Panel 3: "" without an image, else "Animation <width>x<height>".
    QString sizeStatusText() const;
    // "Loaded in <seconds> s", seconds in the shortest decimal form with the default
    // locale's decimal separator and no group separators ("Loaded in 0.125 s").
    static QString loadingTimeText(qint64 elapsedMs);
    // The codec's progress report for an operation on the document image: panel 0 text,
    // percentage, and at the end no bar and "To get help, press F1". Installed on the
    // document image and on the working images of opening and saving; other commands
    // may install it on theirs.
    void gifProgress(gif::Stage stage, int percent, gif::ProgressMessage message);

    // ---- notifications for commands outside the document ----
    // Announces a command-state moment (see actionWord).
    void sendActionWord(const QString& word) { Q_EMIT actionWord(word); }
    // Asks the window to refresh the player buttons and the status panels.
    void requestRefresh() { Q_EMIT refreshRequested(); }
    // A fresh start for an animation built from scratch: no image, no frames, no file
    // (the first Save asks for a name), nothing selected.
    void discardImageAndFile();
    // Names the animation (frame-list entries and title) without touching its file.
    void setAnimationName(const QString& name) { setTitleName(name); }
    // Empties the loading-time panel.
    void clearLoadingTime();

Q_SIGNALS:
    // The document image was replaced, created or removed.
    void imageChanged();
    // `ren` ran: labels rebuilt, nothing selected.
    void framesRebuilt();
    // The selection routine must run for entry k (-1: nothing selected).
    void currentFrameChanged(int k);
    void modifiedChanged(bool modified);
    void titleChanged(const QString& title);
    void viewChanged(vorlane::Document::View view);
    void fieldsChanged(const vorlane::Document::Fields& fields);
    // Loop choice or count changed (by the program or through the handlers).
    void loopChoiceChanged();
    // The program replaced the comment text (opening, New).
    void commentTextChanged(const QString& text);
    void statusHintChanged(const QString& text);
    void loadingTimeChanged(const QString& text);
    void progressChanged(int percent);
    // A command-state moment: "closed", "opened", "pasted", "played", "alsup", "selected".
    void actionWord(const QString& word);
    // Player buttons and status panels need a refresh (`EnableButtons`, `status`).
    void refreshRequested();
    // Opening succeeded and selected frame 0; the window picks the first thumbnail slot.
    void fileOpened();
    void animationSwitched(bool on);
    // What the user should know about the file just opened (what the reader repaired or
    // ignored, a missing loop setting); empty after New and after a clean open.
    void fileNotices(const QStringList& notices);
    void recentFilesChanged();

private:
    void chooseLoop(bool infinite);
    void installHandlers(gif::GifImage& image);
    void setProgress(int percent);
    void setStatusHint(const QString& text);
    void setTitleName(const QString& name);
    // Move-to-front of the recent-files list with exact comparison; writes only the
    // values that change.
    void updateRecent(const QString& fileName);
    // Writes `image` to `fileName`; reports a failure with its reason and returns false.
    bool writeImage(const gif::GifImage& image, const QString& fileName);
    // The text the comment box shows for frame 0's comment records.
    QString frame0CommentText() const;
    // Where the Save as dialog starts: the document's name in its folder.
    QString saveDialogStart() const;
    // True when frame 0 exists; reports that there is nothing to save when the image
    // has no frames.
    bool checkSomethingToSave();

    Platform m_platform;
    std::unique_ptr<gif::GifImage> m_image;
    QString m_name = UntitledName;
    QString m_path;
    bool m_hasFile = false;
    bool m_modified = false;
    QStringList m_labels;
    int m_current = -1;
    View m_view = View::Frame;
    Fields m_fields;
    bool m_loopInfinite = true;
    int m_numLoops = 1;
    QString m_comment;
    bool m_commentArmed = false;
    QString m_statusHint = QStringLiteral("To get help, press F1");
    QString m_loadingTime;
    int m_progress = -1;
    // The open dialog starts at the file opened last.
    QString m_openDialogFile;
    // The file path names a file that failed to open: Save must not write over it.
    bool m_pathFailed = false;
};

} // namespace vorlane
