#include "RecordingStageView.h"

#include "AppStyle.h"
#include "ElidedLabel.h"
#include "LevelMeter.h"
#include "LiveWaveformView.h"
#include "PlainText.h"
#include "PulsingDot.h"
#include "SystemAudioRecorder.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

constexpr int meterWidth = 440;

// Pause as two bars, resume as the recording dot: drawn, since the bundled circled symbols read
// as a ring and a radio button at button size.
QIcon drawnPauseIcon(const QColor& color, bool paused) {
    const QSize size = AppStyle::buttonSymbolSize;
    constexpr qreal ratio = 2.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    if (paused) {
        painter.setBrush(AppStyle::recordingRed());
        painter.drawEllipse(centre, 6.0, 6.0);
    } else {
        painter.setBrush(color);
        for (const qreal x : {centre.x() - 5.0, centre.x() + 1.5})
            painter.drawRoundedRect(QRectF(x, centre.y() - 6.5, 3.5, 13.0), 1.0, 1.0);
    }
    return QIcon(pixmap);
}

// Shortened in the middle when a program's name is longer than the meter.
QLabel* meterCaption(const QString& text, QWidget* parent) {
    auto* caption = new ElidedLabel(parent);
    caption->setFullText(text);
    caption->setFont(AppStyle::calloutFont());
    caption->setFixedWidth(meterWidth);
    AppStyle::makeSecondary(caption);
    return caption;
}

} // namespace

RecordingStageView::RecordingStageView(SystemAudioRecorder& recorder, QWidget* parent)
    : QWidget(parent), recorder_(recorder), program_(recorder.program()),
      dot_(new PulsingDot(this)), elapsed_(new QLabel(this)), output_(new ElidedLabel(this)),
      waveform_(new LiveWaveformView(this)), meter_(new LevelMeter(this)),
      microphoneMeter_(new LevelMeter(this)), status_(new QLabel(this)),
      pauseButton_(new QPushButton(this)), stopButton_(new QPushButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);
    layout->addStretch();
    dot_->setAccessibleName(tr("Recording"));
    layout->addWidget(dot_, 0, Qt::AlignHCenter);

    // Monospaced so the width stays put as the seconds change.
    elapsed_->setFont(AppStyle::monospacedFont(44, QFont::Medium));
    elapsed_->setAlignment(Qt::AlignHCenter);
    layout->addWidget(elapsed_, 0, Qt::AlignHCenter);

    // What is coming in, in one block: the output, its sound, and what to make of it.
    auto* listening = new QVBoxLayout;
    listening->setSpacing(8);
    // The output's and the program's names and the problems told come from the sound server.
    PlainText::keep(output_);
    PlainText::keep(status_);
    output_->setAlignment(Qt::AlignHCenter);
    output_->setFont(AppStyle::calloutFont());
    // A long name is shortened in its middle rather than widening the window.
    output_->setFixedWidth(meterWidth);
    AppStyle::makeSecondary(output_);
    listening->addWidget(output_, 0, Qt::AlignHCenter);
    waveform_->setFixedWidth(meterWidth);
    waveform_->setHistory(recorder.peakHistory());
    listening->addWidget(waveform_, 0, Qt::AlignHCenter);
    meter_->setFixedWidth(meterWidth);
    microphoneMeter_->setFixedWidth(meterWidth);
    if (recorder.includesMicrophone()) {
        // Two meters, each named: the computer's sound and the user's own.
        // The program's, when one is recorded alone.
        listening->addWidget(
            meterCaption(program_ ? program_->displayName() : tr("Computer"), this), 0,
            Qt::AlignHCenter);
        listening->addWidget(meter_, 0, Qt::AlignHCenter);
        listening->addWidget(meterCaption(tr("Microphone"), this), 0, Qt::AlignHCenter);
        listening->addWidget(microphoneMeter_, 0, Qt::AlignHCenter);
        meter_->setAccessibleName(tr("Computer level"));
        microphoneMeter_->setAccessibleName(tr("Microphone level"));
    } else {
        listening->addWidget(meter_, 0, Qt::AlignHCenter);
        microphoneMeter_->hide();
    }
    // Always there, empty when there is nothing to say, so that nothing jumps when it speaks.
    status_->setAlignment(Qt::AlignHCenter);
    status_->setFont(AppStyle::calloutFont());
    status_->setWordWrap(true);
    status_->setFixedWidth(meterWidth);
    status_->setMinimumHeight(status_->fontMetrics().lineSpacing() * 2);
    AppStyle::makeSecondary(status_);
    listening->addWidget(status_, 0, Qt::AlignHCenter);
    layout->addLayout(listening);

    const QString pauseKey = QKeySequence(Qt::CTRL | Qt::Key_P).toString(QKeySequence::NativeText);
    pauseButton_->setFont(AppStyle::headlineFont());
    AppStyle::makeBordered(pauseButton_);
    pauseButton_->setToolTip(tr("Pause or resume the recording (%1 or Space)").arg(pauseKey));
    connect(pauseButton_, &QPushButton::clicked, this,
            [this] { recorder_.setPaused(!recorder_.isPaused()); });
    // A focused button takes Space for itself; anywhere else Space pauses. Ctrl+P is the
    // window's command, in its menu.
    auto* spacePauses = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(spacePauses, &QShortcut::activated, pauseButton_, &QPushButton::click);

    stopButton_->setText(tr("Stop Recording"));
    stopButton_->setAccessibleName(tr("Stop Recording"));
    stopButton_->setIcon(AppStyle::buttonSymbol(QStringLiteral("stop-circle-fill"), Qt::white));
    stopButton_->setFont(AppStyle::headlineFont());
    AppStyle::makeProminent(stopButton_, AppStyle::recordingRed());
    stopButton_->setToolTip(
        tr("Stop and open the recording (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_R).toString(QKeySequence::NativeText)));
    stopButton_->setDefault(true);
    connect(stopButton_, &QPushButton::clicked, this, &RecordingStageView::stopRequested);
    pauseButton_->setMinimumHeight(stopButton_->sizeHint().height());
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch();
    buttons->addWidget(pauseButton_);
    buttons->addWidget(stopButton_);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addStretch();
    setElapsedText(QStringLiteral("00:00"));
    // Pause takes the keys as the recording starts: Space then pauses, as the tooltip says,
    // and stopping is never one stray key away; Ctrl+R, or Tab to Stop, stops.
    setFocusProxy(pauseButton_);

    frameClock_.setInterval(frameIntervalMs);
    frameClock_.setTimerType(Qt::PreciseTimer);
    connect(&frameClock_, &QTimer::timeout, this, &RecordingStageView::nextFrame);
    connect(&recorder, &SystemAudioRecorder::microphoneProblemChanged, this,
            &RecordingStageView::showStatus);
    connect(&recorder, &SystemAudioRecorder::isPausedChanged, this,
            &RecordingStageView::showPaused);
    connect(&recorder, &SystemAudioRecorder::outputNameChanged, this,
            &RecordingStageView::showStatus);
    connect(&recorder, &SystemAudioRecorder::isCapturingSilenceChanged, this,
            &RecordingStageView::showStatus);
    connect(&recorder, &SystemAudioRecorder::isLowOnSpaceChanged, this,
            &RecordingStageView::showStatus);
    connect(&recorder, &SystemAudioRecorder::isWaitingForProgramChanged, this,
            &RecordingStageView::showStatus);
    showPaused(recorder.isPaused());
    showStatus();
}

void RecordingStageView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Space acts on the focused button here, so which one that is shows from the start, however
    // the recording began: the style draws focus only after a keyboard focus change.
    if (!event->spontaneous()) {
        windowShowedFocus_ = window()->testAttribute(Qt::WA_KeyboardFocusChange);
        window()->setAttribute(Qt::WA_KeyboardFocusChange);
    }
    frameClock_.start();
}

