#include "MessageAlert.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "PlainText.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Close, maximise and minimise in a title bar, with room around them.
constexpr int titleBarButtonsWidth = 160;
// The icon beside the texts, with the room around it.
constexpr int iconColumnWidth = 80;

// The text's width that leaves the title bar room for the whole title. The title bar shows it
// with the app's name after it, often in a bolder font; Qt widens a message box for the bare
// title only, and a longer one was cut ("Auswahl kann nicht abg…pielt werden").
int widthForTitle(const QMessageBox& box, const QString& title) {
    const QString shown = title + QStringLiteral(" — ") + QGuiApplication::applicationDisplayName();
    return box.fontMetrics().horizontalAdvance(shown) * 6 / 5 + titleBarButtonsWidth -
           iconColumnWidth;
}

} // namespace

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
    box.setStyleSheet(AppStyle::alertStyleSheet(widthForTitle(box, title)));
}
