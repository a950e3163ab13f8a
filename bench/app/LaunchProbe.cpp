// Measures the app as a user meets it: the time from the process being started to the first
// painted window, and the resident memory at idle and after a recording. It builds the same
// application object and window as the sonabrix binary, then watches them.
//
//   app_launch_probe launch          prints milliseconds from SONABRIX_BENCH_START_NS (the
//                                    launcher's CLOCK_REALTIME at exec) to the first paint
//   app_launch_probe idle-memory     prints resident MB two seconds after the first paint
//   app_launch_probe record SECONDS  records for SECONDS through the real buttons, waits for
//                                    the editor, and prints resident MB
#include "ContentView.h"
#include "MainWindow.h"
#include "SonabrixApp.h"

#include <QAbstractButton>
#include <QFile>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

double residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return -1;
}

double millisecondsSince(qint64 startNs) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return (std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() - startNs) / 1e6;
}

void clickButton(QWidget* root, const QString& text) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->text() == text && button->isVisible()) {
            button->click();
            return;
        }
    }
    std::fprintf(stderr, "no button \"%s\"\n", qPrintable(text));
    QCoreApplication::exit(2);
}

class FirstPaintWatcher : public QObject {
public:
    explicit FirstPaintWatcher(std::function<void()> onFirstPaint)
        : onFirstPaint_(std::move(onFirstPaint)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            seen_ = true;
            // After this paint has been drawn and flushed to the screen.
            QTimer::singleShot(0, this, onFirstPaint_);
        }
        return false;
    }

private:
    bool seen_ = false;
    std::function<void()> onFirstPaint_;
};

} // namespace

int main(int argc, char* argv[]) {
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("launch");
    const qint64 startNs = qgetenv("SONABRIX_BENCH_START_NS").toLongLong();
    const int recordSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    int probeArgc = 1;
    SonabrixApp app(probeArgc, argv);
    ContentView* view = app.window().contentView();

    FirstPaintWatcher watcher([&] {
        if (mode == "launch") {
            std::printf("%.1f\n", startNs ? millisecondsSince(startNs) : -1.0);
            QCoreApplication::exit(0);
        } else if (mode == "idle-memory") {
            QTimer::singleShot(2000, [] {
                std::printf("%.1f\n", residentMegabytes());
                QCoreApplication::exit(0);
            });
        } else {
            clickButton(view, QStringLiteral("Record System Audio"));
            QTimer::singleShot(recordSeconds * 1000,
                               [view] { clickButton(view, QStringLiteral("Stop Recording")); });
            QObject::connect(view, &ContentView::stageChanged, [](Stage::Kind stage) {
                if (stage == Stage::Kind::recorded) {
                    QTimer::singleShot(2000, [] {
                        std::printf("%.1f\n", residentMegabytes());
                        QCoreApplication::exit(0);
                    });
                } else if (stage == Stage::Kind::idle) {
                    std::fprintf(stderr, "the recording ended without audio\n");
                    QCoreApplication::exit(3);
                }
            });
        }
    });
    QCoreApplication::instance()->installEventFilter(&watcher);
    return app.exec();
}
