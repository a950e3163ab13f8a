#pragma once

#include "CaptureService.h"

#include <QWidget>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class RecordingListModel;
class RecordingListView;
class SystemAudioRecorder;

// The start screen: what the app does, the record button, what to record (the whole computer or
// one program) and the microphone switch, the replay's switch, length and save button, with the
// list of past recordings beneath once there are any (the badge then gives them its room).
class IdleStageView : public QWidget {
    Q_OBJECT

public:
    // The model stays the caller's.
    IdleStageView(SystemAudioRecorder& recorder, RecordingListModel* recordings,
                  QWidget* parent = nullptr);

    QPushButton* recordButton() const { return recordButton_; }
    QCheckBox* microphoneSwitch() const { return microphoneSwitch_; }
    // "Whole computer", then the programs playing now, then those seen before that are quiet.
    QComboBox* programChoice() const { return programChoice_; }
    // Why the switch is unavailable, or which microphone it records, as shown.
    QString microphoneNote() const;
    // "Keep the last", its length, and the save shown while it keeps.
    QCheckBox* replaySwitch() const { return replaySwitch_; }
    QComboBox* replayLength() const { return replayLength_; }
    QPushButton* saveReplayButton() const { return saveReplayButton_; }
    // What the replay keeps, or why it can't; empty while off.
    QString replayNote() const;
    // How often the screen looks again for a microphone or a program that came or went.
    static constexpr int serverCheckIntervalMs = 1500;
    // None while there are no recordings.
    RecordingListView* recordingList() const { return recordingList_; }

signals:
    void recordRequested();
    // The user picked what to record: a program, or none for the whole computer.
    void programChosen(const std::optional<CaptureProgram>& program);
    void openRequested(const QString& path);
    void saveReplayRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showMicrophone();
    // Fills the choice from the recorder's programs and those seen before, the recorder's own
    // selected; the rest of the screen names it.
    void showPrograms();
    void programPicked(int index);
    QLayout* createReplayRow();
    void showReplay();
    // Switches the replay on with the length shown, or off.
    void switchReplay(bool on);

    SystemAudioRecorder& recorder_;
    QPushButton* recordButton_;
    QCheckBox* microphoneSwitch_;
    QLabel* microphoneNote_;
    QLabel* subtitle_;
    QComboBox* programChoice_;
    QCheckBox* replaySwitch_;
    QComboBox* replayLength_;
    QPushButton* saveReplayButton_;
    QLabel* replayNote_;
    // What each entry of the choice records, by the entry's index; separators hold none too.
    QList<std::optional<CaptureProgram>> listed_;
    // The programs listed, playing and quiet, as they were when the choice was filled.
    QList<CaptureProgram> listedPlaying_;
    QList<CaptureProgram> listedQuiet_;
    RecordingListView* recordingList_ = nullptr;
    QTimer* serverCheck_;
};
