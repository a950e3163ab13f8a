#include "TrimCard.h"
#include "TrimViewTestSupport.h"

#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <sndfile.h>

namespace {
constexpr int rate = 48'000;
constexpr qint64 frames = 40 * rate;

// Forty seconds of stereo whose level changes every frame, so any misplaced bin shows.
std::vector<float> samples() {
    std::vector<float> result(2 * frames);
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = float((i * 2654435761u) % 2001) / 1000.0f - 1.0f;
    return result;
}

bool writeCaf(const QString& path, const std::vector<float>& stereo) {
    SF_INFO info{0, rate, 2, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const bool written = file && sf_writef_float(file, stereo.data(), frames) == frames;
    return file && sf_close(file) == 0 && written;
}

void wheel(TrimView& view, double areaX, int notches, Qt::KeyboardModifiers modifiers) {
    const QPoint at = view.mapFromGlobal(
        view.card()->mapToGlobal(QPoint(int(TrimCard::cardPadding + areaX), 84)));
    QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

bool showsDetailFor(const TrimView& view) {
    const TimeRange span = view.card()->peaksSpan(), shown = view.visibleRange();
    return span != TimeRange{0, 40} && span.lower <= shown.lower && span.upper >= shown.upper;
}
} // namespace

class TrimViewZoomTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path_ = dir_.filePath("zoom.caf");
    std::vector<float> samples_ = samples();
    Waveform::Data data_;

private slots:
    void initTestCase() {
        QVERIFY(writeCaf(path_, samples_));
        data_ = *Waveform::extractPeaks(path_, 800).result();
    }

    void ctrlWheelZoomsAroundThePointerWithPeaksOfWhatIsShown() {
        ShownView view(data_, {2, 8}, path_);
        QVERIFY(view.exposed);
        QCOMPARE(view.visibleRange(), (TimeRange{0, 40}));
        QVERIFY(!view.findChild<QScrollBar*>()->isVisible());
        const double under = view.card()->timeAt(150);
        // Twelve notches: 2⁶ = 64 times closer, 0.625 s shown, the time under the pointer kept.
        wheel(view, 150, 12, Qt::ControlModifier);
        QCOMPARE(view.visibleRange().length(), 0.625);
        QCOMPARE(view.card()->timeAt(150), under);
        QVERIFY(view.findChild<QScrollBar*>()->isVisible());

        QVERIFY(QTest::qWaitFor([&] { return showsDetailFor(view); }, 3000));
        const std::vector<float>& peaks = view.card()->peaks();
        const TimeRange span = view.card()->peaksSpan();
        const auto first = qint64(std::llround(span.lower * rate));
        const qint64 perPeak = std::llround(span.length() * rate) / qint64(peaks.size());
        // About one bar per 1.5 points of the 600-point area, a power of two frames each.
        QCOMPARE(perPeak & (perPeak - 1), qint64(0));
        QVERIFY(peaks.size() > 250 && peaks.size() < 800);
        for (std::size_t i = 0; i < peaks.size(); ++i) {
            float expected = 0.0f;
            const qint64 from = 2 * (first + qint64(i) * perPeak);
            for (qint64 s = from; s < std::min<qint64>(from + 2 * perPeak, 2 * frames); ++s)
                expected = std::max(expected, std::abs(samples_[std::size_t(s)]));
            QCOMPARE(peaks[i], expected);
        }
        // A pinch on a touchpad: spread by half again, around the fingers.
        const double pinched = view.card()->timeAt(450);
        const QPointF at =
            view.mapFromGlobal(view.card()->mapToGlobal(QPointF(TrimCard::cardPadding + 450, 84)));
        QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(),
                                  2, at, at, view.mapToGlobal(at), 0.5, QPointF());
        QApplication::sendEvent(&view, &pinch);
        QCOMPARE(view.visibleRange().length(), 0.625 / 1.5);
        QVERIFY(std::abs(view.card()->timeAt(450) - pinched) < 1e-9);

        // Zoomed out past everything: the whole recording with the analysis' own bars.
        wheel(view, 300, -30, Qt::ControlModifier);
        QCOMPARE(view.visibleRange(), (TimeRange{0, 40}));
        QCOMPARE(view.card()->peaks(), data_.peaks);
    }

