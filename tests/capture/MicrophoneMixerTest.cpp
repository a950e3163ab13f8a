#include "MicrophoneMixerSimulation.h"

class MicrophoneMixerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aStalledStreamIsFilledWithSilenceAndHoldsNothingBack_data() {
        QTest::addColumn<bool>("microphoneStalls");
        QTest::newRow("microphone stalls") << true;
        QTest::newRow("output stalls") << false;
    }

    void aStalledStreamIsFilledWithSilenceAndHoldsNothingBack() {
        QFETCH(bool, microphoneStalls);
        CallSimulation call;
        call.ppm = 300;
        (microphoneStalls ? call.microphoneStall : call.outputStall) = {32.0, 34.0};
        call.run(60);
        // The mix never waits on the stalled stream for much more than the stall allowance.
        const double allowedMs = double(MicrophoneMixer::stallAfter.count()) + 120;
        QVERIFY2(call.largestLagMs < allowedMs, qPrintable(QString::number(call.largestLagMs)));
        QVERIFY2(call.worstOffsetMs < 20, qPrintable(QString::number(call.worstOffsetMs)));
        QCOMPARE(call.clicksCompared, 6);
        // Silence stands in for the stall; the file keeps the real length of the call.
        QVERIFY(std::abs(call.mixedFrames - 60 * rate) < rate / 10);
        QVERIFY(call.quietestMicrophoneOutsideStall > 0.19);
    }

    void aMomentOfWrongTimingMovesNothing_data() {
        QTest::addColumn<bool>("inMicrophone");
        QTest::addColumn<double>("strayMs");
        QTest::newRow("microphone late") << true << 45.0;
        QTest::newRow("microphone early") << true << -45.0;
        QTest::newRow("output late") << false << 45.0;
        QTest::newRow("output early") << false << -45.0;
    }

    // Both streams arrive whole; only their reported capture times stray for 0.4 s. Nothing is
    // inserted or dropped, and the click after it stays where it was.
    void aMomentOfWrongTimingMovesNothing() {
        QFETCH(bool, inMicrophone);
        QFETCH(double, strayMs);
        CallSimulation call;
        (inMicrophone ? call.microphoneStray : call.outputStray) = {14.3, 14.7};
        call.strayMs = strayMs;
        call.run(20);
        QCOMPARE(call.clicksCompared, 2);
        QVERIFY2(call.worstOffsetMs < 5, qPrintable(QString::number(call.worstOffsetMs)));
        QVERIFY2(call.largestStepInTone < 0.05,
                 qPrintable(QString::number(call.largestStepInTone)));
        QCOMPARE(call.mixedFrames, call.outputFrames);
    }

    void theOutputGoesOnAloneWhenTheMicrophoneEnds() {
        CallSimulation call;
        call.microphoneEndsAt = 22;
        call.run(40);
        // Clicks before the end are in both; after it the output's alone.
        QCOMPARE(call.clicksCompared, 2);
        QVERIFY(call.worstOffsetMs < 20);
        QCOMPARE(call.mixedFrames, call.outputFrames);
    }

    void aMicrophoneWithoutOutputIsNotHeldBack() {
        MicrophoneMixer mixer(1);
        qint64 mixed = 0;
        for (int piece = 0; piece < 300; ++piece) {
            PcmBuffer buffer{rate, 1, std::vector<float>(480, 0.25f), 5'000'000 + piece * 10'000};
            mixed += mixer.addMicrophone(buffer).frames();
        }
        // Three seconds of microphone; all but the stall allowance is already in the mix.
        const qint64 allowance = MicrophoneMixer::stallAfter.count() * rate / 1000;
        QVERIFY2(mixed >= 3 * rate - allowance - 480 && mixed <= 3 * rate,
                 qPrintable(QString::number(mixed)));
        const PcmBuffer rest = mixer.finish();
        QVERIFY(mixed + rest.frames() <= 3 * rate);
    }
};

QTEST_GUILESS_MAIN(MicrophoneMixerTest)
#include "MicrophoneMixerTest.moc"
