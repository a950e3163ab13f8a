#pragma once

#include "TrimView.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <vector>

// Finding the trim view's parts the way a user does (by their names and titles) and driving
// them with real mouse events through the window.
namespace TrimViewTestSupport {

// 800 bins over `seconds` at 48 kHz; bins from firstLoud to lastLoud at `level`, the rest quiet.
inline Waveform::Data waveform(double seconds, int firstLoud = 0, int lastLoud = -1,
                               float level = 0.5f, float quiet = 0.0f) {
    Waveform::Data data;
    data.sampleRate = 48000;
    data.totalFrames = static_cast<qint64>(seconds * data.sampleRate);
    data.framesPerPeak = std::max<qint64>(1, data.totalFrames / 800);
    for (int bin = 0; bin < 800; ++bin)
        data.peaks.push_back(bin >= firstLoud && bin <= lastLoud ? level : quiet);
    return data;
}

inline QWidget* handle(const TrimView& view, const QString& name) {
    for (QWidget* child : view.findChildren<QWidget*>())
        if (child->accessibleName() == name)
            return child;
    return nullptr;
}

inline QAbstractButton* button(const TrimView& view, const QString& text) {
    for (QAbstractButton* child : view.findChildren<QAbstractButton*>())
        if (child->text() == text)
            return child;
    return nullptr;
}

inline QString label(const TrimView& view, const char* objectName) {
    const auto* found = view.findChild<QLabel*>(objectName);
    return found ? found->text() : QString();
}

// The waveform area's left edge and middle line, in window coordinates; the card is the parent
// of the handles.
inline QPoint areaPoint(const TrimView& view, double x) {
    QWidget* card = handle(view, "Trim start")->parentWidget();
    return card->mapTo(view.window(), QPoint(14 + static_cast<int>(x), 14 + 70));
}

inline QPoint centreOf(QWidget* widget) {
    return widget->mapTo(widget->window(), widget->rect().center());
}

// Press on the handle, move through `path` (window coordinates), release at the last point.
inline void drag(QWidget* handleWidget, const std::vector<QPoint>& path) {
    QWindow* window = handleWidget->window()->windowHandle();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(handleWidget));
    for (const QPoint& point : path)
        QTest::mouseMove(window, point);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, path.back());
}

} // namespace TrimViewTestSupport
