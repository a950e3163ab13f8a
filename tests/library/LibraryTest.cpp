#include "DetailPeaksFile.h"
#include "KilledRecording.h"
#include "RecordingLibrary.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"
#include "RecordingNotes.h"
#include "RecordingsFolder.h"

#include <QTextDocument>
#include <QtTest>
#include <QtWidgets>
#include <sndfile.h>
#include <sys/stat.h>

namespace {

// A recording as the recorder finishes it: 48 kHz stereo float CAF.
QString writeRecording(const QString& folder, const QString& name, double seconds) {
    const QString path = folder + '/' + name;
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_CAF | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const auto frames = qint64(seconds * 48000);
    const std::vector<float> samples(size_t(frames) * 2, 0.5f);
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    return path;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

mode_t modeOf(const QString& path) {
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777 : 0;
}

// Answers the next modal dialog of this type with `answer` once it is up.
template <typename Dialog> void answerNext(const std::function<void(Dialog*)>& answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            answer(dialog);
        }
    });
    poll->start(20);
}

// The widget, with the keyboard focus back on it after a dialog closed.
QWidget* focused(QWidget* widget) {
    widget->activateWindow();
    widget->setFocus();
    // Without focus the key goes nowhere, and the check after it says so.
    static_cast<void>(QTest::qWaitFor([widget] { return widget->hasFocus(); }));
    return widget;
}

void press(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    QFAIL(qPrintable("no button " + text));
}

} // namespace

class LibraryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> home_;
    QString folder_;

