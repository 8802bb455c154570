// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The bar above the preview that tells what the user should know about the file just
// opened (what the reader repaired or ignored, a missing loop setting) without a modal
// box. It stays until the user closes it or another document replaces this one.

#include <QFrame>
#include <QStringList>

class QLabel;
class QToolButton;

namespace vorlane {

class NoticeBar : public QFrame {
    Q_OBJECT
public:
    // The most notices listed one per line; the rest are counted.
    static constexpr int MaxListed = 6;

    explicit NoticeBar(QWidget* parent = nullptr);
    // Shows the notices, or hides the bar when there are none.
    void setNotices(const QStringList& notices);
    QStringList notices() const { return m_notices; }
    // The text the bar shows for these notices.
    static QString text(const QStringList& notices);

private:
    QLabel* m_text;
    QToolButton* m_close;
    QStringList m_notices;
};

} // namespace vorlane
