#include "ReplayTray.h"

#include "AppStyle.h"
#include "Logging.h"
#include "SystemAudioRecorder.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <algorithm>

namespace {

// The app's icon with a red dot, as on the recording screen, while the replay listens.
QIcon trayIcon(bool listening) {
    const QIcon app = AppStyle::applicationIcon();
    if (!listening)
        return app;
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = app.pixmap(side, side);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal dot = side * 0.42;
        painter.setPen(QPen(Qt::white, std::max(1.0, side / 16.0)));
        painter.setBrush(AppStyle::recordingRed());
        painter.drawEllipse(QRectF(side - dot - 0.5, side - dot - 0.5, dot, dot));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

ReplayTray::ReplayTray(SystemAudioRecorder& recorder, QAction* save, QObject* parent)
    : QObject(parent), recorder_(recorder), menu_(new QMenu), stop_(new QAction(this)),
      icon_(new QSystemTrayIcon(this)), listening_(trayIcon(true)), waiting_(trayIcon(false)) {
    menu_->addAction(save);
    QAction* open = menu_->addAction(tr("&Open Sonabrix"));
    connect(open, &QAction::triggered, this, &ReplayTray::openRequested);
    menu_->addSeparator();
    stop_->setText(tr("&Stop Keeping Sound"));
    menu_->addAction(stop_);
    connect(stop_, &QAction::triggered, this, &ReplayTray::stopRequested);
    icon_->setContextMenu(menu_);
    // A click on the icon itself brings the window, as the desktops' other tray icons do.
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
                    emit openRequested();
            });
    connect(icon_, &QSystemTrayIcon::messageClicked, this, &ReplayTray::openRequested);
    connect(&recorder, &SystemAudioRecorder::replayMinutesChanged, this, &ReplayTray::update);
    connect(&recorder, &SystemAudioRecorder::isReplayListeningChanged, this, &ReplayTray::update);
    connect(&recorder, &SystemAudioRecorder::replayProblemChanged, this, &ReplayTray::update);
    update();
}

ReplayTray::~ReplayTray() {
    // A context menu has no parent; the icon lets go of it first.
    icon_->setContextMenu(nullptr);
    delete menu_;
}

bool ReplayTray::isAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void ReplayTray::setTitle(const QString& title) {
    title_ = title;
    update();
}

void ReplayTray::tell(const QString& title, const QString& message) {
    icon_->showMessage(title, message, icon_->icon());
}

void ReplayTray::update() {
    const bool on = recorder_.replayMinutes() > 0;
    const std::optional<QString> problem = recorder_.replayProblem();
    icon_->setIcon(recorder_.isReplayListening() ? listening_ : waiting_);
    // Shown as plain text: the problem is in the sound server's words.
    const QString tip = problem ? title_ + QLatin1Char('\n') + *problem : title_;
    if (Qt::mightBeRichText(tip)) {
        const QString escaped =
            tip.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
        icon_->setToolTip(QStringLiteral("<qt>%1</qt>").arg(escaped));
    } else {
        icon_->setToolTip(tip);
    }
    if (on != icon_->isVisible()) {
        qCInfo(lcApp) << (on ? "Showing" : "Hiding") << "the replay's tray icon; a tray is"
                      << (isAvailable() ? "there" : "missing");
        icon_->setVisible(on);
    }
}
