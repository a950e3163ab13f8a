#pragma once

#include <QWidget>
#include <memory>

class EditorModel;
class ElidedLabel;
class QLabel;
class QProgressBar;
class QPushButton;
class TrimView;

// The editor stage: a title, the trim view over the recording, and the row with "New
// Recording" and the save button, which gives way to the save's progress and a Cancel button
// while an export runs.
class RecordedStageView : public QWidget {
    Q_OBJECT

public:
    explicit RecordedStageView(std::shared_ptr<EditorModel> editor, QWidget* parent = nullptr);

    void setExporting(bool isExporting);
    // 0 to 100.
    void setSaveProgress(int percent);
    // "Saved to <name>" with a way to the file, until the next save starts.
    void showSaved(const QString& path);
    TrimView* trimView() const { return trimView_; }
    QPushButton* newRecordingButton() const { return newRecordingButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    ElidedLabel* savedLabel() const { return savedLabel_; }
    QProgressBar* saveProgressBar() const { return progressBar_; }
    // The line under the title: how to trim, or why there is nothing to trim.
    QString hintText() const;

    static constexpr int saveButtonMinimumWidth = 140;

signals:
    void newRecordingRequested();
    void saveRequested();
    void cancelSaveRequested();

private:
    void showNothingToTrim();

    QLabel* hint_;
    TrimView* trimView_;
    QPushButton* newRecordingButton_;
    QPushButton* saveButton_;
    QWidget* saveProgress_;
    QProgressBar* progressBar_;
    QPushButton* cancelSaveButton_;
    QWidget* savedNotice_;
    ElidedLabel* savedLabel_;
    QString savedPath_;
};
