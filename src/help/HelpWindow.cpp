// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/HelpWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "platform/Shell.h"

namespace vorlane {

namespace {
QToolButton* addButton(QToolBar* bar, const QString& name, const QString& text,
                       const QString& themeIcon, QStyle::StandardPixmap fallback) {
    auto* button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(text);
    button->setIcon(QIcon::fromTheme(themeIcon, bar->style()->standardIcon(fallback)));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}
} // namespace

HelpWindow::HelpWindow(const QString& folder, Shell* shell, QWidget* parent)
    : QWidget(parent, Qt::Window), m_folder(folder), m_shell(shell), m_browser(new QTextBrowser),
      m_contents(new QListWidget), m_results(new QListWidget), m_search(new QLineEdit) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(help::WindowTitle);
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("HelpToolBar"));
    m_back = addButton(bar, QStringLiteral("HelpBack"), QStringLiteral("Back"),
                       QStringLiteral("go-previous"), QStyle::SP_ArrowBack);
    m_forward = addButton(bar, QStringLiteral("HelpForward"), QStringLiteral("Forward"),
                          QStringLiteral("go-next"), QStyle::SP_ArrowForward);
    m_home = addButton(bar, QStringLiteral("HelpHome"), QStringLiteral("Contents"),
                       QStringLiteral("go-home"), QStyle::SP_DirHomeIcon);
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);

    m_search->setObjectName(QStringLiteral("HelpSearch"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    m_contents->setObjectName(QStringLiteral("HelpContents"));
    m_results->setObjectName(QStringLiteral("HelpResults"));
    m_results->hide();
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_search);
    leftLayout->addWidget(m_contents, 1);
    leftLayout->addWidget(m_results, 1);

    m_browser->setObjectName(QStringLiteral("HelpPage"));
    // Links are followed here: pages of the folder in the window, the rest by the shell.
    m_browser->setOpenLinks(false);
    m_browser->setSearchPaths({m_folder});

    auto* split = new QSplitter(Qt::Horizontal);
    split->setObjectName(QStringLiteral("HelpSplitter"));
    split->addWidget(left);
    split->addWidget(m_browser);
    split->setStretchFactor(1, 1);
    split->setSizes({250, 650});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(bar);
    layout->addWidget(split, 1);
    resize(920, 660);

    if (!m_folder.isEmpty()) {
        QFile index(m_folder + QLatin1Char('/') + help::IndexPage);
        if (index.open(QIODevice::ReadOnly))
            m_topics = help::contentsOf(QString::fromUtf8(index.readAll()));
    }
    m_contents->addItem(QStringLiteral("Contents"));
    for (const help::Topic& topic : m_topics)
        m_contents->addItem(topic.title);

    connect(m_back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_home, &QToolButton::clicked, this, [this] { showPage(help::IndexPage); });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QWidget::setEnabled);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::open);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::pageChanged);
    connect(m_contents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openListed(m_contents, m_contents->row(item)); });
    connect(m_contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { openListed(m_contents, m_contents->row(item)); });
    connect(m_results, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { openListed(m_results, m_results->row(item)); });
    connect(m_results, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { openListed(m_results, m_results->row(item)); });
    connect(m_search, &QLineEdit::textChanged, this, &HelpWindow::runSearch);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
}

void HelpWindow::showPage(const QString& page) {
    if (m_folder.isEmpty() || !QFileInfo::exists(m_folder + QLatin1Char('/') + page)) {
        if (m_folder.isEmpty())
            showMissingFolder();
        else
            open(QUrl::fromLocalFile(m_folder + QLatin1Char('/') + help::IndexPage));
    } else {
        open(QUrl::fromLocalFile(m_folder + QLatin1Char('/') + page));
    }
    // A modal dialog blocks every window but its own children and modal windows opened
    // after it; the help for that dialog must be usable all the same.
    const QWidget* modal = QApplication::activeModalWidget();
    const bool overModal = modal && modal != this;
    if (overModal != (windowModality() == Qt::ApplicationModal)) {
        hide();
        setWindowModality(overModal ? Qt::ApplicationModal : Qt::NonModal);
    }
    show();
    raise();
    activateWindow();
}

void HelpWindow::showFor(const QWidget* focus) {
    QStringList names;
    for (const QObject* o = focus; o; o = o->parent())
        names << o->objectName();
    showPage(help::pageForContext(names));
}

QString HelpWindow::currentPage() const {
    const QUrl source = m_browser->source();
    return source.isEmpty() ? QString() : QFileInfo(source.toLocalFile()).fileName();
}

void HelpWindow::open(const QUrl& url) {
    const QUrl target = m_browser->source().resolved(url);
    if (target.isLocalFile() || target.scheme().isEmpty()) {
        if (target.toLocalFile() == m_browser->source().toLocalFile() && !target.hasFragment())
            return;
        m_browser->setSource(target);
        return;
    }
    if (m_shell) m_shell->open(target.toString());
}

void HelpWindow::pageChanged(const QUrl& source) {
    // source() still names the page before while this signal is delivered.
    const QString page = QFileInfo(source.toLocalFile()).fileName();
    setWindowTitle(help::titleFor(page, m_browser->documentTitle()));
    // The contents list follows the page shown.
    int row = page == help::IndexPage ? 0 : -1;
    for (int i = 0; i < m_topics.size(); ++i)
        if (m_topics[i].page == page) row = i + 1;
    const QSignalBlocker quiet(m_contents);
    m_contents->setCurrentRow(row);
    // A page reached from a search shows its first match.
    const QString query = m_search->text().simplified();
    if (!query.isEmpty() && !m_found.isEmpty())
        m_browser->find(query.section(QLatin1Char(' '), 0, 0));
}

void HelpWindow::runSearch(const QString& text) {
    const bool searching = !text.trimmed().isEmpty();
    m_contents->setVisible(!searching);
    m_results->setVisible(searching);
    m_results->clear();
    m_found.clear();
    if (!searching) return;
    if (m_index.isEmpty()) m_index.build(m_folder, m_topics);
    m_found = m_index.find(text);
    for (const help::Topic& topic : m_found)
        m_results->addItem(topic.title);
    if (m_found.isEmpty()) {
        m_results->addItem(QStringLiteral("No page mentions this."));
        m_results->item(0)->setFlags(Qt::NoItemFlags);
    }
}

void HelpWindow::openListed(const QListWidget* list, int row) {
    if (list == m_contents) {
        if (row == 0)
            showPage(help::IndexPage);
        else if (row > 0 && row <= m_topics.size())
            open(QUrl::fromLocalFile(m_folder + QLatin1Char('/') + m_topics[row - 1].page));
    } else if (row >= 0 && row < m_found.size()) {
        open(QUrl::fromLocalFile(m_folder + QLatin1Char('/') + m_found[row].page));
    }
}

void HelpWindow::showMissingFolder() {
    QStringList tried;
    for (const QString& folder : help::helpFolderCandidates(QCoreApplication::applicationDirPath()))
        tried << QStringLiteral("<li>") + QDir::toNativeSeparators(folder).toHtmlEscaped() +
                     QStringLiteral("</li>");
    m_browser->setHtml(
        QStringLiteral("<h1>The help pages are not installed</h1><p>Vorlane Gif looked for "
                       "them in:</p><ul>") +
        tried.join(QString()) +
        QStringLiteral("</ul><p>Install the program with its data (for example from its "
                       "package, or with <tt>cmake --install</tt>) to read them here.</p>"));
    setWindowTitle(help::WindowTitle);
}

} // namespace vorlane
