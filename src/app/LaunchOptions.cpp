#include "LaunchOptions.h"

#include <QCommandLineParser>

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
    parser.addOptions({help, version, verbose, toggleRecording});

    const auto badUsage = [&](const QString& problem) {
        return Exit{badUsageStatus, problem + QStringLiteral("\n\n") + parser.helpText(), true};
    };
    if (!parser.parse(arguments)) {
        return badUsage(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return badUsage(tr("Unexpected argument: %1").arg(parser.positionalArguments().first()));
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
    return LaunchOptions{parser.isSet(verbose), parser.isSet(toggleRecording)};
}
