#include "IdleStageView.h"
#include "RecordingStageView.h"
#include "TestSupport.h"
#include "Translations.h"

// With LANGUAGE=de the screens and alerts speak German: the app's own texts from the
// translation built into it, the standard buttons from Qt's.
class GermanTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<ContentView> view_;

    QStringList visibleTexts() const {
        QStringList texts;
        for (auto* label : view_->findChildren<QLabel*>()) {
            if (label->isVisibleTo(view_.get())) {
                texts << label->text();
            }
        }
        for (auto* button : view_->findChildren<QAbstractButton*>()) {
            if (button->isVisibleTo(view_.get())) {
                texts << button->text();
            }
        }
        return texts;
    }

private slots:
    void initTestCase() {
        QVERIFY(testFolder().isValid());
        QCOMPARE(qgetenv("LANGUAGE"), QByteArray("de"));
        Translations::install(*QCoreApplication::instance());
    }

    void init() { QVERIFY(view_ = scriptedView(script_ = std::make_shared<CaptureScript>())); }

    void cleanup() {
        closeAlerts();
        view_.reset();
    }

    void startAndRecordingScreensSpeakGerman() {
        QVERIFY(visibleTexts().contains("Nimmt auf, was auf Ihrem Computer gerade spielt."));
        QVERIFY(!visibleTexts().contains("Record System Audio"));
        QVERIFY(visibleButton(view_.get(), "Systemton aufnehmen"));

        click(view_.get(), "Systemton aufnehmen");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recording);
        QTRY_VERIFY(visibleButton(view_.get(), "Aufnahme stoppen"));
        QVERIFY(!visibleTexts().contains("Stop Recording"));
    }

    void theReplaySpeaksGerman() {
        auto* screen = view_->findChild<IdleStageView*>();
        QCOMPARE(screen->replaySwitch()->text(), QString("Letzte Minuten behalten:"));
        QCOMPARE(screen->replayLength()->currentText(), QString("5 Minuten"));
        screen->replaySwitch()->click();
        QVERIFY(visibleTexts().contains("Die letzten 5 Minuten Ton bleiben im Speicher."));
        QVERIFY(visibleButton(view_.get(), "Letzte 5 Minuten speichern"));
        view_->recorder().setReplayMinutes(1);
        QVERIFY(visibleTexts().contains("Die letzte Minute Ton bleibt im Speicher."));
        QVERIFY(visibleButton(view_.get(), "Letzte Minute speichern"));
        view_->recorder().setReplayMinutes(0);
    }

    void theProgramChoiceAndTheWaitSpeakGerman() {
        QComboBox* choice = view_->findChild<IdleStageView*>()->programChoice();
        QCOMPARE(choice->currentText(), QString("Ganzer Computer"));
        QCOMPARE(choice->accessibleName(), QString("Aufnehmen von"));

        view_->flow().chooseProgram(CaptureProgram{"Radio", "radio", ""});
        QTRY_VERIFY(visibleTexts().contains("Nimmt nur auf, was „Radio“ abspielt."));
        QCOMPARE(choice->currentText(), QString("Radio (spielt nicht)"));
        click(view_.get(), "Systemton aufnehmen");
        QTRY_COMPARE(view_->stageKind(), Stage::Kind::recording);
        script_->handlers.programPlaying(false);
        auto* screen = view_->findChild<RecordingStageView*>();
        QTRY_COMPARE(screen->statusText(), QString("Warten auf Radio…"));
        view_->flow().chooseProgram(std::nullopt);
    }

    void alertsSpeakGerman() {
        script_->unreachable = true;
        click(view_.get(), "Systemton aufnehmen");
        QTRY_VERIFY(openAlert("Aufnahme nicht möglich"));
        QMessageBox* alert = openAlert("Aufnahme nicht möglich");
        QCOMPARE(
            alert->informativeText(),
            QString("Sonabrix konnte den Soundserver nicht erreichen, um den Systemton "
                    "aufzunehmen. Stellen Sie sicher, dass PulseAudio oder PipeWire läuft, "
                    "und versuchen Sie es dann erneut. Angegebener Grund: Connection refused"));
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(alert->buttons().first()->text(), QString("OK"));
    }

    void qtsStandardButtonsSpeakGerman() {
        QMessageBox question(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(question.button(QMessageBox::Cancel)->text(), QString("Abbrechen"));
        QCOMPARE(question.button(QMessageBox::Yes)->text().remove('&'), QString("Ja"));
    }
};

QTEST_MAIN(GermanTest)
#include "GermanTest.moc"
