// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/Widgets.h"

#include <algorithm>

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

#include "imaging/Zoom.h"
#include "mainwindow/ViewMath.h"

namespace vorlane {

namespace {
// Pictures up to this many pixels are converted for painting once, when they are set.
constexpr qsizetype ConvertedPictureLimit = qsizetype(1) << 21;

// Takes the click, so that it is not passed on to the parent (which may react to clicks
// of its own); returns whether it completes a left click inside the widget.
bool takeClick(QWidget* widget, QMouseEvent* event) {
    event->accept();
    return event->button() == Qt::LeftButton &&
           widget->rect().contains(event->position().toPoint());
}
} // namespace

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (takeClick(this, event)) Q_EMIT clicked();
}

ClickPanel::ClickPanel(QWidget* parent) : QFrame(parent) {
    m_color = palette().color(QPalette::Button);
}

void ClickPanel::setColor(const QColor& color) {
    if (color == m_color) return;
    m_color = color;
    update();
}

void ClickPanel::setMark(const QColor& color) {
    if (color == m_mark) return;
    m_mark = color;
    update();
}

void ClickPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(rect(), m_color);
    if (m_mark.isValid()) {
        constexpr int Width = 3;
        QPen pen(m_mark, Width);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawRect(QRectF(rect()).adjusted(Width / 2.0, Width / 2.0, -Width / 2.0, -Width / 2.0));
    }
    painter.end();
    QFrame::paintEvent(event);
}

void ClickPanel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (takeClick(this, event)) Q_EMIT clicked();
}

void ClampingSpinBox::setBlank(bool blank) {
    if (m_blank == blank) return;
    m_blank = blank;
    if (blank)
        lineEdit()->clear();
    else
        lineEdit()->setText(textFromValue(value()));
}

QString ClampingSpinBox::textFromValue(int value) const {
    return m_blank ? QString() : QSpinBox::textFromValue(value);
}

void ClampingSpinBox::keyPressEvent(QKeyEvent* event) {
    // Typing a number ends the blank: the field holds what is typed.
    if (m_blank && !event->text().isEmpty() && event->text().at(0).isDigit()) m_blank = false;
    QSpinBox::keyPressEvent(event);
}

void ClampingSpinBox::stepBy(int steps) {
    setBlank(false);
    QSpinBox::stepBy(steps);
}

QValidator::State ClampingSpinBox::validate(QString& input, int& pos) const {
    const QString digits = input.trimmed();
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    if (number.match(digits).hasMatch()) {
        // More digits than any int holds are above the maximum as well.
        bool fits = false;
        const qlonglong value = digits.size() > 18 ? 0 : digits.toLongLong(&fits);
        if (!fits || value > maximum()) {
            input = QString::number(maximum());
            pos = int(input.size());
            return QValidator::Acceptable;
        }
    }
    return QSpinBox::validate(input, pos);
}

GapRadioButton::GapRadioButton(const QString& caption, QWidget* parent)
    : QRadioButton(caption, parent) {
    static const QRegularExpression blanks(QStringLiteral("  +"));
    const QRegularExpressionMatch gap = blanks.match(caption);
    if (gap.hasMatch()) {
        m_before = caption.left(gap.capturedStart()).trimmed();
        m_after = caption.mid(gap.capturedEnd()).trimmed();
    } else {
        m_before = caption;
    }
    m_gap = fontMetrics().horizontalAdvance(QStringLiteral("  "));
}

void GapRadioButton::setGapWidth(int width) {
    m_gap = width;
    updateGeometry();
    update();
}

int GapRadioButton::gapLeft() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this);
    return contents.left() + fontMetrics().horizontalAdvance(m_before);
}

QSize GapRadioButton::sizeHint() const {
    QStyleOptionButton option;
    initStyleOption(&option);
    const QFontMetrics metrics = fontMetrics();
    option.text = m_before + QLatin1Char(' ') + m_after;
    QSize text(metrics.horizontalAdvance(m_before) + m_gap + metrics.horizontalAdvance(m_after),
               metrics.height());
    return style()->sizeFromContents(QStyle::CT_RadioButton, &option, text, this);
}

void GapRadioButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    painter.drawControl(QStyle::CE_RadioButton, option);
    const QRect contents = style()->subElementRect(QStyle::SE_RadioButtonContents, &option, this);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextHideMnemonic;
    painter.drawItemText(contents, flags, palette(), isEnabled(), m_before, QPalette::WindowText);
    painter.drawItemText(contents.adjusted(fontMetrics().horizontalAdvance(m_before) + m_gap, 0,
                                           0, 0),
                         flags, palette(), isEnabled(), m_after, QPalette::WindowText);
}

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    m_background = palette().color(QPalette::Button);
}

void PictureView::setPicture(const QImage& picture, float scale) {
    m_source = picture;
    m_scale = scale;
    render();
    update();
}

void PictureView::setPicture(const QImage& picture, float scale, const QImage& prepared) {
    if (prepared.isNull() || prepared.devicePixelRatio() != (scale == 1.0f ? 1.0 : devicePixelRatioF()))
        return setPicture(picture, scale);
    m_source = picture;
    m_scale = scale;
    m_shown = prepared;
    update();
}

