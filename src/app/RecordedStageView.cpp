#include "RecordedStageView.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "Divider.h"
#include "ElidedLabel.h"
#include "FileManager.h"
#include "PlainText.h"
#include "TrimView.h"

#include <QAccessible>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

RecordedStageView::RecordedStageView(std::shared_ptr<EditorModel> editor, QWidget* parent)
    : QWidget(parent), hint_(new QLabel(this)), trimView_(new TrimView(std::move(editor), this)),
      newRecordingButton_(new QPushButton(tr("New Recording"), this)),
      saveButton_(new QPushButton(this)), saveProgress_(new QWidget(this)),
      progressBar_(new QProgressBar(saveProgress_)),
      cancelSaveButton_(new QPushButton(tr("Cancel"), saveProgress_)),
      savedNotice_(new QWidget(this)), savedLabel_(new ElidedLabel(savedNotice_)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);

    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(2);
    auto* title = new QLabel(tr("Trim your recording"), this);
    title->setFont(AppStyle::headlineFont());
    title->setWordWrap(true);
    titleBlock->addWidget(title);
    hint_->setText(trimView_->isSilent()
                       ? tr("This recording is silent from start to end: nothing in it was loud "
                            "enough to hear.")
                       : tr("Drag the handles, or auto-trim silence from the start and end."));
    hint_->setFont(AppStyle::calloutFont());
    hint_->setWordWrap(true);
    AppStyle::makeSecondary(hint_);
    titleBlock->addWidget(hint_);
    layout->addLayout(titleBlock);

    connect(trimView_, &TrimView::nothingToTrim, this, &RecordedStageView::showNothingToTrim);
    // The trim view takes the window's extra height: a taller card shows more detail.
    layout->addWidget(trimView_, 1);
    layout->addWidget(new Divider(this));
    // After a save, a line of its own: beside the buttons it was cut off in the smallest
    // window, and a long name or a long language needs the whole width.
    layout->addWidget(savedNotice_);

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
    savedRow->setContentsMargins(0, 0, 0, 0);
    AppStyle::makeSecondary(savedLabel_);
    savedRow->addWidget(savedLabel_, 1);
    auto* showInFolder = new QPushButton(tr("Show in Folder"), savedNotice_);
    AppStyle::makeBordered(showInFolder);
    connect(showInFolder, &QPushButton::clicked, this,
            [this] { FileManager::showFileOrSay(savedPath_, this); });
    savedRow->addWidget(showInFolder);
    savedNotice_->hide();

    saveButton_->setText(tr("Save Trimmed Audio…"));
    saveButton_->setIcon(
        AppStyle::buttonSymbol(QStringLiteral("square-and-arrow-down"), Qt::white));
    saveButton_->setAccessibleName(tr("Save Trimmed Audio…"));
    saveButton_->setToolTip(
        tr("Save the selection as an audio file (%1)")
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
    // Escape cancels a running save, as it cancels anything under way on a desktop.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (saveProgress_->isVisible())
            emit cancelSaveRequested();
    });
    progressRow->addWidget(cancelSaveButton_);
    buttonRow->addWidget(saveProgress_);
    setExporting(false);
    buttonRow->addWidget(saveButton_);
    layout->addLayout(buttonRow);
    Accessibility::orderChildrenAsLaidOut(this);
    // Tab goes as the eye does: from the trim view's buttons to Show in Folder under them.
    setTabOrder(trimView_->lastFocus(), showInFolder);
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
    savedLabel_->setFullText(tr("Saved to %1").arg(QFileInfo(path).fileName()));
    savedLabel_->setToolTip(Qt::convertFromPlainText(path, Qt::WhiteSpaceNormal));
    savedNotice_->show();
}

QString RecordedStageView::hintText() const {
    return hint_->text();
}

void RecordedStageView::showNothingToTrim() {
    hint_->setText(tr("Auto-Trim found no sound: the whole recording is silent, so the selection "
                      "stays as it was."));
    // Said where the eye is, and to screen readers as it changes.
    QAccessibleEvent changed(hint_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}
