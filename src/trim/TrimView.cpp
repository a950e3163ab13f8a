#include "TrimView.h"

#include "FocusRingStyle.h"
#include "Theme.h"
#include "TrimCard.h"
#include "TrimHandle.h"
#include "WaveformViewport.h"

#include <QBoxLayout>
#include <QCursor>
#include <QEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {
constexpr int rowSpacing = 12;
constexpr int buttonSpacing = 10;
constexpr int selectedWordSpacing = 4;
constexpr int playLabelMinimumWidth = 108;
// One wheel notch, or one zoom key press, zooms by √2; two make a factor of 2.
constexpr double zoomPerNotch = 1.4142135623730951;
constexpr double wheelNotch = 120.0;
// A wheel notch scrolls a tenth of the shown stretch.
constexpr double scrollPerNotch = 0.1;
constexpr int edgeScrollIntervalMs = 16;
// Past the edge, a dragged handle scrolls up to one shown stretch per second, faster the
// farther the pointer is.
constexpr double edgeScrollPointsForFullSpeed = 120.0;

// "wand.and.stars" has no freedesktop name that every theme carries; draw one in the button's
// tint so the button never goes without its symbol.
QIcon drawnWandIcon(const QColor& color) {
    constexpr double size = 16.0;
    constexpr double ratio = 2.0;
    QPixmap pixmap(QSize(32, 32));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(2.5, size - 2.5), QPointF(10.0, 6.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    const auto sparkle = [&](QPointF centre, double radius) {
        QPainterPath star;
        star.moveTo(centre.x(), centre.y() - radius);
        star.quadTo(centre, QPointF(centre.x() + radius, centre.y()));
        star.quadTo(centre, QPointF(centre.x(), centre.y() + radius));
        star.quadTo(centre, QPointF(centre.x() - radius, centre.y()));
        star.quadTo(centre, QPointF(centre.x(), centre.y() - radius));
        painter.drawPath(star);
    };
    sparkle(QPointF(12.5, 3.5), 3.5);
    sparkle(QPointF(5.5, 3.0), 2.0);
    sparkle(QPointF(13.0, 10.5), 2.0);
    return QIcon(pixmap);
}

// The play triangle or the stop square in the button's text colour: icon themes and the
// style's own pictures are drawn for one kind of background, and vanish on the other.
QIcon drawnPlaybackIcon(const QColor& color, bool stop) {
    QPixmap pixmap(QSize(32, 32));
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    if (stop) {
        painter.drawRoundedRect(QRectF(3.5, 3.5, 9.0, 9.0), 1.5, 1.5);
    } else {
        const QPointF triangle[] = {{4.0, 2.5}, {13.5, 8.0}, {4.0, 13.5}};
        painter.drawPolygon(triangle, 3);
    }
    return QIcon(pixmap);
}
} // namespace

TrimView::TrimView(Waveform::Data waveform, TimeRange range, QString sourcePath, QWidget* parent)
    : TrimView(std::make_shared<EditorModel>(std::move(waveform), range, std::move(sourcePath)),
               parent) {}

