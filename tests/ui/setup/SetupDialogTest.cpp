// The group setup dialog on the example suite database: the first showing and the numbering of
// new groups, the equation analysis and its merge, the checks of a save in their order,
// Copy/Delete/Delete All, the question about unsaved changes, the filter file, the row controls
// of the multiple-station grid and the similar stations.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <initializer_list>

#include "ScratchFolder.h"
#include "SetupTestSupport.h"
#include "ui/CatalogueTreeWidget.h"
#include "ui/FilterSelect.h"
#include "ui/Help.h"

namespace ov {
namespace {

using test::AssignSensor;
using test::Cell;
using test::Choose;
using test::EnterEquation;
using test::Picker;
using test::Rows;
using test::Texts;

constexpr const char* SaveQuestion = "Save all current parameters?";

QStringList GroupTexts(const TfrmOptionSetup& form) {
    return Texts(form.cbxGroup);
}

// An editor is open on the current cell.
bool Editing(const QTableWidget* grid) {
    return grid->indexWidget(grid->currentIndex()) != nullptr;
}

int VisibleRowControls(const TfrmOptionSetup& form) {
    int visible = 0;
    for (std::size_t i = 0; i < form.BrowseButtons().size(); ++i) {
        // Shown on their page, whichever page is in front.
        const bool browse = !form.BrowseButtons()[i]->isHidden();
        EXPECT_EQ(browse, !form.TriggerButtons()[i]->isHidden()) << i;
        visible += browse;
    }
    return visible;
}

TEST(SetupDialog, FirstShowingWithoutGroupsSavesGroupOne) {
    test::TSetupWorld world;
    TfrmOptionSetup& form = world.Show();
    EXPECT_EQ(form.windowTitle(), "Setup");
    EXPECT_EQ(form.size(), QSize(519, 549));
    EXPECT_TRUE(world.Connection.DBConnected());
    EXPECT_TRUE(world.Boxes.Errors.isEmpty()) << world.Boxes.Errors.join('\n').toStdString();

    // An unnumbered group with the defaults; the catalogue's 41 stations (the spare logger
    // without sensors is not among them), none chosen.
    ASSERT_NE(form.PendingGroup(), nullptr);
    EXPECT_EQ(form.ShownGroupIndex(), -1);
    EXPECT_EQ(form.cbxGroup->count(), 0);
    EXPECT_TRUE(form.chkEnable->isChecked());
    EXPECT_TRUE(form.rdoSameStation->isChecked());
    EXPECT_EQ(form.pgMain->currentWidget(), form.tsSingle);
    EXPECT_TRUE(form.Saved());
    EXPECT_EQ(form.cbxOutputStation->count(), 41);
    EXPECT_FALSE(Texts(form.cbxOutputStation).contains("PORT1"));
    EXPECT_TRUE(Texts(form.cbxOutputStation).contains("BASIN"));  // example group 5's output
    EXPECT_EQ(form.cbxOutputStation->currentIndex(), -1);
    EXPECT_EQ(form.cbxView->count(), 10);
    EXPECT_EQ(form.cbxView->currentText(), "View By Stations");
    form.UpdateActions();
    EXPECT_FALSE(form.actSave->isEnabled());
    EXPECT_FALSE(form.actCopy->isEnabled());
    EXPECT_FALSE(form.actDelete->isEnabled());
    EXPECT_TRUE(form.actNew->isEnabled());

    EnterEquation(form, "h * 2");
    EXPECT_EQ(form.edtFunction->text(), "H * 2");
    EXPECT_FALSE(form.EquationChanged());
    EXPECT_EQ(Rows(form.grdVariables), QStringList{"H="});
    ASSERT_TRUE(Choose(form.cbxOutputStation, "RIVER1"));
    // The station's sensors: sorted for the output, in catalogue order for the variables.
    EXPECT_EQ(Texts(form.cbxOutputSensor), (QStringList{"HG", "Q", "TA", "VB"}));
    EXPECT_EQ(form.cbxVariable->count(), 4);
    ASSERT_TRUE(Choose(form.cbxOutputSensor, "Q"));
    ASSERT_TRUE(AssignSensor(form, 0, "HG"));
    EXPECT_EQ(Rows(form.grdVariables), QStringList{"H=HG"});
    form.UpdateActions();
    ASSERT_TRUE(form.actSave->isEnabled());
    form.actSave->trigger();

    EXPECT_TRUE(world.Boxes.Errors.isEmpty()) << world.Boxes.Errors.join('\n').toStdString();
    ASSERT_EQ(world.Groups.Count(), 1);
    const TCalcGroupItem& saved = *world.Groups.Items(0);
    EXPECT_EQ(saved.CGIndex, 1);
    EXPECT_EQ(saved.GroupName, "CalcGroup:1");
    EXPECT_EQ(saved.FuncName, "H * 2");
    EXPECT_TRUE(saved.Enabled);
    EXPECT_FALSE(saved.MultiStations);
    EXPECT_EQ(saved.OutputStation, "RIVER1");
    EXPECT_EQ(saved.OutputSensor, "Q");
    EXPECT_EQ(saved.Variables, std::vector<std::string>{"H=HG"});
    EXPECT_EQ(saved.MultiVariables, std::vector<std::string>{"H="});
    EXPECT_EQ(saved.MultiVariablesTrigger, -1);
    EXPECT_EQ(form.PendingGroup(), nullptr);
    EXPECT_EQ(GroupTexts(form), QStringList{"1"});
    EXPECT_EQ(form.cbxGroup->currentIndex(), 0);
    EXPECT_EQ(form.ShownGroupIndex(), 0);
    EXPECT_TRUE(form.Saved());
    EXPECT_TRUE(form.SetupSaved());

    // Closing after the save asks nothing and closes the suite database.
    form.btnClose->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(world.Boxes.Questions.isEmpty());
    EXPECT_FALSE(world.Connection.DBConnected());
}

TEST(SetupDialog, NewTakesTheSmallestFreeNumber) {
    test::TSetupWorld world;
    for (int n : {1, 2, 4}) world.Add({.Number = n, .Equation = "A", .OutputStation = "RIVER1"});
    TfrmOptionSetup& form = world.Show();
    EXPECT_EQ(GroupTexts(form), (QStringList{"1", "2", "4"}));
    EXPECT_EQ(form.ShownGroupIndex(), 0);

    form.btnNew->click();
    form.btnNew->click();
    EXPECT_EQ(GroupTexts(form), (QStringList{"1", "2", "4", "3", "5"}));
    ASSERT_EQ(world.Groups.Count(), 5);
    EXPECT_EQ(world.Groups.Items(3)->GroupName, "CalcGroup:3");
    EXPECT_EQ(world.Groups.Items(4)->CGIndex, 5);
    EXPECT_EQ(form.cbxGroup->currentIndex(), 4);
    EXPECT_EQ(form.ShownGroupIndex(), 4);
    EXPECT_TRUE(form.edtFunction->text().isEmpty());
    EXPECT_TRUE(form.Saved());
    EXPECT_FALSE(form.SetupSaved());  // New alone is no save

    // With an unsaved change New asks first; Cancel stops it.
    EnterEquation(form, "B");
    world.Boxes.DefaultAnswer = TBoxAnswer::baCancel;
    form.btnNew->click();
    EXPECT_EQ(world.Boxes.Questions, QStringList{SaveQuestion});
    EXPECT_EQ(world.Groups.Count(), 5);
    EXPECT_EQ(form.edtFunction->text(), "B");
}

// The analysis of a changed equation keeps the assignment of every variable that remains, in
// both grids, and its trigger radio.
TEST(SetupDialog, ChangedEquationKeepsSurvivingAssignments) {
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "FLOW + LEVEL",
               .OutputStation = "RIVER1",
               .OutputSensor = "Q",
               .Variables = {"FLOW=Q", "LEVEL=HG"},
               .MultiVariables = {"FLOW=RIVER2.Q", "LEVEL=RIVER2.HG"},
               .Trigger = 1});
    TfrmOptionSetup& form = world.Show();
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"FLOW=Q", "LEVEL=HG"}));
    EXPECT_TRUE(form.TriggerButtons()[1]->isChecked());
    const std::vector<QPushButton*> buttons = form.BrowseButtons();

    EnterEquation(form, "LEVEL * 2 + rain");
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"LEVEL=HG", "RAIN="}));
    EXPECT_EQ(Rows(form.grdVariablesMulti), (QStringList{"LEVEL=RIVER2.HG", "RAIN="}));
    // The row controls are the same ones; position 1 kept its check.
    EXPECT_EQ(form.BrowseButtons(), buttons);
    EXPECT_EQ(VisibleRowControls(form), 2);
    EXPECT_TRUE(form.TriggerButtons()[1]->isChecked());
    EXPECT_FALSE(form.Saved());

    // Three variables, then none: the positions grow on demand and are only hidden.
    EnterEquation(form, "A + B + LEVEL");
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"A=", "B=", "LEVEL=HG"}));
    ASSERT_EQ(form.BrowseButtons().size(), 3u);
    EXPECT_EQ(form.BrowseButtons()[0], buttons[0]);
    EXPECT_EQ(VisibleRowControls(form), 3);
    EnterEquation(form, "12.5 * 2");
    EXPECT_EQ(Rows(form.grdVariables), QStringList{"="});
    EXPECT_EQ(Rows(form.grdVariablesMulti), QStringList{"="});
    EXPECT_EQ(form.BrowseButtons().size(), 3u);
    EXPECT_EQ(VisibleRowControls(form), 0);
    // Unchanged, the equation is not analysed again.
    form.edtFunction->setFocus(Qt::MouseFocusReason);
    form.chkEnable->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(form.grdVariables->rowCount(), 1);
}

