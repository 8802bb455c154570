// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The help pages on disk: where the folder is, the contents (the topics that index.html
// lists, in its order), which page fits the window or control that has the focus, and a
// plain-text search over the pages. No widgets here, so the rules are tested directly.

#include <QList>
#include <QString>
#include <QStringList>

namespace vorlane::help {

inline const QString IndexPage = QStringLiteral("index.html");
inline const QString WindowTitle = QStringLiteral("Vorlane Gif Help");

// The help folder for a program in `programFolder`: the installed one under share/
// (relative to the program) or, in the build tree, the copy beside the program. The
// first that holds index.html; empty when none does.
QString findHelpFolder(const QString& programFolder);
// The folders findHelpFolder tries, in order.
QStringList helpFolderCandidates(const QString& programFolder);

struct Topic {
    QString page;  // file name inside the help folder
    QString title; // as the contents list shows it
    friend bool operator==(const Topic&, const Topic&) = default;
};

// The topics of index.html: every link of its list marked class="contents", in order.
QList<Topic> contentsOf(const QString& indexHtml);

// The page for a focused widget, given the objectNames from the widget up to its window
// (nearest first): the first name with a page of its own wins; IndexPage when none has.
QString pageForContext(const QStringList& objectNamesUpward);

// The window title for a page whose <title> is `pageTitle`: "<page> - Vorlane Gif Help",
// or "Vorlane Gif Help" for the contents page and for a page without a title.
QString titleFor(const QString& page, const QString& pageTitle);

// Plain-text search over a set of pages.
class SearchIndex {
public:
    // Reads each topic's page from `folder` (pages that cannot be read are left out).
    void build(const QString& folder, const QList<Topic>& topics);
    // The topics whose text holds every word of `query` (case and accents of letters
    // aside), in contents order; none for a blank query.
    QList<Topic> find(const QString& query) const;
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    struct Entry {
        Topic topic;
        QString text; // folded for comparison
    };
    QList<Entry> m_entries;
};

// Lower case without accents, so that "Separation" finds "séparation" and back.
QString fold(const QString& text);

} // namespace vorlane::help
