#include "DetailPeaksFile.h"
#include "MainWindow.h"
#include "RecordedStageView.h"
#include "RecordingStageView.h"
#include "SaveFlow.h"
#include "StageContainer.h"
#include "StatusNote.h"
#include "TestSupport.h"
#include "TrimCard.h"
#include "TrimHandle.h"
#include "TrimView.h"

#include <QAccessible>
#include <QAccessibleValueInterface>

namespace {

QAccessibleInterface* accessible(QObject* object) {
    return QAccessible::queryAccessibleInterface(object);
}

QString describe(QAccessibleInterface* iface) {
    QObject* object = iface->object();
    return QString("%1 (role %2, object %3)")
        .arg(iface->text(QAccessible::Name))
        .arg(int(iface->role()))
        .arg(object ? object->metaObject()->className() : "none");
}

// Every visible control or picture a screen reader would stop at and find without a name.
QStringList unnamed(QAccessibleInterface* iface) {
    QStringList found;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child || child->state().invisible || child->role() == QAccessible::Separator) {
            continue;
        }
        const bool control = child->childCount() == 0 || child->role() == QAccessible::Slider ||
                             child->role() == QAccessible::PushButton;
        if (control && child->text(QAccessible::Name).trimmed().isEmpty()) {
            found << describe(child);
        }
        found << unnamed(child);
    }
    return found;
}

// Children a screen reader would read before something that lies above or to their left.
QStringList outOfReadingOrder(QAccessibleInterface* iface) {
    QStringList found;
    QRect previous;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child || child->state().invisible || child->rect().isEmpty()) {
            continue;
        }
        const QRect rect = child->rect();
        const bool above = rect.bottom() < previous.top();
        const bool leftInSameRow = rect.top() <= previous.bottom() &&
                                   rect.bottom() >= previous.top() &&
                                   rect.right() < previous.left();
        if (previous.isValid() && (above || leftInSameRow)) {
            found << describe(child) + " after " + describe(iface);
        }
        previous = rect;
        found << outOfReadingOrder(child);
    }
    return found;
}

QAccessibleValueInterface* slider(TrimHandle* handle) {
    QAccessibleInterface* iface = accessible(handle);
    return iface && iface->role() == QAccessible::Slider ? iface->valueInterface() : nullptr;
}

} // namespace

// The stages as assistive technology meets them, through the interfaces Qt hands to the
// desktop's accessibility bus: names, roles, slider values, focus, and the events that make a
// screen reader speak.
class AccessibilityTest : public QObject {
    Q_OBJECT

    std::shared_ptr<CaptureScript> script_;
    std::unique_ptr<MainWindow> window_;
    // For each stage, what held the focus as it arrived: class and accessible name.
    QMap<Stage::Kind, QString> focusOnArrival_;

    ContentView* view() const { return window_->contentView(); }
    QWidget* focused() const { return window_->focusWidget(); }
    TrimHandle* handle(int index) const {
        const auto handles = window_->findChildren<TrimHandle*>();
        return handles.value(index);
    }
    void checkEverythingNamedAndInOrder() {
        QAccessibleInterface* root = accessible(window_.get());
        QVERIFY2(unnamed(root).isEmpty(), qPrintable(unnamed(root).join("; ")));
        QVERIFY2(outOfReadingOrder(root).isEmpty(), qPrintable(outOfReadingOrder(root).join("; ")));
    }
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(focused() ? focused() : window_.get(), key, modifiers);
    }
    static QString nameOf(QWidget* widget) {
        return widget->metaObject()->className() +
               (": " + accessible(widget)->text(QAccessible::Name));
    }
    // The controls Tab stops at, once round from the focused one.
    QStringList tabRound() {
        QWidget* const first = focused();
        QStringList visited;
        for (QWidget* current = first; current && visited.size() < 20;) {
            visited << nameOf(current);
            press(Qt::Key_Tab);
            current = focused() == first ? nullptr : focused();
        }
        return visited;
    }
    // Every control on the screen that takes the focus from the keyboard.
    QStringList tabStops() const {
        QStringList stops;
        for (QWidget* widget : window_->findChildren<QWidget*>()) {
            if (widget->isVisible() && widget->isEnabled() && !widget->focusProxy() &&
                (widget->focusPolicy() & Qt::TabFocus))
                stops << nameOf(widget);
        }
        return stops;
    }
    // Stop and the editor with a recording of 1 s silence, 1 s sound, 1 s silence.
    void recordAndStop() {
        press(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recording);
        script_->deliver(1.0, 0.0f);
        script_->deliver(1.0, 0.5f);
        script_->deliver(1.0, 0.0f);
        press(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recorded);
        QTRY_VERIFY(!window_->findChild<StageContainer*>()->isFading());
    }