TEST(SetupDialog, SyntaxErrorKeepsTheFocusAndTheRows) {
    test::TSetupWorld world;
    world.Add({.Number = 1, .Equation = "A + B", .Variables = {"A=HG", "B=TA"}});
    TfrmOptionSetup& form = world.Show();
    EnterEquation(form, "A + (B");
    ASSERT_EQ(world.Boxes.Errors.size(), 1);
    EXPECT_TRUE(world.Boxes.Errors[0].startsWith("Error 1600: Error 16"))
        << world.Boxes.Errors[0].toStdString();
    EXPECT_TRUE(form.edtFunction->hasFocus());
    EXPECT_TRUE(form.EquationChanged());
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"A=HG", "B=TA"}));
    EXPECT_EQ(VisibleRowControls(form), 2);

    // Leaving again repeats the analysis; the mended equation is taken.
    form.chkEnable->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(world.Boxes.Errors.size(), 2);
    EnterEquation(form, "A + (B)");
    EXPECT_EQ(world.Boxes.Errors.size(), 2);
    EXPECT_FALSE(form.EquationChanged());
}

// A save from the pop-up menu, with the focus still in a changed equation, lists the new
// equation's variables first: it never stores the equation with the old one's variables. A
// syntax error fails that save and stores nothing.
TEST(SetupDialog, SaveAnalysesAChangedEquationFirst) {
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "A + B",
               .OutputStation = "RIVER1",
               .OutputSensor = "Q",
               .Variables = {"A=HG", "B=TA"},
               .MultiVariables = {"A=", "B="}});
    TfrmOptionSetup& form = world.Show();
    const TCalcGroupItem before = *world.Groups.Items(0);
    for (const char* equation : {"A + (C", "A + C"}) {
        form.edtFunction->setFocus(Qt::MouseFocusReason);
        form.edtFunction->selectAll();
        QTest::keyClicks(form.edtFunction, equation);
        ASSERT_TRUE(form.EquationChanged());
        form.UpdateActions();
        form.actSave->trigger();
    }
    ASSERT_EQ(world.Boxes.Errors.size(), 2);
    EXPECT_TRUE(world.Boxes.Errors[0].startsWith("Error 1600: Error 16"))
        << world.Boxes.Errors[0].toStdString();
    EXPECT_EQ(world.Boxes.Errors[1], "Error 1600: Please assign sensors to variables.");
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"A=HG", "C="}));
    EXPECT_EQ(*world.Groups.Items(0), before);
    EXPECT_FALSE(form.Saved());

    ASSERT_TRUE(AssignSensor(form, 1, "VB"));
    form.UpdateActions();
    form.actSave->trigger();
    EXPECT_EQ(world.Boxes.Errors.size(), 2);
    EXPECT_EQ(world.Groups.Items(0)->FuncName, "A + C");
    EXPECT_EQ(world.Groups.Items(0)->Variables, (std::vector<std::string>{"A=HG", "C=VB"}));
}

