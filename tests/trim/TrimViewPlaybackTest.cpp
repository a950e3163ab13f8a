#include "TrimView.h"
#include "TrimViewTestSupport.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>
#include <numbers>
#include <sndfile.h>

using namespace TrimViewTestSupport;

namespace {
constexpr int sampleRate = 48000;
constexpr double fileSeconds = 3.0;

// A stereo tone of `seconds` in a CAF file, as a recording would be.
bool writeTone(const QString& path, double seconds) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    const std::unique_ptr<SNDFILE, decltype(&sf_close)> file(
        sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info), &sf_close);
    if (!file)
        return false;
    const auto frames = static_cast<sf_count_t>(seconds * sampleRate);
    std::vector<float> samples(static_cast<std::size_t>(frames) * 2);
    for (sf_count_t frame = 0; frame < frames; ++frame) {
        const auto value = static_cast<float>(
            0.3 * std::sin(2 * std::numbers::pi * 440.0 * static_cast<double>(frame) / sampleRate));
        samples[static_cast<std::size_t>(frame) * 2] = value;
        samples[static_cast<std::size_t>(frame) * 2 + 1] = value;
    }
    return sf_writef_float(file.get(), samples.data(), frames) == frames;
}

// Dark columns in the waveform area: only the playhead is drawn in the primary colour.
QList<int> darkColumns(const TrimView& view) {
    QWidget* card = handle(view, "Trim start")->parentWidget();
    const QImage picture = card->grab().toImage();
    const double ratio = picture.devicePixelRatio();
    QList<int> columns;
    const int middle = static_cast<int>(84 * ratio);
    for (int x = 0; x < picture.width(); ++x) {
        const QColor color = picture.pixelColor(x, middle + static_cast<int>(30 * ratio));
        if (color.lightness() < 60)
            columns.append(static_cast<int>(x / ratio));
    }
    return columns;
}
} // namespace

class TrimViewPlaybackTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QUrl recording_;
    std::unique_ptr<TrimView> view_;

    bool startPlaying() {
        QTest::mouseClick(button(*view_, "Play Selection"), Qt::LeftButton);
        return QTest::qWaitFor([this] { return view_->player().isPlaying(); }, 3000) &&
               button(*view_, "Stop") != nullptr;
    }

    bool stoppedAndShowsPlay() const {
        return !view_->player().isPlaying() && button(*view_, "Play Selection") != nullptr &&
               darkColumns(*view_).isEmpty();
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void playsTheSelectionWithAPlayhead();
    void everySelectionChangeStopsPlayback();
    void spaceTogglesPlaybackWhenTheViewHasFocus();
};

void TrimViewPlaybackTest::initTestCase() {
    QVERIFY(dir_.isValid());
    const QString path = dir_.filePath("recording.caf");
    QVERIFY(writeTone(path, fileSeconds));
    recording_ = QUrl::fromLocalFile(path);
}

void TrimViewPlaybackTest::init() {
    // Sound from bin 100 to bin 700 of 800, for auto-trim to find.
    Waveform::Data data = waveform(fileSeconds, 100, 700);
    view_ = std::make_unique<TrimView>(data, TimeRange{0.5, 2.5}, recording_);
    view_->resize(628, view_->sizeHint().height());
    view_->show();
    QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
}

void TrimViewPlaybackTest::cleanup() {
    view_.reset();
}

void TrimViewPlaybackTest::playsTheSelectionWithAPlayhead() {
    QVERIFY(darkColumns(*view_).isEmpty());
    QVERIFY(startPlaying());
    QVERIFY(QTest::qWaitFor([this] { return view_->player().currentTime() > 0.7; }, 3000));

    // The playhead stands where the player is: x = W × time ÷ duration from the area's left.
    const double playedSeconds = view_->player().currentTime();
    const QList<int> columns = darkColumns(*view_);
    QVERIFY(!columns.isEmpty());
    const double expectedX = 14 + 600 * playedSeconds / fileSeconds;
    QVERIFY2(
        std::abs(columns.first() - expectedX) <= 2.0,
        qPrintable(QString("playhead at %1, expected %2").arg(columns.first()).arg(expectedX)));

    // The player stops by itself at the selection's end; the button and playhead follow.
    QVERIFY(QTest::qWaitFor([this] { return !view_->player().isPlaying(); }, 5000));
    QVERIFY(stoppedAndShowsPlay());
}

void TrimViewPlaybackTest::everySelectionChangeStopsPlayback() {
    QSignalSpy changes(view_.get(), &TrimView::rangeChanged);

    QVERIFY(startPlaying());
    QWidget* start = handle(*view_, "Trim start");
    QTest::mousePress(view_->windowHandle(), Qt::LeftButton, Qt::NoModifier, centreOf(start));
    QTest::mouseMove(view_->windowHandle(), centreOf(start) + QPoint(1, 0));
    // Within the same event, not at the next tick of the player.
    QVERIFY(stoppedAndShowsPlay());
    QTest::mouseRelease(view_->windowHandle(), Qt::LeftButton, Qt::NoModifier, centreOf(start));

    QVERIFY(startPlaying());
    start->setFocus(Qt::TabFocusReason);
    QTest::keyClick(start, Qt::Key_Right);
    QVERIFY(stoppedAndShowsPlay());

    QVERIFY(startPlaying());
    QTest::mouseClick(button(*view_, "Auto-Trim Silence"), Qt::LeftButton);
    QVERIFY(stoppedAndShowsPlay());

    QVERIFY(startPlaying());
    view_->setRange({1.0, 2.0});
    QVERIFY(stoppedAndShowsPlay());

    // Each of the four kinds of change was announced.
    QVERIFY(changes.count() >= 4);

    // An unchanged selection is no change: playback goes on and nothing is announced.
    const qsizetype announced = changes.count();
    QVERIFY(startPlaying());
    view_->setRange({1.0, 2.0});
    QVERIFY(view_->player().isPlaying());
    QCOMPARE(changes.count(), announced);
}

void TrimViewPlaybackTest::spaceTogglesPlaybackWhenTheViewHasFocus() {
    view_->activateWindow();
    view_->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(QTest::qWaitFor([this] { return view_->player().isPlaying(); }, 3000));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!view_->player().isPlaying());

    // From a focused handle as well.
    QWidget* end = handle(*view_, "Trim end");
    end->setFocus(Qt::TabFocusReason);
    QTest::keyClick(end, Qt::Key_Space);
    QVERIFY(QTest::qWaitFor([this] { return view_->player().isPlaying(); }, 3000));
    QTest::keyClick(end, Qt::Key_Space);
    QVERIFY(!view_->player().isPlaying());
}

QTEST_MAIN(TrimViewPlaybackTest)
#include "TrimViewPlaybackTest.moc"
