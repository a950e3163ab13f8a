#pragma once

#include "EditorModel.h"
#include "Theme.h"
#include "TimeRange.h"
#include "WaveformRenderer.h"

#include <QImage>
#include <QVariantAnimation>
#include <QWidget>
#include <optional>
#include <vector>

class TrimHandle;

// The waveform card of the trim view: the rounded card, the waveform with the selection's masks,
// the playhead and the two handles. It shows the editor model's selection and visible stretch as
// they change; the trim view decides what a gesture does. Every change repaints only what moved.
class TrimCard : public QWidget {
    Q_OBJECT

public:
    static constexpr double handleWidth = 7.0;
    static constexpr double activeHandleWidth = handleWidth + 2.0;
    static constexpr double minimumWaveformHeight = 140.0;
    static constexpr double cardPadding = 14.0;
    static constexpr double cornerRadius = 12.0;

    TrimCard(EditorModel& model, QWidget* parent = nullptr);

    TrimHandle* startHandle() const { return startHandle_; }
    TrimHandle* endHandle() const { return endHandle_; }

    // The waveform area's width W; positions are measured from its left edge.
    double contentWidth() const;
    double waveformHeight() const;
    // The time at x points from the waveform area's left edge.
    double timeAt(double x) const;

    // Bars for `span` of the recording; they replace the ones drawn so far.
    void setPeaks(std::vector<float> peaks, TimeRange span);
    const std::vector<float>& peaks() const { return renderer_.peaks(); }
    TimeRange peaksSpan() const { return renderer_.span(); }
    // A global pointer position in the waveform area's coordinates.
    QPointF areaPosition(QPointF globalPosition) const;

    // Hovered or dragged: wider, with a deeper shadow.
    void setHandleActive(TrimHandle* handle, bool active);
    void setPlayheadTime(std::optional<double> seconds);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct HandleLook {
        TrimHandle* widget = nullptr;
        bool active = false;
        double activity = 0.0; // 0 resting … 1 active, animated
        QVariantAnimation* animation = nullptr;
    };

    QRectF area() const;
    double positionOf(double seconds) const;
    double fractionOf(double seconds) const;
    QRectF capsuleRect(double seconds, double activity) const;
    QRect handlePaintBounds(double seconds) const;
    QRect playheadPaintBounds(double seconds) const;
    HandleLook& lookOf(TrimHandle* handle);
    double timeOf(const HandleLook& look) const;

    // The masks take the new selection at once; the handles glide there.
    void followSelection(TimeRange selection, TimeRange previous, EditorModel::Change change);
    void followVisibleRange();
    void showHandleTimes(QPointF times);
    void setActivity(HandleLook& look, double activity);
    void placeHitAreas();
    void updateMaskEdge(double oldFraction, double newFraction);

    void renderChrome();
    void paintPlayhead(QPainter& painter) const;
    void paintHandle(QPainter& painter, const HandleLook& look) const;

    const EditorModel& model_;
    QPointF handleTimes_; // lower, upper as drawn
    std::optional<double> playheadTime_;
    WaveformRenderer renderer_;
    TrimHandle* startHandle_;
    TrimHandle* endHandle_;
    HandleLook startLook_;
    HandleLook endLook_;
    QVariantAnimation handleAnimation_;

    // Taken from the palette when it changes, not on every frame.
    Theme colors_;
    // The card itself (window background, fill, border) changes only with size and palette;
    // a palette change drops it.
    QImage chrome_;
};