// The checks of a save in their order: each case mends the failure before it. A failed save
// stores nothing and leaves the dialog unsaved.
TEST(SetupDialog, SaveChecksInOrder) {
    test::TSetupWorld world;
    world.Add({.Number = 1, .Equation = "X"});
    TfrmOptionSetup& form = world.Show();
    const TCalcGroupItem before = *world.Groups.Items(0);
    struct Step {
        std::function<void()> Move;
        const char* Message;
    };
    const Step steps[] = {
        {[&] { EnterEquation(form, "  "); }, "Equation empty. Please enter a valid equation."},
        {[&] {
             EnterEquation(form, "1 + 2");
             for (QRadioButton* r : {form.rdoSameStation, form.rdoMultipleStations}) {
                 r->setAutoExclusive(false);
                 r->setChecked(false);
                 r->setAutoExclusive(true);
             }
         },
         "Please select sensor from single station or multiple stations."},
        {[&] { form.rdoSameStation->click(); }, "Please select an output station."},
        {[&] { Choose(form.cbxOutputStation, "WELL7"); }, "Please select an output sensor."},
        {[&] { Choose(form.cbxOutputSensor, "TW"); }, "Please enter a valid function."},
        {[&] { EnterEquation(form, "A + B"); }, "Please assign sensors to variables."},
        {[&] {
             AssignSensor(form, 0, "HW");
             AssignSensor(form, 1, "TW");
             // Similar stations: WELL9 has TW, RIVER1 has not.
             form.AddSimilarStation("WELL9", nullptr);
             form.AddSimilarStation("RIVER1", nullptr);
             form.AddSimilarStation("MILL3", nullptr);
         },
         "Station RIVER1 doesn't have sensor TW."},
        {[&] {
             form.lstSiteSensors->topLevelItem(1)->setSelected(true);
             form.btnSetupSitesSensorsDelSite->click();
             form.rdoMultipleStations->click();
             EnterEquation(form, "7");
         },
         "Please enter a valid function."},
        {[&] { EnterEquation(form, "A + B"); }, "Please assign sensors to variables."},
        {[&] {
             // Station.sensor texts are not checked against the catalogue.
             form.grdVariablesMulti->item(0, 1)->setText("NOWHERE.X");
             form.grdVariablesMulti->item(1, 1)->setText("WELL9.HW");
         },
         "Please select a variable that will trigger the calculation."},
    };
    for (const Step& step : steps) {
        step.Move();
        world.Boxes.Clear();
        form.actSaveExecute();
        EXPECT_EQ(world.Boxes.Errors, QStringList{QString("Error 1600: ") + step.Message});
        EXPECT_FALSE(form.SetupSaved()) << step.Message;
        EXPECT_EQ(*world.Groups.Items(0), before) << step.Message;
    }
    form.TriggerButtons()[1]->click();
    world.Boxes.Clear();
    form.actSaveExecute();
    EXPECT_TRUE(world.Boxes.Errors.isEmpty()) << world.Boxes.Errors.join('\n').toStdString();
    const TCalcGroupItem& saved = *world.Groups.Items(0);
    EXPECT_TRUE(saved.MultiStations);
    EXPECT_EQ(saved.MultiVariables, (std::vector<std::string>{"A=NOWHERE.X", "B=WELL9.HW"}));
    // The Same Station assignments went with the equation without variables.
    EXPECT_EQ(saved.Variables, (std::vector<std::string>{"A=", "B="}));
    EXPECT_EQ(saved.MultiVariablesTrigger, 1);
    EXPECT_EQ(saved.SimilarStations, (std::vector<std::string>{"WELL9", "MILL3"}));
    EXPECT_EQ(saved.OutputStation, "WELL7");
    EXPECT_EQ(saved.OutputSensor, "TW");
    EXPECT_EQ(saved.GroupName, "CalcGroup:1");
    EXPECT_TRUE(form.SetupSaved());
}

