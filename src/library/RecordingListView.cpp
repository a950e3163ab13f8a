#include "RecordingListView.h"

#include "FileManager.h"
#include "Logging.h"
#include "PlainText.h"
#include "RecordingListModel.h"
#include "RecordingNotes.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {

constexpr int buttonPadding = 16;

// A row button with room around its label while the row has it; in a narrow window it gives
// that room up before its label is cut.
class RowButton : public QPushButton {
public:
    RowButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        setAutoDefault(false);
    }
    QSize sizeHint() const override { return QPushButton::sizeHint() + QSize(buttonPadding, 0); }
    QSize minimumSizeHint() const override { return QPushButton::sizeHint(); }
};
// Close, maximise and minimise in a title bar, with room around them.
constexpr int titleBarButtonsWidth = 160;

// Two lines a row: the name, and under it the details in a quieter colour.
class RecordingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem background = option;
        initStyleOption(&background, index);
        background.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (style) {
            style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
        }
        const bool selected = option.state & QStyle::State_Selected;
        const QColor text =
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        QColor quiet = text;
        quiet.setAlphaF(selected ? 0.85f : 0.7f);
        const QRect area = option.rect.adjusted(padding, padding, -padding, -padding);
        const int lineHeight = option.fontMetrics.height();
        painter->save();
        painter->setPen(text);
        painter->setFont(option.font);
        const QRect nameRect(area.topLeft(), QSize(area.width(), lineHeight));
        painter->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                          option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                        Qt::ElideRight, area.width()));
        painter->setPen(quiet);
        painter->setFont(detailsFont(option.font));
        const QRect detailsRect = nameRect.translated(0, lineHeight + lineGap);
        painter->drawText(detailsRect, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(detailsFont(option.font))
                              .elidedText(index.data(RecordingListModel::DetailsRole).toString(),
                                          Qt::ElideRight, area.width()));
        // The keyboard's row, seen: the style's own focus line is faint or missing.
        if ((option.state & QStyle::State_HasFocus) && widget && widget->hasFocus()) {
            QPen ring(
                option.palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight),
                focusRingWidth);
            painter->setPen(ring);
            painter->setBrush(Qt::NoBrush);
            painter->setRenderHint(QPainter::Antialiasing);
            painter->drawRoundedRect(QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const int height = option.fontMetrics.height() + lineGap +
                           QFontMetrics(detailsFont(option.font)).height() + 2 * padding;
        return {option.rect.width(), height};
    }

private:
    static QFont detailsFont(QFont font) {
        font.setPointSizeF(font.pointSizeF() * 0.9);
        return font;
    }
    static constexpr int padding = 6;
    static constexpr int lineGap = 2;
    static constexpr qreal focusRingWidth = 2.0;
};

} // namespace

