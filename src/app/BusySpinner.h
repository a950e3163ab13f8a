#pragma once

#include <QWidget>

class QVariantAnimation;

// A small indeterminate spinner: an arc that turns while the spinner is on screen.
class BusySpinner : public QWidget {
    Q_OBJECT

public:
    explicit BusySpinner(int diameter, QWidget* parent = nullptr);

    // The arc's colour; the text colour unless set.
    void setColor(const QColor& color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int diameter_;
    QColor color_;
    qreal angleDegrees_ = 0.0;
    QVariantAnimation* rotation_;
};
