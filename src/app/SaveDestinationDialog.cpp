#include "SaveDestinationDialog.h"

#include "MessageAlert.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString lastFormatKey = QStringLiteral("save/lastFormat");

QString nameFilterOf(ExportFormat format) {
    return QStringLiteral("%1 (*.%2)").arg(displayNameOf(format), extensionOf(format));
}

// The suggested name with the given format's extension in place of the one it came with.
QString suggestionIn(const QString& suggestedFileName, ExportFormat format) {
    const QString suffix = QFileInfo(suggestedFileName).suffix();
    const QString base =
        suffix.isEmpty() ? suggestedFileName : suggestedFileName.chopped(suffix.size() + 1);
    return base + QLatin1Char('.') + extensionOf(format);
}

} // namespace

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
    QStringList filters;
    for (const ExportFormat format : allExportFormats)
        filters << nameFilterOf(format);
    dialog.setNameFilters(filters);
    const ExportFormat remembered = lastFormat();
    dialog.selectNameFilter(nameFilterOf(remembered));
    const auto formatOfFilter = [&](const QString& filter) {
        return allExportFormats[size_t(std::max<qsizetype>(0, filters.indexOf(filter)))];
    };
    // No default suffix: desktop dialogs check for an existing file before Qt adds it, so they
    // may ask about "clip" and then return "clip.m4a". The one question comes from confirmed().
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDirectory(directory);
    dialog.selectFile(suggestionIn(suggestedFileName, remembered));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QUrl> destination = confirmed(parent, dialog.selectedFiles().constFirst(),
                                                      formatOfFilter(dialog.selectedNameFilter()));
    if (destination) {
        lastDirectory = QFileInfo(destination->toLocalFile()).absolutePath();
    }
    return destination;
}

std::optional<QUrl> SaveDestinationDialog::confirmed(QWidget* parent, const QString& chosenPath,
                                                     ExportFormat format) {
    const QString path = withAudioSuffix(chosenPath, format);
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
    QSettings().setValue(lastFormatKey, extensionOf(exportFormatForPath(path).value()));
    return QUrl::fromLocalFile(path);
}

QString SaveDestinationDialog::withAudioSuffix(const QString& path, ExportFormat format) {
    if (exportFormatForPath(path)) {
        return path;
    }
    return path + QLatin1Char('.') + extensionOf(format);
}

ExportFormat SaveDestinationDialog::lastFormat() {
    const QString remembered = QSettings().value(lastFormatKey).toString();
    return exportFormatForPath(QStringLiteral("a.") + remembered).value_or(ExportFormat::m4a);
}
