#pragma once

#include "EditorModel.h"
#include "TimeRange.h"
#include "Waveform.h"

#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>

class QAbstractButton;
class QLayout;
class QLabel;
class QScrollBar;
class TrimCard;
class TrimHandle;
class WaveformViewport;

// The trim editor: the recording's waveform on a card with two handles that bound the
// selection, time labels, and buttons that play the selection and trim silence automatically.
// The selection, the shown stretch and the player are the editor model's; the view shows them
// and turns gestures and keys into the model's commands.
class TrimView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(TimeRange range READ range WRITE setRange NOTIFY rangeChanged)

public:
    // Shows a model that others may share.
    explicit TrimView(std::shared_ptr<EditorModel> model, QWidget* parent = nullptr);
    // Shows a model of its own over the recording.
    TrimView(Waveform::Data waveform, TimeRange range, QString sourcePath,
             QWidget* parent = nullptr);
    ~TrimView() override;

    EditorModel& model() const { return *model_; }
    TimeRange range() const { return model_->trimRange(); }
    // Emits rangeChanged() when the range differs from the current one, nothing otherwise.
    void setRange(TimeRange range) { model_->setTrimRange(range); }

    SelectionPlayer& player() { return model_->player(); }
    bool isPlaying() const { return model_->player().isPlaying(); }
    // Where the keys start in the editor: the start handle.
    QWidget* firstFocus() const;
    // Its last control in the Tab order: Auto-Trim.
    QWidget* lastFocus() const;

    // The stretch of the recording the card shows; zooming changes it. setVisibleRange keeps it
    // within the recording and no shorter than a few hundred frames.
    TimeRange visibleRange() const { return model_->visibleRange(); }
    void setVisibleRange(TimeRange visible) { model_->setVisibleRange(visible); }
    TrimCard* card() const { return card_; }

    // "m:ss.t": whole minutes, two-digit seconds and truncated tenths; negative gives 0:00.0.
    static QString timeLabel(double seconds) { return EditorModel::timeLabel(seconds); }

    // What the buttons do, for the window's menus and keys.
    void togglePlayback() { model_->togglePlayback(); }
    // Selects from the first to the last sound; says so when there is none.
    void autoTrim() { model_->autoTrim(); }
    // Keyboard zoom, around the focused handle (or the playhead, or the pointer).
    void zoomIn();
    void zoomOut();
    void showWholeRecording();
    // Nothing in the recording rises above the silence auto-trim looks for.
    bool isSilent() const { return model_->isSilent(); }

Q_SIGNALS:
    // Every change of the selection: a drag step, a key press, auto-trim or setRange().
    void rangeChanged(TimeRange range);
    // Auto-trim found nothing but silence: the selection stays.
    void nothingToTrim();

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    using Handle = EditorModel::Bound;

    void followSelection(TimeRange range);
    void dragStep(Handle handle, QPointF globalPosition);
    void finishDrag();
    void scrollPastEdge();
    void addZoomShortcuts();
    // Where keyboard zooming centres: the playhead, else the focused handle, else the pointer
    // over the card, else the middle of what is shown.
    double zoomAnchor() const;
    void revealFocusedHandle();
    void setHovering(Handle handle, bool hovered);
    void updateActiveHandles();
    void updateLabels();
    void updatePlayButton();
    void updatePlayhead();
    QLayout* makeLabelRow();
    QLayout* makeButtonRow();
    void applyPaletteStyles();
    void keepPlayButtonWidth();
    void connectHandle(Handle handle);
    TrimHandle* handleWidget(Handle handle) const;

    // Kept alive while the view shows it.
    std::shared_ptr<EditorModel> model_;
    std::optional<Handle> draggingHandle_;
    QPointF lastDragPosition_;
    // Ticks while a dragged handle's pointer is past the shown stretch's edge.
    QTimer edgeScroll_;
    std::optional<Handle> hoveringHandle_;

    TrimCard* card_;
    QScrollBar* scrollBar_;
    WaveformViewport* viewport_;
    QLabel* startLabel_;
    QLabel* lengthLabel_;
    QLabel* selectedWordLabel_;
    QLabel* endLabel_;
    QAbstractButton* playButton_;
    QAbstractButton* autoTrimButton_;
};
