#include "LaunchOptions.h"

#include "ReplayMemory.h"

#include <QCommandLineParser>
#include <QRegularExpression>

std::variant<LaunchOptions, LaunchOptions::Exit>
LaunchOptions::parse(const QStringList& arguments) {
    constexpr int badUsageStatus = 2;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Records whatever your computer is playing, trims it and saves it as an M4A, MP3, "
           "Opus, FLAC or WAV file. A second launch hands its options to the window already "
           "open."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  tr("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     tr("Shows the version and exits."));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     tr("Logs what the app does, for support questions."));
    const QCommandLineOption toggleRecording(
        QStringLiteral("toggle-recording"),
        tr("Starts a recording (from the editor too, which keeps the one open in the list), "
           "or stops the running recording."));
    const QCommandLineOption application(
        QStringLiteral("application"),
        tr("With --toggle-recording: records only the sound of the program whose name or "
           "binary is NAME, ignoring case, rather than what the start screen has chosen. A "
           "program that isn't playing yet is waited for."),
        tr("NAME"));
    const QCommandLineOption replay(
        QStringLiteral("replay"),
        tr("Keeps the last DURATION of the computer's sound in memory, ready to be saved: 1m, "
           "5m, 15m or 30m. \"off\" stops keeping it and drops what was kept. Remembered for "
           "the next launches."),
        tr("DURATION"));
    const QCommandLineOption saveReplay(
        QStringLiteral("save-replay"),
        tr("Saves what was kept as a new recording, or only its last DURATION when one follows "
           "(90s, 5m, 1m30s), and opens it. For a desktop shortcut."));
    parser.addOptions({help, version, verbose, toggleRecording, application, replay, saveReplay});
    parser.addPositionalArgument(tr("DURATION"), tr("With --save-replay: how much to save."),
                                 QStringLiteral("[DURATION]"));

    const auto badUsage = [&](const QString& problem) {
        return Exit{badUsageStatus, problem + QStringLiteral("\n\n") + parser.helpText(), true};
    };
    if (!parser.parse(arguments)) {
        return badUsage(parser.errorText());
    }
    // Only --save-replay takes a word after it, and one at most.
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > (parser.isSet(saveReplay) ? 1 : 0)) {
        return badUsage(tr("Unexpected argument: %1").arg(positional.last()));
    }
    if (parser.isSet(help)) {
        return Exit{0, parser.helpText(), false};
    }
    if (parser.isSet(version)) {
        return Exit{0,
                    QCoreApplication::applicationName() + QLatin1Char(' ') +
                        QCoreApplication::applicationVersion() + QLatin1Char('\n'),
                    false};
    }
    const QString program = parser.value(application).trimmed();
    if (parser.isSet(application) && !parser.isSet(toggleRecording)) {
        return badUsage(tr("--application goes with --toggle-recording."));
    }
    if (parser.isSet(application) && program.isEmpty()) {
        return badUsage(tr("--application needs the name of a program."));
    }
    LaunchOptions options;
    options.verbose = parser.isSet(verbose);
    options.toggleRecording = parser.isSet(toggleRecording);
    options.application = program;
    if (parser.isSet(replay)) {
        options.replayMinutes = parseReplayLength(parser.value(replay));
        if (!options.replayMinutes) {
            return badUsage(
                tr("--replay takes 1m, 5m, 15m, 30m or off, not “%1”.").arg(parser.value(replay)));
        }
    }
    options.saveReplay = parser.isSet(saveReplay);
    if (!positional.isEmpty()) {
        options.saveReplaySeconds = parseDuration(positional.first());
        if (!options.saveReplaySeconds) {
            return badUsage(tr("--save-replay takes a length such as 90s, 5m or 1m30s, not "
                               "“%1”.")
                                .arg(positional.first()));
        }
    }
    return options;
}

std::optional<int> LaunchOptions::parseReplayLength(const QString& text) {
    const QString word = text.trimmed().toLower();
    if (word == QStringLiteral("off"))
        return 0;
    static const QRegularExpression minutesPattern(QStringLiteral("^(\\d{1,3})(m|min)?$"));
    const QRegularExpressionMatch match = minutesPattern.match(word);
    if (!match.hasMatch())
        return std::nullopt;
    const int minutes = match.captured(1).toInt();
    if (!ReplayMemory::isOffered(minutes))
        return std::nullopt;
    return minutes;
}

std::optional<double> LaunchOptions::parseDuration(const QString& text) {
    const QString word = text.trimmed().toLower();
    static const QRegularExpression number(QStringLiteral("^\\d{1,6}(\\.\\d+)?$"));
    static const QRegularExpression parts(
        QStringLiteral("^(?:(\\d{1,6}(?:\\.\\d+)?)m)?(?:(\\d{1,6}(?:\\.\\d+)?)s)?$"));
    double seconds = 0;
    if (number.match(word).hasMatch()) {
        seconds = word.toDouble() * 60;
    } else if (const QRegularExpressionMatch match = parts.match(word);
               match.hasMatch() && !word.isEmpty()) {
        seconds = match.captured(1).toDouble() * 60 + match.captured(2).toDouble();
    }
    if (!(seconds > 0))
        return std::nullopt;
    return seconds;
}

std::optional<CaptureProgram> LaunchOptions::program() const {
    if (application.isEmpty())
        return std::nullopt;
    return CaptureProgram::named(application);
}
