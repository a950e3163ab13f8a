#include "SaveDestinationDialog.h"

#include "MessageAlert.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
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
    // Desktop dialogs check for an existing file before Qt adds a default suffix, so they may
    // ask about "clip" and then return "clip.m4a": the one question comes from confirmed().
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDirectory(directory);
    dialog.selectFile(suggestedFileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QUrl> destination = confirmed(parent, dialog.selectedFiles().constFirst());
    if (destination) {
        lastDirectory = QFileInfo(destination->toLocalFile()).absolutePath();
    }
    return destination;
}

std::optional<QUrl> SaveDestinationDialog::confirmed(QWidget* parent, const QString& chosenPath) {
    const QString path = withAudioSuffix(chosenPath);
    if (QFileInfo::exists(path)) {
        QMessageBox question(parent);
        MessageAlert::style(
            question, tr("Replace file?"),
            tr("“%1” already exists. Do you want to replace it?").arg(QFileInfo(path).fileName()));
        QPushButton* replace = question.addButton(tr("Replace"), QMessageBox::DestructiveRole);
        QPushButton* cancel = question.addButton(tr("Cancel"), QMessageBox::RejectRole);
        question.setDefaultButton(cancel);
        question.exec();
        if (question.clickedButton() != replace) {
            return std::nullopt;
        }
    }
    return QUrl::fromLocalFile(path);
}

QString SaveDestinationDialog::withAudioSuffix(const QString& path) {
    if (path.endsWith(QStringLiteral(".m4a"), Qt::CaseInsensitive)) {
        return path;
    }
    return path + QStringLiteral(".m4a");
}
