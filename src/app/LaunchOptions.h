#pragma once

#include "CaptureService.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

// What a launch asks for on its command line. Launches handed over from a later start are read
// with the same rules, so both behave alike.
struct LaunchOptions {
    Q_DECLARE_TR_FUNCTIONS(LaunchOptions)

public:
    bool verbose = false;
    bool toggleRecording = false;
    // With toggleRecording: the program, by its name or its binary, whose sound alone a start
    // records; empty for what the start screen has chosen.
    QString application;
    // The program application names; none without one.
    std::optional<CaptureProgram> program() const;
    // --replay: the minutes to keep, 0 to stop keeping; none to leave it as it is.
    std::optional<int> replayMinutes;
    // --save-replay: save what the replay kept, or its last saveReplaySeconds.
    bool saveReplay = false;
    std::optional<double> saveReplaySeconds;

    // "5m", "5" or "off" as minutes to keep (0 for off): only the lengths the app offers.
    static std::optional<int> parseReplayLength(const QString& text);
    // "90s", "5m", "1m30s" or "2" (minutes) as seconds, above 0.
    static std::optional<double> parseDuration(const QString& text);

    // Printed instead of starting: --help and --version on stdout with status 0, a bad command
    // line with the usage on stderr and status 2.
    struct Exit {
        int status = 0;
        QString text;
        bool toStandardError = false;
    };

    // The arguments as the process got them, program name first.
    static std::variant<LaunchOptions, Exit> parse(const QStringList& arguments);
};