TrimView::TrimView(std::shared_ptr<EditorModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
    // Space plays and stops wherever the focus is in the window, a button included: a shortcut
    // is offered the key before the focused widget sees it.
    auto* playShortcut = new QShortcut(QKeySequence(Qt::Key_Space), this);
    playShortcut->setContext(Qt::WindowShortcut);
    playShortcut->setAutoRepeat(false);
    connect(playShortcut, &QShortcut::activated, this, &TrimView::togglePlayback);

    card_ = new TrimCard(*model_, this);
    connectHandle(Handle::start);
    connectHandle(Handle::end);
    scrollBar_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar_->setAccessibleName(tr("Waveform position"));
    viewport_ = new WaveformViewport(*model_, card_, scrollBar_);
    edgeScroll_.setInterval(edgeScrollIntervalMs);
    connect(&edgeScroll_, &QTimer::timeout, this, &TrimView::scrollPastEdge);
    addZoomShortcuts();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(rowSpacing);
    auto* cardAndScrollBar = new QVBoxLayout;
    cardAndScrollBar->setSpacing(4);
    cardAndScrollBar->addWidget(card_, 1);
    cardAndScrollBar->addWidget(scrollBar_);
    column->addLayout(cardAndScrollBar, 1);
    column->addLayout(makeLabelRow());
    column->addLayout(makeButtonRow());

    SelectionPlayer& player = model_->player();
    connect(&player, &SelectionPlayer::isPlayingChanged, this, &TrimView::updatePlayButton);
    connect(&player, &SelectionPlayer::isPlayingChanged, this, &TrimView::updatePlayhead);
    connect(&player, &SelectionPlayer::currentTimeChanged, this, &TrimView::updatePlayhead);
    connect(model_.get(), &EditorModel::trimRangeChanged, this, &TrimView::followSelection);
    connect(model_.get(), &EditorModel::nothingToTrim, this, &TrimView::nothingToTrim);

    applyPaletteStyles();
    updateLabels();
    updatePlayButton();
    keepPlayButtonWidth();
    // Extra height goes to the card.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

TrimView::~TrimView() {
    // No signal of the model may reach this half-destroyed view, and the card and handles,
    // which read the model, go while it is surely there.
    disconnect(&model_->player(), nullptr, this, nullptr);
    disconnect(model_.get(), nullptr, this, nullptr);
    delete card_;
}

QLayout* TrimView::makeLabelRow() {
    startLabel_ = new QLabel(this);
    startLabel_->setObjectName("startTimeLabel");
    lengthLabel_ = new QLabel(this);
    lengthLabel_->setObjectName("selectedLengthLabel");
    selectedWordLabel_ = new QLabel(tr("selected"), this);
    endLabel_ = new QLabel(this);
    endLabel_->setObjectName("endTimeLabel");

    const QFont caption = Theme::captionFont(font());
    QFont callout = Theme::calloutFont(font());
    callout.setWeight(QFont::DemiBold);
    callout = Theme::monospacedFont(callout);
    startLabel_->setFont(Theme::monospacedFont(caption));
    endLabel_->setFont(Theme::monospacedFont(caption));
    lengthLabel_->setFont(callout);
    selectedWordLabel_->setFont(caption);

    // Bottom-aligned, so texts of different sizes share a baseline as closely as a box allows.
    auto* lengthGroup = new QHBoxLayout;
    lengthGroup->setSpacing(selectedWordSpacing);
    lengthGroup->addWidget(lengthLabel_, 0, Qt::AlignBottom);
    lengthGroup->addWidget(selectedWordLabel_, 0, Qt::AlignBottom);
    auto* row = new QHBoxLayout;
    row->addWidget(startLabel_, 0, Qt::AlignBottom);
    row->addStretch();
    row->addLayout(lengthGroup);
    row->addStretch();
    row->addWidget(endLabel_, 0, Qt::AlignBottom);
    return row;
}

QLayout* TrimView::makeButtonRow() {
    playButton_ = new QPushButton(this);
    autoTrimButton_ = new QPushButton(tr("Auto-Trim Silence"), this);
    for (QAbstractButton* button : {playButton_, autoTrimButton_})
        button->setStyle(FocusRingStyle::instance());
    connect(playButton_, &QAbstractButton::clicked, this, &TrimView::togglePlayback);
    connect(autoTrimButton_, &QAbstractButton::clicked, this, &TrimView::autoTrim);
    auto* row = new QHBoxLayout;
    row->setSpacing(buttonSpacing);
    row->addWidget(playButton_);
    row->addWidget(autoTrimButton_);
    row->addStretch();
    return row;
}

void TrimView::addZoomShortcuts() {
    const auto add = [this](QList<QKeySequence> keys, auto action) {
        // Two shortcuts on one key would cancel each other out.
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (const QKeySequence& key : keys) {
            auto* shortcut = new QShortcut(key, this);
            shortcut->setContext(Qt::WindowShortcut);
            connect(shortcut, &QShortcut::activated, this, action);
        }
    };
    // Ctrl+= as well: on most layouts "+" needs Shift, so Ctrl and the "=" key are what
    // people press.
    add(QKeySequence::keyBindings(QKeySequence::ZoomIn) << QKeySequence(Qt::CTRL | Qt::Key_Equal),
        &TrimView::zoomIn);
    add(QKeySequence::keyBindings(QKeySequence::ZoomOut) << QKeySequence(Qt::CTRL | Qt::Key_Minus),
        &TrimView::zoomOut);
    add({QKeySequence(Qt::CTRL | Qt::Key_0)}, &TrimView::showWholeRecording);
}

void TrimView::zoomIn() {
    model_->zoom(zoomPerNotch, zoomAnchor());
    revealFocusedHandle();
}

void TrimView::zoomOut() {
    model_->zoom(1 / zoomPerNotch, zoomAnchor());
    revealFocusedHandle();
}

void TrimView::revealFocusedHandle() {
    // A handle out of sight when zooming began is brought into it.
    for (const Handle handle : {Handle::start, Handle::end})
        if (handleWidget(handle)->hasFocus())
            model_->reveal(model_->boundTime(handle));
}

void TrimView::showWholeRecording() {
    model_->setVisibleRange({0.0, model_->durationSeconds()});
}

double TrimView::zoomAnchor() const {
    const SelectionPlayer& player = model_->player();
    if (player.isPlaying())
        return player.currentTime();
    // Zoomed from the keyboard, the handle the keys move stays in sight.
    for (const Handle handle : {Handle::start, Handle::end})
        if (handleWidget(handle)->hasFocus())
            return model_->boundTime(handle);
    const QPoint pointer = card_->mapFromGlobal(QCursor::pos());
    if (card_->rect().contains(pointer))
        return card_->timeAt(pointer.x() - TrimCard::cardPadding);
    const TimeRange shown = model_->visibleRange();
    return (shown.lower + shown.upper) / 2;
}

bool TrimView::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            const QPointF at = card_->mapFrom(this, gesture->position());
            model_->zoom(1.0 + gesture->value(), card_->timeAt(at.x() - TrimCard::cardPadding));
            return true;
        }
    }
    return QWidget::event(event);
}

