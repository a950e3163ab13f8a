#pragma once

#include <QLabel>

class QTimer;

// A short note that shows for a few seconds and is spoken by screen readers as it appears:
// assistive technology sees it as a notification, which Qt passes on when it is shown.
class StatusNote : public QLabel {
    Q_OBJECT

public:
    explicit StatusNote(QWidget* parent = nullptr);

    void announce(const QString& text);

    static constexpr int shownMs = 4000;

private:
    QTimer* hideTimer_;
};