// A group whose output station the catalogue does not hold loads without one; so does every
// group when there is no database, and then nothing can be saved.
TEST(SetupDialog, OutputStationOutsideTheCatalogue) {
    for (bool database : {true, false}) {
        test::TSetupWorld world;
        if (!database) world.DataServer.StorageOption = soPCBase;
        world.Add({.Number = 1,
                   .Equation = "A",
                   .OutputStation = database ? "LAKE9" : "RIVER1",
                   .OutputSensor = "TA",
                   .Variables = {"A=TA"}});
        TfrmOptionSetup& form = world.Show();
        EXPECT_EQ(form.cbxOutputStation->currentIndex(), -1);
        EXPECT_EQ(form.cbxOutputSensor->count(), 0);
        EXPECT_EQ(form.cbxOutputStation->count(), database ? 41 : 0);
        EXPECT_EQ(world.Boxes.Errors,
                  database ? QStringList()
                           : QStringList{"Error 1616: Data storage option must be database"});
        world.Boxes.Clear();
        form.actSaveExecute();
        EXPECT_EQ(world.Boxes.Errors, QStringList{"Error 1600: Please select an output station."});
    }
}

TEST(SetupDialog, CopyIsAnUnsavedChange) {
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "A + B",
               .OutputStation = "RIVER2",
               .OutputSensor = "Q",
               .Variables = {"A=HG", "B=TA"},
               .MultiVariables = {"A=RIVER1.HG", "B=RIVER1.TA"},
               .Trigger = 0,
               .Similar = {"MILL3"}});
    TfrmOptionSetup& form = world.Show();
    form.btnCopy->click();
    ASSERT_EQ(world.Groups.Count(), 2);
    TCalcGroupItem expected = *world.Groups.Items(0);
    expected.CGIndex = 2;
    expected.GroupName = "CalcGroup:2";
    EXPECT_EQ(*world.Groups.Items(1), expected);
    EXPECT_EQ(GroupTexts(form), (QStringList{"1", "2"}));
    EXPECT_EQ(form.ShownGroupIndex(), 1);
    EXPECT_EQ(form.cbxOutputStation->currentText(), "RIVER2");
    EXPECT_EQ(Rows(form.grdVariablesMulti), (QStringList{"A=RIVER1.HG", "B=RIVER1.TA"}));
    EXPECT_FALSE(form.Saved());

    // Closing asks; Cancel keeps the dialog open, No closes it without a save.
    world.Boxes.Answers = {TBoxAnswer::baCancel, TBoxAnswer::baNo};
    form.btnClose->click();
    EXPECT_TRUE(form.isVisible());
    form.btnClose->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(world.Boxes.Questions, (QStringList{SaveQuestion, SaveQuestion}));
    EXPECT_FALSE(form.SetupSaved());
    EXPECT_EQ(world.Groups.Count(), 2);  // Copy changed the list at once
}

TEST(SetupDialog, DeletingTheLastTheOnlyAndAllGroups) {
    test::TSetupWorld world;
    for (int n : {1, 2, 3}) world.Add({.Number = n, .Equation = "A" + std::to_string(n)});
    TfrmOptionSetup& form = world.Show();
    Choose(form.cbxGroup, "3");
    EXPECT_EQ(form.edtFunction->text(), "A3");

    world.Boxes.ConfirmAnswer = false;
    form.btnDelete->click();
    EXPECT_EQ(world.Boxes.Confirmations,
              QStringList{"Are you sure you want to delete this Group?"});
    EXPECT_EQ(world.Groups.Count(), 3);

    world.Boxes.ConfirmAnswer = true;
    form.btnDelete->click();  // the last: the new last is shown
    EXPECT_EQ(GroupTexts(form), (QStringList{"1", "2"}));
    EXPECT_EQ(form.cbxGroup->currentIndex(), 1);
    EXPECT_EQ(form.ShownGroupIndex(), 1);
    EXPECT_EQ(form.edtFunction->text(), "A2");
    Choose(form.cbxGroup, "1");
    form.btnDelete->click();  // the first: the one after it takes its place
    EXPECT_EQ(GroupTexts(form), QStringList{"2"});
    EXPECT_EQ(form.edtFunction->text(), "A2");
    form.btnDelete->click();  // the only one: an unnumbered group is shown
    EXPECT_EQ(world.Groups.Count(), 0);
    EXPECT_EQ(form.cbxGroup->count(), 0);
    EXPECT_EQ(form.ShownGroupIndex(), -1);
    ASSERT_NE(form.PendingGroup(), nullptr);
    EXPECT_TRUE(form.edtFunction->text().isEmpty());
    EXPECT_TRUE(form.Saved());
    form.UpdateActions();
    EXPECT_FALSE(form.actDelete->isEnabled());
    EXPECT_FALSE(form.actDeleteAll->isEnabled());

    form.btnNew->click();
    form.btnNew->click();
    EXPECT_EQ(GroupTexts(form), (QStringList{"1", "2"}));
    test::Idle();  // the actions follow the state when the event loop is idle
    EXPECT_TRUE(form.actDeleteAll->isEnabled());
    form.btnClearAll->click();
    EXPECT_EQ(world.Boxes.Confirmations.last(), "Are you sure you want to delete all the Groups?");
    EXPECT_EQ(world.Groups.Count(), 0);
    EXPECT_EQ(form.ShownGroupIndex(), -1);
    EXPECT_NE(form.PendingGroup(), nullptr);
    EXPECT_TRUE(world.Boxes.Questions.isEmpty());
    EXPECT_FALSE(form.SetupSaved());  // deletions and New are no save
}

