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
    // A question answered with Cancel goes back to the chooser, not out of the save.
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        const QString chosen = dialog.selectedFiles().constFirst();
        const std::optional<QUrl> destination =
            confirmed(parent, chosen, formatOfFilter(dialog.selectedNameFilter()));
        if (destination) {
            lastDirectory = QFileInfo(destination->toLocalFile()).absolutePath();
            return destination;
        }
        dialog.selectFile(QFileInfo(chosen).fileName());
    }
}

std::optional<QUrl> SaveDestinationDialog::confirmed(QWidget* parent, const QString& chosenPath,
                                                     ExportFormat format) {
    QString path = withAudioSuffix(chosenPath, format);
    if (const QString suffix = QFileInfo(chosenPath).suffix(); isOtherAudioSuffix(suffix)) {
        // "clip.ogg" saved as "clip.ogg.wav" would surprise; the user says which they mean.
        QMessageBox question(parent);
        MessageAlert::style(
            question, tr("Save as %1?").arg(displayNameOf(format)),
            tr("“%1” ends in “.%2”, a kind of audio file Sonabrix doesn't write. The chosen "
               "file type is %3.")
                .arg(QFileInfo(chosenPath).fileName(), suffix, displayNameOf(format)));
        QPushButton* use = question.addButton(tr("Save as “.%1”").arg(extensionOf(format)),
                                              QMessageBox::AcceptRole);
        QPushButton* back = question.addButton(tr("Choose Again"), QMessageBox::RejectRole);
        question.setDefaultButton(use);
        question.setEscapeButton(back);
        question.exec();
        if (question.clickedButton() != use) {
            return std::nullopt;
        }
        path = chosenPath.chopped(suffix.size()) + extensionOf(format);
    }
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

bool SaveDestinationDialog::isOtherAudioSuffix(const QString& suffix) {
    static const QStringList others = {
        QStringLiteral("ogg"),  QStringLiteral("oga"), QStringLiteral("aac"),
        QStringLiteral("m4b"),  QStringLiteral("mp4"), QStringLiteral("aif"),
        QStringLiteral("aiff"), QStringLiteral("wma"), QStringLiteral("caf"),
        QStringLiteral("webm"), QStringLiteral("mka"), QStringLiteral("mp2"),
        QStringLiteral("ac3"),  QStringLiteral("amr"), QStringLiteral("ape"),
        QStringLiteral("wv"),   QStringLiteral("spx"), QStringLiteral("weba")};
    return others.contains(suffix, Qt::CaseInsensitive);
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
