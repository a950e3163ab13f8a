#pragma once

#include "PeakLevels.h"
#include "SelectionPlayer.h"
#include "TimeRange.h"
#include "Waveform.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <memory>

Q_DECLARE_METATYPE(TimeRange)

// The editor's state, apart from any widget: the recording, the selection (trimRange) with its
// rules, the stretch of the recording on screen (visibleRange), auto-trim and the player of the
// selection. Views show it and send it what the user does; it says every change once.
class EditorModel : public QObject {
    Q_OBJECT

public:
    enum class Bound { start, end };
    Q_ENUM(Bound)
    // What moved the selection; the handles glide there at a pace of their own.
    enum class Change { edit, autoTrim };
    Q_ENUM(Change)

    EditorModel(Waveform::Data waveform, TimeRange trimRange, QString sourcePath,
                QObject* parent = nullptr);
    ~EditorModel() override;

    const QString& sourcePath() const { return sourcePath_; }
    // The analysis' overview peaks over the whole recording.
    const std::vector<float>& overviewPeaks() const { return waveform_.peaks; }
    // The peaks of any stretch, for a zoomed waveform.
    const std::shared_ptr<PeakLevels>& levels() const { return levels_; }
    double sampleRate() const { return waveform_.sampleRate; }
    double durationSeconds() const;

    TimeRange trimRange() const { return trimRange_; }
    // Takes the range as it is; every change stops playback and is told once.
    void setTrimRange(TimeRange range, Change change = Change::edit);
    // Moves one bound to `seconds`, kept within the recording and at least
    // minimumSelectionSeconds from the other bound (near either end the gap wins); NaN moves
    // nothing.
    void moveBound(Bound bound, double seconds);
    // Moves one bound by `seconds` and scrolls as little as needed to keep it in sight.
    void stepBound(Bound bound, double seconds);
    double boundTime(Bound bound) const;
    // How far a bound may go, for assistive technology.
    double boundMinimum(Bound bound) const;
    double boundMaximum(Bound bound) const;

    TimeRange visibleRange() const { return visible_; }
    bool showsAll() const;
    // Kept within the recording and no shorter than minimumVisibleFrames.
    void setVisibleRange(TimeRange visible);
    // factor > 1 zooms in; the time at `anchor` stays where it is on screen.
    void zoom(double factor, double anchor);
    void scrollBy(double seconds);
    // Scrolls as little as needed to bring `seconds` into view, a tenth of a screen in.
    void reveal(double seconds);

    // Selects from the first to the last sound: at once from the peaks, then exactly from the
    // samples. Says nothingToTrim() when there is no sound.
    void autoTrim();
    // Nothing in the recording rises above the silence auto-trim looks for.
    bool isSilent() const;

    SelectionPlayer& player() { return player_; }
    const SelectionPlayer& player() const { return player_; }
    // Plays the selection as it is now, or stops.
    void togglePlayback();

    // "m:ss.t": whole minutes, two-digit seconds and truncated tenths; negative gives 0:00.0.
    static QString timeLabel(double seconds);

    static constexpr double minimumSelectionSeconds = 0.05;
    static constexpr qint64 minimumVisibleFrames = 512;

Q_SIGNALS:
    void trimRangeChanged(TimeRange range, TimeRange previous, EditorModel::Change change);
    void visibleRangeChanged(TimeRange visible);
    // Auto-trim found nothing but silence: the selection stays.
    void nothingToTrim();

private:
    Waveform::Data waveform_;
    QString sourcePath_;
    std::shared_ptr<PeakLevels> levels_;
    TimeRange trimRange_;
    TimeRange visible_;
    SelectionPlayer player_;
    // Counts auto-trims, so only the latest one's exact ends are taken.
    quint64 autoTrimRequest_ = 0;
};
