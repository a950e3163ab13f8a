#include "SaveDestinationDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

std::optional<QUrl> SaveDestinationDialog::ask(QWidget* parent, const QString& suggestedFileName) {
    static QString lastDirectory;
    QString directory = lastDirectory;
    if (directory.isEmpty() || !QDir(directory).exists()) {
        const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        directory = !music.isEmpty() && QDir(music).exists() ? music : QDir::homePath();
    }

    QFileDialog dialog(parent, tr("Save Trimmed Audio"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(tr("MPEG-4 audio (*.m4a)"));
    dialog.setDefaultSuffix(QStringLiteral("m4a"));
    dialog.setDirectory(directory);
    dialog.selectFile(suggestedFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const QString path = withAudioSuffix(chosen);
    // The dialog asked about the name it returned; a suffix added here names another file.
    if (path != chosen && QFileInfo::exists(path)) {
        const auto answer = QMessageBox::question(
            parent, tr("Replace file?"),
            tr("“%1” already exists. Do you want to replace it?").arg(QFileInfo(path).fileName()));
        if (answer != QMessageBox::Yes) {
            return std::nullopt;
        }
    }
    lastDirectory = QFileInfo(path).absolutePath();
    return QUrl::fromLocalFile(path);
}

QString SaveDestinationDialog::withAudioSuffix(const QString& path) {
    if (path.endsWith(QStringLiteral(".m4a"), Qt::CaseInsensitive)) {
        return path;
    }
    return path + QStringLiteral(".m4a");
}
