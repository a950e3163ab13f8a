#pragma once

#include <QWidget>

class QLabel;
class QListView;
class QPushButton;
class RecordingListModel;

// The start screen's list of past recordings: name or date, duration, size and the interrupted
// mark of each, the space they take together, and what can be done with one: open it
// (double-click, Enter), rename it (F2), show it in the file manager, move it to the trash
// (Delete) after a question.
class RecordingListView : public QWidget {
    Q_OBJECT

public:
    // The model stays the caller's.
    explicit RecordingListView(RecordingListModel* model, QWidget* parent = nullptr);

    QListView* listView() const { return list_; }
    // The selected recording's path; empty for none.
    QString selectedPath() const;
    // Selects the recording, or the newest when it isn't listed.
    void select(const QString& path);

    void openSelected();
    void renameSelected();
    void showSelectedInFolder();
    void trashSelected();

signals:
    void openRequested(const QString& path);
    // A recording was selected, or none is any more.
    void selectionChanged();
    // Its file took the name of its new title.
    void recordingRenamed(const QString& oldPath, const QString& newPath);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void updateActions();
    void showTotal();

    RecordingListModel* model_;
    QLabel* total_;
    QListView* list_;
    QPushButton* openButton_;
    QPushButton* renameButton_;
    QPushButton* showButton_;
    QPushButton* trashButton_;
};
