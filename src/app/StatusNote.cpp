#include "StatusNote.h"

#include "AccessibleFactory.h"
#include "AppStyle.h"
#include "PlainText.h"

#include <QAccessibleWidget>
#include <QTimer>

namespace {

class StatusNoteAccessible : public QAccessibleWidget {
public:
    explicit StatusNoteAccessible(QWidget* note)
        : QAccessibleWidget(note, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return static_cast<QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

} // namespace

StatusNote::StatusNote(QWidget* parent) : QLabel(parent), hideTimer_(new QTimer(this)) {
    installAccessibleInterface<StatusNote, StatusNoteAccessible>();
    AppStyle::makeSecondary(this);
    PlainText::keep(this);
    hideTimer_->setSingleShot(true);
    hideTimer_->setInterval(shownMs);
    connect(hideTimer_, &QTimer::timeout, this, &QWidget::hide);
    hide();
}

void StatusNote::announce(const QString& text) {
    // Hidden first, so a note that is already up appears anew and is spoken again.
    hide();
    setText(text);
    show();
    hideTimer_->start();
}
