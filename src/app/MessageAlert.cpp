#include "MessageAlert.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "PlainText.h"

#include <QMessageBox>
#include <QPushButton>

MessageAlert::MessageAlert(QWidget* window, QString title, std::function<void()> clearMessage)
    : QObject(window), window_(window), title_(std::move(title)),
      clearMessage_(std::move(clearMessage)) {}

void MessageAlert::sync(const std::optional<QString>& message) {
    if (!message) {
        if (QMessageBox* box = box_) {
            box_ = nullptr;
            box->reject();
        }
        return;
    }
    if (box_) {
        box_->setInformativeText(*message);
        PlainText::keep(*box_);
        return;
    }
    QMessageBox* box = create(window_, title_, *message);
    QPushButton* ok = box->addButton(tr("OK"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    box_ = box;
    connect(box, &QMessageBox::finished, this, [this, box] {
        // Only the user's "OK" clears the message; a message cleared elsewhere just closes it.
        if (box_ == box) {
            box_ = nullptr;
            clearMessage_();
        }
    });
    box->open();
}

QMessageBox* MessageAlert::create(QWidget* window, const QString& title, const QString& message) {
    auto* box = new QMessageBox(window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    style(*box, title, message);
    return box;
}

void MessageAlert::style(QMessageBox& box, const QString& title, const QString& message) {
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(title);
    box.setInformativeText(message);
    PlainText::keep(box);
    box.setIconPixmap(AppStyle::applicationIcon().pixmap(QSize(56, 56), box.devicePixelRatioF()));
    Accessibility::nameAlertIcon(&box);
    box.setStyleSheet(AppStyle::alertStyleSheet());
}
