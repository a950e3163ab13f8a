#pragma once

#include "PeakLevels.h"
#include "TimeRange.h"

#include <QObject>
#include <memory>
#include <vector>

class QScrollBar;
class TrimCard;

// Which stretch of the recording the trim card shows, and the bars for it: all of the recording
// with the analysis' peaks at first; zoomed in, peaks of just the shown stretch at about one bar
// per barPitch points, computed off the main thread at the nearest power-of-two level. A scroll
// bar follows the stretch and moves it.
class WaveformViewport : public QObject {
    Q_OBJECT

public:
    // `overview` spans the whole recording, `durationSeconds` long; `levels` gives the peaks of
    // any stretch of it.
    WaveformViewport(TrimCard* card, QScrollBar* scrollBar, std::vector<float> overview,
                     std::shared_ptr<PeakLevels> levels, double sampleRate, double durationSeconds);

    TimeRange visible() const;
    bool showsAll() const;
    // Kept within the recording and no shorter than minimumVisibleFrames.
    void show(TimeRange visible);
    // factor > 1 zooms in; the time at `anchor` stays where it is on screen.
    void zoom(double factor, double anchor);
    void scrollBy(double seconds);
    // Scrolls as little as needed to bring `seconds` into view, a tenth of a screen in.
    void reveal(double seconds);
    // After the card changed size: bars for its new width.
    void refreshPeaks();

    static constexpr double barPitch = 1.5;
    static constexpr qint64 minimumVisibleFrames = 512;
    // The scroll bar counts milliseconds.
    static constexpr double scrollUnitsPerSecond = 1000.0;

private:
    void syncScrollBar();
    void scrollBarMoved(int value);

    TrimCard* card_;
    QScrollBar* scrollBar_;
    std::vector<float> overview_;
    std::shared_ptr<PeakLevels> levels_;
    double sampleRate_;
    double duration_;
    // Counts peak requests, so only the latest one's bars are shown.
    quint64 request_ = 0;
};
