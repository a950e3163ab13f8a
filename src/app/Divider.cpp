#include "Divider.h"

#include "AccessibleFactory.h"
#include "AppStyle.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace {

// A line between parts, read as a separator rather than an unnamed control.
struct DividerAccessible : QAccessibleWidget {
    explicit DividerAccessible(QWidget* divider)
        : QAccessibleWidget(divider, QAccessible::Separator) {}
};

} // namespace

Divider::Divider(QWidget* parent) : QWidget(parent) {
    installAccessibleInterface<Divider, DividerAccessible>();
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), AppStyle::separatorColor());
}
