#include "TrimView.h"

#include "TrimViewTestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <limits>

using namespace TrimViewTestSupport;

namespace {
// The view's width gives a waveform area 600 points wide: 628 − 2 × 14.
constexpr int viewWidth = 628;
constexpr double areaWidth = 600.0;
const QUrl nowhere = QUrl::fromLocalFile("/nonexistent/recording.caf");

struct ShownView {
    explicit ShownView(Waveform::Data data, TimeRange range, int width = viewWidth)
        : view(std::move(data), range, nowhere) {
        view.resize(width, view.sizeHint().height());
        view.show();
        exposed = QTest::qWaitForWindowExposed(&view);
    }
    TrimView view;
    bool exposed = false;
};

TimeRange lastEmitted(const QSignalSpy& spy) {
    return spy.last().first().value<TimeRange>();
}
} // namespace

class TrimViewTest : public QObject {
    Q_OBJECT

private slots:
    void timeLabel_data();
    void timeLabel();
    void dragStartHandle_data();
    void dragStartHandle();
    void dragEndHandlePastTheStart();
    void pressMovesTheHandleCentreToThePointer();
    void veryShortRecordingLetsTheStartGoBelowZero();
    void noDurationOrNoWidthMapsEveryDragToZero();
    void keyboardMovesTheFocusedHandle();
    void autoTrimReplacesTheSelection();
    void autoTrimWithoutSoundChangesNothing();
    void setRangeEmitsOnlyChangesAndUpdatesTheLabels();
    void handlesGlideToANewSelection();
    void handlesShowTheirNamesAndWidenUnderThePointer();
    void partialRepaintsLeaveTheSamePictureAsAFullOne();
};

void TrimViewTest::timeLabel_data() {
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0 << "0:00.0";
    QTest::newRow("truncated, not rounded up") << 59.99 << "0:59.9";
    QTest::newRow("minutes") << 75.37 << "1:15.3";
    QTest::newRow("no hour field") << 3725.5 << "62:05.5";
    QTest::newRow("negative") << -2.0 << "0:00.0";
    QTest::newRow("a tenth stored just below itself") << 2.3 << "0:02.3";
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << "0:00.0";
}

void TrimViewTest::timeLabel() {
    QFETCH(double, seconds);
    QFETCH(QString, text);
    QCOMPARE(TrimView::timeLabel(seconds), text);
    // Far beyond any recording it still formats without overflowing.
    QVERIFY(!TrimView::timeLabel(std::numeric_limits<double>::infinity()).startsWith('-'));
}

void TrimViewTest::dragStartHandle_data() {
    QTest::addColumn<double>("toX");
    QTest::addColumn<double>("lower");
    QTest::newRow("far left") << -300.0 << 0.0;
    QTest::newRow("far right: stops 0.05 s before the end handle") << 2000.0 << 7.95;
    QTest::newRow("middle") << areaWidth / 2 << 5.0;
    QTest::newRow("a quarter") << areaWidth / 4 << 2.5;
}

void TrimViewTest::dragStartHandle() {
    QFETCH(double, toX);
    QFETCH(double, lower);
    ShownView shown(waveform(10.0), {2.0, 8.0});
    QVERIFY(shown.exposed);
    QSignalSpy changes(&shown.view, &TrimView::rangeChanged);

    drag(handle(shown.view, "Trim start"),
         {areaPoint(shown.view, 100), areaPoint(shown.view, toX)});
    QCOMPARE(shown.view.range().lower, lower);
    QCOMPARE(shown.view.range().upper, 8.0);
    QVERIFY(!changes.isEmpty());
    QCOMPARE(lastEmitted(changes), shown.view.range());
    QCOMPARE(label(shown.view, "startTimeLabel"), TrimView::timeLabel(lower));
}

