// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/widgets/CropDialog.h"

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "imaging/Zoom.h"

namespace vorlane {

namespace {
constexpr int HandleSize = 7;
// Outside the rectangle the picture is dimmed by this much black.
constexpr QRgb Dim = 0x80000000;
} // namespace

// ---- CropView --------------------------------------------------------------------------

CropView::CropView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CropView"));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

void CropView::setPicture(const QImage& picture) {
    m_picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_rect = m_picture.rect();
    setFixedSize(imaging::zoomedSize(m_picture.size(), m_zoom) + QSize(2 * Margin, 2 * Margin));
    update();
}

void CropView::setZoom(double zoom) {
    m_zoom = std::clamp(zoom, 1.0 / 1024, imaging::MaxZoom);
    setFixedSize(imaging::zoomedSize(m_picture.size(), m_zoom) + QSize(2 * Margin, 2 * Margin));
    update();
}

void CropView::setSelection(const QRect& rect) {
    m_rect = rect;
    update();
}

QPoint CropView::edgeAt(QPoint view) const {
    const QPointF at = imaging::toPicture(view, pictureOrigin(), m_zoom);
    return QPoint(std::clamp(int(std::lround(at.x())), 0, m_picture.width()),
                  std::clamp(int(std::lround(at.y())), 0, m_picture.height()));
}

QRect CropView::viewRect() const {
    const QPointF a = imaging::toView(QPointF(m_rect.topLeft()), pictureOrigin(), m_zoom);
    const QPointF b =
        imaging::toView(QPointF(m_rect.topLeft() + QPoint(m_rect.width(), m_rect.height())),
                        pictureOrigin(), m_zoom);
    return QRect(a.toPoint(), b.toPoint() - QPoint(1, 1));
}

int CropView::handleAt(QPoint view) const {
    if (m_rect.isEmpty()) return 0;
    const QRect r = viewRect();
    const int xs[] = {r.left(), (r.left() + r.right()) / 2, r.right() + 1};
    const int ys[] = {r.top(), (r.top() + r.bottom()) / 2, r.bottom() + 1};
    const int xEdges[] = {Left, 0, Right};
    const int yEdges[] = {Top, 0, Bottom};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            const int edges = xEdges[i] | yEdges[j];
            if (edges == 0) continue;
            if (std::abs(view.x() - xs[i]) <= Grip && std::abs(view.y() - ys[j]) <= Grip)
                return edges;
        }
    return 0;
}

void CropView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Dark));
    if (m_picture.isNull()) return;
    const QPoint origin = pictureOrigin();
    const QRect whole(origin, imaging::zoomedSize(m_picture.size(), m_zoom));
    imaging::paintCheckerboard(painter, whole & event->rect(), origin);
    if (m_zoom == 1.0)
        painter.drawImage(origin, m_picture);
    else
        imaging::paintZoomed(painter, m_picture, origin, m_zoom, event->rect());
    if (m_rect.isEmpty()) return;
    const QRect r = viewRect();
    // Dim what is cut away.
    QRegion outside(whole);
    outside -= QRegion(r);
    painter.save();
    painter.setClipRegion(outside);
    painter.fillRect(whole, QColor::fromRgba(Dim));
    painter.restore();
    // The outline in two colours, seen on light and dark pictures alike.
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(r);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(r);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    const int xs[] = {r.left(), (r.left() + r.right()) / 2, r.right() + 1};
    const int ys[] = {r.top(), (r.top() + r.bottom()) / 2, r.bottom() + 1};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            if (i != 1 || j != 1)
                painter.drawRect(QRect(xs[i] - HandleSize / 2, ys[j] - HandleSize / 2,
                                       HandleSize - 1, HandleSize - 1));
}

void CropView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_picture.isNull()) return;
    const QPoint at = event->position().toPoint();
    m_startRect = m_rect;
    m_edges = handleAt(at);
    if (m_edges) {
        m_drag = Drag::Edges;
    } else if (viewRect().contains(at) && m_rect != m_picture.rect()) {
        // Inside a rectangle that can move; over the whole picture a drag draws.
        m_drag = Drag::Move;
        m_anchor = edgeAt(at);
    } else {
        m_drag = Drag::Draw;
        m_anchor = edgeAt(at);
    }
    event->accept();
}

