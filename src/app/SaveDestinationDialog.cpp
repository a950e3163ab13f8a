#include "SaveDestinationDialog.h"

#include "MessageAlert.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString lastFormatKey = QStringLiteral("save/lastFormat");
const QString loudnessKey = QStringLiteral("save/loudnessTarget");
const QString fadeKey = QStringLiteral("save/fade");

constexpr double fadeSeconds = 0.010;

// The loudness choices: the target in LUFS, none for as recorded.
struct LoudnessChoice {
    std::optional<double> targetLufs;
    const char* label;
};
const LoudnessChoice loudnessChoices[] = {
    {std::nullopt, QT_TRANSLATE_NOOP("SaveDestinationDialog", "As recorded")},
    {-16.0, QT_TRANSLATE_NOOP("SaveDestinationDialog", "Podcast (−16 LUFS)")},
    {-14.0, QT_TRANSLATE_NOOP("SaveDestinationDialog", "Streaming (−14 LUFS)")},
    {-23.0, QT_TRANSLATE_NOOP("SaveDestinationDialog", "Broadcast (−23 LUFS)")},
};

// The loudness and fade rows under the file type, in the dialog's own grid.
class OptionRows {
public:
    explicit OptionRows(QFileDialog& dialog)
        : loudness_(new QComboBox(&dialog)),
          fade_(new QCheckBox(SaveDestinationDialog::tr("&Fade in and out (10 ms)"), &dialog)) {
        loudness_->setObjectName(QStringLiteral("loudnessCombo"));
        fade_->setObjectName(QStringLiteral("fadeCheck"));
        fade_->setToolTip(SaveDestinationDialog::tr(
            "Where a cut falls on sound, so it doesn't click; cuts in silence stay as they are."));
        const ExportOptions remembered = SaveDestinationDialog::lastOptions();
        for (const LoudnessChoice& choice : loudnessChoices) {
            loudness_->addItem(SaveDestinationDialog::tr(choice.label));
            if (choice.targetLufs == remembered.loudnessTargetLufs)
                loudness_->setCurrentIndex(loudness_->count() - 1);
        }
        fade_->setChecked(remembered.fadeSeconds > 0);
        auto* label = new QLabel(SaveDestinationDialog::tr("&Loudness:"), &dialog);
        label->setBuddy(loudness_);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            const int row = grid->rowCount();
            grid->addWidget(label, row, 0);
            grid->addWidget(loudness_, row, 1);
            grid->addWidget(fade_, row + 1, 1);
        }
    }

    // Kept for the next save, as the format is.
    void remember() const {
        QSettings settings;
        const auto& target = loudnessChoices[size_t(std::max(0, loudness_->currentIndex()))];
        if (target.targetLufs)
            settings.setValue(loudnessKey, *target.targetLufs);
        else
            settings.remove(loudnessKey);
        settings.setValue(fadeKey, fade_->isChecked());
    }

private:
    QComboBox* loudness_;
    QCheckBox* fade_;
};

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
    // Qt's own dialog, as desktop ones take no extra choices.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDirectory(directory);
    dialog.selectFile(suggestionIn(suggestedFileName, remembered));
    const OptionRows options(dialog);
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
            options.remember();
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

ExportOptions SaveDestinationDialog::lastOptions() {
    const QSettings settings;
    ExportOptions options;
    bool known = false;
    const double target = settings.value(loudnessKey).toDouble(&known);
    for (const LoudnessChoice& choice : loudnessChoices)
        if (known && choice.targetLufs == target)
            options.loudnessTargetLufs = target;
    options.fadeSeconds = settings.value(fadeKey).toBool() ? fadeSeconds : 0.0;
    return options;
}

ExportFormat SaveDestinationDialog::lastFormat() {
    const QString remembered = QSettings().value(lastFormatKey).toString();
    return exportFormatForPath(QStringLiteral("a.") + remembered).value_or(ExportFormat::m4a);
}