void TrimViewTest::dragEndHandlePastTheStart() {
    ShownView shown(waveform(10.0), {2.0, 8.0});
    QVERIFY(shown.exposed);
    drag(handle(shown.view, "Trim end"), {areaPoint(shown.view, 300), areaPoint(shown.view, -50)});
    QCOMPARE(shown.view.range(), (TimeRange{2.0, 2.05}));
    QCOMPARE(label(shown.view, "selectedLengthLabel"), "0:00.0");

    // And back out past the right edge: the end stops at the recording's end.
    drag(handle(shown.view, "Trim end"), {areaPoint(shown.view, 700)});
    QCOMPARE(shown.view.range(), (TimeRange{2.0, 10.0}));
}

void TrimViewTest::pressMovesTheHandleCentreToThePointer() {
    ShownView shown(waveform(10.0), {2.0, 8.0});
    QVERIFY(shown.exposed);
    QWidget* start = handle(shown.view, "Trim start");
    // Press near the handle's right edge without moving: the bound follows the pointer.
    const QPoint offCentre = centreOf(start) + QPoint(2, 0);
    const double expected =
        (start->parentWidget()->mapFrom(start->window(), offCentre).x() - 14) / areaWidth * 10.0;
    QTest::mousePress(shown.view.windowHandle(), Qt::LeftButton, Qt::NoModifier, offCentre);
    QCOMPARE(shown.view.range().lower, expected);
    QTest::mouseRelease(shown.view.windowHandle(), Qt::LeftButton, Qt::NoModifier, offCentre);
}

void TrimViewTest::veryShortRecordingLetsTheStartGoBelowZero() {
    ShownView shown(waveform(0.03), {0.0, 0.03});
    QVERIFY(shown.exposed);
    drag(handle(shown.view, "Trim start"), {areaPoint(shown.view, 10)});
    QCOMPARE(shown.view.range().lower, 0.03 - 0.05);
    QCOMPARE(shown.view.range().upper, 0.03);
}

void TrimViewTest::noDurationOrNoWidthMapsEveryDragToZero() {
    Waveform::Data empty = waveform(10.0);
    empty.totalFrames = 0;
    ShownView noDuration(empty, {0.0, 0.0});
    QVERIFY(noDuration.exposed);
    drag(handle(noDuration.view, "Trim end"), {areaPoint(noDuration.view, 400)});
    QCOMPARE(noDuration.view.range(), (TimeRange{0.0, 0.05}));

    // Without a sample rate both handles sit at 0, the end handle on top; the start handle
    // still takes its own events.
    Waveform::Data noRate = waveform(10.0);
    noRate.sampleRate = 0;
    ShownView noSampleRate(noRate, {0.0, 0.0});
    QVERIFY(noSampleRate.exposed);
    QWidget* hiddenStart = handle(noSampleRate.view, "Trim start");
    QTest::mousePress(hiddenStart, Qt::LeftButton, Qt::NoModifier, hiddenStart->rect().center());
    QTest::mouseMove(hiddenStart, hiddenStart->rect().center() + QPoint(300, 0));
    QTest::mouseRelease(hiddenStart, Qt::LeftButton, Qt::NoModifier, hiddenStart->rect().center());
    QCOMPARE(noSampleRate.view.range(), (TimeRange{-0.05, 0.0}));

    // No room for the card: its waveform area has no width.
    QWidget parent;
    parent.resize(200, 400);
    TrimView narrow(waveform(10.0), {2.0, 8.0}, nowhere, &parent);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    narrow.setGeometry(0, 0, 20, 400);
    QWidget* start = handle(narrow, "Trim start");
    QVERIFY(start->parentWidget()->width() <= 28);
    QTest::mousePress(start, Qt::LeftButton, Qt::NoModifier, start->rect().center());
    QTest::mouseMove(start, start->rect().center() + QPoint(150, 0));
    QTest::mouseRelease(start, Qt::LeftButton, Qt::NoModifier, start->rect().center());
    QCOMPARE(narrow.range(), (TimeRange{0.0, 8.0}));

    // Nonsense from outside is drawn somewhere, not crashed on.
    ShownView wide(waveform(10.0), {2.0, 8.0});
    wide.view.setRange({std::numeric_limits<double>::quiet_NaN(), 1e300});
    QVERIFY(!wide.view.grab().isNull());
}

