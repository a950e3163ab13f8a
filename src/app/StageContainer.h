#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPropertyAnimation;
class QVBoxLayout;

// Holds the view of the current stage and cross-fades to the next one: a snapshot of what was
// on screen lies over the new view and fades out over 0.2 s, ease-in-out.
class StageContainer : public QWidget {
    Q_OBJECT

public:
    explicit StageContainer(QWidget* parent = nullptr);

    // Takes ownership of `stageView` and shows it in place of the current one.
    void setStageView(QWidget* stageView);
    QWidget* stageView() const { return current_; }
    bool isFading() const;

    static constexpr int fadeDurationMs = 200;
    static constexpr int contentPadding = 24;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QVBoxLayout* layout_;
    QPointer<QWidget> current_;
    QLabel* fadingSnapshot_;
    QPropertyAnimation* fade_;
};
