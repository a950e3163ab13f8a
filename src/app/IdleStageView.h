#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class SystemAudioRecorder;

// The start screen: a badge, what the app does, the record button and the microphone switch.
class IdleStageView : public QWidget {
    Q_OBJECT

public:
    explicit IdleStageView(SystemAudioRecorder& recorder, QWidget* parent = nullptr);

    QPushButton* recordButton() const { return recordButton_; }
    QCheckBox* microphoneSwitch() const { return microphoneSwitch_; }
    // Why the switch is unavailable, as shown; empty when it is available.
    QString microphoneNote() const;

signals:
    void recordRequested();

private:
    void showMicrophone();

    SystemAudioRecorder& recorder_;
    QPushButton* recordButton_;
    QCheckBox* microphoneSwitch_;
    QLabel* microphoneNote_;
};