void TrimViewTest::keyboardMovesTheFocusedHandle() {
    ShownView shown(waveform(10.0), {2.0, 8.0});
    QVERIFY(shown.exposed);
    shown.view.activateWindow();
    // A click on the card, away from the handles, gives the view focus (and with it Space).
    QTest::mouseClick(shown.view.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      areaPoint(shown.view, 300));
    QCOMPARE(QApplication::focusWidget(), &shown.view);
    QCOMPARE(shown.view.range(), (TimeRange{2.0, 8.0}));
    QTest::keyClick(&shown.view, Qt::Key_Tab);
    QWidget* start = handle(shown.view, "Trim start");
    QCOMPARE(QApplication::focusWidget(), start);

    QSignalSpy changes(&shown.view, &TrimView::rangeChanged);
    QTest::keyClick(start, Qt::Key_Right);
    QCOMPARE(shown.view.range().lower, 2.1);
    QTest::keyClick(start, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(shown.view.range().lower, 3.1);
    QTest::keyClick(start, Qt::Key_Left);
    QCOMPARE(shown.view.range().lower, 3.0);
    QCOMPARE(changes.count(), 3);
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(start, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(shown.view.range().lower, 0.0);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* end = handle(shown.view, "Trim end");
    QCOMPARE(QApplication::focusWidget(), end);
    // The same gap rule as dragging: the end stays 0.05 s after the start.
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(end, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(shown.view.range(), (TimeRange{0.0, 0.05}));
}

void TrimViewTest::autoTrimReplacesTheSelection() {
    // Sound from bin 40 (0.5 s) to bin 720 (9.0 s) of 10 s.
    TrimView view(waveform(10.0, 40, 720), {0.0, 10.0}, nowhere);
    QSignalSpy changes(&view, &TrimView::rangeChanged);
    QTest::mouseClick(button(view, "Auto-Trim Silence"), Qt::LeftButton);
    QCOMPARE(view.range().lower, 0.35);
    QCOMPARE(view.range().upper, 9.15);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(label(view, "selectedLengthLabel"), "0:08.8");
}

void TrimViewTest::autoTrimWithoutSoundChangesNothing() {
    TrimView view(waveform(10.0, 40, 720, 0.009f), {1.0, 9.0}, nowhere);
    QSignalSpy changes(&view, &TrimView::rangeChanged);
    QTest::mouseClick(button(view, "Auto-Trim Silence"), Qt::LeftButton);
    QCOMPARE(view.range(), (TimeRange{1.0, 9.0}));
    QCOMPARE(changes.count(), 0);
}

void TrimViewTest::setRangeEmitsOnlyChangesAndUpdatesTheLabels() {
    TrimView view(waveform(10.0), {2.0, 8.0}, nowhere);
    QCOMPARE(label(view, "startTimeLabel"), "0:02.0");
    QCOMPARE(label(view, "selectedLengthLabel"), "0:06.0");
    QCOMPARE(label(view, "endTimeLabel"), "0:08.0");
    QSignalSpy changes(&view, &TrimView::rangeChanged);
    view.setRange({2.0, 8.0});
    QCOMPARE(changes.count(), 0);
    view.setRange({1.25, 75.5});
    QCOMPARE(changes.count(), 1);
    QCOMPARE(lastEmitted(changes), (TimeRange{1.25, 75.5}));
    QCOMPARE(view.property("range").value<TimeRange>(), (TimeRange{1.25, 75.5}));
    QCOMPARE(label(view, "startTimeLabel"), "0:01.2");
    QCOMPARE(label(view, "selectedLengthLabel"), "1:14.2");
    QCOMPARE(label(view, "endTimeLabel"), "1:15.5");
}

void TrimViewTest::handlesGlideToANewSelection() {
    ShownView shown(waveform(10.0), {2.0, 8.0});
    QVERIFY(shown.exposed);
    QWidget* start = handle(shown.view, "Trim start");
    const int before = centreOf(start).x();
    shown.view.setRange({5.0, 8.0});
    // The selection changes at once; the handle follows over 0.15 s instead of jumping.
    QCOMPARE(centreOf(start).x(), before);
    QTRY_COMPARE_WITH_TIMEOUT(centreOf(start).x(), areaPoint(shown.view, areaWidth / 2).x(), 1000);
}

void TrimViewTest::handlesShowTheirNamesAndWidenUnderThePointer() {
    ShownView shown(waveform(10.0), {2.0, 8.0});
    QVERIFY(shown.exposed);
    QWidget* start = handle(shown.view, "Trim start");
    QWidget* end = handle(shown.view, "Trim end");
    QVERIFY(start && end);
    for (QWidget* named : {start, end, static_cast<QWidget*>(button(shown.view, "Play Selection")),
                           static_cast<QWidget*>(button(shown.view, "Auto-Trim Silence"))})
        QVERIFY(!QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name).isEmpty());
    for (QWidget* handleWidget : {start, end}) {
        QCOMPARE(QAccessible::queryAccessibleInterface(handleWidget)->text(QAccessible::Name),
                 handleWidget->toolTip());
        QCOMPARE(handleWidget->cursor().shape(), Qt::SizeHorCursor);
        QVERIFY(handleWidget->focusPolicy() & Qt::TabFocus);
    }
    QCOMPARE(end->toolTip(), "Trim end");
    QCOMPARE(start->width(), 7);
    QCOMPARE(start->height(), 140);

    QWindow* window = shown.view.windowHandle();
    QTest::mouseMove(window, centreOf(start));
    QTRY_COMPARE(start->width(), 9);
    QCOMPARE(end->width(), 7);
    QTest::mouseMove(window, areaPoint(shown.view, 300));
    QTRY_COMPARE(start->width(), 7);

    // While dragged the handle stays wide, wherever the pointer goes.
    QTest::mouseMove(window, centreOf(end));
    QTRY_COMPARE(end->width(), 9);
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, centreOf(end));
    QTest::mouseMove(window, areaPoint(shown.view, 700));
    QTest::mouseMove(window, QPoint(viewWidth + 100, 500));
    QCOMPARE(end->width(), 9);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, QPoint(viewWidth + 100, 500));
    QTRY_COMPARE(end->width(), 7);
}

