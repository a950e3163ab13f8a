#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QSystemTrayIcon;
class SystemAudioRecorder;

// The replay's icon in the desktop's tray, there while the replay is on, so that it stays plain
// that Sonabrix listens after its window is closed: its icon and tooltip say so, and its menu
// saves what was kept, brings the window back, or stops keeping sound.
class ReplayTray : public QObject {
    Q_OBJECT

public:
    // `save` is the window's own action, shared.
    ReplayTray(SystemAudioRecorder& recorder, QAction* save, QObject* parent = nullptr);
    ~ReplayTray() override;

    // The desktop has a tray to put the icon in.
    static bool isAvailable();
    QSystemTrayIcon* icon() const { return icon_; }
    QMenu* menu() const { return menu_; }
    // The window's title, which says what it keeps; the tooltip follows it.
    void setTitle(const QString& title);

    // A passing message from the icon; clicking it asks for the window.
    void tell(const QString& title, const QString& message);

signals:
    void openRequested();
    void stopRequested();

private:
    void update();

    SystemAudioRecorder& recorder_;
    QMenu* menu_;
    QAction* stop_;
    QSystemTrayIcon* icon_;
    // Drawn once: the title, and with it the tooltip, changes every second while recording.
    QIcon listening_;
    QIcon waiting_;
    QString title_;
};
