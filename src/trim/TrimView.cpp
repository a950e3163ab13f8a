#include "TrimView.h"

#include "FocusRingStyle.h"
#include "FutureDelivery.h"
#include "PeakLevels.h"
#include "SilenceTrimmer.h"
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
constexpr double minimumSelectionSeconds = 0.05;
constexpr float silenceThreshold = 0.01f;
constexpr double silencePaddingSeconds = 0.15;
constexpr int selectionAnimationMs = 150;
constexpr int autoTrimAnimationMs = 200;
constexpr int rowSpacing = 12;
constexpr int buttonSpacing = 10;
constexpr int selectedWordSpacing = 4;
constexpr int playLabelMinimumWidth = 108;
// Beyond any recording; keeps the label arithmetic within integer range.
constexpr double longestLabelSeconds = 1e9;
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
    : QWidget(parent), waveform_(std::move(waveform)), range_(range),
      sourcePath_(std::move(sourcePath)) {
    // Space plays and stops wherever the focus is in the window, a button included: a shortcut
    // is offered the key before the focused widget sees it.
    auto* playShortcut = new QShortcut(QKeySequence(Qt::Key_Space), this);
    playShortcut->setContext(Qt::WindowShortcut);
    playShortcut->setAutoRepeat(false);
    connect(playShortcut, &QShortcut::activated, this, &TrimView::togglePlayback);

    card_ = new TrimCard(waveform_.peaks, durationSeconds(), range_, this);
    connectHandle(Handle::start);
    connectHandle(Handle::end);
    scrollBar_ = new QScrollBar(Qt::Horizontal, this);
    scrollBar_->setAccessibleName(tr("Waveform position"));
    // The detail bins move to the levels: the view's own copy is what auto-trim reads.
    viewport_ = new WaveformViewport(
        card_, scrollBar_, waveform_.peaks,
        std::make_shared<PeakLevels>(sourcePath_, std::move(waveform_.detailPeaks),
                                     Waveform::Data::framesPerDetailPeak, waveform_.totalFrames),
        waveform_.sampleRate, durationSeconds());
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

    connect(&player_, &SelectionPlayer::isPlayingChanged, this, &TrimView::updatePlayButton);
    connect(&player_, &SelectionPlayer::isPlayingChanged, this, &TrimView::updatePlayhead);
    connect(&player_, &SelectionPlayer::currentTimeChanged, this, &TrimView::updatePlayhead);

    applyPaletteStyles();
    updateLabels();
    updatePlayButton();
    keepPlayButtonWidth();
    // Extra height goes to the card.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

TrimView::~TrimView() {
    // The player outlives nothing it reports to: no signal may reach this half-destroyed view.
    disconnect(&player_, nullptr, this, nullptr);
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

void TrimView::setRange(TimeRange range) {
    changeSelection(range, selectionAnimationMs);
}

QString TrimView::timeLabel(double seconds) {
    // NaN fails the comparison and shows as 0 as well.
    const double clamped = seconds >= 0 ? std::min(seconds, longestLabelSeconds) : 0.0;
    // Truncating tenths of the whole value, not the fractional part times ten, keeps values
    // such as 2.3 (stored as 2.2999…) from showing a tenth less; 59.99 still shows 0:59.9.
    const auto totalTenths = static_cast<qint64>(clamped * 10.0);
    const qint64 whole = totalTenths / 10;
    return QString::asprintf("%lld:%02lld.%lld", whole / 60, whole % 60, totalTenths % 10);
}

TimeRange TrimView::visibleRange() const {
    return viewport_->visible();
}

void TrimView::setVisibleRange(TimeRange visible) {
    viewport_->show(visible);
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
    viewport_->zoom(zoomPerNotch, zoomAnchor());
    revealFocusedHandle();
}

void TrimView::zoomOut() {
    viewport_->zoom(1 / zoomPerNotch, zoomAnchor());
    revealFocusedHandle();
}

void TrimView::revealFocusedHandle() {
    // A handle out of sight when zooming began is brought into it.
    if (handleWidget(Handle::start)->hasFocus())
        viewport_->reveal(range_.lower);
    else if (handleWidget(Handle::end)->hasFocus())
        viewport_->reveal(range_.upper);
}

void TrimView::showWholeRecording() {
    viewport_->show({0.0, durationSeconds()});
}

double TrimView::zoomAnchor() const {
    if (player_.isPlaying())
        return player_.currentTime();
    // Zoomed from the keyboard, the handle the keys move stays in sight.
    if (handleWidget(Handle::start)->hasFocus())
        return range_.lower;
    if (handleWidget(Handle::end)->hasFocus())
        return range_.upper;
    const QPoint pointer = card_->mapFromGlobal(QCursor::pos());
    if (card_->rect().contains(pointer))
        return card_->timeAt(pointer.x() - TrimCard::cardPadding);
    const TimeRange shown = viewport_->visible();
    return (shown.lower + shown.upper) / 2;
}

bool TrimView::event(QEvent* event) {
    if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            const QPointF at = card_->mapFrom(this, gesture->position());
            viewport_->zoom(1.0 + gesture->value(), card_->timeAt(at.x() - TrimCard::cardPadding));
            return true;
        }
    }
    return QWidget::event(event);
}

