#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

class TrimHandle;

// A trim handle as assistive technology sees it: a slider named after the bound it sets, whose
// value is the bound's time in seconds and whose text is that time as the labels show it.
class TrimHandleAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TrimHandleAccessible(TrimHandle* handle);

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    TrimHandle* handle() const;
};
