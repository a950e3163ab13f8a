#pragma once

#include "EditorModel.h"

#include <QWidget>

// The hit area of one trim handle: it takes the pointer (with the resize cursor), keyboard focus
// and the accessible name; keys move its bound of the editor's selection, the pointer is reported.
// It paints nothing; the card draws the handle, so its picture can sit between whole points while
// this widget snaps to them.
class TrimHandle : public QWidget {
    Q_OBJECT

public:
    TrimHandle(const QString& name, EditorModel& model, EditorModel::Bound bound, QWidget* parent);

    // Focus that came from the keyboard shows a focus ring; a click on the handle does not.
    bool showsFocusRing() const { return hasFocus() && focusFromKeyboard_; }

    // What assistive technology reads as the handle's value: its bound's time in seconds, how far
    // it may go, and the time as the labels show it. Every change is announced as a value change.
    double value() const { return model_.boundTime(bound_); }
    double minimum() const { return model_.boundMinimum(bound_); }
    double maximum() const { return model_.boundMaximum(bound_); }
    QString valueText() const { return EditorModel::timeLabel(value()); }
    // Assistive technology setting the value: moves the handle as the keys would.
    void requestValue(double seconds) { model_.stepBound(bound_, seconds - value()); }

Q_SIGNALS:
    // Pressed, or moved while pressed: where the pointer is, in global coordinates.
    void dragged(QPointF globalPosition);
    void dragFinished();
    void hoverChanged(bool hovered);
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
    void announceValue(TimeRange range, TimeRange previous);

    EditorModel& model_;
    EditorModel::Bound bound_;
    bool pressed_ = false;
    bool focusFromKeyboard_ = false;
};
