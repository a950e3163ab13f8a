#include <QtNetwork>
#include <QtTest>
#include <sys/stat.h>

// The installed program as a desktop starts it: its options, one running instance per user
// that later launches hand their command line to, and a new start after a crash. Each test
// works in folders of its own (runtime, config, data, state, temporary).
class LaunchTest : public QObject {
    Q_OBJECT

    struct Finished {
        int status = -1;
        QString out;
        QString err;
    };

    // A first instance, killed when the test ends however it ends.
    struct Running {
        std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
        QString log;
        ~Running() {
            process->kill();
            process->waitForFinished();
        }
        // Waits until the instance has logged this text so many times.
        bool logged(const QString& text, qsizetype times = 1) {
            QDeadlineTimer deadline(20000);
            while (log.count(text) < times && !deadline.hasExpired()) {
                process->waitForReadyRead(100);
                log += QString::fromUtf8(process->readAllStandardError());
            }
            return log.count(text) == times;
        }
    };

    QTemporaryDir folders_;

    QString runtimeDir() const { return folders_.filePath("runtime"); }
    QString tone() const { return folders_.filePath("tone.wav"); }
    QString socketPath() const { return runtimeDir() + "/app.sonabrix.Sonabrix.socket"; }

    // No display at all unless asked: options and hand-over must work from any terminal.
    QProcessEnvironment environment(bool display) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_LOGGING_RULES", "LANGUAGE"}) {
            env.remove(name);
        }
        env.insert("QT_QPA_PLATFORM", display ? "offscreen" : "xcb");
        env.insert("LANG", "C.UTF-8");
        env.insert("XDG_RUNTIME_DIR", runtimeDir());
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "TMPDIR"}) {
            env.insert(name, folders_.filePath(name));
        }
        return env;
    }

    Finished launch(const QStringList& arguments, QProcessEnvironment env = {}) {
        QProcess process;
        process.setProcessEnvironment(env.isEmpty() ? environment(false) : env);
        process.start(SONABRIX_BINARY, arguments);
        if (!process.waitForFinished(30000)) {
            process.kill();
            return {};
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    std::unique_ptr<Running> startFirst(const QStringList& arguments = {}) {
        auto running = std::make_unique<Running>();
        running->process->setProcessEnvironment(environment(true));
        running->process->start(SONABRIX_BINARY, QStringList{"--verbose"} + arguments);
        return running;
    }

private slots:
    void initTestCase() {
        QVERIFY(folders_.isValid());
        QVERIFY(QDir().mkpath(runtimeDir()));
        QVERIFY(QFile::setPermissions(runtimeDir(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "TMPDIR"}) {
            QVERIFY(QDir().mkpath(folders_.filePath(name)));
        }
        // Something to record: the private server's null sink plays nothing by itself.
        QCOMPARE(QProcess::execute("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                              "sine=frequency=440:sample_rate=48000:duration=1",
                                              "-ac", "2", "-y", tone()}),
                 0);
    }

    void cleanup() { QFile::remove(socketPath()); }

    void helpAndVersionPrintWithoutADisplay() {
        const Finished version = launch({"--version"});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QString("Sonabrix %1\n").arg(SONABRIX_VERSION));

        const Finished help = launch({"--help"});
        QCOMPARE(help.status, 0);
        for (const char* option :
             {"--toggle-recording", "--application <NAME>", "--verbose", "--version", "--help"}) {
            QVERIFY2(help.out.contains(option), qPrintable(help.out));
        }

        QProcessEnvironment german = environment(false);
        german.insert("LANGUAGE", "de");
        const Finished deutsch = launch({"--help"}, german);
        QCOMPARE(deutsch.status, 0);
        QVERIFY2(deutsch.out.contains("Zeigt die Version und beendet sich."),
                 qPrintable(deutsch.out));
        QVERIFY(!QFileInfo::exists(socketPath()));
    }

    void badCommandLinesPrintTheUsageAndExitWithTwo_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("unknown long option") << QStringList{"--record"};
        QTest::newRow("unknown short option") << QStringList{"-x"};
        QTest::newRow("a value for a flag") << QStringList{"--toggle-recording=yes"};
        QTest::newRow("a stray argument") << QStringList{"--toggle-recording", "now"};
        QTest::newRow("a program without a recording") << QStringList{"--application", "vlc"};
        QTest::newRow("a program without a name")
            << QStringList{"--toggle-recording", "--application"};
        QTest::newRow("a program with an empty name")
            << QStringList{"--toggle-recording", "--application", " "};
    }

    void badCommandLinesPrintTheUsageAndExitWithTwo() {
        QFETCH(QStringList, arguments);
        const Finished bad = launch(arguments);
        QCOMPARE(bad.status, 2);
        QVERIFY(bad.out.isEmpty());
        QVERIFY2(bad.err.contains("--toggle-recording") && bad.err.contains("Usage:"),
                 qPrintable(bad.err));
        QVERIFY(!QFileInfo::exists(socketPath()));
    }

    // The desktop action run twice starts and stops a recording in the window already open,
    // on the private sound server, and each later launch leaves at once.
    void laterLaunchesHandTheirCommandLineToTheRunningInstance() {
        auto first = startFirst();
        QVERIFY2(first->logged("Later launches hand over through"), qPrintable(first->log));
        struct stat status = {};
        QCOMPARE(::stat(QFile::encodeName(socketPath()).constData(), &status), 0);
        QVERIFY(S_ISSOCK(status.st_mode));
        QCOMPARE(status.st_mode & (S_IRWXG | S_IRWXO), 0u);

        Finished toggle = launch({"--toggle-recording"});
        QCOMPARE(toggle.status, 0);
        QVERIFY2(first->logged("Stage: recording"), qPrintable(first->log));
        QCOMPARE(QProcess::execute("paplay", {tone()}), 0);

        toggle = launch({"--toggle-recording"});
        QCOMPARE(toggle.status, 0);
        QVERIFY2(first->logged("Stage: recorded"), qPrintable(first->log));
        const QStringList recordings = QDir(folders_.filePath("XDG_DATA_HOME/Sonabrix/Recordings"))
                                           .entryList({"Sonabrix-*.caf"}, QDir::Files);
        QCOMPARE(recordings.size(), 1);

        // A plain start brings the window forward; in the editor a toggle records anew, as
        // Ctrl+R there does, and the recording left in the editor stays.
        QCOMPARE(launch({}).status, 0);
        QCOMPARE(launch({"--toggle-recording"}).status, 0);
        QVERIFY(first->logged("A later launch handed over no options"));
        QVERIFY(first->logged("A later launch handed over --toggle-recording", 3));
        QVERIFY2(first->logged("Stage: recording", 2), qPrintable(first->log));
        QVERIFY(QFile::exists(folders_.filePath("XDG_DATA_HOME/Sonabrix/Recordings/") +
                              recordings.first()));
        QCOMPARE(first->process->state(), QProcess::Running);
    }

    // A later launch asks for one program by its name, in another case than the program
    // gives it: the running instance records that program, which plays once asked for.
    void aLaterLaunchRecordsTheProgramItNames() {
        auto first = startFirst();
        QVERIFY2(first->logged("Later launches hand over through"), qPrintable(first->log));
        QCOMPARE(launch({"--toggle-recording", "--application", "sonabrixtone"}).status, 0);
        QVERIFY2(first->logged("Recording the program sonabrixtone"), qPrintable(first->log));
        QVERIFY2(first->logged("Stage: recording"), qPrintable(first->log));
        QCOMPARE(QProcess::execute("paplay", {"--property=application.name=SonabrixTone", tone()}),
                 0);
        QCOMPARE(launch({"--toggle-recording"}).status, 0);
        QVERIFY2(first->logged("Stage: recorded"), qPrintable(first->log));
        // The next one records what the start screen has chosen: the whole computer.
        QCOMPARE(launch({"--toggle-recording"}).status, 0);
        QVERIFY2(first->logged("Recording the whole computer"), qPrintable(first->log));
    }

    // The replay from desktop shortcuts: a first launch asked to save says that nothing was
    // kept; later launches switch it and save in the running window, and a bad length is
    // refused before anything is handed over.
    void theReplayIsSwitchedAndSavedFromTheCommandLine() {
        auto first = startFirst({"--save-replay"});
        QVERIFY2(first->logged("Replay not saved: \"Nothing is kept to save"),
                 qPrintable(first->log));
        QCOMPARE(launch({"--replay", "1m"}).status, 0);
        QVERIFY2(first->logged("Replay: keeping the last 1 minutes"), qPrintable(first->log));
        QCOMPARE(launch({"--save-replay", "90s"}).status, 0);
        QVERIFY2(first->logged("Saving the replay's last 90 s"), qPrintable(first->log));
        const Finished bad = launch({"--replay", "2m"});
        QCOMPARE(bad.status, 2);
        QVERIFY2(bad.err.contains("--replay takes 1m, 5m, 15m, 30m or off, not “2m”."),
                 qPrintable(bad.err));
        QCOMPARE(launch({"--replay", "off"}).status, 0);
        QVERIFY2(first->logged("Replay: keeping the last 0 minutes"), qPrintable(first->log));
        QCOMPARE(first->process->state(), QProcess::Running);
    }

    void aSocketLeftByACrashIsReplaced() {
        {
            auto crashed = startFirst();
            QVERIFY(crashed->logged("Later launches hand over through"));
            crashed->process->kill();
            crashed->process->waitForFinished();
        }
        QVERIFY(QFileInfo::exists(socketPath()));

        auto next = startFirst();
        QVERIFY2(next->logged("Later launches hand over through"), qPrintable(next->log));
        QVERIFY(next->log.contains("Replacing the socket a previous run left"));
        QCOMPARE(launch({}).status, 0);
        QVERIFY(next->logged("A later launch handed over no options"));
    }

    // Two launches at the same moment (a double click): one window, the other hands over.
    void twoLaunchesAtOnceMakeOneInstance() {
        auto one = startFirst();
        auto other = startFirst();
        QVERIFY(one->process->waitForStarted() && other->process->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(one->process->state() == QProcess::NotRunning ||
                                     other->process->state() == QProcess::NotRunning,
                                 20000);
        Running& left = one->process->state() == QProcess::NotRunning ? *one : *other;
        Running& stayed = &left == one.get() ? *other : *one;
        QCOMPARE(left.process->exitCode(), 0);
        QVERIFY2(stayed.logged("A later launch handed over --verbose"), qPrintable(stayed.log));
        QTest::qWait(500);
        QCOMPARE(stayed.process->state(), QProcess::Running);
    }

    // Something listens but never answers: the launch says so instead of opening a second
    // window or hanging.
    void anInstanceThatDoesNotAnswerIsReported() {
        QLocalServer silent;
        QVERIFY(silent.listen(socketPath()));
        const Finished launched = launch({"--toggle-recording"});
        QCOMPARE(launched.status, 1);
        QVERIFY2(launched.err.contains("already running but doesn't answer"),
                 qPrintable(launched.err));
    }
};

QTEST_GUILESS_MAIN(LaunchTest)
#include "LaunchTest.moc"
