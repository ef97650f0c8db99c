// The about box.
#include "ui/AboutForm.h"

#include <QApplication>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace ov {

std::string AboutVersionLine(std::string_view fileVersion, std::string_view productVersion) {
    std::string_view build;
    std::size_t pos = 0;
    int dots = 0;
    while (dots < 3) {
        pos = fileVersion.find('.', pos);
        if (pos == std::string_view::npos) break;
        ++pos;
        ++dots;
    }
    if (dots == 3) build = fileVersion.substr(pos);
    std::string line = "Version ";
    line += productVersion;
    line += " (Build ";
    line += build;
    line += ")";
    return line;
}

TfmAbout::TfmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("fmAbout");
    setWindowTitle("About");

    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    picture->setAlignment(Qt::AlignCenter);

    AppNameLabel = new QLabel(this);
    AppNameLabel->setObjectName("AppNameLabel");
    QFont big = AppNameLabel->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    AppNameLabel->setFont(big);
    AppNameLabel->setAlignment(Qt::AlignCenter);

    auto* partCaption = new QLabel("Part number:", this);
    PartNumberLabel = new QLabel(this);
    PartNumberLabel->setObjectName("PartNumberLabel");
    lblVersion = new QLabel(this);
    lblVersion->setObjectName("lblVersion");
    auto* further = new QLabel("Calculation engine of the OV data-collection suite.", this);

    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* part = new QHBoxLayout;
    part->addStretch(1);
    part->addWidget(partCaption);
    part->addWidget(PartNumberLabel);
    part->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(AppNameLabel);
    layout->addLayout(part);
    layout->addWidget(lblVersion, 0, Qt::AlignHCenter);
    layout->addWidget(further, 0, Qt::AlignHCenter);
    layout->addWidget(btnOK, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfmAbout::SetVersionInfo(std::string_view fileVersion, std::string_view productVersion) {
    lblVersion->setText(QString::fromStdString(AboutVersionLine(fileVersion, productVersion)));
}

}  // namespace ov