private slots:
    void init() {
        home_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_->filePath("data")));
        const Result<QString> folder = RecordingsFolder::ensure();
        QVERIFY2(folder, qPrintable(folder ? QString() : folder.failure().message()));
        folder_ = *folder;
    }

    void folderIsTheUsersOwnAndPrivate() {
        QCOMPARE(folder_, home_->filePath("data/Sonabrix/Recordings"));
        QCOMPARE(modeOf(folder_), mode_t(0700));
        QCOMPARE(modeOf(home_->filePath("data/Sonabrix")), mode_t(0700));
        QCOMPARE(RecordingsFolder::ensure().value(), folder_); // again: kept as it is

        // Something in the way is reported with its path and reason, never ignored.
        writeFile(home_->filePath("file"), "not a folder");
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_->filePath("file")));
        const Result<QString> blocked = RecordingsFolder::ensure();
        QVERIFY(!blocked);
        QCOMPARE(blocked.failure().message(),
                 home_->filePath("file") + "/Sonabrix: " + qt_error_string(ENOTDIR));
    }

    // Finished, killed, unreadable and foreign files side by side: the recorder's files are
    // listed newest first, each with what its header says, and nothing else is.
    void listShowsEachRecordingAsItIs() {
        const QString finished = writeRecording(folder_, "Sonabrix-finished.caf", 1.5);
        QVERIFY(RecordingLibrary::markFinished(finished));
        QTest::qWait(20);
        const QString killed = KilledRecording::make(folder_, 2.0);
        QVERIFY(!killed.isEmpty());
        QTest::qWait(20);
        const QString unreadable = folder_ + "/Sonabrix-unreadable.caf";
        writeFile(unreadable, QByteArray(5000, 'x'));
        writeFile(folder_ + "/notes.txt", "someone else's");
        writeRecording(folder_, "clip.caf", 0.5);
        writeRecording(folder_, "Sonabrix-other.wav", 0.5);
        QVERIFY(QDir(folder_).mkdir("Sonabrix-folder.caf"));
        writeFile(RecordingNotes::pathFor(unreadable), "{ not json");

        RecordingListModel model;
        model.reload(folder_);
        QCOMPARE(model.rowCount(), 3);
        const auto at = [&](int row, int role) { return model.index(row).data(role); };
        QCOMPARE(at(0, RecordingListModel::PathRole).toString(), unreadable);
        QCOMPARE(at(1, RecordingListModel::PathRole).toString(), killed);
        QCOMPARE(at(2, RecordingListModel::PathRole).toString(), finished);

        QVERIFY(!at(0, RecordingListModel::DurationRole).isValid());
        QVERIFY(at(0, RecordingListModel::DetailsRole).toString().contains("Can't be read"));
        QCOMPARE(at(1, RecordingListModel::DurationRole).toDouble(), 2.0);
        QVERIFY(at(1, RecordingListModel::InterruptedRole).toBool());
        QVERIFY(at(1, RecordingListModel::DetailsRole).toString().contains("Interrupted"));
        QCOMPARE(at(2, RecordingListModel::DurationRole).toDouble(), 1.5);
        QVERIFY(!at(2, RecordingListModel::InterruptedRole).toBool());
        QVERIFY(at(2, RecordingListModel::DetailsRole).toString().startsWith("0:01.5 · "));
        QVERIFY(at(2, RecordingListModel::DetailsRole)
                    .toString()
                    .endsWith(" · " +
                              RecordingListModel::sizeText(QFileInfo(finished).size(), QLocale())));
        QCOMPARE(model.totalBytes(), QFileInfo(finished).size() + QFileInfo(killed).size() + 5000);

        // Announcing an interrupted recording keeps its mark; only the announcement is new.
        QVERIFY(!RecordingLibrary::scan(folder_)[1].hasNotes);
        QVERIFY(RecordingLibrary::markAnnounced(killed));
        QVERIFY(RecordingLibrary::scan(folder_)[1].hasNotes);
        model.refresh(killed);
        QVERIFY(at(1, RecordingListModel::InterruptedRole).toBool());
        QVERIFY(RecordingLibrary::scan(home_->filePath("nowhere")).isEmpty());
    }

    // A recording saved from what the replay kept began minutes before its file was made: the
    // list shows and sorts it by when its sound began, and a later rename keeps that date.
    void aRecordingIsListedFromWhenItsSoundBegan() {
        const QString older = writeRecording(folder_, "Sonabrix-older.caf", 0.5);
        QVERIFY(RecordingLibrary::markFinished(older));
        QTest::qWait(20);
        const QString kept = writeRecording(folder_, "Sonabrix-kept.caf", 0.5);
        const QDateTime began = QDateTime::currentDateTimeUtc().addSecs(-300).addMSecs(-123);
        QVERIFY(RecordingLibrary::markFinished(kept, began));
        QVERIFY(RecordingLibrary::rename(kept, "Kept"));

        const QList<Recording> listed = RecordingLibrary::scan(folder_);
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed[0].path, older);
        QCOMPARE(listed[1].path, kept);
        QCOMPARE(listed[1].date, began);
        QCOMPARE(RecordingNotes::load(kept)->title, "Kept");
        // Finishing again without a date leaves the one it has.
        QVERIFY(RecordingLibrary::markFinished(kept));
        QCOMPARE(RecordingLibrary::scan(folder_)[1].date, began);
    }

    // Lengths as the editor shows them, one date format with seconds in every language, and
    // sizes in the desktop's units.
    void theListsFormatsMatchTheEditorAndTheDesktop() {
        QCOMPARE(RecordingListModel::durationText(8.6), QString("0:08.6"));
        QCOMPARE(RecordingListModel::durationText(59.99), QString("0:59.9"));
        QCOMPARE(RecordingListModel::durationText(3723.45), QString("1:02:03.4"));
        QCOMPARE(RecordingListModel::durationText(-1.0), QString("0:00.0"));

        const QDateTime date(QDate(2026, 12, 8), QTime(0, 57, 32));
        for (const char* name : {"en_GB", "de_DE", "en_US"}) {
            const QString shown = RecordingListModel::dateText(date, QLocale(name));
            QVERIFY2(shown.contains(":32") && shown.contains("57") && shown.contains("26"),
                     qPrintable(shown));
            QVERIFY2(!shown.contains("December") && !shown.contains("Tuesday"), qPrintable(shown));
        }

        const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
        qputenv("XDG_CURRENT_DESKTOP", "GNOME");
        QCOMPARE(RecordingListModel::sizeText(1'034'967, QLocale("en_US")), QString("1.0 MB"));
        QCOMPARE(RecordingListModel::sizeText(1'034'967, QLocale("de_DE")), QString("1,0 MB"));
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        QCOMPARE(RecordingListModel::sizeText(1'034'967, QLocale("en_US")), QString("1,010.7 KiB"));
        qputenv("XDG_CURRENT_DESKTOP", desktop);
    }

    // A file's name that looks like markup is shown as written, in the list's tooltip too.
    void aMarkedUpNameIsShownAsWritten() {
        const QString marked = writeRecording(folder_, "Sonabrix-<b>bold<i>.caf", 0.5);
        QVERIFY(RecordingLibrary::markFinished(marked));
        RecordingListModel model;
        model.reload(folder_);
        QCOMPARE(model.rowCount(), 1);
        const QString tip = model.index(0).data(Qt::ToolTipRole).toString();
        // As QToolTip reads it.
        QTextDocument shown;
        if (Qt::mightBeRichText(tip))
            shown.setHtml(tip);
        else
            shown.setPlainText(tip);
        QCOMPARE(shown.toPlainText(), marked);
    }

    void notesKeepTitleAndSelectionBesideAnUnchangedFile() {
        const QString path = writeRecording(folder_, "Sonabrix-a.caf", 1.0);
        const QByteArray audio = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        QVERIFY(RecordingLibrary::markFinished(path));
        QVERIFY(RecordingLibrary::rename(path, "  Interview  "));
        QVERIFY(RecordingLibrary::rememberSelection(path, {0.25, 0.75}));
        const auto notes = RecordingNotes::load(path);
        QVERIFY(notes);
        QCOMPARE(notes->title, QString("Interview"));
        QCOMPARE(notes->selection, std::optional(TimeRange{0.25, 0.75}));
        QVERIFY(!notes->interrupted);
        QCOMPARE(modeOf(RecordingNotes::pathFor(path)), mode_t(0600));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), audio);
        QCOMPARE(QDir(folder_).entryList(QDir::Files), QStringList{"Sonabrix-a.caf"});

        RecordingListModel model;
        model.reload(folder_);
        QCOMPARE(model.index(0).data().toString(), QString("Interview"));

        // Notes that make no sense are no notes.
        writeFile(RecordingNotes::pathFor(path), R"({"selectionStart": 2, "selectionEnd": 1})");
        QCOMPARE(RecordingNotes::load(path)->selection, std::nullopt);
        writeFile(RecordingNotes::pathFor(path), QByteArray(100000, '{'));
        QVERIFY(!RecordingNotes::load(path));
    }

    // Notes are never written through a link in their place, and a title of any length is
    // saved as one that loads again.
    void notesAreWrittenOnlyAsOurOwnFile() {
        const QString path = writeRecording(folder_, "Sonabrix-a.caf", 1.0);
        const QString outside = home_->filePath("outside.json");
        writeFile(outside, "someone else's");
        QVERIFY(QFile::link(outside, RecordingNotes::pathFor(path)));
        QVERIFY(RecordingLibrary::rename(path, "Talk"));
        QCOMPARE(readFile(outside), QByteArray("someone else's"));
        QVERIFY(!QFileInfo(RecordingNotes::pathFor(path)).isSymLink());
        QCOMPARE(RecordingNotes::load(path)->title, QString("Talk"));

        const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5"); // two UTF-16 units
        const QString huge = emoji.repeated(40000);
        QVERIFY(RecordingLibrary::rename(path, huge));
        const auto notes = RecordingNotes::load(path);
        QVERIFY(notes);
        QCOMPARE(notes->title, emoji.repeated(RecordingNotes::longestTitle / 2));
        QVERIFY(!notes->interrupted);
        QVERIFY(RecordingLibrary::rename(path, "x" + huge)); // never half an emoji
        QCOMPARE(RecordingNotes::load(path)->title,
                 "x" + emoji.repeated(RecordingNotes::longestTitle / 2 - 1));
    }

    // A trash that isn't a folder takes nothing: the recording and its notes stay, nothing
    // lands in the current folder, and the reason names the trash.
    void aBrokenTrashKeepsTheRecording() {
        const QString path = writeRecording(folder_, "Sonabrix-kept.caf", 1.0);
        QVERIFY(RecordingLibrary::markFinished(path));
        writeFile(home_->filePath("data/Trash"), "not a folder");
        const QString current = QDir::currentPath();
        QVERIFY(QDir(home_->path()).mkdir("current"));
        QVERIFY(QDir::setCurrent(home_->filePath("current")));
        const std::optional<Failure> failure = RecordingLibrary::moveToTrash(path);
        QVERIFY(QDir::setCurrent(current));
        QVERIFY(failure);
        QCOMPARE(failure->message(),
                 "the trash “" + home_->filePath("data/Trash") + "” isn't a folder.");
        QVERIFY(QFile::exists(path) && QFile::exists(RecordingNotes::pathFor(path)));
        QVERIFY(QDir(home_->filePath("current"))
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    // The list view as the user drives it: Enter opens, F2 renames, Delete asks and then
    // moves the recording, its notes and its peaks to the trash, where they can be restored
    // from.
    void listViewOpensRenamesAndTrashes() {
        const QString older = writeRecording(folder_, "Sonabrix-older.caf", 1.0);
        QTest::qWait(20);
        const QString newer = writeRecording(folder_, "Sonabrix-newer.caf", 3.0);
        for (const QString& path : {older, newer}) {
            QVERIFY(RecordingLibrary::markFinished(path));
        }
        QVERIFY((DetailPeaksFile{48000, 48000, std::vector<float>(47, 0.5f)}.save(older)));
        // Left by a recording of the name to come, deleted by hand: not this recording's.
        writeFile(DetailPeaksFile::pathFor(folder_ + "/Sonabrix-Lecture.caf"), "stale");
        const QByteArray peaks = readFile(DetailPeaksFile::pathFor(older));
        RecordingListModel model;
        model.reload(folder_);
        RecordingListView view(&model);
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.selectedPath(), QString());
        QVERIFY(!view.findChild<QPushButton*>()->isEnabled());

        QSignalSpy opened(&view, &RecordingListView::openRequested);
        view.select(older);
        QTest::keyClick(focused(view.listView()), Qt::Key_Return);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0][0].toString(), older);

        int enteredLength = 0;
        answerNext<QInputDialog>([&](QInputDialog* dialog) {
            dialog->setTextValue(QString(40000, 'a')); // refused beyond what can be saved
            enteredLength = int(dialog->textValue().size());
            dialog->setTextValue("Lecture");
            dialog->accept();
        });
        QSignalSpy renamed(&view, &RecordingListView::recordingRenamed);
        QTest::keyClick(focused(view.listView()), Qt::Key_F2);
        QCOMPARE(enteredLength, RecordingNotes::longestTitle);
        // The file goes by its title too, with its notes, and stays selected.
        const QString lecture = folder_ + "/Sonabrix-Lecture.caf";
        QCOMPARE(view.selectedPath(), lecture);
        QVERIFY(!QFile::exists(older) && QFile::exists(RecordingNotes::pathFor(lecture)));
        QVERIFY(!QFile::exists(DetailPeaksFile::pathFor(older)));
        QCOMPARE(readFile(DetailPeaksFile::pathFor(lecture)), peaks);
        QCOMPARE(renamed.size(), 1);
        QCOMPARE(renamed[0][1].toString(), lecture);
        QCOMPARE(model.index(model.rowOf(lecture)).data().toString(), QString("Lecture"));
        QCOMPARE(model.index(model.rowOf(lecture)).data(RecordingListModel::DurationRole),
                 QVariant(1.0));

        // The question wears the application's icon and a bold heading, as its other
        // questions do.
        QPixmap appIcon(64, 64);
        appIcon.fill(QColor(200, 40, 120));
        QGuiApplication::setWindowIcon(QIcon(appIcon));
        for (const QString answer : {"Cancel", "Move to Trash"}) {
            QString asked;
            QImage icon;
            QFont heading;
            answerNext<QMessageBox>([&](QMessageBox* box) {
                asked = box->text();
                icon = box->iconPixmap().toImage();
                heading = box->findChild<QLabel*>("qt_msgbox_label")->font();
                press(box, answer);
            });
            QTest::keyClick(focused(view.listView()), Qt::Key_Delete);
            QCOMPARE(asked, QString("Move “Lecture” to the trash?"));
            QVERIFY2(heading.bold(), qPrintable(QString::number(heading.weight())));
            QVERIFY(!icon.isNull());
            QCOMPARE(icon.pixelColor(icon.width() / 2, icon.height() / 2), QColor(200, 40, 120));
            QCOMPARE(QFile::exists(lecture), answer == "Cancel");
        }
        QVERIFY(!QFile::exists(lecture) && !QFile::exists(RecordingNotes::pathFor(lecture)));
        QVERIFY(!QFile::exists(DetailPeaksFile::pathFor(lecture)));
        QCOMPARE(model.rowCount(), 1);
        const QString trash = home_->filePath("data/Trash/files");
        const QStringList trashed = QDir(trash).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(trashed.contains("Sonabrix-Lecture.caf"));
        QVERIFY(trashed.contains(".Sonabrix-Lecture.caf.peaks"));
    }

    // A title becomes a file name safely: separators, a leading dot and control characters
    // replaced, a taken name numbered, an empty title leaving the name as it is.
    void aFileIsNamedAfterItsTitleSafely() {
        const QString first = writeRecording(folder_, "Sonabrix-a.caf", 0.5);
        const QString second = writeRecording(folder_, "Sonabrix-b.caf", 0.5);
        QVERIFY(RecordingLibrary::markFinished(first));
        const QString named = RecordingLibrary::nameFileAfterTitle(first, "..Talk\t1/2 ");
        QCOMPARE(named, folder_ + "/Sonabrix-Talk-1-2.caf");
        QVERIFY(QFile::exists(RecordingNotes::pathFor(named)));
        QCOMPARE(RecordingLibrary::nameFileAfterTitle(second, "Talk\t1/2"),
                 folder_ + "/Sonabrix-Talk-1-2 (2).caf");
        QCOMPARE(RecordingLibrary::nameFileAfterTitle(named, "  "), named);
        QCOMPARE(RecordingLibrary::nameFileAfterTitle(named, "..Talk\t1/2 "), named);
        QCOMPARE(RecordingLibrary::scan(folder_).size(), 2);
    }
};

int main(int argc, char** argv) {
    KilledRecording::runIfAsked(argc, argv);
    QApplication app(argc, argv);
    LibraryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LibraryTest.moc"
