#pragma once

#include <QWidget>

// The hit area of one trim handle: it takes the pointer (with the resize cursor), keyboard focus
// and the accessible name, and reports what the user does. It paints nothing; the card draws the
// handle, so its picture can sit between whole points while this widget snaps to them.
class TrimHandle : public QWidget {
    Q_OBJECT

public:
    TrimHandle(const QString& name, QWidget* parent);

    // Focus that came from the keyboard shows a focus ring; a click on the handle does not.
    bool showsFocusRing() const { return hasFocus() && focusFromKeyboard_; }

    // What assistive technology reads as the handle's value: its time in seconds, how far it may
    // go, and the time as the labels show it. Every change is announced as a value change.
    void setValue(double seconds, double minimum, double maximum, const QString& text);
    double value() const { return value_; }
    double minimum() const { return minimum_; }
    double maximum() const { return maximum_; }
    QString valueText() const { return valueText_; }
    // Assistive technology setting the value: moves the handle as the keys would.
    void requestValue(double seconds) { emit stepRequested(seconds - value_); }

Q_SIGNALS:
    // Pressed, or moved while pressed: where the pointer is, in global coordinates.
    void dragged(QPointF globalPosition);
    void dragFinished();
    void hoverChanged(bool hovered);
    // Left/Right and the other keys: move the handle by this many seconds.
    void stepRequested(double seconds);
    void focusRingChanged();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool pressed_ = false;
    bool focusFromKeyboard_ = false;
    double value_ = 0.0;
    double minimum_ = 0.0;
    double maximum_ = 0.0;
    QString valueText_;
};