// No to the question discards the editor's changes, not the groups made or deleted before.
TEST(SetupDialog, NoDiscardsEditsButKeepsNewAndDelete) {
    test::TSetupWorld world;
    for (int n : {1, 2}) world.Add({.Number = n, .Equation = "A" + std::to_string(n)});
    TfrmOptionSetup& form = world.Show();
    form.btnNew->click();  // 3
    Choose(form.cbxGroup, "2");
    form.btnDelete->click();
    EXPECT_EQ(GroupTexts(form), (QStringList{"1", "3"}));
    Choose(form.cbxGroup, "1");
    EnterEquation(form, "A1 * 100");
    form.chkEnable->click();

    world.Boxes.Answers = {TBoxAnswer::baCancel, TBoxAnswer::baNo};
    Choose(form.cbxGroup, "3");  // Cancel: the selection goes back
    EXPECT_EQ(form.cbxGroup->currentText(), "1");
    EXPECT_EQ(form.edtFunction->text(), "A1 * 100");
    Choose(form.cbxGroup, "3");  // No
    EXPECT_EQ(form.ShownGroupIndex(), 1);
    Choose(form.cbxGroup, "1");
    EXPECT_EQ(form.edtFunction->text(), "A1");
    EXPECT_TRUE(form.chkEnable->isChecked());
    EXPECT_EQ(world.Groups.Items(0)->FuncName, "A1");
    ASSERT_EQ(world.Groups.Count(), 2);
    EXPECT_EQ(world.Groups.Items(1)->CGIndex, 3);
    EXPECT_EQ(world.Boxes.Questions.size(), 2);
    EXPECT_FALSE(form.SetupSaved());

    // Yes with a failing save shows why and stays, as for Cancel.
    EnterEquation(form, "");
    world.Boxes.Answers = {TBoxAnswer::baYes};
    Choose(form.cbxGroup, "3");
    EXPECT_EQ(world.Boxes.Errors.last(),
              "Error 1600: Equation empty. Please enter a valid equation.");
    EXPECT_EQ(form.ShownGroupIndex(), 0);
}

// A trigger beyond the last row is pulled down in the group itself; -1 checks no radio, and no
// check is left over from the group shown before.
TEST(SetupDialog, TriggerPulledDownOnLoad) {
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "A + B",
               .Variables = {"A=", "B="},
               .MultiVariables = {"A=RIVER1.TA", "B=RIVER2.TA"},
               .Multi = true,
               .Trigger = 5});
    world.Add({.Number = 2,
               .Equation = "A + B",
               .Variables = {"A=", "B="},
               .MultiVariables = {"A=RIVER1.TA", "B=RIVER2.TA"},
               .Multi = true});
    // As the example configuration holds it: only the multiple-station list.
    world.Add({.Number = 3,
               .Equation = "(A + B) / 2",
               .MultiVariables = {"A=RIVER1.TA", "B=RIVER2.TA"},
               .Multi = true,
               .Trigger = 0});
    TfrmOptionSetup& form = world.Show();
    EXPECT_EQ(world.Groups.Items(0)->MultiVariablesTrigger, 1);
    EXPECT_FALSE(form.TriggerButtons()[0]->isChecked());
    EXPECT_TRUE(form.TriggerButtons()[1]->isChecked());
    EXPECT_EQ(form.pgMain->currentWidget(), form.tsMultiple);
    EXPECT_TRUE(form.rdoMultipleStations->isChecked());

    Choose(form.cbxGroup, "2");
    EXPECT_FALSE(form.TriggerButtons()[0]->isChecked());
    EXPECT_FALSE(form.TriggerButtons()[1]->isChecked());
    EXPECT_EQ(world.Groups.Items(1)->MultiVariablesTrigger, -1);

    Choose(form.cbxGroup, "3");
    EXPECT_EQ(Rows(form.grdVariablesMulti), (QStringList{"A=RIVER1.TA", "B=RIVER2.TA"}));
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"A=", "B="}));
    EXPECT_TRUE(form.TriggerButtons()[0]->isChecked());
    EXPECT_EQ(VisibleRowControls(form), 2);
}

// The "..." button opens the picker; its choice fills the row, Cancel leaves it. The trigger
// radios are exclusive, and a station.sensor cell is edited in place.
TEST(SetupDialog, MultipleStationRows) {
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "A + B",
               .Variables = {"A=", "B="},
               .MultiVariables = {"A=", "B="},
               .Multi = true});
    TfrmOptionSetup& form = world.Show();
    world.PickerMove = [](QDialog& dialog) {
        auto& picker = static_cast<TfrmSelectOneStationSensor&>(dialog);
        const auto found =
            picker.tvwLeftTree->findItems("TA", Qt::MatchExactly | Qt::MatchRecursive);
        for (QTreeWidgetItem* node : found) {
            if (node->parent() && node->parent()->text(0) == "MET1") {
                picker.tvwLeftTree->setCurrentItem(node);
                picker.btnOK->click();
            }
        }
        return dialog.result();
    };
    form.BrowseButtons()[1]->click();
    EXPECT_EQ(world.PickerShown, 1);
    EXPECT_EQ(Cell(form.grdVariablesMulti, 1, 1), "MET1.TA");
    EXPECT_FALSE(form.Saved());

    form.LoadGroup(0);
    world.PickerMove = [](QDialog& dialog) {
        static_cast<TfrmSelectOneStationSensor&>(dialog).btnCancel->click();
        return dialog.result();
    };
    form.BrowseButtons()[0]->click();
    EXPECT_EQ(Cell(form.grdVariablesMulti, 0, 1), "");
    EXPECT_TRUE(form.Saved());
    form.BrowseClick(form.btnClose);  // not a row's button
    EXPECT_EQ(world.PickerShown, 2);

    form.TriggerButtons()[0]->click();
    form.TriggerButtons()[1]->click();
    EXPECT_FALSE(form.TriggerButtons()[0]->isChecked());
    EXPECT_TRUE(form.TriggerButtons()[1]->isChecked());

    form.LoadGroup(0);
    form.grdVariablesMulti->setFocus(Qt::MouseFocusReason);
    form.grdVariablesMulti->setCurrentCell(0, 1);
    ASSERT_TRUE(Editing(form.grdVariablesMulti));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "rain1.pc");
    EXPECT_EQ(Cell(form.grdVariablesMulti, 0, 1), "rain1.pc");
    EXPECT_FALSE(form.Saved());
    form.grdVariablesMulti->setCurrentCell(1, 0);
    EXPECT_FALSE(Editing(form.grdVariablesMulti));

    // Without variables, the first row's cell is not edited.
    EnterEquation(form, "1");
    form.grdVariablesMulti->setFocus(Qt::MouseFocusReason);
    form.grdVariablesMulti->setCurrentCell(0, 1);
    EXPECT_FALSE(Editing(form.grdVariablesMulti));
}

