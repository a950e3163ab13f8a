#pragma once

#include <QWidget>

class QPushButton;

// The start screen: a badge, what the app does, and the record button.
class IdleStageView : public QWidget {
    Q_OBJECT

public:
    explicit IdleStageView(QWidget* parent = nullptr);

    QPushButton* recordButton() const { return recordButton_; }

signals:
    void recordRequested();

private:
    QPushButton* recordButton_;
};
