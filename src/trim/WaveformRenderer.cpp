#include "WaveformRenderer.h"

#include "SelectionMaskShape.h"
#include "WaveformShape.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace {
constexpr double barOpacity = 0.55;
constexpr double veilOpacity = 0.6;

QColor barColor(const TrimPalette& colors) {
    return TrimPalette::withOpacity(colors.secondary, barOpacity);
}

QColor veilColor(const TrimPalette& colors) {
    return TrimPalette::withOpacity(colors.windowBackground, veilOpacity);
}

double devicePixelRatioOf(const QPainter& painter) {
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

// Copies a layer image into the area, limited to the given mask's rectangles.
void drawMasked(QPainter& painter, const QRectF& area, const SelectionMaskShape& mask,
                const QImage& image) {
    for (const QRectF& part : mask.rectangles(area)) {
        if (part.width() <= 0.0)
            continue;
        painter.save();
        painter.setClipRect(part, Qt::IntersectClip);
        painter.drawImage(area.topLeft(), image);
        painter.restore();
    }
}

// For each bar coverage 0…255, the colour of a pixel of the grey bars under the veil (dimmed)
// or of the accent bars over the grey ones (selected), composed exactly as drawing the layers
// one over the other would.
std::array<QRgb, 256> composedByCoverage(const TrimPalette& colors, bool dimmed) {
    QImage coverage(256, 1, QImage::Format_ARGB32_Premultiplied);
    for (int alpha = 0; alpha < 256; ++alpha)
        coverage.setPixel(alpha, 0, qRgba(alpha, alpha, alpha, alpha));
    QImage layers(256, 1, QImage::Format_ARGB32_Premultiplied);
    layers.fill(barColor(colors));
    {
        QPainter painter(&layers);
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, coverage);
        if (dimmed) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.fillRect(layers.rect(), veilColor(colors));
        } else {
            QImage accent(256, 1, QImage::Format_ARGB32_Premultiplied);
            accent.fill(colors.accent);
            {
                QPainter accentPainter(&accent);
                accentPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
                accentPainter.drawImage(0, 0, coverage);
            }
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            painter.drawImage(0, 0, accent);
        }
    }
    std::array<QRgb, 256> table{};
    for (int alpha = 0; alpha < 256; ++alpha)
        table[static_cast<std::size_t>(alpha)] =
            reinterpret_cast<const QRgb*>(layers.constScanLine(0))[alpha];
    return table;
}
} // namespace

void WaveformRenderer::setPeaks(std::vector<float> peaks) {
    peaks_ = std::move(peaks);
    ++peaksGeneration_;
}

void WaveformRenderer::paint(QPainter& painter, const QRectF& area, double startFraction,
                             double endFraction, const TrimPalette& colors) {
    const double ratio = devicePixelRatioOf(painter);
    const QSize pixelSize(static_cast<int>(std::ceil(area.width() * ratio)),
                          static_cast<int>(std::ceil(area.height() * ratio)));
    if (pixelSize.isEmpty())
        return;
    const CacheKey key{pixelSize, ratio, colors, peaksGeneration_};
    if (key != cacheKey_)
        rebuild(key, area.size());

    drawMasked(painter, area, {startFraction, endFraction, true}, dimmedLayers_);
    drawMasked(painter, area, {startFraction, endFraction, false}, selectedLayers_);
}

