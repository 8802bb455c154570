// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Fakes of the platform interfaces for headless tests. Questions and file choices are
// answered from scripts and recorded with their exact texts; an unscripted question
// fails the running test.

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "editing/DisposalChooser.h"
#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "platform/Platform.h"
#include "platform/Prompts.h"
#include "platform/QtSettingsStore.h"
#include "platform/SettingsStore.h"
#include "platform/Shell.h"

namespace vorlane::test {

class FakePrompts : public Prompts {
public:
    struct Question {
        Icon icon;
        Buttons buttons;
        QString text;
    };

    // The next question gets `answer`.
    void answer(Answer a) { m_script.push_back({a, std::nullopt}); }
    // The next question must have this text, and gets `answer`; a different text fails
    // the test.
    void expect(const QString& text, Answer a) { m_script.push_back({a, text}); }

    Answer ask(Icon icon, Buttons buttons, const QString& text) override;

    const QList<Question>& asked() const { return m_asked; }
    // Texts of the questions asked so far.
    QStringList texts() const;
    // Scripted answers not used yet.
    int pending() const { return int(m_script.size()); }
    void clear() {
        m_asked.clear();
        m_script.clear();
    }

private:
    struct Step {
        Answer answer;
        std::optional<QString> text;
    };
    std::deque<Step> m_script;
    QList<Question> m_asked;
};

class FakeFileDialogs : public FileDialogs {
public:
    enum class Kind { OpenOne, OpenMany, SavePicture, SaveFile };
    struct Request {
        Kind kind;
        QString title;
        QString filter;
        QString defaultExtension;
        QString initialFile;
        bool askOverwrite = false;
    };

    // The next dialog returns these names; an empty list (or choose(std::nullopt))
    // cancels it.
    void choose(std::optional<QString> name);
    void chooseMany(QStringList names) { m_script.push_back(std::move(names)); }
    void cancel() { m_script.push_back({}); }

    std::optional<QString> openPicture(const OpenRequest& request) override;
    QStringList openPictures(const OpenRequest& request) override;
    std::optional<QString> savePicture(const SaveRequest& request) override;
    std::optional<QString> saveFile(const SaveRequest& request) override;

    const QList<Request>& requests() const { return m_requests; }
    int pending() const { return int(m_script.size()); }

private:
    QStringList next();
    std::deque<QStringList> m_script;
    QList<Request> m_requests;
};

class FakeClipboard : public Clipboard {
public:
    bool hasBitmap() const override { return !m_picture.isNull() || m_frames.has_value(); }
    QImage bitmap() const override { return m_picture; }
    void setBitmap(const QImage& picture) override {
        m_picture = picture;
        m_frames.reset();
    }
    void setFrames(const QByteArray& gif, const QImage& picture) override {
        m_picture = picture;
        m_frames = Frames{gif, true};
    }
    std::optional<Frames> frames() const override { return m_frames; }
    // GIF data as another program puts it there.
    void setForeignGif(const QByteArray& gif) {
        m_picture = QImage();
        m_frames = Frames{gif, false};
    }

private:
    QImage m_picture;
    std::optional<Frames> m_frames;
};

class FakeShell : public Shell {
public:
    void open(const QString& target) override { m_opened << target; }
    const QStringList& opened() const { return m_opened; }

private:
    QStringList m_opened;
};

class FakeClock : public Clock {
public:
    qint64 nowMs() const override;
    void set(qint64 ms) { m_now = ms; }
    void advance(qint64 ms) { m_now += ms; }
    // Each reading advances the clock by `ms` after it is taken, so that a command that
    // reads the clock twice sees `ms` pass in between.
    void setStep(qint64 ms) { m_step = ms; }

private:
    mutable qint64 m_now = 0;
    qint64 m_step = 0;
};

// A settings store in memory.
class MemorySettings : public SettingsStore {
public:
    bool contains(const QString& key, const QString& name) const override;
    QString readString(const QString& key, const QString& name,
                       const QString& fallback = {}) const override;
    int readInt(const QString& key, const QString& name, int fallback = 0) const override;
    void writeString(const QString& key, const QString& name, const QString& value) override;
    void writeInt(const QString& key, const QString& name, int value) override;
    void sync() override { ++m_syncs; }

    // Every write in order, as "key|name=value".
    const QStringList& writes() const { return m_writes; }
    void clearWrites() { m_writes.clear(); }
    int syncs() const { return m_syncs; }

private:
    static QString normalKey(const QString& key);
    std::map<std::pair<QString, QString>, QString> m_values;
    QStringList m_writes;
    int m_syncs = 0;
};

// The real store on an INI file in a temporary folder that goes away with it.
class TempSettings {
public:
    TempSettings() : m_store(m_dir.filePath(QStringLiteral("settings.ini"))) {}
    QtSettingsStore& store() { return m_store; }
    QString fileName() const { return m_dir.filePath(QStringLiteral("settings.ini")); }

private:
    QTemporaryDir m_dir;
    QtSettingsStore m_store;
};

// The disposal choice answered from a script. Like the dialog, it keeps its list's
// choice between uses: a preselection of -1 leaves the item chosen last (0 at first).
class FakeDisposalChooser : public DisposalChooser {
public:
    // The next choice answers with this item (std::nullopt: Cancel, the list as shown).
    void answer(std::optional<int> item) { m_script.push_back(item); }
    std::optional<int> choose(int item) override;

    // The item shown when each choice opened, in order.
    const QList<int>& shown() const { return m_shown; }
    int pending() const { return int(m_script.size()); }

private:
    std::deque<std::optional<int>> m_script;
    QList<int> m_shown;
    int m_item = 0;
};

// One fake of each service, wired into a Platform.
struct FakePlatform {
    FakePrompts prompts;
    FakeFileDialogs dialogs;
    FakeClipboard clipboard;
    FakeShell shell;
    FakeClock clock;
    MemorySettings settings;
    // Long work on a worker thread, as in the program.
    bool threadedWork = false;

    Platform platform() {
        return Platform{&settings, &prompts, &dialogs, &clipboard, &shell, &clock, threadedWork};
    }
};

} // namespace vorlane::test
