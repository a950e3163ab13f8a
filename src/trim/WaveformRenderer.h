#pragma once

#include "TrimPalette.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <vector>

class QPainter;

// Draws the waveform area's three layers: the grey bars, the veil over what lies outside the
// selection, and the accent bars inside it. Filling ~800 antialiased rounded bars costs far more
// than a frame, so the bars are rendered once per (size, device pixel ratio, colours, peaks)
// into two images: the grey bars under the veil, and the accent bars over the grey ones. A frame
// only copies each image inside its mask rectangles.
class WaveformRenderer {
public:
    void setPeaks(std::vector<float> peaks);
    const std::vector<float>& peaks() const { return peaks_; }

    // Draws into area (its top-left corner is the waveform's origin) at the painter's device
    // pixel ratio. The fractions place the selection, as for SelectionMaskShape.
    void paint(QPainter& painter, const QRectF& area, double startFraction, double endFraction,
               const TrimPalette& colors);

    // The same picture without the cache: each layer filled from the shapes.
    static void paintUncached(QPainter& painter, const std::vector<float>& peaks,
                              const QRectF& area, double startFraction, double endFraction,
                              const TrimPalette& colors);

    // How often the images were rendered; they are rebuilt only when something they show changes.
    int cacheBuildCount() const { return cacheBuildCount_; }

private:
    struct CacheKey {
        QSize pixelSize;
        double devicePixelRatio = 0.0;
        TrimPalette colors;
        quint64 peaksGeneration = 0;
        friend bool operator==(const CacheKey&, const CacheKey&) = default;
    };

    struct BarImages {
        QImage coverage; // white bars, alpha = how much of each pixel they cover
        QImage spare;    // same size, free for reuse once the coverage is done (may be null)
    };

    void rebuild(const CacheKey& key, const QSizeF& areaSize);
    BarImages renderBars(const CacheKey& key, const QSizeF& areaSize) const;

    std::vector<float> peaks_;
    quint64 peaksGeneration_ = 1;
    CacheKey cacheKey_;
    QImage dimmedLayers_;
    QImage selectedLayers_;
    int cacheBuildCount_ = 0;
};
