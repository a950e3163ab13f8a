#include "ButtonKeys.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

namespace {

bool isPlain(const QKeyEvent* key) {
    return (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Buttons in dialogs already answer Enter: there it belongs to the dialog's default button.
bool outsideDialogs(const QWidget* button) {
    return qobject_cast<const QDialog*>(button->window()) == nullptr;
}

} // namespace

void ButtonKeys::install() {
    auto* application = QCoreApplication::instance();
    if (!application || application->findChild<ButtonKeys*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    application->installEventFilter(new ButtonKeys(application));
}

bool ButtonKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    // Keys are delivered to the focused widget, so a button receiving them holds the focus.
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (!button || !button->isEnabled())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!isPlain(key))
        return false;
    if (key->key() == Qt::Key_Space && type == QEvent::ShortcutOverride) {
        // Claimed, the key reaches the button, which presses and clicks on it as usual.
        event->accept();
        return true;
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    const bool pushable =
        qobject_cast<QPushButton*>(button) != nullptr || qobject_cast<QToolButton*>(button);
    if (!enter || !pushable || !outsideDialogs(button))
        return false;
    if (type == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (!key->isAutoRepeat())
        button->animateClick();
    return true;
}
