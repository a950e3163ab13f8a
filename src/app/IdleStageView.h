#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;
class RecordingListModel;
class RecordingListView;
class SystemAudioRecorder;

// The start screen: what the app does, the record button and the microphone switch, with the
// list of past recordings beneath once there are any (the badge then gives them its room).
class IdleStageView : public QWidget {
    Q_OBJECT

public:
    // The model stays the caller's.
    IdleStageView(SystemAudioRecorder& recorder, RecordingListModel* recordings,
                  QWidget* parent = nullptr);

    QPushButton* recordButton() const { return recordButton_; }
    QCheckBox* microphoneSwitch() const { return microphoneSwitch_; }
    // Why the switch is unavailable, or which microphone it records, as shown.
    QString microphoneNote() const;
    // How often the screen looks again for a microphone that came or went.
    static constexpr int microphoneCheckIntervalMs = 3000;
    // None while there are no recordings.
    RecordingListView* recordingList() const { return recordingList_; }

signals:
    void recordRequested();
    void openRequested(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showMicrophone();

    SystemAudioRecorder& recorder_;
    QPushButton* recordButton_;
    QCheckBox* microphoneSwitch_;
    QLabel* microphoneNote_;
    RecordingListView* recordingList_ = nullptr;
    QTimer* microphoneCheck_;
};
