#include "ElidedLabel.h"

#include "PlainText.h"

#include <QResizeEvent>

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    PlainText::keep(this);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text) {
    fullText_ = text;
    setToolTip(Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
    setAccessibleName(text);
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    const int room = contentsRect().width();
    const QString shown =
        fontMetrics().horizontalAdvance(fullText_) <= room
            ? fullText_
            : fontMetrics().elidedText(fullText_, Qt::ElideMiddle, std::max(0, room));
    if (shown != text())
        setText(shown);
}
