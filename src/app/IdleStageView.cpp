#include "IdleStageView.h"

#include "Accessibility.h"
#include "AppStyle.h"
#include "RecordingListModel.h"
#include "RecordingListView.h"

#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The accent-tinted circle behind the app's symbol.
class Badge : public QWidget {
public:
    explicit Badge(QWidget* parent) : QWidget(parent) {
        setFixedSize(diameter, diameter);
        symbol_ = AppStyle::tintedSymbol(QStringLiteral("waveform"), AppStyle::accentColor());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = AppStyle::accentColor();
        fill.setAlphaF(0.12f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(rect());
        const QRect symbolRect(QPoint(0, 0), QSize(symbolSide, symbolSide));
        symbol_.paint(&painter, symbolRect.translated(rect().center() - symbolRect.center()));
    }

private:
    static constexpr int diameter = 108;
    // The symbol at a 40-pixel text size, medium weight.
    static constexpr int symbolSide = 46;
    QIcon symbol_;
};

} // namespace

IdleStageView::IdleStageView(RecordingListModel* recordings, QWidget* parent)
    : QWidget(parent), recordButton_(new QPushButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    const bool listsRecordings = recordings->rowCount() > 0;
    if (!listsRecordings) {
        layout->addStretch();
        auto* badge = new Badge(this);
        badge->setAccessibleName(tr("Sound waveform"));
        layout->addWidget(badge, 0, Qt::AlignHCenter);
    }

    auto* textBlock = new QVBoxLayout;
    textBlock->setSpacing(6);
    auto* title = new QLabel(tr("Record system audio"), this);
    title->setFont(AppStyle::headlineFont());
    title->setAlignment(Qt::AlignHCenter);
    title->setWordWrap(true);
    textBlock->addWidget(title);
    auto* subtitle = new QLabel(tr("Captures whatever's playing on your computer."), this);
    subtitle->setFont(AppStyle::calloutFont());
    subtitle->setAlignment(Qt::AlignHCenter);
    // As wide as the window allows and wrapped within it, whatever the font size.
    subtitle->setWordWrap(true);
    AppStyle::makeSecondary(subtitle);
    textBlock->addWidget(subtitle);
    layout->addLayout(textBlock);

    recordButton_->setText(tr("Record System Audio"));
    recordButton_->setAccessibleName(tr("Record System Audio"));
    recordButton_->setIcon(AppStyle::buttonSymbol(QStringLiteral("record-circle"), Qt::white));
    recordButton_->setFont(AppStyle::headlineFont());
    AppStyle::makeProminent(recordButton_, AppStyle::accentColor());
    recordButton_->setToolTip(
        tr("Record whatever your computer plays (%1)")
            .arg(QKeySequence(Qt::CTRL | Qt::Key_R).toString(QKeySequence::NativeText)));
    recordButton_->setDefault(true);
    connect(recordButton_, &QPushButton::clicked, this, &IdleStageView::recordRequested);
    layout->addWidget(recordButton_, 0, Qt::AlignHCenter);

    if (listsRecordings) {
        recordingList_ = new RecordingListView(recordings, this);
        connect(recordingList_, &RecordingListView::openRequested, this,
                &IdleStageView::openRequested);
        layout->addWidget(recordingList_, 1);
    } else {
        layout->addStretch();
    }
    Accessibility::orderChildrenAsLaidOut(this);
    // The start screen's one action takes the keys when the screen appears.
    setFocusProxy(recordButton_);
}
