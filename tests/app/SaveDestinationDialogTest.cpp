#include "SaveDestinationDialog.h"

#include <QtTest>
#include <QtWidgets>
#include <functional>

// The real save dialog (Qt's own, offscreen), driven as a user would: the file-type list, the
// name it suggests, and the format it remembers in settings kept in a scratch folder.
class SaveDestinationDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir config_;
    QTemporaryDir folder_;

    // Runs `steps` on the dialog once it is open, and returns what ask() gave.
    std::optional<QUrl> askWith(std::function<void(QFileDialog&)> steps) {
        QTimer poll;
        poll.callOnTimeout([&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                poll.stop();
                steps(*dialog);
            }
        });
        poll.start(10);
        return SaveDestinationDialog::ask(nullptr, "Recording 2024-03-05 14-07-09.m4a");
    }

    // Types the name and presses Return, as a user saves.
    static void type(QFileDialog& dialog, const QString& name) {
        auto* field = dialog.findChild<QLineEdit*>("fileNameEdit");
        field->setText(name);
        QTest::keyClick(field, Qt::Key_Return);
    }

    static QString nameField(QFileDialog& dialog) {
        return dialog.findChild<QLineEdit*>("fileNameEdit")->text();
    }

private slots:
    void initTestCase() {
        QVERIFY(config_.isValid() && folder_.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
        QCoreApplication::setOrganizationDomain("sonabrix.app");
        QCoreApplication::setApplicationName("Sonabrix");
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    }

    void offersTheFiveFormatsAndRemembersTheLastOne() {
        QStringList filters;
        QString suggested, selectedFilter;
        const QString typed = folder_.filePath("clip");
        const std::optional<QUrl> chosen = askWith([&](QFileDialog& dialog) {
            filters = dialog.nameFilters();
            selectedFilter = dialog.selectedNameFilter();
            suggested = nameField(dialog);
            auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
            types->setFocus();
            QTest::keyClick(types, Qt::Key_Down); // MP3, as a user picks it
            type(dialog, typed);
        });
        QCOMPARE(filters, (QStringList{"MPEG-4 audio (*.m4a)", "MP3 audio (*.mp3)",
                                       "Ogg Opus audio (*.opus)", "FLAC audio (lossless) (*.flac)",
                                       "WAV audio (lossless) (*.wav)"}));
        QCOMPARE(selectedFilter, filters.first());
        QCOMPARE(suggested, QStringLiteral("Recording 2024-03-05 14-07-09.m4a"));
        QCOMPARE(chosen, std::optional(QUrl::fromLocalFile(typed + ".mp3")));

        // Next time MP3 is the default, in the list and in the suggested name.
        askWith([&](QFileDialog& dialog) {
            selectedFilter = dialog.selectedNameFilter();
            suggested = nameField(dialog);
            dialog.reject();
        });
        QCOMPARE(selectedFilter, QStringLiteral("MP3 audio (*.mp3)"));
        QCOMPARE(suggested, QStringLiteral("Recording 2024-03-05 14-07-09.mp3"));
        QCOMPARE(SaveDestinationDialog::lastFormat(), ExportFormat::mp3);
        QVERIFY(QFileInfo::exists(config_.filePath("sonabrix.app/Sonabrix.conf")));
    }

    // A name typed with another format's extension keeps it and makes that format the last.
    void theTypedExtensionWins() {
        const QString typed = folder_.filePath("master.FLAC");
        const std::optional<QUrl> chosen =
            askWith([&](QFileDialog& dialog) { type(dialog, typed); });
        QCOMPARE(chosen, std::optional(QUrl::fromLocalFile(typed)));
        QCOMPARE(SaveDestinationDialog::lastFormat(), ExportFormat::flac);
    }

    // Each open file dialog gets the next of `names` typed (an empty one cancels); each
    // question is answered with the next of `answers`, its heading noted in `asked`.
    std::optional<QUrl> converse(QStringList names, QStringList answers, QStringList& asked,
                                 int& chooserOpenings) {
        QTimer poll;
        QPointer<QWidget> handled;
        poll.callOnTimeout([&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == handled) {
                return;
            }
            handled = modal;
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                ++chooserOpenings;
                const QString name = names.isEmpty() ? QString() : names.takeFirst();
                if (name.isEmpty()) {
                    dialog->reject();
                } else {
                    type(*dialog, name);
                }
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked << box->text();
                const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == answer) {
                        button->click();
                    }
                }
            }
        });
        poll.start(10);
        return SaveDestinationDialog::ask(nullptr, "Recording 2024-03-05 14-07-09.m4a");
    }

    // Cancel in "Replace file?" goes back to the chooser rather than out of the save.
    void cancellingTheReplaceQuestionGoesBackToTheChooser() {
        const QString existing = folder_.filePath("kept.flac");
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QStringList asked;
        int openings = 0;
        const std::optional<QUrl> chosen =
            converse({existing, folder_.filePath("other.flac")}, {"Cancel"}, asked, openings);
        QCOMPARE(asked, QStringList{"Replace file?"});
        QCOMPARE(openings, 2);
        QCOMPARE(chosen, std::optional(QUrl::fromLocalFile(folder_.filePath("other.flac"))));
    }

    // A name ending in an audio extension Sonabrix doesn't write is asked about, never
    // silently given a second extension.
    void anotherAudioExtensionIsAskedAbout() {
        QStringList asked;
        int openings = 0;
        std::optional<QUrl> chosen =
            converse({folder_.filePath("Walk odd.ogg")}, {"Save as “.flac”"}, asked, openings);
        QCOMPARE(asked, QStringList{"Save as FLAC audio (lossless)?"});
        QCOMPARE(chosen, std::optional(QUrl::fromLocalFile(folder_.filePath("Walk odd.flac"))));

        // "Choose Again" goes back to the chooser; cancelling there ends the save.
        asked.clear();
        openings = 0;
        chosen = converse({folder_.filePath("Walk odd.aiff"), QString()}, {"Choose Again"}, asked,
                          openings);
        QCOMPARE(asked, QStringList{"Save as FLAC audio (lossless)?"});
        QCOMPARE(openings, 2);
        QCOMPARE(chosen, std::nullopt);
        // A name with a dot that isn't audio keeps it, with the format's extension added.
        QCOMPARE(SaveDestinationDialog::withAudioSuffix("/tmp/Talk v1.2", ExportFormat::wav),
                 QString("/tmp/Talk v1.2.wav"));
    }

    // Below the file type: the loudness and the fades, chosen by keyboard, kept only by a save.
    void offersLoudnessAndFadesAndRemembersThem() {
        QStringList choices;
        QString shown;
        bool faded = true;
        const auto read = [&](QFileDialog& dialog) {
            auto* loudness = dialog.findChild<QComboBox*>("loudnessCombo");
            choices.clear();
            for (int i = 0; i < loudness->count(); ++i)
                choices << loudness->itemText(i);
            shown = loudness->currentText();
            faded = dialog.findChild<QCheckBox*>("fadeCheck")->isChecked();
        };
        askWith([&](QFileDialog& dialog) {
            read(dialog);
            auto* loudness = dialog.findChild<QComboBox*>("loudnessCombo");
            loudness->setFocus();
            QTest::keyClick(loudness, Qt::Key_Down);
            auto* fade = dialog.findChild<QCheckBox*>("fadeCheck");
            fade->setFocus();
            QTest::keyClick(fade, Qt::Key_Space);
            type(dialog, folder_.filePath("podcast"));
        });
        QCOMPARE(choices, (QStringList{"As recorded", "Podcast (−16 LUFS)", "Streaming (−14 LUFS)",
                                       "Broadcast (−23 LUFS)"}));
        QCOMPARE(shown, QStringLiteral("As recorded"));
        QVERIFY(!faded);
        QCOMPARE(SaveDestinationDialog::lastOptions().loudnessTargetLufs, std::optional(-16.0));
        QCOMPARE(SaveDestinationDialog::lastOptions().fadeSeconds, 0.010);

        askWith([&](QFileDialog& dialog) {
            read(dialog);
            dialog.findChild<QComboBox*>("loudnessCombo")->setCurrentIndex(3);
            dialog.findChild<QCheckBox*>("fadeCheck")->setChecked(false);
            dialog.reject();
        });
        QCOMPARE(shown, QStringLiteral("Podcast (−16 LUFS)"));
        QVERIFY(faded);
        QCOMPARE(SaveDestinationDialog::lastOptions().loudnessTargetLufs, std::optional(-16.0));
        QCOMPARE(SaveDestinationDialog::lastOptions().fadeSeconds, 0.010);
    }
};

QTEST_MAIN(SaveDestinationDialogTest)
#include "SaveDestinationDialogTest.moc"