    void handlesMasksAndScrollingFollowTheZoom() {
        ShownView view(data_, {2, 8}, path_);
        QVERIFY(view.exposed);
        view.setVisibleRange({1, 3});
        // The start handle at 2 s sits in the middle of the area; the end handle is out of sight.
        QWidget* start = find(view, "Trim start");
        QCOMPARE(start->geometry().center().x(), int(TrimCard::cardPadding + 300));
        QVERIFY(find(view, "Trim end")->geometry().left() > view.card()->width());

        // Plain wheel: a tenth of the shown stretch per notch, later in time when turned down.
        wheel(view, 300, -2, Qt::NoModifier);
        QCOMPARE(view.visibleRange(), (TimeRange{1.4, 3.4}));
        QScrollBar* bar = view.findChild<QScrollBar*>();
        QCOMPARE(bar->value(), 1400);
        bar->setValue(500);
        QCOMPARE(view.visibleRange(), (TimeRange{0.5, 2.5}));

        // Dragged past the right edge, the handle stays at the edge while the view moves on.
        QWindow* window = view.windowHandle();
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(start));
        QTest::mouseMove(window, areaPoint(view, 650));
        QVERIFY(QTest::qWaitFor([&] { return view.visibleRange().lower > 1.0; }, 3000));
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, areaPoint(view, 650));
        const TimeRange shown = view.visibleRange();
        QVERIFY(std::abs(view.range().lower - shown.upper) < 0.05);
        QTest::qWait(100);
        QCOMPARE(view.visibleRange(), shown); // stops with the drag

        // Keys move the focused handle into view; Ctrl+0 shows everything again.
        view.setVisibleRange({20, 21});
        QTest::keyClick(find(view, "Trim end"), Qt::Key_Left);
        QVERIFY(view.visibleRange().lower < 7.9 && view.visibleRange().upper > 7.9);
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QTest::keyClick(&view, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(view.visibleRange(), (TimeRange{0, 40}));
        QTest::keyClick(&view, Qt::Key_Equal, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_Equal, Qt::ControlModifier);
        QCOMPARE(view.visibleRange().length(), 20.0);
        QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(std::abs(view.visibleRange().length() - 20 * std::sqrt(2.0)) < 1e-9);

        // Zoomed from the keyboard, the focused handle stays in sight, even from out of it.
        QWidget* end = find(view, "Trim end");
        end->setFocus();
        QTRY_VERIFY(end->hasFocus());
        const double endTime = view.range().upper;
        view.setVisibleRange({20, 30});
        QTest::keyClick(&view, Qt::Key_Equal, Qt::ControlModifier);
        QVERIFY2(view.visibleRange().lower <= endTime && view.visibleRange().upper >= endTime,
                 qPrintable(QString("%1 … %2 without %3")
                                .arg(view.visibleRange().lower)
                                .arg(view.visibleRange().upper)
                                .arg(endTime)));
        QVERIFY(view.visibleRange().length() < 10.0);
    }

    void theCardGrowsWithTheView() {
        ShownView view(data_, {2, 8}, path_);
        QVERIFY(view.exposed);
        const int resting = view.card()->height();
        QCOMPARE(resting, int(TrimCard::minimumWaveformHeight + 2 * TrimCard::cardPadding));
        view.resize(view.width(), view.height() + 200);
        QTRY_COMPARE(view.card()->height(), resting + 200);
        view.setRange({2, 8}); // the picture follows: bars span the taller area
        QVERIFY(!view.card()->grab().isNull());
    }
};

QTEST_MAIN(TrimViewZoomTest)
#include "TrimViewZoomTest.moc"