void WaveformRenderer::rebuild(const CacheKey& key, const QSizeF& areaSize) {
    // Release the old images first: their memory can serve the new ones.
    dimmedLayers_ = QImage();
    selectedLayers_ = QImage();
    BarImages bars = renderBars(key, areaSize);

    // Both layer images depend on nothing but each pixel's bar coverage, so each is a table of
    // 256 colours, composed by QPainter itself, applied in one pass over the coverage. The
    // coverage image becomes the selected layers in place; the spare one, the dimmed layers.
    const std::array<QRgb, 256> dimmedColors = composedByCoverage(key.colors, true);
    const std::array<QRgb, 256> selectedColors = composedByCoverage(key.colors, false);
    QImage dimmed = bars.spare.size() == bars.coverage.size()
                        ? std::move(bars.spare)
                        : QImage(bars.coverage.size(), QImage::Format_ARGB32_Premultiplied);
    const int width = bars.coverage.width();
    for (int y = 0; y < bars.coverage.height(); ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(bars.coverage.scanLine(y));
        auto* dimmedPixels = reinterpret_cast<QRgb*>(dimmed.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const auto alpha = static_cast<std::size_t>(qAlpha(pixels[x]));
            dimmedPixels[x] = dimmedColors[alpha];
            pixels[x] = selectedColors[alpha];
        }
    }
    dimmed.setDevicePixelRatio(key.devicePixelRatio);
    dimmedLayers_ = std::move(dimmed);
    selectedLayers_ = std::move(bars.coverage);
    cacheKey_ = key;
    ++cacheBuildCount_;
}

WaveformRenderer::BarImages WaveformRenderer::renderBars(const CacheKey& key,
                                                         const QSizeF& areaSize) const {
    BarImages images;
    images.coverage = QImage(key.pixelSize, QImage::Format_ARGB32_Premultiplied);
    images.coverage.setDevicePixelRatio(key.devicePixelRatio);
    images.coverage.fill(Qt::transparent);
    const std::vector<QRectF> bars = WaveformShape{peaks_}.bars(QRectF(QPointF(0, 0), areaSize));
    if (bars.empty())
        return images;

    // One small fill per bar instead of one path of all bars: the raster engine is fast with
    // small shapes and very slow with one large path of many. Where bars share a pixel, the
    // single path's non-zero fill adds their coverage, while bars drawn one over the other
    // would blend. So bars that can share a pixel go to different groups, each drawn alone,
    // and the groups are added together.
    const double ratio = key.devicePixelRatio;
    const double pitchPixels = areaSize.width() / static_cast<double>(bars.size()) * ratio;
    const double barPixels = bars.front().width() * ratio;
    const std::size_t groupCount =
        pitchPixels > 0.0 ? std::clamp<std::size_t>(static_cast<std::size_t>(
                                                        std::ceil((barPixels + 1.0) / pitchPixels)),
                                                    1, bars.size())
                          : 1;
    for (std::size_t first = 0; first < groupCount; ++first) {
        if (first == 1) {
            images.spare = QImage(images.coverage.size(), images.coverage.format());
            images.spare.setDevicePixelRatio(ratio);
        }
        QImage& target = first == 0 ? images.coverage : images.spare;
        if (first > 0)
            target.fill(Qt::transparent);
        {
            QPainter painter(&target);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            for (std::size_t i = first; i < bars.size(); i += groupCount)
                painter.drawRoundedRect(bars[i], WaveformShape::cornerRadius,
                                        WaveformShape::cornerRadius);
        }
        if (first > 0) {
            QPainter painter(&images.coverage);
            painter.setCompositionMode(QPainter::CompositionMode_Plus);
            painter.drawImage(QPointF(0, 0), images.spare);
        }
    }
    return images;
}

void WaveformRenderer::paintUncached(QPainter& painter, const std::vector<float>& peaks,
                                     const QRectF& area, double startFraction, double endFraction,
                                     const TrimPalette& colors) {
    const QPainterPath bars =
        WaveformShape{peaks}.path(QRectF(QPointF(0, 0), area.size())).translated(area.topLeft());
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(bars, barColor(colors));
    for (const QRectF& part :
         SelectionMaskShape{startFraction, endFraction, true}.rectangles(area)) {
        painter.save();
        painter.setClipRect(part, Qt::IntersectClip);
        painter.fillRect(area, veilColor(colors));
        painter.restore();
    }
    for (const QRectF& part :
         SelectionMaskShape{startFraction, endFraction, false}.rectangles(area)) {
        painter.save();
        painter.setClipRect(part, Qt::IntersectClip);
        painter.fillPath(bars, colors.accent);
        painter.restore();
    }
    painter.restore();
}
