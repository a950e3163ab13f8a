#pragma once

#include "TrimView.h"

#include <QLabel>
#include <QTest>

// 800 bins over `seconds` at 48 kHz; bins from firstLoud to lastLoud at `level`, the rest quiet.
inline Waveform::Data waveform(double seconds, int firstLoud = 0, int lastLoud = -1,
                               float level = 0.5f) {
    Waveform::Data data;
    data.sampleRate = 48000;
    data.totalFrames = static_cast<qint64>(seconds * data.sampleRate);
    data.framesPerPeak = std::max<qint64>(1, data.totalFrames / 800);
    for (int bin = 0; bin < 800; ++bin)
        data.peaks.push_back(bin >= firstLoud && bin <= lastLoud ? level : 0.0f);
    return data;
}

// A view 628 points wide, so its waveform area is 600 (628 − 2 × 14), shown offscreen.
struct ShownView : TrimView {
    ShownView(Waveform::Data data, TimeRange range, QString path = {})
        : TrimView(std::move(data), range, std::move(path)) {
        resize(628, sizeHint().height());
        show();
        exposed = QTest::qWaitForWindowExposed(this);
    }
    bool exposed = false;
};

// A handle by its accessible name or a button by its title.
inline QWidget* find(const TrimView& view, const QString& name) {
    for (QWidget* child : view.findChildren<QWidget*>())
        if (child->accessibleName() == name || child->property("text").toString() == name)
            return child;
    return nullptr;
}

inline QString label(const TrimView& view, const char* objectName) {
    return view.findChild<QLabel*>(objectName)->text();
}

// A point at x on the waveform area's middle line, in window coordinates.
inline QPoint areaPoint(const TrimView& view, double x) {
    const QWidget* card = find(view, "Trim start")->parentWidget();
    return card->mapTo(view.window(), QPoint(14 + static_cast<int>(x), 14 + 70));
}

inline QPoint centreOf(QWidget* widget) {
    return widget->mapTo(widget->window(), widget->rect().center());
}
