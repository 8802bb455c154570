// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/Preview.h"

#include <algorithm>

#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "imaging/Zoom.h"
#include "mainwindow/ViewMath.h"
#include "mainwindow/Widgets.h"

namespace vorlane {

namespace {
// How far the animation may fall behind its timeline before it gives up catching up.
constexpr long long MaxLagMs = 1000;
} // namespace

AnimationView::AnimationView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("gif"));
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &AnimationView::tick);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    m_now = [clock] { return clock->elapsed(); };
}

void AnimationView::setClock(std::function<long long()> now) {
    m_now = std::move(now);
}

AnimationView::~AnimationView() = default;

void AnimationView::setImage(const gif::GifImage* image, std::optional<int> showings) {
    m_image = image;
    m_showings = showings;
    m_compositor.reset();
    m_canvas = QImage();
    m_canvasData = nullptr;
    m_notified = -1;
    if (!image) {
        m_timer.stop();
        m_playback = gif::Playback();
        resize(0, 0);
        return;
    }
    // The compositor and its canvas are made when the animation is first painted.
    m_playback.load(*image, showings);
    resize(imaging::zoomedSize(QSize(image->screenWidth, image->screenHeight), m_zoom));
    if (m_on) schedule(true);
    update();
}

void AnimationView::setZoom(double zoom) {
    if (m_zoom == zoom) return;
    m_zoom = zoom;
    if (m_image)
        resize(imaging::zoomedSize(QSize(m_image->screenWidth, m_image->screenHeight), m_zoom));
    update();
}

void AnimationView::setSwitch(bool on) {
    m_on = on;
    m_timer.stop();
    if (!on) {
        // A stopped animation holds no canvas (four bytes per pixel of the screen).
        m_compositor.reset();
        m_canvas = QImage();
        m_canvasData = nullptr;
        return;
    }
    if (m_image) m_playback.load(*m_image, m_showings); // delays and loop as they are, frame 0
    m_notified = -1;
    schedule(true);
    update();
}

int AnimationView::actived() const {
    if (isHidden() || !m_image || m_image->frameCount() == 0) return 0;
    return int(m_playback.frame());
}

void AnimationView::schedule(bool fresh) {
    if (!m_on || !m_playback.running()) return;
    const long long now = m_now();
    // A restarted timeline puts the frame on screen at "now".
    if (fresh) m_runStart = now - (m_playback.endMs() - m_playback.displayMs());
    long long wait = m_runStart + m_playback.endMs() - now;
    // Far behind (the program was busy for a long time): start the timeline afresh
    // rather than racing through the frames that were missed.
    if (wait < -MaxLagMs) {
        m_runStart = now - (m_playback.endMs() - m_playback.displayMs());
        wait = m_playback.displayMs();
    }
    m_timer.start(int(std::max<long long>(0, wait)));
}

void AnimationView::tick() {
    if (!m_on || !m_image) return;
    if (m_playback.advance() && isVisible()) update();
    schedule();
}

void AnimationView::paintEvent(QPaintEvent* event) {
    if (!m_image || m_image->frameCount() == 0) return;
    if (!m_compositor) m_compositor = std::make_unique<gif::Compositor>(*m_image);
    const size_t frame = std::min(m_playback.frame(), m_image->frameCount() - 1);
    const uint32_t* data = nullptr;
    try {
        data = m_compositor->compose(frame);
    } catch (const gif::GifError&) {
        return; // the frames changed under a stale compositor: nothing to show
    }
    const int w = m_compositor->width();
    const int h = m_compositor->height();
    if (data != m_canvasData || m_canvas.width() != w || m_canvas.height() != h) {
        // The canvas holds opaque pixels and fully transparent zeros only, which is
        // already premultiplied form: it can be painted without conversion.
        m_canvas = QImage(reinterpret_cast<const uchar*>(data), w, h, w * 4,
                          QImage::Format_ARGB32_Premultiplied);
        m_canvasData = data;
    }
    {
        QPainter painter(this);
        imaging::paintCheckerboard(painter, event->rect(), QPoint(0, 0));
        if (m_zoom == 1.0)
            painter.drawImage(0, 0, m_canvas);
        else
            imaging::paintZoomed(painter, m_canvas, QPoint(0, 0), m_zoom, event->rect());
    }
    if (m_notified != (long long)frame) {
        m_notified = (long long)frame;
        if (m_afterPaint) m_afterPaint();
    }
}

