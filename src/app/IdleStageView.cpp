#include "IdleStageView.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "PlainText.h"
#include "ProgramMemory.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"
#include "ReplayActions.h"
#include "ReplayMemory.h"
#include "SystemAudioRecorder.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

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

// The desktop theme's icon, else our drawing in the text's colour, which suits a dark palette too.
QIcon themedSymbol(const QString& themeName, const QString& bundledName, const QWidget* widget) {
    return QIcon::hasThemeIcon(themeName)
               ? QIcon::fromTheme(themeName)
               : AppStyle::tintedSymbol(bundledName, widget->palette().color(QPalette::Text));
}

// The icon the program names for itself, else the one named like its binary, else a program's.
QIcon programIcon(const CaptureProgram& program, const QWidget* widget) {
    for (const QString& name : {program.iconName, program.binary}) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return themedSymbol(QStringLiteral("application-x-executable"), QStringLiteral("app-window"),
                        widget);
}

} // namespace

IdleStageView::IdleStageView(SystemAudioRecorder& recorder, RecordingListModel* recordings,
                             QWidget* parent)
    : QWidget(parent), recorder_(recorder), recordButton_(new QPushButton(this)),
      microphoneSwitch_(new QCheckBox(tr("Include microphone"), this)),
      microphoneNote_(new QLabel(this)), subtitle_(new QLabel(this)),
      programChoice_(new QComboBox(this)), replaySwitch_(new QCheckBox(tr("Keep the last"), this)),
      replayLength_(new QComboBox(this)), saveReplayButton_(new QPushButton(this)),
      replayNote_(new QLabel(this)), serverCheck_(new QTimer(this)) {
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
    subtitle_->setFont(AppStyle::calloutFont());
    subtitle_->setAlignment(Qt::AlignHCenter);
    // As wide as the window allows and wrapped within it, whatever the font size.
    subtitle_->setWordWrap(true);
    // It may name the program to record, as the sound server has it.
    PlainText::keep(subtitle_);
    AppStyle::makeSecondary(subtitle_);
    textBlock->addWidget(subtitle_);
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

    // What to record, and your own side of a call mixed in with it, side by side.
    auto* microphone = new QVBoxLayout;
    microphone->setSpacing(2);
    auto* choices = new QHBoxLayout;
    choices->setSpacing(20);
    choices->addStretch();
    programChoice_->setFont(AppStyle::calloutFont());
    programChoice_->setAccessibleName(tr("Record from"));
    programChoice_->setToolTip(tr("Record the whole computer, or one program alone"));
    // Long program names are shortened in the field; the open list shows them whole.
    programChoice_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    programChoice_->setMinimumContentsLength(16);
    programChoice_->view()->setTextElideMode(Qt::ElideMiddle);
    choices->addWidget(programChoice_);
    microphoneSwitch_->setFont(AppStyle::calloutFont());
    microphoneSwitch_->setToolTip(
        tr("Record your microphone too, mixed with the computer's sound"));
    choices->addWidget(microphoneSwitch_);
    choices->addStretch();
    microphone->addLayout(choices);
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
    layout->addLayout(createReplayRow());

    if (listsRecordings) {
        recordingList_ = new RecordingListView(recordings, this);
        connect(recordingList_, &RecordingListView::openRequested, this,
                &IdleStageView::openRequested);
        layout->addWidget(recordingList_, 1);
    } else {
        layout->addStretch();
    }
    Accessibility::orderChildrenAsLaidOut(this);
    // Tab goes as the eye does: the button, then what to record, then the microphone.
    setTabOrder(recordButton_, programChoice_);
    setTabOrder(programChoice_, microphoneSwitch_);
    setTabOrder(microphoneSwitch_, replaySwitch_);
    setTabOrder(replaySwitch_, replayLength_);
    setTabOrder(replayLength_, saveReplayButton_);
    // The start screen's one action takes the keys when the screen appears.
    setFocusProxy(recordButton_);

    connect(programChoice_, &QComboBox::activated, this, &IdleStageView::programPicked);
    connect(&recorder, &SystemAudioRecorder::programChanged, this, &IdleStageView::showPrograms);
    connect(&recorder, &SystemAudioRecorder::playingProgramsChanged, this,
            &IdleStageView::showPrograms);
    showPrograms();
    connect(microphoneSwitch_, &QCheckBox::toggled, &recorder,
            &SystemAudioRecorder::setIncludesMicrophone);
    connect(&recorder, &SystemAudioRecorder::includesMicrophoneChanged, this,
            &IdleStageView::showMicrophone);
    connect(&recorder, &SystemAudioRecorder::noMicrophoneReasonChanged, this,
            &IdleStageView::showMicrophone);
    connect(&recorder, &SystemAudioRecorder::microphoneNameChanged, this,
            &IdleStageView::showMicrophone);
    showMicrophone();
    connect(&recorder, &SystemAudioRecorder::replayMinutesChanged, this,
            &IdleStageView::showReplay);
    connect(&recorder, &SystemAudioRecorder::replayProblemChanged, this,
            &IdleStageView::showReplay);
    connect(&recorder, &SystemAudioRecorder::isSavingReplayChanged, this,
            &IdleStageView::showReplay);
    connect(&recorder, &SystemAudioRecorder::programChanged, this, &IdleStageView::showReplay);
    showReplay();
    // A microphone or a program may come or go, and a sound server come back, while the screen
    // is up.
    serverCheck_->setInterval(serverCheckIntervalMs);
    connect(serverCheck_, &QTimer::timeout, &recorder, &SystemAudioRecorder::checkServer);
    recorder.checkServer();
}

