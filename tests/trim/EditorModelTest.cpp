#include "EditorModel.h"

#include "SoundTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <limits>

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// `seconds` of quiet peaks at 48 kHz: enough for the selection's and the view's rules.
Waveform::Data quietWaveform(double seconds) {
    Waveform::Data data;
    data.sampleRate = 48000;
    data.totalFrames = static_cast<qint64>(seconds * data.sampleRate);
    data.framesPerPeak = std::max<qint64>(1, data.totalFrames / 800);
    data.peaks.assign(800, 0.0f);
    return data;
}

// The peaks of a real file, as the app reads them after recording.
std::optional<Waveform::Data> analyse(const QString& path) {
    auto future = Waveform::extractPeaks(path, 800);
    future.waitForFinished();
    return future.result();
}
} // namespace

class EditorModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    // Second i of the file holds tonesHz[i]; 0 Hz is silence.
    QString toneFile(const QString& name, const std::vector<double>& tonesHz) {
        const QString path = dir_.filePath(name);
        return writeToneFile(path, tonesHz, 48000, 2, SF_FORMAT_CAF | SF_FORMAT_FLOAT) ? path
                                                                                       : QString();
    }

private slots:
    void boundsKeepTheSelectionInsideAndApart() {
        EditorModel model(quietWaveform(10), {2, 8}, {});
        QSignalSpy changes(&model, &EditorModel::trimRangeChanged);
        model.moveBound(EditorModel::Bound::start, -3);
        QCOMPARE(model.trimRange(), (TimeRange{0, 8}));
        model.moveBound(EditorModel::Bound::end, 1e300);
        QCOMPARE(model.trimRange(), (TimeRange{0, 10}));
        model.moveBound(EditorModel::Bound::start, NaN);
        QCOMPARE(model.trimRange(), (TimeRange{0, 10})); // no change, no signal
        model.moveBound(EditorModel::Bound::end, 0.01);
        QCOMPARE(model.trimRange(), (TimeRange{0, EditorModel::minimumSelectionSeconds}));
        QCOMPARE(changes.count(), 3);
        // Each change says what it replaced, for the card to repaint only what moved.
        QCOMPARE(changes.last().at(1).value<TimeRange>(), (TimeRange{0, 10}));
        QCOMPARE(changes.last().at(2).value<EditorModel::Change>(), EditorModel::Change::edit);
        // What assistive technology is told each handle may do.
        QCOMPARE(model.boundMaximum(EditorModel::Bound::start), 0.0);
        QCOMPARE(model.boundMinimum(EditorModel::Bound::end), 0.05);
        QCOMPARE(model.boundMaximum(EditorModel::Bound::end), 10.0);
    }

    void visibleRangeStaysInsideTheRecording() {
        EditorModel model(quietWaveform(40), {0, 40}, {});
        QSignalSpy shown(&model, &EditorModel::visibleRangeChanged);
        QVERIFY(model.showsAll());
        model.setVisibleRange({38, 44}); // past the end: moved back inside, length kept
        QCOMPARE(model.visibleRange(), (TimeRange{34, 40}));
        model.setVisibleRange({5, 5}); // never shorter than 512 frames
        QCOMPARE(model.visibleRange(), (TimeRange{5, 5 + 512 / 48000.0}));
        model.setVisibleRange({NaN, NaN});
        QCOMPARE(model.visibleRange(), (TimeRange{0, 40}));
        QCOMPARE(shown.count(), 3);
        model.setVisibleRange({-1, 100});
        QCOMPARE(shown.count(), 3); // the whole recording again is no change
        // Zooming keeps the anchor where it was on screen: a quarter in.
        model.setVisibleRange({10, 30});
        model.zoom(2, 15);
        QCOMPARE(model.visibleRange(), (TimeRange{12.5, 22.5}));
        QVERIFY(!model.showsAll());
    }

    void keysBringTheirBoundIntoView() {
        EditorModel model(quietWaveform(40), {8, 30}, {});
        model.setVisibleRange({20, 21});
        model.stepBound(EditorModel::Bound::start, 1.0);
        QCOMPARE(model.trimRange().lower, 9.0);
        // A tenth of the shown stretch in from the edge the bound went past.
        QCOMPARE(model.visibleRange().lower, 9.0 - 0.1);
        model.stepBound(EditorModel::Bound::end, 1e12); // End: as far as it goes
        QCOMPARE(model.trimRange().upper, 40.0);
        QCOMPARE(model.visibleRange(), (TimeRange{39, 40}));
        // Moving a bound in sight leaves the view where it is.
        model.stepBound(EditorModel::Bound::end, -0.5);
        QCOMPARE(model.visibleRange(), (TimeRange{39, 40}));
    }

    void autoTrimTakesTheSoundsEndsThenTheExactOnes() {
        const QString path = toneFile("tone.caf", {0, 440, 0});
        const std::optional<Waveform::Data> waveform = analyse(path);
        QVERIFY(waveform);
        EditorModel model(*waveform, {0, 3}, path);
        QVERIFY(!model.isSilent());
        QSignalSpy changes(&model, &EditorModel::trimRangeChanged);
        model.autoTrim();
        // From the peaks at once: bins of 180 frames, the first loud one starting before 1 s.
        QVERIFY(!changes.isEmpty());
        QCOMPARE(changes.first().at(0).value<TimeRange>().lower, 266 * 180 / 48000.0 - 0.15);
        QCOMPARE(changes.first().at(2).value<EditorModel::Change>(), EditorModel::Change::autoTrim);
        // Then from the samples, to the frame: the tone's first sound is its second frame.
        QTRY_COMPARE(changes.count(), 2);
        const TimeRange exact = model.trimRange();
        QCOMPARE(exact.lower, 48001 / 48000.0 - 0.15);
        QVERIFY2(std::abs(exact.upper - (2.0 + 0.15)) < 0.001,
                 qPrintable(QString::number(exact.upper)));
        QCOMPARE(changes.last().at(2).value<EditorModel::Change>(), EditorModel::Change::edit);
    }

    void autoTrimOfSilenceKeepsTheSelection() {
        const QString path = toneFile("silence.caf", {0, 0});
        const std::optional<Waveform::Data> waveform = analyse(path);
        QVERIFY(waveform);
        EditorModel model(*waveform, {0.5, 1.5}, path);
        QVERIFY(model.isSilent());
        QSignalSpy nothing(&model, &EditorModel::nothingToTrim);
        QSignalSpy changes(&model, &EditorModel::trimRangeChanged);
        model.autoTrim();
        QCOMPARE(nothing.count(), 1);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(model.trimRange(), (TimeRange{0.5, 1.5}));
    }

    void timeLabel_data() {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0:00.0";
        QTest::newRow("truncated, not rounded up") << 59.99 << "0:59.9";
        QTest::newRow("minutes") << 75.37 << "1:15.3";
        QTest::newRow("no hour field") << 3725.5 << "62:05.5";
        QTest::newRow("negative") << -2.0 << "0:00.0";
        QTest::newRow("a tenth stored just below itself") << 2.3 << "0:02.3";
        QTest::newRow("NaN") << NaN << "0:00.0";
    }

    void timeLabel() {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(EditorModel::timeLabel(seconds), text);
    }
};

QTEST_GUILESS_MAIN(EditorModelTest)
#include "EditorModelTest.moc"
