#include "AnalyzingStageView.h"

#include "AppStyle.h"
#include "BusySpinner.h"

#include <QLabel>
#include <QVBoxLayout>

AnalyzingStageView::AnalyzingStageView(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addStretch();
    auto* spinner = new BusySpinner(28, this);
    spinner->setAccessibleName(tr("Working"));
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    auto* label = new QLabel(tr("Analyzing recording…"), this);
    // Focus rests on the view while there is nothing to press, so a screen reader says what is
    // going on.
    setAccessibleName(label->text());
    AppStyle::makeSecondary(label);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addStretch();
}
