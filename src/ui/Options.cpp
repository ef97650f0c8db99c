// The options dialog: a drop-down list of the levels "0" to "10".
#include "ui/Options.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ov {

TfrmOptions::TfrmOptions(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Options");
    setObjectName("frmOptions");

    auto* label = new QLabel("Log Detail:", this);
    cboLogDetail = new QComboBox(this);
    cboLogDetail->setObjectName("cboLogDetail");
    for (int i = 0; i <= 10; ++i) cboLogDetail->addItem(QString::number(i));
    const QString hint = "Log detail level (0-10); 0 least messages, 10 most messages.";
    cboLogDetail->setToolTip(hint);
    cboLogDetail->setStatusTip(hint);
    label->setBuddy(cboLogDetail);

    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(cboLogDetail, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOK, &QPushButton::clicked, this, &TfrmOptions::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowLevel();
}

void TfrmOptions::SetLogDetail(std::int32_t level) {
    logDetail_ = level;
    ShowLevel();
}

void TfrmOptions::showEvent(QShowEvent* event) {
    ShowLevel();
    QDialog::showEvent(event);
}

// A level outside the list (a hand-edited configuration file) selects nothing.
void TfrmOptions::ShowLevel() {
    cboLogDetail->setCurrentIndex(logDetail_ >= 0 && logDetail_ <= 10 ? logDetail_ : -1);
}

void TfrmOptions::btnOKClick() {
    logDetail_ = cboLogDetail->currentIndex();  // -1 when nothing is selected
    accept();
}

}  // namespace ov
