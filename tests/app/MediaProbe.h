#pragma once

#include <QProcess>
#include <QString>
#include <optional>

// What ffprobe reads from a saved file: its audio codec and duration.
struct MediaProbe {
    QString codecName;
    double durationSeconds = 0.0;

    static std::optional<MediaProbe> of(const QString& path) {
        QProcess ffprobe;
        ffprobe.start(QStringLiteral("ffprobe"),
                      {QStringLiteral("-v"), QStringLiteral("error"),
                       QStringLiteral("-select_streams"), QStringLiteral("a:0"),
                       QStringLiteral("-show_entries"),
                       QStringLiteral("stream=codec_name:format=duration"), QStringLiteral("-of"),
                       QStringLiteral("default=noprint_wrappers=1"), path});
        if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0) {
            return std::nullopt;
        }
        MediaProbe probe;
        for (const QString& line :
             QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n')) {
            if (line.startsWith(QStringLiteral("codec_name="))) {
                probe.codecName = line.section(u'=', 1);
            } else if (line.startsWith(QStringLiteral("duration="))) {
                probe.durationSeconds = line.section(u'=', 1).toDouble();
            }
        }
        return probe;
    }
};
