#include "MainWindow.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "BuildConfig.h"
#include "ContentView.h"
#include "MessageAlert.h"
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
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>

namespace {

std::unique_ptr<QSettings> windowSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Sonabrix"), QStringLiteral("Sonabrix"));
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
    connect(contentView_, &ContentView::stageChanged, this, &MainWindow::followStage);
    connect(&contentView_->saveFlow(), &SaveFlow::saved, this, &MainWindow::confirmSave);
    connect(&contentView_->saveFlow(), &SaveFlow::isExportingChanged, this, [this](bool exporting) {
        if (!exporting && closesAfterSave_) {
            closeAfterSave();
        }
    });
    followStage(contentView_->stageIndex());
    restoreWindowGeometry();
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
    file->addAction(contentView_->saveAction());
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"));
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
    return file;
}

QMenu* MainWindow::createHelpMenu() {
    auto* help = new QMenu(tr("&Help"), this);
    QAction* shortcuts = help->addAction(tr("&Keyboard Shortcuts"));
    shortcuts->setShortcut(QKeySequence::HelpContents);
    connect(shortcuts, &QAction::triggered, this, &MainWindow::showKeyboardShortcuts);
    help->addSeparator();
    QAction* about = help->addAction(tr("&About Sonabrix"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
#if SONABRIX_UPDATER
    QAction* checkForUpdates = help->addAction(
        AppStyle::symbol(QStringLiteral("view-refresh"), QStringLiteral("arrow-circlepath")),
        tr("Check for &Updates…"));
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
                   "and save it as an M4A file.</p>")
                    .arg(QApplication::applicationVersion()));
    box.setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), devicePixelRatioF()));
    Accessibility::nameAlertIcon(&box);
    box.exec();
}

void MainWindow::showKeyboardShortcuts() {
    const QList<std::pair<QString, QString>> rows = {
        {keysOf(contentView_->recordAction()), tr("Start or stop recording")},
        {keysOf(contentView_->saveAction()), tr("Save the trimmed audio")},
        {keysOf(contentView_->newRecordingAction()), tr("Back to the start")},
        {tr("Space"), tr("Play or stop the selection")},
        {tr("Left, Right"), tr("Move the focused handle by a tenth of a second")},
        {tr("Shift+Left, Shift+Right"), tr("Move the focused handle by a second")},
        {tr("Page Up, Page Down"), tr("Move the focused handle by five seconds")},
        {tr("Home, End"), tr("Move the focused handle as far as it goes")},
        {tr("Tab"), tr("Next control")},
        {QKeySequence(Qt::Key_F10).toString(QKeySequence::NativeText), tr("Open the menus")},
        {QKeySequence(QKeySequence::Quit).toString(QKeySequence::NativeText), tr("Quit")},
    };
    QString table = QStringLiteral("<table cellspacing=\"6\">");
    for (const auto& [keys, meaning] : rows) {
        table += QStringLiteral("<tr><td style=\"white-space: nowrap\"><b>%1</b></td>"
                                "<td style=\"white-space: nowrap\">%2</td></tr>")
                     .arg(keys.toHtmlEscaped(), meaning.toHtmlEscaped());
    }
    table += QStringLiteral("</table>");
    QMessageBox box(this);
    box.setWindowTitle(tr("Keyboard Shortcuts"));
    box.setText(tr("Keyboard Shortcuts"));
    box.setInformativeText(table);
    box.setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), devicePixelRatioF()));
    Accessibility::nameAlertIcon(&box);
    box.setStyleSheet(AppStyle::alertStyleSheet());
    box.exec();
}

void MainWindow::followStage(int stageIndex) {
    // The window's name carries the state, so the title bar and a screen reader both say it;
    // the note says the change once, as it happens.
    const bool recording = stageIndex == 1;
    setWindowTitle(recording ? tr("Recording") : QStringLiteral("Sonabrix"));
    setAccessibleName(recording ? tr("Recording — Sonabrix") : QStringLiteral("Sonabrix"));
    if (recording && shownStage_ != 1) {
        contentView_->statusNote()->announce(tr("Recording started"));
    } else if (shownStage_ == 1 && !recording) {
        contentView_->statusNote()->announce(tr("Recording stopped"));
    }
    shownStage_ = stageIndex;
}

void MainWindow::confirmSave() {
    contentView_->statusNote()->announce(tr("Trimmed audio saved"));
}

void MainWindow::restoreWindowGeometry() {
    // The first run keeps the platform's own default size and place.
    const auto settings = windowSettings();
    const QByteArray geometry = settings->value(QStringLiteral("window/geometry")).toByteArray();
    if (!platformPlacesWindows() && !geometry.isEmpty() && restoreGeometry(geometry)) {
        return;
    }
    const QSize size = settings->value(QStringLiteral("window/size")).toSize();
    if (size.isValid()) {
        resize(size.expandedTo(minimumSizeHint()));
    }
}

void MainWindow::saveWindowGeometry() const {
    const auto settings = windowSettings();
    settings->setValue(QStringLiteral("window/size"), size());
    if (!platformPlacesWindows()) {
        settings->setValue(QStringLiteral("window/geometry"), saveGeometry());
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (contentView_->saveFlow().isExporting()) {
        // A window that vanished while the process kept saving would leave the user guessing.
        event->ignore();
        askAboutSave();
        return;
    }
    if (!contentView_->recorder().isRecording()) {
        saveWindowGeometry();
        QMainWindow::closeEvent(event);
        return;
    }
    QMessageBox question(this);
    question.setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), devicePixelRatioF()));
    Accessibility::nameAlertIcon(&question);
    question.setWindowTitle(tr("Quit Sonabrix"));
    question.setText(tr("A recording is running"));
    question.setInformativeText(
        tr("If you quit now, the recording ends there. It is kept with your recordings, to "
           "trim and save the next time."));
    QPushButton* quit = question.addButton(tr("Quit"), QMessageBox::DestructiveRole);
    QPushButton* keepRecording = question.addButton(tr("Keep Recording"), QMessageBox::RejectRole);
    question.setDefaultButton(keepRecording);
    question.exec();
    if (question.clickedButton() == quit) {
        saveWindowGeometry();
        QMainWindow::closeEvent(event);
    } else {
        event->ignore();
    }
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
