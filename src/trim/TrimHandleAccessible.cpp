#include "TrimHandleAccessible.h"

#include "AccessibleFactory.h"
#include "TrimHandle.h"

#include <cmath>

namespace {
constexpr double smallestStepSeconds = 0.1;
} // namespace

TrimHandleAccessible::TrimHandleAccessible(TrimHandle* handle)
    : QAccessibleWidget(handle, QAccessible::Slider) {}

QString TrimHandleAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value)
        return handle()->valueText();
    return QAccessibleWidget::text(t);
}

void* TrimHandleAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant TrimHandleAccessible::currentValue() const {
    return handle()->value();
}

void TrimHandleAccessible::setCurrentValue(const QVariant& value) {
    bool isNumber = false;
    const double seconds = value.toDouble(&isNumber);
    if (isNumber && std::isfinite(seconds))
        handle()->requestValue(seconds);
}

QVariant TrimHandleAccessible::maximumValue() const {
    return handle()->maximum();
}

QVariant TrimHandleAccessible::minimumValue() const {
    return handle()->minimum();
}

QVariant TrimHandleAccessible::minimumStepSize() const {
    return smallestStepSeconds;
}

TrimHandle* TrimHandleAccessible::handle() const {
    return static_cast<TrimHandle*>(widget());
}