// Changing the filter file reloads the catalogue: both trees and the output lists, with no
// output station or sensor chosen.
TEST(SetupDialog, FilterFileReloadsTheCatalogue) {
    test::ScratchFolder folder;
    const std::string filter = (folder / "elk.flt").string();
    test::WriteFileText(filter, "OV_SITES.BASIN = 'Elk River'\r\n");
    test::TSetupWorld world;
    world.Add({.Number = 1, .Equation = "A", .OutputStation = "ELK2", .OutputSensor = "Q"});
    world.Add({.Number = 2, .Equation = "B", .OutputStation = "ELK3", .Filter = filter});
    TfrmOptionSetup& form = world.Show();
    EXPECT_EQ(form.cbxOutputStation->currentText(), "ELK2");
    const int pickerRoots = Picker().tvwLeftTree->topLevelItemCount();
    EXPECT_EQ(pickerRoots, 41);
    EXPECT_EQ(form.tvwLeftTree->topLevelItemCount(), 41);

    world.FilterAnswer = QString::fromStdString(filter);
    form.btnFilter->click();
    EXPECT_EQ(world.FilterShown, 1);
    EXPECT_EQ(form.edtFilterFile->text().toStdString(), filter);
    EXPECT_EQ(form.CatalogueFilter().toStdString(), filter);
    EXPECT_EQ(Texts(form.cbxOutputStation),
              (QStringList{"ELK1", "ELK2", "ELK3", "ELKMET", "ELKRN1"}));
    EXPECT_EQ(form.cbxOutputStation->currentIndex(), -1);
    EXPECT_EQ(form.cbxOutputSensor->count(), 0);
    EXPECT_EQ(form.tvwLeftTree->topLevelItemCount(), 5);
    EXPECT_EQ(Picker().tvwLeftTree->topLevelItemCount(), 5);
    EXPECT_FALSE(form.Saved());

    // Typed and left: the trimmed name decides; the same name again loads nothing.
    form.edtFilterFile->setFocus(Qt::MouseFocusReason);
    form.edtFilterFile->setText("  " + QString::fromStdString(filter) + " ");
    const int entries = form.StationCatalogue().Count();
    TStationSensorItem mark;
    mark.StationID = "MARK";
    form.StationCatalogue().Append(mark);
    form.chkEnable->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(form.StationCatalogue().Count(), entries + 1);
    form.edtFilterFile->setFocus(Qt::MouseFocusReason);
    form.edtFilterFile->clear();
    form.chkEnable->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(form.tvwLeftTree->topLevelItemCount(), 41);
    EXPECT_EQ(form.CatalogueFilter(), "");

    world.FilterAnswer = QString();
    form.btnFilter->click();  // cancelled: nothing changes
    EXPECT_EQ(form.tvwLeftTree->topLevelItemCount(), 41);

    // A group with a filter file of its own loads with its catalogue.
    world.Boxes.DefaultAnswer = TBoxAnswer::baNo;
    Choose(form.cbxGroup, "2");
    EXPECT_EQ(form.cbxOutputStation->count(), 5);
    EXPECT_EQ(form.cbxOutputStation->currentText(), "ELK3");
}