void PictureView::render() {
    if (m_source.isNull()) {
        m_shown = QImage();
        return;
    }
    // At zoom 1 the picture is shown pixel for pixel, enlarged by the painter on a scaled
    // screen; a zoomed one is scaled once to the device pixels it covers. Scaled first
    // (nearest neighbour keeps an indexed picture indexed), so that only the shown pixels
    // are converted.
    const qreal ratio = m_scale == 1.0f ? 1.0 : devicePixelRatioF();
    const QSize logical = scaledSize(m_source.size(), m_scale);
    const QSize device = ratio == 1.0 ? logical
                                      : QSize(qRound(logical.width() * ratio),
                                              qRound(logical.height() * ratio));
    const QImage scaled = device == m_source.size()
                              ? m_source
                              : m_source.scaled(device, Qt::IgnoreAspectRatio,
                                                Qt::FastTransformation);
    // A large picture stays in its own form (8 bits for a frame) and only the part being
    // painted is converted: a 32-bit copy of a big frame would take four times the
    // frame's memory.
    m_shown = qsizetype(device.width()) * device.height() <= ConvertedPictureLimit
                  ? scaled.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                  : scaled;
    // (Only a zoomed picture is a copy of its own; the source's pixels stay shared.)
    if (ratio != 1.0) m_shown.setDevicePixelRatio(ratio);
}

void PictureView::clearPicture() {
    if (m_source.isNull()) return;
    m_source = QImage();
    m_shown = QImage();
    update();
}

QRect PictureView::pictureRect() const {
    if (m_shown.isNull()) return {};
    // Centred; a picture larger than the view is cut evenly on both sides.
    QSize size = scaledSize(m_source.size(), m_scale);
    if (m_zoom != 1.0) size = imaging::zoomedSize(size, m_zoom);
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void PictureView::setBackground(const QColor& color) {
    m_background = color;
    update();
}

void PictureView::setZoom(double zoom) {
    if (m_zoom == zoom) return;
    m_zoom = zoom;
    update();
}

void PictureView::setCheckerboard(bool on) {
    if (m_checkerboard == on) return;
    m_checkerboard = on;
    update();
}

void PictureView::paintEvent(QPaintEvent* event) {
    // The window moved to a screen of another scale since the picture was made.
    if (!m_shown.isNull() && m_scale != 1.0f && m_shown.devicePixelRatio() != devicePixelRatioF())
        render();
    QPainter painter(this);
    painter.fillRect(event->rect(), m_background);
    if (m_shown.isNull()) return;
    const QRect whole = pictureRect();
    if (m_checkerboard) imaging::paintCheckerboard(painter, whole & event->rect(), whole.topLeft());
    if (m_zoom != 1.0) {
        imaging::paintZoomed(painter, m_shown, whole.topLeft(), m_zoom, event->rect());
        return;
    }
    if (m_shown.format() == QImage::Format_ARGB32_Premultiplied) {
        painter.drawImage(whole.topLeft(), m_shown);
        return;
    }
    const QRect part = whole & event->rect();
    if (part.isEmpty()) return;
    // The part in the picture's own pixels (device pixels for a zoomed picture).
    const qreal ratio = m_shown.devicePixelRatio();
    const QRectF inPicture(QPointF(part.translated(-whole.topLeft()).topLeft()) * ratio,
                           QSizeF(part.size()) * ratio);
    QImage piece = m_shown.copy(inPicture.toAlignedRect())
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    piece.setDevicePixelRatio(ratio);
    painter.drawImage(part.topLeft(), piece);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    if (takeClick(this, event)) Q_EMIT clicked();
}

namespace {
constexpr int PointerHeight = 10;
constexpr int Margin = 8;
} // namespace

BalloonHint::BalloonHint(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint), m_hideTimer(new QTimer(this)) {
    m_hideTimer->setSingleShot(true);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

QPainterPath BalloonHint::outline() const {
    const QRectF body(0.5, PointerHeight + 0.5, width() - 1.0, height() - PointerHeight - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPainterPath pointer;
    const qreal x = Margin + PointerHeight;
    pointer.moveTo(x - 7, PointerHeight + 1);
    pointer.lineTo(x, 0.5);
    pointer.lineTo(x + 7, PointerHeight + 1);
    pointer.closeSubpath();
    return path.united(pointer);
}

void BalloonHint::showAt(QWidget* target, const QString& text, int timeoutMs) {
    m_text = text;
    const QFontMetrics metrics(font());
    const QSize textSize = metrics.size(0, text);
    resize(textSize.width() + 2 * Margin + 2, textSize.height() + 2 * Margin + PointerHeight);
    // A mask rather than a translucent window: it needs no compositing desktop.
    setMask(QRegion(outline().toFillPolygon().toPolygon()));
    // The pointer sits at the balloon's left part and touches the target's bottom middle.
    const QPoint tip = target->mapToGlobal(QPoint(target->width() / 2, target->height()));
    move(tip.x() - Margin - PointerHeight, tip.y());
    show();
    raise();
    update();
    m_hideTimer->start(timeoutMs);
}

void BalloonHint::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(QColor(255, 255, 225));
    painter.drawPath(outline());
    painter.setPen(Qt::black);
    const QRectF body(0, PointerHeight, width(), height() - PointerHeight);
    painter.drawText(body.adjusted(Margin, Margin, -Margin, -Margin), Qt::AlignCenter, m_text);
}

void BalloonHint::mousePressEvent(QMouseEvent*) {
    hide();
}

} // namespace vorlane
