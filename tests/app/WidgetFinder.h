#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QWidget>

// Finds what a user would see and click: buttons by their text, alerts by their title.
namespace WidgetFinder {

inline QAbstractButton* visibleButton(const QWidget* root, const QString& text) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
        if (button->text() == text && button->isVisibleTo(root->window())) {
            return button;
        }
    }
    return nullptr;
}

inline QMessageBox* openAlert(const QString& title) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box && box->isVisible() && box->text() == title) {
            return box;
        }
    }
    return nullptr;
}

inline int openAlertCount() {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(window) && window->isVisible()) {
            ++count;
        }
    }
    return count;
}

inline QAbstractButton* alertButton(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

} // namespace WidgetFinder