// "Browse" shows the filter dialog itself on the open database: the filter composed and saved
// there is taken on OK and narrows the lists. Cancel there leaves the filter file alone.
TEST(SetupDialog, BrowseTakesTheFilterSavedInTheFiltersDialog) {
    test::ScratchFolder folder;
    const QString filter = QString::fromStdString((folder / "elk.flt").string());
    test::TSetupWorld world;
    world.RealFilterDialog = true;
    TfrmOptionSetup& form = world.Show();
    ASSERT_EQ(form.cbxOutputStation->count(), 41);

    // The user's moves in the modal filter dialog; anything left open is closed by the guard.
    auto inFilters = [](const std::function<void(TfrmFilterSelect&)>& moves) {
        QTimer::singleShot(0, [moves] {
            auto* filters = qobject_cast<TfrmFilterSelect*>(QApplication::activeModalWidget());
            ASSERT_NE(filters, nullptr);
            moves(*filters);
        });
    };
    QTimer guard;
    guard.setInterval(10000);
    QObject::connect(&guard, &QTimer::timeout, [] {
        ADD_FAILURE() << "a modal window was still open";
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->done(QDialog::Rejected);
    });
    guard.start();

    inFilters([](TfrmFilterSelect& filters) { filters.btnCancel->click(); });
    form.btnFilter->click();
    EXPECT_EQ(form.edtFilterFile->text(), "");
    EXPECT_EQ(form.cbxOutputStation->count(), 41);

    inFilters([&filter](TfrmFilterSelect& filters) {
        filters.edtText->setPlainText("OV_SITES.BASIN = 'Elk River'");
        filters.edtFilterFile->setText(filter);
        filters.btnSave->click();
        filters.btnOK->click();
    });
    form.btnFilter->click();
    EXPECT_EQ(form.edtFilterFile->text(), filter);
    EXPECT_EQ(form.CatalogueFilter(), filter);
    EXPECT_EQ(Texts(form.cbxOutputStation),
              (QStringList{"ELK1", "ELK2", "ELK3", "ELKMET", "ELKRN1"}));
    EXPECT_EQ(Picker().tvwLeftTree->topLevelItemCount(), 5);
    EXPECT_TRUE(world.Boxes.Errors.isEmpty()) << world.Boxes.Errors.join('\n').toStdString();
}

TEST(SetupDialog, SimilarStations) {
    test::TSetupWorld world;
    world.Add({.Number = 1, .Equation = "A", .Similar = {"RIVER2"}});
    TfrmOptionSetup& form = world.Show();
    auto list = [&] {
        QStringList texts;
        for (int i = 0; i < form.lstSiteSensors->topLevelItemCount(); ++i)
            texts << form.lstSiteSensors->topLevelItem(i)->text(0);
        return texts;
    };
    EXPECT_EQ(list(), QStringList{"RIVER2"});
    EXPECT_EQ(form.lstSiteSensors->headerItem()->text(0), "StationID");

    // A basin node adds its stations, each once.
    Choose(form.cbxView, "View By Basin");
    const auto mill = form.tvwLeftTree->findItems("Mill Creek", Qt::MatchExactly);
    ASSERT_EQ(mill.size(), 1);
    EXPECT_EQ(TCatalogueTreeWidget::ImageOf(mill[0]), 41);
    form.tvwLeftTree->setCurrentItem(mill[0]);
    form.btnSetupSitesSensorsAddSite->click();
    EXPECT_EQ(list(),
              (QStringList{"RIVER2", "BASIN", "MET1", "MILL3", "MILL4", "RAIN1", "RIVER1"}));
    EXPECT_FALSE(form.Saved());

    // Drops only from the tree; a double click on a station.
    Choose(form.cbxView, "View By Stations");
    const auto elk = form.tvwLeftTree->findItems("ELK1", Qt::MatchExactly);
    ASSERT_EQ(elk.size(), 1);
    form.tvwLeftTree->setCurrentItem(elk[0]);
    EXPECT_FALSE(form.lstSiteSensorsDragOver(form.cbxView));
    form.lstSiteSensorsDragDrop(form.cbxView);
    EXPECT_EQ(list().size(), 7);
    EXPECT_TRUE(form.lstSiteSensorsDragOver(form.tvwLeftTree));
    form.lstSiteSensorsDragDrop(form.tvwLeftTree);
    EXPECT_EQ(list().last(), "ELK1");
    Q_EMIT form.tvwLeftTree->itemDoubleClicked(elk[0], 0);
    EXPECT_EQ(list().size(), 8);

    // Delete without modifiers removes the selection; with Shift nothing.
    form.lstSiteSensors->topLevelItem(0)->setSelected(true);
    form.lstSiteSensors->topLevelItem(2)->setSelected(true);
    form.lstSiteSensors->setFocus();
    QTest::keyClick(form.lstSiteSensors, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(list().size(), 8);
    QTest::keyClick(form.lstSiteSensors, Qt::Key_Delete);
    EXPECT_EQ(list(), (QStringList{"BASIN", "MILL3", "MILL4", "RAIN1", "RIVER1", "ELK1"}));
    form.AddSimilarStation("RIVER2", nullptr);  // removed ones come back
    EXPECT_EQ(list().size(), 7);

    form.btnSetupSitesSensorsAddAllSites->click();
    EXPECT_EQ(list().size(), 41);
    form.btnSetupSitesSensorsDelAllSites->click();
    EXPECT_TRUE(list().isEmpty());
}

// Return in any field ends that field's edit and never presses a button (the first button,
// New, would ask about the unsaved edit and make a group): in the equation it runs the
// analysis as leaving the field does, in the filter file it loads the catalogue, in the
// sensor drop-down and the station.sensor cells it ends the cell's edit.
TEST(SetupDialog, ReturnEndsTheEditAndNeverPressesAButton) {
    test::ScratchFolder folder;
    const QString filter = QString::fromStdString((folder / "elk.flt").string());
    test::WriteFileText(filter.toStdString(), "OV_SITES.BASIN = 'Elk River'\r\n");
    test::TSetupWorld world;
    world.Add({.Number = 1,
               .Equation = "A",
               .OutputStation = "RIVER1",
               .OutputSensor = "Q",
               .Variables = {"A=HG"},
               .MultiVariables = {"A=RIVER1.HG"}});
    TfrmOptionSetup& form = world.Show();
    auto nothingPressed = [&](const char* where) {
        EXPECT_TRUE(form.isVisible()) << where;
        EXPECT_EQ(world.Groups.Count(), 1) << where;
        EXPECT_EQ(form.cbxGroup->count(), 1) << where;
        EXPECT_TRUE(world.Boxes.Questions.isEmpty()) << where;
        EXPECT_TRUE(world.Boxes.Confirmations.isEmpty()) << where;
    };
    for (QPushButton* button : form.findChildren<QPushButton*>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }

    // The equation: analysed and left, the edit still unsaved.
    form.edtFunction->setFocus(Qt::MouseFocusReason);
    form.edtFunction->selectAll();
    QTest::keyClicks(form.edtFunction, "a + rain");
    QTest::keyClick(form.edtFunction, Qt::Key_Return);
    test::Idle();
    nothingPressed("equation");
    EXPECT_FALSE(form.EquationChanged());
    EXPECT_EQ(Rows(form.grdVariables), (QStringList{"A=HG", "RAIN="}));
    EXPECT_FALSE(form.edtFunction->hasFocus());
    EXPECT_FALSE(form.Saved());
    // A syntax error is shown and the focus stays in the equation, as on leaving it.
    form.edtFunction->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(form.edtFunction, " + (");
    QTest::keyClick(form.edtFunction, Qt::Key_Enter, Qt::KeypadModifier);
    test::Idle();
    nothingPressed("equation with an error");
    EXPECT_EQ(world.Boxes.Errors.size(), 1);
    EXPECT_TRUE(form.edtFunction->hasFocus());
    form.edtFunction->setText("A + RAIN");
    QTest::keyClick(form.edtFunction, Qt::Key_Return);
    EXPECT_FALSE(form.EquationChanged());

    // The sensor drop-down over the single-station grid: the choice goes into the cell.
    form.grdVariables->setFocus(Qt::MouseFocusReason);
    form.grdVariables->setCurrentCell(1, 1);
    ASSERT_TRUE(form.cbxVariable->isVisible());
    form.cbxVariable->setFocus(Qt::MouseFocusReason);
    form.cbxVariable->setCurrentIndex(form.cbxVariable->findText("TA"));
    QTest::keyClick(form.cbxVariable, Qt::Key_Return);
    test::Idle();
    nothingPressed("sensor drop-down");
    EXPECT_EQ(Cell(form.grdVariables, 1, 1), "TA");
    EXPECT_TRUE(form.grdVariables->hasFocus());

    // A station.sensor cell of the multiple-station grid: the edit ends with what was typed.
    form.rdoMultipleStations->click();
    form.grdVariablesMulti->setFocus(Qt::MouseFocusReason);
    form.grdVariablesMulti->setCurrentCell(1, 1);
    ASSERT_TRUE(Editing(form.grdVariablesMulti));
    QWidget* editor = QApplication::focusWidget();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, "RIVER2.TA");
    QTest::keyClick(editor, Qt::Key_Return);
    test::Idle();
    nothingPressed("station.sensor cell");
    EXPECT_FALSE(Editing(form.grdVariablesMulti));
    EXPECT_EQ(Cell(form.grdVariablesMulti, 1, 1), "RIVER2.TA");

    // The filter file: left, and the catalogue loaded with it.
    form.edtFilterFile->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(form.edtFilterFile, filter);
    QTest::keyClick(form.edtFilterFile, Qt::Key_Return);
    test::Idle();
    nothingPressed("filter file");
    EXPECT_EQ(form.CatalogueFilter(), filter);
    EXPECT_EQ(form.tvwLeftTree->topLevelItemCount(), 5);
    EXPECT_FALSE(form.edtFilterFile->hasFocus());

    // Every other control: nothing happens at all.
    form.rdoSameStation->click();
    for (QWidget* field : std::initializer_list<QWidget*>{
             form.cbxGroup, form.chkEnable, form.rdoSameStation, form.cbxOutputStation,
             form.cbxOutputSensor, form.grdVariables, form.cbxView, form.tvwLeftTree,
             form.lstSiteSensors}) {
        field->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(field, Qt::Key_Return);
        test::Idle();
        nothingPressed(field->objectName().toLatin1().constData());
    }
    EXPECT_FALSE(form.Saved());
}