void TrimView::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        const double at = card_->areaPosition(event->globalPosition()).x();
        model_->zoom(std::pow(zoomPerNotch, angle.y() / wheelNotch), card_->timeAt(at));
        event->accept();
        return;
    }
    if (model_->showsAll()) {
        event->ignore();
        return;
    }
    // Either wheel direction moves along the time axis; touchpads give points to follow.
    const QPoint pixels = event->pixelDelta();
    const TimeRange shown = model_->visibleRange();
    double seconds = 0.0;
    if (!pixels.isNull()) {
        const int along = std::abs(pixels.x()) > std::abs(pixels.y()) ? pixels.x() : pixels.y();
        seconds = -along * shown.length() / std::max(1.0, card_->contentWidth());
    } else {
        const int along = std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y();
        seconds = -along / wheelNotch * scrollPerNotch * shown.length();
    }
    model_->scrollBy(seconds);
    event->accept();
}

void TrimView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!model_->showsAll())
        viewport_->refreshPeaks();
}

void TrimView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPaletteStyles();
}

void TrimView::followSelection(TimeRange range) {
    updateLabels();
    emit rangeChanged(range);
}

void TrimView::dragStep(Handle handle, QPointF globalPosition) {
    if (draggingHandle_ != handle) {
        draggingHandle_ = handle;
        updateActiveHandles();
    }
    // The absolute location counts, not the distance moved: the handle's centre jumps to the
    // pointer.
    lastDragPosition_ = globalPosition;
    const double x = card_->areaPosition(globalPosition).x();
    const double width = card_->contentWidth();
    if (model_->showsAll()) {
        model_->moveBound(handle, card_->timeAt(x));
        return;
    }
    // Zoomed in, the handle stops at the shown stretch's edge, and that edge moves on.
    const bool pastEdge = x < 0 || x > width;
    if (pastEdge && !edgeScroll_.isActive())
        edgeScroll_.start();
    else if (!pastEdge)
        edgeScroll_.stop();
    model_->moveBound(handle, card_->timeAt(std::clamp(x, 0.0, std::max(0.0, width))));
}

