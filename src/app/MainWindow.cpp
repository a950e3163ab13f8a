#include "MainWindow.h"

#include "AppStyle.h"
#include "ContentView.h"
#include "MessageAlert.h"
#include "SaveFlow.h"
#include "SystemAudioRecorder.h"
#include "Updater.h"
#include "UpdaterController.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>

MainWindow::MainWindow(std::unique_ptr<SystemAudioRecorder> recorder, QWidget* parent)
    : QMainWindow(parent),
      contentView_(recorder ? new ContentView(std::move(recorder), this) : new ContentView(this)) {
    setCentralWidget(contentView_);
    createMenu();
    connect(&contentView_->saveFlow(), &SaveFlow::isExportingChanged, this, [this](bool exporting) {
        if (!exporting && closesAfterSave_) {
            closeAfterSave();
        }
    });
}

void MainWindow::createMenu() {
    QMenu* appMenu = menuBar()->addMenu(tr("Sonabrix"));

    QAction* about = appMenu->addAction(tr("About Sonabrix"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);

    QAction* checkForUpdates = appMenu->addAction(
        AppStyle::symbol(QStringLiteral("view-refresh"), QStringLiteral("arrow-circlepath")),
        tr("Check for Updates…"));
    checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    connect(checkForUpdates, &QAction::triggered, this,
            [] { UpdaterController::shared().controller().checkForUpdates(); });
    appMenu->addSeparator();

    QAction* quit = appMenu->addAction(tr("Quit Sonabrix"));
    quit->setMenuRole(QAction::QuitRole);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);
}

void MainWindow::showAbout() {
    QMessageBox::about(
        this, tr("About Sonabrix"),
        tr("<h3>Sonabrix %1</h3><p>Record whatever your computer is playing, trim it, and "
           "save it as an M4A file.</p>")
            .arg(QApplication::applicationVersion()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (contentView_->saveFlow().isExporting()) {
        // A window that vanished while the process kept saving would leave the user guessing.
        event->ignore();
        askAboutSave();
        return;
    }
    if (!contentView_->recorder().isRecording()) {
        QMainWindow::closeEvent(event);
        return;
    }
    QMessageBox question(this);
    question.setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), devicePixelRatioF()));
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
