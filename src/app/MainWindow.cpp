#include "MainWindow.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "BuildConfig.h"
#include "ContentView.h"
#include "Logging.h"
#include "MessageAlert.h"
#include "ReplayActions.h"
#include "ReplayTray.h"
#include "SaveFlow.h"
#include "StatusNote.h"
#include "SystemAudioRecorder.h"
#if SONABRIX_UPDATER
#include "Updater.h"
#include "UpdaterController.h"
#endif

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

namespace {

// The window's size and place live in the app's one settings file, beside its other choices.
// Versions before kept them in a file of their own; what is found there is taken over once.
QVariant windowSetting(const QString& key) {
    QSettings settings;
    if (!settings.contains(key)) {
        const QSettings earlier(QSettings::NativeFormat, QSettings::UserScope,
                                QStringLiteral("Sonabrix"), QStringLiteral("Sonabrix"));
        if (earlier.contains(key))
            settings.setValue(key, earlier.value(key));
    }
    return settings.value(key);
}

// Wayland leaves a window's place to the compositor; only its size is ours to keep.
bool platformPlacesWindows() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QString keysOf(const QAction* action) {
    return action->shortcut().toString(QKeySequence::NativeText);
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent)
    : QMainWindow(parent),
      contentView_(recorder ? new ContentView(std::move(recorder), this) : new ContentView(this)) {
    setCentralWidget(contentView_);
    setWindowTitle(QStringLiteral("Sonabrix"));
    createMenus();
    // Read first, as it is seen first; the content was made before it.
    menuBar()->lower();
    fitContentUnderMenuBar();
    connect(contentView_, &ContentView::stageChanged, this, &MainWindow::followStage);
    connect(&contentView_->saveFlow(), &SaveFlow::saved, this, &MainWindow::confirmSave);
    connect(&contentView_->saveFlow(), &SaveFlow::isExportingChanged, this, [this](bool exporting) {
        if (!exporting && closesAfterSave_) {
            closeAfterSave();
        }
    });
    SystemAudioRecorder& recording = contentView_->recorder();
    connect(&recording, &SystemAudioRecorder::elapsedTimeChanged, this,
            &MainWindow::showStateInTitle);
    connect(&recording, &SystemAudioRecorder::isPausedChanged, this, &MainWindow::showStateInTitle);
    ensureReplayTray();
    connect(&recording, &SystemAudioRecorder::replayMinutesChanged, this,
            &MainWindow::followReplay);
    connect(&contentView_->flow(), &AppFlow::replaySaved, this,
            [this](const QString&, double seconds, bool opened, const std::optional<QString>&) {
                tellReplaySaved(seconds, opened);
            });
    // A save that failed in the background is told in the window, which comes up for it.
    connect(&contentView_->flow(), &AppFlow::replayNotSaved, this, [this] {
        if (inBackground_)
            bringToFront();
    });
    followStage(contentView_->stageKind());
    restoreWindowGeometry();
}

void MainWindow::fitContentUnderMenuBar() {
    // The menu bar takes its height, which follows the font, from the window's smallest size;
    // the content gets the rest. Its stages' layouts would ask for more, reckoning their
    // wrapped texts at a narrower width than they ever get; the walk of every stage at this
    // size shows that nothing is cut.
    const int menuHeight = menuBar()->heightForWidth(smallestSize.width());
    contentView_->setMinimumSize(QSize(
        smallestSize.width(),
        smallestSize.height() - (menuHeight > 0 ? menuHeight : menuBar()->sizeHint().height())));
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        fitContentUnderMenuBar();
    }
}

void MainWindow::createMenus() {
    menuBar()->addMenu(createFileMenu());
    menuBar()->addMenu(createHelpMenu());
    // The desktops' key for the menu bar, for those who never touch the mouse.
    auto* openMenus = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(openMenus, &QShortcut::activated, this, &MainWindow::openMenuBar);
}

