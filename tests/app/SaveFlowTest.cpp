#include "ContentView.h"
#include "MediaProbe.h"
#include "SaveDestinationDialog.h"
#include "ScriptedCaptureService.h"
#include "SystemAudioRecorder.h"
#include "TrimView.h"
#include "WidgetFinder.h"

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using WidgetFinder::alertButton;
using WidgetFinder::openAlert;
using WidgetFinder::visibleButton;

// Saving the selection through the real exporter, with the save dialog replaced by the test.
class SaveFlowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::shared_ptr<ScriptedCaptureService::Script> script_;
    std::unique_ptr<ContentView> view_;
    QStringList suggestedNames_;

    void click(const QString& text) {
        QAbstractButton* button = visibleButton(view_.get(), text);
        QVERIFY2(button, qPrintable(QStringLiteral("no visible button \"%1\"").arg(text)));
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // A 2-second recording, arrived in the editor.
    void arriveInEditor() {
        click(QStringLiteral("Record System Audio"));
        QTRY_COMPARE(view_->stageIndex(), 1);
        script_->deliver(2.0, 0.5f);
        click(QStringLiteral("Stop Recording"));
        QTRY_COMPARE(view_->stageIndex(), 3);
    }

    void saveTo(const std::optional<QString>& path) {
        view_->setSaveDestinationProvider([this, path](const QString& suggestedFileName) {
            suggestedNames_.append(suggestedFileName);
            return path ? std::optional(QUrl::fromLocalFile(*path)) : std::nullopt;
        });
    }

    TrimView* trimView() const { return view_->findChild<TrimView*>(); }

    static QByteArray contents(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        // Recordings go to the temporary folder and are never deleted by the app; keep the
        // test's own in a folder that goes with it.
        qputenv("TMPDIR", QFile::encodeName(folder_.path()));
    }

    void init() {
        script_ = std::make_shared<ScriptedCaptureService::Script>();
        view_ = std::make_unique<ContentView>(std::make_unique<SystemAudioRecorder>(
            std::make_unique<ScriptedCaptureService>(script_)));
        view_->show();
        QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
        suggestedNames_.clear();
    }

    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                box->reject();
            }
        }
        // Let a running export finish before its view goes.
        QTRY_VERIFY(!view_->isExporting());
        view_.reset();
    }

    void cancelledDialogChangesNothing() {
        arriveInEditor();
        saveTo(std::nullopt);
        click(QStringLiteral("Save Trimmed Audio…"));
        QCOMPARE(suggestedNames_, QStringList{view_->defaultFileName() + QStringLiteral(".m4a")});
        QVERIFY(!view_->isExporting());
        QCOMPARE(view_->stageIndex(), 3);
        QVERIFY(!view_->exportError());
        QCOMPARE(WidgetFinder::openAlertCount(), 0);
        QVERIFY(visibleButton(view_.get(), QStringLiteral("Save Trimmed Audio…"))->isEnabled());
    }

    void savesTheSelectionAsItIsWhenTheExportStarts() {
        arriveInEditor();
        QVERIFY(trimView());
        trimView()->setRange({0.5, 1.5});
        QCOMPARE(view_->trimRange(), (TimeRange{0.5, 1.5}));
        const QString destination = folder_.filePath(QStringLiteral("selection.m4a"));
        QFile::remove(destination);
        // The selection changes while the dialog is up; the export takes the newer one.
        view_->setSaveDestinationProvider([&](const QString&) {
            trimView()->setRange({0.25, 1.0});
            return std::optional(QUrl::fromLocalFile(destination));
        });
        click(QStringLiteral("Save Trimmed Audio…"));
        QVERIFY(view_->isExporting());
        // While it runs the button shows a spinner and can't be pressed again.
        QVERIFY(!visibleButton(view_.get(), QStringLiteral("Save Trimmed Audio…")));
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        QVERIFY(!view_->exportError());
        QVERIFY(visibleButton(view_.get(), QStringLiteral("Save Trimmed Audio…"))->isEnabled());

        const auto probe = MediaProbe::of(destination);
        QVERIFY(probe);
        QCOMPARE(probe->codecName, QStringLiteral("aac"));
        QVERIFY2(std::abs(probe->durationSeconds - 0.75) < 0.05,
                 qPrintable(QString::number(probe->durationSeconds)));
        QCOMPARE(view_->stageIndex(), 3);
    }

    void failedSaveTellsWhyAndKeepsTheOldFile() {
        arriveInEditor();
        const QString destination = folder_.filePath(QStringLiteral("keep.m4a"));
        {
            QFile old(destination);
            QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
            old.write("the user's earlier clip");
        }
        // The recording is gone by the time the user saves.
        QVERIFY(QFile::remove(view_->recorder().lastRecordingURL()->toLocalFile()));
        saveTo(destination);
        click(QStringLiteral("Save Trimmed Audio…"));
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        QVERIFY(view_->exportError());
        QTRY_VERIFY(openAlert(QStringLiteral("Couldn't save")));
        QMessageBox* alert = openAlert(QStringLiteral("Couldn't save"));
        QCOMPARE(alert->informativeText(), *view_->exportError());
        QVERIFY(!alert->informativeText().isEmpty());
        QCOMPARE(contents(destination), QByteArray("the user's earlier clip"));
        QCOMPARE(view_->stageIndex(), 3);

        QTest::mouseClick(alertButton(alert, QStringLiteral("OK")), Qt::LeftButton);
        QTRY_VERIFY(!openAlert(QStringLiteral("Couldn't save")));
        QVERIFY(!view_->exportError());
    }

    void newRecordingDuringAnExport() {
        arriveInEditor();
        const QString destination = folder_.filePath(QStringLiteral("while-leaving.m4a"));
        QFile::remove(destination);
        saveTo(destination);
        click(QStringLiteral("Save Trimmed Audio…"));
        // The export can't have reported back yet: its answer needs the event loop.
        QVERIFY(view_->isExporting());
        click(QStringLiteral("New Recording"));
        QCOMPARE(view_->stageIndex(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        QVERIFY(!view_->exportError());
        QVERIFY(MediaProbe::of(destination));
    }

    void failureAfterLeavingTheEditorStillAlerts() {
        arriveInEditor();
        QVERIFY(QFile::remove(view_->recorder().lastRecordingURL()->toLocalFile()));
        saveTo(folder_.filePath(QStringLiteral("never.m4a")));
        click(QStringLiteral("Save Trimmed Audio…"));
        click(QStringLiteral("New Recording"));
        QTRY_VERIFY(openAlert(QStringLiteral("Couldn't save")));
        QCOMPARE(view_->stageIndex(), 0);
        QVERIFY(!view_->isExporting());
        QVERIFY(!QFile::exists(folder_.filePath(QStringLiteral("never.m4a"))));
    }

    void saveDialogOffersTheSuggestedNameAndAddsTheSuffix() {
        arriveInEditor();
        const QString typed = folder_.filePath(QStringLiteral("typed-without-suffix"));
        QFile::remove(typed + QStringLiteral(".m4a"));
        QString presetName;
        QStringList filters;
        // The real dialog, answered the way a user would: a name typed without ".m4a".
        QTimer::singleShot(100, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            presetName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            filters = dialog->nameFilters();
            dialog->setDirectory(folder_.path());
            auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(nameField);
            nameField->setText(QFileInfo(typed).fileName());
            QMetaObject::invokeMethod(dialog, "accept");
        });
        click(QStringLiteral("Save Trimmed Audio…"));
        QCOMPARE(presetName, view_->defaultFileName() + QStringLiteral(".m4a"));
        QCOMPARE(filters, QStringList{QStringLiteral("MPEG-4 audio (*.m4a)")});
        QTRY_VERIFY_WITH_TIMEOUT(!view_->isExporting(), 20000);
        QVERIFY(!view_->exportError());
        QVERIFY(MediaProbe::of(typed + QStringLiteral(".m4a")));
    }

    void savedNamesAlwaysEndInTheAudioSuffix() {
        QCOMPARE(SaveDestinationDialog::withAudioSuffix(QStringLiteral("/music/clip")),
                 QStringLiteral("/music/clip.m4a"));
        QCOMPARE(SaveDestinationDialog::withAudioSuffix(QStringLiteral("/music/clip.M4A")),
                 QStringLiteral("/music/clip.M4A"));
        // Whatever else was typed, the file holds MPEG-4 audio and says so.
        QCOMPARE(SaveDestinationDialog::withAudioSuffix(QStringLiteral("/music/clip.mp3")),
                 QStringLiteral("/music/clip.mp3.m4a"));
    }

    void keyboardSavesOnlyWhenSomethingCanBeSaved() {
        saveTo(std::nullopt);
        QTest::keyClick(view_.get(), Qt::Key_S, Qt::ControlModifier);
        QVERIFY(suggestedNames_.isEmpty()); // nothing recorded yet
        arriveInEditor();
        QTest::keyClick(view_.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(suggestedNames_.size(), 1);
    }
};

QTEST_MAIN(SaveFlowTest)
#include "SaveFlowTest.moc"
