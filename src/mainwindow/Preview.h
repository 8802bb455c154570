// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The preview area `Box`: a scrolling box holding the frame view `Image` (the current
// frame's still picture, filling the box), the animation view `gif` (the running
// animation at its own size, centred) and the scroll-extent marker `sc` (a 0 x 0 control
// at the animation's width and height, so that the scroll range covers the animation).
// Both views show the animation at the box's zoom (100 % unless the user zooms), over a
// checkerboard where it is transparent; the sizes above are then the zoomed ones.

#include <functional>
#include <memory>
#include <optional>

#include <QImage>
#include <QScrollArea>
#include <QTimer>

class QMimeData;
class QWheelEvent;

#include "codec/Playback.h"

namespace vorlane {

namespace gif {
class Compositor;
class GifImage;
} // namespace gif

class PictureView;

// Plays the document image while its animation switch is on. Owns the timer; the codec's
// Playback decides which frame comes next and for how long, and the Compositor makes the
// picture. A frame is composed only when it is painted, so a hidden view costs nothing
// but the timer. After each painted frame the image's after-paint notification runs.
class AnimationView : public QWidget {
    Q_OBJECT
public:
    explicit AnimationView(QWidget* parent = nullptr);
    ~AnimationView() override;

    // The image to play (nullptr for none) and how many times it is shown (none for
    // forever); the view takes the image's screen size. Call again after the image's
    // frames, screen or loop setting changed.
    void setImage(const gif::GifImage* image, std::optional<int> showings = std::nullopt);
    // Switch on: restart at frame 0 and run. Switch off: stop where it is.
    void setSwitch(bool on);
    bool switchedOn() const { return m_on; }
    // Whether the timer is running (the switch is on and the animation still moves).
    bool isRunning() const { return m_timer.isActive(); }

    // The frame the running animation shows; 0 when the view is hidden or has no image.
    int actived() const;

    // The clock the frames are timed by, in milliseconds (a monotonic one unless a test
    // puts its own in place).
    void setClock(std::function<long long()> now);
    // How long until the next frame is due, as the timer was last set; -1 when stopped.
    int scheduledMs() const { return m_timer.isActive() ? m_timer.interval() : -1; }
    // What the timer does when it fires: the next frame, timed from the run's timeline.
    void tick();
    // Called after each frame the running animation has painted.
    void setAfterPaint(std::function<void()> notify) { m_afterPaint = std::move(notify); }
    // Each pixel of the animation `zoom` pixels wide (1: its own size); the view takes
    // the zoomed size.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Times the frame on screen to end where the timeline says; `fresh`: the timeline
    // starts now (a new run, or frames that changed under a running one).
    void schedule(bool fresh = false);

    const gif::GifImage* m_image = nullptr;
    std::optional<int> m_showings;
    std::unique_ptr<gif::Compositor> m_compositor;
    gif::Playback m_playback;
    QTimer m_timer;
    bool m_on = false;
    // The compositor's canvas wrapped without a copy; rebuilt only when the canvas moves.
    QImage m_canvas;
    const uint32_t* m_canvasData = nullptr;
    long long m_notified = -1; // frame whose painting was last notified
    std::function<long long()> m_now;
    std::function<void()> m_afterPaint;
    long long m_runStart = 0; // clock reading at the start of the timeline
    double m_zoom = 1.0;
};

class PreviewBox : public QScrollArea {
    Q_OBJECT
Q_SIGNALS:
    // Files were dropped on the preview; `open`: Ctrl was held (open, rather than add).
    void dropped(const QMimeData* data, bool open);
    // The zoom the views show changed (a new setting, or a fitted zoom refitted).
    void zoomChanged(double zoom);

public:
    static constexpr QRgb Background = 0xFFC0C0C0; // silver
    // The zoom setting that fits the animation into the box (imaging::fitZoom).
    static constexpr double FitZoom = 0;

    explicit PreviewBox(QWidget* parent = nullptr);

    PictureView* frameView() const { return m_frameView; }
    AnimationView* animationView() const { return m_animationView; }
    QWidget* marker() const { return m_marker; }

    // Centres the animation view in the box (offsets rounded half to even). An animation
    // larger than the box is placed at the canvas origin, so that scrolling reaches all of it.
    void BoxResize();
    // Places the scroll-extent marker at the animation's size ((0, 0) for none), zoomed.
    void setMarker(QSize animation);

    // The zoom: a factor (1 is 100 %) or FitZoom. The picture point under `anchor` (in
    // the viewport; its centre without one) stays where it is, as far as scrolling
    // allows.
    void setZoom(double setting, std::optional<QPoint> anchor = std::nullopt);
    // The setting, and the factor the views show (the fitted one for FitZoom).
    double zoomSetting() const { return m_zoomSetting; }
    double zoom() const { return m_zoom; }
    // `steps` zoom levels in (> 0) or out (< 0) from the zoom shown: Ctrl and the wheel.
    void zoomBy(int steps, std::optional<QPoint> anchor = std::nullopt);

protected:
    bool viewportEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void layoutCanvas();
    // Brings the views, the marker and the scroll position in line with the zoom.
    void applyZoom(std::optional<QPoint> anchor = std::nullopt);
    // Where the picture shown has its top-left corner, in canvas coordinates.
    QPoint pictureOrigin() const;

    QWidget* m_canvas;
    PictureView* m_frameView;
    AnimationView* m_animationView;
    QWidget* m_marker;
    QSize m_animation{0, 0};
    double m_zoomSetting = 1.0;
    double m_zoom = 1.0;
    int m_wheel = 0; // wheel turns below one step, kept for the next event
};

} // namespace vorlane
