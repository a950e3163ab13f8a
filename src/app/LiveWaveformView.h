#pragma once

#include <QPixmap>
#include <QWidget>
#include <memory>

class PeakHistory;

// The last ten seconds of a recording, drawn as the editor draws its waveform and scrolling
// as audio comes in: the newest audio at the right edge. The picture moves by whole bars (one
// per 60 ms or so), so it is repainted only when a new bar has begun, by moving what was drawn
// and drawing only the bars that changed; a repaint at every display frame would cost several
// times the recording itself. It has no clock of its own: whoever shows it calls nextFrame().
class LiveWaveformView : public QWidget {
    Q_OBJECT

public:
    static constexpr int seconds = 10;
    // One bar per this many points, gap included.
    static constexpr double barPitch = 3.0;

    explicit LiveWaveformView(QWidget* parent = nullptr);

    // None shows an empty waveform.
    void setHistory(std::shared_ptr<const PeakHistory> history);

    // The bars' peaks for a given number of bars, oldest first; each bar covers a fixed stretch
    // of audio, so a bar keeps its height while it scrolls.
    // `barsBegun`, when given, gets how many bars the recording has begun so far.
    static std::vector<float> barPeaks(const PeakHistory& history, int bars,
                                       qint64* barsBegun = nullptr);

    // Repaints if a bar has begun since the last picture.
    void nextFrame();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateBars();
    int barCount() const;
    static int binsPerBar(int bars);

    std::shared_ptr<const PeakHistory> history_;
    qint64 paintedBars_ = -1;
    // The bars as last drawn, for the bars begun then.
    QPixmap bars_;
    // The palette they were drawn in: its window is their background.
    qint64 barsPalette_ = 0;
    qint64 barsBegun_ = -1;
};