void TrimView::wheelEvent(QWheelEvent* event) {
    const QPoint angle = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        const double at = card_->areaPosition(event->globalPosition()).x();
        viewport_->zoom(std::pow(zoomPerNotch, angle.y() / wheelNotch), card_->timeAt(at));
        event->accept();
        return;
    }
    if (viewport_->showsAll()) {
        event->ignore();
        return;
    }
    // Either wheel direction moves along the time axis; touchpads give points to follow.
    const QPoint pixels = event->pixelDelta();
    const TimeRange shown = viewport_->visible();
    double seconds = 0.0;
    if (!pixels.isNull()) {
        const int along = std::abs(pixels.x()) > std::abs(pixels.y()) ? pixels.x() : pixels.y();
        seconds = -along * shown.length() / std::max(1.0, card_->contentWidth());
    } else {
        const int along = std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y();
        seconds = -along / wheelNotch * scrollPerNotch * shown.length();
    }
    viewport_->scrollBy(seconds);
    event->accept();
}

void TrimView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!viewport_->showsAll())
        viewport_->refreshPeaks();
}

void TrimView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyPaletteStyles();
}

void TrimView::apply(double seconds, Handle handle) {
    const double duration = durationSeconds();
    double clamped = seconds < duration ? seconds : duration;
    clamped = clamped >= 0 ? clamped : 0.0;
    TimeRange range = range_;
    // The gap rule wins over the clamp: near either end a bound may pass 0 or the duration.
    if (handle == Handle::start) {
        const double latest = range.upper - minimumSelectionSeconds;
        range.lower = latest < clamped ? latest : clamped;
    } else {
        const double earliest = range.lower + minimumSelectionSeconds;
        range.upper = clamped <= earliest ? earliest : clamped;
    }
    changeSelection(range, selectionAnimationMs);
}

void TrimView::changeSelection(TimeRange range, int animationMs) {
    if (range == range_)
        return;
    range_ = range;
    // A selection is only heard while it stays as it is.
    player_.stop();
    card_->setSelection(range_, animationMs);
    updateLabels();
    emit rangeChanged(range_);
}

void TrimView::autoTrim() {
    const std::optional<TimeRange> trimmed =
        SilenceTrimmer::trim(waveform_, silenceThreshold, silencePaddingSeconds);
    // No sound found: the selection stays, and the user is told why.
    if (!trimmed) {
        emit nothingToTrim();
        return;
    }
    changeSelection(*trimmed, autoTrimAnimationMs);
    // The bins place the ends to within a bin, which is seconds on a long recording; the
    // samples then place them exactly, unless the user has moved on or the file can't be read.
    const quint64 request = ++autoTrimRequest_;
    deliverTo(
        this,
        SilenceTrimmer::refineFile(sourcePath_, waveform_, silenceThreshold, silencePaddingSeconds),
        [this, request, coarse = *trimmed](std::optional<TimeRange> exact) {
            if (exact && request == autoTrimRequest_ && range_ == coarse)
                changeSelection(*exact, selectionAnimationMs);
        });
}

bool TrimView::isSilent() const {
    return !SilenceTrimmer::trim(waveform_, silenceThreshold, silencePaddingSeconds);
}

void TrimView::togglePlayback() {
    player_.toggle(sourcePath_, range_);
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
    if (viewport_->showsAll()) {
        apply(card_->timeAt(x), handle);
        return;
    }
    // Zoomed in, the handle stops at the shown stretch's edge, and that edge moves on.
    const bool pastEdge = x < 0 || x > width;
    if (pastEdge && !edgeScroll_.isActive())
        edgeScroll_.start();
    else if (!pastEdge)
        edgeScroll_.stop();
    apply(card_->timeAt(std::clamp(x, 0.0, std::max(0.0, width))), handle);
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
    viewport_->scrollBy(speed * viewport_->visible().length() * edgeScrollIntervalMs / 1000.0);
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
    startLabel_->setText(timeLabel(range_.lower));
    lengthLabel_->setText(timeLabel(range_.length()));
    endLabel_->setText(timeLabel(range_.upper));
    // The same facts for assistive technology, which can't see the waveform or the labels.
    const double duration = durationSeconds();
    card_->startHandle()->setValue(range_.lower, 0.0,
                                   std::max(0.0, range_.upper - minimumSelectionSeconds),
                                   timeLabel(range_.lower));
    card_->endHandle()->setValue(range_.upper, range_.lower + minimumSelectionSeconds,
                                 std::max(duration, range_.lower + minimumSelectionSeconds),
                                 timeLabel(range_.upper));
    card_->setAccessibleName(tr("Waveform of a %1 recording, %2 selected")
                                 .arg(timeLabel(duration), timeLabel(range_.length())));
}

void TrimView::updatePlayButton() {
    const bool playing = player_.isPlaying();
    playButton_->setText(playing ? tr("Stop") : tr("Play Selection"));
    playButton_->setIcon(drawnPlaybackIcon(Theme::from(palette()).buttonText, playing));
}

void TrimView::updatePlayhead() {
    card_->setPlayheadTime(player_.isPlaying() ? std::optional(player_.currentTime())
                                               : std::nullopt);
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
    connect(widget, &TrimHandle::stepRequested, this, [this, handle](double seconds) {
        apply((handle == Handle::start ? range_.lower : range_.upper) + seconds, handle);
        // A handle moved by keys stays in sight.
        viewport_->reveal(handle == Handle::start ? range_.lower : range_.upper);
    });
}

QWidget* TrimView::firstFocus() const {
    return handleWidget(Handle::start);
}

TrimHandle* TrimView::handleWidget(Handle handle) const {
    return handle == Handle::start ? card_->startHandle() : card_->endHandle();
}

double TrimView::durationSeconds() const {
    // A recording without frames or without a sample rate has no length to place things on.
    if (!(waveform_.sampleRate > 0) || waveform_.totalFrames <= 0)
        return 0.0;
    const double duration = static_cast<double>(waveform_.totalFrames) / waveform_.sampleRate;
    return std::isfinite(duration) ? duration : 0.0;
}
