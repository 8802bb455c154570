// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FakePlatform.h"

#include <QTest>

namespace vorlane::test {

namespace {
const char* iconName(Prompts::Icon icon) {
    switch (icon) {
    case Prompts::Icon::Information:
        return "information";
    case Prompts::Icon::Warning:
        return "warning";
    case Prompts::Icon::Confirmation:
        return "confirmation";
    case Prompts::Icon::Error:
        return "error";
    }
    return "?";
}
} // namespace

// ---- FakePrompts ----

Prompts::Answer FakePrompts::ask(Icon icon, Buttons buttons, const QString& text) {
    m_asked.push_back({icon, buttons, text});
    if (m_script.empty()) {
        // Loud: the test did not expect a question. Answering Cancel (or OK) keeps the
        // command from doing more than it would after a refusal.
        const QByteArray message =
            "Unexpected " + QByteArray(iconName(icon)) + " question: " + text.toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Cancel;
    }
    const Step step = m_script.front();
    m_script.pop_front();
    if (step.text && *step.text != text) {
        const QByteArray message = "Question text differs.\n   Actual: " + text.toUtf8() +
                                   "\n   Expected: " + step.text->toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    }
    return step.answer;
}

QStringList FakePrompts::texts() const {
    QStringList list;
    for (const Question& q : m_asked)
        list << q.text;
    return list;
}

// ---- FakeDisposalChooser ----

std::optional<int> FakeDisposalChooser::choose(int item) {
    if (item >= 0) m_item = item;
    m_shown.push_back(m_item);
    if (m_script.empty()) {
        QTest::qFail("Unexpected disposal choice", __FILE__, __LINE__);
        return std::nullopt;
    }
    const std::optional<int> answer = m_script.front();
    m_script.pop_front();
    if (answer) m_item = *answer;
    return answer;
}

// ---- FakeFileDialogs ----

void FakeFileDialogs::choose(std::optional<QString> name) {
    m_script.push_back(name ? QStringList{*name} : QStringList{});
}

QStringList FakeFileDialogs::next() {
    if (m_script.empty()) {
        QTest::qFail("Unexpected file dialog", __FILE__, __LINE__);
        return {};
    }
    QStringList names = m_script.front();
    m_script.pop_front();
    return names;
}

std::optional<QString> FakeFileDialogs::openPicture(const OpenRequest& r) {
    m_requests.push_back({Kind::OpenOne, r.title, r.filter, QString(), r.initialFile, false});
    const QStringList names = next();
    return names.isEmpty() ? std::nullopt : std::optional<QString>(names.front());
}

QStringList FakeFileDialogs::openPictures(const OpenRequest& r) {
    m_requests.push_back({Kind::OpenMany, r.title, r.filter, QString(), r.initialFile, false});
    return next();
}

std::optional<QString> FakeFileDialogs::savePicture(const SaveRequest& r) {
    m_requests.push_back(
        {Kind::SavePicture, r.title, r.filter, r.defaultExtension, r.initialFile, r.askOverwrite});
    const QStringList names = next();
    return names.isEmpty() ? std::nullopt : std::optional<QString>(names.front());
}

std::optional<QString> FakeFileDialogs::saveFile(const SaveRequest& r) {
    m_requests.push_back(
        {Kind::SaveFile, r.title, r.filter, r.defaultExtension, r.initialFile, r.askOverwrite});
    const QStringList names = next();
    return names.isEmpty() ? std::nullopt : std::optional<QString>(names.front());
}

// ---- FakeClock ----

qint64 FakeClock::nowMs() const {
    const qint64 now = m_now;
    m_now += m_step;
    return now;
}

// ---- MemorySettings ----

QString MemorySettings::normalKey(const QString& key) {
    // A leading backslash is ignored, as in the real store.
    QString k = key;
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    return k;
}

bool MemorySettings::contains(const QString& key, const QString& name) const {
    return m_values.count({normalKey(key), name}) > 0;
}

QString MemorySettings::readString(const QString& key, const QString& name,
                                   const QString& fallback) const {
    const auto it = m_values.find({normalKey(key), name});
    return it == m_values.end() ? fallback : it->second;
}

int MemorySettings::readInt(const QString& key, const QString& name, int fallback) const {
    bool ok = false;
    const int value = readString(key, name).toInt(&ok);
    return ok ? value : fallback;
}

void MemorySettings::writeString(const QString& key, const QString& name, const QString& value) {
    m_values[{normalKey(key), name}] = value;
    m_writes << normalKey(key) + QLatin1Char('|') + name + QLatin1Char('=') + value;
}

void MemorySettings::writeInt(const QString& key, const QString& name, int value) {
    writeString(key, name, QString::number(value));
}

} // namespace vorlane::test
