// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The help window: the contents on the left (or, while a search is typed, the pages
// that match it), the page on the right in a QTextBrowser, and Back, Forward and
// Contents above. Titled "<page> - Vorlane Gif Help", or "Vorlane Gif Help" on the
// contents page. Links to other pages stay in the window; web and mail addresses go to
// the desktop shell.

#include <QList>
#include <QUrl>
#include <QWidget>

#include "help/HelpPages.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QTextBrowser;
class QToolButton;

namespace vorlane {

class Shell;

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // `folder`: the help folder (may be empty or wrong: the window then says where it
    // looked, instead of a page). `shell` opens outside addresses (may be null).
    HelpWindow(const QString& folder, Shell* shell, QWidget* parent = nullptr);

    // Shows the window at `page` (a file name in the folder) and brings it forward.
    // Over a modal dialog the window is modal itself, so that it can be used.
    void showPage(const QString& page);
    // Shows the page for the widget that has the focus (or its window).
    void showFor(const QWidget* focus);

    // The file name of the page shown, empty when none.
    QString currentPage() const;
    QString folder() const { return m_folder; }
    const QList<help::Topic>& topics() const { return m_topics; }

    QTextBrowser* browser() const { return m_browser; }
    QListWidget* contents() const { return m_contents; }
    QListWidget* results() const { return m_results; }
    QLineEdit* search() const { return m_search; }

private:
    void open(const QUrl& url);
    void pageChanged(const QUrl& source);
    void runSearch(const QString& text);
    void openListed(const QListWidget* list, int row);
    void showMissingFolder();

    QString m_folder;
    Shell* m_shell;
    QList<help::Topic> m_topics;
    help::SearchIndex m_index;
    QList<help::Topic> m_found;
    QTextBrowser* m_browser;
    QListWidget* m_contents;
    QListWidget* m_results;
    QLineEdit* m_search;
    QToolButton* m_back;
    QToolButton* m_forward;
    QToolButton* m_home;
};

} // namespace vorlane
