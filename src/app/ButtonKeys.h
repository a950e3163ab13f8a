#pragma once

#include <QObject>

// A focused push button answers Space and Enter, as everywhere on the desktop. Qt gives a button
// outside a dialog no Enter, and a window-wide Space shortcut takes Space before the button
// sees it; this filter, installed once on the application, gives both keys back to the button.
class ButtonKeys : public QObject {
    Q_OBJECT

public:
    // Idempotent; lives as long as the application.
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};