RecordingListView::RecordingListView(RecordingListModel* model, QWidget* parent)
    : QWidget(parent), model_(model), total_(new QLabel(this)), list_(new QListView(this)),
      openButton_(new RowButton(tr("Open"), this)),
      renameButton_(new RowButton(tr("Rename…"), this)),
      showButton_(new RowButton(tr("Show in Folder"), this)),
      trashButton_(new RowButton(tr("Move to Trash…", "button beside the list"), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* heading = new QHBoxLayout;
    auto* title = new QLabel(tr("Recordings"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setBuddy(list_);
    heading->addWidget(title);
    heading->addStretch();
    heading->addWidget(total_);
    layout->addLayout(heading);

    list_->setModel(model_);
    list_->setItemDelegate(new RecordingDelegate(list_));
    // Every row is as high as the first: the view never asks for rows it doesn't show.
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setAccessibleName(tr("Recordings"));
    layout->addWidget(list_, 1);

    auto* actions = new QHBoxLayout;
    for (QPushButton* button : {openButton_, renameButton_, showButton_, trashButton_}) {
        actions->addWidget(button);
    }
    actions->addStretch();
    layout->addLayout(actions);

    connect(list_, &QListView::activated, this, [this](const QModelIndex& index) {
        emit openRequested(index.data(RecordingListModel::PathRole).toString());
    });
    connect(openButton_, &QPushButton::clicked, this, &RecordingListView::openSelected);
    connect(renameButton_, &QPushButton::clicked, this, &RecordingListView::renameSelected);
    connect(showButton_, &QPushButton::clicked, this, &RecordingListView::showSelectedInFolder);
    connect(trashButton_, &QPushButton::clicked, this, &RecordingListView::trashSelected);
    auto* rename =
        new QShortcut(QKeySequence(Qt::Key_F2), list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(rename, &QShortcut::activated, this, &RecordingListView::renameSelected);
    auto* trash = new QShortcut(QKeySequence::Delete, list_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(trash, &QShortcut::activated, this, &RecordingListView::trashSelected);

    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &RecordingListView::updateActions);
    connect(model_, &QAbstractItemModel::modelReset, this, &RecordingListView::updateActions);
    connect(model_, &RecordingListModel::totalBytesChanged, this, &RecordingListView::showTotal);
    updateActions();
    showTotal();
}

QString RecordingListView::selectedPath() const {
    const QModelIndex current = list_->currentIndex();
    return current.isValid() && list_->selectionModel()->isSelected(current)
               ? current.data(RecordingListModel::PathRole).toString()
               : QString();
}

void RecordingListView::select(const QString& path) {
    const QModelIndex index = model_->index(std::max(model_->rowOf(path), 0));
    if (index.isValid()) {
        list_->setCurrentIndex(index);
        list_->scrollTo(index);
    }
}

void RecordingListView::updateActions() {
    const bool any = !selectedPath().isEmpty();
    for (QPushButton* button : {openButton_, renameButton_, showButton_, trashButton_}) {
        button->setEnabled(any);
    }
    emit selectionChanged();
}

void RecordingListView::showTotal() {
    total_->setText(
        tr("%1 used").arg(RecordingListModel::sizeText(model_->totalBytes(), QLocale())));
}

void RecordingListView::openSelected() {
    if (const QString path = selectedPath(); !path.isEmpty()) {
        emit openRequested(path);
    }
}

void RecordingListView::renameSelected() {
    const QString path = selectedPath();
    if (path.isEmpty()) {
        return;
    }
    const QModelIndex index = model_->index(model_->rowOf(path));
    QInputDialog dialog(this);
    dialog.setWindowTitle(tr("Rename Recording"));
    dialog.setLabelText(tr("Name:"));
    dialog.setTextValue(index.data(Qt::DisplayRole).toString());
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMaxLength(RecordingNotes::longestTitle);
        // Room for a whole date-and-time title, in either language, without scrolling.
        edit->setMinimumWidth(44 * edit->fontMetrics().averageCharWidth());
    }
    // The title bar shows the title with the app's name after it, often in a bolder font,
    // beside the window's buttons: room for all of it, so that it isn't cut to "Renam…".
    const QString shownTitle =
        dialog.windowTitle() + QStringLiteral(" — ") + QGuiApplication::applicationDisplayName();
    // The dialog's layout fixes its size to its contents', so the room goes to the field.
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMinimumWidth(std::max(edit->minimumWidth(),
                                       dialog.fontMetrics().horizontalAdvance(shownTitle) * 6 / 5 +
                                           titleBarButtonsWidth));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString title = dialog.textValue();
    if (!RecordingLibrary::rename(path, title)) {
        PlainText::warn(this, tr("Couldn't rename"),
                        tr("The new name couldn't be stored beside the recording."));
        model_->refresh(path);
        return;
    }
    const QString renamed = RecordingLibrary::nameFileAfterTitle(path, title);
    if (renamed == path) {
        model_->refresh(path);
        return;
    }
    model_->reload(model_->folder());
    select(renamed);
    emit recordingRenamed(path, renamed);
}

void RecordingListView::showSelectedInFolder() {
    if (const QString path = selectedPath(); !path.isEmpty()) {
        FileManager::showFileOrSay(path, this);
    }
}

void RecordingListView::trashSelected() {
    const QString path = selectedPath();
    if (path.isEmpty()) {
        return;
    }
    const QString name = model_->index(model_->rowOf(path)).data(Qt::DisplayRole).toString();
    QMessageBox question(this);
    // The app's own icon, as its other questions have.
    const QIcon appIcon = QApplication::windowIcon();
    if (appIcon.isNull()) {
        question.setIcon(QMessageBox::Question);
    } else {
        question.setIconPixmap(appIcon.pixmap(QSize(56, 56), devicePixelRatioF()));
    }
    question.setWindowTitle(tr("Move to Trash"));
    question.setText(tr("Move “%1” to the trash?").arg(name));
    // The question reads as a heading, as in the app's other alerts.
    question.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: 600; }"));
    question.setInformativeText(tr("You can restore it from the trash."));
    PlainText::keep(question);
    QPushButton* trash = question.addButton(tr("Move to Trash"), QMessageBox::DestructiveRole);
    question.setDefaultButton(question.addButton(tr("Cancel"), QMessageBox::RejectRole));
    question.exec();
    if (question.clickedButton() != trash) {
        return;
    }
    const int row = model_->rowOf(path);
    if (const std::optional<Failure> failure = RecordingLibrary::moveToTrash(path)) {
        PlainText::warn(this, tr("Couldn't move to trash"),
                        failure->within(tr("“%1” stays where it is").arg(name)).message());
        return;
    }
    model_->reload(model_->folder());
    if (model_->rowCount() > 0) {
        list_->setCurrentIndex(model_->index(std::min(row, model_->rowCount() - 1)));
    }
}

void RecordingListView::contextMenuEvent(QContextMenuEvent* event) {
    if (!list_->geometry().contains(event->pos()) || selectedPath().isEmpty()) {
        return;
    }
    QMenu menu(this);
    menu.addAction(tr("Open"), this, &RecordingListView::openSelected);
    menu.addAction(tr("Rename…"), this, &RecordingListView::renameSelected);
    menu.addAction(tr("Show in Folder"), this, &RecordingListView::showSelectedInFolder);
    menu.addSeparator();
    menu.addAction(tr("Move to Trash…"), this, &RecordingListView::trashSelected);
    menu.exec(event->globalPos());
}
