#pragma once

#include <QAccessible>

// For the widget libraries: makes `Interface` what assistive technology sees of every `Widget`
// (a class with Q_OBJECT). Installs Qt's factory once, however often it is called.
template <typename Widget, typename Interface> void installAccessibleInterface() {
    static const bool installed = [] {
        QAccessible::installFactory(
            [](const QString& className, QObject* object) -> QAccessibleInterface* {
                auto* widget = qobject_cast<Widget*>(object);
                if (!widget || className != QLatin1String(Widget::staticMetaObject.className()))
                    return nullptr;
                return new Interface(widget);
            });
        return true;
    }();
    Q_UNUSED(installed);
}
