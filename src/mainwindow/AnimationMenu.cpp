// SPDX-License-Identifier: GPL-3.0-or-later
// The window's Animation menu (the animation tools) and the preview's zoom: the View
// menu's zoom items, their keys and the zoom panel of the status bar.

#include <algorithm>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

#include "codec/Compositor.h"
#include "document/BackgroundWork.h"
#include "editing/ToolCommand.h"
#include "imaging/Zoom.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/Preview.h"
#include "tools/ToolDialog.h"
#include "tools/widgets/ToolDialogs.h"

namespace vorlane {

namespace {
// How long the status bar says that a tool left the animation as it was.
constexpr int UnchangedMessageMs = 6000;
// The zoom items with a level of their own.
constexpr std::pair<Act, double> ZoomItems[] = {{Act::ZoomFit, PreviewBox::FitZoom},
                                                {Act::Zoom100, 1},
                                                {Act::Zoom200, 2},
                                                {Act::Zoom400, 4},
                                                {Act::Zoom800, 8}};
// The zoom panel asks for room for its longest text, so that it keeps its width as the
// zoom changes, but gives way where the status bar has no room left: the status bar's
// least width sets the window's, which the zoom must not widen.
class ZoomPanel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override {
        return QSize(fontMetrics().horizontalAdvance(QStringLiteral("Fit 12.5 %")) + 12,
                     QLabel::sizeHint().height());
    }
    QSize minimumSizeHint() const override { return QSize(0, QLabel::minimumSizeHint().height()); }
};

} // namespace

void TMainform::buildAnimationMenu() {
    QMenu* menu = addMenu(QStringLiteral("AnimationButton"), QStringLiteral("Animation1"),
                          QStringLiteral("&Animation"), [this] { AnimationClick(); });
    for (Act act : {Act::Resize, Act::Crop, Act::AutoCrop})
        addItem(menu, act);
    menu->addSeparator();
    for (Act act : {Act::RotateCw, Act::Rotate180, Act::RotateCcw, Act::FlipH, Act::FlipV})
        addItem(menu, act);
    menu->addSeparator();
    for (Act act : {Act::Reverse, Act::Yoyo, Act::KeepEvery, Act::Dedupe})
        addItem(menu, act);
    menu->addSeparator();
    for (Act act : {Act::Speed, Act::Delay})
        addItem(menu, act);
    m_toolDialogs = std::make_unique<TToolDialogs>(this);
    m_toolDialog = m_toolDialogs.get();
}

void TMainform::buildZoomItems(QMenu* view) {
    // One of the levels is marked, or none (a level the wheel reached).
    auto* levels = new QActionGroup(this);
    levels->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const auto& [act, zoom] : ZoomItems) {
        QAction* item = addItem(view, act);
        item->setCheckable(true);
        levels->addAction(item);
    }
    addItem(view, Act::ZoomIn);
    // The same key without Shift, where "+" shares its key with "=".
    addShortcut(action(Act::ZoomIn), QKeySequence(QStringLiteral("Ctrl+=")));
    addItem(view, Act::ZoomOut);
}

void TMainform::buildZoomPanel() {
    m_zoomPanel = new ZoomPanel(m_statusBar);
    m_zoomPanel->setObjectName(QStringLiteral("ZoomPanel"));
    m_zoomPanel->setFrameShape(QFrame::StyledPanel);
    m_zoomPanel->setFrameShadow(QFrame::Sunken);
    m_zoomPanel->setToolTip(QStringLiteral("Zoom of the preview (View menu, Ctrl and the wheel)"));
    m_statusBar->addPermanentWidget(m_zoomPanel);
}

void TMainform::connectAnimationMenu() {
    for (const Act act : {Act::Resize, Act::Crop, Act::AutoCrop, Act::RotateCw, Act::Rotate180,
                          Act::RotateCcw, Act::FlipH, Act::FlipV, Act::Reverse, Act::Yoyo,
                          Act::KeepEvery, Act::Dedupe, Act::Speed, Act::Delay})
        connect(action(act), &QAction::triggered, this, [this, act] { runTool(act); });
    for (const auto& [act, zoom] : ZoomItems)
        connect(action(act), &QAction::triggered, this, [this, z = zoom] { setZoom(z); });
    connect(action(Act::ZoomIn), &QAction::triggered, this, [this] { m_box->zoomBy(1); });
    connect(action(Act::ZoomOut), &QAction::triggered, this, [this] { m_box->zoomBy(-1); });
    connect(m_box, &PreviewBox::zoomChanged, this, [this] {
        m_zoomPanel->setText(zoomStatusText());
        updateZoomChecks();
    });
}