void IdleStageView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    serverCheck_->start();
}

void IdleStageView::hideEvent(QHideEvent* event) {
    serverCheck_->stop();
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

void IdleStageView::showPrograms() {
    const std::optional<CaptureProgram> chosen = recorder_.program();
    const QList<CaptureProgram> playing = recorder_.playingPrograms();
    QList<CaptureProgram> quiet;
    // The choice stays listed while its program is quiet, even one never seen playing.
    if (chosen && !playing.contains(*chosen))
        quiet.append(*chosen);
    for (const CaptureProgram& program : ProgramMemory::seen()) {
        if (!playing.contains(program) && !quiet.contains(program))
            quiet.append(program);
    }

    // Filled anew only when the programs change, so that an open list stays put meanwhile.
    if (playing != listedPlaying_ || quiet != listedQuiet_ || programChoice_->count() == 0) {
        listedPlaying_ = playing;
        listedQuiet_ = quiet;
        const QSignalBlocker quietly(programChoice_);
        programChoice_->clear();
        listed_.clear();
        programChoice_->addItem(
            themedSymbol(QStringLiteral("computer"), QStringLiteral("desktopcomputer"), this),
            tr("Whole computer"));
        listed_.append(std::nullopt);
        const auto list = [this](const QList<CaptureProgram>& group, bool playingNow) {
            if (group.isEmpty())
                return;
            programChoice_->insertSeparator(programChoice_->count());
            listed_.append(std::nullopt);
            for (const CaptureProgram& program : group) {
                programChoice_->addItem(programIcon(program, this),
                                        playingNow
                                            ? program.displayName()
                                            : tr("%1 (not playing)").arg(program.displayName()));
                listed_.append(program);
            }
        };
        list(playing, true);
        list(quiet, false);
    }
    int current = 0;
    for (qsizetype index = 0; chosen && index < listed_.size(); ++index) {
        if (listed_[index] == chosen)
            current = int(index);
    }
    const QSignalBlocker quietly(programChoice_);
    programChoice_->setCurrentIndex(current);

    subtitle_->setText(chosen ? tr("Captures only what “%1” plays.").arg(chosen->displayName())
                              : tr("Captures whatever's playing on your computer."));
}

void IdleStageView::programPicked(int index) {
    if (index >= 0 && index < listed_.size())
        emit programChosen(listed_[index]);
}

QLayout* IdleStageView::createReplayRow() {
    auto* replay = new QVBoxLayout;
    replay->setSpacing(2);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch();
    replaySwitch_->setFont(AppStyle::calloutFont());
    replaySwitch_->setToolTip(tr("Keep the last minutes of the computer's sound in memory, to "
                                 "save them when something worth keeping has just played"));
    row->addWidget(replaySwitch_);
    replayLength_->setFont(AppStyle::calloutFont());
    replayLength_->setAccessibleName(tr("How long to keep"));
    for (const int minutes : ReplayMemory::lengths)
        replayLength_->addItem(ReplayActions::lengthText(minutes), minutes);
    row->addWidget(replayLength_);
    row->addSpacing(12);
    saveReplayButton_->setFont(AppStyle::calloutFont());
    saveReplayButton_->setToolTip(
        tr("Save what was kept as a new recording (%1)")
            .arg(ReplayActions::saveKey().toString(QKeySequence::NativeText)));
    // Its room stays while it is hidden, so that switching the replay moves nothing beside it.
    QSizePolicy keepsRoom = saveReplayButton_->sizePolicy();
    keepsRoom.setRetainSizeWhenHidden(true);
    saveReplayButton_->setSizePolicy(keepsRoom);
    row->addWidget(saveReplayButton_);
    row->addStretch();
    replay->addLayout(row);
    replayNote_->setFont(AppStyle::calloutFont());
    replayNote_->setAlignment(Qt::AlignHCenter);
    replayNote_->setWordWrap(true);
    AppStyle::makeSecondary(replayNote_);
    // It may name a program, or tell the sound server's trouble in the server's words.
    PlainText::keep(replayNote_);
    replay->addWidget(replayNote_);

    connect(replaySwitch_, &QCheckBox::toggled, this, &IdleStageView::switchReplay);
    // Choosing a length means keeping that long.
    connect(replayLength_, &QComboBox::activated, this, [this] { switchReplay(true); });
    connect(saveReplayButton_, &QPushButton::clicked, this, &IdleStageView::saveReplayRequested);
    return replay;
}

void IdleStageView::switchReplay(bool on) {
    recorder_.setReplayMinutes(on ? replayLength_->currentData().toInt() : 0);
}

QString IdleStageView::replayNote() const {
    return replayNote_->isVisibleTo(this) ? replayNote_->text() : QString();
}

void IdleStageView::showReplay() {
    const int minutes = recorder_.replayMinutes();
    const bool on = minutes > 0;
    const QSignalBlocker quietSwitch(replaySwitch_);
    const QSignalBlocker quietLength(replayLength_);
    replaySwitch_->setChecked(on);
    const int shown = replayLength_->findData(on ? minutes : ReplayMemory::length());
    replayLength_->setCurrentIndex(std::max(shown, 0));
    saveReplayButton_->setText(ReplayActions::saveText(on ? minutes : ReplayMemory::length()));
    saveReplayButton_->setVisible(on);
    saveReplayButton_->setEnabled(!recorder_.isSavingReplay());
    replayNote_->setVisible(on);
    if (const std::optional<QString> problem = recorder_.replayProblem(); on && problem) {
        replayNote_->setText(*problem);
    } else if (const std::optional<CaptureProgram> program = recorder_.program(); !program) {
        replayNote_->setText(
            minutes == 1 ? tr("Keeping the last minute of sound in memory.")
                         : tr("Keeping the last %1 minutes of sound in memory.").arg(minutes));
    } else if (minutes == 1) {
        replayNote_->setText(tr("Keeping the last minute of what “%1” plays in memory.")
                                 .arg(program->displayName()));
    } else {
        replayNote_->setText(tr("Keeping the last %1 minutes of what “%2” plays in memory.")
                                 .arg(minutes)
                                 .arg(program->displayName()));
    }
}