void CropView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (m_drag == Drag::None) {
        updateCursor(at);
        return;
    }
    const QPoint edge = edgeAt(at);
    const int w = m_picture.width();
    const int h = m_picture.height();
    QRect next = m_rect;
    switch (m_drag) {
    case Drag::Draw:
        // From the pressed edge point to the one under the pointer: at least one pixel.
        next = QRect(QPoint(std::min(m_anchor.x(), edge.x()), std::min(m_anchor.y(), edge.y())),
                     QSize(std::max(1, std::abs(edge.x() - m_anchor.x())),
                           std::max(1, std::abs(edge.y() - m_anchor.y()))));
        next.moveLeft(std::min(next.left(), w - next.width()));
        next.moveTop(std::min(next.top(), h - next.height()));
        break;
    case Drag::Move: {
        const QPoint by = edge - m_anchor;
        next = m_startRect.translated(by);
        next.moveLeft(std::clamp(next.left(), 0, w - next.width()));
        next.moveTop(std::clamp(next.top(), 0, h - next.height()));
        break;
    }
    case Drag::Edges: {
        int left = m_startRect.left();
        int top = m_startRect.top();
        int right = m_startRect.left() + m_startRect.width(); // edges, not pixels
        int bottom = m_startRect.top() + m_startRect.height();
        if (m_edges & Left) left = std::min(edge.x(), right - 1);
        if (m_edges & Right) right = std::max(edge.x(), left + 1);
        if (m_edges & Top) top = std::min(edge.y(), bottom - 1);
        if (m_edges & Bottom) bottom = std::max(edge.y(), top + 1);
        next = QRect(left, top, right - left, bottom - top);
        break;
    }
    case Drag::None:
        break;
    }
    if (next != m_rect) {
        m_rect = next;
        update();
        Q_EMIT selectionEdited(m_rect);
    }
    event->accept();
}

void CropView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_drag == Drag::None) return;
    // A click without a drag draws a rectangle of one pixel at the click.
    if (m_drag == Drag::Draw && m_rect == m_startRect) {
        const QPoint pixel(
            std::clamp(
                int(std::floor(
                    imaging::toPicture(event->position().toPoint(), pictureOrigin(), m_zoom).x())),
                0, m_picture.width() - 1),
            std::clamp(
                int(std::floor(
                    imaging::toPicture(event->position().toPoint(), pictureOrigin(), m_zoom).y())),
                0, m_picture.height() - 1));
        m_rect = QRect(pixel, QSize(1, 1));
        update();
        Q_EMIT selectionEdited(m_rect);
    }
    m_drag = Drag::None;
    updateCursor(event->position().toPoint());
    event->accept();
}

void CropView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        event->ignore();
        return;
    }
    m_wheel += event->angleDelta().y();
    const int steps = m_wheel / 120;
    m_wheel -= steps * 120;
    if (steps != 0) Q_EMIT zoomRequested(steps);
    event->accept();
}

void CropView::updateCursor(QPoint view) {
    switch (handleAt(view)) {
    case Left | Top:
    case Right | Bottom:
        setCursor(Qt::SizeFDiagCursor);
        return;
    case Right | Top:
    case Left | Bottom:
        setCursor(Qt::SizeBDiagCursor);
        return;
    case Left:
    case Right:
        setCursor(Qt::SizeHorCursor);
        return;
    case Top:
    case Bottom:
        setCursor(Qt::SizeVerCursor);
        return;
    default:
        break;
    }
    setCursor(viewRect().contains(view) && m_rect != m_picture.rect() ? Qt::SizeAllCursor
                                                                      : Qt::CrossCursor);
}

// ---- TCropDialog -----------------------------------------------------------------------