void TMainform::AnimationClick() {
    const AnimationMenuState s = animationMenuState(currentState());
    for (Act act : {Act::Resize, Act::Crop, Act::AutoCrop, Act::RotateCw, Act::Rotate180,
                    Act::RotateCcw, Act::FlipH, Act::FlipV})
        action(act)->setEnabled(s.geometry);
    for (Act act : {Act::Reverse, Act::Yoyo, Act::KeepEvery, Act::Dedupe})
        action(act)->setEnabled(s.order);
    for (Act act : {Act::Speed, Act::Delay})
        action(act)->setEnabled(s.timing);
}

void TMainform::setToolDialog(tools::ToolDialog* dialog) {
    m_toolDialog = dialog ? dialog : m_toolDialogs.get();
}

tools::ToolRequest TMainform::toolRequest(bool picture) const {
    tools::ToolRequest request;
    request.image = m_animation->image();
    const FrameSelection selection = frameSelection();
    if (selection.rows.size() >= 2) request.selected = selection.rows;
    if (picture && request.image && request.image->frameCount() > 0) {
        const int k = std::max(0, currentFrame());
        try {
            gif::Compositor compositor(*request.image);
            request.picture = compositor.picture(size_t(k));
        } catch (const gif::GifError&) {
            // Too large a screen to compose: the dialog shows a clear picture of its size.
        }
    }
    return request;
}

void TMainform::runTool(Act act) {
    if (!frameViewShown() || !m_animation->hasImage() || m_animation->frameCount() == 0 ||
        m_work->busy())
        return;
    namespace op = tools::op;
    using tools::ToolDialogKind;
    const FrameSelection selection = frameSelection();
    const auto ask = [this](ToolDialogKind kind) {
        auto answer = m_toolDialog->ask(kind, toolRequest(kind == ToolDialogKind::Crop));
        // Back to the window, also where no window manager hands the focus back, so that
        // Esc reaches the work's Cancel.
        activateWindow();
        return answer;
    };
    std::optional<tools::Operation> operation;
    switch (act) {
    case Act::Resize:
        operation = ask(ToolDialogKind::Resize);
        break;
    case Act::Crop:
        operation = ask(ToolDialogKind::Crop);
        break;
    case Act::AutoCrop:
        operation = op::AutoCrop{};
        break;
    case Act::RotateCw:
        operation = op::Rotate{tools::Rotation::Quarter};
        break;
    case Act::Rotate180:
        operation = op::Rotate{tools::Rotation::Half};
        break;
    case Act::RotateCcw:
        operation = op::Rotate{tools::Rotation::ThreeQuarters};
        break;
    case Act::FlipH:
        operation = op::Flip{tools::FlipDirection::Horizontal};
        break;
    case Act::FlipV:
        operation = op::Flip{tools::FlipDirection::Vertical};
        break;
    case Act::Reverse:
        operation = op::Reverse{toolFrames(selection)};
        break;
    case Act::Yoyo:
        operation = op::Yoyo{};
        break;
    case Act::KeepEvery:
        operation = ask(ToolDialogKind::KeepEvery);
        break;
    case Act::Dedupe:
        operation = op::Dedupe{toolFrames(selection)};
        break;
    case Act::Speed:
        operation = ask(ToolDialogKind::Speed);
        break;
    case Act::Delay:
        operation = ask(ToolDialogKind::Delay);
        break;
    default:
        return;
    }
    if (!operation) return;
    const QString name = toolStepName(*operation);
    const ToolResult result =
        vorlane::runTool(*m_animation, selection, *operation, m_platform, m_work.get(),
                         [this, name](gif::Stage stage, int percent, gif::ProgressMessage) {
                             if (stage == gif::Stage::Ending) {
                                 setProgress(-1);
                                 setStatusHint(HelpHint);
                                 return;
                             }
                             setStatusHint(name + QStringLiteral("..."));
                             setProgress(std::clamp(percent, 0, 100));
                         });
    if (result == ToolResult::Unchanged)
        m_statusBar->showMessage(
            QStringLiteral("%1: nothing to change, the animation stays as it is").arg(name),
            UnchangedMessageMs);
    EnableButtons();
    status();
}

void TMainform::setZoom(double zoom) {
    m_box->setZoom(zoom);
}

QString TMainform::zoomStatusText() const {
    if (!m_animation->hasImage()) return {};
    const QString percent = imaging::zoomPercentText(m_box->zoom());
    return m_box->zoomSetting() == PreviewBox::FitZoom ? QStringLiteral("Fit ") + percent : percent;
}

void TMainform::updateZoomChecks() {
    for (const auto& [act, zoom] : ZoomItems)
        action(act)->setChecked(m_box->zoomSetting() == zoom);
}

} // namespace vorlane
