#include "LevelMeter.h"
#include "LiveWaveformView.h"
#include "PeakHistory.h"
#include "PulsingDot.h"
#include "RecordingStageView.h"
#include "StageContainer.h"
#include "TestSupport.h"
#include "Theme.h"

// The recording screen as the user meets it, over a capture platform the test steers.
class RecordingScreenTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;

    RecordingStageView* screen() const { return view_->findChild<RecordingStageView*>(); }

private slots:
    void initTestCase() { QVERIFY(testFolder().isValid()); }

    void init() {
        QVERIFY(view_ = scriptedView(script_ = std::make_shared<CaptureScript>()));
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
    }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    // Bars cover fixed stretches of the recording, so a bar keeps its height while it scrolls;
    // the picture kept and moved between frames is the one drawn afresh.
    void theLiveWaveformScrollsByWholeBars() {
        const auto history = std::make_shared<PeakHistory>();
        const auto peak = [](float first, int bin) { return first + 0.001f * float(bin); };
        const auto feed = [&](int bins, float first) {
            std::vector<float> samples;
            for (int bin = 0; bin < bins; ++bin)
                samples.insert(samples.end(), 2 * 480, peak(first, bin));
            history->add({48000, 2, samples});
        };
        // 146 bars (440 points) of 60 ms each: bins 0-5, 6-11, ... make one bar.
        feed(25, 0.1f);
        QCOMPARE(LiveWaveformView::barPeaks(*history, 146),
                 (std::vector<float>{peak(0.1f, 5), peak(0.1f, 11), peak(0.1f, 17), peak(0.1f, 23),
                                     peak(0.1f, 24)}));
        feed(3, 0.5f); // the last bar fills up, no new one yet
        QCOMPARE(LiveWaveformView::barPeaks(*history, 146).size(), size_t(5));
        QCOMPARE(LiveWaveformView::barPeaks(*history, 146).back(), peak(0.5f, 2));
        feed(1200, 0.2f);
        const std::vector<float> full = LiveWaveformView::barPeaks(*history, 146);
        QCOMPARE(full.size(), size_t(146));
        QCOMPARE(full.back(), peak(0.2f, 1199));

        LiveWaveformView kept, fresh;
        for (LiveWaveformView* view : {&kept, &fresh})
            view->setFixedSize(440, 72);
        kept.setHistory(history);
        for (int frame = 0; frame < 30; ++frame) {
            feed(frame % 11, 0.3f + 0.02f * frame);
            kept.grab();
        }
        fresh.setHistory(history);
        // Equal but for the antialiasing of a few corner pixels.
        const QImage a = kept.grab().toImage(), b = fresh.grab().toImage();
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
                differing += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                                 std::abs(p.blue() - q.blue()) >
                             24;
            }
        // A bar out of place differs in a hundred pixels or more; rounded corners in a few.
        QVERIFY2(differing <= 8, qPrintable(QString::number(differing)));
        QCOMPARE(b.pixelColor(0, 0), fresh.palette().color(QPalette::Window));
    }

    // Names and problems in the sound server's words are shown as written: never read as rich
    // text, never with a live link, on the screen or in an alert.
    void theSoundServersWordsAreShownAsWritten() {
        const QString link = "<b>bold</b> <a href=\"https://attacker.example/\">click</a>";
        view_.reset();
        script_ = std::make_shared<CaptureScript>();
        script_->outputName = link;
        QVERIFY(view_ = scriptedView(script_));
        click(view_.get(), "Record System Audio");
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
        QCOMPARE(screen()->outputText(), "Recording “" + link + "”");
        const auto verifyShownAsWritten = [] {
            int shown = 0;
            for (QWidget* window : QApplication::topLevelWidgets()) {
                for (QLabel* label : window->findChildren<QLabel*>()) {
                    if (label->isVisible() && label->text().contains("href")) {
                        ++shown;
                        QVERIFY2(label->textFormat() == Qt::PlainText &&
                                     !label->openExternalLinks(),
                                 qPrintable(label->objectName() + ": " + label->text()));
                    }
                }
            }
            QVERIFY(shown > 0);
        };
        verifyShownAsWritten();
        script_->stopByItself(link);
        QTRY_VERIFY(openAlert());
        verifyShownAsWritten();
    }

    void showsTheOutputAndItsLevel() {
        QCOMPARE(screen()->outputText(), QString("Recording “speakers”"));
        QCOMPARE(screen()->meter()->barDb(), LevelMeter::floorDb);
        script_->deliver(0.2, 0.5f);
        QTRY_VERIFY(screen()->meter()->barDb() > -6.1);
        QVERIFY(screen()->meter()->holdDb() >= screen()->meter()->barDb());
        // Once the sound is gone the bar falls off gradually, the peak mark stays a while.
        script_->deliver(0.2, 0.0f);
        QTest::qWait(300);
        QVERIFY(screen()->meter()->barDb() < -6.1 && screen()->meter()->barDb() > -30);
        QVERIFY(screen()->meter()->holdDb() > -6.1);
        QCOMPARE(screen()->statusText(), QString());
    }

    // The dot, meter and waveform move on one clock and are painted together: a repaint of the
    // window costs more than what it draws, so a part repainting on a clock of its own would
    // multiply the screen's cost.
    void everythingThatMovesIsPaintedTogether() {
        struct Counter : QObject {
            int repaints = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                repaints += event->type() == QEvent::UpdateRequest;
                return false;
            }
        } counter;
        // The fade into the screen repaints the whole window at every display frame.
        auto* stages = view_->findChild<StageContainer*>();
        QTRY_VERIFY(stages && !stages->isFading());
        view_->window()->installEventFilter(&counter);
        QElapsedTimer clock;
        clock.start();
        qreal largest = 0;
        double loudest = LevelMeter::floorDb;
        while (clock.elapsed() < 2000) {
            script_->deliver(0.02, clock.elapsed() % 400 < 200 ? 0.5f : 0.05f);
            QTest::qWait(20);
            largest = std::max(largest, screen()->dot()->dotScale());
            loudest = std::max(loudest, screen()->meter()->barDb());
        }
        const int frames = int(clock.elapsed() / RecordingStageView::frameIntervalMs);
        QVERIFY2(largest > 1.2 && loudest > -6.1, "the dot and the meter moved");
        // One repaint per frame, and one for the running time each second.
        QVERIFY2(counter.repaints <= frames + 4,
                 qPrintable(QString("%1 repaints in %2 frames").arg(counter.repaints).arg(frames)));
    }

    void pausesFromTheButtonAndTheKeyboard() {
        auto* dot = screen()->dot();
        QVERIFY(dot->isPulsing());
        click(view_.get(), "Pause");
        QVERIFY(view_->recorder().isPaused() && !dot->isPulsing());
        QTest::qWait(3 * RecordingStageView::frameIntervalMs);
        QCOMPARE(dot->dotScale(), 1.0); // at rest
        QCOMPARE(screen()->pauseButton()->text(), QString("Resume"));
        // The keys start on Pause: Space there resumes, as the window-wide Space would.
        QCOMPARE(view_->focusWidget(), screen()->pauseButton());
        QTest::keyClick(screen()->pauseButton(), Qt::Key_Space);
        QVERIFY(!view_->recorder().isPaused() && dot->isPulsing());
        QTest::keyClick(view_.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(view_->recorder().isPaused());
        QTest::keyClick(view_.get(), Qt::Key_P, Qt::ControlModifier);
        QVERIFY(!view_->recorder().isPaused());
        QVERIFY(view_->recorder().isRecording());
        // A focused Stop button answers Space as any button does.
        screen()->stopButton()->setFocus();
        QTest::keyClick(screen()->stopButton(), Qt::Key_Space);
        QVERIFY(!view_->recorder().isPaused());
        QTRY_VERIFY(!view_->recorder().isRecording());
    }

    void saysWhenNothingIsPlaying() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3500) {
            script_->deliver(0.1, 0.0f);
            QTest::qWait(100);
        }
        QTRY_COMPARE(screen()->statusText(), QString("Nothing is playing on “speakers” yet."));
        script_->deliver(0.1, 0.2f);
        QTRY_COMPARE(screen()->statusText(), QString());
        QTest::qWait(3 * RecordingStageView::frameIntervalMs);

        // Silent again after sound: not "yet", since something did play.
        clock.restart();
        while (clock.elapsed() < 3500) {
            script_->deliver(0.1, 0.0f);
            QTest::qWait(100);
        }
        QTRY_COMPARE(screen()->statusText(),
                     QString("Nothing has played on “speakers” for the last few seconds."));
    }

    // Space acts on the focused button, so the screen shows which one that is as it appears,
    // whether recording began with the mouse or the keyboard, before any Tab; the other screens
    // are left as they were.
    void theFocusedButtonShowsItsRingFromTheStart() {
        const auto expectRing = [this](const char* startedBy) {
            QPushButton* pause = screen()->pauseButton();
            QTRY_VERIFY(pause->hasFocus());
            QStyleOption seen;
            seen.initFrom(pause);
            QVERIFY2(seen.state & QStyle::State_KeyboardFocusChange, startedBy);
            // Drawn as a user sees it: a ring of the focus colour around the label.
            const QImage picture = pause->grab().toImage();
            const QColor ring = Theme::from(pause->palette()).focusRing;
            int ringPixels = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    const QColor p = picture.pixelColor(x, y);
                    ringPixels += std::abs(p.red() - ring.red()) +
                                      std::abs(p.green() - ring.green()) +
                                      std::abs(p.blue() - ring.blue()) <
                                  30;
                }
            QVERIFY2(ringPixels > picture.width() + picture.height(),
                     qPrintable(QStringLiteral("%1: %2").arg(startedBy).arg(ringPixels)));
        };
        expectRing("started with the mouse");
        script_->deliver(1.0, 0.5f);
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        // A click elsewhere first, as a mouse user's last act before the key.
        QTest::mouseClick(view_->window(), Qt::LeftButton);
        QTest::keyClick(view_.get(), Qt::Key_R, Qt::ControlModifier);
        QTRY_VERIFY(screen() && view_->recorder().isRecording());
        expectRing("started with Ctrl+R");
        // Stopped with the mouse: the editor shows focus as the desktop does, after a key moves it.
        script_->deliver(1.0, 0.5f);
        QTest::mouseClick(screen()->stopButton(), Qt::LeftButton);
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recorded);
        QVERIFY(!view_->window()->testAttribute(Qt::WA_KeyboardFocusChange));
    }

    // Paused, the screen says so where it named what is recorded.
    void pausedSaysSo() {
        QCOMPARE(screen()->outputText(), QString("Recording “speakers”"));
        click(view_.get(), "Pause");
        QCOMPARE(screen()->outputText(), QString("Paused — “speakers” is not being recorded"));
        click(view_.get(), "Resume");
        QCOMPARE(screen()->outputText(), QString("Recording “speakers”"));
    }
};

QTEST_MAIN(RecordingScreenTest)
#include "RecordingScreenTest.moc"
