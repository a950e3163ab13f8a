#include "TrimHandle.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {
constexpr double keyStepSeconds = 0.1;
constexpr double largeKeyStepSeconds = 1.0;
} // namespace

TrimHandle::TrimHandle(const QString& name, QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::SizeHorCursor);
    setToolTip(name);
    setAccessibleName(name);
    setAccessibleDescription(tr("Left and Right move it by a tenth of a second, with Shift by "
                                "a second"));
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
        emit stepRequested(-step);
        break;
    case Qt::Key_Right:
        emit stepRequested(step);
        break;
    default:
        // Space and the rest belong to the trim view.
        QWidget::keyPressEvent(event);
    }
}

void TrimHandle::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    const Qt::FocusReason reason = event->reason();
    // Coming back to the window or from a popup keeps the ring as it was.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
        focusFromKeyboard_ = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                             reason == Qt::ShortcutFocusReason;
    emit focusRingChanged();
}

void TrimHandle::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    emit focusRingChanged();
}
