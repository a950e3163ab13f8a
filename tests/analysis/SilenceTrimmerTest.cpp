#include "SilenceTrimmer.h"

#include <QTest>
#include <cmath>

// Bins at 0.5 and NaN bins among quiet ones; no range is expected as -1 … -1.
struct Case {
    QList<int> loud;
    double lower, upper, padding = 0.15;
    float threshold = 0.01f;
    QList<int> nan = {};
};

class SilenceTrimmerTest : public QObject {
    Q_OBJECT

private slots:
    void trim_data() {
        QTest::addColumn<Case>("c");
        QTest::newRow("first to last loud bin start, padded") << Case{{40, 300, 720}, 0.35, 9.15};
        QTest::newRow("threshold equal to the peak") << Case{{400}, 4.85, 5.15, 0.15, 0.5f};
        QTest::newRow("just above") << Case{{400}, -1, -1, 0.15, std::nextafter(0.5f, 1.0f)};
        QTest::newRow("one loud bin without padding") << Case{{400}, -1, -1, 0.0};
        QTest::newRow("sound in the first and last bins") << Case{{0, 799}, 0.0, 10.0};
        QTest::newRow("no loud bin") << Case{{}, -1, -1};
        QTest::newRow("NaN is never sound")
            << Case{{200, 600}, 2.35, 7.65, 0.15, 0.01f, {0, 100, 700, 799}};
    }

    void trim() {
        QFETCH(Case, c);
        // Ten seconds at 48 kHz in 800 bins of 600 frames (12.5 ms each).
        Waveform::Data data{std::vector<float>(800, 0.001f), 600, 48'000.0, 480'000};
        for (const int bin : c.loud)
            data.peaks[std::size_t(bin)] = 0.5f;
        for (const int bin : c.nan)
            data.peaks[std::size_t(bin)] = std::nanf("");

        const TimeRange range =
            SilenceTrimmer::trim(data, c.threshold, c.padding).value_or(TimeRange{-1, -1});

        QCOMPARE(range.lower, c.lower);
        QCOMPARE(range.upper, c.upper);
        // A recording of no length leaves no room for a range, loud or not.
        data.totalFrames = 0;
        QVERIFY(!SilenceTrimmer::trim(data, c.threshold, c.padding));
    }
};

QTEST_GUILESS_MAIN(SilenceTrimmerTest)
#include "SilenceTrimmerTest.moc"
