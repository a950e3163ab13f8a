#pragma once

#include <QWidget>

// While the finished recording is read into a waveform: a spinner and what is happening.
class AnalyzingStageView : public QWidget {
    Q_OBJECT

public:
    explicit AnalyzingStageView(QWidget* parent = nullptr);
};
