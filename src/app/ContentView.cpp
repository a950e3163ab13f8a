#include "ContentView.h"

#include "AnalyzingStageView.h"
#include "AppStyle.h"
#include "AudioExporter.h"
#include "Divider.h"
#include "IdleStageView.h"
#include "RecordedStageView.h"
#include "RecordingStageView.h"
#include "SaveDestinationDialog.h"
#include "StageContainer.h"
#include "SystemAudioRecorder.h"
#include "TrimView.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

ContentView::ContentView(QWidget* parent)
    : ContentView(std::make_unique<SystemAudioRecorder>(), parent) {}

ContentView::ContentView(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent)
    : QWidget(parent), recorder_(std::move(recorder)), stageContainer_(new StageContainer(this)) {
    setMinimumSize(minimumWidth, minimumHeight);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(createHeader());
    root->addWidget(new Divider(this));
    root->addWidget(stageContainer_, 1);
    stageContainer_->setStageView(createStageView());

    saveDestinationProvider_ = [this](const QString& suggestedFileName) {
        return SaveDestinationDialog::ask(this, suggestedFileName);
    };

    connect(recorder_.get(), &SystemAudioRecorder::isRecordingChanged, this,
            &ContentView::onIsRecordingChanged);
    connect(recorder_.get(), &SystemAudioRecorder::elapsedTimeChanged, this,
            &ContentView::onElapsedTimeChanged);
    connect(recorder_.get(), &SystemAudioRecorder::errorMessageChanged, this,
            &ContentView::showRecordErrorAlert);
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

bool ContentView::isExporting() const {
    return isExporting_;
}

std::optional<QString> ContentView::exportError() const {
    return exportError_;
}

SystemAudioRecorder& ContentView::recorder() {
    return *recorder_;
}

void ContentView::setSaveDestinationProvider(SaveDestinationProvider provider) {
    saveDestinationProvider_ = std::move(provider);
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
        auto* view = new IdleStageView;
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
    view->setExporting(isExporting_);
    connect(view, &RecordedStageView::rangeChanged, this, &ContentView::setTrimRange);
    connect(view, &RecordedStageView::newRecordingRequested, this, &ContentView::newRecording);
    connect(view, &RecordedStageView::saveRequested, this,
            [this, url = recorded->url] { exportSelection(url); });
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
    connect(save, &QShortcut::activated, this, [this] {
        if (const auto* recorded = stage_.as<Stage::Recorded>(); recorded && !isExporting_) {
            exportSelection(recorded->url);
        }
    });
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
    ++pendingStops_;
    recorder_->stop().then(this, [this] {
        --pendingStops_;
        // With several stops under way, the last one to finish decides.
        if (pendingStops_ == 0) {
            finishRecording(recorder_->lastRecordingURL());
        }
    });
}

void ContentView::onIsRecordingChanged() {
    if (recorder_->isRecording()) {
        if (stage_.is<Stage::Idle>()) {
            recordingURLBeforeStart_ = recorder_->lastRecordingURL();
            setStage(Stage::recording());
        }
        return;
    }
    if (stage_.is<Stage::Recording>() && pendingStops_ == 0) {
        // The capture ended by itself. Whatever it managed to record is worth keeping, so go
        // on with the file it published, if it published one for this recording.
        const std::optional<QUrl> url = recorder_->lastRecordingURL();
        finishRecording(url != recordingURLBeforeStart_ ? url : std::nullopt);
    }
}

void ContentView::onElapsedTimeChanged() {
    if (auto* view = qobject_cast<RecordingStageView*>(stageContainer_->stageView())) {
        view->setElapsedText(elapsedLabel(recorder_->elapsedTime()));
    }
}

void ContentView::finishRecording(const std::optional<QUrl>& url) {
    if (!url) {
        setStage(Stage::idle());
        return;
    }
    setStage(Stage::analyzing(*url));
    analyze(*url);
}

void ContentView::analyze(const QUrl& url) {
    Waveform::extractPeaks(url, waveformPeakCount)
        .then(this, [this, url](std::optional<Waveform::Data> waveform) {
            // A later stop may have moved on to another file meanwhile; its result decides.
            const auto* analyzing = stage_.as<Stage::Analyzing>();
            if (!analyzing || analyzing->url != url) {
                return;
            }
            const double durationSeconds = waveform ? waveform->duration() : 0.0;
            if (!waveform || !std::isfinite(durationSeconds) || durationSeconds < 0.0) {
                // Going back without a word would look as if the recording never happened.
                const QString problem =
                    tr("Couldn't read the recording back from %1.").arg(url.toLocalFile());
                const std::optional<QString> earlier = recorder_->errorMessage();
                recorder_->setErrorMessage(earlier ? *earlier + QStringLiteral("\n\n") + problem
                                                   : problem);
                setStage(Stage::idle());
                return;
            }
            // The whole recording starts selected; the range is set before the stage shows it.
            setTrimRange({0.0, durationSeconds});
            setStage(Stage::recorded(url, std::move(*waveform)));
        });
}

void ContentView::newRecording() {
    setStage(Stage::idle());
}

void ContentView::exportSelection(const QUrl& sourceURL) {
    const std::optional<QUrl> destination =
        saveDestinationProvider_(defaultFileName() + QStringLiteral(".m4a"));
    if (!destination || destination->isEmpty()) {
        return;
    }
    setExporting(true);
    // The exporter replaces the destination only once the new file is complete, so a failed
    // save leaves the user's old file as it was.
    AudioExporter::exportTrimmed(sourceURL, trimRange_, *destination)
        .then(this, [this] { setExporting(false); })
        .onFailed(this,
                  [this](const std::exception& error) {
                      setExportError(QString::fromUtf8(error.what()));
                      setExporting(false);
                  })
        .onFailed(this, [this] {
            setExportError(tr("The audio couldn't be saved."));
            setExporting(false);
        });
}

void ContentView::setTrimRange(TimeRange range) {
    trimRange_ = range;
}

void ContentView::setExporting(bool isExporting) {
    isExporting_ = isExporting;
    if (auto* view = qobject_cast<RecordedStageView*>(stageContainer_->stageView())) {
        view->setExporting(isExporting);
    }
    emit isExportingChanged(isExporting);
}

void ContentView::setExportError(std::optional<QString> message) {
    exportError_ = std::move(message);
    showExportErrorAlert();
}

void ContentView::showRecordErrorAlert() {
    syncAlert(recordErrorAlert_, tr("Couldn't record"), recorder_->errorMessage(),
              [this] { recorder_->setErrorMessage(std::nullopt); });
}

void ContentView::showExportErrorAlert() {
    syncAlert(exportErrorAlert_, tr("Couldn't save"), exportError_,
              [this] { setExportError(std::nullopt); });
}

void ContentView::syncAlert(QPointer<QMessageBox>& slot, const QString& title,
                            const std::optional<QString>& message,
                            const std::function<void()>& clearMessage) {
    if (!message) {
        if (QMessageBox* alert = slot) {
            slot = nullptr;
            alert->reject();
        }
        return;
    }
    if (slot) {
        slot->setInformativeText(*message);
        return;
    }
    QMessageBox* alert = createAlert(title, *message);
    slot = alert;
    connect(alert, &QMessageBox::finished, this, [&slot, alert, clearMessage] {
        // Only the user's "OK" clears the message; a message cleared elsewhere just closes it.
        if (slot == alert) {
            slot = nullptr;
            clearMessage();
        }
    });
    alert->open();
}

QMessageBox* ContentView::createAlert(const QString& title, const QString& message) {
    auto* alert = new QMessageBox(this);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowTitle(title);
    alert->setTextFormat(Qt::PlainText);
    alert->setText(title);
    alert->setInformativeText(message);
    alert->setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), devicePixelRatioF()));
    QPushButton* ok = alert->addButton(tr("OK"), QMessageBox::AcceptRole);
    alert->setDefaultButton(ok);
    alert->setEscapeButton(ok);
    alert->setStyleSheet(AppStyle::alertStyleSheet());
    return alert;
}
