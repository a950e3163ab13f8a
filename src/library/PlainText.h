#pragma once

#include <QLabel>
#include <QMessageBox>
#include <QString>

// Text that comes from outside the app (a sound server's device names, a file's name, an error
// from the system, an update server's answer) is shown as written: never read as rich text,
// never with a live link.
namespace PlainText {

inline void keep(QLabel* label) {
    if (!label) {
        return;
    }
    label->setTextFormat(Qt::PlainText);
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(label->textInteractionFlags() &
                                   ~(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard));
}

// Both texts of a message box. QMessageBox::setTextFormat() covers only the main text; the
// informative text's label, made when that text is first set, reads rich text and opens links
// by itself. Call after every setInformativeText().
inline void keep(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    for (const char* name : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
        keep(box.findChild<QLabel*>(QLatin1String(name)));
    }
}

// A warning whose texts are shown as written.
inline void warn(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    keep(box);
    box.exec();
}

} // namespace PlainText
