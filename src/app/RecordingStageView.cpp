#include "RecordingStageView.h"

#include "AppStyle.h"
#include "PulsingDot.h"

#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

RecordingStageView::RecordingStageView(QWidget* parent)
    : QWidget(parent), dot_(new PulsingDot(this)), elapsed_(new QLabel(this)),
      stopButton_(new QPushButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);
    layout->addStretch();
    dot_->setAccessibleName(tr("Recording"));
    layout->addWidget(dot_, 0, Qt::AlignHCenter);

    // Monospaced so the width stays put as the seconds change.
    elapsed_->setFont(AppStyle::monospacedFont(44, QFont::Medium));
    elapsed_->setAlignment(Qt::AlignHCenter);
    layout->addWidget(elapsed_, 0, Qt::AlignHCenter);

    stopButton_->setText(tr("Stop Recording"));
    stopButton_->setAccessibleName(tr("Stop Recording"));
    stopButton_->setIcon(AppStyle::buttonSymbol(QStringLiteral("stop-circle-fill"), Qt::white));
    stopButton_->setFont(AppStyle::headlineFont());
    AppStyle::makeProminent(stopButton_, AppStyle::recordingRed());
    stopButton_->setToolTip(
        tr("Stop and open the recording (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_R).toString(QKeySequence::NativeText)));
    stopButton_->setDefault(true);
    connect(stopButton_, &QPushButton::clicked, this, &RecordingStageView::stopRequested);
    layout->addWidget(stopButton_, 0, Qt::AlignHCenter);
    layout->addStretch();
    setElapsedText(QStringLiteral("00:00"));
    // Stop is what one does next, so it takes the keys as the recording starts.
    setFocusProxy(stopButton_);
}

void RecordingStageView::setElapsedText(const QString& text) {
    if (text == elapsed_->text())
        return;
    elapsed_->setText(text);
    // Read as what it is, and announced as it changes (a new name is a change screen readers
    // hear about).
    elapsed_->setAccessibleName(tr("Elapsed time %1").arg(text));
}

QString RecordingStageView::elapsedText() const {
    return elapsed_->text();
}
