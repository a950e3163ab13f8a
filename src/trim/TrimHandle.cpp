#include "TrimHandle.h"

#include "AccessibleFactory.h"
#include "TrimHandleAccessible.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {
constexpr double keyStepSeconds = 0.1;
constexpr double largeKeyStepSeconds = 1.0;
constexpr double pageStepSeconds = 5.0;
// Further than any recording: the selection's rules stop the handle where it may go.
constexpr double beyondAnyRecordingSeconds = 1e12;
} // namespace

TrimHandle::TrimHandle(const QString& name, EditorModel& model, EditorModel::Bound bound,
                       QWidget* parent)
    : QWidget(parent), model_(model), bound_(bound) {
    installAccessibleInterface<TrimHandle, TrimHandleAccessible>();
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::SizeHorCursor);
    setToolTip(name);
    setAccessibleName(name);
    setAccessibleDescription(tr("Left and Right move it by a tenth of a second, with Shift by "
                                "a second; Page Up and Page Down by five seconds; Home and End "
                                "as far as it goes"));
    connect(&model_, &EditorModel::trimRangeChanged, this, &TrimHandle::announceValue);
}

void TrimHandle::announceValue(TimeRange range, TimeRange previous) {
    const bool start = bound_ == EditorModel::Bound::start;
    const double seconds = start ? range.lower : range.upper;
    if (seconds != (start ? previous.lower : previous.upper)) {
        QAccessibleValueChangeEvent event(this, seconds);
        QAccessible::updateAccessibility(&event);
    }
}

void TrimHandle::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = true;
    // The drag starts at the press itself: the handle's centre jumps to the pointer.
    emit dragged(event->globalPosition());
}

void TrimHandle::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_ && (event->buttons() & Qt::LeftButton))
        emit dragged(event->globalPosition());
}

void TrimHandle::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_)
        return;
    pressed_ = false;
    emit dragFinished();
}

void TrimHandle::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    emit hoverChanged(true);
}

void TrimHandle::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    emit hoverChanged(false);
}

void TrimHandle::keyPressEvent(QKeyEvent* event) {
    const double step =
        event->modifiers() & Qt::ShiftModifier ? largeKeyStepSeconds : keyStepSeconds;
    switch (event->key()) {
    case Qt::Key_Left:
        model_.stepBound(bound_, -step);
        break;
    case Qt::Key_Right:
        model_.stepBound(bound_, step);
        break;
    case Qt::Key_PageUp:
        model_.stepBound(bound_, pageStepSeconds);
        break;
    case Qt::Key_PageDown:
        model_.stepBound(bound_, -pageStepSeconds);
        break;
    case Qt::Key_Home:
        model_.stepBound(bound_, -beyondAnyRecordingSeconds);
        break;
    case Qt::Key_End:
        model_.stepBound(bound_, beyondAnyRecordingSeconds);
        break;
    default:
        // Space and the rest belong to the trim view.
        QWidget::keyPressEvent(event);
    }
}

void TrimHandle::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    // Coming back to the window or from a popup keeps the ring as it was; focus the app moves
    // here itself (a new stage) shows it, so keyboard users see where they are.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        focusFromKeyboard_ = reason != Qt::MouseFocusReason;
    emit focusRingChanged();
}

void TrimHandle::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    emit focusRingChanged();
}
