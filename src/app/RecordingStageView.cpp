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
    layout->addWidget(dot_, 0, Qt::AlignHCenter);

    // Monospaced so the width stays put as the seconds change.
    elapsed_->setFont(AppStyle::monospacedFont(44, QFont::Medium));
    elapsed_->setAlignment(Qt::AlignHCenter);
    elapsed_->setAccessibleName(tr("Elapsed time"));
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
}

void RecordingStageView::setElapsedText(const QString& text) {
    elapsed_->setText(text);
}

QString RecordingStageView::elapsedText() const {
    return elapsed_->text();
}
