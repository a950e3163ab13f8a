#pragma once

#include <QWidget>

class QPushButton;
class RecordingListModel;
class RecordingListView;

// The start screen: what the app does and the record button, with the list of past recordings
// beneath once there are any (the badge then gives them its room).
class IdleStageView : public QWidget {
    Q_OBJECT

public:
    // The model stays the caller's.
    explicit IdleStageView(RecordingListModel* recordings, QWidget* parent = nullptr);

    QPushButton* recordButton() const { return recordButton_; }
    // None while there are no recordings.
    RecordingListView* recordingList() const { return recordingList_; }

signals:
    void recordRequested();
    void openRequested(const QString& path);

private:
    QPushButton* recordButton_;
    RecordingListView* recordingList_ = nullptr;
};
