#include "ReplayActions.h"

#include "AppFlow.h"
#include "ReplayMemory.h"
#include "SystemAudioRecorder.h"

#include <QAction>
#include <QActionGroup>
#include <QWidget>

ReplayActions::ReplayActions(AppFlow& flow, QWidget* window)
    : QObject(window), flow_(flow), lengths_(new QActionGroup(this)),
      saveAction_(new QAction(this)), startAfreshAction_(new QAction(this)) {
    SystemAudioRecorder& recorder = flow.recorder();
    const auto addLength = [&](int minutes, const QString& text) {
        QAction* action = lengths_->addAction(text);
        action->setCheckable(true);
        action->setData(minutes);
        connect(action, &QAction::triggered, &recorder,
                [&recorder, minutes] { recorder.setReplayMinutes(minutes); });
        lengthActions_.append(action);
    };
    addLength(0, tr("&Off"));
    for (const int minutes : ReplayMemory::lengths)
        addLength(minutes, minutes == 1 ? tr("1 Minute") : tr("%1 Minutes").arg(minutes));

    saveAction_->setShortcut(saveKey());
    window->addAction(saveAction_);
    connect(saveAction_, &QAction::triggered, &flow, [this] { flow_.saveReplay(); });

    startAfreshAction_->setText(tr("Start Afresh After Sav&ing"));
    startAfreshAction_->setCheckable(true);
    startAfreshAction_->setChecked(ReplayMemory::startsAfresh());
    startAfreshAction_->setToolTip(tr("Drop what was kept once it is saved, so that the next "
                                      "save holds only what plays after this one"));
    connect(startAfreshAction_, &QAction::toggled, this, &ReplayMemory::setStartsAfresh);

    connect(&recorder, &SystemAudioRecorder::replayMinutesChanged, this, &ReplayActions::update);
    connect(&recorder, &SystemAudioRecorder::isSavingReplayChanged, this, &ReplayActions::update);
    update();
}

QString ReplayActions::saveText(int minutes) {
    return minutes == 1 ? tr("Save Last Minute") : tr("Save Last %1 Minutes").arg(minutes);
}

QString ReplayActions::lengthText(int minutes) {
    return minutes == 1 ? tr("1 minute") : tr("%1 minutes").arg(minutes);
}

QString ReplayActions::keepingText(int minutes) {
    return minutes == 1 ? tr("Keeping the last minute")
                        : tr("Keeping the last %1 minutes").arg(minutes);
}

void ReplayActions::update() {
    const SystemAudioRecorder& recorder = flow_.recorder();
    const int minutes = recorder.replayMinutes();
    for (QAction* action : lengthActions_)
        action->setChecked(action->data().toInt() == minutes);
    // While off, the item names the length it would keep, greyed.
    const int named = minutes > 0 ? minutes : ReplayMemory::length();
    saveAction_->setText(named == 1 ? tr("Sa&ve Last Minute")
                                    : tr("Sa&ve Last %1 Minutes").arg(named));
    saveAction_->setEnabled(minutes > 0 && !recorder.isSavingReplay());
}
