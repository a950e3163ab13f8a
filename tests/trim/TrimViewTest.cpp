#include "TrimViewTestSupport.h"

#include <QScreen>
#include <QSignalSpy>
#include <limits>

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Press on the handle, move through `path` (window coordinates), release at the last point.
void drag(QWidget* handle, const std::vector<QPoint>& path) {
    QWindow* window = handle->window()->windowHandle();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(handle));
    for (const QPoint& point : path)
        QTest::mouseMove(window, point);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, path.back());
}

QImage rgb(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_RGB32);
}
} // namespace

class TrimViewTest : public QObject {
    Q_OBJECT

private slots:
    void dragHandle_data() {
        QTest::addColumn<double>("duration"); // from 2 to 8 s of 10 s, else all of it
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("toX");
        QTest::addColumn<TimeRange>("expected");
        QTest::newRow("start far left") << 10.0 << "Trim start" << -300.0 << TimeRange{0, 8};
        QTest::newRow("start far right: 0.05 s before the end")
            << 10.0 << "Trim start" << 2000.0 << TimeRange{7.95, 8};
        QTest::newRow("start to the middle") << 10.0 << "Trim start" << 300.0 << TimeRange{5, 8};
        QTest::newRow("end past the start") << 10.0 << "Trim end" << -50.0 << TimeRange{2, 2.05};
        QTest::newRow("end far right") << 10.0 << "Trim end" << 700.0 << TimeRange{2, 10};
        QTest::newRow("very short recording: start below 0")
            << 0.03 << "Trim start" << 10.0 << TimeRange{-0.02, 0.03};
        QTest::newRow("duration 0") << 0.0 << "Trim end" << 400.0 << TimeRange{0, 0.05};
    }