void TrimViewTest::partialRepaintsLeaveTheSamePictureAsAFullOne() {
    // The window keeps what was painted before; each change repaints only what moved. After a
    // drag, keys, auto-trim and a hover, what the window shows must equal a fresh full paint.
    ShownView shown(waveform(10.0, 100, 600), {2.0, 8.0});
    QVERIFY(shown.exposed);
    QWidget* start = handle(shown.view, "Trim start");
    QWidget* end = handle(shown.view, "Trim end");
    QWindow* window = shown.view.windowHandle();
    const QImage before = window->screen()->grabWindow(shown.view.winId()).toImage();

    drag(start,
         {areaPoint(shown.view, 150), areaPoint(shown.view, 90), areaPoint(shown.view, 200)});
    drag(end, {areaPoint(shown.view, 420), areaPoint(shown.view, 480)});
    QTest::qWait(250); // the handles glide for 0.15 s
    start->setFocus(Qt::TabFocusReason);
    QTest::keyClick(start, Qt::Key_Right, Qt::ShiftModifier);
    QTest::mouseClick(button(shown.view, "Auto-Trim Silence"), Qt::LeftButton);
    QTest::mouseMove(window, centreOf(end));
    QTest::qWait(350);
    QApplication::processEvents();

    const QImage shownPicture = window->screen()->grabWindow(shown.view.winId()).toImage();
    const QImage fullPaint = shown.view.grab().toImage();
    QCOMPARE(shownPicture.size(), fullPaint.size());
    QVERIFY(shownPicture != before);
    QCOMPARE(shownPicture.convertToFormat(QImage::Format_RGB32),
             fullPaint.convertToFormat(QImage::Format_RGB32));
}

QTEST_MAIN(TrimViewTest)
#include "TrimViewTest.moc"
