#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QMessageBox;
class QWidget;

// One alert kept in step with a message: shown while the message holds text, updated when the
// text changes, closed when the message is cleared elsewhere. Its "OK" clears the message.
class MessageAlert : public QObject {
    Q_OBJECT

public:
    MessageAlert(QWidget* window, QString title, std::function<void()> clearMessage);

    void sync(const std::optional<QString>& message);

    // An alert in the app's look, without buttons yet; it deletes itself when closed.
    static QMessageBox* create(QWidget* window, const QString& title, const QString& message);
    // The app's look for any message box: its icon, the title as heading, the message below.
    static void style(QMessageBox& box, const QString& title, const QString& message);

private:
    QWidget* window_;
    QString title_;
    std::function<void()> clearMessage_;
    QPointer<QMessageBox> box_;
};