QMenu* MainWindow::createFileMenu() {
    auto* file = new QMenu(tr("&File"), this);
    file->addAction(contentView_->newRecordingAction());
    file->addAction(contentView_->recordAction());
    file->addAction(contentView_->pauseAction());
    file->addSeparator();
    const ReplayActions* replay = contentView_->replayActions();
    QMenu* keep = file->addMenu(tr("&Keep the Last"));
    keep->addActions(replay->lengthActions());
    file->addAction(replay->saveAction());
    file->addAction(replay->startAfreshAction());
    file->addSeparator();
    file->addAction(contentView_->playAction());
    file->addAction(contentView_->autoTrimAction());
    file->addAction(contentView_->saveAction());
    file->addSeparator();
    file->addAction(contentView_->openRecordingAction());
    file->addAction(contentView_->renameAction());
    file->addAction(contentView_->showInFolderAction());
    file->addAction(contentView_->trashAction());
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"));
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &MainWindow::quit);
    return file;
}

QMenu* MainWindow::createHelpMenu() {
    auto* help = new QMenu(tr("&Help"), this);
    QAction* shortcuts = help->addAction(tr("&Keyboard Shortcuts"));
    shortcuts->setShortcut(helpKey());
    connect(shortcuts, &QAction::triggered, this, &MainWindow::showKeyboardShortcuts);
    help->addSeparator();
    QAction* about = help->addAction(tr("&About Sonabrix"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
#if SONABRIX_UPDATER
    // Without an icon, as the menus' other items.
    QAction* checkForUpdates = help->addAction(tr("Check for &Updates…"));
    checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    connect(checkForUpdates, &QAction::triggered, this,
            [] { UpdaterController::shared().controller().checkForUpdates(); });
#endif
    return help;
}

void MainWindow::openMenuBar() {
    const QList<QAction*> menus = menuBar()->actions();
    if (!menus.isEmpty()) {
        menuBar()->setActiveAction(menus.first());
    }
}

void MainWindow::showAbout() {
    // Built like the other alerts rather than with QMessageBox::about, so its icon has a name.
    QMessageBox box(this);
    box.setWindowTitle(tr("About Sonabrix"));
    box.setText(tr("<h3>Sonabrix %1</h3><p>Record whatever your computer is playing, trim it, "
                   "and save it as an M4A, MP3, Opus, FLAC or WAV file.</p>")
                    .arg(QApplication::applicationVersion()));
    box.setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), devicePixelRatioF()));
    Accessibility::nameAlertIcon(&box);
    box.exec();
}

QList<MainWindow::KeyRow> MainWindow::keyboardShortcuts() const {
    const auto native = [](const QKeySequence& keys) {
        return keys.toString(QKeySequence::NativeText);
    };
    const auto pair = [&](const QKeySequence& first, const QKeySequence& second) {
        return tr("%1 or %2").arg(native(first), native(second));
    };
    return {
        {{}, tr("Recording")},
        {keysOf(contentView_->recordAction()), tr("Start or stop recording")},
        {keysOf(contentView_->pauseAction()), tr("Pause or resume the recording")},
        {keysOf(contentView_->replayActions()->saveAction()),
         tr("Save the last minutes kept as a new recording")},
        {{}, tr("Trimming")},
        {native(ContentView::playKey()), tr("Play or stop the selection")},
        {keysOf(contentView_->autoTrimAction()), tr("Trim the silence at both ends")},
        {pair(Qt::Key_Left, Qt::Key_Right),
         tr("Trim handle: a tenth of a second earlier or later")},
        {pair(Qt::SHIFT | Qt::Key_Left, Qt::SHIFT | Qt::Key_Right),
         tr("Trim handle: a second earlier or later")},
        {pair(Qt::Key_PageUp, Qt::Key_PageDown), tr("Trim handle: five seconds earlier or later")},
        {pair(Qt::Key_Home, Qt::Key_End), tr("Trim handle: to the start or the end")},
        {pair(Qt::CTRL | Qt::Key_Equal, Qt::CTRL | Qt::Key_Minus), tr("Zoom in or out")},
        {native(Qt::CTRL | Qt::Key_0), tr("Show the whole recording")},
        {keysOf(contentView_->saveAction()), tr("Save the trimmed audio")},
        {keysOf(contentView_->newRecordingAction()), tr("Back to the start")},
        {{}, tr("Recordings")},
        {pair(Qt::Key_Return, Qt::Key_Enter), tr("Open the selected recording")},
        {native(ContentView::renameKey()), tr("Rename the selected recording")},
        {native(ContentView::trashKey()), tr("Move the selected recording to the trash")},
        {{}, tr("Everywhere")},
        {pair(Qt::Key_Space, Qt::Key_Return), tr("Press the focused button")},
        {native(Qt::Key_Tab), tr("Next control")},
        {native(Qt::Key_F10), tr("Open the menus")},
        {native(helpKey()), tr("Show these keyboard shortcuts")},
        {native(QKeySequence::Quit), tr("Quit")},
    };
}

