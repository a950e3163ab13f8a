#pragma once

#include "CaptureService.h"

#include <QTimer>
#include <QWidget>
#include <optional>

class ElidedLabel;
class LevelMeter;
class LiveWaveformView;
class PulsingDot;
class QLabel;
class QPushButton;
class SystemAudioRecorder;

// The recording screen: the breathing dot, the running time, what is being recorded (the
// output's or the program's name, a live waveform and a level meter, a note while the program
// has nothing open, a hint when only silence comes in, a warning when the disk fills up), and
// the pause and stop buttons.
class RecordingStageView : public QWidget {
    Q_OBJECT

public:
    explicit RecordingStageView(SystemAudioRecorder& recorder, QWidget* parent = nullptr);

    void setElapsedText(const QString& text);
    QString elapsedText() const;
    QPushButton* stopButton() const { return stopButton_; }
    QPushButton* pauseButton() const { return pauseButton_; }
    PulsingDot* dot() const { return dot_; }
    LevelMeter* meter() const { return meter_; }
    // Shown when the recording includes the microphone.
    LevelMeter* microphoneMeter() const { return microphoneMeter_; }
    // What is recorded, and the waiting note, the silence hint or the space warning, as shown.
    QString outputText() const;
    QString statusText() const;

    // Everything that moves is painted together, once per frame, about 15 times a second: a
    // repaint of the window costs more than drawing what changed in it.
    static constexpr int frameIntervalMs = 66;

signals:
    void stopRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void nextFrame();
    void showPaused(bool paused);
    void showStatus();

    SystemAudioRecorder& recorder_;
    // The program recorded alone, as the recording started; none for the whole computer.
    const std::optional<CaptureProgram> program_;
    PulsingDot* dot_;
    QLabel* elapsed_;
    ElidedLabel* output_;
    LiveWaveformView* waveform_;
    LevelMeter* meter_;
    LevelMeter* microphoneMeter_;
    QLabel* status_;
    QPushButton* pauseButton_;
    QPushButton* stopButton_;
    QTimer frameClock_;
    // Something louder than silence came in during this recording.
    bool heardSound_ = false;
    // Whether the window showed focus before this screen made it, to leave it so afterwards.
    bool windowShowedFocus_ = false;
};
