#pragma once

#include "SelectionPlayer.h"
#include "TimeRange.h"
#include "Waveform.h"

#include <QMetaType>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <optional>

class QAbstractButton;
class QLayout;
class QLabel;
class QScrollBar;
class TrimCard;
class TrimHandle;
class WaveformViewport;

Q_DECLARE_METATYPE(TimeRange)

// The trim editor: the recording's waveform on a card with two handles that bound the
// selection, time labels, and buttons that play the selection and trim silence automatically.
// The selection belongs to the caller; the view edits it through range()/setRange() and
// rangeChanged(), and stops playback whenever it changes.
class TrimView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(TimeRange range READ range WRITE setRange NOTIFY rangeChanged)

public:
    enum class Handle { start, end };
    Q_ENUM(Handle)

    TrimView(Waveform::Data waveform, TimeRange range, QString sourcePath,
             QWidget* parent = nullptr);
    ~TrimView() override;

    TimeRange range() const { return range_; }
    // Emits rangeChanged() when the range differs from the current one, nothing otherwise.
    void setRange(TimeRange range);

    SelectionPlayer& player() { return player_; }
    bool isPlaying() const { return player_.isPlaying(); }
    // Where the keys start in the editor: the start handle.
    QWidget* firstFocus() const;

    // The stretch of the recording the card shows; zooming changes it. setVisibleRange keeps it
    // within the recording and no shorter than a few hundred frames.
    TimeRange visibleRange() const;
    void setVisibleRange(TimeRange visible);
    TrimCard* card() const { return card_; }

    // "m:ss.t": whole minutes, two-digit seconds and truncated tenths; negative gives 0:00.0.
    static QString timeLabel(double seconds);

    // What the buttons do, for the window's menus and keys.
    void togglePlayback();
    // Selects from the first to the last sound; says so when there is none.
    void autoTrim();
    // Keyboard zoom, around the focused handle (or the playhead, or the pointer).
    void zoomIn();
    void zoomOut();
    void showWholeRecording();
    // Nothing in the recording rises above the silence auto-trim looks for.
    bool isSilent() const;

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
    // Moves one bound to `seconds`, kept within the recording and at least 0.05 s from the
    // other bound.
    void apply(double seconds, Handle handle);
    void changeSelection(TimeRange range, int animationMs);
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
    double durationSeconds() const;

    Waveform::Data waveform_;
    TimeRange range_;
    QString sourcePath_;
    std::optional<Handle> draggingHandle_;
    QPointF lastDragPosition_;
    // Ticks while a dragged handle's pointer is past the shown stretch's edge.
    QTimer edgeScroll_;
    std::optional<Handle> hoveringHandle_;
    SelectionPlayer player_;
    // Counts auto-trims, so only the latest one's exact ends are taken.
    quint64 autoTrimRequest_ = 0;

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
