#pragma once

#include <QProcess>
#include <QStringList>
#include <QTest>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

// Fixtures on the private sound server that a test runs under (scripts/with-sound-server).

inline std::optional<QByteArray> pactl(const QStringList& arguments) {
    QProcess process;
    process.start("pactl", arguments);
    const bool ok = process.waitForFinished(5000) && process.exitCode() == 0;
    return ok ? std::optional(process.readAllStandardOutput().trimmed()) : std::nullopt;
}

// A module of the private server for the length of a test.
struct Module {
    std::optional<QByteArray> id;
    explicit Module(const QStringList& arguments)
        : id(pactl(QStringList{"load-module"} + arguments)) {}
    ~Module() { unload(); }
    void unload() {
        if (id)
            pactl({"unload-module", *std::exchange(id, std::nullopt)});
    }
};

inline std::vector<float> tone(double seconds, double hz, float amplitude);

// Plays stereo float frames into the default output. When playback into an idle null sink
// begins, the sink renders ahead of the clock for up to 2 s and its monitor gives nothing
// meanwhile: recordings that need sound from their start begin after that.
// With a name, the stream is that program's.
struct Player : QProcess {
    explicit Player(const std::vector<float>& frames, const QString& device = {},
                    const QString& programName = {}) {
        QStringList options{"--latency-msec=50", "--format=float32le", "--rate=48000",
                            "--channels=2"};
        if (!device.isEmpty())
            options << "--device=" + device;
        if (!programName.isEmpty())
            options << "--property=application.name=" + programName;
        start("pacat", options);
        write(reinterpret_cast<const char*>(frames.data()), qint64(frames.size() * sizeof(float)));
        QTest::qWait(2500);
    }
    ~Player() override { kill(), waitForFinished(); }
};

// The microphone: a second null sink whose monitor is the default input, fed with 1 kHz at 0.5.
struct Microphone {
    Module sink{{"module-null-sink", "sink_name=sonabrix_voice", "rate=48000", "channels=2"}};
    bool isDefault = pactl({"set-default-source", "sonabrix_voice.monitor"}).has_value();
    std::unique_ptr<Player> voice;
    Microphone() : voice(std::make_unique<Player>(tone(30, 1000, 0.5f), "sonabrix_voice")) {}
    // Unplugged: its sound stops and its input goes away.
    void unplug() {
        voice.reset();
        sink.unload();
    }
};

inline std::vector<float> tone(double seconds, double hz, float amplitude) {
    std::vector<float> frames;
    for (qint64 i = 0; i < qint64(seconds * 48000); ++i) {
        const auto v = float(amplitude * std::sin(2 * M_PI * hz * double(i) / 48000));
        frames.insert(frames.end(), {v, v});
    }
    return frames;
}
