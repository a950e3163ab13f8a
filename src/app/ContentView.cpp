#include "ContentView.h"

#include "AnalyzingStageView.h"
#include "AppStyle.h"
#include "Divider.h"
#include "IdleStageView.h"
#include "Logging.h"
#include "MessageAlert.h"
#include "RecordedStageView.h"
#include "RecordingStageView.h"
#include "SaveFlow.h"
#include "StageContainer.h"
#include "SystemAudioRecorder.h"
#include "TrimView.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

const QString includeMicrophoneKey = QStringLiteral("recording/includeMicrophone");

} // namespace

ContentView::ContentView(QWidget* parent)
    : ContentView(std::make_unique<SystemAudioRecorder>(), parent) {}

ContentView::ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent)
    : QWidget(parent), recorder_(std::move(recorder)), stageContainer_(new StageContainer(this)),
      saveFlow_(new SaveFlow(this)),
      recordErrorAlert_(new MessageAlert(this, tr("Couldn't record"),
                                         [this] { recorder_->setErrorMessage(std::nullopt); })) {
    setMinimumSize(minimumWidth, minimumHeight);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(createHeader());
    root->addWidget(new Divider(this));
    root->addWidget(stageContainer_, 1);
    stageContainer_->setStageView(createStageView());

    connect(recorder_.get(), &SystemAudioRecorder::isRecordingChanged, this,
            &ContentView::onIsRecordingChanged);
    connect(recorder_.get(), &SystemAudioRecorder::elapsedTimeChanged, this,
            &ContentView::onElapsedTimeChanged);
    connect(recorder_.get(), &SystemAudioRecorder::errorMessageChanged, this,
            [this](const std::optional<QString>& message) {
                if (message) {
                    qCWarning(lcApp) << "Recording problem:" << *message;
                }
                recordErrorAlert_->sync(message);
            });
    // The microphone switch is remembered across launches.
    recorder_->setIncludesMicrophone(QSettings().value(includeMicrophoneKey, false).toBool());
    connect(recorder_.get(), &SystemAudioRecorder::includesMicrophoneChanged, this,
            [](bool includes) { QSettings().setValue(includeMicrophoneKey, includes); });
    connect(saveFlow_, &SaveFlow::isExportingChanged, this, &ContentView::showSaveState);
    connect(saveFlow_, &SaveFlow::progressChanged, this, &ContentView::showSaveState);
    installShortcuts();
}

ContentView::~ContentView() {
    // The recorder goes before the widgets; nothing it says while going may reach a view
    // that is half taken down.
    recorder_->disconnect(this);
}

int ContentView::stageIndex() const {
    return stage_.index();
}

TimeRange ContentView::trimRange() const {
    return trimRange_;
}

SystemAudioRecorder& ContentView::recorder() {
    return *recorder_;
}

SaveFlow& ContentView::saveFlow() {
    return *saveFlow_;
}

QString ContentView::defaultFileName() const {
    const QDateTime start = recorder_->lastRecordingDate().value_or(QDateTime::currentDateTime());
    return tr("Recording %1")
        .arg(start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")));
}

QString ContentView::elapsedLabel(double elapsedTimeSeconds) {
    // The recorder only publishes finite, non-negative times; anything else reads as zero
    // rather than overflowing the conversion.
    constexpr double largestShownSeconds = 1e12;
    const double seconds = std::isfinite(elapsedTimeSeconds)
                               ? std::clamp(elapsedTimeSeconds, 0.0, largestShownSeconds)
                               : 0.0;
    const auto wholeSeconds = static_cast<long long>(seconds);
    return QString::asprintf("%02lld:%02lld", wholeSeconds / 60, wholeSeconds % 60);
}

QWidget* ContentView::createHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(8);
    auto* symbol = new QLabel(header);
    constexpr int symbolSide = 20;
    symbol->setPixmap(AppStyle::tintedSymbol(QStringLiteral("waveform"), AppStyle::accentColor())
                          .pixmap(QSize(symbolSide, symbolSide), devicePixelRatioF()));
    row->addWidget(symbol);
    auto* name = new QLabel(QStringLiteral("Sonabrix"), header);
    name->setFont(AppStyle::systemFont(15, QFont::DemiBold));
    row->addWidget(name);
    row->addStretch();
    return header;
}

void ContentView::setStage(Stage stage) {
    static constexpr const char* names[] = {"idle", "recording", "analysing", "editor"};
    qCInfo(lcApp) << "Stage:" << names[stage.index()];
    stage_ = std::move(stage);
    QWidget* view = createStageView();
    stageContainer_->setStageView(view);
    // In the editor the keys go to the trim view from the start, so Space plays at once.
    if (auto* recorded = qobject_cast<RecordedStageView*>(view)) {
        recorded->trimView()->setFocus(Qt::OtherFocusReason);
    }
    emit stageChanged(stage_.index());
}

