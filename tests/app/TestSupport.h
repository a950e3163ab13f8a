#pragma once

#include "CaptureService.h"
#include "ContentView.h"
#include "SystemAudioRecorder.h"

#include <QtConcurrent>
#include <QtTest>
#include <QtWidgets>
#include <thread>

// The app keeps its recordings in the user's data folder and never deletes them; the tests'
// data and settings go with this folder.
inline QTemporaryDir& testFolder() {
    static QTemporaryDir folder;
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.filePath("config")));
    return folder;
}

// Whatever the app keeps between runs (window size and place) goes to folders of the tests' own,
// never the user's; set before the application object reads them.
inline const bool userFoldersAreScratch = [] {
    static QTemporaryDir home;
    for (const char* variable :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        qputenv(variable, QFile::encodeName(home.filePath(QString::fromLatin1(variable))));
    }
    return home.isValid();
}();

// A capture platform the test steers; answers come from another thread, like the real one's.
struct CaptureScript {
    bool unreachable = false;
    bool running = false;
    // The output's name, as the sound server describes it.
    QString outputName = "speakers";
    CaptureService::Handlers handlers;

    // `capturedAtUs`: when the server says it played, on CLOCK_MONOTONIC; unknown by default.
    void deliver(double seconds, float level, qint64 capturedAtUs = -1) {
        if (running && handlers.samples) {
            PcmBuffer buffer{48000, 2, std::vector<float>(size_t(seconds * 48000) * 2, level),
                             capturedAtUs};
            std::thread([&] { handlers.samples(std::move(buffer)); }).join();
        }
    }
    void stopByItself(const QString& reason) {
        std::thread([&] { handlers.stopped(reason); }).join();
    }
};

class ScriptedCaptureService : public CaptureService {
public:
    explicit ScriptedCaptureService(std::shared_ptr<CaptureScript> script)
        : script_(std::move(script)) {}

    QFuture<ShareableContent> queryContent() override {
        const ShareableContent content =
            script_->unreachable
                ? ShareableContent{Failure::because("Connection refused"), {}}
                : ShareableContent{{}, {{script_->outputName, "speakers.monitor", ""}}};
        return QtConcurrent::run([content] { return content; });
    }
    QFuture<CaptureResult> startCapture(const CaptureOutput&, const StreamConfiguration&,
                                        Handlers handlers) override {
        script_->handlers = std::move(handlers);
        return setRunning(true);
    }
    QFuture<CaptureResult> stopCapture() override { return setRunning(false); }

private:
    QFuture<CaptureResult> setRunning(bool running) {
        script_->running = running;
        return QtConcurrent::run([] { return CaptureResult(); });
    }
    std::shared_ptr<CaptureScript> script_;
};

// A shown main view recording through the script; none when it never shows.
template <typename View = ContentView>
std::unique_ptr<View> scriptedView(const std::shared_ptr<CaptureScript>& script) {
    auto view = std::make_unique<View>(
        std::make_unique<SystemAudioRecorder>(std::make_unique<ScriptedCaptureService>(script)));
    view->show();
    return QTest::qWaitForWindowExposed(view.get()) ? std::move(view) : nullptr;
}

inline QAbstractButton* visibleButton(const QWidget* root, const QString& text) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->text() == text && button->isVisibleTo(root->window())) {
            return button;
        }
    }
    return nullptr;
}

// Clicks the visible, enabled button with this text; fails the test when there is none.
inline void click(const QWidget* root, const QString& text) {
    QAbstractButton* button = root ? visibleButton(root, text) : nullptr;
    QVERIFY2(button && button->isEnabled(), qPrintable("no button to click: " + text));
    QTest::mouseClick(button, Qt::LeftButton);
}

// The open alert with this title; with an empty title, any open alert.
// Records `seconds` of a steady tone through the view's buttons and waits for the editor.
inline void recordThroughButtons(ContentView& view, CaptureScript& script, int seconds) {
    click(&view, "Record System Audio");
    QTRY_COMPARE(view.stageKind(), Stage::Kind::recording);
    for (int second = 0; second < seconds; ++second) {
        script.deliver(1.0, 0.5f);
    }
    click(&view, "Stop Recording");
    QTRY_COMPARE(view.stageKind(), Stage::Kind::recorded);
}

inline QMessageBox* openAlert(const QString& title = {}) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box && box->isVisible() && (title.isEmpty() || box->text() == title)) {
            return box;
        }
    }
    return nullptr;
}

inline void closeAlerts() {
    while (QMessageBox* box = openAlert()) {
        box->reject();
    }
}

// What the program printed, or nothing when it couldn't run or failed.
inline std::optional<QString> run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// ffprobe's codec and duration of a file's first audio stream.
inline std::pair<QString, double> probe(const QString& path) {
    const QStringList lines =
        run("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                        "stream=codec_name:format=duration", "-of", "csv=p=0", path})
            .value_or("")
            .split('\n');
    return {lines[0], lines.value(1).toDouble()};
}