TCropDialog::TCropDialog(QWidget* parent)
    : ToolDialogBase(QStringLiteral("CropDialog"), QStringLiteral("Crop"), parent) {
    m_view = new CropView;
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("CropScroll"));
    m_scroll->setWidget(m_view);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setMinimumSize(320, 240);
    auto* hint = new QLabel(QStringLiteral("Drag on the picture to draw the part to keep; drag "
                                           "its handles or its inside to adjust it."),
                            this);
    hint->setObjectName(QStringLiteral("CropHint"));
    hint->setWordWrap(true);
    rows()->insertWidget(0, m_scroll, 100); // nearly all room the dialog is given
    rows()->insertWidget(1, hint);

    m_x = new QSpinBox(this);
    m_x->setObjectName(QStringLiteral("CropX"));
    m_y = new QSpinBox(this);
    m_y->setObjectName(QStringLiteral("CropY"));
    m_w = new QSpinBox(this);
    m_w->setObjectName(QStringLiteral("CropWidth"));
    m_h = new QSpinBox(this);
    m_h->setObjectName(QStringLiteral("CropHeight"));
    auto* fields = new QWidget(this);
    fields->setObjectName(QStringLiteral("CropFields"));
    auto* row = new QHBoxLayout(fields);
    row->setContentsMargins(0, 0, 0, 0);
    const auto add = [&](const QString& caption, QSpinBox* box) {
        auto* label = new QLabel(caption, fields);
        if (!box) return label;
        label->setBuddy(box);
        row->addWidget(label);
        row->addWidget(box);
        return label;
    };
    add(QStringLiteral("&X:"), m_x);
    add(QStringLiteral("&Y:"), m_y);
    row->addSpacing(12);
    add(QStringLiteral("&Width:"), m_w);
    add(QStringLiteral("&Height:"), m_h);
    auto* whole = new QPushButton(QStringLiteral("Whole &picture"), fields);
    whole->setObjectName(QStringLiteral("CropWhole"));
    whole->setAutoDefault(false);
    row->addSpacing(12);
    row->addWidget(whole);
    row->addStretch(1);
    m_zoom = new QComboBox(fields);
    m_zoom->setObjectName(QStringLiteral("CropZoom"));
    m_zoom->addItem(QStringLiteral("Fit"));
    for (const double z : Zooms)
        m_zoom->addItem(imaging::zoomPercentText(z));
    QLabel* zoomLabel = add(QStringLiteral("&Zoom:"), nullptr);
    zoomLabel->setBuddy(m_zoom);
    row->addWidget(zoomLabel);
    row->addWidget(m_zoom);
    form()->addRow(fields);

    for (QSpinBox* box : {m_x, m_y, m_w, m_h})
        connect(box, &QSpinBox::valueChanged, this, &TCropDialog::fieldsChanged);
    connect(whole, &QPushButton::clicked, this, [this] { setSelection(m_view->picture().rect()); });
    connect(m_view, &CropView::selectionEdited, this, [this](const QRect& rect) {
        showSelection(rect);
        refresh();
    });
    connect(m_zoom, &QComboBox::currentIndexChanged, this, &TCropDialog::zoomChosen);
    connect(m_view, &CropView::zoomRequested, this, [this](int steps) {
        m_view->setZoom(imaging::steppedZoom(m_view->zoom(), steps));
        // The list shows a level it has, or none.
        const QSignalBlocker quiet(m_zoom);
        m_zoom->setCurrentIndex(-1);
        for (int i = 0; i < int(std::size(Zooms)); ++i)
            if (Zooms[i] == m_view->zoom()) m_zoom->setCurrentIndex(i + 1);
    });
    resize(720, 560);
}

void TCropDialog::configured() {
    const QSize s = screen();
    QImage picture = request().picture;
    if (picture.size() != s) {
        // Nothing to show (or a picture of another size): a clear picture of the screen.
        picture = QImage(s.isValid() ? s : QSize(1, 1), QImage::Format_ARGB32_Premultiplied);
        picture.fill(Qt::transparent);
    }
    // The last rectangle stays while it fits the animation (another crop of the same).
    const QRect last = m_view->selection();
    m_view->setPicture(picture);
    for (QSpinBox* box : {m_x, m_y, m_w, m_h}) {
        const QSignalBlocker quiet(box);
        box->setSuffix(QStringLiteral(" px"));
    }
    {
        const QSignalBlocker qx(m_x), qy(m_y), qw(m_w), qh(m_h);
        m_x->setRange(0, std::max(0, s.width() - 1));
        m_y->setRange(0, std::max(0, s.height() - 1));
        m_w->setRange(1, std::max(1, s.width()));
        m_h->setRange(1, std::max(1, s.height()));
    }
    const QRect start = !last.isEmpty() && picture.rect().contains(last) && last != picture.rect()
                            ? last
                            : picture.rect();
    m_view->setSelection(start);
    showSelection(start);
    if (m_zoom->currentIndex() <= 0)
        fit();
    else
        zoomChosen(m_zoom->currentIndex());
}

void TCropDialog::setSelection(const QRect& rect) {
    m_view->setSelection(rect);
    showSelection(rect);
    refresh();
}

void TCropDialog::showSelection(const QRect& rect) {
    const QSignalBlocker qx(m_x), qy(m_y), qw(m_w), qh(m_h);
    m_x->setValue(rect.x());
    m_y->setValue(rect.y());
    m_w->setValue(rect.width());
    m_h->setValue(rect.height());
}

void TCropDialog::fieldsChanged() {
    m_view->setSelection(QRect(m_x->value(), m_y->value(), m_w->value(), m_h->value()));
    refresh();
}

void TCropDialog::zoomChosen(int index) {
    if (index <= 0) {
        if (index == 0) fit();
        return;
    }
    m_view->setZoom(Zooms[index - 1]);
}

void TCropDialog::fit() {
    const QSize room =
        m_scroll->maximumViewportSize() - QSize(2 * CropView::Margin, 2 * CropView::Margin);
    m_view->setZoom(imaging::fitZoom(m_view->picture().size(), room));
}

void TCropDialog::resizeEvent(QResizeEvent* event) {
    ToolDialogBase::resizeEvent(event);
    if (m_zoom->currentIndex() == 0) fit();
}

tools::Operation TCropDialog::operation() const {
    return tools::op::Crop{QRect(m_x->value(), m_y->value(), m_w->value(), m_h->value())};
}

} // namespace vorlane
