#include "SoundTestSupport.h"
#include "TrimViewTestSupport.h"

#include <QTemporaryDir>

namespace {
// Dark columns near the waveform area's top, above any bar at half level: only the playhead
// reaches there.
QList<int> darkColumns(const TrimView& view) {
    const QImage picture = find(view, "Trim start")->parentWidget()->grab().toImage();
    const double ratio = picture.devicePixelRatio();
    QList<int> columns;
    for (int x = 0; x < picture.width(); ++x)
        if (picture.pixelColor(x, static_cast<int>(20 * ratio)).lightness() < 60)
            columns.append(static_cast<int>(x / ratio));
    return columns;
}

bool startPlaying(TrimView& view) {
    QTest::mouseClick(find(view, "Play Selection"), Qt::LeftButton);
    return QTest::qWaitFor([&] { return view.player().isPlaying(); }, 3000) && find(view, "Stop");
}

bool stoppedAndShowsPlay(TrimView& view) {
    return !view.player().isPlaying() && find(view, "Play Selection") &&
           darkColumns(view).isEmpty();
}
} // namespace

class TrimViewPlaybackTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString recording_ = dir_.filePath("recording.caf");

private slots:
    void initTestCase() {
        QVERIFY(
            writeToneFile(recording_, {440, 440, 440}, 48000, 2, SF_FORMAT_CAF | SF_FORMAT_FLOAT));
    }

    void playsTheSelectionWithAPlayhead() {
        ShownView view(waveform(3.0), {0.5, 2.5}, recording_);
        QVERIFY(view.exposed && darkColumns(view).isEmpty());
        QVERIFY(startPlaying(view));
        QVERIFY(QTest::qWaitFor([&] { return view.player().currentTime() > 0.7; }, 3000));
        // The playhead stands where the player is: x = W × time ÷ duration from the area's left.
        const double expectedX = 14 + 600 * view.player().currentTime() / 3.0;
        const QList<int> columns = darkColumns(view);
        QVERIFY2(!columns.isEmpty() && std::abs(columns.first() - expectedX) <= 2.0,
                 qPrintable(
                     QString("playhead at %1, expected %2").arg(columns.value(0)).arg(expectedX)));
        // Stopped by itself at the selection's end; the button and playhead follow.
        QVERIFY(QTest::qWaitFor([&] { return !view.player().isPlaying(); }, 5000));
        QVERIFY(stoppedAndShowsPlay(view));
    }

    void spacePlaysAndStopsWhereverTheFocusIs() {
        // After a click on Auto-Trim the focus stays on it; Space must still play, not trim.
        ShownView view(waveform(3.0, 100, 700), {0.5, 2.5}, recording_);
        view.activateWindow();
        QVERIFY(view.exposed && QTest::qWaitForWindowActive(&view));
        QWidget* autoTrim = find(view, "Auto-Trim Silence");
        autoTrim->setFocus(Qt::TabFocusReason);
        QTest::mouseClick(autoTrim, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return view.range().lower < 0.35; }, 3000));
        const TimeRange trimmed = view.range();
        for (const char* name : {"Auto-Trim Silence", "Trim end", "Play Selection"}) {
            QWidget* focused = find(view, name);
            focused->setFocus(Qt::TabFocusReason);
            QTest::keyClick(focused, Qt::Key_Space);
            QVERIFY2(QTest::qWaitFor([&] { return view.player().isPlaying(); }, 3000), name);
            QCOMPARE(view.range(), trimmed);
            QTest::keyClick(find(view, "Stop"), Qt::Key_Space);
            QVERIFY2(QTest::qWaitFor([&] { return stoppedAndShowsPlay(view); }, 3000), name);
        }
    }

    void everySelectionChangeStopsPlayback() {
        // Sound from bin 100 to bin 700 of 800, for auto-trim to find.
        ShownView view(waveform(3.0, 100, 700), {0.5, 2.5}, recording_);
        QVERIFY(view.exposed);
        QWidget* start = find(view, "Trim start");
        QWindow* window = view.windowHandle();
        QVERIFY(startPlaying(view));
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(start));
        QTest::mouseMove(window, centreOf(start) + QPoint(1, 0));
        QVERIFY(stoppedAndShowsPlay(view)); // within the same event, not at the player's next tick
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, centreOf(start));

        QVERIFY(startPlaying(view));
        QTest::keyClick(start, Qt::Key_Right);
        QVERIFY(stoppedAndShowsPlay(view));

        QVERIFY(startPlaying(view));
        QTest::mouseClick(find(view, "Auto-Trim Silence"), Qt::LeftButton);
        QVERIFY(stoppedAndShowsPlay(view));
        // The exact ends follow from the file, a change of their own: the tone fills it, so
        // they lie at the outer edges of the bins around the first and last loud ones.
        const TimeRange exact{99 * 180 / 48000.0 - 0.15, 702 * 180 / 48000.0 + 0.15};
        QVERIFY(QTest::qWaitFor([&] { return view.range() == exact; }, 3000));

        QVERIFY(startPlaying(view));
        view.setRange({1.0, 2.0});
        QVERIFY(stoppedAndShowsPlay(view));
        // An unchanged selection is no change: playback goes on.
        QVERIFY(startPlaying(view));
        view.setRange({1.0, 2.0});
        QVERIFY(view.player().isPlaying());
    }
};

QTEST_MAIN(TrimViewPlaybackTest)
#include "TrimViewPlaybackTest.moc"
