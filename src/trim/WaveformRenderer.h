#pragma once

#include "Theme.h"
#include "TimeRange.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <vector>

class QPainter;

// Draws the waveform area: the bars outside the selection dimmed, the ones inside it in the
// selection's colour. Filling ~800 antialiased rounded bars costs far more than a frame, so the
// bars are rendered once per (size, device pixel ratio, colours, peaks) into two images, one in
// each colour. A frame only copies each image inside its mask rectangles. The area shows a stretch
// of the recording; while the peaks for a new stretch are on their way, the images of the old one
// are stretched to where it now lies.
class WaveformRenderer {
public:
    // The peaks and the stretch of the recording, in seconds, that they cover.
    void setPeaks(std::vector<float> peaks, TimeRange span);
    const std::vector<float>& peaks() const { return peaks_; }
    TimeRange span() const { return span_; }

    // Draws into area, which shows `visible` of the recording, at the painter's device pixel
    // ratio. The fractions place the selection in the area, as for SelectionMaskShape.
    void paint(QPainter& painter, const QRectF& area, TimeRange visible, double startFraction,
               double endFraction, const Theme& colors);

    // Where bars covering `span` lie, in the coordinates of an area of `areaSize` that shows
    // `visible`: the rectangle WaveformShape spreads them over.
    static QRectF barsRect(QSizeF areaSize, TimeRange span, TimeRange visible);

    // How often the images were rendered; they are rebuilt only when something they show changes.
    int cacheBuildCount() const { return cacheBuildCount_; }

private:
    struct CacheKey {
        QSize pixelSize;
        double devicePixelRatio = 0.0;
        Theme colors;
        quint64 peaksGeneration = 0;
        friend bool operator==(const CacheKey&, const CacheKey&) = default;
    };

    struct BarImages {
        QImage coverage; // white bars, alpha = how much of each pixel they cover
        QImage spare;    // same size, free for reuse once the coverage is done (may be null)
    };

    void rebuild(const CacheKey& key, const QSizeF& areaSize, TimeRange visible);
    BarImages renderBars(const CacheKey& key, const QRectF& barsRect) const;

    std::vector<float> peaks_;
    TimeRange span_;
    // The stretch the images show across their width.
    TimeRange imageVisible_;
    quint64 peaksGeneration_ = 1;
    CacheKey cacheKey_;
    QImage dimmedLayers_;
    QImage selectedLayers_;
    int cacheBuildCount_ = 0;
};
