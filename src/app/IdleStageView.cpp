#include "IdleStageView.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "PlainText.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"
#include "SystemAudioRecorder.h"

#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The accent-tinted circle behind the app's symbol.
class Badge : public QWidget {
public:
    explicit Badge(QWidget* parent) : QWidget(parent) {
        setFixedSize(diameter, diameter);
        symbol_ = AppStyle::tintedSymbol(QStringLiteral("waveform"), AppStyle::accentColor());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = AppStyle::accentColor();
        fill.setAlphaF(0.12f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(rect());
        const QRect symbolRect(QPoint(0, 0), QSize(symbolSide, symbolSide));
        symbol_.paint(&painter, symbolRect.translated(rect().center() - symbolRect.center()));
    }

private:
    static constexpr int diameter = 108;
    // The symbol at a 40-pixel text size, medium weight.
    static constexpr int symbolSide = 46;
    QIcon symbol_;
};

} // namespace

IdleStageView::IdleStageView(SystemAudioRecorder& recorder, RecordingListModel* recordings,
                             QWidget* parent)
    : QWidget(parent), recorder_(recorder), recordButton_(new QPushButton(this)),
      microphoneSwitch_(new QCheckBox(tr("Include microphone"), this)),
      microphoneNote_(new QLabel(this)), microphoneCheck_(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    const bool listsRecordings = recordings->rowCount() > 0;
    if (!listsRecordings) {
        layout->addStretch();
        auto* badge = new Badge(this);
        badge->setAccessibleName(tr("Sound waveform"));
        layout->addWidget(badge, 0, Qt::AlignHCenter);
    }

    auto* textBlock = new QVBoxLayout;
    textBlock->setSpacing(6);
    auto* title = new QLabel(tr("Record system audio"), this);
    title->setFont(AppStyle::headlineFont());
    title->setAlignment(Qt::AlignHCenter);
    title->setWordWrap(true);
    textBlock->addWidget(title);
    auto* subtitle = new QLabel(tr("Captures whatever's playing on your computer."), this);
    subtitle->setFont(AppStyle::calloutFont());
    subtitle->setAlignment(Qt::AlignHCenter);
    // As wide as the window allows and wrapped within it, whatever the font size.
    subtitle->setWordWrap(true);
    AppStyle::makeSecondary(subtitle);
    textBlock->addWidget(subtitle);
    layout->addLayout(textBlock);

    recordButton_->setText(tr("Record System Audio"));
    recordButton_->setAccessibleName(tr("Record System Audio"));
    recordButton_->setIcon(AppStyle::buttonSymbol(QStringLiteral("record-circle"), Qt::white));
    recordButton_->setFont(AppStyle::headlineFont());
    AppStyle::makeProminent(recordButton_, AppStyle::accentColor());
    recordButton_->setToolTip(
        tr("Record whatever your computer plays (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_R).toString(QKeySequence::NativeText)));
    recordButton_->setDefault(true);
    connect(recordButton_, &QPushButton::clicked, this, &IdleStageView::recordRequested);
    layout->addWidget(recordButton_, 0, Qt::AlignHCenter);

    // Your own side of a call, mixed in with what the computer plays.
    auto* microphone = new QVBoxLayout;
    microphone->setSpacing(2);
    microphoneSwitch_->setFont(AppStyle::calloutFont());
    microphoneSwitch_->setToolTip(
        tr("Record your microphone too, mixed with the computer's sound"));
    microphone->addWidget(microphoneSwitch_, 0, Qt::AlignHCenter);
    // Always there, so that nothing moves when a microphone comes or goes.
    microphoneNote_->setFont(AppStyle::calloutFont());
    microphoneNote_->setAlignment(Qt::AlignHCenter);
    microphoneNote_->setMinimumHeight(microphoneNote_->fontMetrics().lineSpacing());
    microphoneNote_->setWordWrap(true);
    AppStyle::makeSecondary(microphoneNote_);
    PlainText::keep(
        microphoneNote_); // says why the microphone can't be used, in the server's words
    // The whole width, so that a reason arriving later never finds a label sized for nothing.
    microphone->addWidget(microphoneNote_);
    layout->addLayout(microphone);

    if (listsRecordings) {
        recordingList_ = new RecordingListView(recordings, this);
        connect(recordingList_, &RecordingListView::openRequested, this,
                &IdleStageView::openRequested);
        layout->addWidget(recordingList_, 1);
    } else {
        layout->addStretch();
    }
    Accessibility::orderChildrenAsLaidOut(this);
    // The start screen's one action takes the keys when the screen appears.
    setFocusProxy(recordButton_);

    connect(microphoneSwitch_, &QCheckBox::toggled, &recorder,
            &SystemAudioRecorder::setIncludesMicrophone);
    connect(&recorder, &SystemAudioRecorder::includesMicrophoneChanged, this,
            &IdleStageView::showMicrophone);
    connect(&recorder, &SystemAudioRecorder::noMicrophoneReasonChanged, this,
            &IdleStageView::showMicrophone);
    connect(&recorder, &SystemAudioRecorder::microphoneNameChanged, this,
            &IdleStageView::showMicrophone);
    showMicrophone();
    // A microphone may come or go, and a sound server come back, while the screen is up.
    microphoneCheck_->setInterval(microphoneCheckIntervalMs);
    connect(microphoneCheck_, &QTimer::timeout, &recorder, &SystemAudioRecorder::checkServer);
    recorder.checkServer();
}

void IdleStageView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    microphoneCheck_->start();
}

void IdleStageView::hideEvent(QHideEvent* event) {
    microphoneCheck_->stop();
    QWidget::hideEvent(event);
}

QString IdleStageView::microphoneNote() const {
    return microphoneNote_->text();
}

void IdleStageView::showMicrophone() {
    // Without a microphone the switch is off and says why; the choice comes back with one.
    const std::optional<QString> reason = recorder_.noMicrophoneReason();
    const QSignalBlocker quiet(microphoneSwitch_);
    microphoneSwitch_->setEnabled(!reason);
    microphoneSwitch_->setChecked(recorder_.includesMicrophone() && !reason);
    const QString name = recorder_.microphoneName();
    microphoneNote_->setText(reason           ? *reason
                             : name.isEmpty() ? QString()
                                              : tr("Microphone: “%1”").arg(name));
}
