#include "MicrophoneMixerSimulation.h"

// An hour of a call, once for each way the microphone's clock can be off: minutes to run, so
// each is a test of its own.
class MicrophoneMixerDriftTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The microphone's clock a few hundred ppm off the output's, as a USB or Bluetooth one is.
    void staysAlignedAndSmoothOverAnHour_data() {
        QTest::addColumn<double>("ppm");
        QTest::newRow("microphone fast") << 500.0;
        QTest::newRow("microphone slow") << -500.0;
    }

    void staysAlignedAndSmoothOverAnHour() {
        QFETCH(double, ppm);
        CallSimulation call;
        call.ppm = ppm;
        call.run(3600);
        QCOMPARE(call.clicksCompared, 360);
        QVERIFY2(call.worstOffsetMs < 20, qPrintable(QString::number(call.worstOffsetMs)));
        // A dropped or repeated frame of the tone steps by about 0.005.
        QVERIFY2(call.largestStepInTone < 0.001,
                 qPrintable(QString::number(call.largestStepInTone)));
        // Everything the output gave, nothing more; both at their own level.
        QCOMPARE(call.mixedFrames, call.outputFrames);
        QVERIFY(std::abs(call.outputPeak - outputClick) < 1e-6);
        QVERIFY(call.microphonePeak > 0.55 && call.microphonePeak < 0.65);
        QVERIFY(call.quietestMicrophoneOutsideStall > 0.19);
    }
};

QTEST_GUILESS_MAIN(MicrophoneMixerDriftTest)
#include "MicrophoneMixerDriftTest.moc"