void RecordingStageView::hideEvent(QHideEvent* event) {
    frameClock_.stop();
    // The other screens show focus as the desktop does, once the keyboard has moved it.
    if (!event->spontaneous() && !windowShowedFocus_)
        window()->setAttribute(Qt::WA_KeyboardFocusChange, false);
    QWidget::hideEvent(event);
}

void RecordingStageView::nextFrame() {
    dot_->nextFrame();
    meter_->setLevel(recorder_.level());
    if (recorder_.level() > SystemAudioRecorder::silenceThreshold)
        heardSound_ = true;
    if (microphoneMeter_->isVisibleTo(this))
        microphoneMeter_->setLevel(recorder_.microphoneLevel());
    waveform_->nextFrame();
}

void RecordingStageView::setElapsedText(const QString& text) {
    if (text == elapsed_->text())
        return;
    elapsed_->setText(text);
    // Read as what it is, and announced as it changes (a new name is a change screen readers
    // hear about).
    elapsed_->setAccessibleName(tr("Elapsed time %1").arg(text));
}

QString RecordingStageView::elapsedText() const {
    return elapsed_->text();
}

QString RecordingStageView::outputText() const {
    return output_->fullText();
}

QString RecordingStageView::statusText() const {
    return status_->text();
}

void RecordingStageView::showPaused(bool paused) {
    pauseButton_->setText(paused ? tr("Resume") : tr("Pause"));
    pauseButton_->setAccessibleName(pauseButton_->text());
    pauseButton_->setIcon(drawnPauseIcon(palette().color(QPalette::ButtonText), paused));
    dot_->setPaused(paused);
    showStatus();
}

void RecordingStageView::showStatus() {
    // A program recorded alone is named instead of the output it plays on.
    const QString output = program_ ? program_->displayName() : recorder_.outputName();
    const bool paused = recorder_.isPaused();
    if (output.isEmpty())
        output_->setFullText(paused ? tr("Paused") : QString());
    else if (paused)
        output_->setFullText(tr("Paused — “%1” is not being recorded").arg(output));
    else
        output_->setFullText(tr("Recording “%1”").arg(output));
    if (recorder_.isLowOnSpace())
        status_->setText(tr("The disk is almost full: there is room for less than 5 minutes "
                            "more. The recording stops by itself before the disk is full."));
    else if (const std::optional<QString> problem = recorder_.microphoneProblem())
        status_->setText(*problem);
    else if (program_ && recorder_.isWaitingForProgram())
        status_->setText(tr("Waiting for %1…").arg(output));
    else if (recorder_.isCapturingSilence())
        status_->setText(
            heardSound_ ? tr("Nothing has played on “%1” for the last few seconds.").arg(output)
                        : tr("Nothing is playing on “%1” yet.").arg(output));
    else
        status_->clear();
    // Empty, the labels still need a name for assistive technology; with text, the text is it.
    if (output_->fullText().isEmpty())
        output_->setAccessibleName(tr("Recorded output"));
    status_->setAccessibleName(status_->text().isEmpty() ? tr("Recording notes") : QString());
}
