// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The side panel `SidePanel`: four stacked sections, each under a header bar: "Loop"
// (loop choice and count), "Image delay" (the current frame's delay), "Comments" (the
// animation's comment) and "Control" (the speed bar and the position slider). The first
// three collapse to their header bar and expand again; sections are aligned to the top,
// so collapsing one moves the ones below it up.

#include <array>

#include <QWidget>

class QPlainTextEdit;
class QRadioButton;
class QSlider;
class QSpinBox;
class QToolButton;

namespace vorlane {

class ClampingSpinBox;

class HeaderBar;

class Section : public QWidget {
    Q_OBJECT
public:
    Section(const QString& name, HeaderBar* header, int expandedHeight, QWidget* parent);
    HeaderBar* header() const { return m_header; }
    QWidget* body() const { return m_body; }
    int expandedHeight() const { return m_expandedHeight; }
    bool isExpanded() const { return height() > headerHeight(); }
    // Expanded height, collapse arrow shown; or header height, expand arrow shown.
    void setExpanded(bool expanded);
    static int headerHeight();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    HeaderBar* m_header;
    QWidget* m_body;
    int m_expandedHeight;
};

class SidePanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int Width = 183;
    enum SectionId { Loop = 0, Rate = 1, Comments = 2 };

    explicit SidePanel(QWidget* parent = nullptr);

    Section* section(SectionId id) const { return m_sections[size_t(id)]; }
    Section* controlSection() const { return m_control; }
    // The four section header bars, top to bottom.
    std::array<HeaderBar*, 4> headers() const;

    QRadioButton* infini() const { return m_infini; }
    QRadioButton* fini() const { return m_fini; }
    QSpinBox* numLoops() const { return m_numLoops; }
    ClampingSpinBox* period() const { return m_period; }
    QPlainTextEdit* comment() const { return m_comment; }
    QToolButton* playBtn() const { return m_playBtn; }
    QToolButton* stopBtn() const { return m_stopBtn; }
    QToolButton* rewindBtn() const { return m_rewindBtn; }
    QToolButton* backBtn() const { return m_backBtn; }
    QToolButton* nextBtn() const { return m_nextBtn; }
    QToolButton* forwardBtn() const { return m_forwardBtn; }
    QSlider* slider() const { return m_slider; }

private:
    void buildLoop(QWidget* body);
    void buildRate(QWidget* body);
    void buildComments(QWidget* body);
    void buildControl(QWidget* body);

    std::array<Section*, 3> m_sections{};
    Section* m_control = nullptr;
    QRadioButton* m_infini = nullptr;
    QRadioButton* m_fini = nullptr;
    QSpinBox* m_numLoops = nullptr;
    ClampingSpinBox* m_period = nullptr;
    QPlainTextEdit* m_comment = nullptr;
    QToolButton* m_playBtn = nullptr;
    QToolButton* m_stopBtn = nullptr;
    QToolButton* m_rewindBtn = nullptr;
    QToolButton* m_backBtn = nullptr;
    QToolButton* m_nextBtn = nullptr;
    QToolButton* m_forwardBtn = nullptr;
    QSlider* m_slider = nullptr;
};

} // namespace vorlane
