#include "RecordedStageView.h"

#include "AppStyle.h"
#include "BusySpinner.h"
#include "Divider.h"
#include "TrimView.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

RecordedStageView::RecordedStageView(const QUrl& url, const Waveform::Data& waveform,
                                     TimeRange range, QWidget* parent)
    : QWidget(parent), trimView_(new TrimView(waveform, range, url, this)),
      newRecordingButton_(new QPushButton(tr("New Recording"), this)),
      saveButton_(new QPushButton(this)), saveSpinner_(new BusySpinner(16, saveButton_)),
      saveSymbol_(AppStyle::buttonSymbol(QStringLiteral("square-and-arrow-down"), Qt::white)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    auto* title = new QLabel(tr("Trim your recording"), this);
    title->setFont(AppStyle::headlineFont());
    title->setWordWrap(true);
    titleBlock->addWidget(title);
    auto* hint =
        new QLabel(tr("Drag the handles, or auto-trim silence from the start and end."), this);
    hint->setFont(AppStyle::calloutFont());
    hint->setWordWrap(true);
    AppStyle::makeSecondary(hint);
    titleBlock->addWidget(hint);
    layout->addLayout(titleBlock);

    connect(trimView_, &TrimView::rangeChanged, this, &RecordedStageView::rangeChanged);
    // The trim view takes the window's extra height: a taller card shows more detail.
    layout->addWidget(trimView_, 1);
    layout->addWidget(new Divider(this));

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(0, 4, 0, 0);
    newRecordingButton_->setAccessibleName(tr("New Recording"));
    newRecordingButton_->setToolTip(
        tr("Back to the start (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_N).toString(QKeySequence::NativeText)));
    AppStyle::makeBordered(newRecordingButton_);
    connect(newRecordingButton_, &QPushButton::clicked, this,
            &RecordedStageView::newRecordingRequested);
    buttonRow->addWidget(newRecordingButton_);
    buttonRow->addStretch();

    // Its label, symbol and hidden spinner, as when no export runs.
    setExporting(false);
    saveButton_->setToolTip(
        tr("Save the selection as an M4A file (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_S).toString(QKeySequence::NativeText)));
    AppStyle::makeProminent(saveButton_, AppStyle::accentColor());
    // As wide as its label needs, so the row doesn't jump when the spinner takes its place.
    saveButton_->setMinimumWidth(std::max(saveButtonMinimumWidth, saveButton_->sizeHint().width()));
    auto* spinnerLayout = new QHBoxLayout(saveButton_);
    spinnerLayout->setContentsMargins(0, 0, 0, 0);
    spinnerLayout->addWidget(saveSpinner_, 0, Qt::AlignCenter);
    saveSpinner_->setColor(Qt::white);
    connect(saveButton_, &QPushButton::clicked, this, &RecordedStageView::saveRequested);
    buttonRow->addWidget(saveButton_);
    layout->addLayout(buttonRow);
}

void RecordedStageView::setExporting(bool isExporting) {
    saveButton_->setEnabled(!isExporting);
    saveSpinner_->setVisible(isExporting);
    if (isExporting) {
        saveButton_->setText(QString());
        saveButton_->setIcon(QIcon());
        saveButton_->setAccessibleName(tr("Saving…"));
    } else {
        saveButton_->setText(tr("Save Trimmed Audio…"));
        saveButton_->setIcon(saveSymbol_);
        saveButton_->setAccessibleName(tr("Save Trimmed Audio…"));
    }
}
