#include "StageContainer.h"

#include "AppStyle.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QVBoxLayout>

StageContainer::StageContainer(QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)), fadingSnapshot_(new QLabel(this)),
      fade_(nullptr) {
    layout_->setContentsMargins(contentPadding, contentPadding, contentPadding, contentPadding);
    layout_->setSpacing(0);

    auto* opacity = new QGraphicsOpacityEffect(fadingSnapshot_);
    fadingSnapshot_->setGraphicsEffect(opacity);
    fadingSnapshot_->setAttribute(Qt::WA_TransparentForMouseEvents);
    fadingSnapshot_->setAccessibleName(tr("Previous screen, fading out"));
    fadingSnapshot_->hide();

    fade_ = new QPropertyAnimation(opacity, "opacity", this);
    fade_->setStartValue(1.0);
    fade_->setEndValue(0.0);
    fade_->setDuration(fadeDurationMs);
    fade_->setEasingCurve(AppStyle::easeInOut());
    connect(fade_, &QPropertyAnimation::finished, fadingSnapshot_, [this] {
        fadingSnapshot_->hide();
        fadingSnapshot_->clear();
    });
}

void StageContainer::setStageView(QWidget* stageView) {
    // A snapshot of the whole container, including a fade still under way, so a quick
    // second change continues from what is on screen.
    const bool fadeFromSnapshot = current_ && isVisible() && width() > 0 && height() > 0;
    if (fadeFromSnapshot) {
        fadingSnapshot_->setPixmap(grab());
    }
    if (current_) {
        layout_->removeWidget(current_);
        current_->hide();
        // Later, since the old view may be the sender of the signal that got us here.
        current_->deleteLater();
    }
    current_ = stageView;
    stageView->setParent(this);
    layout_->addWidget(stageView);
    stageView->show();
    // The keys follow the stage: each view names its first control as its focus proxy. The
    // proxy goes once the focus is there: kept, it made the view a stop of its own in the Tab
    // chain, which sent the focus back to that control and skipped whatever came between.
    stageView->setFocus(Qt::OtherFocusReason);
    stageView->setFocusProxy(nullptr);

    if (fadeFromSnapshot) {
        fade_->stop();
        fadingSnapshot_->setGeometry(rect());
        fadingSnapshot_->show();
        fadingSnapshot_->raise();
        fade_->start();
    }
}

bool StageContainer::isFading() const {
    return fade_->state() == QAbstractAnimation::Running;
}

void StageContainer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fadingSnapshot_->setGeometry(rect());
}
