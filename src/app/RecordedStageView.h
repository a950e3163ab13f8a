#pragma once

#include "TimeRange.h"
#include "Waveform.h"

#include <QIcon>
#include <QUrl>
#include <QWidget>

class BusySpinner;
class QPushButton;
class TrimView;

// The editor stage: a title, the trim view over the recording, and the row with "New
// Recording" and the save button, which turns into a spinner while an export runs.
class RecordedStageView : public QWidget {
    Q_OBJECT

public:
    RecordedStageView(const QUrl& url, const Waveform::Data& waveform, TimeRange range,
                      QWidget* parent = nullptr);

    void setExporting(bool isExporting);
    TrimView* trimView() const { return trimView_; }
    QPushButton* newRecordingButton() const { return newRecordingButton_; }
    QPushButton* saveButton() const { return saveButton_; }

    static constexpr int saveButtonMinimumWidth = 140;

signals:
    void rangeChanged(TimeRange range);
    void newRecordingRequested();
    void saveRequested();

private:
    TrimView* trimView_;
    QPushButton* newRecordingButton_;
    QPushButton* saveButton_;
    BusySpinner* saveSpinner_;
    // Drawn once: the button gets it back after every export.
    QIcon saveSymbol_;
};
