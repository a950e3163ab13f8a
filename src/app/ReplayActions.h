#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>

class AppFlow;
class QAction;
class QActionGroup;
class QWidget;

// The replay's commands, for the menus and the tray: how long it keeps (Off and each length
// offered, one checked), saving what it kept, and whether a save drops what was kept. They stay
// in step with the recorder, whichever way it was switched.
class ReplayActions : public QObject {
    Q_OBJECT

public:
    // The save's key works wherever the keys of `window`'s content go.
    ReplayActions(AppFlow& flow, QWidget* window);

    // Off first, then the lengths in ReplayMemory's order.
    QList<QAction*> lengthActions() const { return lengthActions_; }
    QAction* saveAction() const { return saveAction_; }
    QAction* startAfreshAction() const { return startAfreshAction_; }
    static QKeySequence saveKey() { return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S); }

    // For a length in minutes, one of them singular in English and German alike (1, not 5).
    // "Save Last 5 Minutes":
    static QString saveText(int minutes);
    // "5 minutes", as the start screen offers it:
    static QString lengthText(int minutes);
    // "Keeping the last 5 minutes", for the window's title and the tray:
    static QString keepingText(int minutes);

private:
    void update();

    AppFlow& flow_;
    QActionGroup* lengths_;
    QList<QAction*> lengthActions_;
    QAction* saveAction_;
    QAction* startAfreshAction_;
};