// The Help button with no help file to show says so in an error box naming the file (and on
// standard error); a help file that the desktop opens says nothing.
TEST(SetupDialog, HelpThatCannotBeShownIsSaid) {
    test::ScratchFolder folder;
    const QString help = QString::fromStdString((folder / "OVCalc.html").string());
    QList<QUrl> opened;
    bool opens = true;
    SetHelpOpener([&](const QUrl& url) {
        opened << url;
        return opens;
    });
    test::TSetupWorld world;
    world.HelpFile = help;
    TfrmOptionSetup& form = world.Show();

    form.btnHelp->click();
    ASSERT_EQ(world.Boxes.Errors.size(), 1);
    EXPECT_EQ(world.Boxes.Errors[0],
              "Cannot open the help file " + help + ": there is no such file.");
    EXPECT_TRUE(opened.isEmpty());

    test::WriteFileText(help.toStdString(), "<html></html>\n");
    form.btnHelp->click();
    EXPECT_EQ(world.Boxes.Errors.size(), 1);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].fragment(), "setupdialog");

    opens = false;  // no web browser
    form.btnHelp->click();
    ASSERT_EQ(world.Boxes.Errors.size(), 2);
    EXPECT_TRUE(world.Boxes.Errors[1].startsWith("Cannot open the help file " + help +
                                                 ": the desktop has no program"))
        << world.Boxes.Errors[1].toStdString();
    SetHelpOpener({});
    EXPECT_TRUE(world.Boxes.Questions.isEmpty());
}

}  // namespace
}  // namespace ov