QWidget* ContentView::createStageView() {
    if (stage_.is<Stage::Idle>()) {
        auto* view = new IdleStageView(*recorder_);
        connect(view, &IdleStageView::recordRequested, this, &ContentView::startRecording);
        return view;
    }
    if (stage_.is<Stage::Recording>()) {
        auto* view = new RecordingStageView(*recorder_);
        view->setElapsedText(elapsedLabel(recorder_->elapsedTime()));
        connect(view, &RecordingStageView::stopRequested, this, &ContentView::stopRecording);
        return view;
    }
    if (stage_.is<Stage::Analyzing>()) {
        return new AnalyzingStageView;
    }
    const auto* recorded = stage_.as<Stage::Recorded>();
    auto* view = new RecordedStageView(recorded->url, recorded->waveform, trimRange_);
    view->setExporting(saveFlow_->isExporting());
    view->setSaveProgress(saveFlow_->progressPercent());
    connect(view, &RecordedStageView::rangeChanged, this, &ContentView::setTrimRange);
    connect(view, &RecordedStageView::newRecordingRequested, this, &ContentView::newRecording);
    connect(view, &RecordedStageView::saveRequested, this, &ContentView::save);
    connect(view, &RecordedStageView::cancelSaveRequested, saveFlow_, &SaveFlow::cancel);
    return view;
}

void ContentView::installShortcuts() {
    auto* recordOrStop = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_R), this);
    connect(recordOrStop, &QShortcut::activated, this, [this] {
        if (stage_.is<Stage::Recording>()) {
            stopRecording();
        } else if (stage_.is<Stage::Idle>()) {
            startRecording();
        } else if (stage_.is<Stage::Recorded>()) {
            newRecording();
            startRecording();
        }
    });
    auto* save = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
    connect(save, &QShortcut::activated, this, &ContentView::save);
    auto* startOver = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    connect(startOver, &QShortcut::activated, this, [this] {
        if (stage_.is<Stage::Recorded>()) {
            newRecording();
        }
    });
}

void ContentView::startRecording() {
    // The recorder never fails outward: a failed start shows up as its message, a good one
    // as isRecording turning true.
    recorder_->start();
}

void ContentView::stopRecording() {
    // The recorder turning off, whether by this stop or by itself, leads on from here.
    recorder_->stop();
}

void ContentView::onIsRecordingChanged() {
    if (recorder_->isRecording()) {
        if (stage_.is<Stage::Idle>()) {
            setStage(Stage::recording());
        }
        return;
    }
    if (!stage_.is<Stage::Recording>()) {
        return;
    }
    // The recorder publishes this recording's file, or none, before it turns off; whatever
    // was recorded is worth keeping, even when the capture ended by itself.
    if (const std::optional<QUrl> url = recorder_->lastRecordingURL()) {
        setStage(Stage::analyzing(*url));
        analyze(*url);
    } else {
        setStage(Stage::idle());
    }
}

void ContentView::onElapsedTimeChanged() {
    if (auto* view = qobject_cast<RecordingStageView*>(stageContainer_->stageView())) {
        view->setElapsedText(elapsedLabel(recorder_->elapsedTime()));
    }
}

void ContentView::analyze(const QUrl& url) {
    Waveform::extractPeaks(url, waveformPeakCount)
        .then(this, [this, url](std::optional<Waveform::Data> waveform) {
            const double durationSeconds = waveform ? waveform->duration() : 0.0;
            if (!waveform || !std::isfinite(durationSeconds) || durationSeconds < 0.0) {
                // Going back without a word would look as if the recording never happened.
                const QString problem =
                    tr("Couldn't read the recording back from %1.").arg(url.toLocalFile());
                qCWarning(lcAnalysis) << "Analysis found no audio in" << url.toLocalFile();
                const std::optional<QString> earlier = recorder_->errorMessage();
                recorder_->setErrorMessage(earlier ? *earlier + QStringLiteral("\n\n") + problem
                                                   : problem);
                setStage(Stage::idle());
                return;
            }
            qCInfo(lcAnalysis) << "Analysed" << url.toLocalFile() << ":" << waveform->totalFrames
                               << "frames at" << waveform->sampleRate << "Hz,"
                               << waveform->peaks.size() << "peaks of" << waveform->framesPerPeak
                               << "frames";
            qCInfo(lcApp) << "Opened recording of" << durationSeconds << "s";
            // The whole recording starts selected; the range is set before the stage shows it.
            setTrimRange({0.0, durationSeconds});
            setStage(Stage::recorded(url, std::move(*waveform)));
        });
}

void ContentView::newRecording() {
    setStage(Stage::idle());
}

void ContentView::save() {
    if (const auto* recorded = stage_.as<Stage::Recorded>()) {
        saveFlow_->save(recorded->url, defaultFileName(), [this] { return trimRange_; });
    }
}

void ContentView::setTrimRange(TimeRange range) {
    trimRange_ = range;
}

void ContentView::showSaveState() {
    if (auto* view = qobject_cast<RecordedStageView*>(stageContainer_->stageView())) {
        view->setExporting(saveFlow_->isExporting());
        view->setSaveProgress(saveFlow_->progressPercent());
    }
}
