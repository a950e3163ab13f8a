#include "WaveformRenderer.h"

#include "SelectionMaskShape.h"
#include "WaveformShape.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

namespace {
double devicePixelRatioOf(const QPainter& painter) {
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

// Copies a layer image to `target`, limited to the given mask's rectangles in the area.
void drawMasked(QPainter& painter, const QRectF& area, const QRectF& target,
                const SelectionMaskShape& mask, const QImage& image) {
    const bool stretched = target.size() != area.size();
    for (const QRectF& part : mask.rectangles(area)) {
        if (part.width() <= 0.0)
            continue;
        painter.save();
        painter.setClipRect(part, Qt::IntersectClip);
        if (stretched)
            painter.drawImage(target, image);
        else
            painter.drawImage(target.topLeft(), image);
        painter.restore();
    }
}

double xOf(double seconds, QSizeF areaSize, TimeRange visible) {
    return areaSize.width() * (seconds - visible.lower) / visible.length();
}

// For each bar coverage 0…255, the premultiplied pixel of a bar in `color`.
std::array<QRgb, 256> colorByCoverage(const QColor& color) {
    std::array<QRgb, 256> table{};
    const QRgb rgba = color.rgba();
    for (int coverage = 0; coverage < 256; ++coverage)
        table[static_cast<std::size_t>(coverage)] = qPremultiply(
            qRgba(qRed(rgba), qGreen(rgba), qBlue(rgba), qAlpha(rgba) * coverage / 255));
    return table;
}
} // namespace

void WaveformRenderer::setPeaks(std::vector<float> peaks, TimeRange span) {
    peaks_ = std::move(peaks);
    span_ = span;
    ++peaksGeneration_;
}

QRectF WaveformRenderer::barsRect(QSizeF areaSize, TimeRange span, TimeRange visible) {
    if (!(visible.length() > 0) || span == visible)
        return {QPointF(0, 0), areaSize};
    const double left = xOf(span.lower, areaSize, visible);
    return {left, 0.0, xOf(span.upper, areaSize, visible) - left, areaSize.height()};
}

void WaveformRenderer::paint(QPainter& painter, const QRectF& area, TimeRange visible,
                             double startFraction, double endFraction, const Theme& colors) {
    const double ratio = devicePixelRatioOf(painter);
    const QSize pixelSize(static_cast<int>(std::ceil(area.width() * ratio)),
                          static_cast<int>(std::ceil(area.height() * ratio)));
    if (pixelSize.isEmpty())
        return;
    const CacheKey key{pixelSize, ratio, colors, peaksGeneration_};
    if (key != cacheKey_)
        rebuild(key, area.size(), visible);

    // The images' stretch where the area now shows it: the area itself unless it moved.
    const QRectF target = barsRect(area.size(), imageVisible_, visible).translated(area.topLeft());
    drawMasked(painter, area, target, {startFraction, endFraction, true}, dimmedLayers_);
    drawMasked(painter, area, target, {startFraction, endFraction, false}, selectedLayers_);
}

void WaveformRenderer::rebuild(const CacheKey& key, const QSizeF& areaSize, TimeRange visible) {
    // Release the old images first: their memory can serve the new ones.
    dimmedLayers_ = QImage();
    selectedLayers_ = QImage();
    BarImages bars = renderBars(key, barsRect(areaSize, span_, visible));
    imageVisible_ = visible;

    // Both images depend on nothing but each pixel's bar coverage, so each is a table of 256
    // colours applied in one pass over the coverage. The coverage image becomes the selected
    // bars in place; the spare one, the dimmed bars.
    const std::array<QRgb, 256> dimmedColors = colorByCoverage(key.colors.dimmedBar);
    const std::array<QRgb, 256> selectedColors = colorByCoverage(key.colors.selectedBar);
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
                                                         const QRectF& barsRect) const {
    BarImages images;
    images.coverage = QImage(key.pixelSize, QImage::Format_ARGB32_Premultiplied);
    images.coverage.setDevicePixelRatio(key.devicePixelRatio);
    images.coverage.fill(Qt::transparent);
    std::vector<QRectF> bars = WaveformShape{peaks_}.bars(barsRect);
    // Bars of a zoomed stretch reach a little past the area; those are of no use.
    const double width = static_cast<double>(key.pixelSize.width()) / key.devicePixelRatio;
    std::erase_if(bars, [width](const QRectF& bar) {
        return bar.right() < -1.0 || bar.left() > width + 1.0;
    });
    if (bars.empty())
        return images;

    // One small fill per bar instead of one path of all bars: the raster engine is fast with
    // small shapes and very slow with one large path of many. Where bars share a pixel, the
    // single path's non-zero fill adds their coverage, while bars drawn one over the other
    // would blend. So bars that can share a pixel go to different groups, each drawn alone,
    // and the groups are added together.
    const double ratio = key.devicePixelRatio;
    const double pitchPixels =
        barsRect.width() / static_cast<double>(std::max<std::size_t>(1, peaks_.size())) * ratio;
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
