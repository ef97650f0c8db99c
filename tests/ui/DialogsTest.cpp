// Options dialog, about box version line, exit confirmation and the help URLs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>

#include "ui/AboutForm.h"
#include "ui/ExitConfirm.h"
#include "ui/Help.h"
#include "ui/Options.h"

namespace ov {
namespace {

using namespace std::chrono_literals;

// Runs action on the first top-level TfrmExitConfirm as soon as one is visible. The poll
// belongs to the application until it has acted (delete it when no window is expected).
QTimer* WhenConfirmShown(std::function<void(TfrmExitConfirm&)> action) {
    auto* poll = new QTimer(QCoreApplication::instance());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<TfrmExitConfirm*>(w);
            if (form && form->isVisible()) {
                poll->stop();
                poll->deleteLater();
                action(*form);
                return;
            }
        }
    });
    poll->start();
    return poll;
}

TEST(OptionsDialog, LevelOutsideTheListSelectsNothingAndOkHandsBackMinusOne) {
    TfrmOptions form;
    form.SetLogDetail(12);
    form.show();
    EXPECT_EQ(form.cboLogDetail->currentIndex(), -1);
    EXPECT_EQ(form.cboLogDetail->count(), 11);
    EXPECT_EQ(form.cboLogDetail->itemText(10), "10");
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.LogDetail(), -1);
}

TEST(OptionsDialog, CancelKeepsTheLevelEvenAfterChoosing) {
    TfrmOptions form;
    form.SetLogDetail(12);
    form.show();
    form.cboLogDetail->setCurrentIndex(7);
    QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(form.LogDetail(), 12);
}

TEST(OptionsDialog, ChoosingSevenAndOkHandsBackSeven) {
    TfrmOptions form;
    form.SetLogDetail(3);
    form.show();
    EXPECT_EQ(form.cboLogDetail->currentText(), "3");
    form.cboLogDetail->setCurrentIndex(form.cboLogDetail->findText("7"));
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
    EXPECT_EQ(form.LogDetail(), 7);
    EXPECT_EQ(form.windowTitle(), "Options");
    EXPECT_EQ(form.cboLogDetail->toolTip(),
              "Log detail level (0-10); 0 least messages, 10 most messages.");
}

TEST(AboutBox, VersionLineFromFileAndProductVersion) {
    struct Case {
        const char* file;
        const char* product;
        const char* line;
    };
    const Case cases[] = {
        {"3.1.4.7", "3.1", "Version 3.1 (Build 7)"},
        {"1.0.0.123", "1.0", "Version 1.0 (Build 123)"},
        {"3.1.4.7.9", "3.1", "Version 3.1 (Build 7.9)"},  // cut at the third "." only
        {"3.1.4", "3.1", "Version 3.1 (Build )"},         // fewer than three: no build
        {"", "", "Version  (Build )"},
        {"3.1.4.", "3.1", "Version 3.1 (Build )"},
    };
    for (const auto& c : cases) EXPECT_EQ(AboutVersionLine(c.file, c.product), c.line) << c.file;

    TfmAbout box;
    box.SetVersionInfo("2.5.0.41", "2.5");
    EXPECT_EQ(box.lblVersion->text(), "Version 2.5 (Build 41)");
}

TEST(ExitConfirm, TimeOutCountsAsNoAndClearsBusy) {
    ForcedClose = false;
    bool shown = false;
    WhenConfirmShown([&](TfrmExitConfirm& form) {
        shown = true;
        EXPECT_EQ(form.windowTitle(), "Exit...");
        EXPECT_EQ(form.lblConfirm->text(), "Are you sure you want to close this application?");
        EXPECT_EQ(form.btnOK->text(), "&OK");
        EXPECT_EQ(form.btnCancel->text(), "&Cancel");
        EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_FALSE(form.isModal());
        EXPECT_TRUE(ExitConfirmBusy);
    });
    EXPECT_FALSE(ConfirmExit(50ms));
    EXPECT_TRUE(shown);
    EXPECT_FALSE(ExitConfirmBusy);
}

TEST(ExitConfirm, OkAnswersYesCancelAnswersNo) {
    ForcedClose = false;
    WhenConfirmShown([](TfrmExitConfirm& form) { QTest::mouseClick(form.btnOK, Qt::LeftButton); });
    EXPECT_TRUE(ConfirmExit(10s));
    WhenConfirmShown(
        [](TfrmExitConfirm& form) { QTest::mouseClick(form.btnCancel, Qt::LeftButton); });
    EXPECT_FALSE(ConfirmExit(10s));
    EXPECT_FALSE(ExitConfirmBusy);
}

TEST(ExitConfirm, SecondRequestWhileAskingIsRefused) {
    ForcedClose = false;
    int inner = -1;
    WhenConfirmShown([&](TfrmExitConfirm& form) {
        inner = ConfirmExit(10s) ? 1 : 0;  // a close request arriving while the question is open
        QTest::mouseClick(form.btnOK, Qt::LeftButton);
    });
    EXPECT_TRUE(ConfirmExit(10s));
    EXPECT_EQ(inner, 0);
    EXPECT_FALSE(ExitConfirmBusy);
}

TEST(ExitConfirm, ForcedCloseSkipsTheQuestion) {
    ForcedClose = true;
    bool shown = false;
    QTimer* poll = WhenConfirmShown([&](TfrmExitConfirm& form) {
        shown = true;
        form.btnCancel->click();
    });
    EXPECT_TRUE(ConfirmExit(10s));
    QTest::qWait(30);
    EXPECT_FALSE(shown);
    delete poll;
    EXPECT_FALSE(ExitConfirmBusy);
    ForcedClose = false;
}

TEST(ClosingQuestion, AskedOnlyWithClientsNoPreselected) {
    EXPECT_TRUE(ConfirmCloseWithClients(0));
    QString caption, text;
    bool noIsDefault = false;
    QTimer::singleShot(20, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        noIsDefault = box->defaultButton() == box->button(QMessageBox::No);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(ConfirmCloseWithClients(2));
    EXPECT_EQ(caption, "COM Server Warning");
    EXPECT_TRUE(noIsDefault);
    EXPECT_EQ(text,
              "There are still active COM objects in this application.  One or more clients may "
              "have references to these objects, so manually closing this application may cause "
              "those client application(s) to fail.\n\nAre you sure you want to close this "
              "application?");
}

TEST(Help, ContentsAndIndexAnchorsOfTheFileBesideTheProgram) {
    QUrl opened;
    SetHelpOpener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    EXPECT_TRUE(ShowHelpContents("/opt/ov/OVCalc.html"));
    EXPECT_EQ(opened.toString(), "file:///opt/ov/OVCalc.html#contents");
    EXPECT_TRUE(ShowHelpIndex("/opt/ov/OVCalc.html"));
    EXPECT_EQ(opened.toString(), "file:///opt/ov/OVCalc.html#index");
    SetHelpOpener({});
}

}  // namespace
}  // namespace ov
