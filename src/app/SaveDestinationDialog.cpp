#include "SaveDestinationDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
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
    dialog.setDefaultSuffix(extensionOf(remembered));
    const auto formatOfFilter = [&](const QString& filter) {
        return allExportFormats[size_t(std::max<qsizetype>(0, filters.indexOf(filter)))];
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
        dialog.setDefaultSuffix(extensionOf(formatOfFilter(filter)));
    });
    dialog.setDirectory(directory);
    dialog.selectFile(suggestionIn(suggestedFileName, remembered));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const QString path = withAudioSuffix(chosen, formatOfFilter(dialog.selectedNameFilter()));
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
