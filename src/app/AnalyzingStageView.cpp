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
    layout->addWidget(new BusySpinner(28, this), 0, Qt::AlignHCenter);
    auto* label = new QLabel(tr("Analyzing recording…"), this);
    AppStyle::makeSecondary(label);
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addStretch();
}
