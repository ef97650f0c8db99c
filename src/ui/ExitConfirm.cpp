// The exit confirmation: a non-modal question with a time-out, waited for in a loop that keeps
// the main window working; and the closing question of the automation server.
#include "ui/ExitConfirm.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <thread>

namespace ov {

bool ForcedClose = false;
bool ExitConfirmBusy = false;

const char* const ComServerWarningCaption = "COM Server Warning";
const char* const ComServerWarningText =
    "There are still active COM objects in this application.  One or more clients may have "
    "references to these objects, so manually closing "
    "this application may cause those client application(s) to fail.\n\n"
    "Are you sure you want to close this application?";

TfrmExitConfirm::TfrmExitConfirm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint) {
    setObjectName("frmExitConfirm");
    setWindowTitle("Exit...");

    auto* picture = new QLabel(this);
    picture->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    lblConfirm = new QLabel("Are you sure you want to close this application?", this);
    lblConfirm->setObjectName("lblConfirm");
    btnOK = new QPushButton("&OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);
    btnCancel->setObjectName("btnCancel");
    tmTimeOut = new QTimer(this);
    tmTimeOut->setObjectName("tmTimeOut");
    tmTimeOut->setSingleShot(true);

    auto* text = new QHBoxLayout;
    text->addWidget(picture);
    text->addWidget(lblConfirm, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(text);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(btnOK, &QPushButton::clicked, this, [this] { Answer(1); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { Answer(2); });
    connect(tmTimeOut, &QTimer::timeout, this, [this] { Answer(3); });
}

void TfrmExitConfirm::Answer(std::uint8_t result) {
    if (ExitResult == 0) ExitResult = result;
    tmTimeOut->stop();
    hide();
}

// Escape and a close by the window manager count as Cancel.
void TfrmExitConfirm::reject() {
    Answer(2);
}

void TfrmExitConfirm::closeEvent(QCloseEvent* event) {
    Answer(2);
    event->accept();
}

bool ConfirmExit(std::chrono::milliseconds timeOut) {
    if (ExitConfirmBusy) return false;
    ExitConfirmBusy = true;
    // Cleared on every way out, an exception included.
    struct TBusyGuard {
        ~TBusyGuard() { ExitConfirmBusy = false; }
    } guard;
    if (ForcedClose) return true;

    auto form = std::make_unique<TfrmExitConfirm>();
    form->ExitResult = 0;
    form->tmTimeOut->setInterval(static_cast<int>(timeOut.count()));
    form->tmTimeOut->start();
    form->show();
    form->raise();
    form->activateWindow();
    while (form->ExitResult == 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return form->ExitResult == 1;
}

bool ConfirmCloseWithClients(int clientsHoldingObjects) {
    if (clientsHoldingObjects <= 0) return true;
    QMessageBox box(QMessageBox::Warning, ComServerWarningCaption, ComServerWarningText,
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace ov