void MainWindow::showKeyboardShortcuts() {
    QString table = QStringLiteral("<table cellspacing=\"4\">");
    for (const auto& [keys, meaning] : keyboardShortcuts()) {
        // A row without keys heads the group below it.
        table += keys.isEmpty() ? QStringLiteral("<tr><td colspan=\"2\"><br><b>%1</b></td></tr>")
                                      .arg(meaning.toHtmlEscaped())
                                : QStringLiteral("<tr><td style=\"white-space: nowrap\">%1</td>"
                                                 "<td style=\"white-space: nowrap\">%2</td></tr>")
                                      .arg(keys.toHtmlEscaped(), meaning.toHtmlEscaped());
    }
    table += QStringLiteral("</table>");
    // A dialog of its own rather than an alert: an alert squeezes its text to a fixed share of
    // the screen, where longer languages lost the ends of the descriptions. This one is as
    // wide as its longest row.
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("keyboardShortcuts"));
    dialog.setWindowTitle(tr("Keyboard Shortcuts"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* heading = new QLabel(tr("Keyboard Shortcuts"), &dialog);
    heading->setFont(AppStyle::headlineFont());
    layout->addWidget(heading);
    auto* list = new QLabel(table, &dialog);
    list->setObjectName(QStringLiteral("keyboardShortcutList"));
    list->setTextFormat(Qt::RichText);
    list->setAccessibleName(tr("Keyboard Shortcuts"));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

void MainWindow::showStateInTitle() {
    // The title bar, a taskbar entry and a minimized window's tooltip carry the state and the
    // running time. The accessible name carries the state alone: a screen reader would
    // otherwise read it out every second.
    SystemAudioRecorder& recorder = contentView_->recorder();
    if (shownStage_ != Stage::Kind::recording) {
        // Listening unseen would be a surprise: the title says so while the replay keeps.
        const int replayMinutes = recorder.replayMinutes();
        const QString title =
            replayMinutes > 0 ? tr("Sonabrix — %1").arg(ReplayActions::keepingText(replayMinutes))
                              : QStringLiteral("Sonabrix");
        setWindowTitle(title);
        setAccessibleName(title);
        return;
    }
    const QString elapsed = ContentView::elapsedLabel(recorder.elapsedTime());
    const bool paused = recorder.isPaused();
    setWindowTitle(paused ? tr("Paused %1").arg(elapsed) : tr("Recording %1").arg(elapsed));
    setAccessibleName(paused ? tr("Paused — Sonabrix") : tr("Recording — Sonabrix"));
}

void MainWindow::followStage(Stage::Kind kind) {
    // The window's name carries the state, so the title bar and a screen reader both say it;
    // the note says the change once, as it happens.
    const bool wasRecording = shownStage_ == Stage::Kind::recording;
    const bool recording = kind == Stage::Kind::recording;
    if (recording && !wasRecording) {
        contentView_->statusNote()->announce(tr("Recording started"));
    } else if (wasRecording && !recording) {
        contentView_->statusNote()->announce(tr("Recording stopped"));
    }
    shownStage_ = kind;
    showStateInTitle();
}

void MainWindow::confirmSave() {
    contentView_->statusNote()->announce(tr("Trimmed audio saved"));
}

void MainWindow::restoreWindowGeometry() {
    // The first run keeps the platform's own default size and place.
    const QByteArray geometry = windowSetting(QStringLiteral("window/geometry")).toByteArray();
    if (!platformPlacesWindows() && !geometry.isEmpty() && restoreGeometry(geometry)) {
        return;
    }
    const QSize size = windowSetting(QStringLiteral("window/size")).toSize();
    if (size.isValid()) {
        resize(size.expandedTo(minimumSizeHint()));
    }
}

void MainWindow::saveWindowGeometry() const {
    QSettings settings;
    settings.setValue(QStringLiteral("window/size"), size());
    if (!platformPlacesWindows()) {
        settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The replay keeps listening unseen, a recording or a save under way with it, unless the
    // user stops it here; then the window closes as on Quit.
    if (!quitting_ && contentView_->recorder().replayMinutes() > 0 && !closeToBackground()) {
        event->ignore();
        return;
    }
    if (contentView_->saveFlow().isExporting()) {
        // A window that vanished while the process kept saving would leave the user guessing.
        event->ignore();
        askAboutSave();
        return;
    }
    if (!contentView_->recorder().isRecording() || closesAfterRecording_) {
        saveWindowGeometry();
        QMainWindow::closeEvent(event);
        return;
    }
    QMessageBox question(this);
    // The heading in bold, as in every other alert.
    MessageAlert::style(question, tr("A recording is running"),
                        tr("If you quit now, the recording ends there. It is kept with your "
                           "recordings, to trim and save the next time."));
    question.setWindowTitle(tr("Quit Sonabrix"));
    QPushButton* quit = question.addButton(tr("Quit"), QMessageBox::DestructiveRole);
    QPushButton* keepRecording = question.addButton(tr("Keep Recording"), QMessageBox::RejectRole);
    question.setDefaultButton(keepRecording);
    question.exec();
    event->ignore();
    if (question.clickedButton() == quit) {
        finishRecordingAndClose();
    } else {
        quitting_ = false;
    }
}

void MainWindow::quit() {
    quitting_ = true;
    // A window in the background no longer counts as the last one open; the app ends here.
    if (close() && inBackground_) {
        QCoreApplication::quit();
    }
}

void MainWindow::bringToFront() {
    if (inBackground_) {
        qCInfo(lcApp) << "Back from the background";
    }
    inBackground_ = false;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

bool MainWindow::closeToBackground() {
    // A tray seen at launch may have gone with its panel since, or come up since.
    ensureReplayTray();
    if (replayTray_ && ReplayTray::isAvailable()) {
        goToBackground();
        if (!std::exchange(toldOfBackground_, true)) {
            replayTray_->tell(windowTitle(), tr("Sonabrix keeps running here. Save what it kept, "
                                                "or open its window, from this icon."));
        }
        return false;
    }
    const int minutes = contentView_->recorder().replayMinutes();
    QMessageBox question(this);
    question.setObjectName(QStringLiteral("backgroundQuestion"));
    MessageAlert::style(
        question,
        minutes == 1 ? tr("Keep the last minute after closing?")
                     : tr("Keep the last %1 minutes after closing?").arg(minutes),
        tr("Sonabrix can go on keeping the computer's sound without its window. To come back "
           "to it, start Sonabrix again, from your applications or by running “sonabrix”.\n\n"
           "If you stop, what was kept is dropped and Sonabrix quits."));
    question.setWindowTitle(tr("Close Sonabrix"));
    QPushButton* keep = question.addButton(tr("Keep Running"), QMessageBox::AcceptRole);
    QPushButton* stop = question.addButton(tr("Stop and Quit"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(keep);
    question.setEscapeButton(cancel);
    question.exec();
    if (question.clickedButton() == keep) {
        goToBackground();
    } else if (question.clickedButton() == stop) {
        contentView_->recorder().setReplayMinutes(0);
        quitting_ = true;
        return true;
    }
    return false;
}

void MainWindow::goToBackground() {
    qCInfo(lcApp) << "Window closed; the replay keeps listening in the background";
    saveWindowGeometry();
    inBackground_ = true;
    hide();
}

void MainWindow::ensureReplayTray() {
    if (replayTray_ || !ReplayTray::isAvailable()) {
        return;
    }
    SystemAudioRecorder& recorder = contentView_->recorder();
    replayTray_ = new ReplayTray(recorder, contentView_->replayActions()->saveAction(), this);
    replayTray_->setTitle(windowTitle());
    connect(replayTray_, &ReplayTray::openRequested, this, &MainWindow::bringToFront);
    connect(replayTray_, &ReplayTray::stopRequested, &recorder,
            [&recorder] { recorder.setReplayMinutes(0); });
    connect(this, &QWidget::windowTitleChanged, replayTray_, &ReplayTray::setTitle);
}

void MainWindow::followReplay() {
    // A tray that came up after the app, as a panel started with the session may, is used too.
    ensureReplayTray();
    showStateInTitle();
    // Nothing is left to run for once the replay stops in the background.
    if (inBackground_ && contentView_->recorder().replayMinutes() == 0) {
        qCInfo(lcApp) << "The replay stopped in the background; quitting";
        QMetaObject::invokeMethod(this, &MainWindow::quit, Qt::QueuedConnection);
    }
}

void MainWindow::tellReplaySaved(double seconds, bool opened) {
    if (!inBackground_ || !replayTray_) {
        return;
    }
    const QString length = ContentView::elapsedLabel(std::round(seconds));
    replayTray_->tell(opened ? tr("Saved the last %1 as a new recording").arg(length)
                             : tr("Saved the last %1 to your recordings").arg(length),
                      tr("Click to open Sonabrix."));
}

void MainWindow::finishRecordingAndClose() {
    // Quitting on purpose ends the recording as Stop does: it is finished and kept like any
    // other, not offered as cut short at the next launch.
    qCInfo(lcApp) << "Quitting: the running recording is stopped first";
    closesAfterRecording_ = true;
    // The content view marks the recording finished as it stops; the window goes after that.
    connect(
        &contentView_->recorder(), &SystemAudioRecorder::isRecordingChanged, this,
        [this] { QMetaObject::invokeMethod(this, &MainWindow::close, Qt::QueuedConnection); },
        Qt::SingleShotConnection);
    contentView_->recorder().stop();
    // A sound server that never answers must not keep the window up; the recording is then
    // left as the crash recovery finds it.
    QTimer::singleShot(stopWaitMs, this, [this] {
        if (contentView_->recorder().isRecording()) {
            qCWarning(lcApp) << "The recording didn't stop in time; quitting anyway";
            close();
        }
    });
}

void MainWindow::askAboutSave() {
    QMessageBox question(this);
    MessageAlert::style(question, tr("A save is in progress."),
                        tr("Sonabrix quits when it has finished. If you cancel the save, the "
                           "file you chose stays as it was."));
    question.setWindowTitle(tr("Quit Sonabrix"));
    QPushButton* wait = question.addButton(tr("Wait"), QMessageBox::AcceptRole);
    QPushButton* cancel = question.addButton(tr("Cancel Save"), QMessageBox::DestructiveRole);
    question.setDefaultButton(wait);
    question.setEscapeButton(wait);
    question.exec();
    closesAfterSave_ = true;
    if (question.clickedButton() == cancel) {
        contentView_->saveFlow().cancel();
    }
    // The save may have ended while the question was up.
    if (!contentView_->saveFlow().isExporting()) {
        closeAfterSave();
    }
}

void MainWindow::closeAfterSave() {
    closesAfterSave_ = false;
    // A failed save keeps the window, so that its alert can say why.
    if (!contentView_->saveFlow().error()) {
        QMetaObject::invokeMethod(this, &MainWindow::close, Qt::QueuedConnection);
    }
}