PreviewBox::PreviewBox(QWidget* parent)
    : QScrollArea(parent), m_canvas(new QWidget), m_frameView(new PictureView(m_canvas)),
      m_animationView(new AnimationView(m_canvas)), m_marker(new QWidget(m_canvas)) {
    setObjectName(QStringLiteral("Box"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    m_canvas->setObjectName(QStringLiteral("BoxCanvas"));
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor::fromRgb(Background));
    setPalette(silver);
    viewport()->setAutoFillBackground(true);
    m_canvas->setAutoFillBackground(true);
    m_canvas->setPalette(silver);
    m_frameView->setObjectName(QStringLiteral("Image"));
    m_frameView->setBackground(QColor::fromRgb(Background));
    m_frameView->setCheckerboard(true);
    m_animationView->hide();
    m_marker->setObjectName(QStringLiteral("sc"));
    m_marker->resize(0, 0);
    m_marker->move(0, 0);
    setWidget(m_canvas);
    setAcceptDrops(true);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
    layoutCanvas();
}

void PreviewBox::BoxResize() {
    const QPoint offset = centredOffset(viewport()->size(), m_animationView->size());
    m_animationView->move(std::max(0, offset.x()), std::max(0, offset.y()));
}

void PreviewBox::setMarker(QSize animation) {
    m_animation = animation;
    applyZoom();
}

void PreviewBox::setZoom(double setting, std::optional<QPoint> anchor) {
    m_zoomSetting =
        setting == FitZoom ? FitZoom : std::clamp(setting, imaging::MinZoom, imaging::MaxZoom);
    applyZoom(anchor ? anchor : std::optional<QPoint>(viewport()->rect().center()));
}

void PreviewBox::zoomBy(int steps, std::optional<QPoint> anchor) {
    if (steps == 0) return;
    setZoom(imaging::steppedZoom(m_zoom, steps), anchor);
}

QPoint PreviewBox::pictureOrigin() const {
    if (!m_animationView->isHidden()) return m_animationView->pos();
    const QRect picture = m_frameView->pictureRect();
    return picture.isNull() ? QPoint(0, 0) : picture.topLeft() + m_frameView->pos();
}

void PreviewBox::applyZoom(std::optional<QPoint> anchor) {
    const double zoom = m_zoomSetting == FitZoom
                            ? imaging::fitZoom(m_animation, maximumViewportSize())
                            : m_zoomSetting;
    // The picture point under the anchor, before the views change.
    const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    QPointF held;
    if (anchor) held = imaging::toPicture(*anchor + scroll, pictureOrigin(), m_zoom);
    const bool changed = zoom != m_zoom;
    m_zoom = zoom;
    m_frameView->setZoom(zoom);
    m_animationView->setZoom(zoom);
    const QSize marked = imaging::zoomedSize(m_animation, zoom);
    m_marker->resize(0, 0);
    m_marker->move(marked.width(), marked.height());
    layoutCanvas();
    BoxResize();
    if (anchor && changed) {
        const QPoint to = imaging::toView(held, pictureOrigin(), zoom).toPoint() - *anchor;
        horizontalScrollBar()->setValue(to.x());
        verticalScrollBar()->setValue(to.y());
    }
    if (changed) Q_EMIT zoomChanged(zoom);
}

bool PreviewBox::viewportEvent(QEvent* event) {
    // The visible area changes with the window and when scroll bars come or go.
    if (event->type() == QEvent::Resize) {
        if (m_zoomSetting == FitZoom) applyZoom();
        layoutCanvas();
        BoxResize();
    }
    return QScrollArea::viewportEvent(event);
}

void PreviewBox::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        m_wheel = 0;
        QScrollArea::wheelEvent(event);
        return;
    }
    // Ctrl and the wheel zoom at the pointer, a level for each notch (120 units); the
    // finer steps of a touchpad add up to notches.
    m_wheel += event->angleDelta().y();
    const int steps = m_wheel / 120;
    m_wheel -= steps * 120;
    if (steps != 0) zoomBy(steps, event->position().toPoint());
    event->accept();
}

void PreviewBox::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PreviewBox::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PreviewBox::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    Q_EMIT dropped(event->mimeData(), event->modifiers() & Qt::ControlModifier);
}

void PreviewBox::layoutCanvas() {
    // The canvas is the box's visible area, grown to reach the marker.
    const QSize visible = viewport()->size();
    const QSize size(std::max(visible.width(), m_marker->x()),
                     std::max(visible.height(), m_marker->y()));
    m_canvas->resize(size);
    m_frameView->setGeometry(0, 0, size.width(), size.height());
}

} // namespace vorlane
