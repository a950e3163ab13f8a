#pragma once

#include "RecordingFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <csignal>
#include <cstdlib>
#include <unistd.h>
#include <vector>

// An interrupted recording as a crash leaves it: the test executable, started again with
// "--record-and-die <folder> <seconds>", writes that much audio through the recorder's own file
// and is killed before it can close it.
namespace KilledRecording {

inline const char* const flag = "--record-and-die";

// First thing in main(): plays the writer when asked, and then never returns.
inline void runIfAsked(int argc, char** argv) {
    if (argc < 4 || qstrcmp(argv[1], flag) != 0) {
        return;
    }
    const auto file = RecordingFile::create(QString::fromLocal8Bit(argv[2]), 48000, 2);
    if (!file) {
        std::_Exit(2);
    }
    const auto frames = qint64(std::atof(argv[3]) * 48000);
    const std::vector<float> samples(size_t(frames) * 2, 0.25f);
    static_cast<void>((*file)->append(samples.data(), frames));
    ::kill(::getpid(), SIGKILL);
}

// The file the killed writer left in `folder`; empty when it didn't die as planned.
inline QString make(const QString& folder, double seconds) {
    const QStringList before = QDir(folder).entryList({"*.caf"});
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(), {flag, folder, QString::number(seconds)});
    if (!writer.waitForFinished(10000) || writer.exitStatus() != QProcess::CrashExit) {
        return {};
    }
    for (const QString& name : QDir(folder).entryList({"*.caf"})) {
        if (!before.contains(name)) {
            return folder + '/' + name;
        }
    }
    return {};
}

} // namespace KilledRecording