void TrimView::scrollPastEdge() {
    if (!draggingHandle_) {
        edgeScroll_.stop();
        return;
    }
    const double x = card_->areaPosition(lastDragPosition_).x();
    const double width = card_->contentWidth();
    const double past = x < 0 ? x : std::max(0.0, x - width);
    const double speed = std::clamp(past / edgeScrollPointsForFullSpeed, -1.0, 1.0);
    model_->scrollBy(speed * model_->visibleRange().length() * edgeScrollIntervalMs / 1000.0);
    dragStep(*draggingHandle_, lastDragPosition_);
}

void TrimView::finishDrag() {
    draggingHandle_.reset();
    edgeScroll_.stop();
    updateActiveHandles();
}

void TrimView::setHovering(Handle handle, bool hovered) {
    if (hovered)
        hoveringHandle_ = handle;
    else if (hoveringHandle_ == handle)
        hoveringHandle_.reset();
    updateActiveHandles();
}

void TrimView::updateActiveHandles() {
    for (const Handle handle : {Handle::start, Handle::end})
        card_->setHandleActive(handleWidget(handle),
                               draggingHandle_ == handle || hoveringHandle_ == handle);
}

void TrimView::updateLabels() {
    const TimeRange range = model_->trimRange();
    startLabel_->setText(timeLabel(range.lower));
    lengthLabel_->setText(timeLabel(range.length()));
    endLabel_->setText(timeLabel(range.upper));
    // The same facts for assistive technology, which can't see the waveform or the labels.
    card_->setAccessibleName(
        tr("Waveform of a %1 recording, %2 selected")
            .arg(timeLabel(model_->durationSeconds()), timeLabel(range.length())));
}

void TrimView::updatePlayButton() {
    const bool playing = isPlaying();
    playButton_->setText(playing ? tr("Stop") : tr("Play Selection"));
    playButton_->setIcon(drawnPlaybackIcon(Theme::from(palette()).buttonText, playing));
}

void TrimView::updatePlayhead() {
    const SelectionPlayer& player = model_->player();
    card_->setPlayheadTime(player.isPlaying() ? std::optional(player.currentTime()) : std::nullopt);
}

void TrimView::keepPlayButtonWidth() {
    // Wide enough for either title, its label at least 108 points, so the button keeps its
    // width when the title changes.
    const QString shownTitle = playButton_->text();
    int width = 0;
    for (const QString& title : {tr("Play Selection"), tr("Stop")}) {
        playButton_->setText(title);
        const int labelWidth = playButton_->iconSize().width() + selectedWordSpacing +
                               playButton_->fontMetrics().horizontalAdvance(title);
        width = std::max(width, playButton_->sizeHint().width() +
                                    std::max(0, playLabelMinimumWidth - labelWidth));
    }
    playButton_->setText(shownTitle);
    playButton_->setMinimumWidth(width);
}

void TrimView::applyPaletteStyles() {
    const Theme colors = Theme::from(palette());
    for (QLabel* label : {startLabel_, endLabel_, selectedWordLabel_}) {
        QPalette secondary = label->palette();
        secondary.setColor(QPalette::WindowText, colors.secondaryText);
        label->setPalette(secondary);
    }
    // The auto-trim button is tinted with the accent colour, as dark or light as its face needs.
    QPalette tinted = autoTrimButton_->palette();
    tinted.setColor(QPalette::ButtonText, colors.accentText);
    autoTrimButton_->setPalette(tinted);
    autoTrimButton_->setIcon(drawnWandIcon(colors.accentText));
    QPalette plain = playButton_->palette();
    plain.setColor(QPalette::ButtonText, colors.buttonText);
    playButton_->setPalette(plain);
    updatePlayButton();
}

void TrimView::connectHandle(Handle handle) {
    TrimHandle* widget = handleWidget(handle);
    connect(widget, &TrimHandle::dragged, this,
            [this, handle](QPointF globalPosition) { dragStep(handle, globalPosition); });
    connect(widget, &TrimHandle::dragFinished, this, &TrimView::finishDrag);
    connect(widget, &TrimHandle::hoverChanged, this,
            [this, handle](bool hovered) { setHovering(handle, hovered); });
}

QWidget* TrimView::firstFocus() const {
    return handleWidget(Handle::start);
}

QWidget* TrimView::lastFocus() const {
    return autoTrimButton_;
}

TrimHandle* TrimView::handleWidget(Handle handle) const {
    return handle == Handle::start ? card_->startHandle() : card_->endHandle();
}
