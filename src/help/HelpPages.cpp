// SPDX-License-Identifier: GPL-3.0-or-later
#include "help/HelpPages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextDocument>

#include "BuildInfo.h"

namespace vorlane::help {

QStringList helpFolderCandidates(const QString& programFolder) {
    const QDir program(programFolder);
    return {QDir::cleanPath(program.filePath(QLatin1String(build::HelpFolderFromProgram))),
            QDir::cleanPath(program.filePath(QLatin1String(build::BuildHelpFolder)))};
}

QString findHelpFolder(const QString& programFolder) {
    for (const QString& folder : helpFolderCandidates(programFolder))
        if (QFileInfo::exists(folder + QLatin1Char('/') + IndexPage)) return folder;
    return {};
}

QList<Topic> contentsOf(const QString& indexHtml) {
    // index.html is ours: one <ul class="contents"> whose items are plain links. Entities
    // in titles are resolved through QTextDocument rather than by hand.
    static const QRegularExpression list(
        QStringLiteral(R"re(<ul\s+class="contents"\s*>(.*?)</ul>)re"),
        QRegularExpression::DotMatchesEverythingOption | QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression link(QStringLiteral(R"re(<a\s+href="([^"#]+)"\s*>(.*?)</a>)re"),
                                         QRegularExpression::DotMatchesEverythingOption |
                                             QRegularExpression::CaseInsensitiveOption);
    QList<Topic> topics;
    const QRegularExpressionMatch block = list.match(indexHtml);
    if (!block.hasMatch()) return topics;
    auto links = link.globalMatch(block.captured(1));
    while (links.hasNext()) {
        const QRegularExpressionMatch m = links.next();
        QTextDocument title;
        title.setHtml(m.captured(2));
        topics.append({m.captured(1), title.toPlainText().simplified()});
    }
    return topics;
}

QString pageForContext(const QStringList& objectNamesUpward) {
    // Dialogs by their own name; inside the main window, the part that has the focus.
    struct Rule {
        const char* objectName;
        const char* page;
    };
    static const Rule rules[] = {
        {"assform", "wizard.html"},
        {"Effects", "effects.html"},
        {"Dispo", "delay-disposal.html"},
        {"welcome", "getting-started.html"},
        {"HowForm", "getting-started.html"},
        {"Options", "getting-started.html"},
        {"pnlloop", "loop-comment.html"},
        {"pnlComments", "loop-comment.html"},
        {"pnlRate", "delay-disposal.html"},
        {"pnlVisual", "strip-playback.html"},
        {"pnlFrames", "strip-playback.html"},
        {"RecoverWork", "recovery.html"},
        // The dialogs of the Animation menu.
        {"ResizeDialog", "animation-tools.html"},
        {"CropDialog", "animation-tools.html"},
        {"KeepEveryDialog", "animation-tools.html"},
        {"SpeedDialog", "animation-tools.html"},
        {"DelayDialog", "animation-tools.html"},
        {"ExportDialog", "export.html"},
    };
    for (const QString& name : objectNamesUpward)
        for (const Rule& rule : rules)
            if (name == QLatin1String(rule.objectName)) return QLatin1String(rule.page);
    return IndexPage;
}

QString titleFor(const QString& page, const QString& pageTitle) {
    const QString title = pageTitle.simplified();
    if (page == IndexPage || title.isEmpty() || title == WindowTitle) return WindowTitle;
    return title + QStringLiteral(" - ") + WindowTitle;
}

QString fold(const QString& text) {
    QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) folded.append(c.toLower());
    return folded;
}

void SearchIndex::build(const QString& folder, const QList<Topic>& topics) {
    m_entries.clear();
    for (const Topic& topic : topics) {
        QFile file(folder + QLatin1Char('/') + topic.page);
        if (!file.open(QIODevice::ReadOnly)) continue;
        QTextDocument page;
        page.setHtml(QString::fromUtf8(file.readAll()));
        m_entries.append({topic, fold(topic.title + QLatin1Char('\n') + page.toPlainText())});
    }
}

QList<Topic> SearchIndex::find(const QString& query) const {
    const QStringList words =
        fold(query).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    QList<Topic> found;
    if (words.isEmpty()) return found;
    for (const Entry& entry : m_entries) {
        bool all = true;
        for (const QString& word : words)
            all = all && entry.text.contains(word);
        if (all) found.append(entry.topic);
    }
    return found;
}

} // namespace vorlane::help
