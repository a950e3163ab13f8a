#include "FrameRange.h"

#include <QTest>
#include <cmath>
#include <limits>

// Seconds become frames by one rule, to the nearest frame within the file: a selection that
// holds exactly N frames must come back as exactly those N frames, wherever it starts.
class FrameRangeTest : public QObject {
    Q_OBJECT

private slots:
    void aSelectionOfWholeFramesSurvivesTheRoundTrip_data() {
        QTest::addColumn<int>("rate");
        for (const int rate : {48000, 44100, 96000})
            QTest::addRow("%d Hz", rate) << rate;
    }

    void aSelectionOfWholeFramesSurvivesTheRoundTrip() {
        QFETCH(int, rate);
        // Three hours of frames: the seconds are far from exact in binary there.
        const int64_t total = int64_t{rate} * 3 * 3600;
        for (const int64_t first : {int64_t{0}, int64_t{1}, int64_t{4799}, int64_t{rate} / 3,
                                    total / 2 + 7, total - 48001})
            for (const int64_t count :
                 {int64_t{1}, int64_t{2}, int64_t{47999}, int64_t{48000}, int64_t{48001}}) {
                const FrameRange frames{first, first + count};
                const TimeRange seconds{double(frames.first) / rate, double(frames.end) / rate};
                const FrameRange back = FrameRange::of(seconds, rate, total);
                if (back != frames)
                    QFAIL(qPrintable(QStringLiteral("%1 + %2 came back as %3 + %4")
                                         .arg(first)
                                         .arg(count)
                                         .arg(back.first)
                                         .arg(back.count())));
            }
    }

    // Half a frame or more goes up, less goes down; the same at both ends, so a selection
    // keeps its length in frames wherever it is moved.
    void roundsToTheNearestFrame() {
        constexpr int rate = 48000;
        const double frame = 1.0 / rate;
        QCOMPARE(FrameRange::frameAt(100 * frame + 0.49 * frame, rate, 1000), int64_t{100});
        QCOMPARE(FrameRange::frameAt(100 * frame + 0.51 * frame, rate, 1000), int64_t{101});
        QCOMPARE(FrameRange::of({10.4 * frame, 20.4 * frame}, rate, 1000), (FrameRange{10, 20}));
        QCOMPARE(FrameRange::of({10.6 * frame, 20.6 * frame}, rate, 1000), (FrameRange{11, 21}));
    }

    // Outside the file or not a number: kept inside, and never longer than what was asked.
    void keepsEveryRangeInsideTheFile() {
        constexpr int rate = 48000;
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        constexpr double inf = std::numeric_limits<double>::infinity();
        QCOMPARE(FrameRange::of({-1.0, 0.5}, rate, 96000), (FrameRange{0, 24000}));
        QCOMPARE(FrameRange::of({1.5, 9.0}, rate, 96000), (FrameRange{72000, 96000}));
        QCOMPARE(FrameRange::of({3.0, 4.0}, rate, 96000), (FrameRange{96000, 96000}));
        QCOMPARE(FrameRange::of({nan, 1.0}, rate, 96000), (FrameRange{0, 48000}));
        QCOMPARE(FrameRange::of({0.5, nan}, rate, 96000), (FrameRange{24000, 24000}));
        QCOMPARE(FrameRange::of({-inf, inf}, rate, 96000), (FrameRange{0, 96000}));
        QCOMPARE(FrameRange::of({1.5, 0.5}, rate, 96000), (FrameRange{72000, 72000}));
    }
};

QTEST_GUILESS_MAIN(FrameRangeTest)
#include "FrameRangeTest.moc"
