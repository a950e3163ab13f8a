#pragma once

#include <QWidget>

// A one-pixel horizontal line in the separator colour.
class Divider : public QWidget {
    Q_OBJECT

public:
    explicit Divider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
