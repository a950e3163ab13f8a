#include "RecordingNotes.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QString titleKey = QStringLiteral("title");
const QString selectionStartKey = QStringLiteral("selectionStart");
const QString selectionEndKey = QStringLiteral("selectionEnd");
const QString interruptedKey = QStringLiteral("interrupted");
const QString startedKey = QStringLiteral("started");

} // namespace

QString RecordingNotes::pathFor(const QString& recordingPath) {
    const QFileInfo recording(recordingPath);
    return recording.path() + QStringLiteral("/.") + recording.fileName() + QStringLiteral(".json");
}

QString RecordingNotes::cappedTitle(const QString& title) {
    if (title.size() <= longestTitle) {
        return title;
    }
    const bool splitsAPair = title.at(longestTitle - 1).isHighSurrogate();
    return title.left(splitsAPair ? longestTitle - 1 : longestTitle);
}

std::optional<RecordingNotes> RecordingNotes::load(const QString& recordingPath) {
    QFile file(pathFor(recordingPath));
    // Notes are a few dozen bytes; anything much larger isn't ours.
    constexpr qint64 largestNotes = 64 * 1024;
    if (!file.open(QIODevice::ReadOnly) || file.size() > largestNotes) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    RecordingNotes notes;
    notes.title = object.value(titleKey).toString();
    notes.interrupted = object.value(interruptedKey).toBool();
    const double start = object.value(selectionStartKey).toDouble(-1);
    const double end = object.value(selectionEndKey).toDouble(-1);
    if (start >= 0 && end > start) {
        notes.selection = TimeRange{start, end};
    }
    const QDateTime started =
        QDateTime::fromString(object.value(startedKey).toString(), Qt::ISODateWithMs);
    if (started.isValid()) {
        notes.started = started;
    }
    return notes;
}

bool RecordingNotes::save(const QString& recordingPath) const {
    QJsonObject object;
    if (!title.isEmpty()) {
        object.insert(titleKey, cappedTitle(title));
    }
    if (selection) {
        object.insert(selectionStartKey, selection->lower);
        object.insert(selectionEndKey, selection->upper);
    }
    object.insert(interruptedKey, interrupted);
    if (started && started->isValid()) {
        object.insert(startedKey, started->toUTC().toString(Qt::ISODateWithMs));
    }
    const QString path = pathFor(recordingPath);
    // QSaveFile would replace the file a link points to, which may lie anywhere.
    if (QFileInfo(path).isSymLink() && !QFile::remove(path)) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
    return file.commit();
}