private slots:
    void initTestCase() { QVERIFY(testFolder().isValid()); }

    void init() {
        QVERIFY(window_ = scriptedView<MainWindow>(script_ = std::make_shared<CaptureScript>()));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        focusOnArrival_.clear();
        connect(view(), &ContentView::stageChanged, this, [this](Stage::Kind stage) {
            QWidget* widget = focused();
            focusOnArrival_[stage] = widget ? QString(widget->metaObject()->className()) + ": " +
                                                  accessible(widget)->text(QAccessible::Name)
                                            : QString();
        });
    }

    void cleanup() {
        closeAlerts();
        QTRY_VERIFY_WITH_TIMEOUT(!view()->saveFlow().isExporting(), 20000);
        window_.reset();
    }

    void everyStageIsNamedReadInOrderAndTakesTheKeys() {
        QCOMPARE(accessible(window_.get())->text(QAccessible::Name), QString("Sonabrix"));
        QCOMPARE(focused(), view()->findChild<QPushButton*>());
        QCOMPARE(focused()->accessibleName(), QString("Record System Audio"));
        checkEverythingNamedAndInOrder();
        if (QTest::currentTestFailed()) {
            return;
        }

        press(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recording);
        QTRY_VERIFY(!window_->findChild<StageContainer*>()->isFading());
        QCOMPARE(focused()->accessibleName(), QString("Pause"));
        checkEverythingNamedAndInOrder();
        if (QTest::currentTestFailed()) {
            return;
        }
        // The state reaches the listener twice: the window's name, and a note that appears.
        QCOMPARE(accessible(window_.get())->text(QAccessible::Name),
                 QString("Recording — Sonabrix"));
        auto* note = view()->statusNote();
        QCOMPARE(accessible(note)->role(), QAccessible::Notification);
        QCOMPARE(accessible(note)->text(QAccessible::Name), QString("Recording started"));
        QVERIFY(note->isVisible());
        // The clock reads as its digits and says when they change.
        auto* clock = view()->findChild<RecordingStageView*>()->findChildren<QLabel*>().value(0);
        QCOMPARE(accessible(clock)->text(QAccessible::Name), QString("Elapsed time 00:00"));
        QTRY_COMPARE_WITH_TIMEOUT(accessible(clock)->text(QAccessible::Name),
                                  QString("Elapsed time 00:01"), 3000);

        script_->deliver(2.0, 0.5f);
        press(Qt::Key_R, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recorded);
        // Opened from the peaks saved beside it: no analysing stage in between.
        QVERIFY(!focusOnArrival_.contains(Stage::Kind::analysing));
        QCOMPARE(focusOnArrival_.value(Stage::Kind::recorded), QString("TrimHandle: Trim start"));
        QCOMPARE(focused(), handle(0));
        QTRY_VERIFY(!window_->findChild<StageContainer*>()->isFading());
        checkEverythingNamedAndInOrder();
        if (QTest::currentTestFailed()) {
            return;
        }
        QCOMPARE(accessible(window_->findChild<TrimCard*>())->text(QAccessible::Name),
                 QString("Waveform of a 0:02.0 recording, 0:02.0 selected"));

        press(Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::idle);
        QCOMPARE(focused()->accessibleName(), QString("Record System Audio"));

        // A recording without saved peaks is read under the analysing stage, which says so.
        const QString path = view()->recorder().lastRecordingURL()->toLocalFile();
        QVERIFY(QFile::remove(DetailPeaksFile::pathFor(path)));
        view()->openRecording(path);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recorded);
        QCOMPARE(focusOnArrival_.value(Stage::Kind::analysing),
                 QString("AnalyzingStageView: Analyzing recording…"));
        press(Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::idle);
    }

    void handlesAreSlidersThatSayEveryMove() {
        recordAndStop();
        TrimHandle* start = handle(0);
        TrimHandle* end = handle(1);
        QAccessibleValueInterface* startValue = slider(start);
        QAccessibleValueInterface* endValue = slider(end);
        QVERIFY(startValue && endValue);
        QCOMPARE(accessible(start)->text(QAccessible::Name), QString("Trim start"));
        QCOMPARE(accessible(end)->text(QAccessible::Name), QString("Trim end"));
        QCOMPARE(startValue->currentValue().toDouble(), 0.0);
        QCOMPARE(startValue->minimumValue().toDouble(), 0.0);
        QCOMPARE(startValue->maximumValue().toDouble(), 2.95);
        QCOMPARE(endValue->currentValue().toDouble(), 3.0);
        QCOMPARE(endValue->maximumValue().toDouble(), 3.0);
        QCOMPARE(accessible(end)->text(QAccessible::Value), QString("0:03.0"));

        // Every way of moving a handle shows in its value and its text.
        const auto expectAt = [&](TrimHandle* handle, double seconds) {
            QAccessibleInterface* iface = accessible(handle);
            const double value = iface->valueInterface()->currentValue().toDouble();
            QVERIFY2(std::abs(value - seconds) < 1e-9,
                     qPrintable(QString("at %1, expected %2").arg(value).arg(seconds)));
            QCOMPARE(iface->text(QAccessible::Value), TrimView::timeLabel(seconds));
        };
        press(Qt::Key_Right);
        expectAt(start, 0.1);
        QCOMPARE(accessible(start)->text(QAccessible::Value), QString("0:00.1"));
        press(Qt::Key_End);
        expectAt(start, 2.95);
        press(Qt::Key_PageDown);
        expectAt(start, 0.0);
        press(Qt::Key_PageUp);
        expectAt(start, 2.95);
        press(Qt::Key_Home);
        expectAt(start, 0.0);
        press(Qt::Key_Right, Qt::ShiftModifier);
        expectAt(start, 1.0);
        press(Qt::Key_Home);
        expectAt(start, 0.0);
        QCOMPARE(endValue->minimumValue().toDouble(), 0.05);

        press(Qt::Key_Tab);
        QCOMPARE(focused(), end);
        press(Qt::Key_Home);
        expectAt(end, 0.05);
        press(Qt::Key_End);
        expectAt(end, 3.0);

        // Assistive technology can set a value itself; nonsense moves nothing.
        startValue->setCurrentValue(1.5);
        expectAt(start, 1.5);
        QCOMPARE(view()->trimRange().lower, 1.5);
        startValue->setCurrentValue(QVariant("later"));
        startValue->setCurrentValue(std::nan(""));
        expectAt(start, 1.5);

        // A drag, by the pointer's place on the card.
        auto* card = window_->findChild<TrimCard*>();
        const QPoint quarter(card->width() / 4, card->height() / 2);
        QTest::mousePress(start, Qt::LeftButton, {}, start->mapFrom(card, quarter));
        QTest::mouseRelease(start, Qt::LeftButton, {}, start->mapFrom(card, quarter));
        QVERIFY(view()->trimRange().lower < 1.0);
        expectAt(start, view()->trimRange().lower);

        // Auto-trim moves both.
        startValue->setCurrentValue(0.0);
        click(window_.get(), "Auto-Trim Silence");
        QVERIFY(view()->trimRange().lower > 0.5);
        expectAt(start, view()->trimRange().lower);
        expectAt(end, view()->trimRange().upper);
        QCOMPARE(accessible(card)->text(QAccessible::Name),
                 "Waveform of a 0:03.0 recording, " +
                     TrimView::timeLabel(view()->trimRange().length()) + " selected");
    }

    void aSaveIsConfirmedAndAlertsAreNamed() {
        recordAndStop();
        const QString path = testFolder().filePath("confirmed.m4a");
        view()->saveFlow().setDestinationProvider(
            [path](const QString&) { return std::optional(QUrl::fromLocalFile(path)); });
        press(Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(!view()->saveFlow().isExporting(), 20000);
        QVERIFY(QFile::exists(path));
        auto* note = view()->statusNote();
        QVERIFY(note->isVisible());
        QCOMPARE(accessible(note)->text(QAccessible::Name), QString("Trimmed audio saved"));

        // A failed save is not confirmed; its alert is read in full.
        note->hide();
        view()->saveFlow().setDestinationProvider([](const QString&) {
            return std::optional(QUrl::fromLocalFile("/nonexistent-folder/clip.m4a"));
        });
        press(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QTest::qWaitFor([] { return openAlert("Couldn't save") != nullptr; }, 20000));
        QVERIFY(!note->isVisible());
        QAccessibleInterface* alert = accessible(openAlert("Couldn't save"));
        QVERIFY2(unnamed(alert).isEmpty(), qPrintable(unnamed(alert).join("; ")));
    }

    void helpDialogsAreReadInFull() {
        for (const QString item : {"&Keyboard Shortcuts", "&About Sonabrix"}) {
            QAction* action = nullptr;
            for (QAction* menu : window_->menuBar()->actions()) {
                for (QAction* candidate : menu->menu()->actions()) {
                    action = candidate->text() == item ? candidate : action;
                }
            }
            QVERIFY(action);
            QStringList missing{"no dialog"};
            QTimer::singleShot(50, [&] {
                if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    missing = unnamed(accessible(box));
                    box->reject();
                }
            });
            action->trigger();
            QVERIFY2(missing.isEmpty(), qPrintable(item + ": " + missing.join("; ")));
        }
    }

    void everyFocusableControlShowsItsFocus() {
        recordAndStop();
        const auto picture = [this](QWidget* widget) {
            const QRect area(widget->mapTo(window_.get(), QPoint(0, 0)), widget->size());
            return window_->grab(area.adjusted(-6, -6, 6, 6)).toImage();
        };
        // Round the Tab chain once: each control looks different while it holds the focus.
        QWidget* const first = focused();
        QStringList visited;
        for (QWidget* current = first; current && visited.size() < 20;) {
            const QString name = current->metaObject()->className() +
                                 (": " + accessible(current)->text(QAccessible::Name));
            const QImage focusedLook = picture(current);
            press(Qt::Key_Tab);
            QVERIFY2(focused() != current, qPrintable(name));
            QVERIFY2(picture(current) != focusedLook, qPrintable("no visible focus on " + name));
            visited << name;
            current = focused() == first ? nullptr : focused();
        }
        QCOMPARE(visited,
                 (QStringList{"TrimHandle: Trim start", "TrimHandle: Trim end",
                              "QPushButton: Play Selection", "QPushButton: Auto-Trim Silence",
                              "QPushButton: New Recording", "QPushButton: Save Trimmed Audio…"}));
    }

    // Tab reaches every control of a screen, in the order the eye reads them: the list of
    // recordings and its buttons, and Show in Folder once a save is done, too.
    void tabReachesEveryControl() {
        recordAndStop();
        press(Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::idle);
        QTRY_VERIFY(!window_->findChild<StageContainer*>()->isFading());
        QStringList round = tabRound();
        QStringList stops = tabStops();
        QCOMPARE(round.mid(0, 2),
                 (QStringList{"QPushButton: Record System Audio", "QComboBox: Whole computer"}));
        QCOMPARE(round.mid(round.size() - 5),
                 (QStringList{"QListView: Recordings", "QPushButton: Open", "QPushButton: Rename…",
                              "QPushButton: Show in Folder", "QPushButton: Move to Trash…"}));
        round.sort();
        stops.sort();
        QCOMPARE(round, stops);

        view()->openRecording(view()->recorder().lastRecordingURL()->toLocalFile());
        QTRY_COMPARE(view()->stageKind(), Stage::Kind::recorded);
        QTRY_VERIFY(!window_->findChild<StageContainer*>()->isFading());
        view()->findChild<RecordedStageView*>()->showSaved(QDir::temp().filePath("Walk.m4a"));
        QCOMPARE(tabRound(),
                 (QStringList{"TrimHandle: Trim start", "TrimHandle: Trim end",
                              "QPushButton: Play Selection", "QPushButton: Auto-Trim Silence",
                              "QPushButton: Show in Folder", "QPushButton: New Recording",
                              "QPushButton: Save Trimmed Audio…"}));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
