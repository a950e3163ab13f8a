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
    const QCommandLineOption application(
        QStringLiteral("application"),
        tr("With --toggle-recording: records only the sound of the program whose name or "
           "binary is NAME, ignoring case, rather than what the start screen has chosen. A "
           "program that isn't playing yet is waited for."),
        tr("NAME"));
    parser.addOptions({help, version, verbose, toggleRecording, application});

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
    const QString program = parser.value(application).trimmed();
    if (parser.isSet(application) && !parser.isSet(toggleRecording)) {
        return badUsage(tr("--application goes with --toggle-recording."));
    }
    if (parser.isSet(application) && program.isEmpty()) {
        return badUsage(tr("--application needs the name of a program."));
    }
    return LaunchOptions{parser.isSet(verbose), parser.isSet(toggleRecording), program};
}

std::optional<CaptureProgram> LaunchOptions::program() const {
    if (application.isEmpty())
        return std::nullopt;
    return CaptureProgram::named(application);
}
