// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The 16-pixel header bar of a side-panel section and of the thumbnail strip: the
// gradient picture, a bold centred caption, and for collapsible sections a pair of arrows
// at the left end (collapse while expanded, expand while collapsed).

#include <QWidget>

namespace vorlane {

class ClickLabel;

class HeaderBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int Height = 16;
    // Under a light palette; a dark one has its own (barColours).
    static constexpr QRgb CaptionColor = 0xFF154A93; // RGB(21, 74, 147)

    // `names`: the bar's own objectName, its picture's and its caption's.
    HeaderBar(const QString& name, const QString& imageName, const QString& labelName,
              const QString& caption, QWidget* parent = nullptr);
    // Adds the two arrows (objectNames for the collapse and the expand arrow).
    void addArrows(const QString& collapseName, const QString& expandName);
    // Shows the collapse arrow while expanded and the expand arrow while collapsed.
    void setExpanded(bool expanded);
    // Paints the header picture (the same one for every bar).
    void setPicture(const QPixmap& picture);

    ClickLabel* image() const { return m_image; }
    ClickLabel* caption() const { return m_caption; }
    ClickLabel* collapseArrow() const { return m_collapse; }
    ClickLabel* expandArrow() const { return m_expand; }

Q_SIGNALS:
    // The bar, its picture or its caption was clicked.
    void clicked();
    void collapseClicked();
    void expandClicked();

protected:
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Caption and arrows in the palette's caption colour; with `picture`, the header
    // picture too (a palette change after the window painted its headers).
    void applyPalette(bool picture);

    ClickLabel* m_image;
    ClickLabel* m_caption;
    ClickLabel* m_collapse = nullptr;
    ClickLabel* m_expand = nullptr;
};

} // namespace vorlane
