#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <variant>

// What a launch asks for on its command line. Launches handed over from a later start are read
// with the same rules, so both behave alike.
struct LaunchOptions {
    Q_DECLARE_TR_FUNCTIONS(LaunchOptions)

public:
    bool verbose = false;
    bool toggleRecording = false;

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
