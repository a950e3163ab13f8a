#pragma once

#include <QWidget>

class PulsingDot;
class QLabel;
class QPushButton;

// The recording screen: the breathing dot, the running time and the stop button.
class RecordingStageView : public QWidget {
    Q_OBJECT

public:
    explicit RecordingStageView(QWidget* parent = nullptr);

    void setElapsedText(const QString& text);
    QString elapsedText() const;
    QPushButton* stopButton() const { return stopButton_; }

signals:
    void stopRequested();

private:
    PulsingDot* dot_;
    QLabel* elapsed_;
    QPushButton* stopButton_;
};
