#include "RecordedStageView.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "Divider.h"
#include "FileManager.h"
#include "PlainText.h"
#include "TrimView.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

RecordedStageView::RecordedStageView(const QUrl& url, const Waveform::Data& waveform,
                                     TimeRange range, QWidget* parent)
    : QWidget(parent), trimView_(new TrimView(waveform, range, url, this)),
      newRecordingButton_(new QPushButton(tr("New Recording"), this)),
      saveButton_(new QPushButton(this)), saveProgress_(new QWidget(this)),
      progressBar_(new QProgressBar(saveProgress_)),
      cancelSaveButton_(new QPushButton(tr("Cancel"), saveProgress_)),
      savedNotice_(new QWidget(this)), savedLabel_(new QLabel(savedNotice_)) {
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

    auto* savedRow = new QHBoxLayout(savedNotice_);
    savedRow->setContentsMargins(0, 0, 8, 0);
    AppStyle::makeSecondary(savedLabel_);
    PlainText::keep(savedLabel_); // a file name of the user's choosing
    savedRow->addWidget(savedLabel_);
    auto* showInFolder = new QPushButton(tr("Show in Folder"), savedNotice_);
    showInFolder->setFlat(true);
    connect(showInFolder, &QPushButton::clicked, this,
            [this] { FileManager::showFile(savedPath_); });
    savedRow->addWidget(showInFolder);
    savedNotice_->hide();
    buttonRow->addWidget(savedNotice_);

    saveButton_->setText(tr("Save Trimmed Audio…"));
    saveButton_->setIcon(
        AppStyle::buttonSymbol(QStringLiteral("square-and-arrow-down"), Qt::white));
    saveButton_->setAccessibleName(tr("Save Trimmed Audio…"));
    saveButton_->setToolTip(
        tr("Save the selection as an M4A file (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_S).toString(QKeySequence::NativeText)));
    AppStyle::makeProminent(saveButton_, AppStyle::accentColor());
    saveButton_->setMinimumWidth(std::max(saveButtonMinimumWidth, saveButton_->sizeHint().width()));
    connect(saveButton_, &QPushButton::clicked, this, &RecordedStageView::saveRequested);

    // While a save runs, its progress and a way out take the button's place.
    auto* progressRow = new QHBoxLayout(saveProgress_);
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->setSpacing(8);
    progressBar_->setRange(0, 100);
    progressBar_->setFormat(tr("Saving… %p%"));
    progressBar_->setTextVisible(true);
    progressBar_->setAccessibleName(tr("Save progress"));
    progressBar_->setMinimumWidth(saveButtonMinimumWidth);
    progressRow->addWidget(progressBar_);
    AppStyle::makeBordered(cancelSaveButton_);
    cancelSaveButton_->setAccessibleName(tr("Cancel Save"));
    connect(cancelSaveButton_, &QPushButton::clicked, this,
            &RecordedStageView::cancelSaveRequested);
    progressRow->addWidget(cancelSaveButton_);
    buttonRow->addWidget(saveProgress_);
    setExporting(false);
    buttonRow->addWidget(saveButton_);
    layout->addLayout(buttonRow);
    Accessibility::orderChildrenAsLaidOut(this);
    // After the analysis the keys go to the start handle, so trimming and Space work at once.
    setFocusProxy(trimView_->firstFocus());
}

void RecordedStageView::setExporting(bool isExporting) {
    if (isExporting) {
        savedNotice_->hide();
    }
    saveButton_->setVisible(!isExporting);
    saveProgress_->setVisible(isExporting);
}

void RecordedStageView::setSaveProgress(int percent) {
    progressBar_->setValue(percent);
}

void RecordedStageView::showSaved(const QString& path) {
    savedPath_ = path;
    savedLabel_->setText(tr("Saved to %1").arg(QFileInfo(path).fileName()));
    savedLabel_->setToolTip(Qt::convertFromPlainText(path, Qt::WhiteSpaceNormal));
    savedNotice_->show();
}
