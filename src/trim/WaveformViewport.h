#pragma once

#include "EditorModel.h"

#include <QObject>

class QScrollBar;
class TrimCard;

// The bars for the stretch of the recording the editor model shows: all of the recording with
// the analysis' peaks at first; zoomed in, peaks of just the shown stretch at about one bar per
// barPitch points, computed off the main thread at the nearest power-of-two level. A scroll bar
// follows the stretch and moves it.
class WaveformViewport : public QObject {
    Q_OBJECT

public:
    WaveformViewport(EditorModel& model, TrimCard* card, QScrollBar* scrollBar);

    // After the card changed size: bars for its new width.
    void refreshPeaks();

    static constexpr double barPitch = 1.5;
    // The scroll bar counts milliseconds.
    static constexpr double scrollUnitsPerSecond = 1000.0;

private:
    void followVisibleRange();
    void syncScrollBar();
    void scrollBarMoved(int value);

    EditorModel& model_;
    TrimCard* card_;
    QScrollBar* scrollBar_;
    // Counts peak requests, so only the latest one's bars are shown.
    quint64 request_ = 0;
};
