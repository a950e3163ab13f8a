#include "FocusRingStyle.h"

#include "Theme.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

FocusRingStyle* FocusRingStyle::instance() {
    // Owned by the application, so it goes before the style it stands in front of.
    static FocusRingStyle* style = [] {
        auto* created = new FocusRingStyle;
        created->setParent(qApp);
        return created;
    }();
    return style;
}

void FocusRingStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    const bool keyboardFocus =
        (option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange);
    if (element != CE_PushButtonBevel || !keyboardFocus)
        return;
    const QColor ring = Theme::from(option->palette).focusRing;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(ring, ringWidth));
    painter->setBrush(Qt::NoBrush);
    const double inset = ringWidth / 2 + 0.5;
    const QRectF edge = QRectF(option->rect).adjusted(inset, inset, -inset, -inset);
    painter->drawRoundedRect(edge, 4.0, 4.0);
    painter->restore();
}