    void dragHandle() {
        QFETCH(double, duration);
        QFETCH(QString, name);
        QFETCH(double, toX);
        QFETCH(TimeRange, expected);
        const TimeRange from = duration == 10.0 ? TimeRange{2, 8} : TimeRange{0, duration};
        ShownView view(waveform(duration), from);
        QVERIFY(view.exposed);
        QSignalSpy changes(&view, &TrimView::rangeChanged);
        // Pressed beside its centre, the handle's centre jumps to the pointer at once.
        QWindow* window = view.windowHandle();
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier,
                          centreOf(find(view, name)) + QPoint(2, 0));
        QCOMPARE(changes.count(), 1);
        QTest::mouseMove(window, areaPoint(view, toX));
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, areaPoint(view, toX));
        QCOMPARE(view.range().lower, expected.lower);
        QCOMPARE(view.range().upper, expected.upper);
        QCOMPARE(changes.last().first().value<TimeRange>(), view.range());
        QCOMPARE(label(view, "startTimeLabel"), TrimView::timeLabel(expected.lower));
        QCOMPARE(label(view, "selectedLengthLabel"), TrimView::timeLabel(view.range().length()));
        QCOMPARE(label(view, "endTimeLabel"), TrimView::timeLabel(expected.upper));
    }

    void noWidthOrNonsenseRangeDoesNotCrash() {
        QWidget parent;
        parent.resize(200, 400);
        TrimView narrow(waveform(10.0), {2.0, 8.0}, QString(), &parent);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        narrow.setGeometry(0, 0, 20, 400);
        QWidget* start = find(narrow, "Trim start");
        QVERIFY(start->parentWidget()->width() <= 28);
        QTest::mousePress(start, Qt::LeftButton, Qt::NoModifier, start->rect().center());
        QTest::mouseMove(start, start->rect().center() + QPoint(150, 0));
        QTest::mouseRelease(start, Qt::LeftButton, Qt::NoModifier, start->rect().center());
        QCOMPARE(narrow.range(), (TimeRange{0.0, 8.0}));
        narrow.setRange({NaN, 1e300});
        QVERIFY(!parent.grab().isNull());
    }

    void arrowKeysMoveAFocusedHandleThroughTheSameRules() {
        ShownView view(waveform(10), {2, 8});
        QVERIFY(view.exposed);
        QWidget* start = find(view, "Trim start");
        QWidget* end = find(view, "Trim end");
        QVERIFY(start->focusPolicy() & Qt::TabFocus && end->focusPolicy() & Qt::TabFocus);
        QTest::keyClick(start, Qt::Key_Right);
        QCOMPARE(view.range().lower, 2.1);
        QTest::keyClick(start, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(view.range().lower, 1.1);
        QTest::keyClick(end, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(end, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(end, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(view.range(), (TimeRange{1.1, 10})); // clamped to the recording
        view.setRange({5, 5.05});
        QTest::keyClick(end, Qt::Key_Left);
        QCOMPARE(view.range().upper, 5.05); // never closer than 0.05 s to the start
    }

    void tabFollowsTheLayoutAtAnyZoom() {
        ShownView view(waveform(10.0), {2.0, 8.0});
        view.activateWindow();
        QVERIFY(view.exposed && QTest::qWaitForWindowActive(&view));
        for (const TimeRange shown : {TimeRange{0, 10}, TimeRange{1, 3}}) {
            view.setVisibleRange(shown); // zoomed in, a scroll bar comes between card and buttons
            find(view, "Trim start")->setFocus(Qt::TabFocusReason);
            QStringList order;
            for (int i = 0; i < 5; ++i) {
                QWidget* focused = QApplication::focusWidget();
                order << (focused->accessibleName().isEmpty() ? focused->property("text").toString()
                                                              : focused->accessibleName());
                QTest::keyClick(focused, Qt::Key_Tab);
            }
            QCOMPARE(order, (QStringList{"Trim start", "Trim end", "Play Selection",
                                         "Auto-Trim Silence", "Trim start"}));
        }
    }

    void autoTrim() {
        // Sound from 0.5 s to 9.0125 s of 10 s (the end of bin 720) is found and padded by
        // 0.15 s; silence finds none. Without a readable file the bins' ends stand.
        for (auto [level, expected] :
             {std::pair{0.5f, TimeRange{0.35, 9.1625}}, std::pair{0.009f, TimeRange{1.0, 9.0}}}) {
            TrimView view(waveform(10.0, 40, 720, level), {1.0, 9.0}, QString());
            QSignalSpy changes(&view, &TrimView::rangeChanged);
            QTest::mouseClick(find(view, "Auto-Trim Silence"), Qt::LeftButton);
            QCOMPARE(view.range().lower, expected.lower);
            QCOMPARE(view.range().upper, expected.upper);
            QCOMPARE(label(view, "selectedLengthLabel"),
                     TrimView::timeLabel(view.range().length()));
            QTest::qWait(50);
            view.setRange(view.range()); // no change, no signal
            QCOMPARE(changes.count(), (expected == TimeRange{1.0, 9.0} ? 0 : 1));
        }
    }

    void partialRepaintsLeaveTheSamePictureAsAFullOne() {
        // Each change repaints only what moved; afterwards the window must equal a full paint.
        ShownView view(waveform(10.0, 100, 600), {2.0, 8.0});
        QVERIFY(view.exposed);
        const auto shown = [&] { return rgb(view.screen()->grabWindow(view.winId())); };
        const QImage before = shown();
        drag(find(view, "Trim start"),
             {areaPoint(view, 150), areaPoint(view, 90), areaPoint(view, 200)});
        drag(find(view, "Trim end"), {areaPoint(view, 420), areaPoint(view, 480)});
        QTest::qWait(250); // the handles glide for 0.15 s
        QTest::keyClick(find(view, "Trim start"), Qt::Key_Right, Qt::ShiftModifier);
        QTest::mouseClick(find(view, "Auto-Trim Silence"), Qt::LeftButton);
        QTest::mouseMove(view.windowHandle(), centreOf(find(view, "Trim end")));
        QTest::qWait(350);
        QVERIFY(shown() != before);
        QCOMPARE(shown(), rgb(view.grab()));
    }

    void aPaletteChangeRepaintsTheCardInItsColours() {
        // The card keeps its colours between frames; a new palette must still reach every layer.
        QPalette dark;
        dark.setColor(QPalette::Window, Qt::black);
        dark.setColor(QPalette::WindowText, Qt::white);
        dark.setColor(QPalette::Highlight, QColor(0xff, 0x9f, 0x0a));
        dark.setColor(QPalette::Mid, Qt::darkGray);
        ShownView view(waveform(10.0, 100, 600), {2.0, 8.0});
        QVERIFY(view.exposed);
        const auto card = [](const TrimView& shown) {
            return rgb(find(shown, "Trim start")->parentWidget()->grab());
        };
        const QImage before = card(view);
        view.setPalette(dark);
        const QImage changed = card(view);
        QVERIFY(changed != before);

        QWidget darkParent;
        darkParent.setPalette(dark);
        TrimView fresh(waveform(10.0, 100, 600), {2.0, 8.0}, QString(), &darkParent);
        darkParent.resize(view.size());
        fresh.resize(view.size());
        darkParent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&darkParent));
        QCOMPARE(changed, card(fresh));

        view.setPalette(QPalette());
        QCOMPARE(card(view), before);
    }
};

QTEST_MAIN(TrimViewTest)
#include "TrimViewTest.moc"
