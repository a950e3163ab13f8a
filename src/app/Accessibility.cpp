#include "Accessibility.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>

namespace {

void raiseInLayoutOrder(QLayout* layout) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QWidget* widget = item->widget())
            widget->raise();
        else if (QLayout* inner = item->layout())
            raiseInLayoutOrder(inner);
    }
}

} // namespace

namespace Accessibility {

void orderChildrenAsLaidOut(QWidget* widget) {
    // Raising moves a child to the end of its parent's list; raising every laid-out child in
    // turn leaves them in layout order. They don't overlap, so nothing changes on screen.
    if (QLayout* layout = widget->layout())
        raiseInLayoutOrder(layout);
}

void nameAlertIcon(QMessageBox* box) {
    if (auto* icon = box->findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
        icon->setAccessibleName(QCoreApplication::translate("Accessibility", "Sonabrix icon"));
}

} // namespace Accessibility
